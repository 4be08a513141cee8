# Figures of the session benchmark (session-bench.sh): what one session step
# costs against the simulator, and how long the status push takes after the
# appliance's first answer, for each program run; with two runs (before and
# after), both side by side.
#   python3 session_report.py APPLIANCE_IP WORK [WORK]
# Each WORK holds capture.txt (imc_capture.py), imc.log (the program's IMC
# log), record (the simulator's record lines of that run) and push/times
# (the listener).
#
# A step is cut at each status query the host sends to the appliance (the
# steady state: the appliance is known and answers; the first steps, which
# broadcast, are left out). The capture tells the status query by its flag
# word; the IMC log only by its size, which the shutdown request shares, so
# there a lone exchange (a step has at least the status query and the action
# read) is left out. Within a step each request is paired with the
# answer that follows it: the round trips. What the step takes beyond them
# (wall time from the first request to the last answer, minus the round
# trips) is the host's own work between the exchanges.
import datetime
import os
import re
import statistics
import sys

TARGET_MS = 1.0


def p90(values):
    v = sorted(values)
    return v[min(len(v) - 1, int(round(0.9 * (len(v) - 1))))]


def stats(values):
    v = sorted(values)
    return "median %7.3f  mean %7.3f  p90 %7.3f  min %7.3f  max %7.3f ms" % (
        statistics.median(v), statistics.mean(v), p90(v), v[0], v[-1])


class Step:
    def __init__(self):
        self.events = []  # (time s, "send"/"recv", size)


STATUS_BITS = 0x380


def cut_steps(events, status_size):
    steps, cur = [], None
    for e in events:
        if e[1] == "send" and e[2] == status_size and e[3]:
            cur = Step()
            steps.append(cur)
        if cur is not None:
            cur.events.append(e)
    return steps


def measure(step):
    """(wall ms, round-trip ms list, gap ms list) or None for an incomplete step."""
    ev = step.events
    pairs, gaps = [], []
    i = 0
    while i < len(ev):
        if ev[i][1] != "send" or i + 1 >= len(ev) or ev[i + 1][1] != "recv":
            return None
        pairs.append((ev[i + 1][0] - ev[i][0]) * 1000)
        if i + 2 < len(ev):
            gaps.append((ev[i + 2][0] - ev[i + 1][0]) * 1000)
        i += 2
    wall = (ev[-1][0] - ev[0][0]) * 1000
    return wall, pairs, gaps


def from_capture(path, appliance):
    events = []
    for line in open(path):
        f = line.split()
        if len(f) != 6:
            continue
        t, src, dst, size, magic = float(f[0]), f[1], f[2], int(f[3]), f[4]
        flags = int(f[5], 16) if f[5] != "-" else 0
        if magic == "IMCC" and dst == appliance:
            events.append((t, "send", size, (flags & STATUS_BITS) == STATUS_BITS))
        elif magic == "IMCR" and src == appliance:
            events.append((t, "recv", size, False))
    return events


LOG_LINE = re.compile(r"^(\d\d):(\d\d):(\d\d)\.(\d\d\d) (Sending on \S+ (?:\[\d+\] )?to|Receive on \S+ (?:\[\d+\] )?from) "
                      r"([\d.]+): (\d+)")


def log_seconds(h, m, s, ms):
    return int(h) * 3600 + int(m) * 60 + int(s) + int(ms) / 1000.0


def from_log(path, appliance):
    events = []
    for line in open(path, errors="replace"):
        m = LOG_LINE.match(line)
        if not m or m.group(6) != appliance:
            continue
        t = log_seconds(*m.group(1, 2, 3, 4))
        events.append((t, "send" if m.group(5).startswith("Sending") else "recv", int(m.group(7)), True))
    return events


def first_answer_in_log(path, appliance):
    for line in open(path, errors="replace"):
        m = LOG_LINE.match(line)
        if m and m.group(5).startswith("Receive") and m.group(6) == appliance:
            return log_seconds(*m.group(1, 2, 3, 4))
    return None


def seconds_of_day(epoch):
    d = datetime.datetime.fromtimestamp(epoch)
    return d.hour * 3600 + d.minute * 60 + d.second + d.microsecond / 1e6


def steps_in_record(path):
    """The commands the simulator answered, one list a status query: each a step's round trips."""
    steps, cur = [], None
    for line in open(path):
        words = line.split()
        if not words:
            continue
        if words[0] == "status":
            if cur is not None:
                steps.append(cur)
            cur = ["status"]
        elif words[0] == "get" and cur is not None:
            cur.append("get " + words[1])
    if cur is not None:
        steps.append(cur)
    return steps


