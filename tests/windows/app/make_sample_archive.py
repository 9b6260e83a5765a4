#!/usr/bin/env python3
"""Writes sample-update.zip, the archive the workflow's Windows tests embed when the
product's own assets/update.zip is absent: entries in the archive's root made on an
MS-DOS host with the archive attribute, one stored, the others deflated, one holding
every byte value. Deterministic: run it again and the bytes are the same."""
import pathlib
import zipfile

HERE = pathlib.Path(__file__).resolve().parent

ENTRIES = [
    # name, method, date and time, content
    ("fmconfig.txt", zipfile.ZIP_DEFLATED, (2015, 7, 29, 13, 54, 30),
     b"COM(3, 19200)\r\nDEVICE(LPC2138, 14.318180)\r\n"),
    ("data.hex", zipfile.ZIP_DEFLATED, (2015, 9, 7, 11, 16, 6),
     b"".join(b":10%04X00%s\r\n" % (a, b"00" * 16) for a in range(0, 4096, 16))
     + b":00000001FF\r\n"),
    ("Start.bat", zipfile.ZIP_STORED, (2015, 7, 29, 13, 54, 30),
     b"@echo off\r\n\r\nFM.exe @fmconfig.txt\r\npause\r\n\r\n"),
    ("binary.dat", zipfile.ZIP_DEFLATED, (2020, 2, 29, 23, 59, 58),
     bytes(range(256)) * 8 + b"\r\n\x1a\x00"),
]

with zipfile.ZipFile(HERE / "sample-update.zip", "w") as archive:
    for name, method, when, content in ENTRIES:
        info = zipfile.ZipInfo(name, when)
        info.compress_type = method
        info.create_system = 0          # MS-DOS host
        info.external_attr = 0x20       # the Windows archive attribute
        archive.writestr(info, content)
