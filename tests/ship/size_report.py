#!/usr/bin/env python3
"""Sizes of the shipping programs, and where their bytes go.

usage: size_report.py [--budget NAME=BYTES]... FILE...

Prints each file's size, its sections and, for a program that carries the
uninstaller (resource EXE 153), how much of it that is. Fails when a file
named in a --budget is larger than its budget.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xp_loader_check import Image, PeError  # noqa: E402


def report(path):
    image = Image(path)
    size = os.path.getsize(path)
    parts = ", ".join("%s %d" % (name, raw_size) for name, _, _, _, raw_size in image.sections if raw_size)
    line = "%s: %d bytes (%s)" % (os.path.basename(path), size, parts)
    carried = sum(s for t, n, _, s, _ in image.resources() if t == "EXE" and n == 153)
    if carried:
        line += "; the carried uninstaller %d, the rest %d" % (carried, size - carried)
    print(line)
    return size


def main(argv):
    budgets, files = {}, []
    args = iter(argv[1:])
    for a in args:
        if a == "--budget":
            name, _, limit = next(args).partition("=")
            budgets[name] = int(limit)
        else:
            files.append(a)
    faults = []
    for path in files:
        try:
            size = report(path)
        except (OSError, PeError) as e:
            faults.append("%s: %s" % (path, e))
            continue
        limit = budgets.get(os.path.basename(path))
        if limit is not None and size > limit:
            faults.append("%s: %d bytes, over its budget of %d" % (path, size, limit))
    for f in faults:
        print(f, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
