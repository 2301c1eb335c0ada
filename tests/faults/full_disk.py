#!/usr/bin/env python3
"""Whole runs on a full disk: the emulated machine's root on a small file
system (a tmpfs that this script mounts, so it needs root; otherwise it
exits with 77, which ctest counts as skipped) that is then filled up.

Cases, each on a machine of its own on the full disk:
- no kernel-object table yet: the Pin's first event cannot be created;
- a table made before the disk filled: the Pin's registry writes fail;
- the same with TEMP on the full disk too, where no log line fits.

Asserted: the Pin exits with 0 (no signal, and natively no sanitizer
report); where its log is on a disk with room, the log ends with the closing
lines of a failed run and holds the line of the call that failed; the
registry still exports and parses, with no copy of it left aside.
installer-sim, holding a mutex on the full disk, fails with ERROR_DISK_FULL
(112) instead of dying. The tmpfs is unmounted in every case.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

from qxzpy.machine import reg_escape, windows_path
from qxzpy.pin_runs import (SANITIZER_REPORT, closing_lines, log_files,
                            machine_environment, parse_reg, read_lines)

SKIPPED = 77
RUN_TIMEOUT = 120
DISK_SIZE = "2m"
DRIVER = "Model A"
COMMAND_LINE = "-printerdriver=Model A -product=Model A series -port=LPT1:"
GLUE_KEY = "SOFTWARE\\Vorquelle\\QXZ\\Glue"
ERROR_DISK_FULL = 112


def error_line(module, condition):
    return re.compile(r"\[%s\.cpp, Line \d+\]: Error --> %s\Z" % (module, re.escape(condition)))


# What the log must hold where the failure happens.
CASES = [
    {"name": "no kernel-object table", "table": False, "log_on_full_disk": False,
     "failure": error_line("pin_install", "hEventGlueRan == 0")},
    {"name": "registry writes", "table": True, "log_on_full_disk": False,
     "failure": re.compile(r"RegSetStringValue \(.*, pinpathname, .*\) Failed, lResult = 1013\Z")},
    {"name": "log on the full disk too", "table": True, "log_on_full_disk": True, "failure": None},
]


def fill(directory):
    """Writes one file until the file system has not one byte left."""
    with open(os.path.join(directory, "filler"), "wb", buffering=0) as handle:
        for chunk in (1 << 16, 1 << 12, 1):
            try:
                while True:
                    handle.write(b"\0" * chunk)
            except OSError as error:
                if error.errno != 28:  # ENOSPC
                    raise


class FullDisk:
    def __init__(self, pin, sim):
        self.pin, self.sim = pin, sim
        self.work = tempfile.mkdtemp(prefix="qxz-full-disk-")
        self.disk = os.path.join(self.work, "disk")
        os.makedirs(self.disk)

    def sim_run(self, args, machine):
        return subprocess.run([self.sim] + args, env=machine_environment(machine, windows_path(self.work)), capture_output=True,
                              text=True, encoding="latin-1", timeout=RUN_TIMEOUT)

    def prepare(self, case, index):
        """A machine on the disk with the driver's Glue path, before the disk fills."""
        machine = os.path.join(self.disk, "machine%d" % index)
        glue = os.path.join(self.work, "glue%d" % index)
        os.makedirs(glue)
        seed = os.path.join(self.work, "seed%d.reg" % index)
        with open(seed, "w", encoding="latin-1") as handle:
            handle.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\%s\\%s]\n\"GluePath\"=\"%s\\\\\"\n"
                         % (GLUE_KEY, DRIVER, reg_escape(windows_path(glue))))
        for args in [["reg-import", seed]] + ([["hold-mutex", "table", "0"]] if case["table"] else []):
            result = self.sim_run(args, machine)
            if result.returncode != 0:
                raise AssertionError("installer-sim %s: %s%s" % (args[0], result.stdout, result.stderr))
        return machine

    def run_case(self, case, machine, index):
        problems = []
        temp = os.path.join(self.disk if case["log_on_full_disk"] else self.work, "temp%d" % index)
        os.makedirs(temp, exist_ok=True)
        result = subprocess.run([self.pin, COMMAND_LINE], env=machine_environment(machine, windows_path(temp), pin=True), capture_output=True,
                                text=True, encoding="latin-1", timeout=RUN_TIMEOUT)
        if result.returncode != 0:
            problems.append("the Pin exited with %d%s" % (result.returncode,
                                                          " (a signal)" if result.returncode < 0 else ""))
        if SANITIZER_REPORT.search(result.stderr):
            problems.append("sanitizer report:\n" + result.stderr)
        logs = [name for name in log_files(temp) if os.path.getsize(os.path.join(temp, name)) > 0]
        if case["failure"] is not None:
            log = read_lines(os.path.join(temp, logs[0])) if len(logs) == 1 else []
            if len(logs) != 1:
                problems.append("logs written: %s" % logs)
            elif log[-4:] != closing_lines(windows_path(self.pin), COMMAND_LINE, DRIVER, "Failed"):
                problems.append("the log ends with %s" % log[-4:])
            if log and not any(case["failure"].match(line) for line in log):
                problems.append("no line %r in the log:\n%s" % (case["failure"].pattern, "\n".join(log)))
        export = self.sim_run(["reg-export", "HKEY_LOCAL_MACHINE"], machine)
        try:
            keys = parse_reg(export.stdout)
            if ("HKEY_LOCAL_MACHINE\\%s\\%s" % (GLUE_KEY, DRIVER)).lower() not in keys:
                problems.append("the driver's key is gone")
        except ValueError as error:
            problems.append("the registry does not parse: %s" % error)
        asides = [name for name in os.listdir(machine) if name.startswith("registry.reg.")]
        if asides:
            problems.append("copies of the registry left: %s" % asides)
        return problems

    def run(self):
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + DISK_SIZE, "tmpfs", self.disk], check=True)
        try:
            machines = [self.prepare(case, index) for index, case in enumerate(CASES)]
            fill(self.disk)
            failed = 0
            for index, (case, machine) in enumerate(zip(CASES, machines)):
                problems = self.run_case(case, machine, index)
                print("%s: %s" % (case["name"], "; ".join(problems) if problems else "ok"), flush=True)
                failed += bool(problems)
            holder = self.sim_run(["hold-mutex", "QXZ_Installation_Initializing", "0"], machines[0])
            expected = "hold-mutex: CreateMutexA returned %d" % ERROR_DISK_FULL
            if holder.returncode != 1 or expected not in holder.stdout:
                print("installer-sim hold-mutex: exit %d, %r (expected %r)" % (holder.returncode, holder.stdout, expected))
                failed += 1
            else:
                print("installer-sim hold-mutex: %s" % expected)
            return failed
        finally:
            subprocess.run(["umount", "-l", self.disk], check=False)
            shutil.rmtree(self.work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--pin", required=True, help="the native Pin")
    parser.add_argument("--sim", required=True, help="installer-sim of the same build")
    args = parser.parse_args()
    if os.geteuid() != 0:
        print("skipped: mounting a tmpfs needs root")
        return SKIPPED
    return 1 if FullDisk(os.path.abspath(args.pin), os.path.abspath(args.sim)).run() else 0


if __name__ == "__main__":
    sys.exit(main())