def report(title, events, status_size, min_trips=1, labels=None):
    steps = [measure(s) for s in cut_steps(events, status_size)]
    whole = [s for s in steps if s and len(s[1]) >= min_trips]
    if not whole:
        print("%s: no complete steps" % title)
        return None
    print("%s: %d complete steps" % (title, len(whole)))
    trips = [len(p) for _, p, _ in whole]
    print("  round trips per step:        %s" % ", ".join(
        "%d (%d steps)" % (n, trips.count(n)) for n in sorted(set(trips))))
    walls = [w for w, _, _ in whole]
    rtt_sum = [sum(p) for _, p, _ in whole]
    own = [w - sum(p) for w, p, _ in whole]
    each_rtt = [x for _, p, _ in whole for x in p]
    print("  step, first request to last answer:   %s" % stats(walls))
    print("  one round trip:                        %s" % stats(each_rtt))
    print("  round trips of a step, summed:         %s" % stats(rtt_sum))
    print("  the host's own time within a step:     %s" % stats(own))
    # Where the host's time goes: the gap after each answer, for the steps of
    # the usual length.
    usual = max(set(trips), key=trips.count)
    for k in range(usual - 1):
        gap = [g[k] for _, p, g in whole if len(p) == usual]
        what = " (%s)" % labels[k] if labels and len(labels) == usual else ""
        print("    after answer %d%s -> next request: %s" % (k + 1, what, stats(gap)))
    within = sum(1 for x in own if x <= TARGET_MS)
    print("  steps within round trips + %.0f ms:     %d of %d" % (TARGET_MS, within, len(own)))
    after_status = [g[0] for _, p, g in whole if len(p) == usual and g]
    return {"own": own, "after_status": after_status, "round_trips": rtt_sum}


def compare(before, after):
    """Both builds side by side."""
    print("Before (the host's addresses and the route table read at every step) and after, packet capture, ms:")
    rows = [("the host's own time within a step", "own"),
            ("after the status answer (the link check)", "after_status")]
    for title, key in rows:
        b, a = before[key], after[key]
        if not b or not a:
            continue
        print("  %-42s median %7.3f -> %7.3f   p90 %7.3f -> %7.3f" % (
            title, statistics.median(b), statistics.median(a), p90(b), p90(a)))
    print("  %-42s median %7.3f -> %7.3f" % ("round trips of a step, summed", statistics.median(before["round_trips"]),
                                             statistics.median(after["round_trips"])))


def phase(work, appliance):
    """The figures of one program's run in WORK; None without a complete step."""
    capture = os.path.join(work, "capture.txt")
    imc_log = os.path.join(work, "imc.log")

    # The status query is the first command the host sends at all.
    status_size = None
    for line in open(capture):
        f = line.split()
        if len(f) == 6 and f[4] == "IMCC":
            status_size = int(f[3])
            break
    if status_size is None:
        print("no status query captured")
        return None

    rec = steps_in_record(os.path.join(work, "record"))
    lengths = [len(r) for r in rec]
    labels = None
    if rec:
        usual = max(set(lengths), key=lengths.count)
        labels = next(r for r in rec if len(r) == usual)
        print("simulator record: commands per status query: %s; a usual step: %s" % (", ".join(
            "%d (%d steps)" % (n, lengths.count(n)) for n in sorted(set(lengths))), ", ".join(labels)))
    figures = report("packet capture (kernel time stamps, microseconds)", from_capture(capture, appliance),
                     status_size, 1, labels)
    report("IMC log (the program's own time stamps, milliseconds)", from_log(imc_log, appliance), status_size, 2,
           labels)
    if figures:
        own = figures["own"]
        med = statistics.median(own)
        verdict = "met" if med <= TARGET_MS else "NOT met"
        print('Target "a step costs no more than its round trips plus 1 ms": %s '
              "(median host time within a step %.3f ms; %d of %d steps within)"
              % (verdict, med, sum(1 for x in own if x <= TARGET_MS), len(own)))

    times = os.path.join(work, "push", "times")
    first_log = first_answer_in_log(imc_log, appliance)
    first_cap = None
    for line in open(capture):
        f = line.split()
        if len(f) == 6 and f[4] == "IMCR" and f[1] == appliance:
            first_cap = float(f[0])
            break
    if os.path.exists(times):
        _, accepted, first_byte, _ = open(times).readline().split()
        accepted, first_byte = float(accepted), float(first_byte)
        print("First status answer -> status push")
        if first_cap:
            print("  from the captured answer: connection after %.1f ms, text after %.1f ms"
                  % ((accepted - first_cap) * 1000, (first_byte - first_cap) * 1000))
        if first_log is not None:
            delta = (seconds_of_day(first_byte) - first_log) % 86400
            print("  from the IMC log's receive line: text after %.1f ms" % (delta * 1000))
    else:
        print("no status push arrived")
    return figures


def main():
    appliance, works = sys.argv[1], sys.argv[2:]
    print("Session step against the simulator (no added delay)")
    figures = []
    for work in works:
        print()
        print("==== %s" % os.path.basename(work.rstrip("/")))
        figures.append(phase(work, appliance))
    if len(figures) == 2 and all(figures):
        print()
        compare(*figures)
    return 0 if figures and all(figures) else 1


if __name__ == "__main__":
    sys.exit(main())
