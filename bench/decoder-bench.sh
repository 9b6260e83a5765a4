#!/bin/sh
# Runs the in-process decoder benchmark and, in the same run, times `unzip -o -q` on the
# legacy archives the benchmark decodes, so the legacy figures can be compared.
#
#   cmake --preset native-release -B build/dec-release
#   cmake --build build/dec-release --target decoder-bench -j2
#   bench/decoder-bench.sh build/dec-release/bin/decoder-bench
#
# unzip's time includes starting the process and writing the files (to a tmpfs when
# /dev/shm exists); the in-process figures include neither.
set -eu
bench=${1:?usage: decoder-bench.sh path/to/decoder-bench [benchmark options]}
shift
corpus=$(cd "$(dirname "$0")/../tests/data/corpus" && pwd)
runs=${RUNS:-9}

"$bench" --benchmark_min_time=1 "$@"

tmp=$(mktemp -d "${TMPDIR:-/dev/shm}/decoder-bench.XXXXXX" 2>/dev/null || mktemp -d)
trap 'rm -rf "$tmp"' EXIT
echo
echo "unzip -o -q, median of $runs runs:"
printf '%-22s %10s %12s %s\n' archive bytes seconds MB/s
for archive in hw-shrink.zip za-shrink.zip hw-reduce1.zip hw-reduce4.zip za-reduce2.zip \
    hw-implode-4-0.zip hw-implode-4-1.zip hw-implode-8-0.zip hw-implode-8-1.zip; do
    times=""
    i=0
    while [ $i -lt "$runs" ]; do
        rm -rf "$tmp/out"
        start=$(date +%s%N)
        unzip -o -q "$corpus/$archive" -d "$tmp/out" >/dev/null 2>&1 || true
        end=$(date +%s%N)
        times="$times $((end - start))"
        i=$((i + 1))
    done
    median=$(printf '%s\n' $times | sort -n | sed -n "$(((runs + 1) / 2))p")
    # Bytes actually extracted: unzip builds without reduce support skip those entries.
    written=$(find "$tmp/out" -type f -printf '%s\n' 2>/dev/null | awk '{s += $1} END {print s + 0}')
    case $archive in
    *reduce*) note="n/a (this unzip skips reduced entries)" ;;
    *) note="" ;;
    esac
    awk -v a="$archive" -v b="$written" -v t="$median" -v n="$note" \
        'BEGIN { s = t / 1e9; printf "%-22s %10d %12.4f %s\n", a, b, s, (n != "" ? n : sprintf("%.1f", b / s / 1048576)) }'
done
