#!/usr/bin/env bash
# ZorviUpdate.exe must run from a bare folder on any Windows from 7 on: a GUI
# program of its architecture (PE32+ for x64, PE32 for x86) that imports nothing but
# DLLs of the system itself, and none of the calls that came after Windows 7 (the
# display-scale calls of Windows 10 are looked up at run time, see win32/ui/Dpi.cpp).
#   imports-test.sh OBJDUMP EXE pe32|pe32+
set -euo pipefail
objdump=${1:?objdump}
exe=${2:?ZorviUpdate.exe}
format=${3:?pe32 or pe32+}

# DLLs every Windows installation carries (compared without letter case). bcrypt.dll is
# CNG, the cryptography of AES-encrypted entries (zip/crypt/Crypto_win.cpp), there since
# Windows Vista.
allowed="advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll
ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll version.dll ws2_32.dll"
# Calls of Windows 8.1 and 10 a static import of which would keep the program from
# starting on Windows 7.
later_calls="GetDpiForWindow GetDpiForSystem GetDpiForMonitor AdjustWindowRectExForDpi
SetProcessDpiAwarenessContext SetThreadDpiAwarenessContext SetProcessDpiAwareness
GetSystemMetricsForDpi SystemParametersInfoForDpi EnableNonClientDpiScaling"

case "$format" in
pe32) magic=010b ;;
pe32+) magic=020b ;;
*) echo "usage: $0 OBJDUMP EXE pe32|pe32+" >&2; exit 2 ;;
esac

headers=$("$objdump" -p "$exe")
grep -q "Magic[[:space:]]*$magic" <<<"$headers" || { echo "FAIL: not $format" >&2; exit 1; }
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
# Imported names are the last word of the lines under "Member-Name".
for call in $later_calls; do
    if grep -qE "^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+$call\$" <<<"$headers"; then
        echo "FAIL: imports $call, which Windows 7 lacks" >&2
        status=1
    fi
done
exit $status
