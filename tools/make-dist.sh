#!/usr/bin/env bash
# Makes what a maker ships, in dist/ (DIST_DIR), from both Windows presets:
#
#   dist/x64/ZorviUpdate.exe         64-bit (PE32+), stripped, signed when a certificate
#                                    is given (below)
#   dist/x64/ZorviUpdate.exe.debug   its debug information (gdb finds it through the
#                                    .gnu_debuglink section of the program)
#   dist/x64/zorvi-unzip.exe, zorvi-unzip.exe.debug
#   dist/x86/...                     the same for 32-bit Windows (PE32)
#   dist/SHA256SUMS                  "sha256sum -c SHA256SUMS" in dist/ checks them all
#
# Signing (Authenticode, with osslsigncode), when both of these name files:
#   ZORVI_SIGN_CERT            the code-signing certificate, followed by the certificates
#                              that lead from it to its root (PEM or DER)
#   ZORVI_SIGN_KEY             its private key
#   ZORVI_SIGN_PASSWORD_FILE   (optional) a file holding the key's password
#   ZORVI_SIGN_TIMESTAMP_URL   (optional) an RFC 3161 timestamp server; without one the
#                              signatures hold only as long as the certificate does
# Without ZORVI_SIGN_CERT and ZORVI_SIGN_KEY nothing is signed, and one line says so.
#
# Brings both builds up to date first (JOBS parallel jobs), then checks what it made:
# each program of its format, without debug sections but with its link, each debug file
# with the debug information and the CRC-32 its program's link carries (after signing
# too), and, where Wine is installed, each zorvi-unzip.exe as shipped still runs. The
# sums are made last, of the files as shipped. dist/ is not part of the repository.
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

# Whether to sign, decided before anything is built: a half-given certificate is a
# mistake to stop at, not a reason to ship unsigned programs.
cert=${ZORVI_SIGN_CERT:-}
key=${ZORVI_SIGN_KEY:-}
password_file=${ZORVI_SIGN_PASSWORD_FILE:-}
timestamp_url=${ZORVI_SIGN_TIMESTAMP_URL:-}
if [ -n "$cert" ] || [ -n "$key" ]; then
    if [ -z "$cert" ] || [ -z "$key" ]; then
        fail "ZORVI_SIGN_CERT and ZORVI_SIGN_KEY go together"
    fi
    [ -r "$cert" ] || fail "no certificate at ZORVI_SIGN_CERT=$cert"
    [ -r "$key" ] || fail "no key at ZORVI_SIGN_KEY=$key"
    [ -z "$password_file" ] || [ -r "$password_file" ] ||
        fail "no password file at ZORVI_SIGN_PASSWORD_FILE=$password_file"
    command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (tools/install-deps.sh)"
    signing=1
else
    echo "make-dist: not signing: ZORVI_SIGN_CERT and ZORVI_SIGN_KEY are not set"
    signing=
fi

# preset, folder in dist, cross tool prefix, objdump's name of the format
targets=(
    "windows x64 x86_64-w64-mingw32 pei-x86-64"
    "windows-x86 x86 i686-w64-mingw32 pei-i386"
)

# The debug link of a program names its debug file and carries that file's CRC-32, which
# gdb compares before it uses the file: after the section's name (NUL-ended, padded to 4
# bytes) come the 4 bytes of the CRC, little-endian.
check_debug_link() {
    local tools=$1 program=$2 debug=$3 link
    link=$(mktemp)
    "$tools-objcopy" --dump-section .gnu_debuglink="$link" "$program" "$link.out" ||
        fail "$program has no debug link"
    rm -f "$link.out"
    python3 - "$link" "$debug" <<'EOF' || fail "the debug link of $program does not fit $debug"
import os, struct, sys, zlib
link = open(sys.argv[1], "rb").read()
name = link[: link.index(b"\0")].decode()
crc = struct.unpack("<I", link[-4:])[0]
debug = open(sys.argv[2], "rb").read()
sys.exit(0 if name == os.path.basename(sys.argv[2]) and crc == zlib.crc32(debug) else 1)
EOF
    rm -f "$link"
}

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

        # Signed after stripping (stripping would drop the signature) and before the sums.
        # The signature goes into the certificate table at the end of the file; the
        # sections, the debug link among them, stay as they are.
        if [ -n "$signing" ]; then
            options=(-certs "$cert" -key "$key" -h sha256 -n "$program")
            [ -z "$password_file" ] || options+=(-readpass "$password_file")
            [ -z "$timestamp_url" ] || options+=(-ts "$timestamp_url")
            osslsigncode sign "${options[@]}" -in "$shipped" -out "$shipped.signed" >/dev/null ||
                fail "osslsigncode could not sign $shipped"
            mv "$shipped.signed" "$shipped"
        fi
        check_debug_link "$tools" "$shipped" "$debug"
        echo "$arch/$program.exe: $(stat -c %s "$shipped") bytes (built: $(stat -c %s "$built")," \
             "debug information: $(stat -c %s "$debug"))${signing:+, signed}"
    done
done
if [ -n "$signing" ] && [ -z "$timestamp_url" ]; then
    echo "make-dist: signed without a timestamp (ZORVI_SIGN_TIMESTAMP_URL is not set):" \
         "the signatures hold until the certificate expires"
fi

if command -v wine >/dev/null; then
    # One Wine environment for both (a 64-bit prefix runs the 32-bit program too).
    state=$(mktemp -d /tmp/zorvi-dist-wine.XXXXXX)
    trap '"$root/tools/wine/wine-env.sh" stop "$state" >/dev/null 2>&1; rm -rf "$state"' EXIT
    "$root/tools/wine/wine-env.sh" start "$state" >/dev/null
    for arch in x64 x86; do
        ZORVI_WINE_STATE=$state "$root/tools/wine/wine-run.sh" "$dist/$arch/zorvi-unzip.exe" --version \
            >/dev/null 2>&1 || fail "the shipped $arch/zorvi-unzip.exe does not run"
    done
    echo "the shipped zorvi-unzip.exe of both architectures runs under Wine"
fi

(cd "$dist" && sha256sum x64/* x86/* >SHA256SUMS && sha256sum --quiet -c SHA256SUMS) ||
    fail "SHA256SUMS does not check"
echo "dist: $dist ($(grep -c . "$dist/SHA256SUMS") files in SHA256SUMS)"
