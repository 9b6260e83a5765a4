#!/usr/bin/env python3
"""Key-stream blocks of the AES scheme's counter mode, made without our code: the counter
blocks (128-bit little-endian, from 1) are written here and encrypted by the `openssl enc`
command in ECB mode. Prints the table of CryptoKnownAnswerTest.cpp.

    tests/native/crypt/make-ctr-vectors.py

The keys are the bytes 0x00, 0x01, ... of FIPS-197's examples; the blocks taken, by index
from 0, are 0 and 1 (counters 1 and 2), 254 and 255 (counters 255 and 256: the low byte
carries into the next) and 256 (counter 257).
"""
import subprocess

BLOCKS = [0, 1, 254, 255, 256]


def counter_block(n):
    return n.to_bytes(16, "little")


def key_stream(key, count):
    counters = b"".join(counter_block(i + 1) for i in range(count))
    bits = len(key) * 8
    out = subprocess.run(["openssl", "enc", f"-aes-{bits}-ecb", "-K", key.hex(), "-nopad"],
                         input=counters, capture_output=True, check=True).stdout
    assert len(out) == len(counters)
    return out


for size in (16, 24, 32):
    key = bytes(range(size))
    stream = key_stream(key, max(BLOCKS) + 1)
    for b in BLOCKS:
        print(f'    {{{size * 8}, {b}, "{stream[16 * b:16 * b + 16].hex()}"}},')
