#!/usr/bin/env python3
"""Every system call that the emulated machine makes goes through its one
table of named calls, where a fault can be injected into it.

The names come from the table itself (installer-sim system-calls); no source
of platform/posix but the one that defines the table (kSystemCalls), wherever
it lives, may call one of them directly. A call on the host rather than on the machine (/proc) is
written with the global qualifier (::open) and stays outside on purpose.
"""

import argparse
import os
import re
import sys

from qxzpy.pin_runs import table_calls

TABLE_DEFINITION = re.compile(r"\bkSystemCalls\s*\[\s*\]\s*=")


def calls_around(source_text, names):
    """(line number, name) of each direct call of a table name in a source;
    members (x.read(), p->write()), qualified calls (::open) and longer
    names (SysOpen, fdopen) are not such calls."""
    pattern = re.compile(r"(?<![\w.>:])(%s)\s*\(" % "|".join(sorted(names)))
    found = []
    for number, line in enumerate(source_text.split("\n"), 1):
        code = re.sub(r'//.*|"(?:[^"\\]|\\.)*"', "", line)
        found += [(number, match.group(1)) for match in pattern.finditer(code)]
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--sim", required=True, help="installer-sim")
    parser.add_argument("--sources", required=True, help="the emulated machine's sources (platform/posix)")
    args = parser.parse_args()
    names = table_calls(os.path.abspath(args.sim))
    print("the table: %s" % " ".join(sorted(names)))
    problems = []
    entries = sorted(os.path.relpath(os.path.join(folder, name), args.sources)
                     for folder, _, names in os.walk(args.sources) for name in names if name.endswith(".cpp"))
    sources = {}
    for entry in entries:
        with open(os.path.join(args.sources, entry), encoding="latin-1") as handle:
            sources[entry] = handle.read()
    tables = [entry for entry, text in sources.items() if TABLE_DEFINITION.search(text)]
    if len(tables) != 1:
        problems.append("the table is defined in %d sources: %s" % (len(tables), " ".join(tables)))
    print("the table lives in %s" % " ".join(tables))
    for entry, text in sources.items():
        if entry not in tables:
            problems += ["%s:%d: %s() around the table" % (entry, number, name)
                         for number, name in calls_around(text, names)]
    print("\n".join(problems) if problems else "no system call around the table")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
