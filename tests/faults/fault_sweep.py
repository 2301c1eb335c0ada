#!/usr/bin/env python3
"""Every platform call of a successful run of the Pin, made to fail once.

Two base runs on the emulated machine together make every call that the Pin
makes on a successful path (BASES). Each base runs once with QXZ_TRACE_CALLS,
which lists the Pin's calls; then the Pin runs once per call and occurrence
with QXZ_FAULTS="CALL#N=5": Win32 error 5 for a Win32 call, errno 5 (EIO)
for a system call of the emulated machine (the lower-case names). Only the
Pin sees the faults: it is started directly, with the command-line text as
its one argument, as the emulated CreateProcessA starts it. Every system
call in a base run's trace must be one of the machine's table of named calls
(installer-sim system-calls): a call added around the table shows here.

Every run, on a fresh copy of the base's machine:
- exits with 0 and without a sanitizer report;
- fails the intended call (its trace has the same call at that place);
- leaves a registry that installer-sim exports, that holds everything it
  held before, and beyond that only the driver's values that the outcome
  allows (a registered USB monitor only when the log says AddMonitor
  succeeded), and no half-written copy of the registry file;
- leaves the logs of earlier runs (EARLIER_LOGS) as they were, and at most
  one log of its own, ending with the four closing lines: in the first free
  number (OWN_LOG) unless the failed call was one of the log's own;
- ends as EXPECTATIONS says for the failed call: the last lines of the log
  and the values written. A failed system call of the machine ends like a
  failure of the Win32 call that made it, or changes nothing; a failure in
  the log's own calls may leave no log.
"""

import argparse
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile

from qxzpy.machine import reg_escape, windows_path
from qxzpy.pin_runs import (LOG_NAME, SANITIZER_REPORT, closing_lines, log_files, machine_environment, parse_reg,
                            read_lines, reg_string, table_calls)

FAULT_CODE = 5  # ERROR_ACCESS_DENIED for a Win32 call, EIO for a system call
RUN_TIMEOUT = 300
GLUE_KEY = "SOFTWARE\\Vorquelle\\QXZ\\Glue"
PORTS_KEY = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports"
MONITOR_KEY = "hkey_local_machine\\system\\currentcontrolset\\control\\print\\monitors\\usbmon"

# The two base runs. {DIR} is the base's own directory in Windows form.
BASES = {
    "usb-language": {
        "description": "a USB port whose monitor library is present, no installer event (install type "
                       "Other), a language override to copy",
        "driver": "Model A",
        "command_line": "-printerdriver=Model A -product=Model A series -port=USB001",
        "port": "USB001",
        "glue_path": "{DIR}\\Glue\\",
        "glue_values": {"OverrideLanguage": "Deutsch"},
        "ports": ["USB001"],
        "system_files": ["usbmon.dll"],
        "monitor_added": True,
        "writes": ["languagedir", "pinpathname", "pdipathname", "ghoulpathname", "runghoul"],
    },
    "preload-installer-winme": {
        "description": "Windows Me (short path names), the preload installer's event signalled and the "
                       "Glue path the preload path (pintimeout written), no language override",
        "driver": "Model B",
        "command_line": "-printerdriver=Model B -product=Model B series -port=LPT1:",
        "port": "LPT1:",
        "version": "winme",
        "glue_path": "{DIR}\\Preload\\",
        "glue_values": {"PreloadPath": "{DIR}\\Preload"},
        "holders": [["hold-event", "QXZ_Installer_Running", "signalled", "600000"]],
        "writes": ["pintimeout", "pinpathname", "pdipathname", "ghoulpathname", "runghoul"],
    },
}

# Logs of earlier runs in every run's temporary directory, with a gap that
# the run's own log must fill; none of them may change.
EARLIER_LOGS = {"qxqxin00.log": "earlier run 00\n", "qxqxin01.log": "earlier run 01\n",
                "qxqxin03.log": "earlier run 03\n"}
