#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test everything:
# the native toolchain with GoogleTest, clang with libFuzzer for the fuzz targets,
# the MinGW-w64 cross compilers for the 64-bit and 32-bit Windows products, Wine
# (both sides) with a virtual display for the Windows tests, and the tools the tests,
# the makers of their data and the screenshots use (Info-ZIP zip makes archives to compare
# with, tzdata gives the tests a time zone far from UTC, 7z makes the Deflate64 archive of
# tests/data/deflate64, which no other Debian tool writes, and the decoder benchmark's
# Deflate64 streams; man-db and groff check zorvi-unzip's manual page, openssl and
# osslsigncode make a throw-away certificate and sign and verify the dist's programs, and
# gdb shows that their debug links still work). OpenSSL's libcrypto (libssl-dev) is the
# native build's cryptography for AES-encrypted entries, and the tests' and the AES fuzz
# target's reference of the scheme; the Windows build uses CNG instead.
# Needs root: asks sudo when run as a user.
# With --bench, also what the benchmarks in bench/ use (run on demand, never by the tests;
# the product links none of it): zlib and libdeflate as peers, Google Benchmark, the peer
# extractors, time and valgrind for memory and instruction counts, and strace for the
# system calls per extracted file.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
    exec sudo "$0" "$@"
fi

packages=(
    cmake ninja-build g++ make pkg-config
    libgtest-dev libgmock-dev googletest
    zlib1g-dev
    clang libclang-rt-dev
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    wine64 wine wine32:i386
    xvfb x11-apps x11-utils imagemagick fonts-liberation
    python3 zip unzip tzdata
    p7zip-full
    libssl-dev
    man-db groff-base
    openssl osslsigncode gdb
)

if [ "${1:-}" = "--bench" ]; then
    packages+=(
        libdeflate-dev libbenchmark-dev
        libarchive-tools minizip time valgrind strace
    )
fi

export DEBIAN_FRONTEND=noninteractive

# Wine runs 32-bit Windows programs with its 32-bit side, a package of the i386
# architecture, which dpkg must be told about before the package lists name it.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "all build and test packages are installed"
    exit 0
fi
echo "installing: ${missing[*]}"
apt-get update
apt-get install -y "${missing[@]}"
