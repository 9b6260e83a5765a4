#!/usr/bin/env python3
"""Makes ZIP64 archives with Python's zipfile for the tests (Zip64ArchiveTest.cpp), into a
folder the test gives; nothing of it is kept in the repository.

    make-zip64-archives.py forced OUT.zip       small entries, every one with ZIP64 fields
    make-zip64-archives.py streamed OUT.zip     the same written to a pipe: sizes in ZIP64
                                                data descriptors after the data
    make-zip64-archives.py many OUT.zip COUNT   COUNT entries (more than 65,535: the count
                                                is in the ZIP64 end record only)
    make-zip64-archives.py huge OUT.zip SIZE    one entry of SIZE zero bytes, deflated

The contents are fixed so that the test knows every name, size and CRC-32 (content_of).

The huge entry: zlib would take half a minute for 4 GiB of zeros. Zeros are cut into
blocks of 4 MiB, each compressed with a full flush after it, which empties the compressor's
dictionary and ends on a byte boundary: the first block's output is a deflate stream of its
own that needs nothing before it, so the entry's data is that output once per block, then
the empty last block. zipfile still writes the headers, counts the sizes and computes the
CRC-32 of every byte; only the compressing of identical blocks is done once.
"""

import io
import sys
import zipfile
import zlib

DATE = (2024, 5, 17, 12, 30, 44)
BLOCK = 4 * 1024 * 1024


def content_of(name):
    """What the small entries hold: their name, repeated to a length the name sets."""
    text = (name + "\n").encode()
    return text * (len(name) * 37 % 200 + 1)


SMALL = ("readme.txt", "docs/manual.txt", "docs/deep/notes.md", "bin/tool.dat", "empty.txt")


def info(name, method=zipfile.ZIP_DEFLATED):
    entry = zipfile.ZipInfo(name, DATE)
    entry.compress_type = method
    entry.external_attr = 0o100644 << 16
    return entry


def write_small(archive):
    for i, name in enumerate(SMALL):
        data = b"" if name == "empty.txt" else content_of(name)
        method = zipfile.ZIP_STORED if i % 2 else zipfile.ZIP_DEFLATED
        with archive.open(info(name, method), "w", force_zip64=True) as f:
            f.write(data)


class Unseekable(io.RawIOBase):
    """A file as a pipe is: written in order, never sought, its position unknown."""

    def __init__(self, path):
        self.file = open(path, "wb")

    def writable(self):
        return True

    def write(self, data):
        return self.file.write(data)

    def close(self):
        self.file.close()
        super().close()


class RepeatedBlocks:
    """The compressor zipfile asks for, for an entry made of one block over and over."""

    def __init__(self, block):
        self.block = block
        compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
        self.output = compressor.compress(block) + compressor.flush(zlib.Z_FULL_FLUSH)

    def compress(self, data):
        if data is not self.block:
            raise ValueError("only whole blocks of the entry are compressed here")
        return self.output

    def flush(self):
        return zlib.compressobj(9, zlib.DEFLATED, -15).flush()  # the empty last block


def write_huge(path, size):
    if size % BLOCK:
        raise SystemExit("the size must be a multiple of %d" % BLOCK)
    block = bytes(BLOCK)
    make_compressor = zipfile._get_compressor
    zipfile._get_compressor = lambda *args, **kwargs: RepeatedBlocks(block)
    try:
        with zipfile.ZipFile(path, "w") as archive:
            with archive.open(info("zeros.bin"), "w", force_zip64=True) as f:
                for _ in range(size // BLOCK):
                    f.write(block)
    finally:
        zipfile._get_compressor = make_compressor


def main():
    kind, path = sys.argv[1], sys.argv[2]
    if kind == "forced":
        with zipfile.ZipFile(path, "w") as archive:
            write_small(archive)
    elif kind == "streamed":
        with Unseekable(path) as out, zipfile.ZipFile(out, "w") as archive:
            write_small(archive)
    elif kind == "many":
        with zipfile.ZipFile(path, "w") as archive:
            for i in range(int(sys.argv[3])):
                archive.writestr(info("d%04d/f%06d.txt" % (i // 500, i), zipfile.ZIP_STORED),
                                 b"%d\n" % i)
    elif kind == "huge":
        write_huge(path, int(sys.argv[3]))
    else:
        raise SystemExit("unknown kind " + kind)


if __name__ == "__main__":
    main()
