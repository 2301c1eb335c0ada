#!/usr/bin/env python3
"""Many Pins started at once on one machine, one driver each.

One Pin runs alone first, for a reference log (the machine's own port list).
Then N Pins start at once through installer-sim run-pin, as Glue starts
them, each with its own driver and Glue path and a port name of its own, so
that the lines of each run can be told apart in the logs.

Asserted:
- every run exits with 0 (natively, without a sanitizer report);
- the registry exports and parses; every seeded value is still there; each
  driver has either all four of its values (pinpathname, pdipathname,
  ghoulpathname, runghoul) with their exact data, or none: a Pin that meets
  the installer's mutex still owned by a Pin that ended (WAIT_ABANDONED) or
  held past its second (WAIT_TIMEOUT) fails before it registers anything;
- at least one driver has its values (the Pin that creates the mutex owns it);
- every run has a log file of its own that holds its whole log, ending
  with its own closing lines; the reference run's qxqxin00.log is kept;
- a driver has its values exactly when its log says "The Pin Succeeded";
  otherwise its log shows the mutex wait that failed.

Printed: the number of log files and how the runs ended.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile

from qxzpy.machine import PROCESS_TIMEOUT, Platform, add_platform_arguments, shortened
from qxzpy.pin_runs import SANITIZER_ENV, SANITIZER_REPORT, log_files, parse_reg, read_lines, reg_string, report
from qxzpy.scenario import TIME_PATTERN, Run

GLUE_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vorquelle\\QXZ\\Glue"
WAIT_FAILURES = ["dwWaitResult == WAIT_ABANDONED", "dwWaitResult == WAIT_TIMEOUT"]


class Driver:
    """One Pin's run: its driver, port and command line."""

    def __init__(self, number):
        self.number = number
        self.name = "Model %02d" % number
        self.port = "QXZ%02d" % number
        self.command_line = "-printerdriver=%s -product=%s series -port=%s" % (self.name, self.name, self.port)

    def key(self):
        return "%s\\%s" % (GLUE_KEY, self.name)

    def own(self, line):
        """A line of the reference run as this run writes it."""
        return (line.replace(REFERENCE.command_line, self.command_line).replace(REFERENCE.name, self.name)
                .replace(REFERENCE.port, self.port))

    def specific_lines(self):
        """Lines that only this run writes."""
        return {"Input PortName is :: " + self.port, "Command Line = " + self.command_line, "Driver Name = " + self.name}


REFERENCE = Driver(0)


def normal(line):
    """A log line with its time and source line numbers made the same for every run."""
    return re.sub(r", Line \d+\]: ", ", Line {LINE}]: ", re.sub(TIME_PATTERN, "{TIME}", line))


def expected_logs(driver, reference_log):
    """The logs a run may write: the reference run's, and that of a run that
    fails at the mutex wait (before it reads the language override)."""
    success = [normal(driver.own(line)) for line in reference_log]
    cut = next(i for i, line in enumerate(success) if "OverrideLanguage) Failed" in line)
    logs = {"Succeeded": success}
    for failure in WAIT_FAILURES:
        logs[failure] = success[:cut] + [
            "[pin_install.cpp, Line {LINE}]: Error --> " + failure,
            "[pin_install.cpp, Line {LINE}]: Error --> ConvertParameters( sDriverName ) == false",
            "[pin_main.cpp, Line {LINE}]: Error --> PreInstall( sDriverName ) == false"] + success[-4:-1] + ["The Pin Failed"]
    return logs