OWN_LOG = "qxqxin02.log"
EARLIER_ACCESS_TIME = 981173106  # 2001-02-03, older than any run's

# The order in which a run writes the driver's values.
WRITE_ORDER = ["pintimeout", "languagedir", "pinpathname", "pdipathname", "ghoulpathname", "runghoul"]


class Outcome:
    """How a run ends. Succeeded: every value of the base but the missing
    ones, and the lines somewhere in the log, in this order. Failed: the
    values before stop, and the log ends with the lines, the entry's
    PreInstall line and the closing lines."""

    def __init__(self, result, lines=(), stop=None, missing=(), log_optional=False, line_lost=False):
        self.result, self.lines, self.stop = result, list(lines), stop
        self.missing, self.log_optional, self.line_lost = set(missing), log_optional, line_lost

    def written(self, base):
        limit = WRITE_ORDER.index(self.stop) if self.stop else len(WRITE_ORDER)
        return [name for name in base["writes"] if WRITE_ORDER.index(name) < limit and name not in self.missing]

    def describe(self):
        if self.result == "Failed":
            checks = [line.split("Error --> ")[1] for line in self.lines if "Error --> " in line and line != REGISTRY_ERROR]
            return "fails with %s, nothing from %s on" % (checks[0], self.stop)
        text = "succeeds" + (" without " + ", ".join(sorted(self.missing)) if self.missing else "")
        if self.line_lost:
            return text + ", one line of the log lost (no log when it is the header)"
        return text + (" (log optional)" if self.log_optional else "")


def succeeds(lines=(), missing=()):
    return Outcome("Succeeded", lines, missing=missing)


def fails(stop, lines):
    return Outcome("Failed", lines, stop=stop)


def error(module, condition):
    return "[%s.cpp, Line {LINE}]: Error --> %s" % (module, condition)


REGISTRY_ERROR = error("qxzglue_registry", "lResult != ERROR_SUCCESS")
CONVERT_FAILED = error("pin_install", "ConvertParameters( sDriverName ) == false")
INSTALL_TYPE_FAILED = error("pin_install", "GetInstallType( sGluePath, &eInstallType ) == false")
PREINSTALL_FAILED = error("pin_main", "PreInstall( sDriverName ) == false")
GLUE_PATH_FAILED = error("pin_install", "RegGetStringValue( sRegKeyGlueDriver, g_sRegVnGluePath, &sGluePath ) == false")
LANGUAGE_FAILED = error("pin_install",
                        "RegSetStringValue( sRegKeyGlueDriver, g_sSwitchLanguageDir, sOverrideLanguage ) == false")


def read_failed(key, value):
    return "RegGetStringValue (%s, %s) Failed, lResult = {CODE}" % (key, value)


def write_failed(value, data):
    return "RegSetStringValue ({DRIVERKEY}, %s, %s) Failed, lResult = {CODE}" % (value, data)


def registration(value, data, step_lines):
    """A registration's write: the registry's own lines, then the steps'."""
    return fails(value, [REGISTRY_ERROR, write_failed(value, data)] + step_lines)


def read_failures(subject, outcome):
    """The reads of one value: the key cannot be opened, the first query
    (type and size) fails, the second (the data) fails. Only the first
    query's failure leaves no error line of the registry module."""
    return [("RegOpenKeyExA", subject, None, outcome(True)),
            ("RegQueryValueExA", subject, 1, outcome(False)),
            ("RegQueryValueExA", subject, 2, outcome(True))]


def glue_path_read(with_error_line):
    lines = [REGISTRY_ERROR] if with_error_line else []
    return fails("pintimeout", lines + [read_failed("{DRIVERKEY}", "GluePath"), GLUE_PATH_FAILED, CONVERT_FAILED])


def preload_path_read(with_error_line):
    lines = ([REGISTRY_ERROR] if with_error_line else []) + [read_failed(GLUE_KEY, "PreloadPath")]
    # With the installer's event signalled the preload path is needed.
    return {"usb-language": succeeds(lines),
            "preload-installer-winme": fails("pintimeout", lines + [error("pdi_utils", "fRegOk == false"),
                                                                    INSTALL_TYPE_FAILED, CONVERT_FAILED])}


