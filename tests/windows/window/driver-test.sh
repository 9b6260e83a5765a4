#!/usr/bin/env bash
# Drives the real ZorviUpdate.exe under Wine with gui-driver, as a person would:
# reads the caption and the empty log, takes a screenshot of the painted window
# into the artifacts, presses Start and aborts the connect dialog (no instrument is
# attached), closes the window and checks that the program ended and left no
# process behind.
set -euo pipefail

: "${ZORVI_WINE_STATE:?}" "${ZORVI_WINE_RUN:?}" "${ZORVI_BIN:?}" "${ZORVI_ARTIFACTS:?}"
# shellcheck disable=SC1091
. "$ZORVI_WINE_STATE/env"
mkdir -p "$ZORVI_ARTIFACTS"
screenshot=$ZORVI_ARTIFACTS/main-window.png

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
driver() { "$ZORVI_WINE_RUN" "$ZORVI_BIN/gui-driver.exe" "$@"; }
expect_eq() { # expected actual what
    [ "$1" = "$2" ] || fail "$3: expected '$1', got '$2'"
}

# Live (not zombie) processes of this Wine prefix whose command line mentions $1.
prefix_processes() {
    local dir pid stat
    for dir in /proc/[0-9]*; do
        pid=${dir#/proc/}
        { tr '\0' '\n' <"$dir/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" ||
            continue
        { tr '\0' ' ' <"$dir/cmdline"; } 2>/dev/null | grep -qF "$1" || continue
        stat=$(cat "$dir/stat" 2>/dev/null) || continue
        stat=${stat##*) }
        [ "${stat%% *}" = Z ] || echo "$pid"
    done
}

"$ZORVI_WINE_RUN" "$ZORVI_BIN/ZorviUpdate.exe" &
app=$!
echo "$app" >"$ZORVI_WINE_STATE/driver-test.bgpid"
cleanup() {
    if kill -0 "$app" 2>/dev/null; then
        driver close-main --timeout 2000 >/dev/null 2>&1 || true
        sleep 2
        for pid in $(prefix_processes ZorviUpdate.exe); do
            kill "$pid" 2>/dev/null || true
        done
    fi
    rm -f "$ZORVI_WINE_STATE/driver-test.bgpid"
}
trap cleanup EXIT

# The driver's own contract: help, usage errors and time-outs by exit code.
exit_code() {
    local status=0
    driver "$@" >/dev/null 2>&1 || status=$?
    echo "$status"
}
expect_eq 0 "$(exit_code -h)" "exit code of -h"
expect_eq 2 "$(exit_code no-such-command)" "exit code of an unknown command"
expect_eq 2 "$(exit_code wait-box)" "exit code of a missing argument"
expect_eq 2 "$(exit_code press-box "Информация" maybe)" "exit code of an unknown button"

caption=$(driver wait-main --timeout 30000) || fail "the main window did not appear"
expect_eq 3 "$(exit_code wait-box "Нет такого окна" --timeout 300)" "exit code of a box that never comes"
expect_eq 3 "$(exit_code wait-log "no such row" --timeout 300)" "exit code of a row that never comes"
expect_eq "ЗОРВИ-41K6УФ. Обновление ПО. Версия 1.008.14.08.2015" "$caption" "caption"
expect_eq 0 "$(driver log-count)" "rows of the fresh log"
expect_eq enabled "$(driver start-enabled)" "Start at first"
expect_eq 0 "$(exit_code ping --timeout 2000)" "exit code of a ping the window answers"

# The window is painted once the log's white shows at the screen's centre, which
# the centred window covers. (xwd -root shows an owned window above its owner as
# black under Wine; ImageMagick's import reads the screen as it is.)
shoot() { import -display "$DISPLAY" -window root "png:$1"; }
painted=""
for _ in $(seq 1 50); do
    shoot "$screenshot"
    white=$(convert "$screenshot" -format '%[fx:p{w/2,h/2}.r*p{w/2,h/2}.g*p{w/2,h/2}.b==1]' info:)
    if [ "$white" = 1 ]; then
        painted=yes
        break
    fi
    sleep 0.2
done
[ -n "$painted" ] || fail "the window was not painted"
echo "screenshot: $screenshot"

# Start empties the log, disables itself and waits for the instrument in the
# connect dialog; aborting the dialog ends the run and enables Start again.
driver click-start || fail "Start could not be pressed"
driver find "Подключение к прибору" --timeout 10000 >/dev/null || fail "no connect dialog"
expect_eq disabled "$(driver start-enabled || true)" "Start while the dialog waits"
driver click-start >/dev/null 2>&1 && fail "a disabled Start could be pressed"
expect_eq " Подключение к прибору..." "$(driver log | head -n1)" "first row of the run"
sleep 1.5 # one tick of the dialog, so it shows its pulsing message
shoot "$ZORVI_ARTIFACTS/connect-dialog.png"
echo "screenshot: $ZORVI_ARTIFACTS/connect-dialog.png"
driver press "Подключение к прибору" "Прервать" || fail "could not abort the dialog"
driver wait-log --exact " Операция завершена" --timeout 10000 >/dev/null ||
    fail "the run did not end"
driver wait-log --exact "    Операция прервана." --timeout 1000 >/dev/null ||
    fail "the abort was not logged"
for _ in $(seq 1 50); do
    driver start-enabled >/dev/null && break
    sleep 0.1
done
expect_eq enabled "$(driver start-enabled)" "Start after the run"

driver close-main || fail "could not close the main window"
driver wait-closed --timeout 10000 || fail "the main window stayed"
for _ in $(seq 1 100); do
    kill -0 "$app" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$app" 2>/dev/null && fail "ZorviUpdate.exe did not end"
wait "$app" || fail "ZorviUpdate.exe ended with status $?"
left=$(prefix_processes ZorviUpdate.exe; prefix_processes gui-driver.exe)
[ -z "$left" ] || fail "processes left behind: $left"
echo "driver test passed"
