#!/usr/bin/env python3
"""Prints the Pin's performance figures, each pair measured side by side.

  (a) a full successful run of the native Pin against starting a trivial
      program; the difference is the Pin's own work plus its durable
      registry writes, so it is measured twice: with the machine root on
      disk, and on a memory file system where a flush costs nothing;
  (b) the .exe under Wine against an empty .exe of the same toolchain, and
      against an empty .exe that only imports the spooler's library;
  (c) to (e) the in-process figures of bench_pin (Google Benchmark):
      choosing the log's number, the command-line lookups of a run, and
      the port listing, with their ratios;
  (f) qxzlog listing a hundred logs of a mebibyte each (--json and text),
      beside a full run of the Pin; under Wine beside the empty .exe.

Usage: bench/run_bench.py --native BUILD_DIR [--mingw BUILD_DIR] [--runs N]
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
COMMAND_LINE = "-printerdriver=ModelA -product=ModelA -port=LPT1:"
SEED = 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vorquelle\\QXZ\\Glue\\ModelA]\n"GluePath"="C:\\\\WINDOWS\\\\"\n'


def median_seconds(command, env, runs):
    """The median wall time of starting command and waiting for it."""
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def print_pair(label, first_name, first, second_name, second, unit="ms", scale=1000.0):
    print("%-44s %-20s %10.3f %s" % (label, first_name, first * scale, unit))
    print("%-44s %-20s %10.3f %s" % ("", second_name, second * scale, unit))
    print("%-44s %-20s %10.2f" % ("", "ratio", first / second))


def native_machine(base, build):
    """A machine root holding the driver's Glue key and an empty log directory."""
    root = tempfile.mkdtemp(prefix="qxz-bench-", dir=base)
    env = dict(os.environ, QXZ_MACHINE_ROOT=root, TEMP="C:\\logs")
    env.pop("TMP", None)
    seed = os.path.join(root, "seed.reg")
    with open(seed, "w") as handle:
        handle.write(SEED)
    sim = os.path.join(build, "tools", "installer-sim", "installer-sim")
    subprocess.run([sim, "reg-import", seed], env=env, check=True, stdout=subprocess.DEVNULL)
    subprocess.run([sim, "mkdir", "C:\\logs"], env=env, check=True, stdout=subprocess.DEVNULL)
    return root, env


def bench_native_runs(build, runs):
    pin = os.path.join(build, "pin", "qxzpin14")
    empty = os.path.join(build, "bench", "empty_program")
    print("(a) a full successful run of the native Pin (median of %d)" % runs)
    for label, base in (("machine root on disk", None), ("machine root in memory (/dev/shm)", "/dev/shm")):
        if base and not os.path.isdir(base):
            continue
        root, env = native_machine(base, build)
        logs = os.path.join(root, "drive_c", "logs")
        try:
            times = []
            for _ in range(runs):
                # A fresh log directory, so that every run finds number 00 free.
                shutil.rmtree(logs)
                os.mkdir(logs)
                start = time.perf_counter()
                subprocess.run([pin, COMMAND_LINE], env=env, check=True)
                times.append(time.perf_counter() - start)
            pin_time = statistics.median(times)
            empty_time = median_seconds([empty], env, runs)
        finally:
            shutil.rmtree(root, ignore_errors=True)
        print_pair("  " + label, "Pin", pin_time, "trivial program", empty_time)
        print("%-44s %-20s %10.3f ms" % ("", "Pin's own time", (pin_time - empty_time) * 1000))


def bench_wine_runs(build, runs):
    wine_run = os.path.join(ROOT, "tools", "wine-run")
    prefix = os.path.join(build, "wineprefix")
    pin = os.path.join(build, "pin", "qxzpin14.exe")
    empty = os.path.join(build, "bench", "empty_program.exe")
    spooler_linked = os.path.join(build, "bench", "spooler_linked_program.exe")
    sim = os.path.join(build, "tools", "installer-sim", "installer-sim.exe")
    seed = os.path.join(tempfile.mkdtemp(prefix="qxz-bench-"), "seed.reg")
    with open(seed, "w") as handle:
        handle.write(SEED)
    subprocess.run([wine_run, prefix, "--init"], check=True)
    subprocess.run([wine_run, prefix, sim, "reg-import", seed], check=True, stdout=subprocess.DEVNULL)
    print("(b) the .exe under Wine (median of %d, server kept running)" % runs)
    # A warm-up of each, so that neither pays for loading Wine itself.
    median_seconds([wine_run, prefix, empty], None, 1)
    pin_time = median_seconds([wine_run, prefix, pin] + COMMAND_LINE.split(" "), None, runs)
    empty_time = median_seconds([wine_run, prefix, empty], None, runs)
    spooler_time = median_seconds([wine_run, prefix, spooler_linked], None, runs)
    print_pair("  whole run", "qxzpin14.exe", pin_time, "empty .exe", empty_time)
    print_pair("  where it goes", "qxzpin14.exe", pin_time, "empty .exe + spooler", spooler_time)


