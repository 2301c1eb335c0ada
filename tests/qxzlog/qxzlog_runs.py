#!/usr/bin/env python3
"""qxzlog on logs that the Pin itself wrote, natively or under Wine.

The Pin runs as Glue starts it (installer-sim run-pin): a success, a missing
switch, a status code, a registry failure, a killed run (a real log cut after
its port lines), three runs at once; then all hundred numbers are used and the
Pin reuses one in the middle, so the number no longer tells the newest run.
Asserted of qxzlog on that directory (given as a host path, a relative path
and in Windows form, and by default the Pin's own temporary directory):
- the JSON is valid and tells each run's file, driver, port, outcome and
  innermost failed check as the run went; the text lists the newest run first;
- the exit codes: by the newest run, 2 for no log, a missing directory or a
  wrong option (with the usage);
- every file's bytes, last write and last access times are as they were
  (every access time set well before the last write first, so that a read
  would move it);
- --show and --last print the lines of the log; colour only on a terminal
  and never with NO_COLOR (natively);
- files that are no log (empty, garbage, a directory, CRLF, a mebibyte line,
  bytes 0x80 to 0xFF) are told as such, the JSON still valid.
"""

import argparse
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from qxzpy.machine import PROCESS_TIMEOUT, Platform, add_platform_arguments, reg_escape, windows_path

OLD_ACCESS = 1000000000  # 2001-09-09: before every log's last write
DRIVERS_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vorquelle\\QXZ\\Glue"


class Lab:
    """One machine (natively a fresh root, under Wine the build's prefix) whose
    TEMP is a directory of this test."""

    def __init__(self, platform, qxzlog, work):
        self.platform = platform
        self.qxzlog = os.path.abspath(qxzlog)
        self.work = work
        self.logs = os.path.join(work, "logs")
        os.makedirs(self.logs)
        os.makedirs(os.path.join(work, "Glue"))
        self.env = dict(os.environ)
        for name in ("TMP", "TEMP", "QXZ_FAULTS", "NO_COLOR"):
            self.env.pop(name, None)
        self.env["TEMP"] = windows_path(self.logs)
        if platform.kind == "native":
            self.env["QXZ_MACHINE_ROOT"] = os.path.join(work, "machine")
        glue = reg_escape(windows_path(os.path.join(work, "Glue")) + "\\")
        seed = ["REGEDIT4", "", "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vorquelle]", ""]
        for driver in ("Model A", "Model B", "Model D"):
            seed += ["[%s\\%s]" % (DRIVERS_KEY, driver), '"GluePath"="%s"' % glue, ""]
        missing = reg_escape(windows_path(os.path.join(work, "no-such-glue")) + "\\")
        seed += ["[%s\\Model E]" % DRIVERS_KEY, '"GluePath"="%s"' % missing, ""]
        if platform.kind == "wine":
            temp = '"%s"' % reg_escape(self.env["TEMP"])
            seed += ["[HKEY_CURRENT_USER\\Environment]", '"TEMP"=' + temp, '"TMP"=' + temp, ""]
        self.import_registry("\n".join(seed) + "\n")

    def import_registry(self, text):
        path = os.path.join(self.work, "seed.reg")
        with open(path, "w", newline="\r\n" if self.platform.kind == "wine" else "\n") as handle:
            handle.write(text)
        self.sim(["reg-import", path])

    def restore(self):
        if self.platform.kind == "wine":
            self.import_registry("REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vorquelle]\n\n"
                                 "[HKEY_CURRENT_USER\\Environment]\n\"TEMP\"=-\n\"TMP\"=-\n")

    def sim(self, verb_and_args, env=None):
        result = subprocess.run(self.platform.command(verb_and_args), env=env or self.env, capture_output=True,
                                timeout=PROCESS_TIMEOUT)
        if result.returncode != 0:
            raise AssertionError("installer-sim %s failed: %r" % (verb_and_args[0], result.stdout + result.stderr))
        return result.stdout.decode("latin-1")

    def pin_command(self, text):
        return ["run-pin", self.platform.pin_program(self.platform.pin, self.work), text]

    def run_pin(self, text, faults=None):
        env = dict(self.env)
        if faults:
            env["QXZ_FAULTS"] = faults
        before = set(os.listdir(self.logs))
        output = self.sim(self.pin_command(text), env)
        if "exit code 0" not in output:
            raise AssertionError("the Pin did not exit with 0: %r" % output)
        return newest_log(self.logs, before)

    def qxzlog_command(self, args):
        command = [self.qxzlog] + args
        if self.platform.kind == "wine":
            command = [self.platform.wine_run, self.platform.prefix] + command
        return command

    def qxzlog_run(self, args, env=None, cwd=None, raw=False):
        result = subprocess.run(self.qxzlog_command(args), env=env or self.env, capture_output=True,
                                timeout=PROCESS_TIMEOUT, cwd=cwd or self.work)
        stdout = result.stdout if raw else result.stdout.replace(b"\r\n", b"\n")
        if b"Sanitizer" in result.stderr or b"runtime error:" in result.stderr:
            raise AssertionError("sanitizer report: %s" % result.stderr.decode("latin-1"))
        return result.returncode, stdout, result.stderr.decode("latin-1")


