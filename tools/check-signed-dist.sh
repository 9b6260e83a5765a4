#!/usr/bin/env bash
# The signing of what a maker ships, tested end to end without a real certificate:
#
#  1. makes a throw-away public key infrastructure in a temporary folder with openssl: a
#     test root CA and a code-signing certificate it issued, whose key has a password;
#  2. runs tools/make-dist.sh with them (ZORVI_SIGN_*; no timestamp server, since the
#     tests have no network) into DIST_DIR, by default build/dist-signed-test: not dist/,
#     so that programs signed by a test certificate are never taken for the real ones;
#  3. checks each of the four programs with "osslsigncode verify" against the test root:
#     the signature, its signer and the chain up to the root;
#  4. shows that the check can fail: a copy with one byte of its code flipped, a program
#     checked against another root, and the unsigned program fail it;
#  5. shows that the debug links still work after signing: gdb, given a signed program,
#     finds the debug file beside it and knows the program's sources;
#  6. checks SHA256SUMS against the signed files.
# Run by tools/run-all-tests.sh as its last step. JOBS passes on to make-dist.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
dist=${DIST_DIR:-$root/build/dist-signed-test}

fail() {
    echo "check-signed-dist: FAIL: $*" >&2
    exit 1
}
for tool in openssl osslsigncode python3 gdb; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (tools/install-deps.sh)"
done

pki=$(mktemp -d /tmp/zorvi-test-pki.XXXXXX)
trap 'rm -rf "$pki"' EXIT

# The extensions a root CA and a code-signing certificate carry; Authenticode checks the
# leaf's extended key usage (code signing) and the CA's right to issue certificates.
cat >"$pki/extensions.cnf" <<'EOF'
[root]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[signer]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
EOF
# make_root <name> <common name>: a self-signed CA certificate and its key.
make_root() {
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$pki/$1.key" -out "$pki/$1.crt" -days 2 \
        -subj "/CN=$2" -config "$pki/extensions.cnf" -extensions root 2>/dev/null ||
        fail "openssl could not make the root $1"
}
make_root root "ZorviUpdate test root (throw-away)"
make_root other "Another test root (throw-away)"
openssl rand -hex 16 >"$pki/password"
openssl req -new -newkey rsa:2048 -keyout "$pki/signer.key" -passout "file:$pki/password" \
    -out "$pki/signer.csr" -subj "/CN=ZorviUpdate test signer (throw-away)" 2>/dev/null ||
    fail "openssl could not make the signer's key"
openssl x509 -req -in "$pki/signer.csr" -CA "$pki/root.crt" -CAkey "$pki/root.key" \
    -CAcreateserial -days 2 -extfile "$pki/extensions.cnf" -extensions signer \
    -out "$pki/signer.crt" 2>/dev/null || fail "openssl could not issue the signer's certificate"

echo "== make-dist.sh, signing with the throw-away certificate, into $dist"
ZORVI_SIGN_CERT=$pki/signer.crt ZORVI_SIGN_KEY=$pki/signer.key \
    ZORVI_SIGN_PASSWORD_FILE=$pki/password DIST_DIR=$dist \
    env -u ZORVI_SIGN_TIMESTAMP_URL "$root/tools/make-dist.sh"

echo "== the signatures"
verify() { # program, root: osslsigncode's verdict, its report kept for a failure
    osslsigncode verify -CAfile "$2" -in "$1" >"$pki/report" 2>&1
}
checked=0
for arch in x64 x86; do
    for program in ZorviUpdate zorvi-unzip; do
        exe=$dist/$arch/$program.exe
        [ -f "$exe" ] || fail "make-dist.sh made no $arch/$program.exe"
        verify "$exe" "$pki/root.crt" || { cat "$pki/report" >&2; fail "$arch/$program.exe does not verify"; }
        grep -q "Subject: /CN=ZorviUpdate test signer (throw-away)" "$pki/report" ||
            fail "$arch/$program.exe is not signed by the test signer"
        grep -q "Text description: $program" "$pki/report" ||
            fail "$arch/$program.exe does not carry its name in the signature"
        checked=$((checked + 1))
    done
done
[ "$checked" -eq 4 ] || fail "$checked programs checked instead of 4"
echo "the 4 programs verify against the test root"

# One byte of the 64-bit program's code, flipped in a copy: the digest no longer fits.
exe=$dist/x64/zorvi-unzip.exe
read -r _ _ _ _ _ text_offset _ < <(x86_64-w64-mingw32-objdump -h "$exe" | grep ' \.text ')
[ -n "${text_offset:-}" ] || fail "no .text section in $exe"
cp "$exe" "$pki/flipped.exe"
python3 - "$pki/flipped.exe" $((0x$text_offset + 4096)) <<'EOF'
import sys
path, at = sys.argv[1], int(sys.argv[2])
data = bytearray(open(path, "rb").read())
data[at] ^= 0x01
open(path, "wb").write(data)
EOF
cmp -s "$exe" "$pki/flipped.exe" && fail "the copy was not changed"
verify "$pki/flipped.exe" "$pki/root.crt" && fail "a copy with a flipped byte still verifies"
verify "$exe" "$pki/other.crt" && fail "$exe verifies against a root that issued nothing"
verify "$root/build/windows/bin/zorvi-unzip.exe" "$pki/root.crt" &&
    fail "the unsigned program verifies"
echo "a flipped byte, another root and an unsigned program fail the check"

# The debug links, used as a debugger uses them: the debug file is found through the link
# of the signed program, and without it there is nothing to find.
sources() { # program: the source files gdb knows for it
    gdb -batch -nx -ex "info sources" "$1" 2>/dev/null
}
for arch in x64 x86; do
    for program in ZorviUpdate:win32/program/WinMain.cpp zorvi-unzip:tools/zorvi-unzip/main.cpp; do
        source=$root/${program#*:}
        exe=$dist/$arch/${program%%:*}.exe
        sources "$exe" | grep -qF "$source" ||
            fail "gdb does not find the debug information of $arch/${program%%:*}.exe"
    done
done
cp "$dist/x64/zorvi-unzip.exe" "$pki/alone.exe"
sources "$pki/alone.exe" | grep -qF "$root/tools/zorvi-unzip/main.cpp" &&
    fail "gdb finds sources of a program without its debug file"
echo "gdb finds each signed program's debug file through its link"

(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not fit the signed files"
grep -q ' x64/zorvi-unzip.exe$' "$dist/SHA256SUMS" || fail "SHA256SUMS leaves out x64/zorvi-unzip.exe"
echo "SHA256SUMS checks the signed files; the signed dist is in $dist"
