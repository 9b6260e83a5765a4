#!/usr/bin/env bash
# Builds the native (Debug, sanitizers) and the Windows (MinGW-w64) presets and runs
# every test: the native unit tests, then the Windows tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-$(nproc)}

echo "== native build and tests"
cmake --preset native
cmake --build --preset native -j "$jobs"
ctest --preset native

echo "== windows build and tests (under Wine)"
cmake --preset windows
cmake --build --preset windows -j "$jobs"
ctest --preset windows
