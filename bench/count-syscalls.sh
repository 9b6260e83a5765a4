#!/bin/bash
# System calls per extracted file: strace -c (Debian package strace) over a whole
# extraction of small-files.zip (5,000 files in 50 folders, bench/make-archives.py), with
# -T 1 and with the default thread count, into an empty folder on a tmpfs. Prints each call
# that was made, its count and its count per file, for every thread of the process (-f).
#
#   bench/count-syscalls.sh build/bx-release/bin/zorvi-unzip [build/bench-data]
set -eu

ours=$(realpath "${1:?usage: count-syscalls.sh path/to/zorvi-unzip [archive folder]}")
data=$(realpath "${2:-build/bench-data}")
archive=$data/small-files.zip
if [ ! -f "$archive" ]; then
    echo "missing $archive: run bench/make-archives.py $data first" >&2
    exit 2
fi
files=$(python3 -c 'import sys, zipfile
print(sum(not e.is_dir() for e in zipfile.ZipFile(sys.argv[1]).infolist()))' "$archive")

work=$(mktemp -d "${TMPDIR:-/dev/shm}/count-syscalls.XXXXXX")
trap 'rm -rf "$work"' EXIT

for threads in 1 default; do
    rm -rf "$work/out"
    mkdir "$work/out"
    option=()
    if [ "$threads" != default ]; then
        option=(-T "$threads")
    fi
    strace -f -c -o "$work/counts" "$ours" "${option[@]}" -q -o always -d "$work/out" "$archive"
    echo "-T $threads ($files files; $(nproc) cores):"
    # strace -c's table: calls in column 4, errors (when any) in 5, the name last.
    awk -v files="$files" '$1 ~ /^[0-9.]+$/ && NF >= 5 {
        printf "  %-16s %8d  %6.2f per file\n", $NF, $4, $4 / files
    }' "$work/counts"
done
