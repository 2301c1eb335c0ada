#!/usr/bin/env python3
"""Runs whole installations of the Pin as the co-installer starts it.

Each scenario is a directory under cases/ with a scenario.json:

  {
    "command_line": "-printerdriver=Model A -product=Model A series -port=USB001",
    "pad_command_line": "x",             optional: {PAD} in the command line becomes as many of
                                         these as make the whole process command line (the
                                         program's path in quotes, a blank and the text) 32,767
                                         characters with its NUL, the longest Windows allows
    "pin_directory": "{WORK}\\%s",       optional: the Pin is copied there and run from there
    "seed": "seed.reg",                  optional: registry content before the run
    "version": "winme",                  optional: the Windows version of the machine
    "directories": ["{WORK}\\Glue"],     optional: directories made before the run
    "files": ["C:\\WINDOWS\\SYSTEM32\\usbmon.dll"],  optional: empty files made before the run
    "ports": ["USB001"],                 optional: local ports added to the spooler's list
    "faults": "RegSetValueExA@ghoulpathname=5",       optional, emulated machine only
    "platforms": ["native"],             optional: where it runs (default: everywhere)
    "temp": "unset",                     optional: start without TEMP and TMP (log in C:\\TEMP),
                                         or with TEMP (and under Wine TMP) set to this text
    "runs": 11,                          optional: start the Pin this many times (default 1)
    "empty_argument_vector": true,       optional, native only: start the Pin by execve with no
                                         argument at all, not even its name (the command line
                                         is then ignored)
    "prefill_logs": {"oldest": 42},      optional: all hundred log files exist before; the
                                         one named was accessed least recently; with
                                         "read_only": true all of them are read-only
    "processes": [["hold-mutex", "QXZ_Installation_Initializing", "2000"]],
                                         installer-sim verbs running during the run; the
                                         file {WORK}\\pin-ended is made once the Pin's runs
                                         have ended (keep-mutex waits for it)
    "process_results": ["released"],     optional: the last line each one prints; each runs
                                         to its end. Without it they only hold objects for the
                                         Pin and are ended once its runs have ended, so a hold
                                         may be long enough for the slowest machine
    "expect_log": "expected.log",        the log, line by line; null: no log file anywhere
    "expect_registry": "expected.reg"    HKLM\\SOFTWARE\\Vorquelle afterwards
  }

Case files are UTF-8 text in which every character stands for one byte
(U+0000 to U+00FF, as in Latin-1): the command line, the .reg text and the
log are bytes, compared byte for byte.

Placeholders, in every text file of a scenario, the command line and the
faults: {WORK} the scenario's own directory (Windows form), {HOSTWORK} the
same as a host path, {PIN} the Pin's path name, {PINDIR} its directory with
the final backslash, {PAD} the padding of "pad_command_line"; in .reg files
they are written with .reg escapes. {REPEAT:TEXT:N} stands for N copies of
TEXT, {xHH} for the byte HH.
In expected.log, {TIME} stands for a ctime-form time, {LINE} for a source
line number, and these lines expand:
  @header         the empty line, the header line and the empty line
  @port NAME      one port of the spooler's list, as a local port
  @default-ports  the ports of a fresh machine (COM1: to COM4:, FILE:, LPT1: to LPT3:)

The same data runs against the native Pin on a fresh emulated machine and
against the cross-built .exe under Wine (one prefix, reset for each case).
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

from qxzpy.machine import Platform, add_platform_arguments
from qxzpy.scenario import Run

HERE = os.path.dirname(os.path.abspath(__file__))
CASES = os.path.join(HERE, "cases")


def run_case(platform, name, keep):
    case_dir = os.path.join(CASES, name)
    with open(os.path.join(case_dir, "scenario.json"), encoding="utf-8") as handle:
        scenario = json.load(handle)
    if platform.kind not in scenario.get("platforms", ["native", "wine"]):
        print("%s: not for %s" % (name, platform.kind))
        return "skipped"
    work = tempfile.mkdtemp(prefix="qxz-scenario-%s-" % name)
    run = Run(platform, case_dir, scenario, work)
    try:
        run.prepare()
        processes = run.start_processes()
        try:
            run.run_pin()
        finally:
            open(os.path.join(work, "pin-ended"), "w").close()
            results = run.finish_processes(processes)
        if "process_results" in scenario and results != scenario["process_results"]:
            raise AssertionError("installer processes ended with %s, expected %s" % (results, scenario["process_results"]))
        if "expect_log" in scenario:
            run.check_log()
        if "expect_registry" in scenario:
            run.check_registry()
    finally:
        run.restore()
        if not keep:
            shutil.rmtree(work, ignore_errors=True)
    print("%s: passed on %s" % (name, platform.kind))
    return "passed"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    add_platform_arguments(parser)
    parser.add_argument("--pin-wrapper", help="native only: a command that runs the Pin, such as valgrind with its options")
    parser.add_argument("--keep", action="store_true", help="keep each case's work directory")
    parser.add_argument("cases", nargs="*", help="case names (default: all)")
    args = parser.parse_args()
    platform = Platform(args)
    names = args.cases or sorted(os.listdir(CASES))
    failed = 0
    skipped = 0
    for name in names:
        try:
            if run_case(platform, name, args.keep) == "skipped":
                skipped += 1
        except (AssertionError, subprocess.TimeoutExpired, OSError) as error:
            failed += 1
            print("%s: FAILED on %s\n%s" % (name, platform.kind, error))
    print("%d passed, %d failed, %d skipped" % (len(names) - failed - skipped, failed, skipped))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

