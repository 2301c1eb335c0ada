#!/usr/bin/env python3
"""Whatever another user plants under a log's name in a shared temporary
directory neither stops nor redirects a run of the Pin.

Planted: a FIFO, a socket, a symbolic link to a file outside the temporary
directory, a dangling link into that outside directory, a hard link to the
outside file, and a directory; each once under qxqxin00.log alone and once
under every one of the hundred names but the least recently accessed log.
Then a race: qxqxin00.log, the least recently accessed name, is replaced
again and again by a regular file and by a link to the outside file while
the Pin runs, RACE_RUNS times. The link is a symbolic one (--race-link) or
a hard one. Under Wine it is a hard one: Wine opens what a host's symbolic
link points to even when asked for the link itself, and names the file by
a second look at the path; a link swapped in for that instant and out again
passes for the file itself, which no program on Wine can tell (Wine's
DeleteFileA on such a link even removes the file it points to). A hard
link, Wine reports truly, from the open file itself.

Asserted for every run: the Pin exits with 0 within its time-out (a FIFO
must not hold it up); it leaves a log of its own in the temporary directory,
a regular file that ends with its own closing lines; the outside file is
unchanged and nothing is made at a dangling link's target.
"""

import argparse
import fcntl
import os
import socket
import stat
import subprocess
import sys
import tempfile
import threading

from qxzpy.machine import PROCESS_TIMEOUT, Platform, add_platform_arguments
from qxzpy.pin_runs import closing_lines, log_files, read_lines, run_parts
from qxzpy.scenario import Run

VICTIM_TEXT = "outside the temporary directory\n"
OLD = 981173106  # 2001-02-03: older than any log a run writes
OWNER_LOCK_OFFSET = 0x7FFFFFFF << 32  # the byte a run locks on its log


def plant(kind, path, outside):
    """Makes path an entry of the kind, pointing into outside where it points."""
    victim = os.path.join(outside, "victim.txt")
    if kind == "fifo":
        os.mkfifo(path)
    elif kind == "socket":
        with socket.socket(socket.AF_UNIX) as server:
            server.bind(path)
    elif kind == "symbolic link":
        os.symlink(victim, path)
    elif kind == "dangling link":
        os.symlink(os.path.join(outside, "made.txt"), path)
    elif kind == "hard link":
        os.link(victim, path)
    elif kind == "directory":
        os.mkdir(path)
    else:
        raise ValueError(kind)


KINDS = ["fifo", "socket", "symbolic link", "dangling link", "hard link", "directory"]


class Machine:
    """A machine whose temporary directory is the run's logs directory."""

    def __init__(self, args, work):
        self.platform = Platform(args)
        self.run = Run(self.platform, work, {"command_line": ""}, work)
        self.outside = os.path.join(work, "outside")
        os.makedirs(self.outside)
        self.victim = os.path.join(self.outside, "victim.txt")
        with open(self.victim, "w") as handle:
            handle.write(VICTIM_TEXT)
        self.victim_state = self.state(self.victim)

    @staticmethod
    def state(path):
        with open(path) as handle:
            return handle.read(), os.stat(path).st_mtime_ns

    def clear_logs(self):
        for name in os.listdir(self.run.logs):
            path = os.path.join(self.run.logs, name)
            if os.path.isdir(path) and not os.path.islink(path):
                os.rmdir(path)
            else:
                os.remove(path)

    def pin(self, driver):
        """Runs the Pin for a driver (which has no Glue key, so the run fails
        at its Glue path); returns what is wrong (empty: nothing)."""
        command_line = "-printerdriver=%s -product=P -port=LPT1:" % driver
        try:
            output = self.run.sim(["run-pin", self.run.pin_program, command_line])
        except subprocess.TimeoutExpired:
            return ["%s: the Pin did not end within %d s" % (driver, PROCESS_TIMEOUT)]
        problems = []
        if "exit code 0" not in output.splitlines():
            problems.append("%s: the Pin did not exit with 0: %r" % (driver, output))
        closing = closing_lines(self.run.values["PIN"], command_line, driver, "Failed")
        own = [name for name in log_files(self.run.logs)
               if stat.S_ISREG(os.lstat(os.path.join(self.run.logs, name)).st_mode)
               and read_lines(os.path.join(self.run.logs, name))[-4:] == closing]
        if len(own) != 1:
            holders = {name: read_lines(os.path.join(self.run.logs, name))[-3:] for name in log_files(self.run.logs)
                       if stat.S_ISREG(os.lstat(os.path.join(self.run.logs, name)).st_mode)
                       and any(driver in line for line in read_lines(os.path.join(self.run.logs, name)))}
            problems.append("%s: %d logs end with the run's closing lines; its lines are in %s" % (
                driver, len(own), holders or "no file"))
        if self.state(self.victim) != self.victim_state:
            problems.append("%s: the file outside the temporary directory changed" % driver)
        if os.path.lexists(os.path.join(self.outside, "made.txt")):
            problems.append("%s: a file was made through a dangling link" % driver)
        return problems


