#!/usr/bin/env bash
# Starts or stops the Wine environment of one test run.
#
#   wine-env.sh start STATE_DIR   fresh private WINEPREFIX in STATE_DIR/prefix, a virtual
#                                 display (Xvfb) when DISPLAY is not set, one persistent
#                                 wineserver; writes STATE_DIR/env for wine-run.sh
#   wine-env.sh stop STATE_DIR    stops the wineserver and every process started by "start"
set -euo pipefail

action=${1:?start or stop}
state=${2:?state directory}
mkdir -p "$state"
state=$(cd "$state" && pwd)
prefix=$state/prefix

start_display() {
    if [ -n "${DISPLAY:-}" ]; then
        echo "$DISPLAY"
        return
    fi
    local n
    for n in $(seq 90 140); do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$state/xvfb.log" 2>&1 &
            echo $! >"$state/xvfb.pid"
            local i
            for i in $(seq 1 50); do
                [ -e "/tmp/.X11-unix/X$n" ] && break
                sleep 0.1
            done
            echo ":$n"
            return
        fi
    done
    echo "no free X display number" >&2
    exit 1
}

case "$action" in
start)
    "$0" stop "$state" >/dev/null 2>&1 || true
    rm -rf "$prefix"
    display=$(start_display)
    cat >"$state/env" <<ENV
export WINEPREFIX='$prefix'
export WINEARCH=win64
export DISPLAY='$display'
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree=d;mshtml=d;winemenubuilder.exe=d'
export LC_ALL=C.UTF-8
export LANG=C.UTF-8
ENV
    # shellcheck disable=SC1091
    . "$state/env"
    mkdir -p "$prefix"
    wineserver -p
    timeout 120 wineboot -i >"$state/wineboot.log" 2>&1
    # No crash dialog may ever wait for a click; windows draw their own frames on a
    # display without a window manager.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    echo "wine environment ready: WINEPREFIX=$prefix DISPLAY=$display"
    ;;
stop)
    if [ -f "$state/env" ]; then
        # shellcheck disable=SC1091
        . "$state/env"
        # SIGINT through -k; a SIGTERM to the wineserver would leave its clients hung.
        timeout 30 wineserver -k 2>/dev/null || true
        timeout 30 wineserver -w 2>/dev/null || true
    fi
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
        rm -f "$state/xvfb.pid"
    fi
    for pidfile in "$state"/*.bgpid; do
        [ -e "$pidfile" ] || continue
        kill "$(cat "$pidfile")" 2>/dev/null || true
        rm -f "$pidfile"
    done
    echo "wine environment stopped"
    ;;
*)
    echo "usage: $0 start|stop STATE_DIR" >&2
    exit 2
    ;;
esac
