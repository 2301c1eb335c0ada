"""A whole run of the Pin from scenario data (its format: the scenarios'
run_scenarios.py): the machine prepared, the installer's processes around the
run, the log and the registry compared with what the case expects."""

import ctypes
import os
import queue
import re
import shutil
import subprocess
import threading
import time

from qxzpy.machine import PROCESS_TIMEOUT, host_path, reg_escape, shortened, windows_path

PORTS_KEY = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports"
DEFAULT_PORTS = ["COM1:", "COM2:", "COM3:", "COM4:", "FILE:", "LPT1:", "LPT2:", "LPT3:"]
TIME_PATTERN = r"(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d\d \d\d:\d\d:\d\d \d{4}"
FIRST_LINE_TIMEOUT = 60
OUTPUT_DRAIN_TIMEOUT = 2
# Characters of a process command line on Windows, its terminating NUL included.
COMMAND_LINE_LIMIT = 32767


def substitute(text, values, for_reg):
    for name, value in values.items():
        text = text.replace("{" + name + "}", reg_escape(value) if for_reg else value)
    text = re.sub(r"\{REPEAT:(.*?):(\d+)\}", lambda match: match.group(1) * int(match.group(2)), text)
    return re.sub(r"\{x([0-9a-fA-F]{2})\}", lambda match: chr(int(match.group(1), 16)), text)


