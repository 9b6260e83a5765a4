#!/usr/bin/env bash
# Builds the native (Debug, sanitizers) and both Windows (MinGW-w64) presets and runs
# the tests: the native unit tests, the parallel extraction's test program under
# ThreadSanitizer (native-tsan), then every Windows test of the 64-bit build under
# Wine, then the 32-bit build's Windows test programs and the whole road of an update
# under Wine's 32-bit side (its other roads: ctest --preset windows-x86-all); last it
# makes what a maker ships from both builds, signed with a throw-away test certificate, and
# checks it and its signatures (tools/check-signed-dist.sh, which runs tools/make-dist.sh
# into build/dist-signed-test). The 32-bit build is made while the 64-bit build's Wine
# tests run (its log: build/windows-x86-build.log).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-$(nproc)}

echo "== native build and tests"
cmake --preset native
cmake --build --preset native -j "$jobs"
ctest --preset native

echo "== the parallel extraction's tests under ThreadSanitizer (one test program)"
cmake --preset native-tsan
cmake --build --preset native-tsan -j "$jobs"
ctest --preset native-tsan

echo "== windows build and tests (under Wine)"
cmake --preset windows
cmake --build --preset windows -j "$jobs"
# The 32-bit build is made while the Wine tests run, at the lowest priority: those tests
# mostly wait (on Wine starting programs, timers, the simulated instrument), and the
# compiler only gets the processor time they leave, so they run as on an idle machine.
mkdir -p build
x86_log=build/windows-x86-build.log
(nice -n 19 cmake --preset windows-x86 && nice -n 19 cmake --build --preset windows-x86 -j "$jobs") \
    >"$x86_log" 2>&1 &
x86_build=$!
trap 'kill "$x86_build" 2>/dev/null || true' EXIT
ctest --preset windows

echo "== windows x86 (32-bit) build and tests (under Wine's 32-bit side)"
if ! wait "$x86_build"; then
    cat "$x86_log"
    exit 1
fi
trap - EXIT
tail -n 1 "$x86_log"
ctest --preset windows-x86

echo "== what a maker ships, signed with a throw-away certificate and checked"
tools/check-signed-dist.sh
