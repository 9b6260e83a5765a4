#!/usr/bin/env bash
# zorvi-unzip.exe --version, run under Wine, names the version that the version resource
# of ZorviUpdate.exe carries: its texts, read back from the built program with windres.
# Both come from the one definition in the top CMakeLists.txt; this shows they still do.
# Arguments: windres, ZorviUpdate.exe, zorvi-unzip.exe. ZORVI_WINE_RUN runs a program.
set -euo pipefail
windres=$1
program=$2
unzip=$3

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

resources=$("$windres" -i "$program" -O rc) || fail "windres cannot read $program"
# A text of the StringFileInfo block: VALUE "Name", "text" (plain ASCII, as a version is).
value() {
    sed -n "s/^ *VALUE \"$1\", \"\(.*\)\"\r\?$/\1/p" <<<"$resources"
}
product=$(value ProductVersion)
file=$(value FileVersion)
[ -n "$product" ] || fail "the version resource of $program has no ProductVersion text"
[ "$file" = "$product" ] || fail "FileVersion '$file' differs from ProductVersion '$product'"

printed=$("$ZORVI_WINE_RUN" "$unzip" --version 2>/dev/null | tr -d '\r') ||
    fail "zorvi-unzip.exe --version did not end with status 0"
[ "$printed" = "zorvi-unzip $product" ] ||
    fail "--version printed '$printed'; the version resource carries '$product'"
echo "zorvi-unzip.exe --version: '$printed'; the version resource: '$product'"