def language_read(with_error_line):
    lines = ([REGISTRY_ERROR] if with_error_line else []) + [read_failed(GLUE_KEY, "OverrideLanguage")]
    return succeeds(lines, missing=["languagedir"])


PIN_WRITE = error("pin_install", "RegSetStringValue( sRegKeyGlueDriver, g_sSwitchPinPathname, sPinPathname ) == false")
PDI_WRITE = error("pin_install", "RegSetStringValue( sRegKeyGlueDriver, g_sSwitchPdiPathname, sPdiPathname ) == false")
GHOUL_WRITE = error("pin_install",
                    "RegSetStringValue( sRegKeyGlueDriver, g_sSwitchGhoulPathname, sGhoulPathname ) == false")
RUNGHOUL_WRITE = error("pin_install",
                       'RegSetStringValue( g_sRegKeyGlue + "\\\\" + sDriverName, g_sSwitchRunGhoul,"true" ) == false')
WRITES = {
    "pintimeout": succeeds([REGISTRY_ERROR, "RegSetDwordValue ({DRIVERKEY}, pintimeout, 0x000000b4) Failed, "
                                            "lResult = {CODE}"], missing=["pintimeout"]),
    "languagedir": fails("languagedir", [REGISTRY_ERROR, write_failed("languagedir", "{LANGUAGE}"), LANGUAGE_FAILED,
                                         CONVERT_FAILED]),
    "pinpathname": registration("pinpathname", "{PIN}", [PIN_WRITE, error("pin_install", "RegisterPin( sDriverName ) == false")]),
    "pdipathname": registration("pdipathname", "{PINDIR}qxzpdi14.exe",
                                [PDI_WRITE, error("pin_install", "RegisterPdi( sDriverName ) == false")]),
    "ghoulpathname": registration("ghoulpathname", "{PINDIR}qxzghl14.exe",
                                  [GHOUL_WRITE, error("pin_install", "RegisterGhoul( sDriverName ) == false")]),
    "runghoul": registration("runghoul", "true", [RUNGHOUL_WRITE]),
}

# How a run ends when one call of the Pin fails: (call, subject, occurrence
# of that call on that subject or None for every one, outcome, or outcomes
# by base). The subject of a registry call is the value it serves, of an
# event or mutex call the object's name.
EXPECTATIONS = [
    # Port verification: logged, and nothing else changes.
    ("AddMonitorA", "usbmon", None, succeeds(["Call to AddMonitor FAILED with error :: {CODE}()"])),
    ("EnumPortsA", "", 1, succeeds(["EnumPorts returned 0 after calling first time :: GetLastError() is {CODE} "])),
    ("EnumPortsA", "", 2, succeeds(["Call to EnumPorts FAILED with error :: {CODE}()", "After calling EnumPorts second time() ",
                                    "Did not find the Input Port Name :: {PORT} in the list enumerated by EnumPorts() :: "
                                    "fFoundPortName = 0"])),
    # The hand-off.
    ("CreateEventA", "QXZ_Glue_Ran", None, fails("pintimeout", [error("pin_install", "hEventGlueRan == 0"), CONVERT_FAILED])),
    ("SetEvent", "QXZ_Glue_Ran", None, fails("pintimeout", [error("pin_install", "SetEvent( hEventGlueRan ) == FALSE"),
                                                            CONVERT_FAILED])),
    *read_failures("GluePath", glue_path_read),
    ("FindFirstFileA", "{GLUEPATH}*", None, fails("pintimeout", [error("pin_install", "IsFilePresent( sGluePath ) == false"),
                                                                 CONVERT_FAILED])),
    *read_failures("PreloadPath", preload_path_read),
    ("GetVersionExA", "", None, succeeds([error("qxzglue_utils", "GetVersionEx( &tOsVersion ) == 0")])),
    ("GetShortPathNameA", "{GLUEPATH}", 1, fails("pintimeout", [
        error("pdi_utils", "GetShortPathName( sFixedGluePath.c_str(), szShortPath, _MAX_PATH ) == 0"),
        INSTALL_TYPE_FAILED, CONVERT_FAILED])),
    ("GetShortPathNameA", "{GLUEPATH}", 2, succeeds()),  # the preload path stays long, and still equal
    # The installer's event then counts as absent or unsignalled: no pintimeout.
    ("OpenEventA", "QXZ_Installer_Running", None, succeeds(missing=["pintimeout"])),
    ("WaitForSingleObject", "QXZ_Installer_Running", None, succeeds(missing=["pintimeout"])),
    ("CreateMutexA", "QXZ_Installation_Initializing", None, fails("languagedir", [
        error("pin_install", "hMutexInstallerInitializing == 0"), CONVERT_FAILED])),
    ("WaitForSingleObject", "QXZ_Installation_Initializing", None, fails("languagedir", [
        error("pin_install", "dwWaitResult == WAIT_FAILED"), CONVERT_FAILED])),
    ("ReleaseMutex", None, None, succeeds()),
    ("CloseHandle", None, None, succeeds()),
    ("FindClose", None, None, succeeds()),
    *read_failures("OverrideLanguage", language_read),
    # Writes: the key is created, then the value set; the flush and the close are not looked at.
    *[(call, value, None, outcome) for value, outcome in WRITES.items() for call in ("RegCreateKeyExA", "RegSetValueExA")],
    ("RegFlushKey", None, None, succeeds()),
    ("RegCloseKey", None, None, succeeds()),
]

