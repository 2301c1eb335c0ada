#!/usr/bin/env python3
"""qxzlog --state, --diff and --report on what real runs of the Pin left,
natively or under Wine.

The Pin, copied to a setup directory with its two siblings, runs as Glue
starts it: a success for each of two drivers, a missing switch, a status code,
a registry failure, a run killed after its port check, and a run whose
-printerdriver and -port values are markup (a script, an element with an
event handler, quotes and an ampersand). Asserted:
- --state --json lists every driver's values with type, data and whether the
  file exists; after a sibling is removed, runghoul deleted, a GluePath
  pointed nowhere and a value given the wrong type, each is the problem it
  is; the text form says the same; --driver selects one; no Glue key is
  exit code 2 with a message; a key that cannot be read (natively: an
  injected fault) is exit code 2 with its code;
- reading changes nothing: the registry export is byte-identical before and
  after --state and --report;
- --diff of a good and a bad run names the first line where they part (exit
  code 1), of a run and itself says they are the same (0), of a run that is
  not there is 2;
- --report writes one page without a script or an outside reference, which
  headless Chromium (when installed) renders with scripting on and off: its
  text holds each run's diagnosis and the markup as text, no script ran, and
  a screenshot is saved as an artifact.
"""

import argparse
import html.parser
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile

from qxzlog_runs import DRIVERS_KEY, expect, parse_json, run_in_lab
from qxzpy.machine import Platform, add_platform_arguments, reg_escape, windows_path

CHROMIUM = "/usr/bin/chromium"
CHROMIUM_TIMEOUT = 120
MARKUP_DRIVER = "<script>document.body.id='ran';alert(1)</script> \"Q\" & 'R'"
MARKUP_PORT = "<img/src=x/onerror=document.body.id='ran'>"
EXPORT_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vorquelle"