def bench_in_process(build):
    program = os.path.join(build, "bench", "bench_pin")
    if not os.path.exists(program):
        print("(c)-(e) skipped: %s not built (preset bench)" % program)
        return
    output = os.path.join(tempfile.mkdtemp(prefix="qxz-bench-"), "bench.json")
    subprocess.run([program, "--benchmark_out=" + output, "--benchmark_out_format=json"], check=True,
                   stdout=subprocess.DEVNULL)
    with open(output) as handle:
        results = {entry["name"]: entry["real_time"] for entry in json.load(handle)["benchmarks"]}
    pairs = [
        ("(c) choosing the log's number", "BM_ChooseFileNumber/100", "all 100 present", "BM_ChooseFileNumber/0", "none present"),
        ("(d) the command-line lookups of a run", "BM_CommandLineLookups/32767", "32,767 characters", "BM_CommandLineLookups/100", "100 characters"),
        ("(e) the port listing", "BM_PortListing/1000", "1,000 ports", "BM_PortListing/8", "8 ports"),
    ]
    for label, first, first_name, second, second_name in pairs:
        print_pair(label, first_name, results[first], second_name, results[second], unit="us", scale=1.0)


def make_big_logs(directory, size=1 << 20):
    """A hundred logs of about size bytes each (a mebibyte by default): long
    port listings, every outcome, the newest (qxqxin99.log) a success."""
    port = "\nName COM%d:,Mon name Local Port,Desc Local Port,Res 0 Type=1\n PORT_TYPE_WRITE\n"
    for number in range(100):
        lines = ["", "**** Wed Dec 09 %02d:%02d:00 2026 - Logging Enabled ****" % (number // 60, number % 60),
                 "", "Input PortName is :: LPT1:", "Before calling EnumPorts second time ()"]
        body = "\n".join(lines) + "\n"
        index = 0
        while len(body) < size - 400:
            body += port % index
            index += 1
        body += ("After calling EnumPorts second time() \n"
                 "Found the Input Port Name :: LPT1: in the list enumerated by EnumPorts() :: fFoundPortName = 1\n"
                 "[qxzglue_utils.cpp, Line 65]: Error --> sDriverName.empty()\n")
        if number % 3 != 2:
            body += ("Pin Pathname = Z:\\opt\\qxzpin14.exe\nCommand Line = -printerdriver=M -product=P -port=LPT1:\n"
                     "Driver Name = M\nThe Pin %s\n" % ("Succeeded" if number % 3 == 0 else "Failed"))
        with open(os.path.join(directory, "qxqxin%02d.log" % number), "w") as handle:
            handle.write(body)


def bench_qxzlog(native, mingw, runs):
    directory = tempfile.mkdtemp(prefix="qxz-bench-logs-")
    try:
        make_big_logs(directory)
        print("(f) qxzlog listing 100 logs of 1 MiB each (median of %d)" % runs)
        qxzlog = os.path.join(native, "tools", "qxzlog", "qxzlog")
        json_time = median_seconds([qxzlog, "--json", directory], None, runs)
        text_time = median_seconds([qxzlog, directory], None, runs)
        root, env = native_machine(None, native)
        try:
            pin_time = median_seconds([os.path.join(native, "pin", "qxzpin14"), COMMAND_LINE], env, runs)
        finally:
            shutil.rmtree(root, ignore_errors=True)
        print_pair("  native", "qxzlog --json", json_time, "a run of the Pin", pin_time)
        print("%-44s %-20s %10.3f ms" % ("", "qxzlog (text)", text_time * 1000))
        if mingw:
            small = tempfile.mkdtemp(prefix="qxz-bench-logs-")
            try:
                make_big_logs(small, 2048)
                bench_qxzlog_wine(mingw, directory, small, runs)
            finally:
                shutil.rmtree(small, ignore_errors=True)
    finally:
        shutil.rmtree(directory, ignore_errors=True)


def bench_qxzlog_wine(mingw, big, small, runs):
    """Under Wine, in one run: the empty .exe's start and qxzlog.exe on the
    hundred big logs and on a hundred small ones, taken in turns so that a
    change of the machine's load falls on all three alike."""
    wine_run = os.path.join(ROOT, "tools", "wine-run")
    prefix = os.path.join(mingw, "wineprefix")
    subprocess.run([wine_run, prefix, "--init"], check=True)
    exe = os.path.join(mingw, "tools", "qxzlog", "qxzlog.exe")
    empty = os.path.join(mingw, "bench", "empty_program.exe")
    commands = {"empty": [wine_run, prefix, empty], "big": [wine_run, prefix, exe, "--json", big],
                "small": [wine_run, prefix, exe, "--json", small]}
    for command in commands.values():
        median_seconds(command, None, 1)
    times = {name: [] for name in commands}
    for _ in range(runs):
        for name, command in commands.items():
            times[name].append(median_seconds(command, None, 1))
    empty_time = statistics.median(times["empty"])
    print_pair("  under Wine, 100 logs of 1 MiB", "qxzlog.exe --json", statistics.median(times["big"]), "empty .exe",
               empty_time)
    print_pair("  under Wine, 100 logs of 2 KiB", "qxzlog.exe --json", statistics.median(times["small"]),
               "empty .exe", empty_time)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--native", required=True, help="a native build directory (preset bench)")
    parser.add_argument("--mingw", help="the MinGW build directory (preset mingw)")
    parser.add_argument("--runs", type=int, default=30)
    args = parser.parse_args()
    bench_native_runs(args.native, args.runs)
    if args.mingw:
        bench_wine_runs(args.mingw, args.runs)
    bench_in_process(args.native)
    bench_qxzlog(args.native, args.mingw, min(args.runs, 10))
    return 0


if __name__ == "__main__":
    sys.exit(main())
