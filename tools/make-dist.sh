#!/usr/bin/env bash
# Makes what a maker ships, in dist/ (DIST_DIR), from both Windows presets:
#
#   dist/x64/ZorviUpdate.exe         64-bit (PE32+), stripped
#   dist/x64/ZorviUpdate.exe.debug   its debug information (gdb finds it through the
#                                    .gnu_debuglink section of the program)
#   dist/x64/zorvi-unzip.exe, zorvi-unzip.exe.debug
#   dist/x86/...                     the same for 32-bit Windows (PE32)
#   dist/SHA256SUMS                  "sha256sum -c SHA256SUMS" in dist/ checks them all
#
# Brings both builds up to date first (JOBS parallel jobs), then checks what it
# made: each program of its format, without debug sections but with its link, each
# debug file with the debug information, and, where Wine is installed, each
# stripped zorvi-unzip.exe still runs. dist/ is not part of the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${JOBS:-$(nproc)}
dist=${DIST_DIR:-$root/dist}
programs=(ZorviUpdate zorvi-unzip)

fail() {
    echo "make-dist: FAIL: $*" >&2
    exit 1
}

# preset, folder in dist, cross tool prefix, objdump's name of the format
targets=(
    "windows x64 x86_64-w64-mingw32 pei-x86-64"
    "windows-x86 x86 i686-w64-mingw32 pei-i386"
)

rm -rf "$dist"
for target in "${targets[@]}"; do
    read -r preset arch tools format <<<"$target"
    echo "== $preset: building ${programs[*]}"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs" --target "${programs[@]}"
    mkdir -p "$dist/$arch"
    for program in "${programs[@]}"; do
        built=$root/build/$preset/bin/$program.exe
        shipped=$dist/$arch/$program.exe
        debug=$shipped.debug
        "$tools-objcopy" --only-keep-debug "$built" "$debug"
        # The link names the debug file (without its folder) and carries its CRC.
        (cd "$dist/$arch" && "$tools-objcopy" --strip-all --add-gnu-debuglink="$program.exe.debug" \
            "$built" "$program.exe")

        sections=$("$tools-objdump" -h "$shipped")
        grep -q "file format $format" <<<"$sections" || fail "$shipped is not $format"
        grep -q '\.debug_' <<<"$sections" && fail "$shipped still has debug sections"
        grep -q '\.gnu_debuglink' <<<"$sections" || fail "$shipped has no debug link"
        "$tools-objdump" -h "$debug" | grep -q '\.debug_info' || fail "$debug has no debug information"
        echo "$arch/$program.exe: $(stat -c %s "$shipped") bytes (built: $(stat -c %s "$built")," \
             "debug information: $(stat -c %s "$debug"))"
    done
done

if command -v wine >/dev/null; then
    # One Wine environment for both (a 64-bit prefix runs the 32-bit program too).
    state=$(mktemp -d /tmp/zorvi-dist-wine.XXXXXX)
    trap '"$root/tools/wine/wine-env.sh" stop "$state" >/dev/null 2>&1; rm -rf "$state"' EXIT
    "$root/tools/wine/wine-env.sh" start "$state" >/dev/null
    for arch in x64 x86; do
        ZORVI_WINE_STATE=$state "$root/tools/wine/wine-run.sh" "$dist/$arch/zorvi-unzip.exe" -h \
            >/dev/null 2>&1 || fail "the stripped $arch/zorvi-unzip.exe does not run"
    done
    echo "the stripped zorvi-unzip.exe of both architectures runs under Wine"
fi

(cd "$dist" && sha256sum x64/* x86/* >SHA256SUMS && sha256sum --quiet -c SHA256SUMS) ||
    fail "SHA256SUMS does not check"
echo "dist: $dist ($(grep -c . "$dist/SHA256SUMS") files in SHA256SUMS)"