class PageText(html.parser.HTMLParser):
    """The text of a page as a reader sees it, and the tags and ids in it."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.text = []
        self.tags = set()
        self.ids = set()

    def handle_starttag(self, tag, attrs):
        self.tags.add(tag)
        self.ids.update(value for name, value in attrs if name == "id")

    def handle_data(self, data):
        self.text.append(data)


def page_text(markup):
    parser = PageText()
    parser.feed(markup)
    return parser


def set_up_pin(lab):
    """The Pin in a setup directory of its own, beside its two siblings."""
    setup = os.path.join(lab.work, "setup")
    os.makedirs(setup)
    pin = os.path.join(setup, os.path.basename(lab.platform.pin))
    shutil.copy2(lab.platform.pin, pin)
    for sibling in ("qxzpdi14.exe", "qxzghl14.exe"):
        open(os.path.join(setup, sibling), "wb").close()
    lab.platform.pin = pin
    return setup


def make_runs(lab):
    """Real runs; returns {driver or label: log file name}."""
    wine = lab.platform.kind == "wine"
    glue = reg_escape(windows_path(os.path.join(lab.work, "Glue")) + "\\")
    lab.import_registry("REGEDIT4\n\n[%s\\%s]\n\"GluePath\"=\"%s\"\n\n" % (DRIVERS_KEY, MARKUP_DRIVER, glue))
    names = {}
    names["good"] = lab.run_pin("-printerdriver=Model A -product=Model A series -port=LPT1:")
    names["Model D"] = lab.run_pin("-printerdriver=Model D -product=P -port=LPT2:")
    names["missing"] = lab.run_pin("-printerdriver=Model B -port=LPT1:")
    names["status"] = lab.run_pin("-statuscode=5 -printerdriver=Model A -product=P -port=LPT1:")
    if wine:
        names["registry"] = lab.run_pin("-printerdriver=Model C -product=P -port=LPT1:")
    else:
        names["registry"] = lab.run_pin("-printerdriver=Model B -product=P -port=LPT1:",
                                        faults="RegSetValueExA@ghoulpathname=5")
    names["markup"] = lab.run_pin("-printerdriver=%s -product=P -port=%s" % (MARKUP_DRIVER, MARKUP_PORT))
    names["killed"] = lab.run_pin("-printerdriver=Model A -product=Model A series -port=LPT3:")
    path = os.path.join(lab.logs, names["killed"])
    with open(path, "rb") as handle:
        data = handle.read()
    with open(path, "r+b") as handle:
        handle.truncate(data.index(b"\n", data.index(b"fFoundPortName = 1")) + 1)
    return names


def export(lab):
    return lab.sim(["reg-export", EXPORT_KEY])


def state(lab, args=()):
    code, output, errors = lab.qxzlog_run(["--state", "--json"] + list(args))
    return code, (parse_json(output) if output else None), errors


def drivers_by_name(document):
    return {driver["driver"]: driver for driver in document["drivers"]}


def check_state(lab, setup):
    exported = export(lab)
    code, document, errors = state(lab)
    drivers = drivers_by_name(document)
    # The lab records a Glue path for Model E that does not exist; natively
    # the refused write of ghoulpathname left Model B without runghoul.
    broken = {"Model E": [("glue-path-missing", "GluePath")]}
    if lab.platform.kind == "native":
        broken["Model B"] = [("runghoul-missing", "runghoul")]
    found = {name: [(problem["problem"], problem["value"]) for problem in driver["problems"]]
             for name, driver in drivers.items() if driver["problems"]}
    expect(found == broken and code == 1, "--state after the runs: %d %r %s" % (code, found, errors))
    model_a = drivers["Model A"]
    pin = windows_path(lab.platform.pin)
    expect(model_a["values"]["pinpathname"] == {"type": "REG_SZ", "data": pin, "exists": True},
           "Model A's pinpathname: %r" % model_a["values"]["pinpathname"])
    expect(model_a["values"]["runghoul"] == {"type": "REG_SZ", "data": "true", "exists": None},
           "runghoul: %r" % model_a["values"]["runghoul"])
    expect(model_a["values"]["pintimeout"] is None and model_a["problems"] == [], "Model A: %r" % model_a)
    expect(MARKUP_DRIVER in drivers and set(document["glue"]) == {"PreloadPath", "RunPreloadInstaller",
                                                                   "OverrideLanguage"}, "drivers: %r" % document)
    # What makes a later installation fail although the Pin succeeded.
    os.remove(os.path.join(setup, "qxzpdi14.exe"))
    lab.import_registry("REGEDIT4\n\n[%s\\Model A]\n\"runghoul\"=-\n\"pintimeout\"=\"180\"\n\n"
                        "[%s\\Model D]\n\"GluePath\"=\"%s\"\n\n"
                        % (DRIVERS_KEY, DRIVERS_KEY, reg_escape(windows_path(os.path.join(lab.work, "nowhere")))))
    exported = export(lab)
    code, document, _ = state(lab)
    drivers = drivers_by_name(document)
    problems = {name: sorted((problem["problem"], problem["value"]) for problem in driver["problems"])
                for name, driver in drivers.items()}
    expect(code == 1, "--state with problems: exit code %d" % code)
    expect(problems["Model A"] == [("missing-file", "pdipathname"), ("runghoul-missing", "runghoul"),
                                   ("wrong-type", "pintimeout")], "Model A's problems: %r" % problems["Model A"])
    expect(problems["Model D"] == [("glue-path-missing", "GluePath"), ("missing-file", "pdipathname")],
           "Model D's problems: %r" % problems["Model D"])
    expect(drivers["Model A"]["values"]["pdipathname"]["exists"] is False, "the removed Pdi exists")
    code, document, _ = state(lab, ["--driver", "model d"])
    expect(code == 1 and [driver["driver"] for driver in document["drivers"]] == ["Model D"], "--driver: %r" % document)
    code, output, _ = lab.qxzlog_run(["--state"])
    text = output.decode("latin-1")
    expect("PROBLEM runghoul-missing" in text and "missing" in text and 'driver "Model A"' in text,
           "--state as text: %s" % text)
    code, _, errors = lab.qxzlog_run(["--state", "--driver", "Nobody"])
    expect(code == 2 and "Nobody" in errors, "--driver of no key: %d %s" % (code, errors))
    expect(export(lab) == exported, "--state changed the registry")
    return exported


def check_unreadable(lab):
    if lab.platform.kind == "native":
        env = dict(lab.env)
        env["QXZ_FAULTS"] = "RegOpenKeyExA@SOFTWARE\\Vorquelle\\QXZ\\Glue=5"
        code, output, errors = lab.qxzlog_run(["--state"], env=env)
        expect(code == 2 and "cannot be read" in errors and "5" in errors, "unreadable key: %d %s" % (code, errors))
        env["QXZ_FAULTS"] = "RegOpenKeyExA@Model D=5"
        code, document, errors = lab.qxzlog_run(["--state", "--json"], env=env)
        model_d = drivers_by_name(parse_json(document))["Model D"]
        expect(code == 1 and model_d["error"]["code"] == 5, "an unreadable driver's key: %r" % model_d)


def check_no_glue_key(lab):
    saved = export(lab)
    lab.import_registry("REGEDIT4\n\n[-%s]\n\n" % DRIVERS_KEY)
    code, output, errors = lab.qxzlog_run(["--state"])
    expect(code == 2 and "does not exist" in errors and output == b"", "no Glue key: %d %r %s" % (code, output, errors))
    lab.import_registry(saved.replace("\r\n", "\n"))


def check_diff(lab, names):
    code, output, errors = lab.qxzlog_run(["--diff", names["good"], names["registry"], lab.logs])
    text = output.decode("latin-1")
    expect(code == 1 and "The runs part at line " in text, "--diff good bad: %d %s %s" % (code, text[-400:], errors))
    code, output, _ = lab.qxzlog_run(["--diff", "last-succeeded", "last-failed", lab.logs])
    expect(code == 1 and b"The runs part" in output, "--diff last-succeeded last-failed: %d" % code)
    code, output, _ = lab.qxzlog_run(["--diff", names["good"][6:8], "qxqxin%s" % names["good"][6:], lab.logs])
    expect(code == 0 and b"the same" in output, "--diff of a run with itself: %d %r" % (code, output[-200:]))
    # Two successes of one driver part only where their ports do.
    code, output, _ = lab.qxzlog_run(["--diff", names["good"], names["Model D"], lab.logs])
    expect(code == 1 and b"LPT1:" in output.split(b"The runs part")[1], "--diff of two successes: %r" % output[-300:])
    for missing in (["77", names["good"]], ["nothing.log", names["good"]]):
        code, _, errors = lab.qxzlog_run(["--diff"] + missing + [lab.logs])
        expect(code == 2 and "no run" in errors, "--diff %r: %d %s" % (missing, code, errors))


def chromium_command(profile, arguments):
    return [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--user-data-dir=" + profile] + arguments


def chromium(arguments, profile):
    result = subprocess.run(chromium_command(profile, arguments), capture_output=True, timeout=CHROMIUM_TIMEOUT)
    expect(result.returncode == 0, "chromium: %d %s" % (result.returncode, result.stderr[-2000:]))
    return result.stdout.decode("utf-8")


def dom_without_scripting(url, profile):
    """The page's DOM as Chromium built it with scripting off. --dump-dom
    reads it with a script of its own, which is then refused; the DevTools
    protocol's DOM calls (over a pipe: fds 3 and 4) are no script."""
    commands_read, commands = os.pipe()
    replies, replies_written = os.pipe()

    def plumb():
        os.dup2(commands_read, 3)
        os.dup2(replies_written, 4)

    process = subprocess.Popen(chromium_command(profile, ["--blink-settings=scriptEnabled=false",
                                                          "--remote-debugging-pipe", "about:blank"]),
                               pass_fds=(3, 4), preexec_fn=plumb, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    os.close(commands_read)
    os.close(replies_written)
    sender = os.fdopen(commands, "wb")
    receiver = os.fdopen(replies, "rb")
    pending = [b""]
    sent = [0]

    def call(method, params=None, session=None, until=None):
        sent[0] += 1
        message = {"id": sent[0], "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        sender.write(json.dumps(message).encode() + b"\0")
        sender.flush()
        wanted = until or (lambda reply: reply.get("id") == sent[0])
        while True:
            while b"\0" in pending[0]:
                raw, pending[0] = pending[0].split(b"\0", 1)
                reply = json.loads(raw)
                if wanted(reply):
                    expect("error" not in reply, "DevTools %s: %r" % (method, reply))
                    return reply
            chunk = receiver.read1(65536)
            expect(chunk, "chromium closed its DevTools pipe")
            pending[0] += chunk

    try:
        target = call("Target.createTarget", {"url": "about:blank"})["result"]["targetId"]
        session = call("Target.attachToTarget", {"targetId": target, "flatten": True})["result"]["sessionId"]
        call("Page.enable", session=session)
        call("Page.navigate", {"url": url}, session, until=lambda reply: reply.get("method") == "Page.loadEventFired")
        root = call("DOM.getDocument", session=session)["result"]["root"]["nodeId"]
        return call("DOM.getOuterHTML", {"nodeId": root}, session)["result"]["outerHTML"]
    finally:
        sender.close()
        receiver.close()
        process.kill()
        process.wait(timeout=CHROMIUM_TIMEOUT)


def diagnoses(lab):
    """What the page must say of each run: its diagnosis and warnings as the
    JSON gives them."""
    code, output, _ = lab.qxzlog_run(["--json", lab.logs])
    runs = [run for run in parse_json(output) if run["outcome"] != "no run"]
    said = []
    for run in runs:
        expect(run["outcome"] == "succeeded" or run["diagnosis"], "no diagnosis: %r" % run)
        if run["diagnosis"]:
            said.append(run["diagnosis"]["summary"])
        said += [warning["summary"] for warning in run["warnings"]]
    expect(len(said) >= 5, "too few diagnoses: %r" % said)
    return runs, said


def check_report(lab, exported, artifact):
    page_path = os.path.join(lab.work, "report.html")
    code, output, errors = lab.qxzlog_run(["--report", windows_path(page_path) if lab.platform.kind == "wine"
                                           else page_path, lab.logs])
    expect(code == 0, "--report: %d %s" % (code, errors))
    expect(export(lab) == exported, "--report changed the registry")
    with open(page_path, "rb") as handle:
        page = handle.read()
    lowered = page.lower()
    for forbidden in (b"<script", b"<img", b"<iframe", b"<link", b"http:", b"https:", b"url(", b"@import"):
        expect(forbidden not in lowered, "the page holds %r" % forbidden)
    expect(all(byte < 0x80 for byte in page), "the page is not ASCII")
    runs, said = diagnoses(lab)
    text = "".join(page_text(page.decode("ascii")).text)
    for sentence in said + [MARKUP_DRIVER, MARKUP_PORT]:
        expect(sentence in text, "the page does not say %r" % sentence)
    # The system's short name of the machine: the host's first label in capitals.
    machine = socket.gethostname().split(".")[0].upper()[:15]
    expect(" on %s, from the logs" % machine in text, "the page does not name the machine %s" % machine)
    if not os.path.exists(CHROMIUM):
        print("chromium is not installed: the page is not rendered")
        return
    profile = tempfile.mkdtemp(prefix="qxzlog-chromium-")
    try:
        # A page whose script marks the body: it does with scripting on, and
        # does not with it off, so the checks below would see a script run.
        control = os.path.join(lab.work, "control.html")
        with open(control, "w") as handle:
            handle.write("<!DOCTYPE html><html><body><script>document.body.id='ran'</script></body></html>")
        expect("ran" in page_text(chromium(["--dump-dom", "file://" + control], profile)).ids, "no script ran")
        expect("ran" not in page_text(dom_without_scripting("file://" + control, profile)).ids, "scripting is on")
        url = "file://" + page_path
        for scripting, dom in (("on", chromium(["--dump-dom", url], profile)),
                               ("off", dom_without_scripting(url, profile))):
            parsed = page_text(dom)
            rendered = "".join(parsed.text)
            expect("script" not in parsed.tags and "img" not in parsed.tags, "an element from a log: %r" % parsed.tags)
            expect("ran" not in parsed.ids and "<script" not in dom.lower(), "a script ran (%r)" % scripting)
            for sentence in said + [MARKUP_DRIVER, MARKUP_PORT]:
                expect(sentence in rendered, "the rendered page does not say %r (%r)" % (sentence, scripting))
            for run in runs:
                expect(run["file"] in rendered, "%s is not on the page" % run["file"])
        chromium(["--window-size=1100,1500", "--screenshot=" + artifact, url], profile)
        with open(artifact, "rb") as handle:
            expect(handle.read(8) == b"\x89PNG\r\n\x1a\n", "the screenshot is no PNG")
        print("screenshot: %s" % artifact)
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    add_platform_arguments(parser)
    parser.add_argument("--qxzlog", required=True)
    parser.add_argument("--artifact", required=True, help="where the report's screenshot goes")
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    args.pin_wrapper = None
    platform = Platform(args)

    def checks(lab):
        setup = set_up_pin(lab)
        names = make_runs(lab)
        check_diff(lab, names)
        exported = check_state(lab, setup)
        check_unreadable(lab)
        check_report(lab, exported, os.path.abspath(args.artifact))
        check_no_glue_key(lab)

    return run_in_lab(platform, args.qxzlog, "qxzlog-views-", args.keep, checks)


if __name__ == "__main__":
    sys.exit(main())
