#!/usr/bin/env python3
"""Planted faults: shows whether the tests notice a plausible mistake.

    scripts/mutate.py [--tree DIR] [--scratch DIR] [--list FILE] [--only REGEX]
                      [--no-baseline] [--jobs N]

Copies the tree (by default the one this script lives in) to a scratch folder
outside it, builds the native and the Windows trees there once, then for each
fault of the list: puts the fault in, rebuilds, runs the tests that cover the
changed code, and puts the code back. A fault is "caught" when a covering test
fails (or hangs past the run's bound), "missed" when they all pass. Then
"N caught, M missed".

Faults are found by their text, not by file name, so the list survives files
moving: a fragment must occur exactly once in src/. One that is gone (the code
changed) is "not applied", one that occurs twice "ambiguous"; neither counts
as caught. A fault that does not compile is a fault of the list, reported as
"did not compile", never as caught.

Before the faults, the covering tests run twice on the unchanged tree: a test
that already fails there would make every fault it covers look caught, so
such faults are reported as "baseline fails" (failed both runs) or "baseline
flaky" (failed one), never as caught.

A test regex that names no registered test (`ctest -N` of its build) is a
fault of the list: reported before any fault runs, and by --check.

The Windows tests run under Wine through scripts/run-win-tests.sh, which needs
root for the network namespaces of the tests that broadcast. Not part of
`make test`: `make mutate` runs it.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
SKIP_TOP = {".git", "build"}
NATIVE, WIN = "native", "win"
# A run that goes past this is a hang: the fault is caught, and the run is
# stopped rather than left to the tests' own 15-minute bounds.
RUN_BOUND_S = {NATIVE: 300, WIN: 900}
# Native programs that Windows tests start (the appliance simulator).
NATIVE_HELPERS = ["appliance-sim"]


@dataclass
class Fault:
    ident: str
    find: str = ""
    replace: str = ""
    tests: dict = field(default_factory=dict)  # build -> ctest regex
    note: str = ""
    line: int = 0


def parse_list(path):
    """Blocks of `[id]` then `key: value` lines; # starts a comment line."""
    faults, current = [], None
    for number, raw in enumerate(path.read_text().splitlines(), 1):
        line = raw.rstrip()
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        head = re.fullmatch(r"\[([A-Za-z0-9_.-]+)\]", line.strip())
        if head:
            current = Fault(head.group(1), line=number)
            faults.append(current)
            continue
        key, sep, value = line.partition(":")
        key, value = key.strip(), value.strip()
        if not sep or current is None:
            sys.exit(f"{path}:{number}: expected [id] or key: value")
        if key in ("find", "replace"):
            # A fragment may span lines: each further line adds to it.
            old = getattr(current, key)
            setattr(current, key, f"{old} {value}" if old else value)
        elif key == "note":
            current.note = value
        elif key in (NATIVE, WIN):
            current.tests[key] = value
        else:
            sys.exit(f"{path}:{number}: unknown key {key!r}")
    seen = set()
    for f in faults:
        if not f.find or not f.tests or f.ident in seen:
            sys.exit(f"{path}:{f.line}: [{f.ident}] needs find, a test regex and a unique id")
        seen.add(f.ident)
    return faults


def sync_tree(source, dest):
    """Makes dest a copy of source (build folders and .git left out), writing
    only the files whose content differs so the builds stay incremental."""
    wanted = set()
    for root, dirs, files in os.walk(source):
        rel = Path(root).relative_to(source)
        if rel == Path("."):
            dirs[:] = [d for d in dirs if d not in SKIP_TOP]
        for name in files:
            if rel == Path(".") and name in SKIP_TOP:
                continue  # a worktree's .git is a file
            relfile = rel / name
            wanted.add(relfile)
            src, dst = source / relfile, dest / relfile
            if dst.is_file() and not dst.is_symlink() and dst.read_bytes() == src.read_bytes():
                continue
            dst.parent.mkdir(parents=True, exist_ok=True)
            if dst.exists() or dst.is_symlink():
                dst.unlink()
            shutil.copyfile(src, dst, follow_symlinks=True)
            shutil.copymode(src, dst)
    for root, dirs, files in os.walk(dest):
        rel = Path(root).relative_to(dest)
        if rel == Path("."):
            dirs[:] = [d for d in dirs if d not in SKIP_TOP]
        for name in files:
            if rel == Path(".") and name in SKIP_TOP:
                continue
            if rel / name not in wanted:
                (dest / rel / name).unlink()