HEADER_TIME = re.compile(r"(?<=^\*\*\*\* ).*(?= - Logging Enabled \*\*\*\*$)")
UNAFFECTED = succeeds()
LOG_ONLY = Outcome("Succeeded", log_optional=True)
# A write of the log's own file: that line is lost, the run goes on.
LINE_LOST = Outcome("Succeeded", log_optional=True, line_lost=True)


class Call:
    """One call of a base run's trace and what its failure may lead to."""

    def __init__(self, index, call, name, ordinal):
        self.index, self.call, self.name, self.ordinal = index, call, name, ordinal
        self.owner = None  # the Win32 call that made a system call
        self.subject = name
        self.section = None
        self.outcomes = []

    def fault(self):
        return "%s#%d=%d" % (self.call, self.ordinal, FAULT_CODE)

    def label(self):
        owner = " in %s %s" % (self.owner.call, self.owner.subject) if self.owner else ""
        return "%s#%d %s%s" % (self.call, self.ordinal, self.name or self.subject, owner)


def is_system_call(call):
    return call[0].islower()


def read_trace(run):
    """The calls of a run, with the run's own directory (in host and in Windows
    form) and its process id in names written the same for every run."""
    own = [(os.path.abspath(run), "{RUN}"), (windows_path(run), "{RUN}")]
    calls = []
    with open(os.path.join(run, "trace"), encoding="latin-1") as handle:
        for line in handle:
            call, name = (line.rstrip("\n") + "\t").split("\t")[:2]
            for text, placeholder in own:
                name = name.replace(text, placeholder)
            calls.append((call, re.sub(r"\.new\.\d+$", ".new.{PID}", name)))
    return calls


