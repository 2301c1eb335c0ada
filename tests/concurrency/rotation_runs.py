#!/usr/bin/env python3
"""Runs of the Pin on a machine whose temporary directory already holds all
hundred logs, as a machine that has run the Pin a hundred times does.

Every old log was last accessed and last written at its own time long ago.
First RUNS Pins run one after another, then ROUNDS rounds of AT_ONCE Pins
started together; each run has a driver name of its own (it has no Glue
key, so the run fails at its Glue path and ends with its own closing lines).

Asserted after each part: every run exits with 0 and has exactly one log, a
regular file that holds one header and ends with the run's own closing lines
and holds no line of an old log; every other log is still the old log it
was, so exactly as many old logs were reused as runs were made.

Printed: how many runs kept their log.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile

from qxzpy.machine import PROCESS_TIMEOUT, Platform, add_platform_arguments
from qxzpy.pin_runs import closing_lines, log_files, read_lines, run_parts
from qxzpy.scenario import TIME_PATTERN, Run

OLD_TEXT = "an earlier run\n"
OLD = 981173106  # 2001-02-03: older than any log a run writes
HEADER = re.compile(r"\*\*\*\* %s - Logging Enabled \*\*\*\*" % TIME_PATTERN)


class Machine:
    """A machine whose temporary directory is the run's logs directory."""

    def __init__(self, args, work):
        self.platform = Platform(args)
        self.run = Run(self.platform, work, {"command_line": ""}, work)

    def prefill(self):
        """All hundred logs, each last used at its own old time."""
        for name in os.listdir(self.run.logs):
            os.remove(os.path.join(self.run.logs, name))
        for number in range(100):
            path = os.path.join(self.run.logs, "qxqxin%02d.log" % number)
            with open(path, "w") as handle:
                handle.write(OLD_TEXT)
            os.utime(path, (OLD + number, OLD + number))

    @staticmethod
    def command_line(driver):
        return "-printerdriver=%s -product=P -port=LPT1:" % driver

    def start(self, driver):
        return subprocess.Popen(self.platform.command(["run-pin", self.run.pin_program, self.command_line(driver)]),
                                env=self.run.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    @staticmethod
    def finish(driver, process):
        stdout, _ = (text.decode("latin-1") for text in process.communicate(timeout=PROCESS_TIMEOUT))
        if re.findall(r"^exit code (-?\d+)\r?$", stdout, re.MULTILINE) != ["0"]:
            return ["%s: the Pin did not exit with 0: %r" % (driver, stdout)]
        return []

    def check(self, drivers):
        """What is wrong with the logs after the runs of drivers."""
        problems = []
        owners = {}
        old = 0
        for name in log_files(self.run.logs):
            lines = read_lines(os.path.join(self.run.logs, name))
            if lines == [OLD_TEXT.rstrip("\n")]:
                old += 1
                continue
            owner = [driver for driver in drivers
                     if lines[-4:] == closing_lines(self.run.values["PIN"], self.command_line(driver), driver, "Failed")]
            headers = sum(1 for line in lines if HEADER.fullmatch(line))
            if len(owner) != 1 or headers != 1 or lines[:3] != ["", lines[1], ""] or OLD_TEXT.rstrip("\n") in lines:
                problems.append("%s is no one run's whole log: %s" % (name, lines[:3] + ["..."] + lines[-4:]))
                continue
            owners.setdefault(owner[0], []).append(name)
        for driver in drivers:
            if len(owners.get(driver, [])) != 1:
                problems.append("%s has %s logs of its own" % (driver, owners.get(driver, [])))
        if old != 100 - len(drivers):
            problems.append("%d old logs are left for %d runs: expected %d" % (old, len(drivers), 100 - len(drivers)))
        print("  %d of %d runs kept their whole log; %d old logs left" % (len(owners), len(drivers), old), flush=True)
        return problems


def runs_in_a_row(machine, runs):
    machine.prefill()
    drivers = ["Row%02d" % run for run in range(runs)]
    problems = []
    for driver in drivers:
        problems += machine.finish(driver, machine.start(driver))
    print("%d runs in a row against a full rotation:" % runs)
    return problems + machine.check(drivers)


def runs_at_once(machine, at_once, rounds):
    machine.prefill()
    drivers = []
    problems = []
    for round_number in range(rounds):
        batch = ["Once%02d-%02d" % (round_number, run) for run in range(at_once)]
        processes = [machine.start(driver) for driver in batch]
        for driver, process in zip(batch, processes):
            problems += machine.finish(driver, process)
        drivers += batch
    print("%d rounds of %d runs at once against a full rotation:" % (rounds, at_once))
    return problems + machine.check(drivers)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    add_platform_arguments(parser)
    parser.add_argument("--runs", type=int, default=5, help="runs one after another")
    parser.add_argument("--at-once", type=int, default=16, help="runs started together in a round")
    parser.add_argument("--rounds", type=int, default=4, help="rounds of runs at once")
    parser.add_argument("--keep", action="store_true", help="keep the work directory")
    args = parser.parse_args()
    args.pin_wrapper = None
    if args.runs > 100 or args.at_once * args.rounds > 100:
        parser.error("at most a hundred runs reuse the hundred old logs")
    work = tempfile.mkdtemp(prefix="qxz-rotation-runs-")
    machine = Machine(args, work)
    return run_parts(machine.run, work, args.keep, [lambda: runs_in_a_row(machine, args.runs),
                                                    lambda: runs_at_once(machine, args.at_once, args.rounds)])


if __name__ == "__main__":
    sys.exit(main())
