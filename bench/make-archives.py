#!/usr/bin/env python3
"""Makes the archives the extraction benchmark times (bench/extract-bench.sh).

    bench/make-archives.py [OUTPUT_DIR [NAME...]]     (default: build/bench-data, the four below)

- mixed-deflate.zip: 32 entries, about 100 MiB in all, of mixed content (log-like
  text, fixed-size binary records, byte runs, repeated patterns with rare changes,
  random bytes), deflated at level 6. The kinds are interleaved inside each entry in
  segments of 64 KiB to 1 MiB, so the decoder meets every kind of block in one stream.
- small-files.zip: 5,000 files of 1 to 20 KiB in 50 folders, deflated at level 6;
  what costs here is the work per entry (headers, creating and closing files).
- stored.zip: 20 entries, about 100 MiB in all, stored; the same mixed content
  (a stored archive typically holds data that is already compressed, so a third of it
  is random bytes). What costs here is reading, the CRC-32 and writing.
- many-entries.zip: 66,000 files of 49 to 196 bytes in 660 folders, deflated: more than
  65,535 entries, so their count is in the ZIP64 end record only (zipfile writes one by
  itself). What costs here is the work per entry and anything that grows faster than the
  count: reading the directory, sorting, selecting, making folders.
- many-entries-132k.zip, made only when named: the same with 132,000 files in 1,320 folders,
  names of the same length, for the scaling check (twice the entries should take twice the
  time, not four times).

Every byte comes from random.Random with a fixed seed per entry, every entry has the
same date and attributes, so two runs make the same archives, byte for byte, as long as
the zlib in use is the same (the uncompressed content never changes). An archive that
already exists is kept: remove it (or the folder) to make it again.
"""

import os
import random
import sys
import zipfile

MIB = 1024 * 1024

# One fixed date for every entry (zipfile would otherwise take the current time) and
# ordinary Unix file attributes (rw-r--r--) in the upper 16 bits of external_attr.
ENTRY_DATE = (2026, 1, 15, 10, 30, 0)
ENTRY_ATTR = 0o100644 << 16

# Words of the log-like text; a few hundred distinct words with skewed frequencies is
# close to what real logs and source files give deflate (short and long matches,
# literal-heavy Huffman tables).
WORDS = (
    "the of and to in is for on with as by at from that this be are was it or an not "
    "request response error warning info debug trace value field table index record "
    "update device port serial firmware block sector write read erase verify checksum "
    "address length offset buffer timeout retry connect disconnect open close start stop "
    "module driver config setting option default enabled disabled true false null none "
    "user session token path folder file name size date time count total percent done "
    "failed passed skipped queued running waiting ready busy idle flash memory page bank"
).split()
LEVELS = ("INFO ", "DEBUG", "WARN ", "ERROR", "TRACE")
MODULES = ("net.link", "dev.port", "fw.loader", "zip.reader", "ui.main", "cfg.store")


def text_segment(rng, size):
    """Log lines: a timestamp, a level, a module, words and a few numbers."""
    weights = [1.0 / (i + 1) for i in range(len(WORDS))]
    out = []
    total = 0
    seconds = rng.randrange(86400)
    while total < size:
        seconds += rng.randrange(3)
        words = " ".join(rng.choices(WORDS, weights, k=rng.randrange(4, 16)))
        line = "2026-01-15 %02d:%02d:%02d.%03d %s %s: %s id=%d n=%d\n" % (
            seconds // 3600 % 24, seconds // 60 % 60, seconds % 60, rng.randrange(1000),
            rng.choice(LEVELS), rng.choice(MODULES), words, rng.randrange(100000),
            rng.randrange(1 << 16))
        out.append(line)
        total += len(line)
    return "".join(out).encode("ascii")[:size]


def records_segment(rng, size):
    """32-byte records: slowly growing counters, small enums and a noisy measurement,
    as in a device's data table."""
    out = bytearray()
    counter = rng.randrange(1 << 20)
    while len(out) < size:
        counter += rng.randrange(1, 4)
        out += counter.to_bytes(4, "little")
        out += rng.randrange(8).to_bytes(2, "little")
        out += (rng.randrange(1 << 12) + 2000).to_bytes(2, "little")
        out += rng.randbytes(4)
        out += bytes(20)
    return bytes(out[:size])


def runs_segment(rng, size):
    """Runs of one byte, 1 to 300 long, from a small palette: an uncompressed bitmap."""
    palette = rng.randbytes(8)
    out = bytearray()
    while len(out) < size:
        out += bytes([palette[rng.randrange(8)]]) * rng.randrange(1, 301)
    return bytes(out[:size])


