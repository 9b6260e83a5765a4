#!/bin/bash
# Times whole extractions of the benchmark archives (bench/make-archives.py) with our
# zorvi-unzip and, in the same run, with the other extractors found on the machine:
# Info-ZIP unzip, bsdtar, 7z, Python's zipfile and minizip's miniunzip. Then the peak
# memory of each on each archive, then the listing of each archive by each tool.
#
#   cmake --preset native-release -B build/bx-release
#   cmake --build build/bx-release --target zorvi-unzip -j2
#   bench/make-archives.py build/bench-data
#   bench/extract-bench.sh build/bx-release/bin/zorvi-unzip [build/bench-data]
#
# RUNS (default 7, odd so the median is one run) sets the runs per tool and archive.
# BASELINE=path/to/another/zorvi-unzip (an older build, say) adds it as one more tool,
# "baseline", taking turns with the others: old against new in one run.
# ARCHIVES="many-entries.zip many-entries-132k.zip" (names in the archive folder) times
# those instead of the four made by default: the scaling check of the entry count.
#
# Each run extracts into an empty folder on a tmpfs (/dev/shm, or TMPDIR when set), so
# the figures are the extractors' own work and not the disk's. The tools take turns:
# run k starts with the k-th tool, so a burst of load from other processes on the machine
# falls on all of them alike rather than on one. Emptying the folder and checking what was
# extracted (file count and total bytes against the archive's directory) happen outside
# the timed span. Times are wall-clock from $EPOCHREALTIME (no process started to read
# the clock) around the whole command, start of the process included.
#
# Ours runs twice per round: "zorvi-unzip" with its default thread count (one per core)
# and "zorvi-unzip -T 1" on one thread, as every peer works.
#
# The ratio printed is ours / peer of the median wall-clock times: below 1.0 ours is
# faster, 0.5 means ours takes half the peer's time. "CPU s" is the median of the user +
# system time of the run (all its threads), which varies less than wall-clock time when
# other processes load the machine.
set -eu

ours=$(realpath "${1:?usage: extract-bench.sh path/to/zorvi-unzip [archive folder]}")
data=$(realpath "${2:-build/bench-data}")
runs=${RUNS:-7}
baseline=${BASELINE:+$(realpath "$BASELINE")}
read -r -a archives <<<"${ARCHIVES:-mixed-deflate.zip small-files.zip stored.zip many-entries.zip}"

for archive in "${archives[@]}"; do
    if [ ! -f "$data/$archive" ]; then
        echo "missing $data/$archive: run bench/make-archives.py $data first" >&2
        exit 2
    fi
done

work=$(mktemp -d "${TMPDIR:-/dev/shm}/extract-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
dest=$work/out

# The command line of each extractor for archive $2 into the (existing, empty) folder $3,
# left in the array `cmd`. Standard output of every tool goes to /dev/null (some list what
# they extract); standard error is kept.
set_command() { # tool archive destination
    case $1 in
    zorvi-unzip) cmd=("$ours" -d "$3" -o always -q "$2") ;;
    "zorvi-unzip -T 1") cmd=("$ours" -T 1 -d "$3" -o always -q "$2") ;;
    baseline) cmd=("$baseline" -d "$3" -o always -q "$2") ;;
    unzip) cmd=(unzip -o -q "$2" -d "$3") ;;
    bsdtar) cmd=(bsdtar -xf "$2" -C "$3") ;;
    7z) cmd=(7z x -y -o"$3" "$2") ;;
    python-zipfile)
        cmd=(python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])'
            "$2" "$3") ;;
    miniunzip) cmd=(miniunzip -x -o "$2" -d "$3") ;;
    esac
}

# The command line of each tool listing archive $2 (name, sizes, date of every entry, as
# each tool prints them), left in `cmd`.
set_list_command() { # tool archive
    case $1 in
    zorvi-unzip) cmd=("$ours" -l "$2") ;;
    "zorvi-unzip -T 1") cmd=("$ours" -T 1 -l "$2") ;;
    baseline) cmd=("$baseline" -l "$2") ;;
    unzip) cmd=(unzip -l "$2") ;;
    bsdtar) cmd=(bsdtar -tvf "$2") ;;
    7z) cmd=(7z l "$2") ;;
    python-zipfile) cmd=(python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).printdir()' "$2") ;;
    miniunzip) cmd=(miniunzip -l "$2") ;;
    esac
}

