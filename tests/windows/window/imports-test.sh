#!/usr/bin/env bash
# ZorviUpdate.exe must run from a bare folder on any Windows: a 64-bit (PE32+) GUI
# program that imports nothing but DLLs of the system itself.
#   imports-test.sh OBJDUMP EXE
set -euo pipefail
objdump=${1:?objdump}
exe=${2:?ZorviUpdate.exe}

# DLLs every Windows installation carries (compared without letter case).
allowed="advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll
ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll version.dll ws2_32.dll"

headers=$("$objdump" -p "$exe")
grep -q 'Magic[[:space:]]*020b' <<<"$headers" || { echo "FAIL: not PE32+" >&2; exit 1; }
grep -q 'Subsystem[[:space:]]*00000002' <<<"$headers" || { echo "FAIL: not a GUI program" >&2; exit 1; }
status=0
while read -r dll; do
    lower=$(tr '[:upper:]' '[:lower:]' <<<"$dll")
    if grep -qw -- "$lower" <<<"$allowed"; then
        echo "imports $dll"
    else
        echo "FAIL: imports $dll, which is not a system DLL" >&2
        status=1
    fi
done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
exit $status
