#!/usr/bin/env bash
# Builds the `fuzz` preset and runs every fuzz target of the ZIP component (or the ones named)
# for SECONDS each (default 180), as many at once as there are cores, then prints the
# executions of each. See fuzz/README.md.
#
#   tools/fuzz.sh [SECONDS [TARGET...]]   (all targets when none is named)
#
# Each target keeps its corpus in build/fuzz/corpus/<target> (it grows from run to run and is
# not part of the repository) and starts from the seeds and regressions in
# tests/data/fuzz/<target>. A finding ends that target's run; its input is saved in
# build/fuzz/findings/<target>/ and the script ends with status 1 after the other targets.
# Faults listed in fuzz/known-faults.txt (known, being mended) do not count as findings: the
# targets skip inputs that show them and say once which ones they met.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-180}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
    echo "usage: tools/fuzz.sh [SECONDS [TARGET...]]  (the time for each target, default 180)" >&2
    exit 2
fi
targets=(archive inflate shrink reduce implode store cipher aes wildcard)
if [ "$#" -gt 1 ]; then
    shift
    for target in "$@"; do
        if ! [[ " ${targets[*]} " == *" $target "* ]]; then
            echo "unknown fuzz target: $target (the targets: ${targets[*]})" >&2
            exit 2
        fi
    done
    targets=("$@")
fi

# libFuzzer options per target: the longest input, and the time after which one input counts
# as a hang. The matcher's is short: a mask's time must not explode with its stars.
options_for() {
    case "$1" in
    wildcard) echo "-max_len=512 -timeout=5" ;;
    cipher | aes) echo "-max_len=4096 -timeout=30" ;;
    *) echo "-max_len=8192 -timeout=30" ;;
    esac
}

echo "== fuzz build"
if ! configure_log=$(cmake --preset fuzz 2>&1); then
    echo "$configure_log" >&2
    exit 1
fi
cmake --build --preset fuzz -j "${JOBS:-2}"

known=$(sed -e 's/#.*//' fuzz/known-faults.txt | awk 'NF { print $1 }' | paste -sd, -)
# The archive target extracts every input: into RAM when the system has a RAM disk.
work_base=/dev/shm
[ -d "$work_base" ] && [ -w "$work_base" ] || work_base=${TMPDIR:-/tmp}
work=$(mktemp -d "$work_base/zorvi-fuzz.XXXXXX")
logs=build/fuzz/logs
mkdir -p "$logs"
rm -f "$logs"/*.summary
trap 'rm -rf "$work"' EXIT

# One target's run; its summary line goes to $logs/<target>.summary, and its exit status
# says whether it made a finding.
fuzz_target() {
    local target=$1
    local corpus=build/fuzz/corpus/$target
    local findings=build/fuzz/findings/$target
    mkdir -p "$corpus" "$findings"
    local sources=("tests/data/fuzz/$target/seeds")
    [ -d "tests/data/fuzz/$target/regressions" ] && sources+=("tests/data/fuzz/$target/regressions")
    local log=$logs/$target.log
    echo "== fuzz-$target for ${seconds} s (log: $log)"
    local status=0
    # shellcheck disable=SC2046 # the options are separate words
    ZORVI_FUZZ_KNOWN_FAULTS=$known ZORVI_FUZZ_WORK_DIR=$work \
        "build/fuzz/bin/fuzz-$target" $(options_for "$target") -max_total_time="$seconds" \
        -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "${sources[@]}" \
        >"$log" 2>&1 || status=$?
    local executions rate units outcome met
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    units=$(find "$corpus" -type f | wc -l)
    outcome="clean"
    if [ "$status" -ne 0 ]; then
        outcome="FINDING (status $status): $(grep -m1 -E '^(invariant |==[0-9]+==ERROR|SUMMARY|ALARM)' "$log" || true)"
        grep -E '^artifact_prefix|Test unit written to' "$log" || true
    fi
    met=$(sed -n 's/^known fault met (tolerated from now on): \([^:]*\):.*/\1/p' "$log" | paste -sd, -)
    [ -n "$met" ] && outcome="$outcome; known faults met: $met"
    printf '%-9s %12s %8s %7s  %s\n' "$target" "${executions:-?}" "${rate:-?}" "$units" "$outcome" \
        >"$logs/$target.summary"
    [ "$status" -eq 0 ]
}

# The targets share nothing but the build, so as many run at once as there are cores
# (FUZZ_JOBS overrides): each still gets its SECONDS, the whole run takes less.
parallel=${FUZZ_JOBS:-$(nproc)}
failed=0
running=0
for target in "${targets[@]}"; do
    if [ "$running" -ge "$parallel" ]; then
        wait -n || failed=1
        running=$((running - 1))
    fi
    fuzz_target "$target" &
    running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
done

echo
echo "== executions per target (${seconds} s each)"
printf '%-9s %12s %8s %7s  %s\n' target executions exec/s corpus outcome
for target in "${targets[@]}"; do cat "$logs/$target.summary" 2>/dev/null || echo "$target (no summary)"; done
if [ "$failed" -ne 0 ]; then
    echo "findings are in build/fuzz/findings/; replay one with build/native/bin/fuzz-<target>-replay <file>" >&2
fi
exit "$failed"
