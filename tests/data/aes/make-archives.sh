#!/usr/bin/env bash
# Makes the AES archives of this folder with 7-Zip (README.md): the three plain files from a
# seeded generator into plain/, then one archive per key strength and method.
#   tests/data/aes/make-archives.sh      (run from anywhere; rewrites the archives)
# The salts are random, so every run gives other archive bytes for the same plain files.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p plain
python3 - <<'PY'
import random
r = random.Random(25)
words = ["прибор ".encode(), b"calibration ", b"version ", b"1V5 ", b"port ", b"COM5 ",
         b"\r\n", b"41K6 "]
text = b"".join(r.choice(words) for _ in range(700))
open("plain/notes.txt", "wb").write(text)
open("plain/table.bin", "wb").write(bytes(r.randrange(256) for _ in range(1500)))
open("plain/empty.txt", "wb").write(b"")
PY
touch -d '2015-08-14 12:00:00' plain/notes.txt plain/table.bin plain/empty.txt
rm -f aes*.zip
cd plain
for bits in 128 192 256; do
    7z a -tzip -mem=AES$bits -p"zorvi-$bits key" -mx=0 ../aes$bits-stored.zip \
        notes.txt table.bin empty.txt >/dev/null
    7z a -tzip -mem=AES$bits -p"zorvi-$bits key" -mx=9 ../aes$bits-deflate.zip \
        notes.txt table.bin empty.txt >/dev/null
done
7z a -tzip -mem=AES256 -p"zorvi-256 key" -mm=Deflate64 ../aes256-deflate64.zip \
    notes.txt table.bin >/dev/null
