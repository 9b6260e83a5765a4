#!/usr/bin/env python3
"""Checks a committed update archive against what the update relies on.

    check_update_zip.py ARCHIVE amd64|i386

The six entries in their order with their methods, dates, attributes and format
versions; the sample job and batch files byte for byte; data.hex equal to what
make_firmware_hex.py generates now (so a changed generator cannot go unnoticed
with a stale archive); the tool files Windows programs (PE images) for the
product's processor (a 64-bit tool does not start on 32-bit Windows) without a
link time stamp. Exit status 0 when all holds.
"""

import os
import struct
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "tools", "update-archive"))
import make_firmware_hex  # noqa: E402
import make_update_zip  # noqa: E402

EXPECTED = [  # name, method, date and time, text
    ("fmconfig.txt", zipfile.ZIP_DEFLATED, (2015, 7, 29, 13, 54, 30), True),
    ("data.hex", zipfile.ZIP_DEFLATED, (2015, 9, 7, 11, 16, 6), True),
    ("Start.bat", zipfile.ZIP_STORED, (2015, 7, 29, 13, 54, 30), True),
    ("FlashMagic.dll", zipfile.ZIP_DEFLATED, (2015, 7, 29, 13, 54, 34), False),
    ("FlashMagicARM.dll", zipfile.ZIP_DEFLATED, (2015, 7, 29, 13, 54, 32), False),
    ("FM.EXE", zipfile.ZIP_DEFLATED, (2015, 7, 29, 13, 54, 32), False),
]


# The COFF header's Machine field of each processor.
MACHINES = {"amd64": 0x8664, "i386": 0x014C}


def pe_header(image):
    """(Machine, TimeDateStamp) of the COFF header, or None when this is no PE image."""
    if image[:2] != b"MZ":
        return None
    offset = struct.unpack_from("<I", image, 0x3C)[0]
    if image[offset:offset + 4] != b"PE\0\0":
        return None
    machine, _sections, stamp = struct.unpack_from("<HHI", image, offset + 4)
    return machine, stamp


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in MACHINES:
        sys.exit(f"usage: check_update_zip.py ARCHIVE {'|'.join(MACHINES)}")
    machine = MACHINES[sys.argv[2]]
    problems = []
    with zipfile.ZipFile(sys.argv[1]) as archive:
        infos = archive.infolist()
        names = [info.filename for info in infos]
        if names != [name for name, *_ in EXPECTED]:
            problems.append(f"entries {names}")
        for info, (name, method, when, text) in zip(infos, EXPECTED):
            if (info.compress_type, info.date_time) != (method, when):
                problems.append(f"{name}: method {info.compress_type}, date {info.date_time}")
            if (info.create_system, info.create_version, info.extract_version) != (0, 20, 20):
                problems.append(f"{name}: host {info.create_system}, versions "
                                f"{info.create_version}/{info.extract_version}")
            if info.external_attr != 32 or info.internal_attr != (1 if text else 0):
                problems.append(f"{name}: attributes {info.external_attr}/{info.internal_attr}")
            if info.flag_bits != 0:
                problems.append(f"{name}: flags {info.flag_bits:#x}")
        if archive.read("fmconfig.txt") != make_update_zip.SAMPLE_JOB:
            problems.append("fmconfig.txt differs from the sample")
        if archive.read("Start.bat") != make_update_zip.SAMPLE_BATCH:
            problems.append("Start.bat differs from the sample")
        generated = make_firmware_hex.hex_text(make_firmware_hex.image()).encode("ascii")
        if archive.read("data.hex") != generated:
            problems.append("data.hex is not what make_firmware_hex.py generates: "
                            "rebuild the archive (target update-archive)")
        for name in ("FlashMagic.dll", "FlashMagicARM.dll", "FM.EXE"):
            header = pe_header(archive.read(name))
            if header is None:
                problems.append(f"{name} is no Windows program")
                continue
            if header[0] != machine:
                problems.append(f"{name} is for machine {header[0]:#06x}, not {sys.argv[2]}")
            if header[1] != 0:
                problems.append(f"{name} carries a link time stamp ({header[1]})")
    for problem in problems:
        print(f"{sys.argv[1]}:", problem)
    if not problems:
        print(f"{sys.argv[1]}: as expected")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
