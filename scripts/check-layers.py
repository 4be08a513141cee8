#!/usr/bin/env python3
"""check-layers.py SRC_DIR: fails when a source file includes a header of a
layer above its own.

Layers, low to high: base < imc, host < session < backends < ui < app (imc
and host stand side by side). A quoted include names its folder
("session/RouteSet.h"); a bare name is looked for in the file's own folder
first, then in each layer's folder. Prints one line per upward include and
exits 1 when there is any, 0 otherwise.
"""
import os
import re
import sys

LAYERS = {"base": 0, "imc": 1, "host": 1, "session": 2, "backends": 3, "ui": 4, "app": 5}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCES = (".h", ".hpp", ".cpp", ".cc")


def layer_of_include(src, folder, name):
    if "/" in name:
        return name.split("/", 1)[0]
    if os.path.exists(os.path.join(src, folder, name)):
        return folder
    for other in LAYERS:
        if os.path.exists(os.path.join(src, other, name)):
            return other
    return None


def upward_includes(src):
    found = []
    for folder, rank in LAYERS.items():
        for root, _, files in os.walk(os.path.join(src, folder)):
            for name in sorted(files):
                if not name.endswith(SOURCES):
                    continue
                path = os.path.join(root, name)
                with open(path, errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = layer_of_include(src, folder, m.group(1))
                        if target in LAYERS and LAYERS[target] > rank:
                            found.append("%s:%d: %s (%s) includes %s (%s)" % (
                                os.path.relpath(path, src), number, folder, rank, m.group(1), LAYERS[target]))
    return found


def main():
    if len(sys.argv) != 2 or not os.path.isdir(sys.argv[1]):
        print("usage: check-layers.py SRC_DIR", file=sys.stderr)
        return 2
    found = upward_includes(sys.argv[1])
    for line in found:
        print(line)
    print("%d upward includes" % len(found))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
