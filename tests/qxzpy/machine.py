"""How the test drivers start installer-sim and the Pin on one platform
(natively on the emulated machine, or the .exe under Wine), the Windows form
of host paths and the texts they pass."""

import os

PROCESS_TIMEOUT = 300


def windows_path(posix_path):
    """The Windows form of a host path, as Wine and the emulated machine see it."""
    return "Z:" + os.path.abspath(posix_path).replace("/", "\\")


def host_path(windows):
    """The host path of a Windows path on drive Z:."""
    return windows[2:].replace("\\", "/")


def reg_escape(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def shortened(text, limit=4000):
    """A text for a message; one of a megabyte would drown it."""
    if len(text) <= limit:
        return text
    return "%s...<%d characters>...%s" % (text[:limit // 2], len(text) - limit, text[-limit // 2:])


class Platform:
    """How installer-sim and the Pin are started on one platform."""

    def __init__(self, args):
        self.kind = args.platform
        self.sim = os.path.abspath(args.sim)
        self.pin = os.path.abspath(args.pin)
        self.wine_run = args.wine_run
        self.prefix = args.prefix
        self.pin_wrapper = args.pin_wrapper

    def pin_program(self, pin, work):
        """What installer-sim starts: the Pin, or a script that runs it under the wrapper."""
        if not self.pin_wrapper:
            return windows_path(pin) if self.kind == "wine" else pin
        script = os.path.join(work, "pin-wrapper")
        with open(script, "w") as handle:
            handle.write('#!/bin/sh\nexec %s "%s" "$@"\n' % (self.pin_wrapper, pin))
        os.chmod(script, 0o755)
        return script

    def command(self, verb_and_args):
        arguments = [self.argument(text) for text in verb_and_args]
        if self.kind == "wine":
            return [self.wine_run, self.prefix, self.sim] + arguments
        return [self.sim] + arguments

    def argument(self, text):
        """An argument as installer-sim must be given it to see the bytes of text:
        natively the bytes; Wine decodes a Unix argument as UTF-8 and hands the
        program its Windows-1252 bytes."""
        if self.kind == "wine":
            return text.encode("latin-1").decode("cp1252")
        return text.encode("latin-1")


def add_platform_arguments(parser):
    """The options that say which Pin runs where (shared with the other whole-run tests)."""
    parser.add_argument("--platform", choices=["native", "wine"], required=True)
    parser.add_argument("--pin", required=True, help="the Pin program")
    parser.add_argument("--sim", required=True, help="the installer-sim program")
    parser.add_argument("--wine-run", help="tools/wine-run (wine only)")
    parser.add_argument("--prefix", help="the Wine prefix (wine only)")