def annotate(trace, base, values):
    """The calls of a base run, each with its section, owner, subject and outcomes."""
    calls, counts = [], {}
    for index, (call, name) in enumerate(trace):
        counts[call] = counts.get(call, 0) + 1
        calls.append(Call(index, call, name, counts[call]))
    indexes = {}
    for marker in ("AddMonitorA", "EnumPortsA", "CreateEventA"):
        indexes[marker] = next((c.index for c in calls if c.call == marker), None)
    port_start = min(i for i in (indexes["AddMonitorA"], indexes["EnumPortsA"]) if i is not None)
    product_start = indexes["CreateEventA"]
    if product_start is None or port_start > product_start:
        raise AssertionError("the base run made no port verification and hand-off")
    rules = substituted_rules(base, values)
    owner, last_object, last_value, seen = None, "", "", {}
    for position, item in enumerate(calls):
        if is_system_call(item.call):
            item.owner = owner
        else:
            owner = item
        if owner is None:
            item.section = "start-up"
        elif item.index < port_start:
            item.section = "log"
        elif item.index < product_start:
            item.section = "port verification"
        else:
            item.section = "hand-off and registration"
        if is_system_call(item.call) or item.section == "log" or item.section == "start-up":
            continue
        if item.section == "port verification" and item.call not in ("AddMonitorA", "EnumPortsA"):
            continue  # the spooler's own registry calls
        if item.call in ("CreateEventA", "OpenEventA", "CreateMutexA"):
            last_object = item.name
        elif item.call in ("SetEvent", "WaitForSingleObject", "ReleaseMutex"):
            item.subject = last_object
        elif item.call in ("RegOpenKeyExA", "RegCreateKeyExA"):
            item.subject = next(c.name for c in calls[position:] if c.call in ("RegQueryValueExA", "RegSetValueExA"))
        elif item.call in ("RegQueryValueExA", "RegSetValueExA"):
            last_value = item.name
        elif item.call in ("RegFlushKey", "RegCloseKey"):
            item.subject = last_value
        key = (item.call, item.subject.lower())
        seen[key] = seen.get(key, 0) + 1
        item.outcomes = [expected(rules, item, seen[key])]
    everything = [LOG_ONLY, UNAFFECTED] + [outcome for _, _, _, outcome in rules]
    for item in calls:
        if item.call == "write" and LOG_NAME.search(item.name):
            item.outcomes = [LINE_LOST]
        elif item.section == "start-up":
            item.outcomes = everything
        elif item.section == "log":
            item.outcomes = [LOG_ONLY]
        elif is_system_call(item.call) or not item.outcomes:
            made_by = item.owner.outcomes if item.owner and item.owner.section != "port verification" else []
            item.outcomes = made_by + [UNAFFECTED]
    return calls


def substituted_rules(base, values):
    rules = []
    for call, subject, nth, outcome in EXPECTATIONS:
        if isinstance(outcome, dict):
            outcome = outcome[base["name"]]
        rules.append((call, None if subject is None else subject.format(**values).lower(), nth, outcome))
    return rules


def expected(rules, item, nth):
    matches = [outcome for call, subject, ordinal, outcome in rules
               if call == item.call and subject in (None, item.subject.lower()) and ordinal in (None, nth)]
    if len(matches) != 1:
        raise AssertionError("%d expectations for %s %s (#%d on it)" % (len(matches), item.call, item.subject, nth))
    return matches[0]


def line_pattern(text, values, code):
    """A log line of an expectation as a pattern: {LINE} any line number,
    {CODE} the injected code (any code when a system call failed)."""
    for name, value in values.items():
        text = text.replace("{%s}" % name, value)
    pattern = re.escape(text).replace(re.escape("{LINE}"), r"\d+").replace(re.escape("{CODE}"), code)
    return re.compile(pattern + r"\Z")


