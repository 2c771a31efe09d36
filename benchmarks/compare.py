#!/usr/bin/env python3
"""Whole-process timings of programs side by side, interleaved (ABAB...).

    benchmarks/compare.py [-n RUNS] [-i INPUT] [-r] NAME=COMMAND ...

Runs every command once per round, in turn, with INPUT on standard input
(default examples/worked.txt) and output thrown away; prints for each the
median wall time with its range, the median CPU time (user + system, which
other processes on the cores take less away from) with its range, and its
minor page faults, and the ratio of the first command's times to each
other's, as the median of the per-round ratios with their range.
Interleaving keeps a shared machine's load changes from favouring one
program. -r reverses the order every other round. Prints the load average
before and after. Not a test.
"""
import argparse
import os
import shlex
import statistics
import subprocess
import time


def run_once(argv, input_path):
    with open(input_path, "rb") as stdin:
        start = time.perf_counter()
        proc = subprocess.Popen(argv, stdin=stdin, stdout=subprocess.DEVNULL)
        _, status, usage = os.wait4(proc.pid, 0)
        elapsed = time.perf_counter() - start
    if status != 0:
        raise SystemExit(f"{argv[0]} exited with status {status}")
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_minflt


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("-n", type=int, default=30)
    parser.add_argument("-i", default="examples/worked.txt")
    parser.add_argument("-r", action="store_true")
    parser.add_argument("commands", nargs="+")
    args = parser.parse_args()
    names, argvs = [], []
    for item in args.commands:
        name, _, command = item.partition("=")
        names.append(name)
        argvs.append(shlex.split(command))
    print("load average before:", os.getloadavg())
    times = {n: [] for n in names}
    cpus = {n: [] for n in names}
    faults = {n: [] for n in names}
    for r in range(args.n):
        order = list(range(len(names)))
        if args.r and r % 2 == 1:
            order.reverse()
        for k in order:
            t, c, f = run_once(argvs[k], args.i)
            times[names[k]].append(t)
            cpus[names[k]].append(c)
            faults[names[k]].append(f)
    print("load average after: ", os.getloadavg())
    for n in names:
        ts = [t * 1000 for t in times[n]]
        cs = [c * 1000 for c in cpus[n]]
        print(f"{n:>16}: median {statistics.median(ts):8.1f} ms "
              f"(range {min(ts):.1f} ... {max(ts):.1f}), CPU "
              f"{statistics.median(cs):.1f} ms "
              f"(range {min(cs):.1f} ... {max(cs):.1f}), minor faults "
              f"median {statistics.median(faults[n]):.0f} "
              f"(range {min(faults[n])} ... {max(faults[n])})")
    base = names[0]
    for n in names[1:]:
        for what, series in (("time", times), ("CPU", cpus)):
            ratios = [a / b for a, b in zip(series[base], series[n])]
            print(f"{base} / {n} ({what}): "
                  f"median {statistics.median(ratios):.2f}x "
                  f"(range {min(ratios):.2f} ... {max(ratios):.2f})")

if __name__ == "__main__":
    main()
