#!/usr/bin/env bash
# FM.EXE under Wine against the simulated boot loader (isp-sim-pty) behind a
# pseudo-terminal linked as COM7 of the run's prefix: one successful flashing
# whose result is compared with data.hex byte for byte, then the failures that
# must end with exit status 1 (a missing or damaged DLL, no boot loader answering,
# no such port, a bad job file, a damaged HEX file). The tool files that the
# committed update archive carries are run too.
#
# With ISP_INSTRUMENT_SIM set (the host build of instrument-sim), the same tool
# also flashes the whole simulator in its programming mode, which must then
# identify as version 1V5, and fails on it in its normal mode.
#
# Environment (set by CTest): ZORVI_WINE_STATE, ZORVI_WINE_RUN, ZORVI_BIN (FM.EXE
# and its DLLs), ISP_SIM_PTY (host build of the boot loader), ISP_SOURCE_DIR,
# ISP_INSTRUMENT_SIM (may be empty), ISP_UPDATE_ARCHIVE (the archive the build's
# product carries; assets/update.zip when unset).
set -euo pipefail

: "${ZORVI_WINE_STATE:?}" "${ZORVI_WINE_RUN:?}" "${ZORVI_BIN:?}" "${ISP_SIM_PTY:?}" "${ISP_SOURCE_DIR:?}"
here=$(cd "$(dirname "$0")" && pwd)
update_archive=${ISP_UPDATE_ARCHIVE:-$ISP_SOURCE_DIR/assets/update.zip}
# shellcheck disable=SC1091
. "$ZORVI_WINE_STATE/env"

