#!/usr/bin/env bash
# Runs the Windows device tests under the run's Wine environment against simulated
# instruments: one behind COM5 and one behind COM6, each on its own pseudo-terminal
# linked into the prefix's dosdevices and followed through a control file. The test
# program asks for screenshots by dropping NAME.request files into a folder; this
# script takes them (xwd of the whole display) into the artifacts.
#
#   run-device-wine-tests.sh INSTRUMENT_SIM WIN_DEVICE_TESTS_EXE [gtest arguments]
set -euo pipefail

sim=${1:?instrument-sim}
tests=${2:?win-device-tests.exe}
shift 2

# shellcheck disable=SC1091
. "${ZORVI_WINE_STATE:?run under ctest}/env"
work=$(mktemp -d /tmp/zorvi-device.XXXXXX)
artifacts=${ZORVI_ARTIFACTS:-$work/artifacts}/device
mkdir -p "$artifacts" "$work/shots"
pids=()

cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    cp "$work"/*.log "$artifacts/" 2>/dev/null || true
    rm -f "$WINEPREFIX/dosdevices/com5" "$WINEPREFIX/dosdevices/com6"
    rm -rf "$work"
}
trap cleanup EXIT

windows_path() {
    printf 'Z:%s' "${1//\//\\}"
}

for port in com5 com6; do
    # Not "com5.ctl": Windows takes a name like that for the device COM5 itself.
    "$sim" --control "$work/sim-$port.control" --log "$work/sim-$port.control.log" \
        --link "$WINEPREFIX/dosdevices/$port" --time-limit 900 >"$work/$port.path" &
    pids+=("$!")
    # wine-env.sh stop ends whatever is left, should this script be killed.
    echo "$!" >"$ZORVI_WINE_STATE/device-sim-$port.bgpid"
done
for port in com5 com6; do
    for _ in $(seq 1 100); do
        [ -s "$work/$port.path" ] && [ -e "$work/sim-$port.control.ack" ] && break
        sleep 0.05
    done
    [ -s "$work/$port.path" ] || { echo "instrument-sim for $port did not start" >&2; exit 1; }
    echo "$port -> $(cat "$work/$port.path")"
done

# The screen as a person sees it. On the virtual display a capture of the root
# window misses the content of Wine's unmanaged windows, so each visible window is
# captured on its own and laid over the root capture, bottom-most first.
screenshot() {
    local out=$1 base=$work/shots/base.png line id geometry x y
    xwd -root -silent -display "$DISPLAY" | convert xwd:- "$base"
    xwininfo -root -tree -display "$DISPLAY" | grep -E '^ +0x[0-9a-f]+ "' | tac |
        while read -r line; do
            id=${line%% *}
            geometry=$(grep -oE '[0-9]+x[0-9]+\+-?[0-9]+\+-?[0-9]+' <<<"$line" | head -1)
            case "$geometry" in 1x1+*) continue ;; esac
            xwininfo -id "$id" -display "$DISPLAY" | grep -q 'IsViewable' || continue
            x=$(cut -d+ -f2 <<<"$geometry")
            y=$(cut -d+ -f3 <<<"$geometry")
            xwd -id "$id" -silent -display "$DISPLAY" | convert xwd:- "$work/shots/window.png" &&
                composite -geometry "+$x+$y" "$work/shots/window.png" "$base" "$base"
        done
    mv "$base" "$out"
}

(
    while true; do
        for request in "$work"/shots/*.request; do
            [ -e "$request" ] || continue
            name=$(basename "$request" .request)
            screenshot "$artifacts/$name.png" || true
            rm -f "$request"
            touch "$work/shots/$name.done"
        done
        sleep 0.1
    done
) &
pids+=("$!")

export ZORVI_SIM_COM5
export ZORVI_SIM_COM6
export ZORVI_SHOTS
ZORVI_SIM_COM5=$(windows_path "$work/sim-com5.control")
ZORVI_SIM_COM6=$(windows_path "$work/sim-com6.control")
ZORVI_SHOTS=$(windows_path "$work/shots")

set +e
wine "$tests" "$@"
status=$?
set -e
rm -f "$ZORVI_WINE_STATE"/device-sim-*.bgpid
exit $status