def newest_log(directory, before):
    """The log that a run just wrote: a new file, else the last one written."""
    names = [name for name in os.listdir(directory) if re.fullmatch(r"qxqxin\d\d\.log", name)]
    new = [name for name in names if name not in before]
    if new:
        return new[0]
    return max(names, key=lambda name: os.stat(os.path.join(directory, name)).st_mtime_ns)


def snapshot(directory):
    """Every entry's kind, bytes, last write and last access (as found)."""
    state = {}
    for name in sorted(os.listdir(directory)):
        path = os.path.join(directory, name)
        info = os.lstat(path)
        if os.path.isdir(path):
            state[name] = ("directory", info.st_mtime_ns, info.st_atime_ns)
            continue
        with open(path, "rb") as handle:
            digest = hashlib.sha256(handle.read()).hexdigest()
        # This reading must not count: the time goes back as it was.
        os.utime(path, ns=(info.st_atime_ns, info.st_mtime_ns))
        # The last use as the Pin takes it: a write counts as an access.
        state[name] = (digest, info.st_mtime_ns, max(info.st_atime_ns, info.st_mtime_ns))
    return state


def read_keeping_times(path):
    """A file's bytes; this reading does not count as an access."""
    info = os.stat(path)
    with open(path, "rb") as handle:
        data = handle.read()
    os.utime(path, ns=(info.st_atime_ns, info.st_mtime_ns))
    return data