work=$(mktemp -d /tmp/zorvi-flash.XXXXXX)
sims=()
cleanup() {
    local pid
    for pid in "${sims[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        rm -f "$ZORVI_WINE_STATE/isp-sim-$pid.bgpid"
    done
    rm -f "$WINEPREFIX/dosdevices/com7"
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Starts a simulator (isp-sim-pty unless SIM names another program) on a fresh
# terminal, links it as COM7 and leaves its pid in $sim and the terminal in $pts.
# Arguments go to the simulator.
start_sim() {
    local out=$work/sim-$RANDOM.out
    "${SIM:-$ISP_SIM_PTY}" "$@" >"$out" 2>"$out.err" &
    sim=$!
    sims+=("$sim")
    echo "$sim" >"$ZORVI_WINE_STATE/isp-sim-$sim.bgpid"
    local i
    for i in $(seq 1 50); do
        [ -s "$out" ] && break
        sleep 0.1
    done
    pts=$(head -n 1 "$out")
    [ -c "$pts" ] || { echo "isp-sim-pty did not start: $(cat "$out.err")"; exit 1; }
    ln -sfn "$pts" "$WINEPREFIX/dosdevices/com7"
}

stop_sim() {
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
    rm -f "$ZORVI_WINE_STATE/isp-sim-$sim.bgpid"
}

# A fresh folder as the update leaves it: the tool, its DLLs, data.hex from the
# committed update archive (or generated when there is none yet), the job file.
prepare_folder() {
    local folder=$1
    mkdir -p "$folder"
    cp "$ZORVI_BIN/FM.EXE" "$ZORVI_BIN/FlashMagic.dll" "$ZORVI_BIN/FlashMagicARM.dll" "$folder/"
    if [ -f "$update_archive" ]; then
        (cd "$folder" && unzip -q -o "$update_archive" data.hex)
    else
        python3 "$ISP_SOURCE_DIR/tools/update-archive/make_firmware_hex.py" "$folder/data.hex"
    fi
    printf '%s\r\n' "COM(7,115200)" "DEVICE(LPC2138,14.318180)" "HARDWARE(BOOTEXEC,50,100)" \
        "HIGHSPEED(0,115200)" "ERASEUSED(Data.hex,PROTECTISP)" \
        "HEXFILE(Data.hex,NOCHECKSUMS,NOFILL,PROTECTISP)" >"$folder/fmconfig.txt"
}

# Runs FM.EXE @fmconfig.txt in the folder; its output goes to $folder/fm.log, the
# exit status to $status.
run_fm() {
    local folder=$1
    set +e
    (cd "$folder" && timeout 120 "$ZORVI_WINE_RUN" FM.EXE @fmconfig.txt) >"$folder/fm.log" 2>&1
    status=$?
    set -e
    sed 's/^/    | /' "$folder/fm.log"
}

expect_failure() {
    local name=$1 folder=$2 text=$3
    if [ "$status" -ne 1 ]; then
        fail "$name: exit status $status, expected 1"
    elif ! grep -qF -- "$text" "$folder/fm.log"; then
        fail "$name: the output lacks \"$text\""
    else
        echo "ok: $name"
    fi
}

echo "== flashing data.hex"
start_sim --image "$work/flash.bin"
prepare_folder "$work/ok"
run_fm "$work/ok"
stop_sim
if [ "$status" -ne 0 ]; then
    fail "flashing: exit status $status, expected 0"
elif ! grep -q "^Flashing completed\." "$work/ok/fm.log"; then
    fail "flashing: no \"Flashing completed.\""
elif ! python3 "$here/compare_flash.py" "$work/flash.bin" "$work/ok/data.hex"; then
    fail "flashing: the flash does not hold data.hex"
else
    echo "ok: flashing"
fi

if [ -f "$update_archive" ]; then
    echo "== the archive's own FM.EXE and DLLs"
    start_sim --image "$work/flash-archive.bin"
    prepare_folder "$work/archive"
    (cd "$work/archive" && unzip -q -o "$update_archive" FM.EXE FlashMagic.dll FlashMagicARM.dll)
    run_fm "$work/archive"
    stop_sim
    if [ "$status" -ne 0 ]; then
        fail "archive's tool: exit status $status, expected 0"
    elif ! python3 "$here/compare_flash.py" "$work/flash-archive.bin" "$work/archive/data.hex"; then
        fail "archive's tool: the flash does not hold data.hex"
    else
        echo "ok: archive's tool"
    fi
fi

start_sim
echo "== FlashMagic.dll missing"
prepare_folder "$work/nodll"
rm "$work/nodll/FlashMagic.dll"
run_fm "$work/nodll"
expect_failure "missing DLL" "$work/nodll" "FlashMagic.dll cannot be loaded"

echo "== FlashMagicARM.dll damaged"
prepare_folder "$work/baddll"
head -c 4096 "$ZORVI_BIN/FlashMagicARM.dll" >"$work/baddll/FlashMagicARM.dll"
run_fm "$work/baddll"
expect_failure "damaged DLL" "$work/baddll" "FlashMagicARM.dll cannot be loaded"

echo "== bad job file"
prepare_folder "$work/badjob"
sed -i 's/LPC2138/LPC2148/' "$work/badjob/fmconfig.txt"
run_fm "$work/badjob"
expect_failure "bad job file" "$work/badjob" "line 2 must be DEVICE(LPC2138,<crystal MHz>)"

echo "== damaged data.hex"
prepare_folder "$work/badhex"
# One data digit of record 100 changed: its checksum no longer fits.
python3 - "$work/badhex/data.hex" <<'PY'
import sys
lines = open(sys.argv[1], newline="").read().split("\r\n")
digit = lines[99][9]
lines[99] = lines[99][:9] + ("1" if digit == "0" else "0") + lines[99][10:]
open(sys.argv[1], "w", newline="").write("\r\n".join(lines))
PY
run_fm "$work/badhex"
expect_failure "damaged HEX file" "$work/badhex" "line 100: checksum mismatch"

echo "== no such port"
prepare_folder "$work/noport"
sed -i 's/COM(7,/COM(9,/' "$work/noport/fmconfig.txt"
run_fm "$work/noport"
expect_failure "no port" "$work/noport" "COM9: opening the port failed"
stop_sim

echo "== nothing answers"
start_sim --silent
prepare_folder "$work/silent"
run_fm "$work/silent"
stop_sim
expect_failure "silent port" "$work/silent" "did not answer \"?\" with \"Synchronized\" after 5 attempts"

if [ -n "${ISP_INSTRUMENT_SIM:-}" ]; then
    echo "== instrument-sim in programming mode"
    control=$work/control
    SIM=$ISP_INSTRUMENT_SIM start_sim --mode programming --control "$control" --log "$work/instrument.log"
    prepare_folder "$work/instrument"
    run_fm "$work/instrument"
    if [ "$status" -ne 0 ]; then
        fail "instrument-sim: exit status $status, expected 0"
    else
        # The operator resets the instrument into normal operation; it must report
        # the version of the firmware it now holds.
        echo "mode instrument" >>"$control"
        for i in $(seq 1 50); do
            [ "$(cat "$control.ack" 2>/dev/null)" = "1" ] && break
            sleep 0.1
        done
        reply=$(python3 - "$pts" <<'PY'
import os, sys, time, tty
fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
tty.setraw(fd)
os.write(fd, b"qv")
reply = b""
deadline = time.time() + 3
while time.time() < deadline and not reply.endswith("Готов к работе\r\n".encode("cp1251")):
    time.sleep(0.1)
    try:
        reply += os.read(fd, 4096)
    except BlockingIOError:
        pass
sys.stdout.write(reply.decode("cp1251").replace("\r", ""))
PY
)
        echo "$reply" | sed 's/^/    > /'
        if echo "$reply" | grep -qx "Software version: 1V5" && echo "$reply" | grep -qx "Date: 07.09.2015"; then
            echo "ok: instrument-sim reports 1V5 after flashing"
        else
            fail "instrument-sim does not report 1V5 after flashing"
        fi
    fi
    stop_sim

    echo "== instrument-sim not in programming mode"
    SIM=$ISP_INSTRUMENT_SIM start_sim --log "$work/instrument2.log"
    prepare_folder "$work/notprogramming"
    run_fm "$work/notprogramming"
    stop_sim
    expect_failure "instrument not in programming mode" "$work/notprogramming" "did not answer"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures case(s) failed"
    exit 1
fi
echo "all cases passed"