class Sweep:
    def __init__(self, args):
        self.pin = os.path.abspath(args.pin)
        self.sim = os.path.abspath(args.sim)
        self.keep = args.keep
        self.work = tempfile.mkdtemp(prefix="qxz-fault-sweep-")
        self.system_calls = table_calls(self.sim)

    def sim_run(self, verb_and_args, machine):
        result = subprocess.run([self.sim] + verb_and_args, env=machine_environment(machine, windows_path(machine)),
                                capture_output=True, text=True, encoding="latin-1", timeout=RUN_TIMEOUT)
        if result.returncode != 0:
            raise AssertionError("installer-sim %s failed (%d): %s%s" % (
                verb_and_args[0], result.returncode, result.stdout, result.stderr))
        return result.stdout

    def prepare(self, base):
        """The base's directories and the machine that every run copies."""
        directory = os.path.join(self.work, base["name"])
        os.makedirs(directory)
        values = {"DIR": windows_path(directory)}
        glue_path = base["glue_path"].format(**values)
        os.makedirs(directory + glue_path[len(values["DIR"]):].replace("\\", "/"))
        template = os.path.join(directory, "template")
        if "version" in base:
            self.sim_run(["set-version", base["version"]], template)
        driver_key = GLUE_KEY + "\\" + base["driver"]
        seed = ["REGEDIT4", "", "[HKEY_LOCAL_MACHINE\\%s]" % GLUE_KEY]
        seed += ['"%s"="%s"' % (name, reg_escape(text.format(**values))) for name, text in base["glue_values"].items()]
        seed += ["", "[HKEY_LOCAL_MACHINE\\%s]" % driver_key, '"GluePath"="%s"' % reg_escape(glue_path), ""]
        seed += ["[%s]" % PORTS_KEY] + ['"%s"=""' % port for port in base.get("ports", [])] + [""]
        with open(os.path.join(directory, "seed.reg"), "w", encoding="latin-1") as handle:
            handle.write("\n".join(seed))
        self.sim_run(["reg-import", os.path.join(directory, "seed.reg")], template)
        for name in base.get("system_files", []):
            open(os.path.join(template, "drive_c", "WINDOWS", "SYSTEM32", name), "w").close()
        pin_pathname = windows_path(self.pin)
        values.update(GLUEPATH=glue_path, DRIVERKEY=driver_key, PIN=pin_pathname, PORT=base["port"],
                      PINDIR=pin_pathname[:pin_pathname.rfind("\\") + 1],
                      LANGUAGE=base["glue_values"].get("OverrideLanguage", ""))
        before = parse_reg(self.sim_run(["reg-export", "HKEY_LOCAL_MACHINE"], template))
        return directory, template, values, before

    def run_pin(self, base, directory, template, name, fault):
        """One run of the Pin on a copy of the template machine."""
        run = os.path.join(directory, name)
        machine = os.path.join(run, "machine")
        shutil.copytree(template, machine, ignore=shutil.ignore_patterns("kernel-objects-*"))
        logs = os.path.join(run, "logs")
        os.makedirs(logs)
        for name, text in EARLIER_LOGS.items():
            with open(os.path.join(logs, name), "w") as handle:
                handle.write(text)
            os.utime(os.path.join(logs, name), (EARLIER_ACCESS_TIME, EARLIER_ACCESS_TIME))
        holders = []
        try:
            for verb in base.get("holders", []):
                holder = subprocess.Popen([self.sim] + verb, env=machine_environment(machine, windows_path(logs)),
                                          stdout=subprocess.PIPE, text=True)
                holders.append(holder)
                holder.stdout.readline()  # in place
            env = machine_environment(machine, windows_path(logs), pin=True)
            env["QXZ_TRACE_CALLS"] = os.path.join(run, "trace")
            if fault:
                env["QXZ_FAULTS"] = fault
            result = subprocess.run([self.pin, base["command_line"]], env=env, capture_output=True,
                                    timeout=RUN_TIMEOUT, text=True, encoding="latin-1")
        finally:
            for holder in holders:
                holder.kill()
                holder.wait()
        export = subprocess.run([self.sim, "reg-export", "HKEY_LOCAL_MACHINE"], env=machine_environment(machine, windows_path(logs)),
                                capture_output=True, text=True, encoding="latin-1", timeout=RUN_TIMEOUT)
        return run, machine, logs, result, export

    def check(self, base, values, before, run, machine, logs, result, export, call=None):
        """What is wrong with one run, as a list of texts (empty: nothing)."""
        problems = []
        if result.returncode != 0:
            problems.append("exit code %d" % result.returncode)
        if SANITIZER_REPORT.search(result.stderr):
            problems.append("sanitizer report:\n" + result.stderr)
        if call is not None:
            trace = read_trace(run)
            same = [name for made, name in trace if made == call.call][call.ordinal - 1:call.ordinal]
            if same != [call.name]:
                problems.append("the fault did not meet %s (there: %s)" % (call.label(), same))
        if export.returncode != 0:
            return problems + ["installer-sim reg-export failed: %s%s" % (export.stdout, export.stderr)]
        try:
            after = parse_reg(export.stdout)
        except ValueError as error:
            return problems + ["the exported registry does not parse: %s" % error]
        asides = [name for name in os.listdir(machine) if name.startswith("registry.reg.")]
        if asides:
            problems.append("half-written registry files left: %s" % asides)
        for name, text in EARLIER_LOGS.items():
            path = os.path.join(logs, name)
            if not os.path.isfile(path) or open(path).read() != text:
                problems.append("the earlier run's log %s was changed or removed" % name)
        names = [name for name in log_files(logs) if name not in EARLIER_LOGS]
        written = [name for name in names if os.path.getsize(os.path.join(logs, name)) > 0]
        if len(written) > 1:
            problems.append("%d logs written: %s" % (len(written), written))
        if written and written != [OWN_LOG] and (call is None or call.section not in ("log", "start-up")):
            problems.append("the log went to %s, not to the first free number %s" % (written[0], OWN_LOG))
        log = read_lines(os.path.join(logs, written[0])) if written else None
        # A lost line of the log cannot tell whether the monitor was added.
        line_lost = call is not None and call.outcomes == [LINE_LOST]
        problems += self.check_untouched(base, before, after, None if line_lost else log)
        driver = {name: data for name, data in after.get(("HKEY_LOCAL_MACHINE\\" + values["DRIVERKEY"]).lower(), {}).items()
                  if name != "gluepath"}
        outcomes = call.outcomes if call is not None else [UNAFFECTED]
        code = r"\d+" if call is not None and is_system_call(call.call) else str(FAULT_CODE)
        reasons = [mismatch(outcome, base, values, log, driver, code) for outcome in outcomes]
        if all(reasons):
            problems.append("the run ends as none of the expected outcomes:\n" + "\n".join(
                "  %s: %s" % (outcome.describe(), reason) for outcome, reason in zip(outcomes, reasons))
                + ("\n--- log\n" + "\n".join(log) if log else "\n(no log)"))
        return problems

    def check_untouched(self, base, before, after, log):
        """Everything but the driver's written values and the monitor as before."""
        problems = []
        monitor_added = ("Call to AddMonitor SUCCEEDED." in log) if log is not None else base.get("monitor_added", False)
        expected_keys = dict(before)
        if monitor_added:
            expected_keys[MONITOR_KEY] = {"driver": reg_string("usbmon.dll")}
        driver_key = ("HKEY_LOCAL_MACHINE\\" + GLUE_KEY + "\\" + base["driver"]).lower()
        for key in sorted(set(expected_keys) | set(after)):
            want, got = expected_keys.get(key), after.get(key)
            if key == driver_key and want is not None and got is not None:
                lost = {name: data for name, data in want.items() if got.get(name) != data}
                if lost:
                    problems.append("driver key lost or changed %s" % lost)
            elif want != got:
                problems.append("key %s: expected %s, found %s" % (key, want, got))
        return problems


