#!/usr/bin/env python3
"""Generates data.hex, the firmware image of the update archive.

    python3 tools/update-archive/make_firmware_hex.py OUTPUT.hex

The image is version 1V5 of the instrument's firmware as far as the rest of the
system can tell: an LPC2138 program image from address 0 whose exception vectors
carry a valid user-code checksum (the boot loader runs the program only then) and
which holds the identification text the instrument sends after flashing, as one
NUL-terminated text in code page 1251:

    Zorvi-41K6UV CR LF  Software version: 1V5 CR LF  Date: 07.09.2015 CR LF

The rest is firmware-like filler: ARM instruction words drawn from a small
vocabulary of common encodings, lookup tables, message texts and zero-filled
initialised data. It is generated from a fixed seed, so every run writes the
same bytes.

The HEX text has the shape of the image the archive was made for: 16-byte data
records (the last one shorter), an extended linear address record before the
first record and at the 64 KB boundary, a start linear address record, an
end-of-file record, CR LF line ends. 4,868 records, 218,940 bytes of text.
"""

import math
import struct
import sys

IMAGE_SIZE = 77820          # 4,863 records of 16 bytes and one of 12
RECORD_BYTES = 16
IDENTIFICATION = (b"Zorvi-41K6UV\r\n"
                  b"Software version: 1V5\r\n"
                  b"Date: 07.09.2015\r\n\x00")
# Texts the instrument shows on its display, as its firmware stores them (cp1251).
MESSAGES = ["Калибровка", "Измерение", "Ошибка датчика", "Заряд батареи",
            "Нет сигнала", "Направьте прибор", "Готов", "УФ-индекс", "Доза",
            "Облученность", "Память заполнена", "Связь с ПК"]


class Lcg:
    """A 32-bit linear congruential generator (Numerical Recipes constants)."""

    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.state

    def below(self, n):
        return (self.next() >> 8) % n


# Common ARM encodings; the low 12 bits (register fields, immediates, offsets) are
# varied, the rest kept.
VOCABULARY = [
    0xE92D4000,  # STMFD sp!, {..., lr}
    0xE8BD8000,  # LDMFD sp!, {..., pc}
    0xE59F0000,  # LDR r0, [pc, #imm]
    0xE5900000,  # LDR r0, [r0, #imm]
    0xE5800000,  # STR r0, [r0, #imm]
    0xE3A00000,  # MOV r0, #imm
    0xE1A00000,  # MOV r0, r0 (register moves)
    0xE2800000,  # ADD r0, r0, #imm
    0xE3500000,  # CMP r0, #imm
    0x1A000000,  # BNE
    0x0A000000,  # BEQ
    0xEB000000,  # BL
    0xE12FFF1E,  # BX lr
    0xE0800000,  # ADD r0, r0, r0
    0xE2400000,  # SUB r0, r0, #imm
]


def vectors():
    # LDR pc, [pc, #0x18] for each of the eight vectors; the reserved one at 0x14
    # makes the sum of all eight words 0.
    words = [0xE59FF018] * 8
    words[5] = 0
    words[5] = (-sum(words)) & 0xFFFFFFFF
    handlers = [0x40, 0x1F0, 0x2A0, 0x2C0, 0x2E0, 0x0, 0x300, 0x380]
    return struct.pack("<8I", *words) + struct.pack("<8I", *handlers)


def code(rng, size):
    out = bytearray()
    while len(out) < size:
        base = VOCABULARY[rng.below(len(VOCABULARY))]
        if base in (0xE12FFF1E,):
            word = base
        elif base & 0x0F000000 == 0x0A000000 or base & 0x0F000000 == 0x0B000000:
            word = base | rng.below(0x400)          # short branch offsets
        else:
            word = base | (rng.below(8) << 12) | (rng.below(4) << 16) | rng.below(0x40)
        out += struct.pack("<I", word)
    return bytes(out[:size])


def tables():
    sine = bytes(int(127.5 + 127.5 * math.sin(2 * math.pi * i / 256)) for i in range(256))
    # Spectral response of the UV sensor, 16-bit fixed point.
    response = b"".join(struct.pack("<H", int(65535 * math.exp(-((i - 64) / 24.0) ** 2)))
                        for i in range(128))
    return sine + response


def texts():
    return b"".join(m.encode("cp1251") + b"\x00" for m in MESSAGES)


def image():
    rng = Lcg(0x5A0E1B15)
    parts = [vectors(), code(rng, 0x1000 - 0x40)]
    parts.append(bytes(4))                             # strings start word-aligned
    parts.append(IDENTIFICATION)
    parts.append(texts())
    parts.append(tables())
    data = bytearray(b"".join(parts))
    while len(data) < IMAGE_SIZE - 0x800:
        data += code(rng, 0x600 + rng.below(0x400))
        data += bytes(0x40 + rng.below(0x80))          # zero-initialised data
        data += tables()[: 0x40 + rng.below(0x100)]
    data = data[:IMAGE_SIZE]
    return bytes(data + bytes(IMAGE_SIZE - len(data)))


def record(address, kind, payload):
    body = bytes([len(payload), (address >> 8) & 0xFF, address & 0xFF, kind]) + payload
    checksum = (-sum(body)) & 0xFF
    return ":" + (body + bytes([checksum])).hex().upper() + "\r\n"


def hex_text(data):
    lines = []
    upper = None
    for offset in range(0, len(data), RECORD_BYTES):
        if offset >> 16 != upper:
            upper = offset >> 16
            lines.append(record(0, 0x04, struct.pack(">H", upper)))
        lines.append(record(offset & 0xFFFF, 0x00, data[offset:offset + RECORD_BYTES]))
    lines.append(record(0, 0x05, struct.pack(">I", 0)))
    lines.append(record(0, 0x01, b""))
    return "".join(lines)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_firmware_hex.py OUTPUT.hex")
    data = image()
    assert IDENTIFICATION in data
    assert sum(struct.unpack("<8I", data[:32])) & 0xFFFFFFFF == 0
    with open(sys.argv[1], "w", encoding="ascii", newline="") as out:
        out.write(hex_text(data))


if __name__ == "__main__":
    main()
