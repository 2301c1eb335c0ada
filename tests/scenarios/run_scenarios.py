#!/usr/bin/env python3
"""Runs whole installations of the Pin as the co-installer starts it.

Each scenario is a directory under cases/ with a scenario.json:

  {
    "command_line": "-printerdriver=Model A -product=Model A series -port=USB001",
    "seed": "seed.reg",                  optional: registry content before the run
    "version": "winme",                  optional: the Windows version of the machine
    "directories": ["{WORK}\\Glue"],     optional: directories made before the run
    "files": ["C:\\WINDOWS\\SYSTEM32\\usbmon.dll"],  optional: empty files made before the run
    "ports": ["USB001"],                 optional: local ports added to the spooler's list
    "faults": "RegSetValueExA@ghoulpathname=5",       optional, emulated machine only
    "platforms": ["native"],             optional: where it runs (default: everywhere)
    "temp": "unset",                     optional: start without TEMP and TMP (log in C:\\TEMP)
    "runs": 11,                          optional: start the Pin this many times (default 1)
    "prefill_logs": {"oldest": 42},      optional: all hundred log files exist before; the
                                         one named was accessed least recently
    "processes": [["hold-mutex", "QXZ_Installation_Initializing", "2000"]],
                                         installer-sim verbs running during the run
    "process_results": ["released"],     optional: the last line each one prints
    "expect_log": "expected.log",        the log, line by line
    "expect_registry": "expected.reg"    HKLM\\SOFTWARE\\Vorquelle afterwards
  }

Placeholders, in every text file of a scenario: {WORK} the scenario's own
directory (Windows form), {PIN} the Pin's path name, {PINDIR} its directory
with the final backslash. In .reg files they are written with .reg escapes.
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
import queue
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CASES = os.path.join(HERE, "cases")
PORTS_KEY = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports"
DEFAULT_PORTS = ["COM1:", "COM2:", "COM3:", "COM4:", "FILE:", "LPT1:", "LPT2:", "LPT3:"]
TIME_PATTERN = r"(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d\d \d\d:\d\d:\d\d \d{4}"
FIRST_LINE_TIMEOUT = 60
PROCESS_TIMEOUT = 300


def windows_path(posix_path):
    """The Windows form of a host path, as Wine and the emulated machine see it."""
    return "Z:" + os.path.abspath(posix_path).replace("/", "\\")


def reg_escape(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def substitute(text, values, for_reg):
    for name, value in values.items():
        text = text.replace("{" + name + "}", reg_escape(value) if for_reg else value)
    return text


class Platform:
    """How installer-sim and the Pin are started on one platform."""

    def __init__(self, args):
        self.kind = args.platform
        self.sim = os.path.abspath(args.sim)
        self.pin = os.path.abspath(args.pin)
        self.wine_run = args.wine_run
        self.prefix = args.prefix
        self.pin_wrapper = args.pin_wrapper

    def pin_program(self, work):
        """What installer-sim starts: the Pin, or a script that runs it under the wrapper."""
        if not self.pin_wrapper:
            return self.pin_path()
        script = os.path.join(work, "pin-wrapper")
        with open(script, "w") as handle:
            handle.write('#!/bin/sh\nexec %s "%s" "$@"\n' % (self.pin_wrapper, self.pin))
        os.chmod(script, 0o755)
        return script

    def command(self, verb_and_args):
        if self.kind == "wine":
            return [self.wine_run, self.prefix, self.sim] + verb_and_args
        return [self.sim] + verb_and_args

    def pin_path(self):
        return windows_path(self.pin) if self.kind == "wine" else self.pin

    def pin_pathname(self):
        """What the Pin reports as its own path name."""
        return windows_path(self.pin)


class Run:
    def __init__(self, platform, case_dir, spec, work):
        self.platform = platform
        self.case_dir = case_dir
        self.spec = spec
        self.work = work
        self.unset_temp = spec.get("temp") == "unset"
        if self.unset_temp:
            # The log goes to TEMP at the root of the Windows drive.
            machine = platform.prefix if platform.kind == "wine" else os.path.join(work, "machine")
            self.logs = resolve_ignoring_case(os.path.join(machine, "drive_c"), ["TEMP"])
            shutil.rmtree(self.logs, ignore_errors=True)
        else:
            self.logs = os.path.join(work, "logs")
            os.makedirs(self.logs)
        pin_pathname = platform.pin_pathname()
        self.values = {
            "WORK": windows_path(work),
            "PIN": pin_pathname,
            "PINDIR": pin_pathname[: pin_pathname.rfind("\\") + 1],
        }
        self.env = dict(os.environ)
        self.env.pop("TMP", None)
        self.env.pop("TEMP", None)
        if not self.unset_temp:
            self.env["TEMP"] = windows_path(self.logs)
        self.env.pop("QXZ_FAULTS", None)
        self.cleanup_files = []
        if platform.kind == "native":
            self.env["QXZ_MACHINE_ROOT"] = os.path.join(work, "machine")

    def case_text(self, name, for_reg):
        with open(os.path.join(self.case_dir, name), encoding="utf-8") as handle:
            return substitute(handle.read(), self.values, for_reg)

    def sim(self, verb_and_args, env=None):
        result = subprocess.run(self.platform.command(verb_and_args), env=env or self.env,
                                capture_output=True, text=True, timeout=PROCESS_TIMEOUT)
        if result.returncode != 0:
            raise AssertionError("installer-sim %s failed (%d):\n%s%s" % (
                " ".join(verb_and_args), result.returncode, result.stdout, result.stderr))
        return result.stdout

    def import_registry(self, text):
        path = os.path.join(self.work, "import.reg")
        with open(path, "w", encoding="utf-8", newline="\r\n" if self.platform.kind == "wine" else "\n") as handle:
            handle.write(text)
        self.sim(["reg-import", path])

    def prepare(self):
        seed_body = ""
        if "seed" in self.spec:
            seed = self.case_text(self.spec["seed"], True)
            seed_body = seed.split("\n", 1)[1] if seed.startswith("REGEDIT4") else seed
        ports = self.spec.get("ports", [])
        if ports:
            seed_body += "\n[%s]\n%s" % (PORTS_KEY, "".join('"%s"=""\n' % port for port in ports))
        version = self.spec.get("version")
        if self.platform.kind == "wine":
            # One prefix serves every case: reset what a case may have left.
            temp = "-" if self.unset_temp else '"%s"' % reg_escape(windows_path(self.logs))
            reset = ["REGEDIT4", "", "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vorquelle]", "",
                     "[HKEY_CURRENT_USER\\Environment]", '"TEMP"=' + temp, '"TMP"=' + temp, "",
                     "[HKEY_CURRENT_USER\\Software\\Wine]",
                     '"Version"=' + ('"%s"' % version if version else "-"), ""]
            self.import_registry("\n".join(reset) + "\n" + seed_body)
        else:
            if version:
                self.sim(["set-version", version])
            if seed_body.strip():
                self.import_registry("REGEDIT4\n" + seed_body)
        for directory in self.spec.get("directories", []):
            self.sim(["mkdir", substitute(directory, self.values, False)])
        for name in self.spec.get("files", []):
            self.make_file(substitute(name, self.values, False))
        if "prefill_logs" in self.spec:
            self.prefill_logs(self.spec["prefill_logs"]["oldest"])

    def prefill_logs(self, oldest):
        """All hundred log files, each accessed a second after the one before,
        but for the oldest, which was accessed an hour before all of them."""
        os.makedirs(self.logs, exist_ok=True)
        start = time.time() - 1000
        for number in range(100):
            path = os.path.join(self.logs, "qxqxin%02d.log" % number)
            with open(path, "w") as handle:
                handle.write("an earlier run\n")
            accessed = start - 3600 if number == oldest else start + number
            os.utime(path, (accessed, accessed))

    def expected_log_files(self):
        """The log files there must be afterwards, and the one this run wrote last."""
        if "prefill_logs" in self.spec:
            oldest = "qxqxin%02d.log" % self.spec["prefill_logs"]["oldest"]
            return ["qxqxin%02d.log" % number for number in range(100)], oldest
        names = ["qxqxin%02d.log" % number for number in range(self.spec.get("runs", 1))]
        return names, names[-1]

    def restore(self):
        """Takes back what a case changed outside its own directory (Wine's shared prefix)."""
        if self.unset_temp and self.platform.kind == "wine":
            shutil.rmtree(self.logs, ignore_errors=True)
        for path in self.cleanup_files:
            if os.path.exists(path):
                os.remove(path)
        ports = self.spec.get("ports", [])
        if ports and self.platform.kind == "wine":
            self.import_registry("REGEDIT4\n\n[%s]\n%s" % (PORTS_KEY, "".join('"%s"=-\n' % port for port in ports)))

    def make_file(self, name):
        """An empty file, given in Windows form on drive C: or Z:."""
        if name.upper().startswith("C:\\"):
            machine = self.platform.prefix if self.platform.kind == "wine" else os.path.join(self.work, "machine")
            path = resolve_ignoring_case(os.path.join(machine, "drive_c"), name[3:].split("\\"))
        else:
            path = name[2:].replace("\\", "/")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "w").close()
        self.cleanup_files.append(path)

    def start_processes(self):
        processes = []
        for verb_and_args in self.spec.get("processes", []):
            process = subprocess.Popen(self.platform.command(verb_and_args), env=self.env,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            lines = queue.Queue()
            threading.Thread(target=forward_lines, args=(process.stdout, lines), daemon=True).start()
            try:
                first = lines.get(timeout=FIRST_LINE_TIMEOUT)
            except queue.Empty:
                process.kill()
                raise AssertionError("installer-sim %s never got in place" % " ".join(verb_and_args))
            processes.append((verb_and_args, process, lines, [first.rstrip("\n")]))
        return processes

    def finish_processes(self, processes):
        results = []
        for verb_and_args, process, lines, seen in processes:
            process.wait(timeout=PROCESS_TIMEOUT)
            while True:
                try:
                    seen.append(lines.get(timeout=5).rstrip("\n"))
                except queue.Empty:
                    break
            # Each verb ends with "<verb>: ok" (or its error) after its result.
            outcome = [line for line in seen if not line.startswith(verb_and_args[0] + ":")]
            results.append(outcome[-1] if outcome else "")
        return results

    def run_pin(self):
        env = dict(self.env)
        if "faults" in self.spec:
            env["QXZ_FAULTS"] = self.spec["faults"]
        for _ in range(self.spec.get("runs", 1)):
            output = self.sim(["run-pin", self.platform.pin_program(self.work), self.spec["command_line"]], env)
            codes = re.findall(r"^exit code (-?\d+)$", output, re.MULTILINE)
            if codes != ["0"]:
                raise AssertionError("the Pin did not exit with 0: %r" % output)

    def check_log(self):
        names = sorted(os.listdir(self.logs)) if os.path.isdir(self.logs) else []
        expected_names, last = self.expected_log_files()
        if names != expected_names:
            raise AssertionError("expected the log files %s, found %s" % (expected_names, names))
        for name in names:
            if name != last and "prefill_logs" in self.spec and read_text(os.path.join(self.logs, name)) != "an earlier run\n":
                raise AssertionError("%s was changed, though another file was accessed less recently" % name)
        with open(os.path.join(self.logs, last), "rb") as handle:
            actual = handle.read().decode("latin-1").replace("\r\n", "\n").split("\n")
        if actual and actual[-1] == "":
            actual.pop()
        expected = expand_expected_log(self.case_text(self.spec["expect_log"], False))
        compare_lines(expected, actual)

    def check_registry(self):
        actual = self.sim(["reg-export", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vorquelle"]).replace("\r\n", "\n")
        expected = self.case_text(self.spec["expect_registry"], True)
        if actual.strip() != expected.strip():
            raise AssertionError("registry differs.\n--- expected\n%s\n--- actual\n%s" % (expected, actual))


def read_text(path):
    with open(path, encoding="latin-1") as handle:
        return handle.read()


def forward_lines(stream, lines):
    for line in stream:
        lines.put(line)


def resolve_ignoring_case(directory, components):
    """A path below directory whose existing components match ignoring case."""
    for component in components:
        match = component
        if os.path.isdir(directory):
            for entry in os.listdir(directory):
                if entry.lower() == component.lower():
                    match = entry
                    break
        directory = os.path.join(directory, match)
    return directory


def expand_expected_log(text):
    lines = []
    for line in text.split("\n"):
        if line == "@header":
            lines += ["", "**** {TIME} - Logging Enabled ****", ""]
        elif line.startswith("@port "):
            lines += port_lines(line[len("@port "):])
        elif line == "@default-ports":
            for port in DEFAULT_PORTS:
                lines += port_lines(port)
        else:
            lines.append(line)
    if lines and lines[-1] == "":
        lines.pop()
    return lines


def port_lines(name):
    return ["", "Name %s,Mon name Local Monitor,Desc Local Port,Res 0 Type=1" % name, " PORT_TYPE_WRITE"]


def line_pattern(expected):
    pattern = re.escape(expected)
    pattern = pattern.replace(re.escape("{TIME}"), TIME_PATTERN).replace(re.escape("{LINE}"), r"\d+")
    return re.compile(pattern + r"\Z")


def compare_lines(expected, actual):
    for number, (want, got) in enumerate(zip(expected, actual), 1):
        if not line_pattern(want).match(got):
            raise AssertionError("log line %d differs:\n  expected: %r\n  actual:   %r\n--- whole log\n%s" % (
                number, want, got, "\n".join(actual)))
    if len(expected) != len(actual):
        raise AssertionError("log has %d lines, expected %d\n--- whole log\n%s" % (
            len(actual), len(expected), "\n".join(actual)))


def run_case(platform, name, keep):
    case_dir = os.path.join(CASES, name)
    with open(os.path.join(case_dir, "scenario.json"), encoding="utf-8") as handle:
        spec = json.load(handle)
    if platform.kind not in spec.get("platforms", ["native", "wine"]):
        print("%s: not for %s" % (name, platform.kind))
        return "skipped"
    work = tempfile.mkdtemp(prefix="qxz-scenario-%s-" % name)
    run = Run(platform, case_dir, spec, work)
    try:
        run.prepare()
        processes = run.start_processes()
        try:
            run.run_pin()
        finally:
            results = run.finish_processes(processes)
        if "process_results" in spec and results != spec["process_results"]:
            raise AssertionError("installer processes ended with %s, expected %s" % (results, spec["process_results"]))
        if "expect_log" in spec:
            run.check_log()
        if "expect_registry" in spec:
            run.check_registry()
    finally:
        run.restore()
        if not keep:
            shutil.rmtree(work, ignore_errors=True)
    print("%s: passed on %s" % (name, platform.kind))
    return "passed"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--platform", choices=["native", "wine"], required=True)
    parser.add_argument("--pin", required=True, help="the Pin program")
    parser.add_argument("--sim", required=True, help="the installer-sim program")
    parser.add_argument("--wine-run", help="tools/wine-run (wine only)")
    parser.add_argument("--prefix", help="the Wine prefix (wine only)")
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