def mismatch(outcome, base, values, log, driver, code):
    """Why a run does not end as the outcome says (None: it does)."""
    data = written_data(values)
    want = {name: data[name] for name in outcome.written(base)}
    if driver != want:
        return "driver values %s, expected %s" % (sorted(driver), sorted(want))
    if log is None:
        return None if outcome.log_optional else "no log"
    if outcome.line_lost:
        timeless = [HEADER_TIME.sub("", line) for line in log]
        base_log = [HEADER_TIME.sub("", line) for line in base["log"]]
        # One line of the log may span a few lines of text (the port records).
        return None if any(timeless == base_log[:i] + base_log[j:] for i in range(len(base_log))
                           for j in range(i + 1, min(i + 4, len(base_log) + 1))) \
            else "the log is not the base run's log less one line"
    closing = closing_lines(values["PIN"], base["command_line"], base["driver"], outcome.result)
    if outcome.result == "Failed":
        tail = outcome.lines + [PREINSTALL_FAILED] + closing
        if len(log) < len(tail) or not all(line_pattern(text, values, code).match(line)
                                           for text, line in zip(tail, log[-len(tail):])):
            return "the log does not end with %s" % tail
        return None
    if log[-4:] != closing:
        return "the log ends with %s" % log[-4:]
    position = 0
    for text in outcome.lines:
        pattern = line_pattern(text, values, code)
        while position < len(log) - 4 and not pattern.match(log[position]):
            position += 1
        if position >= len(log) - 4:
            return "no line %r (in this order)" % text
        position += 1
    return None