# The tools as printed, each with the program it needs. Ours comes first.
tools=(zorvi-unzip "zorvi-unzip -T 1")
if [ -n "$baseline" ]; then
    tools+=(baseline)
fi
for tool in unzip bsdtar 7z python-zipfile miniunzip; do
    case $tool in
    python-zipfile) program=python3 ;;
    *) program=$tool ;;
    esac
    if command -v "$program" >/dev/null; then
        tools+=("$tool")
    else
        echo "note: $program not found, $tool left out" >&2
    fi
done
if [ ! -x /usr/bin/time ]; then
    echo "note: /usr/bin/time not found (Debian package 'time'): no peak memory figures" >&2
fi

# Regular files and their total size under a folder: "count bytes".
extracted_summary() {
    find "$1" -type f -printf '%s\n' | awk '{ n++; s += $1 } END { printf "%d %d\n", n, s }'
}

# What a full extraction must give, from the archive's own directory.
expected_summary() {
    python3 -c '
import sys, zipfile
files = [e for e in zipfile.ZipFile(sys.argv[1]).infolist() if not e.is_dir()]
print(len(files), sum(e.file_size for e in files))' "$1"
}

fresh_dest() {
    rm -rf "$dest"
    mkdir -p "$dest"
}

# CPU seconds (user + system) used by the finished children of this shell so far, from
# the output of the `times` builtin in file $1 (second line: children's user and system
# times as "0m1.234s 0m0.567s"). Kept in a file because `times` must run in this shell:
# in a command substitution it would report the subshell's children, none.
children_cpu() {
    awk 'NR == 2 {
        t = 0
        for (i = 1; i <= 2; i++) { split($i, p, /[ms]/); t += p[1] * 60 + p[2] }
        printf "%.3f", t
    }' "$1"
}

median() { # numbers...
    printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"
}

# The command of `tool` for one run of `mode` (extract or list) on archive $path, in `cmd`;
# an extraction gets an empty destination first.
prepare_run() { # mode tool
    if [ "$1" = extract ]; then
        fresh_dest
        set_command "$2" "$path" "$dest"
    else
        set_list_command "$2" "$path"
    fi
}

