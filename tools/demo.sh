#!/usr/bin/env bash
# Runs ZorviUpdate.exe under Wine against the simulated instrument at version 1V4 on a
# pseudo-terminal behind COM5 of the bridge.
#
#   tools/demo.sh              on the user's display when DISPLAY is set: a person
#                              presses Start and answers the boxes, the script plays
#                              the instrument (programming mode, unplugging, plugging
#                              in) and says so; it ends when the window is closed
#                              otherwise (or with --headless) on a virtual display
#                              with gui-driver playing the operator through the whole
#                              road; prints the log rows, saves the screenshots; exit 0
#                              when the update succeeded
#
# BUILD_DIR (build/windows) is the Windows build used and brought up to date; JOBS
# (the number of processors) the build's parallel jobs. The demo's Wine prefix and
# its screenshots go to DEMO_DIR (build/demo). Every process it starts (simulator,
# Wine, the virtual display) is stopped when it ends, also on Ctrl+C.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

mode=interactive
case "${1:-}" in
"")
    if [ -z "${DISPLAY:-}" ]; then
        mode=headless
    elif ! xdpyinfo >/dev/null 2>&1; then
        # A DISPLAY left over from elsewhere (an ssh login without X forwarding, say).
        echo "the display $DISPLAY cannot be opened: running headless" >&2
        mode=headless
    fi
    ;;
--headless) mode=headless ;;
*)
    echo "usage: $0 [--headless]" >&2
    exit 2
    ;;
esac

build=${BUILD_DIR:-build/windows}
demo=${DEMO_DIR:-build/demo}
jobs=${JOBS:-$(nproc)}

mkdir -p "$demo"
demo=$(cd "$demo" && pwd)

echo "== building ZorviUpdate.exe, gui-driver and the simulated instrument in $build"
if ! cmake --preset windows -B "$build" >"$demo/configure.log" 2>&1; then
    cat "$demo/configure.log" >&2
    exit 1
fi
cmake --build "$build" --target ZorviUpdate gui-driver e2e-programs instrument-sim-host \
    -j "$jobs"
build=$(cd "$build" && pwd)

# The archive the program carries, as the build configured it.
archive=$(sed -n 's/^ZORVI_UPDATE_ARCHIVE:[A-Z]*=//p' "$build/CMakeCache.txt")
screenshots=$demo/screenshots
rm -rf "$screenshots"
state=$demo/wine

# shellcheck disable=SC2317 # run by the EXIT trap
stop() {
    "$root/tools/wine/wine-env.sh" stop "$state" >/dev/null 2>&1 || true
    # The prefix is made afresh by every start; it holds nothing worth keeping.
    rm -rf "$state/prefix"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

if [ "$mode" = headless ]; then
    echo "== starting Wine on a virtual display"
    env -u DISPLAY "$root/tools/wine/wine-env.sh" start "$state"
else
    echo "== starting Wine on the display $DISPLAY"
    "$root/tools/wine/wine-env.sh" start "$state"
fi

echo "== running the wizard ($mode)"
ZORVI_WINE_STATE=$state \
    ZORVI_WINE_RUN=$root/tools/wine/wine-run.sh \
    ZORVI_BIN=$build/bin \
    ZORVI_SIM=$build/host/instrument-sim \
    ZORVI_UPDATE_ARCHIVE=$archive \
    ZORVI_SCREENSHOTS=$screenshots \
    python3 "$root/tools/demo.py" "$mode" &
driver=$!
# The driver script runs in the background so that Ctrl+C or a termination reaches
# this shell at once (a foreground child would hold the trap back until it ends). A
# background job ignores SIGINT, so the signal is passed on as SIGTERM, on which the
# script ends the wizard and the simulator; Wine stops after that.
trap 'kill -TERM "$driver" 2>/dev/null || true' INT TERM HUP
status=0
wait "$driver" || status=$?
# A trapped signal ends "wait" early, while the script is still cleaning up.
while kill -0 "$driver" 2>/dev/null; do
    status=0
    wait "$driver" || status=$?
done
exit "$status"
