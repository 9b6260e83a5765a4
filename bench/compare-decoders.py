#!/usr/bin/env python3
"""Runs two builds of decoder-bench in turns and prints the medians of each benchmark.

    bench/compare-decoders.py OLD/decoder-bench NEW/decoder-bench [--runs 9]
        [--filter 'Inflate/'] [--min-time 0.3]

Run k starts with the old build when k is even and with the new one when it is odd, so a
change of load hits both alike. Each run of a build measures its benchmarks once (Google
Benchmark, --benchmark_min_time); the tables give the median wall-clock and CPU times over
the runs, in ms, and the MiB/s they mean (on a shared machine the CPU time leaves out the
time other processes took the core; both are shown). The peers (zlib, libdeflate) are
measured in both builds; their medians pool both. Ratios: new / libdeflate and old /
libdeflate of the median times.
Benchmarks only the new build has are listed with its figures alone; new/old there is of
the CPU times.
"""
import argparse
import json
import statistics
import subprocess
from collections import defaultdict


def run(binary, flt, min_time):
    out = subprocess.run(
        [binary, f"--benchmark_filter={flt}", f"--benchmark_min_time={min_time}",
         "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    results = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("error_occurred"):
            continue  # not on this processor, or a wrong result: no figure
        unit = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        cpu = b["cpu_time"] * unit
        # Google Benchmark's byte rate is per CPU second.
        results[b["name"]] = {"wall": b["real_time"] * unit, "cpu": cpu,
                              "bytes": b.get("bytes_per_second", 0.0) * cpu / 1e3}
    return results


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("--runs", type=int, default=9)
    ap.add_argument("--filter", default="Inflate/")
    ap.add_argument("--min-time", default="0.3")
    args = ap.parse_args()

    times = {(which, clock): defaultdict(list)
             for which in ("old", "new") for clock in ("wall", "cpu")}
    bytes_of = {}
    for k in range(args.runs):
        order = ["old", "new"] if k % 2 == 0 else ["new", "old"]
        for which in order:
            for name, r in run(getattr(args, which), args.filter, args.min_time).items():
                for clock in ("wall", "cpu"):
                    times[which, clock][name].append(r[clock])
                bytes_of[name] = r["bytes"]
        print(f"run {k + 1} of {args.runs} done", flush=True)

    def median(which, clock, name):
        return statistics.median(times[which, clock][name])

    def pooled(clock, name):
        return statistics.median(times["old", clock][name] + times["new", clock][name])

    def rate(name, ms):
        return bytes_of[name] / (ms / 1e3) / 2**20

    streams = sorted({n.split("/", 2)[2] for n in times["new", "cpu"]
                      if n.startswith("Inflate/ours/")})
    for clock, what in (("wall", "wall-clock"), ("cpu", "CPU")):
        print()
        print(f"Inflate, median {what} ms of {args.runs} runs per build (MiB/s in brackets)")
        print(f"{'stream':<16} {'old':>15} {'new':>15} {'zlib':>15} {'zlib+crc32':>15} "
              f"{'libdeflate':>15} {'new/old':>8} {'old/ld':>7} {'new/ld':>7} {'zlib/new':>8}")
        for s in streams:
            old = median("old", clock, f"Inflate/ours/{s}")
            new = median("new", clock, f"Inflate/ours/{s}")
            zlib = pooled(clock, f"Inflate/zlib/{s}")
            zcrc = pooled(clock, f"Inflate/zlib+crc32/{s}")
            ld = pooled(clock, f"Inflate/libdeflate/{s}")
            cell = lambda name, ms: f"{ms:6.2f} ({rate(name, ms):5.0f})"
            print(f"{s:<16} {cell(f'Inflate/ours/{s}', old)} {cell(f'Inflate/ours/{s}', new)} "
                  f"{cell(f'Inflate/zlib/{s}', zlib)} {cell(f'Inflate/zlib+crc32/{s}', zcrc)} "
                  f"{cell(f'Inflate/libdeflate/{s}', ld)} {new / old:8.3f} {old / ld:7.3f} "
                  f"{new / ld:7.3f} {zlib / new:8.2f}")
    others = sorted(n for n in times["new", "cpu"] if not n.startswith("Inflate/"))
    if others:
        print()
        print(f"{'benchmark (medians, ms)':<32} {'old wall':>9} {'new wall':>9} {'old CPU':>9} "
              f"{'new CPU':>9} {'new/old':>8} {'old MiB/s':>10} {'new MiB/s':>10}")
        for n in others:
            new_wall, new_cpu = median("new", "wall", n), median("new", "cpu", n)
            if n in times["old", "cpu"]:
                old_wall, old_cpu = median("old", "wall", n), median("old", "cpu", n)
                print(f"{n:<32} {old_wall:9.3f} {new_wall:9.3f} {old_cpu:9.3f} {new_cpu:9.3f} "
                      f"{new_cpu / old_cpu:8.3f} {rate(n, old_cpu):10.0f} "
                      f"{rate(n, new_cpu):10.0f}")
            else:
                print(f"{n:<32} {'':>9} {new_wall:9.3f} {'':>9} {new_cpu:9.3f} {'':>8} {'':>10} "
                      f"{rate(n, new_cpu):10.0f}")


if __name__ == "__main__":
    main()
