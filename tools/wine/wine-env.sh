#!/usr/bin/env bash
# Starts or stops the Wine environment of one test run.
#
#   wine-env.sh start STATE_DIR   fresh private WINEPREFIX in STATE_DIR/prefix, a virtual
#                                 display (Xvfb) when DISPLAY is not set, one persistent
#                                 wineserver, the Windows desktop and a keeper that holds
#                                 the system processes up; writes STATE_DIR/env for
#                                 wine-run.sh
#   wine-env.sh stop STATE_DIR    stops the wineserver, every Windows process of the prefix
#                                 and the display started by "start"
#
# ZORVI_WINE_ARCH (win64) is the prefix's kind: win32 makes a 32-bit prefix, a 32-bit
# Windows, run by Wine's 32-bit side. ZORVI_WINE_SCREEN (1280x1024) is the size of
# the virtual display, when one is started.
#
# Every long-lived process started here (Xvfb, wineserver, the services wineboot starts)
# gets its standard streams from /dev/null and log files, never from the caller: CTest
# waits for the end of the output pipe it gave the test, so a daemon holding that pipe
# would keep "wine.setup" running until its time-out.
set -euo pipefail

action=${1:?start or stop}
state=${2:?state directory}
mkdir -p "$state"
state=$(cd "$state" && pwd)
prefix=$state/prefix

# Seconds a step of "start" may take before it counts as hung. A fresh prefix takes
# about 8 s on a quiet machine; the slack covers a machine busy with compilers.
readonly boot_timeout=90
readonly step_timeout=30

log() { echo "wine-env: $*" >&2; }

# True while process $1 exists and has not yet died. A process whose parent has gone
# is adopted by init, which in some containers never reaps it, so a dead process may
# linger as a zombie ("Z"); it no longer runs and counts as gone.
alive() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [ "${stat%% *}" != Z ]
}

# Pids of the live processes running under this prefix (Wine passes WINEPREFIX on to
# every Windows process and to the wineserver).
prefix_pids() {
    local environ pid
    # shellcheck disable=SC2013 # /proc paths hold no blanks
    for environ in $(grep -lzxF "WINEPREFIX=$prefix" /proc/[0-9]*/environ 2>/dev/null); do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        { [ "$pid" = $$ ] || [ "$pid" = "$BASHPID" ]; } && continue
        if alive "$pid"; then
            echo "$pid"
        fi
    done
    return 0
}

# Starts Xvfb on a display number of its own choosing (-displayfd avoids the race of
# two test runs picking the same free number) and prints that display.
start_display() {
    local numfile=$state/xvfb.display
    rm -f "$numfile"
    Xvfb -displayfd 3 -screen 0 "${ZORVI_WINE_SCREEN:-1280x1024}x24" -nolisten tcp \
        3>"$numfile" </dev/null >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 1 100); do
        if [ -s "$numfile" ] && grep -q '^[0-9]\+$' "$numfile"; then
            echo ":$(head -n1 "$numfile")"
            return
        fi
        alive "$(cat "$state/xvfb.pid")" || break
        sleep 0.1
    done
    log "Xvfb did not start (see $state/xvfb.log)"
    exit 1
}