class Run:
    def __init__(self, platform, case_dir, scenario, work):
        self.platform = platform
        self.case_dir = case_dir
        self.scenario = scenario
        self.work = work
        self.machine = platform.prefix if platform.kind == "wine" else os.path.join(work, "machine")
        self.unset_temp = scenario.get("temp") == "unset"
        if self.unset_temp:
            # The log goes to TEMP at the root of the Windows drive.
            self.logs = resolve_ignoring_case(os.path.join(self.machine, "drive_c"), ["TEMP"])
            shutil.rmtree(self.logs, ignore_errors=True)
        else:
            self.logs = os.path.join(work, "logs")
            os.makedirs(self.logs)
        self.values = {"WORK": windows_path(work), "HOSTWORK": work}
        pin = platform.pin
        if "pin_directory" in scenario:
            pin = os.path.join(host_path(substitute(scenario["pin_directory"], self.values, False)),
                               os.path.basename(platform.pin))
            os.makedirs(os.path.dirname(pin))
            shutil.copy2(platform.pin, pin)
        self.pin_program = platform.pin_program(pin, work)
        pin_pathname = windows_path(pin)
        self.values["PIN"] = pin_pathname
        self.values["PINDIR"] = pin_pathname[: pin_pathname.rfind("\\") + 1]
        self.command_line = self.padded_command_line()
        self.temp = None if self.unset_temp else substitute(scenario.get("temp", windows_path(self.logs)),
                                                            self.values, False)
        self.env = dict(os.environ)
        self.env.pop("TMP", None)
        self.env.pop("TEMP", None)
        if self.temp is not None:
            self.env["TEMP"] = self.temp
        self.env.pop("QXZ_FAULTS", None)
        self.cleanup_files = []
        if platform.kind == "native":
            self.env["QXZ_MACHINE_ROOT"] = self.machine

    def padded_command_line(self):
        """The command-line text; with "pad_command_line", {PAD} is filled to the limit."""
        text = substitute(self.scenario["command_line"], self.values, False)
        if "pad_command_line" in self.scenario:
            # The process command line: the program in quotes, a blank, the text and its NUL.
            free = COMMAND_LINE_LIMIT - (len(self.pin_program) + 3 + len(text) - len("{PAD}") + 1)
            self.values["PAD"] = (self.scenario["pad_command_line"] * free)[:free]
            text = text.replace("{PAD}", self.values["PAD"])
        return text

    def case_text(self, name, for_reg):
        with open(os.path.join(self.case_dir, name), encoding="utf-8") as handle:
            return substitute(handle.read(), self.values, for_reg)

    def sim(self, verb_and_args, env=None):
        result = subprocess.run(self.platform.command(verb_and_args), env=env or self.env,
                                capture_output=True, timeout=PROCESS_TIMEOUT)
        stdout, stderr = (output.decode("latin-1").replace("\r\n", "\n")
                          for output in (result.stdout, result.stderr))
        if result.returncode != 0:
            raise AssertionError("installer-sim %s failed (%d):\n%s%s" % (
                shortened(" ".join(verb_and_args)), result.returncode, stdout, stderr))
        return stdout

    def write_file(self, name, text, newline="\n"):
        """A file of the work directory holding the bytes of text."""
        path = os.path.join(self.work, name)
        with open(path, "w", encoding="latin-1", newline=newline) as handle:
            handle.write(text)
        return path

    def import_registry(self, text):
        self.sim(["reg-import", self.write_file("import.reg", text, "\r\n" if self.platform.kind == "wine" else "\n")])

    def prepare(self):
        seed_body = ""
        if "seed" in self.scenario:
            seed = self.case_text(self.scenario["seed"], True)
            seed_body = seed.split("\n", 1)[1] if seed.startswith("REGEDIT4") else seed
        ports = self.scenario.get("ports", [])
        if ports:
            seed_body += "\n[%s]\n%s" % (PORTS_KEY, "".join('"%s"=""\n' % port for port in ports))
        version = self.scenario.get("version")
        if self.platform.kind == "wine":
            # One prefix serves every case: reset what a case may have left.
            temp = "-" if self.temp is None else '"%s"' % reg_escape(self.temp)
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
        for directory in self.scenario.get("directories", []):
            self.sim(["mkdir", substitute(directory, self.values, False)])
        for name in self.scenario.get("files", []):
            self.make_file(substitute(name, self.values, False))
        if "prefill_logs" in self.scenario:
            self.prefill_logs(**self.scenario["prefill_logs"])

    def prefill_logs(self, oldest, read_only=False):
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
            if read_only:
                os.chmod(path, 0o444)

    def expected_log_files(self):
        """The log files there must be afterwards, and the one this run wrote
        last (None when it writes none)."""
        prefilled = ["qxqxin%02d.log" % number for number in range(100)] if "prefill_logs" in self.scenario else []
        if self.scenario["expect_log"] is None:
            return prefilled, None
        if prefilled:
            return prefilled, "qxqxin%02d.log" % self.scenario["prefill_logs"]["oldest"]
        names = ["qxqxin%02d.log" % number for number in range(self.scenario.get("runs", 1))]
        return names, names[-1]

    def restore(self):
        """Takes back what a case changed outside its own directory (Wine's shared prefix)."""
        if self.unset_temp and self.platform.kind == "wine":
            shutil.rmtree(self.logs, ignore_errors=True)
        for path in self.cleanup_files:
            if os.path.exists(path):
                os.remove(path)
        if self.platform.kind == "wine":
            # The user's TEMP pointed into this case's directory, which goes
            # now: later programs in the prefix take the machine's own TEMP.
            ports = "".join('"%s"=-\n' % port for port in self.scenario.get("ports", []))
            self.import_registry("REGEDIT4\n\n[HKEY_CURRENT_USER\\Environment]\n\"TEMP\"=-\n\"TMP\"=-\n\n"
                                 "[HKEY_CURRENT_USER\\Software\\Wine]\n\"Version\"=-\n\n[%s]\n%s" % (PORTS_KEY, ports))

    def make_file(self, name):
        """An empty file, given in Windows form on drive C: or Z:."""
        if name.upper().startswith("C:\\"):
            path = resolve_ignoring_case(os.path.join(self.machine, "drive_c"), name[3:].split("\\"))
        else:
            path = host_path(name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "w").close()
        self.cleanup_files.append(path)

    def start_processes(self):
        processes = []
        for verb_and_args in self.scenario.get("processes", []):
            verb_and_args = [substitute(text, self.values, False) for text in verb_and_args]
            process = subprocess.Popen(self.platform.command(verb_and_args), env=self.env,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            lines = queue.Queue()
            threading.Thread(target=forward_lines, args=(process.stdout, lines), daemon=True).start()
            try:
                first = lines.get(timeout=FIRST_LINE_TIMEOUT)
            except queue.Empty:
                first = None
            if first is None:
                process.kill()
                raise AssertionError("installer-sim %s never got in place" % " ".join(verb_and_args))
            processes.append((verb_and_args, process, lines, [first.rstrip("\n")]))
        return processes

    def finish_processes(self, processes):
        """The last line of each process. Where the case expects results, each
        runs to its own end; otherwise a process only held an object for the
        Pin, which has ended, so it is ended too."""
        results = []
        for verb_and_args, process, lines, seen in processes:
            if "process_results" not in self.scenario:
                process.kill()
            process.wait(timeout=PROCESS_TIMEOUT)
            # It has exited, so all it wrote is in the pipe: read to the end,
            # or to a pause should a process it started hold the pipe open.
            try:
                for line in iter(lambda: lines.get(timeout=OUTPUT_DRAIN_TIMEOUT), None):
                    seen.append(line.rstrip("\n"))
            except queue.Empty:
                pass
            # Each verb ends with "<verb>: ok" (or its error) after its result.
            outcome = [line for line in seen if not line.startswith(verb_and_args[0] + ":")]
            results.append(outcome[-1] if outcome else "")
        return results

    def run_pin(self):
        env = dict(self.env)
        if "faults" in self.scenario:
            env["QXZ_FAULTS"] = substitute(self.scenario["faults"], self.values, False)
        # From a file, as a text of the greatest length would not fit on
        # installer-sim's own command line.
        if self.scenario.get("empty_argument_vector"):
            code = run_without_arguments(self.pin_program, env)
            if code != 0:
                raise AssertionError("the Pin did not exit with 0: %d" % code)
            return
        text_file = self.write_file("command-line", self.command_line)
        for _ in range(self.scenario.get("runs", 1)):
            output = self.sim(["run-pin-file", self.pin_program, text_file], env)
            codes = re.findall(r"^exit code (-?\d+)$", output, re.MULTILINE)
            if codes != ["0"]:
                raise AssertionError("the Pin did not exit with 0: %r" % output)

    def check_log(self):
        names = sorted(os.listdir(self.logs)) if os.path.isdir(self.logs) else []
        expected_names, last = self.expected_log_files()
        if names != expected_names:
            raise AssertionError("expected the log files %s, found %s" % (expected_names, names))
        for name in names:
            if name != last and "prefill_logs" in self.scenario and read_text(os.path.join(self.logs, name)) != "an earlier run\n":
                raise AssertionError("%s was changed, though this run's log is %s" % (name, last or "none"))
        if last is None:
            # The emulated machine's drives lie in the work directory, Wine's in its prefix.
            searched = logs_below(self.work)
            if self.platform.kind == "wine":
                searched += logs_below(os.path.join(self.machine, "drive_c"))
            strays = sorted(set(searched) - {os.path.join(self.logs, name) for name in names})
            if strays:
                raise AssertionError("expected no log, found %s" % strays)
            return
        with open(os.path.join(self.logs, last), "rb") as handle:
            actual = handle.read().decode("latin-1").replace("\r\n", "\n").split("\n")
        if actual and actual[-1] == "":
            actual.pop()
        expected = expand_expected_log(self.case_text(self.scenario["expect_log"], False))
        compare_lines(expected, actual)

    def check_registry(self):
        actual = self.sim(["reg-export", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vorquelle"])
        expected = self.case_text(self.scenario["expect_registry"], True)
        if actual.strip() != expected.strip():
            raise AssertionError("registry differs.\n--- expected\n%s\n--- actual\n%s" % (
                shortened(expected), shortened(actual)))


def run_without_arguments(program, env):
    """Natively: the exit code of program started with an empty argument
    vector, which neither subprocess nor os.posix_spawn can give."""
    libc = ctypes.CDLL(None, use_errno=True)
    argv = (ctypes.c_char_p * 1)(None)
    variables = [("%s=%s" % item).encode() for item in env.items()]
    envp = (ctypes.c_char_p * (len(variables) + 1))(*variables, None)
    path = program.encode()
    pid = os.fork()
    if pid == 0:
        libc.execve(path, argv, envp)
        os._exit(127)
    _, status = os.waitpid(pid, 0)
    return os.waitstatus_to_exitcode(status)


def logs_below(directory):
    """The log files anywhere below a directory."""
    return [os.path.join(parent, name) for parent, _, names in os.walk(directory)
            for name in names if re.fullmatch(r"qxqxin\d\d\.log", name, re.IGNORECASE)]


def read_text(path):
    with open(path, encoding="latin-1") as handle:
        return handle.read()


def forward_lines(stream, lines):
    """Puts each line of stream into the queue lines, then None at its end."""
    for line in stream:
        lines.put(line)
    lines.put(None)


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


def line_matches(expected, actual):
    # A line without a pattern is compared as it is: no pattern is built of a megabyte.
    if "{TIME}" not in expected and "{LINE}" not in expected:
        return expected == actual
    pattern = re.escape(expected)
    pattern = pattern.replace(re.escape("{TIME}"), TIME_PATTERN).replace(re.escape("{LINE}"), r"\d+")
    return re.match(pattern + r"\Z", actual) is not None


def compare_lines(expected, actual):
    whole_log = shortened("\n".join(actual), 40000)
    for number, (want, got) in enumerate(zip(expected, actual), 1):
        if not line_matches(want, got):
            raise AssertionError("log line %d differs:\n  expected: %s\n  actual:   %s\n--- whole log\n%s" % (
                number, shortened(repr(want)), shortened(repr(got)), whole_log))
    if len(expected) != len(actual):
        raise AssertionError("log has %d lines, expected %d\n--- whole log\n%s" % (
            len(actual), len(expected), whole_log))