class Machine:
    """The machine of the runs, prepared by the scenario runner's pieces."""

    def __init__(self, args, count, work):
        self.platform = Platform(args)
        self.drivers = [Driver(number) for number in range(count + 1)]
        seed = ["REGEDIT4", ""]
        for driver in self.drivers:
            os.makedirs(os.path.join(work, "Glue%02d" % driver.number))
            seed += ["[%s]" % driver.key(), '"GluePath"="{WORK}\\\\Glue%02d\\\\"' % driver.number, ""]
        with open(os.path.join(work, "seed.reg"), "w", encoding="latin-1") as handle:
            handle.write("\n".join(seed))
        self.run = Run(self.platform, work, {"command_line": "", "seed": "seed.reg"}, work)
        self.env = dict(self.run.env, **SANITIZER_ENV)

    def start(self, driver):
        return subprocess.Popen(self.platform.command(["run-pin", self.run.pin_program, driver.command_line]),
                                env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def finish(self, driver, process):
        """What went wrong with one run (empty: nothing)."""
        stdout, stderr = (text.decode("latin-1") for text in process.communicate(timeout=PROCESS_TIMEOUT))
        problems = []
        if re.findall(r"^exit code (-?\d+)\r?$", stdout, re.MULTILINE) != ["0"]:
            problems.append("%s: the Pin did not exit with 0: %r" % (driver.name, stdout))
        if SANITIZER_REPORT.search(stderr):
            problems.append("%s: sanitizer report:\n%s" % (driver.name, stderr))
        return problems

    def registry(self):
        return parse_reg(self.run.sim(["reg-export", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vorquelle"]))

    def cleanup(self):
        if self.platform.kind == "wine":
            self.run.import_registry("REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vorquelle]\n")


def check_registry(machine, keys):
    """The drivers whose values are present, and what is wrong."""
    pin = machine.run.values["PIN"]
    data = {"pinpathname": reg_string(pin), "pdipathname": reg_string(machine.run.values["PINDIR"] + "qxzpdi14.exe"),
            "ghoulpathname": reg_string(machine.run.values["PINDIR"] + "qxzghl14.exe"), "runghoul": reg_string("true")}
    registered, problems = set(), []
    expected_keys = {"hkey_local_machine\\software\\vorquelle", "hkey_local_machine\\software\\vorquelle\\qxz",
                     GLUE_KEY.lower()} | {driver.key().lower() for driver in machine.drivers}
    if set(keys) != expected_keys:
        problems.append("keys %s, expected %s" % (sorted(keys), sorted(expected_keys)))
    for driver in machine.drivers:
        values = dict(keys.get(driver.key().lower(), {}))
        glue_path = values.pop("gluepath", None)
        if glue_path != reg_string(machine.run.values["WORK"] + "\\Glue%02d\\" % driver.number):
            problems.append("%s: GluePath lost or changed: %s" % (driver.name, glue_path))
        if values == data:
            registered.add(driver.name)
        elif values:
            problems.append("%s: some of the values, or others: %s" % (driver.name, values))
    return registered, problems


def check_logs(machine, registered, reference_log):
    """What is wrong with the logs of the runs at once: each run has a file
    of its own holding its whole log, the reference run's log is kept, and a
    driver without its values has a log that shows the mutex wait that
    failed. Prints the figures."""
    runs = machine.drivers[1:]
    names = log_files(machine.run.logs)
    problems = []
    contents = {name: read_lines(os.path.join(machine.run.logs, name)) for name in names}
    forms = {driver.name: expected_logs(driver, reference_log) for driver in machine.drivers}
    owners, outcomes = {}, {}
    for name, lines in contents.items():
        normal_lines = [normal(line) for line in lines]
        found = [(driver_name, outcome) for driver_name, driver_forms in forms.items()
                 for outcome, form in driver_forms.items() if normal_lines == form]
        if len(found) != 1:
            holders = sorted(driver.name for driver in machine.drivers if driver.specific_lines() & set(lines))
            problems.append("%s is no one run's whole log (lines of %s): %s" % (
                name, holders or "no run", [shortened(line, 100) for line in lines[-6:]]))
            continue
        driver_name, outcome = found[0]
        if driver_name in owners:
            problems.append("%s and %s both hold %s's log" % (owners[driver_name], name, driver_name))
        owners[driver_name], outcomes[driver_name] = name, outcome
    if owners.get(machine.drivers[0].name) != "qxqxin00.log":
        problems.append("the reference run's log qxqxin00.log was not kept")
    for driver in runs:
        if driver.name not in owners:
            problems.append("%s has no whole log of its own" % driver.name)
        elif (outcomes[driver.name] == "Succeeded") != (driver.name in registered):
            problems.append("%s's log %s says %s, but the registry %s its values" % (
                driver.name, owners[driver.name], outcomes[driver.name],
                "holds" if driver.name in registered else "lacks"))
    counts = {outcome: sum(1 for driver in runs if outcomes.get(driver.name) == outcome)
              for outcome in ["Succeeded"] + WAIT_FAILURES}
    print("  %d log files for %d runs and the reference run; %d whole logs of their own; %s" % (
        len(names), len(runs), len(owners), counts))
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    add_platform_arguments(parser)
    parser.add_argument("--runs", type=int, default=16, help="Pins started at once")
    parser.add_argument("--keep", action="store_true", help="keep the work directory")
    args = parser.parse_args()
    args.pin_wrapper = None
    work = tempfile.mkdtemp(prefix="qxz-concurrent-pins-")
    machine = Machine(args, args.runs, work)
    problems = []
    try:
        machine.run.prepare()
        reference, runs = machine.drivers[0], machine.drivers[1:]
        problems += machine.finish(reference, machine.start(reference))
        reference_names = log_files(machine.run.logs)
        if problems or len(reference_names) != 1:
            raise AssertionError("the reference run failed: %s, logs %s" % (problems, reference_names))
        reference_log = read_lines(os.path.join(machine.run.logs, reference_names[0]))
        processes = [machine.start(driver) for driver in runs]
        for driver, process in zip(runs, processes):
            problems += machine.finish(driver, process)
        registered, registry_problems = check_registry(machine, machine.registry())
        problems += registry_problems
        if reference.name not in registered:
            problems.append("the reference run's values are missing")
        count = sum(1 for driver in runs if driver.name in registered)
        if count == 0:
            problems.append("no driver of the runs at once has its values")
        print("%d Pins at once on %s: %d drivers registered, %d failed at the mutex" % (
            len(runs), args.platform, count, len(runs) - count))
        problems += check_logs(machine, registered, reference_log)
    finally:
        machine.cleanup()
        code = report(work, args.keep, problems)
    return code


if __name__ == "__main__":
    sys.exit(main())