# Times every tool on archive $path in `mode`, RUNS times each in turns, into the arrays
# `times` and `cpu` (the runs of a tool as one list of seconds each). An extraction is
# checked against the archive's directory after each run, outside the timed span.
time_tools() { # mode
    # One untimed run of each tool first: caches warm, and a tool that fails is found
    # before it spoils the figures.
    for tool in "${tools[@]}"; do
        prepare_run "$1" "$tool"
        "${cmd[@]}" >/dev/null
    done
    times=() cpu=()
    for ((run = 0; run < runs; run++)); do
        for ((k = 0; k < ${#tools[@]}; k++)); do
            tool=${tools[(run + k) % ${#tools[@]}]}
            prepare_run "$1" "$tool"
            times >"$work/cpu-before"
            start=$EPOCHREALTIME
            if ! "${cmd[@]}" >/dev/null; then
                echo "$tool failed on $archive ($1)" >&2
                exit 1
            fi
            end=$EPOCHREALTIME
            times >"$work/cpu-after"
            if [ "$1" = extract ]; then
                read -r got_files got_bytes < <(extracted_summary "$dest")
                if [ "$got_files $got_bytes" != "$want_files $want_bytes" ]; then
                    echo "$tool extracted $got_files files, $got_bytes bytes from $archive;" \
                        "expected $want_files files, $want_bytes bytes" >&2
                    exit 1
                fi
            fi
            times[$tool]+=" $(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f", e - s }')"
            cpu[$tool]+=" $(awk -v b="$(children_cpu "$work/cpu-before")" \
                -v a="$(children_cpu "$work/cpu-after")" 'BEGIN { printf "%.3f", a - b }')"
        done
    done
}

# The table of `times`, `cpu` and `rss` (MB/s only for an extraction: of $want_bytes).
print_table() { # mode
    printf '%-16s %9s %9s %9s %9s %11s %9s %12s\n' tool "median s" "min s" "max s" "MB/s" "ours/peer" \
        "CPU s" "max RSS KiB"
    # shellcheck disable=SC2086 # the lists of times are meant to split
    ours_median=$(median ${times[zorvi-unzip]})
    best_tool="" best_median=""
    for tool in "${tools[@]}"; do
        # shellcheck disable=SC2086
        m=$(median ${times[$tool]})
        # shellcheck disable=SC2086
        lo=$(printf '%s\n' ${times[$tool]} | sort -g | head -1)
        # shellcheck disable=SC2086
        hi=$(printf '%s\n' ${times[$tool]} | sort -g | tail -1)
        if [ "$tool" = zorvi-unzip ]; then
            ratio="-"
        elif [ "$tool" = baseline ] || [ "$tool" = "zorvi-unzip -T 1" ]; then
            ratio=$(awk -v o="$ours_median" -v p="$m" 'BEGIN { printf "%.2f", o / p }')
        else
            ratio=$(awk -v o="$ours_median" -v p="$m" 'BEGIN { printf "%.2f", o / p }')
            if [ -z "$best_median" ] || awk -v a="$m" -v b="$best_median" 'BEGIN { exit !(a < b) }'; then
                best_tool=$tool best_median=$m
            fi
        fi
        mbs="-"
        if [ "$1" = extract ]; then
            mbs=$(awk -v b="$want_bytes" -v t="$m" 'BEGIN { printf "%.0f", b / t / 1e6 }')
        fi
        # shellcheck disable=SC2086
        c=$(median ${cpu[$tool]})
        printf '%-16s %9.3f %9.3f %9.3f %9s %11s %9.3f %12s\n' "$tool" "$m" "$lo" "$hi" "$mbs" "$ratio" \
            "$c" "${rss[$tool]:-n/a}"
    done
    # shellcheck disable=SC2086
    one_thread_median=$(median ${times["zorvi-unzip -T 1"]})
    printf 'best peer: %s; ours / best peer = %s; ours -T 1 / best peer = %s\n' "$best_tool" \
        "$(awk -v o="$ours_median" -v p="$best_median" 'BEGIN { printf "%.2f", o / p }')" \
        "$(awk -v o="$one_thread_median" -v p="$best_median" 'BEGIN { printf "%.2f", o / p }')"
}

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
    "load average$(uptime | sed 's/.*load average://')"
echo "Extracting to $work ($(df --output=fstype "$work" | tail -1)), $runs runs per tool and archive"
echo "Ratio: ours / peer (below 1.00 ours is faster)"

declare -A times=() cpu=() rss=()
for archive in "${archives[@]}"; do
    path=$data/$archive
    read -r want_files want_bytes < <(expected_summary "$path")
    cat "$path" >/dev/null # into the page cache before any timing

    time_tools extract
    # Peak memory, one run each under /usr/bin/time (kept apart from the timed runs, as
    # the extra process would be in the timed span).
    rss=()
    if [ -x /usr/bin/time ]; then
        for tool in "${tools[@]}"; do
            prepare_run extract "$tool"
            # 7z is a shell script that execs the real program: the figure is still the
            # extractor's (%M is the largest resident size the process reached).
            rss[$tool]=$(/usr/bin/time -f %M "${cmd[@]}" 2>&1 >/dev/null | tail -1)
        done
    fi
    echo
    printf '%s: %d files, %d bytes extracted\n' "$archive" "$want_files" "$want_bytes"
    print_table extract

    time_tools list
    rss=()
    echo
    printf '%s: listed (%d files)\n' "$archive" "$want_files"
    print_table list
done
rm -rf "$dest"

echo
echo "Load average at the end$(uptime | sed 's/.*load average://')"
