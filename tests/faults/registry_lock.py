#!/usr/bin/env python3
"""A whole run of the Pin while another process holds the emulated
registry's lock and never lets go (a writer stopped in mid-write).

The Pin's registry calls wait QXZ_REGISTRY_LOCK_TIMEOUT_MS each, then fail
with ERROR_LOCK_VIOLATION (33). Asserted: the Pin exits with 0 (natively no
sanitizer report), its log has the registry helper's failure line for the
Glue path with that code and ends with the closing lines of a failed run,
and once the holder is gone the registry is as it was.
"""

import argparse
import fcntl
import os
import shutil
import subprocess
import sys
import tempfile

from qxzpy.machine import reg_escape, windows_path
from qxzpy.pin_runs import SANITIZER_ENV, SANITIZER_REPORT, closing_lines, log_files, parse_reg, read_lines

RUN_TIMEOUT = 120
WAIT_MS = 200
DRIVER = "Model A"
COMMAND_LINE = "-printerdriver=Model A -product=Model A series -port=LPT1:"
DRIVER_KEY = "SOFTWARE\\Vorquelle\\QXZ\\Glue\\" + DRIVER
ERROR_LOCK_VIOLATION = 33


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--pin", required=True, help="the native Pin")
    parser.add_argument("--sim", required=True, help="installer-sim of the same build")
    args = parser.parse_args()
    pin, sim = os.path.abspath(args.pin), os.path.abspath(args.sim)
    work = tempfile.mkdtemp(prefix="qxz-registry-lock-")
    try:
        machine, logs, glue = (os.path.join(work, name) for name in ("machine", "logs", "glue"))
        for directory in (logs, glue):
            os.makedirs(directory)
        env = {name: value for name, value in os.environ.items() if name not in ("TMP", "TEMP", "QXZ_FAULTS")}
        env.update(SANITIZER_ENV, QXZ_MACHINE_ROOT=machine, TEMP=windows_path(logs))
        seed = os.path.join(work, "seed.reg")
        with open(seed, "w", encoding="latin-1") as handle:
            handle.write('REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\%s]\n"GluePath"="%s\\\\"\n'
                         % (DRIVER_KEY, reg_escape(windows_path(glue))))
        sim_env = dict(env, ASAN_OPTIONS=env["ASAN_OPTIONS"] + ":detect_leaks=0")
        subprocess.run([sim, "reg-import", seed], env=sim_env, check=True, capture_output=True, timeout=RUN_TIMEOUT)
        before = subprocess.run([sim, "reg-export", "HKEY_LOCAL_MACHINE"], env=sim_env, capture_output=True,
                                text=True, encoding="latin-1", timeout=RUN_TIMEOUT).stdout
        problems = []
        with open(os.path.join(machine, "registry.lock"), "r+") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            result = subprocess.run([pin, COMMAND_LINE], env=dict(env, QXZ_REGISTRY_LOCK_TIMEOUT_MS=str(WAIT_MS)),
                                    capture_output=True, text=True, encoding="latin-1", timeout=RUN_TIMEOUT)
        if result.returncode != 0:
            problems.append("the Pin exited with %d" % result.returncode)
        if SANITIZER_REPORT.search(result.stderr):
            problems.append("sanitizer report:\n" + result.stderr)
        names = log_files(logs)
        log = read_lines(os.path.join(logs, names[0])) if len(names) == 1 else []
        failure = "RegGetStringValue (%s, GluePath) Failed, lResult = %d" % (DRIVER_KEY, ERROR_LOCK_VIOLATION)
        if failure not in log:
            problems.append("no line %r in the log" % failure)
        if log[-4:] != closing_lines(windows_path(pin), COMMAND_LINE, DRIVER, "Failed"):
            problems.append("the log ends with %s" % log[-4:])
        after = subprocess.run([sim, "reg-export", "HKEY_LOCAL_MACHINE"], env=sim_env, capture_output=True,
                               text=True, encoding="latin-1", timeout=RUN_TIMEOUT).stdout
        if parse_reg(after) != parse_reg(before):
            problems.append("the registry changed")
        print("\n".join(problems) if problems else "the Pin logged: " + failure)
        if problems and log:
            print("--- log\n" + "\n".join(log))
        return 1 if problems else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