def pattern(fragment):
    """The fragment as a regex in which any run of blanks matches any other,
    line breaks included: reformatting the code must not lose a fault."""
    return re.compile(r"\s+".join(re.escape(word) for word in fragment.split()))


def locate(tree, fragment):
    """The files of src/ holding the fragment, with their counts."""
    hits, rx = [], pattern(fragment)
    for path in sorted((tree / "src").rglob("*")):
        if path.is_file():
            n = len(rx.findall(path.read_text(errors="replace")))
            if n:
                hits.append((path, n))
    return hits


class Runner:
    def __init__(self, tree, scratch, jobs, log):
        self.tree, self.scratch, self.jobs, self.log = tree, scratch, jobs, log
        self.build = {NATIVE: tree / "build" / "native", WIN: tree / "build" / "win"}
        self.targets = {}

    def run(self, cmd, logfile, bound=None, cwd=None):
        """Runs cmd in a process group of its own; (exit code, timed out)."""
        with open(logfile, "a") as out:
            out.write(f"$ {' '.join(map(str, cmd))}\n")
            out.flush()
            proc = subprocess.Popen(cmd, stdout=out, stderr=subprocess.STDOUT, cwd=cwd, start_new_session=True)
            try:
                return proc.wait(timeout=bound), False
            except subprocess.TimeoutExpired:
                # TERM first: the namespace and prefix helpers clean up on it.
                os.killpg(proc.pid, signal.SIGTERM)
                try:
                    proc.wait(timeout=60)
                except subprocess.TimeoutExpired:
                    os.killpg(proc.pid, signal.SIGKILL)
                    proc.wait()
                out.write(f"\n*** stopped after {bound} s\n")
                return -1, True

    def configure(self, kind, logfile):
        args = {
            NATIVE: ["-DCMAKE_C_COMPILER=clang", "-DCMAKE_CXX_COMPILER=clang++"],
            WIN: ["-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake"],
        }[kind]
        rc, _ = self.run(["cmake", "-S", self.tree, "-B", self.build[kind], "-G", "Ninja", *args], logfile)
        if rc != 0:
            sys.exit(f"configuring the {kind} build failed: see {logfile}")
        out = subprocess.run(["ninja", "-C", self.build[kind], "-t", "targets", "all"], capture_output=True, text=True)
        self.targets[kind] = {line.split(":")[0] for line in out.stdout.splitlines()}

    def build_targets(self, kind, targets, logfile):
        cmd = ["cmake", "--build", self.build[kind], "-j", str(self.jobs)]
        if targets:
            cmd += ["--target", *targets]
        rc, _ = self.run(cmd, logfile)
        return rc == 0

    def tests_matching(self, kind, regex):
        out = subprocess.run(["ctest", "-N", "-R", regex], cwd=self.build[kind], capture_output=True, text=True)
        return re.findall(r"Test +#\d+: (\S+)", out.stdout)

    def targets_for(self, kind, regex):
        """The executables behind the tests, or None for "build everything"
        (a test that is a script needs whatever the script starts)."""
        names = set()
        for test in self.tests_matching(kind, regex):
            base = test.split(".")[0]
            if base not in self.targets[kind]:
                return None
            names.add(base)
        return sorted(names)

    def build_for(self, kind, regex, logfile):
        ok = self.build_targets(kind, self.targets_for(kind, regex), logfile)
        if ok and kind == WIN:
            helpers = [t for t in NATIVE_HELPERS if t in self.targets.get(NATIVE, ())]
            ok = self.build_targets(NATIVE, helpers, logfile)
        return ok

    def test(self, kind, regex, logfile, stop=True):
        """(failed, timed out) for the tests matching regex."""
        first = ["--stop-on-failure"] if stop else []
        if kind == NATIVE:
            cmd = ["ctest", "--output-on-failure", *first, "-j", str(self.jobs), "-R", regex]
            rc, late = self.run(cmd, logfile, RUN_BOUND_S[kind], cwd=self.build[kind])
        else:
            cmd = [self.tree / "scripts" / "run-win-tests.sh", self.build[kind], *first, "-R", regex]
            rc, late = self.run(cmd, logfile, RUN_BOUND_S[kind])
            if late:
                env = dict(os.environ, WINEPREFIX=str(self.build[kind] / "wineprefix"))
                subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
        return rc != 0, late

    def failing(self, kind, regex, logfile):
        """The tests that fail on the unchanged tree (all of them when the
        run itself went wrong)."""
        start = Path(logfile).stat().st_size if Path(logfile).exists() else 0
        failed, late = self.test(kind, regex, logfile, stop=False)
        if not failed:
            return set()
        with open(logfile, errors="replace") as log:
            log.seek(start)
            text = log.read()
        names = set(re.findall(r"^\s*\d+ - (\S+) \(", text, re.M))
        return names if names and not late else set(self.tests_matching(kind, regex))

    def baseline(self, kind, regex, logfile):
        """Two runs on the unchanged tree: (tests failing both, tests failing
        only one). A test that passes once and fails once would catch any
        fault by chance."""
        first, second = self.failing(kind, regex, logfile), self.failing(kind, regex, logfile)
        return first & second, first ^ second

    def configured(self, kind):
        return (self.build[kind] / "CTestTestfile.cmake").is_file()


