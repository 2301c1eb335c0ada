#!/usr/bin/env python3
"""The release package: the zip holds its folder with the two programs, the
text for installer engineers and support staff, and SHA256SUMS, whose sums
are those of the files; each program's version resource carries the
project's version and its own name, each imports system DLLs only, and
qxzlog.exe --version (under Wine) prints the version."""

import argparse
import hashlib
import os
import subprocess
import sys
import tempfile
import zipfile

from qxzpy.machine import PROCESS_TIMEOUT
from qxzpy.pe_file import PeFile, read_version

PROGRAMS = ["qxzpin14.exe", "qxzlog.exe"]
SUMMED = PROGRAMS + ["README.txt"]
# DLLs that every Windows has; a DLL of the compiler's runtime is none of them.
SYSTEM_DLLS = {"advapi32.dll", "kernel32.dll", "msvcrt.dll", "winspool.drv", "user32.dll", "shell32.dll"}


def check_sums(files):
    problems = []
    listed = {}
    for line in files["SHA256SUMS"].decode("ascii").splitlines():
        digest, name = line.split("  ", 1)
        listed[name] = digest
    if sorted(listed) != sorted(SUMMED):
        problems.append("SHA256SUMS lists %s, not %s" % (sorted(listed), sorted(SUMMED)))
    for name, digest in listed.items():
        if name in files and hashlib.sha256(files[name]).hexdigest() != digest:
            problems.append("SHA256SUMS: %s does not match" % name)
    return problems


def check_program(name, data, version):
    problems = []
    pe = PeFile(data)
    foreign = [dll for dll in pe.imported_dlls() if dll.lower() not in SYSTEM_DLLS]
    if foreign:
        problems.append("%s imports DLLs that are not the system's: %s" % (name, foreign))
    info = read_version(pe.version_resource())
    numbers = tuple(int(part) for part in version.split(".")) + (0,)
    text = version + ".0"
    for field in ("FileVersion", "ProductVersion"):
        if info[field] != numbers:
            problems.append("%s: fixed %s is %s, not %s" % (name, field, info[field], numbers))
        if info["strings"].get(field) != text:
            problems.append("%s: %s text is %r, not %r" % (name, field, info["strings"].get(field), text))
    if info["strings"].get("OriginalFilename") != name:
        problems.append("%s: OriginalFilename is %r" % (name, info["strings"].get("OriginalFilename")))
    return problems


def check_qxzlog_version(args, files, version):
    """qxzlog.exe from the package says its version."""
    with tempfile.TemporaryDirectory(prefix="qxz-package-") as work:
        program = os.path.join(work, "qxzlog.exe")
        with open(program, "wb") as handle:
            handle.write(files["qxzlog.exe"])
        result = subprocess.run([args.wine_run, args.prefix, program, "--version"], capture_output=True,
                                text=True, timeout=PROCESS_TIMEOUT)
    said = result.stdout.replace("\r\n", "\n")
    if result.returncode != 0 or said != "qxzlog %s\n" % version:
        return ["qxzlog.exe --version: exit code %d, printed %r" % (result.returncode, said)]
    return []


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--zip", required=True, help="the package")
    parser.add_argument("--version", required=True, help="the project's version (MAJOR.MINOR.PATCH)")
    parser.add_argument("--wine-run", required=True, help="tools/wine-run")
    parser.add_argument("--prefix", required=True, help="the Wine prefix")
    args = parser.parse_args()
    folder = "qxzpin-%s-win64" % args.version
    if os.path.basename(args.zip) != folder + ".zip":
        print("FAILED: the package is named %s" % os.path.basename(args.zip))
        return 1
    with zipfile.ZipFile(args.zip) as package:
        names = sorted(package.namelist())
        expected = sorted(folder + "/" + name for name in SUMMED + ["SHA256SUMS"])
        problems = [] if names == expected else ["the zip holds %s, not %s" % (names, expected)]
        files = {name[len(folder) + 1:]: package.read(name) for name in names if name.startswith(folder + "/")}
    if "SHA256SUMS" in files:
        problems += check_sums(files)
    for name in PROGRAMS:
        if name in files:
            try:
                problems += check_program(name, files[name], args.version)
            except ValueError as error:  # not a program, or no version resource
                problems.append("%s: %s" % (name, error))
    readme = files.get("README.txt", b"").decode("latin-1")
    if "version %s\r\n" % args.version not in readme:
        problems.append("README.txt does not name the version %s on a line of its own" % args.version)
    if "qxzlog.exe" in files:
        problems += check_qxzlog_version(args, files, args.version)
    for problem in problems:
        print("FAILED: " + problem)
    if not problems:
        print("%s: %s checked" % (os.path.basename(args.zip), ", ".join(sorted(files))))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
