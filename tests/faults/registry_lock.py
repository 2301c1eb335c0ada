#!/usr/bin/env python3
"""Whole runs of the Pin while a writer of the emulated registry is stopped
(SIGSTOP) holding the registry's lock.

Readers never take the lock, so every read goes on; the Pin's first write
waits QXZ_REGISTRY_LOCK_TIMEOUT_MS once, then fails with
ERROR_LOCK_VIOLATION (33). Asserted: a reader (installer-sim reg-export)
ends within the wait; the Pin exits with 0 (natively no sanitizer report)
after one wait (less than two), its log has the failed write of pinpathname
with that code and ends with the closing lines of a failed run; the registry
is as it was; once the writer goes on, the next run succeeds.
"""

import argparse
import fcntl
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from qxzpy.machine import reg_escape, windows_path
from qxzpy.pin_runs import SANITIZER_ENV, SANITIZER_REPORT, closing_lines, log_files, parse_reg, read_lines

RUN_TIMEOUT = 120
WAIT_MS = 5000
# A writer that takes the lock, says so, and holds it until its input ends.
HOLDER = ("import fcntl, sys\n"
          "lock = open(sys.argv[1], 'r+')\n"
          "fcntl.flock(lock, fcntl.LOCK_EX)\n"
          "print('locked', flush=True)\n"
          "sys.stdin.read()\n")
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
        lock_env = dict(env, QXZ_REGISTRY_LOCK_TIMEOUT_MS=str(WAIT_MS))
        holder = subprocess.Popen([sys.executable, "-c", HOLDER, os.path.join(machine, "registry.lock")],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        try:
            if holder.stdout.readline().strip() != "locked":
                problems.append("the writer did not take the lock")
            os.kill(holder.pid, signal.SIGSTOP)
            started = time.monotonic()
            reader = subprocess.run([sim, "reg-export", "HKEY_LOCAL_MACHINE"], env=dict(sim_env, **lock_env),
                                    capture_output=True, text=True, encoding="latin-1", timeout=RUN_TIMEOUT)
            read_ms = (time.monotonic() - started) * 1000
            started = time.monotonic()
            result = subprocess.run([pin, COMMAND_LINE], env=lock_env, capture_output=True, text=True,
                                    encoding="latin-1", timeout=RUN_TIMEOUT)
            run_ms = (time.monotonic() - started) * 1000
        finally:
            os.kill(holder.pid, signal.SIGCONT)
            holder.stdin.close()
            holder.wait(timeout=RUN_TIMEOUT)
        print("with the writer stopped: a reader took %d ms, the Pin's run %d ms (the wait is %d ms)"
              % (read_ms, run_ms, WAIT_MS))
        if reader.returncode != 0 or reader.stdout != before:
            problems.append("the reader failed: %s" % reader.stdout.splitlines()[-1:])
        if read_ms >= WAIT_MS:
            problems.append("the reader waited %d ms for the writer" % read_ms)
        # One wait and the run itself (seconds at most under the sanitizers on a loaded machine); a
        # wait per registry call would take three.
        if not WAIT_MS <= run_ms < WAIT_MS * 2:
            problems.append("the Pin's run took %d ms, not one wait of %d ms" % (run_ms, WAIT_MS))
        if result.returncode != 0:
            problems.append("the Pin exited with %d" % result.returncode)
        if SANITIZER_REPORT.search(result.stderr):
            problems.append("sanitizer report:\n" + result.stderr)
        names = log_files(logs)
        log = read_lines(os.path.join(logs, names[0])) if len(names) == 1 else []
        failure = "RegSetStringValue (%s, pinpathname, %s) Failed, lResult = %d" % (
            DRIVER_KEY, windows_path(pin), ERROR_LOCK_VIOLATION)
        if failure not in log:
            problems.append("no line %r in the log" % failure)
        if log[-4:] != closing_lines(windows_path(pin), COMMAND_LINE, DRIVER, "Failed"):
            problems.append("the log ends with %s" % log[-4:])
        after = subprocess.run([sim, "reg-export", "HKEY_LOCAL_MACHINE"], env=sim_env, capture_output=True,
                               text=True, encoding="latin-1", timeout=RUN_TIMEOUT).stdout
        if parse_reg(after) != parse_reg(before):
            problems.append("the registry changed")
        subprocess.run([pin, COMMAND_LINE], env=lock_env, capture_output=True, timeout=RUN_TIMEOUT)
        names = log_files(logs)
        next_log = read_lines(os.path.join(logs, names[1])) if len(names) == 2 else []
        if next_log[-1:] != ["The Pin Succeeded"]:
            problems.append("the run after the writer went on ends with %s" % next_log[-1:])
        print("\n".join(problems) if problems else "the Pin logged: " + failure)
        if problems and log:
            print("--- log\n" + "\n".join(log))
        return 1 if problems else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