def unmatched(faults, runner):
    """Lines "[id] kind: regex" for every regex that names no registered
    test: such a fault could never be caught. A build that is not
    configured is said once instead."""
    errors, asked = [], {}
    for kind in (NATIVE, WIN):
        if any(kind in f.tests for f in faults) and not runner.configured(kind):
            errors.append(f"the {kind} build {runner.build[kind]} is not configured: its regexes are not checked")
    for f in faults:
        for kind, regex in f.tests.items():
            if not runner.configured(kind):
                continue
            if (kind, regex) not in asked:
                asked[kind, regex] = bool(runner.tests_matching(kind, regex))
            if not asked[kind, regex]:
                errors.append(f"[{f.ident}] {kind}: {regex} names no registered test")
    return errors


def union(faults, kind):
    parts = sorted({f.tests[kind] for f in faults if kind in f.tests})
    return "|".join(f"({p})" for p in parts)  # CMake's regexes have no (?:


def check(faults, tree):
    bad = listed = 0
    for line in unmatched(faults, Runner(tree, None, 1, None)):
        print(f"{'LIST ERROR':15} {line}")
        listed += "names no registered test" in line
    for f in faults:
        hits = locate(tree, f.find)
        where = ", ".join(f"{p.relative_to(tree)}" + (f" x{n}" if n > 1 else "") for p, n in hits)
        ok = len(hits) == 1 and hits[0][1] == 1
        bad += not ok
        print(f"{'ok' if ok else 'NOT APPLICABLE':15} {f.ident:34} {where or 'fragment not found'}")
    folders = sorted({p.relative_to(tree).parts[1] for f in faults for p, _ in locate(tree, f.find)})
    print(f"{len(faults) - bad} of {len(faults)} faults apply; folders: {' '.join(folders)}")
    return 1 if bad or listed else 0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--tree", type=Path, default=HERE.parent, help="the checkout to measure")
    ap.add_argument("--scratch", type=Path, default=Path(os.environ.get("TMPDIR", "/tmp")) / "holv-mutate")
    ap.add_argument("--list", type=Path, default=HERE / "mutations.txt")
    ap.add_argument("--only", help="regex: run only the faults whose id matches")
    ap.add_argument("--no-baseline", action="store_true", help="skip the run on the unchanged tree")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--check", action="store_true", help="only show where each fault goes; no build")
    opts = ap.parse_args()

    source = opts.tree.resolve()
    scratch = opts.scratch.resolve()
    if scratch == source or source in scratch.parents:
        sys.exit("the scratch folder must lie outside the tree")
    faults = parse_list(opts.list)
    if opts.only:
        faults = [f for f in faults if re.search(opts.only, f.ident)]
    if opts.check:
        return check(faults, source)
    tree = scratch / "tree"
    logs = scratch / "logs"
    tree.mkdir(parents=True, exist_ok=True)
    logs.mkdir(exist_ok=True)
    # A run of a few faults keeps the logs of the others.
    for name in [f"{f.ident}.log" for f in faults] + [f"{s}-{k}.log" for s in ("setup", "baseline") for k in (NATIVE, WIN)]:
        (logs / name).unlink(missing_ok=True)
    started = time.monotonic()

    def say(text):
        print(text, flush=True)

    head = subprocess.run(["git", "-C", source, "rev-parse", "--short", "HEAD"], capture_output=True, text=True)
    say(f"tree {source} ({head.stdout.strip() or 'no git'}), scratch {tree}, {len(faults)} faults")
    sync_tree(source, tree)
    runner = Runner(tree, scratch, opts.jobs, logs)
    # The native build always: the Windows tests start the native simulator.
    kinds = [NATIVE] + ([WIN] if any(WIN in f.tests for f in faults) else [])
    for kind in kinds:
        setup = logs / f"setup-{kind}.log"
        runner.configure(kind, setup)
        say(f"building {kind} ...")
        if not runner.build_targets(kind, None, setup):
            sys.exit(f"the unchanged {kind} build fails: see {setup}")

    errors = unmatched(faults, runner)
    if errors:
        sys.exit("errors of the list:\n  " + "\n  ".join(errors))

    broken = {}  # (kind, test) failing on the unchanged tree -> outcome
    for kind in kinds:
        regex = union(faults, kind)
        if opts.no_baseline or not regex:
            continue
        always, sometimes = runner.baseline(kind, regex, logs / f"baseline-{kind}.log")
        broken |= {(kind, t): "baseline flaky" for t in sometimes} | {(kind, t): "baseline fails" for t in always}
        say(f"baseline {kind}: " + (f"FAILING {' '.join(sorted(always))} " if always else "") +
            (f"FLAKY {' '.join(sorted(sometimes))}" if sometimes else "") + ("passes" if not always | sometimes else ""))

    results = []
    for f in faults:
        t0 = time.monotonic()
        log = logs / f"{f.ident}.log"
        hits = locate(tree, f.find)
        where = ", ".join(str(p.relative_to(tree)) for p, _ in hits)
        if not hits:
            outcome, detail = "not applied", "fragment not found"
        elif len(hits) > 1 or hits[0][1] > 1:
            outcome, detail = "not applied", f"fragment ambiguous ({where})"
        elif marks := {broken[k, t] for k, r in f.tests.items() for t in runner.tests_matching(k, r) if (k, t) in broken}:
            outcome, detail = ("baseline fails" if "baseline fails" in marks else "baseline flaky"), where
        else:
            path = hits[0][0]
            original = path.read_bytes()
            try:
                text = original.decode()
                path.write_text(pattern(f.find).sub(lambda _: f.replace, text, count=1))
                outcome, detail = "missed", where
                for kind in (NATIVE, WIN):
                    if kind not in f.tests:
                        continue
                    if not runner.tests_matching(kind, f.tests[kind]):
                        detail += f"; no {kind} test matches {f.tests[kind]}"
                        continue
                    if not runner.build_for(kind, f.tests[kind], log):
                        outcome = "did not compile"
                        break
                    failed, late = runner.test(kind, f.tests[kind], log)
                    if failed:
                        outcome = "caught"
                        detail = f"{where}; {kind}{' (hang)' if late else ''}"
                        break
            finally:
                path.write_bytes(original)
        results.append((f, outcome))
        say(f"{outcome:15} {f.ident:34} {detail}  [{time.monotonic() - t0:.0f} s]")

    count = {o: sum(1 for _, r in results if r == o) for o in
             ("caught", "missed", "not applied", "did not compile", "baseline fails", "baseline flaky")}
    missed = [f.ident for f, r in results if r == "missed"]
    say("")
    if missed:
        say("missed: " + ", ".join(missed))
    extra = ", ".join(f"{n} {o}" for o, n in count.items() if o not in ("caught", "missed") and n)
    say(f"{count['caught']} caught, {count['missed']} missed" + (f" ({extra})" if extra else "") +
        f" in {(time.monotonic() - started) / 60:.0f} min")
    # A list that no longer fits the code is worth a failing exit.
    return 1 if count["did not compile"] or count["baseline fails"] or count["baseline flaky"] else 0


if __name__ == "__main__":
    sys.exit(main())
