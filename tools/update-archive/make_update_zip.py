#!/usr/bin/env python3
"""Builds assets/update.zip, the update archive that ZorviUpdate.exe carries, or
assets/update-x86.zip, the one of the 32-bit ZorviUpdate.exe (the same entries with
the 32-bit flashing tool).

    cmake --build build/windows --target update-archive
    cmake --build build/windows-x86 --target update-archive
or by hand, from a Windows build:
    python3 tools/update-archive/make_update_zip.py --tool-dir build/windows/bin \\
        --output assets/update.zip

Six entries in this order, all in the archive's root, made by and needing format
version 2.0 on an MS-DOS host, each with the Windows archive attribute (32):

    fmconfig.txt       deflate  2015-07-29 13:54:30  sample job file (text)
    data.hex           deflate  2015-09-07 11:16:06  firmware image (text)
    Start.bat          stored   2015-07-29 13:54:30  sample batch file (text)
    FlashMagic.dll     deflate  2015-07-29 13:54:34  library of the flashing tool
    FlashMagicARM.dll  deflate  2015-07-29 13:54:32  library of the flashing tool
    FM.EXE             deflate  2015-07-29 13:54:32  the flashing tool

data.hex comes from make_firmware_hex.py, the tool files from the given build
folder. Same inputs give the same bytes: the dates are fixed, nothing of the
machine or the moment goes in, and the tool files carry no time stamps.
"""

import argparse
import os
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_firmware_hex  # noqa: E402

# Internal attribute bit 0: the entry is text.
TEXT = 1
# External attribute: FILE_ATTRIBUTE_ARCHIVE.
ARCHIVE_ATTRIBUTE = 32
MSDOS_HOST = 0
FORMAT_VERSION_2_0 = 20
DEFLATE_LEVEL = 9


def crlf_lines(*lines):
    return "".join(line + "\r\n" for line in lines).encode("cp1251")


# The samples the archive has always carried; the update replaces both with job
# files of its own before the tool runs.
SAMPLE_JOB = crlf_lines("COM(3, 19200)",
                        "DEVICE(LPC2138, 14.318180)",
                        "HARDWARE(BOOTEXEC, 50, 100)",
                        "HIGHSPEED(0, 19200)",
                        "ERASEUSED(Data.hex, PROTECTISP)",
                        "HEXFILE(Data.hex, NOCHECKSUMS, NOFILL, PROTECTISP)")
SAMPLE_BATCH = crlf_lines("@echo off", "", "FM.exe @fmconfig.txt", "pause", "")


def entry(name, when, method, text):
    info = zipfile.ZipInfo(name, date_time=when)
    info.compress_type = method
    info.create_system = MSDOS_HOST
    info.create_version = FORMAT_VERSION_2_0
    info.extract_version = FORMAT_VERSION_2_0
    info.external_attr = ARCHIVE_ATTRIBUTE
    info.internal_attr = TEXT if text else 0
    return info


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool-dir", required=True,
                        help="folder with FM.EXE, FlashMagic.dll and FlashMagicARM.dll")
    parser.add_argument("--output", required=True, help="the archive to write")
    args = parser.parse_args()

    hex_text = make_firmware_hex.hex_text(make_firmware_hex.image()).encode("ascii")
    deflate, stored = zipfile.ZIP_DEFLATED, zipfile.ZIP_STORED
    entries = [
        (entry("fmconfig.txt", (2015, 7, 29, 13, 54, 30), deflate, True), SAMPLE_JOB),
        (entry("data.hex", (2015, 9, 7, 11, 16, 6), deflate, True), hex_text),
        (entry("Start.bat", (2015, 7, 29, 13, 54, 30), stored, True), SAMPLE_BATCH),
        (entry("FlashMagic.dll", (2015, 7, 29, 13, 54, 34), deflate, False),
         read(os.path.join(args.tool_dir, "FlashMagic.dll"))),
        (entry("FlashMagicARM.dll", (2015, 7, 29, 13, 54, 32), deflate, False),
         read(os.path.join(args.tool_dir, "FlashMagicARM.dll"))),
        (entry("FM.EXE", (2015, 7, 29, 13, 54, 32), deflate, False),
         read(os.path.join(args.tool_dir, "FM.EXE"))),
    ]

    partial = args.output + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for info, data in entries:
            archive.writestr(info, data, compresslevel=DEFLATE_LEVEL)
    os.replace(partial, args.output)

    with zipfile.ZipFile(args.output) as archive:
        for info in archive.infolist():
            print(f"{info.filename:18} {info.compress_size:8} {info.file_size:8}")
    print(f"{args.output}: {os.path.getsize(args.output)} bytes")


if __name__ == "__main__":
    main()
