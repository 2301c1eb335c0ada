"""Pieces shared by the drivers that run the Pin on their own machines:
reading installer-sim's .reg export, the sanitizers' settings, the log's
closing lines and its files, the names of the machine's system calls."""

import os
import re
import shutil
import subprocess

from qxzpy.machine import PROCESS_TIMEOUT

# A sanitizer report ends the process at once with a non-zero code.
SANITIZER_ENV = {
    "ASAN_OPTIONS": "halt_on_error=1:detect_leaks=1:abort_on_error=0",
    "UBSAN_OPTIONS": "halt_on_error=1:print_stacktrace=1",
}
SANITIZER_REPORT = re.compile(r"Sanitizer|runtime error:")

LOG_NAME = re.compile(r"qxqxin\d\d\.log", re.IGNORECASE)
RESULT_LINES = ("The Pin Succeeded", "The Pin Failed")


def machine_environment(machine, temp, pin=False):
    """The environment of a program on the emulated machine at root machine
    with TEMP (in Windows form) at temp, without any faults or tracing of
    the caller's: the Pin's, or installer-sim's, which does not look for its
    own leaks."""
    env = {name: value for name, value in os.environ.items()
           if name not in ("TMP", "TEMP", "QXZ_FAULTS", "QXZ_TRACE_CALLS")}
    env.update(SANITIZER_ENV)
    if not pin:
        env["ASAN_OPTIONS"] += ":detect_leaks=0"
    env["QXZ_MACHINE_ROOT"] = machine
    env["TEMP"] = temp
    return env


def parse_reg(text):
    """The keys of a .reg text as {key path: {value name: data as written}},
    both names lower-cased (the registry ignores their case). Raises
    ValueError on a line that is no part of the format."""
    keys = {}
    current = None
    lines = text.replace("\r\n", "\n").split("\n")
    logical = []
    for line in lines:
        # A hex list goes on after a trailing backslash; a string never ends in one.
        if logical and logical[-1].endswith("\\") and not logical[-1].endswith('"'):
            logical[-1] = logical[-1][:-1] + line.strip()
        else:
            logical.append(line)
    for number, line in enumerate(logical, 1):
        if number == 1 and line == "REGEDIT4" or not line.strip():
            continue
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1].lower(), {})
            continue
        match = re.fullmatch(r'"((?:[^"\\]|\\.)*)"=(.+)|(@)=(.+)', line)
        if match is None or current is None:
            raise ValueError("not .reg text at line %d: %r" % (number, line))
        name = "@" if match.group(3) else re.sub(r"\\(.)", r"\1", match.group(1))
        current[name.lower()] = match.group(2) or match.group(4)
    return keys


def reg_string(text):
    """The data of a REG_SZ value as a .reg text writes it."""
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')


def closing_lines(pin_pathname, command_line, driver, result):
    """The four lines that end every run's log."""
    return ["Pin Pathname = " + pin_pathname, "Command Line = " + command_line,
            "Driver Name = " + driver, "The Pin " + result]


def log_files(directory):
    """The log files of a directory, by name."""
    if not os.path.isdir(directory):
        return []
    return sorted(name for name in os.listdir(directory) if LOG_NAME.fullmatch(name))


def read_lines(path):
    """A file's lines as text of single bytes, without the last newline."""
    with open(path, "rb") as handle:
        text = handle.read().decode("latin-1").replace("\r\n", "\n")
    return text[:-1].split("\n") if text.endswith("\n") else text.split("\n")


def table_calls(sim):
    """The names of the emulated machine's system calls, from its one table."""
    result = subprocess.run([sim, "system-calls"], capture_output=True, text=True, timeout=PROCESS_TIMEOUT)
    lines = result.stdout.split("\n")
    if result.returncode != 0 or "system-calls: ok" not in lines:
        raise AssertionError("installer-sim system-calls failed: %s%s" % (result.stdout, result.stderr))
    return set(lines[:lines.index("system-calls: ok")])


def report(work, keep, problems):
    """Removes the work directory unless it is to be kept or something went
    wrong, prints every problem, and returns the exit code."""
    if keep or problems:
        print("work directory kept: %s" % work)
    else:
        shutil.rmtree(work, ignore_errors=True)
    for problem in problems:
        print("FAILED: " + problem)
    return 1 if problems else 0


def run_parts(run, work, keep, parts):
    """Prepares the machine of a scenario Run, runs each part (a function
    that returns what went wrong), takes back what the run changed outside
    its work directory, and reports; returns the exit code."""
    problems = []
    try:
        run.prepare()
        for part in parts:
            problems += part()
    finally:
        run.restore()
        code = report(work, keep, problems)
    return code
