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
- the logs are numbered files qxqxin00.log to qxqxinN.log: a run takes the
  first number with no file, or with a file held open elsewhere, and there are
  at most N files before it. The reference run's qxqxin00.log may be written
  over: a file that another run holds open for a moment, only to look at it,
  counts as free too;
- a log that is exactly one run's log tells that run's outcome as the
  registry does.

Measured and printed, not asserted (the numbering rule counts a file held open
elsewhere as free, so runs that overlap may share a file, each writing at its
own position): the number of log files, the files that hold lines of more than
one run, the runs whose lines are gone, lines that are no line of any run
(overwritten in part), lines with NUL bytes, and how many logs end with
"The Pin Succeeded".
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "scenarios"))
sys.path.insert(0, os.path.join(HERE, "..", "faults"))
from run_scenarios import PROCESS_TIMEOUT, TIME_PATTERN, Platform, Run, add_platform_arguments, shortened  # noqa: E402
from pin_runs import SANITIZER_ENV, SANITIZER_REPORT, log_files, parse_reg, read_lines, reg_string  # noqa: E402

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


def measure_logs(machine, registered, reference_log):
    """Prints what became of the logs of the runs at once; returns what is
    wrong with them. The reference run's file counts among theirs once one
    of them has written to it."""
    runs = machine.drivers[1:]
    names = log_files(machine.run.logs)
    problems = []
    if not set(names) <= {"qxqxin%02d.log" % number for number in range(len(runs) + 1)}:
        problems.append("log files %s, expected some of qxqxin00.log to qxqxin%02d.log" % (names, len(runs)))
    contents = {name: read_lines(os.path.join(machine.run.logs, name)) for name in names}
    kept = [name for name, lines in contents.items() if lines == reference_log]
    for name in kept:
        del contents[name]
    if not contents:
        problems.append("no log of the runs at once")
    forms = {driver.name: expected_logs(driver, reference_log) for driver in machine.drivers}
    legitimate = {line for outcomes in forms.values() for form in outcomes.values() for line in form}
    whole, holders, damaged, with_nul, endings = 0, {}, [], 0, {}
    reasons = dict.fromkeys(WAIT_FAILURES + ["The Pin Succeeded"], 0)
    for name, lines in contents.items():
        normal_lines = [normal(line) for line in lines]
        holders[name] = {driver.name for driver in machine.drivers if driver.specific_lines() & set(lines)}
        damaged += [line for line, normal_line in zip(lines, normal_lines) if normal_line not in legitimate]
        with_nul += sum(1 for line in lines if "\0" in line)
        for reason in reasons:
            reasons[reason] += sum(1 for line in lines if line.endswith(reason))
        endings[lines[-1]] = endings.get(lines[-1], 0) + 1
        for driver_name, outcomes in forms.items():
            for outcome, form in outcomes.items():
                if normal_lines == form:
                    whole += 1
                    if (outcome == "Succeeded") != (driver_name in registered):
                        problems.append("%s is %s's whole log, which %s, but the registry %s its values" % (
                            name, driver_name, outcome, "holds" if driver_name in registered else "lacks"))
    seen = set().union(*holders.values()) if holders else set()
    print("  %d log files for %d runs (the reference run's log %s); %d of them exactly one run's log; %d hold "
          "lines of more than one run (at most %d)" % (
              len(contents), len(runs), "kept" if kept else "written over", whole,
              sum(1 for names in holders.values() if len(names) > 1), max(map(len, holders.values()), default=0)))
    print("  runs with none of their own lines left in any log: %d" % sum(1 for d in runs if d.name not in seen))
    print("  lines that are no whole line of any run: %d%s; lines with NUL bytes: %d" % (
        len(damaged), ", such as %s" % [shortened(line, 120) for line in damaged[:3]] if damaged else "", with_nul))
    print("  lines found: %s; last lines of the logs: %s" % (reasons, endings))
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
        problems += measure_logs(machine, registered, reference_log)
    finally:
        machine.cleanup()
        if args.keep or problems:
            print("work directory kept: %s" % work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    for problem in problems:
        print("FAILED: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