def planted_runs(machine):
    problems = []
    for kind in KINDS:
        for everywhere in (False, True):
            machine.clear_logs()
            numbers = range(1, 100) if everywhere else [0]
            if everywhere:
                # The one ordinary log, the least recently accessed, is reused.
                path = os.path.join(machine.run.logs, "qxqxin00.log")
                with open(path, "w") as handle:
                    handle.write("an earlier run\n")
                os.utime(path, (OLD, OLD))
            for number in numbers:
                plant(kind, os.path.join(machine.run.logs, "qxqxin%02d.log" % number), machine.outside)
            label = "%s under %s" % (kind, "every other name" if everywhere else "qxqxin00.log")
            found = machine.pin(label.replace(" ", "-"))
            print("  %-40s %s" % (label, "ok" if not found else "FAILED"), flush=True)
            problems += found
    return problems


def race_runs(machine, runs, link_kind):
    """qxqxin00.log, the least recently accessed name, flips between a
    regular file and a link of link_kind to the outside file while the Pin
    runs. A run that took the name for its log leaves it the least recently
    used no longer: after each run the name holds a plant again, so that
    every run meets the race."""
    machine.clear_logs()
    for number in range(1, 100):
        path = os.path.join(machine.run.logs, "qxqxin%02d.log" % number)
        with open(path, "w") as handle:
            handle.write("an earlier run\n")
    target = os.path.join(machine.run.logs, "qxqxin00.log")
    victim_inode = os.stat(machine.victim).st_ino
    stop = threading.Event()

    def is_racer_link(path):
        entry = os.lstat(path)
        return stat.S_ISLNK(entry.st_mode) or entry.st_ino == victim_inode

    def replace_plant(aside):
        """Puts aside under the name when the name holds the racer's own plant
        as it left it (a link, or its file holding only what it wrote). A
        file that a run writes its log into is under the run's owner lock,
        which the racer takes first, so it never removes a run's log."""
        try:
            if is_racer_link(target):
                os.replace(aside, target)
                return
            descriptor = os.open(target, os.O_RDWR)
        except FileNotFoundError:
            os.replace(aside, target)
            return
        try:
            fcntl.lockf(descriptor, fcntl.LOCK_EX | fcntl.LOCK_NB, 1, OWNER_LOCK_OFFSET)
            if os.pread(descriptor, 64, 0) == b"planted\n":
                os.replace(aside, target)
        except OSError:
            pass  # a run owns the file
        finally:
            os.close(descriptor)
        if os.path.lexists(aside):
            os.remove(aside)

    def file_plant(aside):
        with open(aside, "w") as handle:
            handle.write("planted\n")
        os.utime(aside, (OLD, OLD))

    def flip():
        turn = 0
        while not stop.is_set():
            aside = os.path.join(machine.outside, "aside-%d" % (turn % 2))
            if turn % 2:
                plant(link_kind, aside, machine.outside)
            else:
                file_plant(aside)
            turn += 1
            replace_plant(aside)

    def plant_again():
        """Between runs the name holds a plant again, in place of a run's log
        checked and done with; the racer then goes on with it."""
        aside = os.path.join(machine.outside, "again")
        file_plant(aside)
        os.replace(aside, target)

    racer = threading.Thread(target=flip, daemon=True)
    racer.start()
    problems = []
    try:
        for run in range(runs):
            problems += machine.pin("Race%03d" % run)
            plant_again()
    finally:
        stop.set()
        racer.join()
    print("  %d runs raced against a link: %d problems" % (runs, len(problems)), flush=True)
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    add_platform_arguments(parser)
    parser.add_argument("--race-runs", type=int, default=200, help="runs raced against a link")
    parser.add_argument("--race-link", choices=["symbolic", "hard"], default="symbolic",
                        help="the kind of link raced against a regular file")
    parser.add_argument("--keep", action="store_true", help="keep the work directory")
    args = parser.parse_args()
    args.pin_wrapper = None
    work = tempfile.mkdtemp(prefix="qxz-planted-names-")
    machine = Machine(args, work)
    return run_parts(machine.run, work, args.keep, [
        lambda: planted_runs(machine),
        lambda: race_runs(machine, args.race_runs, args.race_link + " link"),
    ])


if __name__ == "__main__":
    sys.exit(main())