def pattern_segment(rng, size):
    """A pattern of 16 to 4,096 bytes repeated, with a byte changed now and then: long
    matches at every distance up to the window size."""
    pattern = bytearray(rng.randbytes(rng.randrange(16, 4097)))
    out = bytearray()
    while len(out) < size:
        if rng.random() < 0.3:
            pattern[rng.randrange(len(pattern))] = rng.randrange(256)
        out += pattern
    return bytes(out[:size])


def random_segment(rng, size):
    """Incompressible bytes: deflate keeps them in stored blocks."""
    return rng.randbytes(size)


MIXED_KINDS = (text_segment, records_segment, runs_segment, pattern_segment, random_segment)
MIXED_WEIGHTS = (45, 15, 10, 15, 15)
STORED_WEIGHTS = (30, 15, 10, 15, 30)


def mixed_content(rng, size, weights):
    """Segments of 64 KiB to 1 MiB of the kinds above, drawn with the given weights."""
    parts = []
    left = size
    while left > 0:
        n = min(left, rng.randrange(64 * 1024, MIB + 1))
        kind = rng.choices(MIXED_KINDS, weights)[0]
        parts.append(kind(rng, n))
        left -= n
    return b"".join(parts)


def small_content(rng, size):
    """A small file is mostly one kind: text for two thirds of them, otherwise one of
    the other kinds."""
    kind = rng.choices(MIXED_KINDS, (65, 10, 10, 10, 5))[0]
    return kind(rng, size)


def add_entry(archive, name, data, method):
    info = zipfile.ZipInfo(name, ENTRY_DATE)
    info.external_attr = ENTRY_ATTR
    info.compress_type = method
    archive.writestr(info, data, compress_type=method,
                     compresslevel=6 if method == zipfile.ZIP_DEFLATED else None)


def make_mixed_deflate(path):
    # 32 entries of 1.5 to 4.75 MiB (in 0.25 MiB steps); total close to 100 MiB.
    with zipfile.ZipFile(path, "w") as archive:
        for i in range(32):
            rng = random.Random(f"mixed-deflate/{i}")
            size = (6 + rng.randrange(14)) * MIB // 4
            add_entry(archive, f"mixed/part-{i:02d}.dat", mixed_content(rng, size, MIXED_WEIGHTS),
                      zipfile.ZIP_DEFLATED)


def make_small_files(path):
    with zipfile.ZipFile(path, "w") as archive:
        for i in range(5000):
            rng = random.Random(f"small-files/{i}")
            size = rng.randrange(1024, 20 * 1024 + 1)
            add_entry(archive, f"small/dir-{i // 100:02d}/file-{i:04d}.txt",
                      small_content(rng, size), zipfile.ZIP_DEFLATED)


def make_stored(path):
    # 20 entries of 5 MiB each: 100 MiB.
    with zipfile.ZipFile(path, "w") as archive:
        for i in range(20):
            rng = random.Random(f"stored/{i}")
            add_entry(archive, f"stored/blob-{i:02d}.bin", mixed_content(rng, 5 * MIB, STORED_WEIGHTS),
                      zipfile.ZIP_STORED)


def make_many_entries(path, count=66000):
    with zipfile.ZipFile(path, "w") as archive:
        for i in range(count):
            rng = random.Random(f"many-entries/{i}")
            line = f"entry {i:06d} of the archive with many entries\n".encode("ascii")
            add_entry(archive, f"many/d{i // 100:04d}/f{i:06d}.txt",
                      line * rng.randrange(1, 5), zipfile.ZIP_DEFLATED)


ARCHIVES = {
    "mixed-deflate.zip": make_mixed_deflate,
    "small-files.zip": make_small_files,
    "stored.zip": make_stored,
    "many-entries.zip": make_many_entries,
}
# Made only when named on the command line.
ON_REQUEST = {
    "many-entries-132k.zip": lambda path: make_many_entries(path, 132000),
}


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else "build/bench-data"
    names = sys.argv[2:] or list(ARCHIVES)
    known = {**ARCHIVES, **ON_REQUEST}
    unknown = [name for name in names if name not in known]
    if unknown:
        raise SystemExit(f"unknown archive {unknown[0]}; known: {', '.join(known)}")
    os.makedirs(out_dir, exist_ok=True)
    for name in names:
        make = known[name]
        path = os.path.join(out_dir, name)
        if os.path.exists(path):
            print(f"{path}: kept")
            continue
        # Written under a temporary name first, so an interrupted run leaves no
        # half-made archive that the next run would keep.
        partial = path + ".partial"
        make(partial)
        os.replace(partial, path)
        with zipfile.ZipFile(path) as archive:
            entries = archive.infolist()
            size = sum(e.file_size for e in entries)
            packed = sum(e.compress_size for e in entries)
        print(f"{path}: {len(entries)} entries, {size:,} bytes, {packed:,} packed")


if __name__ == "__main__":
    main()