stop_all() {
    if [ -f "$state/env" ]; then
        # shellcheck disable=SC1091
        . "$state/env"
        # -k sends SIGINT, on which the wineserver ends its clients cleanly; a SIGTERM
        # to the wineserver would leave its clients hung.
        timeout "$step_timeout" wineserver -k </dev/null >/dev/null 2>&1 || true
        timeout "$step_timeout" wineserver -w </dev/null >/dev/null 2>&1 || true
    fi
    # The keeper's input and programs a test script started in the background and
    # recorded for cleanup.
    local pidfile
    for pidfile in "$state"/*.bgpid; do
        [ -e "$pidfile" ] || continue
        kill "$(cat "$pidfile")" 2>/dev/null || true
        rm -f "$pidfile"
    done
    # Whatever the wineserver could not end (a client stuck in a system call) is
    # killed by its pid. This shell drops WINEPREFIX first, or the scan would find
    # its own subshells.
    export -n WINEPREFIX 2>/dev/null || true
    local pids pid
    for _ in $(seq 1 20); do
        pids=$(prefix_pids)
        [ -z "$pids" ] && break
        sleep 0.1
    done
    for pid in $pids; do
        log "killing leftover process $pid"
        kill -KILL "$pid" 2>/dev/null || true
    done
    if [ -f "$state/xvfb.pid" ]; then
        pid=$(cat "$state/xvfb.pid")
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 1 50); do
            alive "$pid" || break
            sleep 0.1
        done
        alive "$pid" && kill -KILL "$pid" 2>/dev/null
        rm -f "$state/xvfb.pid" "$state/xvfb.display"
    fi
    rm -f "$state/env"
}

# The caller's display, taken before stop_all reads an earlier run's settings.
caller_display=${DISPLAY:-}

case "$action" in
start)
    stop_all
    # A start that fails half-way leaves nothing running.
    # shellcheck disable=SC2154 # status is set inside the trap
    trap 'status=$?; [ $status -eq 0 ] || stop_all; exit $status' EXIT
    rm -rf "$prefix"
    if [ -n "$caller_display" ]; then
        display=$caller_display
    else
        display=$(start_display)
    fi
    cat >"$state/env" <<ENV
export WINEPREFIX='$prefix'
export WINEARCH='${ZORVI_WINE_ARCH:-win64}'
export DISPLAY='$display'
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree=d;mshtml=d;winemenubuilder.exe=d'
export LC_ALL=C.UTF-8
export LANG=C.UTF-8
ENV
    # shellcheck disable=SC1091
    . "$state/env"
    mkdir -p "$prefix"
    wineserver -p </dev/null >"$state/wineserver.log" 2>&1
    # No crash dialog may ever wait for a click; windows draw their own frames on a
    # display without a window manager. The first Wine command on a missing prefix
    # creates it (wineboot --init) before it runs; an explicit "wineboot -i" on top
    # of that would boot twice and leave two service managers fighting over the
    # service database, and every window then waits 10 s for the RPC service.
    cat >"$state/settings.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"
"Managed"="N"
REG
    # Wine maps the Linux root to drive Z:.
    regfile="Z:${state//\//\\}\\settings.reg"
    if ! timeout "$boot_timeout" wine regedit /S "$regfile" \
        </dev/null >"$state/wineboot.log" 2>&1; then
        log "creating the prefix failed or hung (see $state/wineboot.log)"
        stop_all
        exit 1
    fi
    # Debian's Wine does not find its own fonts (Marlett draws the caption buttons,
    # Tahoma and MS Sans Serif are the dialog faces); in the prefix's Fonts folder
    # every program sees them.
    for fonts in /usr/share/wine/fonts /usr/share/wine/wine/fonts; do
        if [ -d "$fonts" ]; then
            cp -n "$fonts"/*.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
            break
        fi
    done
    # The system processes (services, desktop) end when the last program of the
    # prefix ends, and the next program would start them again at its own cost and
    # hand them its output pipe. A console that waits for input which never comes
    # keeps them up for the whole run. The desktop is started here, away from any
    # test's output, by a program that needs it (rundll32 makes a window and calls
    # a function that takes no arguments).
    rm -f "$state/keeper.fifo"
    mkfifo "$state/keeper.fifo"
    # shellcheck disable=SC2217 # nothing of the caller's, not even its input
    sleep 2147483647 </dev/null >"$state/keeper.fifo" 2>/dev/null &
    echo $! >"$state/keeper-input.bgpid"
    wine cmd.exe <"$state/keeper.fifo" >/dev/null 2>"$state/keeper.log" &
    echo $! >"$state/keeper.bgpid"
    if ! timeout "$step_timeout" wine rundll32.exe user32.dll,GetDesktopWindow \
        </dev/null >"$state/desktop.log" 2>&1; then
        log "starting the desktop failed or hung (see $state/desktop.log)"
        stop_all
        exit 1
    fi
    echo "wine environment ready: WINEPREFIX=$prefix DISPLAY=$display"
    ;;
stop)
    stop_all
    echo "wine environment stopped"
    ;;
*)
    echo "usage: $0 start|stop STATE_DIR" >&2
    exit 2
    ;;
esac