def age_access_times(directory):
    """Access times long before the last writes, so that any read moves them."""
    for name in os.listdir(directory):
        path = os.path.join(directory, name)
        os.utime(path, ns=(OLD_ACCESS * 10**9 + hash(name) % 10**9 // 100 * 100, os.stat(path).st_mtime_ns))


def expect(condition, message):
    if not condition:
        raise AssertionError(message)


def parse_json(output):
    try:
        return json.loads(output.decode("ascii"))
    except (UnicodeDecodeError, ValueError) as error:
        raise AssertionError("not JSON (%s): %r" % (error, output[:2000]))


def make_runs(lab):
    """The Pin's runs; returns {file: (outcome, driver, failed condition, failed source)}."""
    expected = {}
    wine = lab.platform.kind == "wine"
    # Three at once, one driver each, first: a Pin takes a file that another
    # holds open for a moment to look at it, so runs at once may write over
    # any earlier log. Each ends somehow; only their listing is asserted.
    processes = [subprocess.Popen(lab.platform.command(lab.pin_command(
        "-printerdriver=Model %s -product=P -port=COM%d:" % (driver, number))), env=lab.env, stdout=subprocess.PIPE,
        stderr=subprocess.PIPE) for number, driver in enumerate(("A", "B", "D"), 1)]
    for process in processes:
        process.communicate(timeout=PROCESS_TIMEOUT)
    name = lab.run_pin("-printerdriver=Model A -product=Model A series -port=LPT1:")
    expected[name] = ("succeeded", "Model A", None, None)
    name = lab.run_pin("-printerdriver=Model B -port=USB001")
    expected[name] = ("failed", None, "sDriverName.empty()", "qxzglue_utils.cpp")
    name = lab.run_pin("-statuscode=5 -printerdriver=Model A -product=P -port=LPT1:")
    expected[name] = ("failed", None, "fStatusCodeSet == true", "pin_main.cpp")
    if wine:
        # No key for the driver: the registry read fails.
        name = lab.run_pin("-printerdriver=Model C -product=P -port=LPT1:")
    else:
        name = lab.run_pin("-printerdriver=Model D -product=P -port=LPT1:", faults="RegSetValueExA@ghoulpathname=5")
    expected[name] = ("failed", "Model %s" % ("C" if wine else "D"), "lResult != ERROR_SUCCESS", "qxzglue_registry.cpp")
    # A run killed after its port check: a real log cut there.
    name = lab.run_pin("-printerdriver=Model A -product=Model A series -port=LPT2:")
    path = os.path.join(lab.logs, name)
    with open(path, "rb") as handle:
        data = handle.read()
    cut = data.index(b"fFoundPortName = 1")
    with open(path, "r+b") as handle:
        handle.truncate(data.index(b"\n", cut) + 1)
    expected[name] = ("incomplete", None, None, None)
    return expected


def wrap_numbers(lab, expected):
    """Fills every free number with an older run and makes qxqxin50.log the
    least recently used, then runs the Pin once more: it reuses 50."""
    with open(os.path.join(lab.logs, next(name for name, value in expected.items() if value[0] == "succeeded")),
              "rb") as handle:
        success = handle.read()
    older = re.sub(rb"\*\*\*\* .{24} - Logging", b"**** Mon Jan 05 10:00:00 2026 - Logging", success)
    for number in range(100):
        path = os.path.join(lab.logs, "qxqxin%02d.log" % number)
        if not os.path.exists(path):
            with open(path, "wb") as handle:
                handle.write(older)
            expected["qxqxin%02d.log" % number] = ("succeeded", "Model A", None, None)
        os.utime(path, (OLD_ACCESS + 100 + number, os.stat(path).st_mtime))
    # A write counts as a use: 50 is also the least recently written.
    os.utime(os.path.join(lab.logs, "qxqxin50.log"), (OLD_ACCESS, OLD_ACCESS))
    name = lab.run_pin("-printerdriver=Model B -product=P -port=LPT1:")
    expect(name == "qxqxin50.log", "the Pin reused %s, not qxqxin50.log" % name)
    expected[name] = ("succeeded", "Model B", None, None)
    return name


def check_listing(lab, expected, newest):
    age_access_times(lab.logs)
    before = snapshot(lab.logs)
    relative = os.path.relpath(lab.logs, lab.work)
    for directory in (lab.logs, relative, windows_path(lab.logs), None):
        args = ["--json"] + ([directory] if directory else [])
        code, output, errors = lab.qxzlog_run(args)
        runs = parse_json(output)
        expect(code == 0, "qxzlog --json %s: exit code %d (%s)" % (directory, code, errors))
        expect(runs[0]["file"] == newest, "newest run: %r, not %s" % (runs[0], newest))
        by_file = {}
        for run in runs:
            by_file.setdefault(run["file"], []).append(run)
        for name, (outcome, driver, condition, source) in expected.items():
            run = by_file[name][0]
            expect(run["outcome"] == outcome, "%s: %r, expected %s" % (name, run, outcome))
            if driver is not None:
                expect(run["driver"] == driver, "%s: driver %r" % (name, run["driver"]))
            failed = run["failed_check"]
            if condition is None:
                expect(failed is None, "%s: a failed check in a run that did not fail: %r" % (name, failed))
            else:
                expect(failed is not None and failed["condition"] == condition and failed["source"] == source
                       and failed["line"] > 0, "%s: failed check %r, expected %s in %s" % (name, failed, condition, source))
            for field in ("started", "port", "port_found", "command_line", "errors", "pin_pathname"):
                expect(field in run, "%s: no field %s" % (name, field))
        concurrent = [run for run in runs if run["port"] in ("COM1:", "COM2:", "COM3:")]
        expect(len(concurrent) >= 1, "none of the runs at once is listed")
    code, output, _ = lab.qxzlog_run([lab.logs])
    lines = output.decode("latin-1").splitlines()
    expect(code == 0 and newest in lines[0] and "succeeded" in lines[0], "text listing: %d %r" % (code, lines[:3]))
    expect(b"\x1b[" not in output, "colour on a pipe")
    failed = [line for line in lines if "Glue passed status code 5 for driver Model A; the Pin stopped." in line]
    expect(len(failed) == 1 and " failed " in failed[0], "the status-code run's line: %r" % failed)

    code, output, _ = lab.qxzlog_run(["--last", lab.logs])
    expect(code == 0 and output.startswith(newest.encode() + b":\n") and b"Driver Name = Model B" in output,
           "--last: %d %r" % (code, output[:300]))
    status_file = next(name for name, value in expected.items() if value[2] == "fStatusCodeSet == true")
    code, output, _ = lab.qxzlog_run(["--show", status_file[6:8], lab.logs])
    expect(code == 1 and b"]: Error --> fStatusCodeSet == true\n" in output, "--show: %d %r" % (code, output[-300:]))
    code, output, _ = lab.qxzlog_run(["--show", "qxqxin%s" % status_file[6:], lab.logs])
    expect(code == 1 and b"The Pin Failed" in output, "--show by name: %d" % code)
    after = snapshot(lab.logs)
    changed = [name for name in before if before[name] != after.get(name)]
    expect(not changed and before.keys() == after.keys(),
           "reading changed %s: %s" % (changed, [(before[name], after.get(name)) for name in changed[:3]]))


def check_exit_codes(lab):
    empty = os.path.join(lab.work, "empty")
    os.makedirs(empty)
    for args, code in ((["--json", empty], 2), ([empty], 2), ([os.path.join(lab.work, "missing")], 2),
                       (["--last", empty], 2), (["--show", "7", empty], 2), (["--bogus"], 2), (["--show"], 2),
                       (["--json", "--last"], 2), ([empty, empty], 2)):
        actual, output, errors = lab.qxzlog_run(args)
        expect(actual == code, "qxzlog %s: exit code %d, expected %d" % (args, actual, code))
        if args[0].startswith("--") and args[0] != "--json" and args[0] != "--last" and args != ["--show", "7", empty]:
            expect("usage: qxzlog" in errors, "qxzlog %s: no usage" % args)
    _, output, _ = lab.qxzlog_run(["--json", empty])
    expect(parse_json(output) == [], "an empty directory: %r" % output)


def check_bad_files(lab, expected):
    """Files under a log's name that are no log, or an odd one."""
    bad = os.path.join(lab.work, "bad")
    os.makedirs(bad)
    success = next(name for name, value in expected.items() if value[0] == "succeeded")
    with open(os.path.join(lab.logs, success), "rb") as handle:
        real = handle.read().replace(b"\r\n", b"\n")  # the Windows runtime writes CRLF
    files = {
        "qxqxin00.log": b"",
        "qxqxin01.log": bytes((index * 131 + 7) & 0xFF for index in range(8192)),
        "qxqxin02.log": real.replace(b"\n", b"\r\n"),
        "qxqxin03.log": real.replace(b"Driver Name = Model A", b"Driver Name = " + b"\xe9" * (1 << 20) + b"\x01\x7f\"\\"),
        "qxqxin04.log": real + real.replace(b"The Pin Succeeded", b"The Pin Failed"),
    }
    for name, data in files.items():
        with open(os.path.join(bad, name), "wb") as handle:
            handle.write(data)
    os.makedirs(os.path.join(bad, "qxqxin05.log"))
    age_access_times(bad)
    before = snapshot(bad)
    code, output, errors = lab.qxzlog_run(["--json", bad])
    runs = parse_json(output)
    expect(code in (0, 1), "bad files: exit code %d (%s)" % (code, errors))
    by_file = {}
    for run in runs:
        by_file.setdefault(run["file"], []).append(run)
    expect(by_file["qxqxin00.log"][0]["outcome"] == "no run" and "empty" in by_file["qxqxin00.log"][0]["problem"],
           "empty file: %r" % by_file["qxqxin00.log"])
    expect(by_file["qxqxin01.log"][0]["outcome"] == "no run", "garbage: %r" % by_file["qxqxin01.log"])
    expect(by_file["qxqxin02.log"][0]["outcome"] == "succeeded" and by_file["qxqxin02.log"][0]["driver"] == "Model A",
           "CRLF: %r" % by_file["qxqxin02.log"])
    expect(by_file["qxqxin03.log"][0]["driver"] == "\xe9" * (1 << 20) + "\x01\x7f\"\\", "the mebibyte driver name")
    expect(sorted(run["outcome"] for run in by_file["qxqxin04.log"]) == ["failed", "succeeded"], "two runs in one file")
    expect(by_file["qxqxin05.log"][0]["problem"] == "a directory", "a directory: %r" % by_file["qxqxin05.log"])
    code, output, _ = lab.qxzlog_run([bad])
    expect(b"qxqxin01.log" in output and b"no run" in output and code in (0, 1), "bad files as text: %r" % output)
    expect(snapshot(bad) == before, "reading the bad files changed them")


def check_colour(lab):
    """Natively, on a terminal: colour, unless NO_COLOR says no."""
    import pty
    for no_colour, coloured in ((None, True), ("1", False)):
        env = dict(lab.env)
        if no_colour:
            env["NO_COLOR"] = no_colour
        leader, follower = pty.openpty()
        process = subprocess.Popen([lab.qxzlog, "--last", lab.logs], stdout=follower, stderr=subprocess.PIPE, env=env)
        os.close(follower)
        output = b""
        while True:
            try:
                chunk = os.read(leader, 65536)
            except OSError:
                break
            if not chunk:
                break
            output += chunk
        process.wait(timeout=PROCESS_TIMEOUT)
        os.close(leader)
        expect((b"\x1b[" in output) == coloured, "NO_COLOR=%s: colour %s" % (no_colour, b"\x1b[" in output))


# The runs of the diagnosis: one per cause and warning that a real run can
# produce on the platform. Fields: name, command line, QXZ_FAULTS, the
# installer-sim verb that holds an object meanwhile and its readiness line,
# the outcome, the cause, its subject and code ("log": the registry's code as
# the log shows it), the warnings other than usb-monitor (that one is expected
# wherever the log shows the monitor refused), and where it runs.
BOTH, NATIVE = ("native", "wine"), ("native",)
MUTEX = "QXZ_Installation_Initializing"
DIAGNOSIS_CASES = [
    ("no command line", "", None, None, None, "failed", "no-command-line", None, None, {}, BOTH),
    ("status code", "-statuscode=5 -printerdriver=Model A -product=P -port=LPT1:", None, None, None, "failed",
     "status-code", "statuscode", "5", {}, BOTH),
    ("two switches missing", "-product=P", None, None, None, "failed", "switch-missing", "printerdriver,port", None,
     {}, BOTH),
    ("product missing", "-printerdriver=Model B -port=USB001", None, None, None, "failed", "switch-missing", "product",
     None, {"port-not-found": ("USB001", None)}, BOTH),
    ("no Glue key", "-printerdriver=Model C -product=P -port=LPT1:", None, None, None, "failed",
     "glue-path-unreadable", "GluePath", "log", {}, BOTH),
    ("Glue path missing", "-printerdriver=Model E -product=P -port=LPT1:", None, None, None, "failed",
     "glue-path-missing", "GluePath", None, {}, BOTH),
    ("installer runs, no PreloadPath", "-printerdriver=Model A -product=P -port=LPT1:", None,
     ["hold-event", "QXZ_Installer_Running", "signalled", "60000"], "ready", "failed", "install-type", "PreloadPath",
     "log", {}, BOTH),
    ("mutex abandoned", "-printerdriver=Model B -product=P -port=LPT1:", None, ["abandon-mutex", MUTEX, "60000"],
     "abandoned", "failed", "mutex-abandoned", MUTEX, None, {}, BOTH),
    ("mutex held", "-printerdriver=Model D -product=P -port=LPT1:", None, ["hold-mutex", MUTEX, "60000"], "owned",
     "failed", "mutex-timeout", MUTEX, None, {}, BOTH),
    ("port not found", "-printerdriver=Model A -product=P -port=USB007", None, None, None, "succeeded", None, None,
     None, {"port-not-found": ("USB007", None)}, BOTH),
    ("event refused", "-printerdriver=Model A -product=P -port=LPT1:", "CreateEventA=5", None, None, "failed",
     "glue-ran-event", "QXZ_Glue_Ran", None, {}, NATIVE),
    ("mutex refused", "-printerdriver=Model B -product=P -port=LPT1:", "CreateMutexA=8", None, None, "failed",
     "mutex-failed", MUTEX, None, {}, NATIVE),
    ("ghoul registration refused", "-printerdriver=Model D -product=P -port=LPT1:", "RegSetValueExA@ghoulpathname=5",
     None, None, "failed", "registration", "ghoulpathname", "log", {}, NATIVE),
    ("language override refused", "-printerdriver=Model A -product=P -port=LPT1:", "RegSetValueExA@languagedir=5",
     None, None, "failed", "language-override", "languagedir", "log", {}, NATIVE),
    ("port list refused", "-printerdriver=Model D -product=P -port=LPT1:", "EnumPortsA#2=1722", None, None,
     "succeeded", None, None, None, {"port-list": (None, 1722)}, NATIVE),
]
CODE_NAMES = {2: "ERROR_FILE_NOT_FOUND", 5: "ERROR_ACCESS_DENIED", 126: "ERROR_MOD_NOT_FOUND",
              1722: "RPC_S_SERVER_UNAVAILABLE"}


def run_holding(lab, text, faults, helper, ready):
    """A run of the Pin while installer-sim holds an object (once it says it does)."""
    if not helper:
        return lab.run_pin(text, faults)
    process = subprocess.Popen(lab.platform.command(helper), env=lab.env, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    try:
        line = process.stdout.readline().decode("latin-1")
        expect(ready in line, "installer-sim %s: %r" % (helper[0], line))
        return lab.run_pin(text, faults)
    finally:
        # Held far longer than a slow start of the Pin takes; let go once it ended.
        process.kill()
        process.communicate(timeout=PROCESS_TIMEOUT)


def logged_code(data, subject):
    """The code of the registry's last failure line about the value."""
    codes = re.findall(rb"Reg\w+Value \([^\n]*, " + re.escape(subject.encode()) + rb"[,)][^\n]*lResult = (-?\d+)", data)
    expect(codes, "no registry line about %s in %r" % (subject, data[-600:]))
    return int(codes[-1])


def make_diagnosis_runs(lab):
    """One real run per case; returns {file: (case, log bytes)}."""
    runs = {}
    for case in DIAGNOSIS_CASES:
        name, text, faults, helper, ready = case[:5]
        if lab.platform.kind not in case[10]:
            continue
        if name == "language override refused":
            lab.import_registry('REGEDIT4\n\n[%s]\n"OverrideLanguage"="fr"\n\n' % DRIVERS_KEY)
        log = run_holding(lab, text, faults, helper, ready)
        with open(os.path.join(lab.logs, log), "rb") as handle:
            runs[log] = (case, handle.read().replace(b"\r\n", b"\n"))
    # A run killed after its port check: a real log cut there.
    log = lab.run_pin("-printerdriver=Model D -product=P -port=LPT2:")
    path = os.path.join(lab.logs, log)
    with open(path, "rb") as handle:
        data = handle.read()
    with open(path, "r+b") as handle:
        handle.truncate(data.index(b"\n", data.index(b"fFoundPortName = 1")) + 1)
    incomplete = ("killed after the port check", None, None, None, None, "incomplete", "incomplete", "port check",
                  None, {}, BOTH)
    with open(path, "rb") as handle:
        runs[log] = (incomplete, handle.read().replace(b"\r\n", b"\n"))
    return runs


def expect_code(finding, code, where):
    expect(finding["code"] == code, "%s: code %r, expected %r" % (where, finding["code"], code))
    if isinstance(code, int) and code in CODE_NAMES:
        expect(finding["code_name"] == CODE_NAMES[code] and finding["code_text"], "%s: %r" % (where, finding))
    if code is None or isinstance(code, str):
        expect(finding["code_name"] is None and finding["code_text"] is None, "%s: %r" % (where, finding))


def expected_warnings(case, data):
    warnings = dict(case[9])
    refused = re.search(rb"Call to AddMonitor FAILED with error :: (-?\d+)\(\)", data)
    if refused and int(refused.group(1)) != 3006:
        warnings["usb-monitor"] = ("usbmon", int(refused.group(1)))
    return warnings


def check_diagnoses(lab, runs):
    """--json's diagnosis and warnings of each run, and the text listing."""
    code, output, errors = lab.qxzlog_run(["--json", lab.logs])
    listed = {run["file"]: run for run in parse_json(output)}
    for log, (case, data) in runs.items():
        name, outcome, cause, subject, expected = case[0], case[5], case[6], case[7], case[8]
        run = listed[log]
        where = "%s (%s)" % (name, log)
        expect(run["outcome"] == outcome, "%s: outcome %r" % (where, run["outcome"]))
        diagnosis = run["diagnosis"]
        if cause is None:
            expect(diagnosis is None, "%s: a diagnosis of a success: %r" % (where, diagnosis))
        else:
            expect(diagnosis is not None and diagnosis["cause"] == cause and diagnosis["subject"] == subject,
                   "%s: diagnosis %r, expected %s %s" % (where, diagnosis, cause, subject))
            expect_code(diagnosis, logged_code(data, subject) if expected == "log" else expected, where)
            expect(diagnosis["summary"].endswith(".") and (driver_of(run) or "") in diagnosis["summary"],
                   "%s: summary %r" % (where, diagnosis["summary"]))
            if outcome == "failed":
                expect("failed_check" in run, "%s: no failed_check" % where)
        warnings = {warning["cause"]: warning for warning in run["warnings"]}
        wanted = expected_warnings(case, data)
        expect(set(warnings) == set(wanted), "%s: warnings %r, expected %r" % (where, run["warnings"], wanted))
        for kind, (warning_subject, warning_code) in wanted.items():
            if warning_subject is not None:
                expect(warnings[kind]["subject"] == warning_subject, "%s: %r" % (where, warnings[kind]))
            expect_code(warnings[kind], warning_code, "%s, warning %s" % (where, kind))
    code, output, _ = lab.qxzlog_run([lab.logs])
    lines = output.decode("latin-1").splitlines()
    for log, (case, _) in runs.items():
        line = next(line for line in lines if log in line)
        diagnosis = listed[log]["diagnosis"]
        if diagnosis:
            expect(diagnosis["summary"] in line, "text line of %s: %r" % (case[0], line))
        expect(("WARNING: " in line) == (diagnosis is None and bool(listed[log]["warnings"])),
               "text line of %s: %r" % (case[0], line))
    return listed


def driver_of(run):
    """The run's driver: its closing line, else the switch on its command line."""
    found = re.search(r"-printerdriver=(.*?)(?= -\w+=|$)", run["command_line"] or "")
    return run["driver"] or (found.group(1) if found else None)


def started_key(started):
    return time.mktime(time.strptime(started, "%a %b %d %H:%M:%S %Y"))


def check_summary_and_selection(lab, listed):
    """--summary, --since, --driver and --explain."""
    code, output, _ = lab.qxzlog_run(["--summary", "--json", lab.logs])
    groups = parse_json(output)
    expect(code in (0, 1) and groups, "--summary: %d %r" % (code, output[:300]))
    counts = {}
    for run in listed.values():
        findings = ([("failure", run["diagnosis"])] if run["diagnosis"] else []) + \
            [("warning", warning) for warning in run["warnings"]]
        for kind, finding in findings:
            key = (kind, finding["cause"], finding["subject"], finding["code"])
            counts.setdefault(key, []).append(run)
    expect(len(groups) == len(counts), "--summary: %d groups, expected %d" % (len(groups), len(counts)))
    for group in groups:
        members = counts[(group["kind"], group["cause"], group["subject"], group["code"])]
        drivers = sorted({driver_of(run) for run in members if driver_of(run)})
        expect(group["runs"] == len(members) and sorted(group["drivers"]) == drivers, "group %r" % group)
        expect(started_key(group["first"]) <= started_key(group["last"]), "group %r" % group)
    kinds = [group["kind"] for group in groups]
    expect(kinds == sorted(kinds), "failures before warnings: %r" % kinds)
    for kind in ("failure", "warning"):
        sizes = [group["runs"] for group in groups if group["kind"] == kind]
        expect(sizes == sorted(sizes, reverse=True), "most runs first: %r" % sizes)
    code, output, _ = lab.qxzlog_run(["--summary", lab.logs])
    expect(len(output.decode("latin-1").splitlines()) == len(groups), "--summary as text: %r" % output[:300])

    times = sorted({started_key(run["started"]) for run in listed.values()})
    since = times[len(times) // 2]
    text = time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(since))
    code, output, _ = lab.qxzlog_run(["--json", "--since", text, lab.logs])
    selected = parse_json(output)
    wanted = [run for run in listed.values() if started_key(run["started"]) >= since]
    expect(len(selected) == len(wanted) and all(started_key(run["started"]) >= since for run in selected),
           "--since %s: %d runs, expected %d" % (text, len(selected), len(wanted)))
    code, output, _ = lab.qxzlog_run(["--summary", "--json", "--driver", "model b", lab.logs])
    for group in parse_json(output):
        expect(group["drivers"] == ["Model B"], "--driver in --summary: %r" % group)
    code, output, _ = lab.qxzlog_run(["--json", "--driver", "model b", lab.logs])
    selected = parse_json(output)
    wanted = [run for run in listed.values() if driver_of(run) == "Model B"]
    expect(len(selected) == len(wanted) > 0, "--driver: %d runs, expected %d" % (len(selected), len(wanted)))
    code, _, errors = lab.qxzlog_run(["--driver", "Model Z", lab.logs])
    expect(code == 2, "--driver matching no run: %d" % code)

    for args, first in ((["5"], b"5 ERROR_ACCESS_DENIED: "), (["0x7e"], b"126 ERROR_MOD_NOT_FOUND: "),
                        (["error_lock_violation"], b"33 ERROR_LOCK_VIOLATION: "), (["1722"], b"1722 RPC_S_SERVER_")):
        code, output, _ = lab.qxzlog_run(["--explain"] + args)
        expect(code == 0 and output.startswith(first) and output.count(b"\n") == 1, "--explain %s: %r" % (args, output))
    for args in (["99999"], ["ERROR_NONSENSE"], ["5", lab.logs], []):
        code, output, _ = lab.qxzlog_run(["--explain"] + args)
        expect(code == 2 and not output, "--explain %s: %d %r" % (args, code, output))


def check_notes_and_raw(lab, runs):
    """--show notes each code under its line; --raw gives the bytes as they are."""
    for log, (case, data) in runs.items():
        code_lines = re.findall(rb"\n([^\n]*(?:lResult = |FAILED with error :: |GetLastError\(\) is )(-?\d+)[^\n]*)", data)
        code, output, _ = lab.qxzlog_run(["--show", log, lab.logs])
        shown = output.split(b"\n")
        for line, number in code_lines:
            index = shown.index(line)
            expect(shown[index + 1].startswith(b"  >> qxzlog: " + number + b" "),
                   "%s: the note under %r: %r" % (case[0], line, shown[index + 1]))
        expect(output.count(b"  >> qxzlog: ") == len(code_lines), "%s: %d notes" % (case[0], len(code_lines)))
        code, output, _ = lab.qxzlog_run(["--show", log, "--raw", lab.logs], raw=True)
        expect(output == read_keeping_times(os.path.join(lab.logs, log)), "--raw of %s is not the file's bytes" % log)


def check_wait(lab):
    """--wait: the next run that ends, started once qxzlog says it waits."""
    for text, exit_code in (("-printerdriver=Model A -product=P -port=LPT1:", 0), ("-printerdriver=Model A", 1)):
        process = subprocess.Popen(lab.qxzlog_command(["--wait", "60", "--json", lab.logs]), env=lab.env,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        line = process.stderr.readline().decode("latin-1")
        expect("waiting for a new run" in line, "--wait: %r" % line)
        log = lab.run_pin(text)
        output, _ = process.communicate(timeout=PROCESS_TIMEOUT)
        runs = parse_json(output.replace(b"\r\n", b"\n"))
        expect(process.returncode == exit_code and len(runs) == 1 and runs[0]["file"] == log,
               "--wait for %s: %d %r" % (text, process.returncode, output[:300]))
    code, output, errors = lab.qxzlog_run(["--wait", "1", lab.logs])
    expect(code == 2 and not output and "no new run" in errors, "--wait with no new run: %d %r" % (code, errors))


def check_diagnosis_lab(platform, qxzlog):
    work = tempfile.mkdtemp(prefix="qxzlog-diagnosis-")
    lab = Lab(platform, qxzlog, work)
    try:
        runs = make_diagnosis_runs(lab)
        age_access_times(lab.logs)
        before = snapshot(lab.logs)
        listed = check_diagnoses(lab, runs)
        check_summary_and_selection(lab, listed)
        check_notes_and_raw(lab, runs)
        after = snapshot(lab.logs)
        changed = [name for name in before if before[name] != after.get(name)]
        expect(not changed and before.keys() == after.keys(),
               "reading changed %s: %s" % (changed, [(before[name], after.get(name)) for name in changed[:3]]))
        check_wait(lab)
    finally:
        lab.restore()
        shutil.rmtree(work, ignore_errors=True)


def run_in_lab(platform, qxzlog, prefix, keep, checks):
    """Runs checks(lab) in a lab of its own, says how it went, and takes
    the lab away again; returns the exit code."""
    work = tempfile.mkdtemp(prefix=prefix)
    lab = Lab(platform, qxzlog, work)
    try:
        checks(lab)
    except (AssertionError, subprocess.TimeoutExpired, OSError, KeyError, StopIteration, ValueError) as error:
        print("FAILED on %s: %s: %s" % (platform.kind, type(error).__name__, error))
        return 1
    finally:
        lab.restore()
        if not keep:
            shutil.rmtree(work, ignore_errors=True)
    print("passed on %s" % platform.kind)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    add_platform_arguments(parser)
    parser.add_argument("--qxzlog", required=True)
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    args.pin_wrapper = None
    platform = Platform(args)

    def checks(lab):
        expected = make_runs(lab)
        newest = wrap_numbers(lab, expected)
        check_listing(lab, expected, newest)
        check_exit_codes(lab)
        check_bad_files(lab, expected)
        if platform.kind == "native":
            check_colour(lab)
        lab.restore()
        check_diagnosis_lab(platform, args.qxzlog)

    return run_in_lab(platform, args.qxzlog, "qxzlog-", args.keep, checks)


if __name__ == "__main__":
    sys.exit(main())