def written_data(values):
    """The driver's values as a successful run writes them."""
    return {"pintimeout": "dword:000000b4", "languagedir": reg_string(values["LANGUAGE"]),
            "pinpathname": reg_string(values["PIN"]), "pdipathname": reg_string(values["PINDIR"] + "qxzpdi14.exe"),
            "ghoulpathname": reg_string(values["PINDIR"] + "qxzghl14.exe"), "runghoul": reg_string("true")}


def sweep_base(sweep, name, jobs, only):
    base = dict(BASES[name], name=name)
    directory, template, values, before = sweep.prepare(base)
    run = sweep.run_pin(base, directory, template, "base", None)
    problems = sweep.check(base, values, before, *run)
    if problems:
        raise AssertionError("the base run %s is not a successful run:\n%s" % (name, "\n".join(problems)))
    base["log"] = read_lines(os.path.join(run[2], OWN_LOG))
    trace = read_trace(run[0])
    around = sorted({call for call, _ in trace if is_system_call(call)} - sweep.system_calls)
    if around:
        raise AssertionError("system calls that are not in the machine's table: %s" % around)
    calls = annotate(trace, base, values)
    if only:
        calls = [call for call in calls if re.search(only, call.label())]
    print("%s (%s): %d calls" % (name, base["description"], len(calls)), flush=True)

    def one(call):
        outcome = sweep.run_pin(base, directory, template, "run-%04d" % call.index, call.fault())
        problems = sweep.check(base, values, before, *outcome, call=call)
        logs = [name for name in log_files(outcome[2]) if name not in EARLIER_LOGS]
        ending = (read_lines(os.path.join(outcome[2], logs[-1]))[-1] or "(empty)") if logs else "(no log)"
        if not problems and not sweep.keep:
            shutil.rmtree(outcome[0], ignore_errors=True)
        return call, problems, ending

    failed = 0
    endings = {}
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        for call, problems, ending in pool.map(one, calls):
            endings[ending] = endings.get(ending, 0) + 1
            if problems:
                failed += 1
                print("FAILED %s (QXZ_FAULTS=%s, %s):\n  %s" % (call.label(), call.fault(), call.section,
                                                                "\n  ".join(problems)), flush=True)
            elif call.owner is None and call.section == "hand-off and registration":
                print("  %-60s %s" % (call.label(), call.outcomes[0].describe()))
    print("%s: %d runs, %d failed; logs end with %s" % (name, len(calls), failed, endings), flush=True)
    return failed


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--pin", required=True, help="the native Pin")
    parser.add_argument("--sim", required=True, help="installer-sim of the same build")
    parser.add_argument("--jobs", type=int, default=2, help="runs at a time")
    parser.add_argument("--only", help="only the calls whose label matches this expression")
    parser.add_argument("--keep", action="store_true", help="keep the work directory")
    parser.add_argument("bases", nargs="*", help="base runs (default: all)")
    args = parser.parse_args()
    sweep = Sweep(args)
    failed = 0
    try:
        for name in args.bases or sorted(BASES):
            failed += sweep_base(sweep, name, args.jobs, args.only)
    finally:
        if not args.keep and not failed:
            shutil.rmtree(sweep.work, ignore_errors=True)
        else:
            print("work directory kept: %s" % sweep.work)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
