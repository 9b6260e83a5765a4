#!/usr/bin/env python3
"""Checks that a flash image holds every data byte of an Intel HEX file.

    compare_flash.py IMAGE.bin FILE.hex

Exit status 0 when it does; 1 with the first differing address otherwise.
"""

import sys


def hex_bytes(path):
    base = 0
    with open(path, encoding="ascii") as text:
        for line in text:
            line = line.strip()
            if not line:
                continue
            record = bytes.fromhex(line[1:])
            count, offset, kind = record[0], record[1] << 8 | record[2], record[3]
            if kind == 0x04:
                base = int.from_bytes(record[4:6], "big") << 16
            elif kind == 0x02:
                base = int.from_bytes(record[4:6], "big") << 4
            elif kind == 0x00:
                yield base + offset, record[4:4 + count]


def main():
    image_path, hex_path = sys.argv[1:3]
    with open(image_path, "rb") as image_file:
        image = image_file.read()
    total = 0
    for address, data in hex_bytes(hex_path):
        if image[address:address + len(data)] != data:
            print(f"flash differs from {hex_path} in the record at 0x{address:08X}")
            return 1
        total += len(data)
    print(f"flash holds all {total} bytes of {hex_path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
