#!/usr/bin/env python3
"""Runs two builds of decoder-bench against each other in one run: old and new take turns,
round by round, and each benchmark's median of the rounds is printed for both with their ratio.

    bench/decoder-compare.py OLD/decoder-bench NEW/decoder-bench [--rounds N] [--filter REGEX]

A round runs every selected benchmark of one build once (Google Benchmark's own minimum time
per benchmark); the builds alternate, the old one first in odd rounds and the new one first in
even rounds, so that a burst of load from other processes falls on both alike. The figure is
MiB/s of decoded output (bytes_per_second); ratio new / old, above 1.00 the new build is faster.
"""
import argparse
import json
import statistics
import subprocess


def run(binary, pattern, min_time):
    out = subprocess.run(
        [binary, f"--benchmark_filter={pattern}", f"--benchmark_min_time={min_time}",
         "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    return {b["name"]: b["bytes_per_second"] / 1048576 for b in json.loads(out)["benchmarks"]
            if "error_occurred" not in b}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--filter", default="ours|Legacy")
    parser.add_argument("--min-time", default="0.5")
    args = parser.parse_args()
    figures = {"old": {}, "new": {}}
    for r in range(args.rounds):
        order = [("old", args.old), ("new", args.new)]
        if r % 2:
            order.reverse()
        for which, binary in order:
            for name, rate in run(binary, args.filter, args.min_time).items():
                figures[which].setdefault(name, []).append(rate)
    print(f"{'benchmark':40} {'old MiB/s':>10} {'new MiB/s':>10} {'new/old':>8}")
    for name in figures["old"]:
        old = statistics.median(figures["old"][name])
        new = statistics.median(figures["new"].get(name, [0]))
        print(f"{name:40} {old:10.0f} {new:10.0f} {new / old:8.2f}")


if __name__ == "__main__":
    main()
