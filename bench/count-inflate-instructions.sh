#!/bin/sh
# Instructions executed by one decoding of each stream of the decoder benchmark, counted by
# valgrind's callgrind (deterministic, unlike times on a shared machine): our InflateEntry
# in two builds (old and new) and libdeflate's decompressor, each counted from the call in
# and including everything it calls (for ours the CRC-32, the input copies and the writes).
# Callgrind has no AVX-512, so our CRC-32 is counted in its 128-bit form.
#
#   bench/count-inflate-instructions.sh OLD/decoder-bench NEW/decoder-bench
set -eu
old=${1:?usage: count-inflate-instructions.sh old/decoder-bench new/decoder-bench}
new=${2:?usage: count-inflate-instructions.sh old/decoder-bench new/decoder-bench}
out=$(mktemp "${TMPDIR:-/tmp}/callgrind.XXXXXX")
trap 'rm -f "$out"' EXIT

count() { # binary benchmark-name function
    valgrind --tool=callgrind --callgrind-out-file="$out" --toggle-collect="$3" \
        "$1" --benchmark_filter="^$2\$" --benchmark_min_time=0.000001 >/dev/null 2>&1
    sed -n 's/^totals: *//p; s/^summary: *//p' "$out" | head -n 1
}

printf '%-16s %14s %14s %14s %8s %8s\n' stream old new libdeflate new/old new/ld
for stream in log5m mixed8m-level1 mixed8m-level9; do
    o=$(count "$old" "Inflate/ours/$stream" 'zorvi::TEntryDecoder::InflateEntry()')
    n=$(count "$new" "Inflate/ours/$stream" 'zorvi::TEntryDecoder::InflateEntry()')
    l=$(count "$new" "Inflate/libdeflate/$stream" 'libdeflate_deflate_decompress')
    awk -v s="$stream" -v o="$o" -v n="$n" -v l="$l" \
        'BEGIN { printf "%-16s %14d %14d %14d %8.3f %8.3f\n", s, o, n, l, n / o, n / l }'
done
