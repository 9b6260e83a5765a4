#!/usr/bin/env python3
"""Derives the seed inputs of the fuzz targets from the test archives in tests/data.

    fuzz/make-seeds.py          (rewrites tests/data/fuzz/<target>/seeds/)

Seeds stay small (kilobytes): libFuzzer mutates small inputs fastest, and the replay tests run
every seed under the sanitizers. The archive target gets the hostile archives as they are and
small archives rebuilt from a few short entries of each corpus archive (their local headers,
data and data descriptors copied byte for byte, the directory written anew), two of them with
ZIP64 records, plus one without its directory and one cut short. The decoder targets get raw entry data from the same archives
behind their four-byte header (fuzz/DecoderHarness.h), the cipher target encrypted entries with
their passwords (fuzz/CipherTarget.cpp), the AES target entries of 7-Zip's AES archives
(tests/data/aes) with their fields and passwords, the wildcard target masks and names.
"""
import pathlib
import shutil
import struct

ROOT = pathlib.Path(__file__).resolve().parent.parent
DATA = ROOT / "tests" / "data"
CORPUS = DATA / "corpus"
DEFLATE64 = DATA / "deflate64" / "7z-deflate64.zip"
AES = DATA / "aes"
OUT = DATA / "fuzz"

# Passwords of the encrypted archives (corpus/MANIFEST.tsv, hostile/ORIGIN.md).
PASSWORDS = {
    "7z-zipcrypto.zip": b"zip crypto",
    "iz-encrypted-deflate.zip": b"Pa55 word!",
    "iz-encrypted-stored.zip": b"secret",
    "legacy-encrypted.zip": b"legacy",
}


class Entry:
    """One entry of an archive: its central header and its local record, raw."""

    def __init__(self, archive, central, local, name):
        self.archive = archive
        self.central = central  # the 46 fixed bytes, name, extra, comment
        self.local = local  # local header, name, extra, data, data descriptor
        self.name = name
        (self.flags, self.method) = struct.unpack_from("<HH", central, 8)
        (self.crc, self.csize, self.usize) = struct.unpack_from("<III", central, 16)
        self.data_start = 30 + sum(struct.unpack_from("<HH", local, 26))

    @property
    def data(self):
        return self.local[self.data_start:self.data_start + self.csize]


def read_entries(path):
    """The entries of an archive in central directory order, with their raw records."""
    b = path.read_bytes()
    eocd = b.rfind(b"PK\x05\x06")
    count, cd_size, cd_offset = struct.unpack_from("<HII", b, eocd + 10)
    cd_start = eocd - cd_size
    shift = cd_start - cd_offset  # a prefix in front of the archive (self-extractor)
    entries = []
    p = cd_start
    for _ in range(count):
        n, e, c = struct.unpack_from("<HHH", b, p + 28)
        central = b[p:p + 46 + n + e + c]
        offset = struct.unpack_from("<I", b, p + 42)[0] + shift
        ln, le = struct.unpack_from("<HH", b, offset + 26)
        csize = struct.unpack_from("<I", b, p + 20)[0]
        end = offset + 30 + ln + le + csize
        if struct.unpack_from("<H", b, p + 8)[0] & 0x8:
            end += 16 if b[end:end + 4] == b"PK\x07\x08" else 12
        entries.append(Entry(path.name, central, b[offset:end], b[p + 46:p + 46 + n]))
        p += len(central)
    return entries


def build_archive(entries, comment=b""):
    """A new archive of the entries' local records and a directory pointing at them."""
    body = bytearray()
    directory = bytearray()
    for entry in entries:
        central = bytearray(entry.central)
        struct.pack_into("<H", central, 34, 0)  # disk number start
        struct.pack_into("<I", central, 42, len(body))
        directory += central
        body += entry.local
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries),
                      len(directory), len(body), len(comment))
    return bytes(body + directory + end + comment), len(body)


def build_zip64_archive(entries, slots):
    """As build_archive, with ZIP64 records: entry i's central header has the fields of the
    bits slots(i) full (1 size, 2 compressed size, 4 offset, 8 volume), their values in a
    ZIP64 extra field in that order; a ZIP64 end record and its locator come before the end
    record, whose counts, size and offset are full."""
    body = bytearray()
    directory = bytearray()
    for i, entry in enumerate(entries):
        bits = slots(i)
        central = bytearray(entry.central[:46])
        n, e, c = struct.unpack_from("<HHH", central, 28)
        values = [(1, "<Q", entry.usize, 24, "<I"), (2, "<Q", entry.csize, 20, "<I"),
                  (4, "<Q", len(body), 42, "<I"), (8, "<I", 0, 34, "<H")]
        field = b""
        for bit, form, value, at, full in values:
            if bits & bit:
                field += struct.pack(form, value)
                struct.pack_into(full, central, at, 0xFFFF if full == "<H" else 0xFFFFFFFF)
            elif bit == 4:
                struct.pack_into("<I", central, 42, len(body))
            elif bit == 8:
                struct.pack_into("<H", central, 34, 0)
        extra = struct.pack("<HH", 1, len(field)) + field if bits else b""
        struct.pack_into("<H", central, 30, len(extra))
        name, rest = entry.central[46:46 + n], entry.central[46 + n + e:46 + n + e + c]
        directory += central + name + extra + rest
        body += entry.local
    zip64_end = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, len(entries),
                            len(entries), len(directory), len(body))
    locator = struct.pack("<IIQI", 0x07064B50, 0, len(body) + len(directory), 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    return bytes(body + directory + zip64_end + locator + end)


def write(target, name, data):
    folder = OUT / target / "seeds"
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def pick(archive, names=None, limit=1300):
    """The named entries, or up to four short files and two folders, in archive order."""
    entries = read_entries(CORPUS / archive)
    if names is not None:
        chosen = [e for e in entries if e.name in names]
        if len(chosen) != len(names):
            raise SystemExit(f"{archive}: not all of {names} found")
        return chosen
    files = [e for e in entries if not e.name.endswith(b"/") and e.csize <= limit][:4]
    folders = [e for e in entries if e.name.endswith(b"/")][:2]
    return [e for e in entries if e in files or e in folders]


def decoder_seed(variant, entry):
    return bytes([variant]) + struct.pack("<I", entry.usize)[:3] + entry.data


def archive_seeds():
    for source in sorted((DATA / "hostile").glob("*/*")):
        if source.suffix in (".zip", ".notzip"):
            write("archive", source.name, source.read_bytes())
    small = {
        "7z-deflate.zip": None, "7z-zipcrypto.zip": None, "bsdtar-deflate.zip": None,
        "iz-comments.zip": None, "iz-encrypted-deflate.zip": None,
        "iz-encrypted-stored.zip": [b"docs/", b"docs/empty.txt", b"src/main.c"],
        "iz-bzip2-unsupported.zip": None, "hw-shrink.zip": None, "hw-reduce1.zip": None,
        "hw-reduce4.zip": None, "hw-implode-4-0.zip": None, "hw-implode-8-1.zip": None,
        "legacy-encrypted.zip": [b"enc-reduce2-run70k.bin"], "legacy-mixed.zip": None,
        "py-cp866-names.zip": None, "py-folders-comments.zip": None, "py-unseekable.zip": None,
        "za-reduce3.zip": None, "za-shrink.zip": None,
    }
    for archive, names in small.items():
        data, _ = build_archive(pick(archive, names), b"seed from " + archive.encode())
        write("archive", "small-" + archive, data)
    write("archive", DEFLATE64.name, DEFLATE64.read_bytes())
    entries = pick("7z-deflate.zip")
    write("archive", "small-zip64-every-field.zip", build_zip64_archive(entries, lambda i: 15))
    write("archive", "small-zip64-some-fields.zip",
          build_zip64_archive(entries, lambda i: (1, 6, 4, 8)[i % 4]))
    entries = pick("iz-tree-deflate6.zip")
    data, directory_start = build_archive(entries)
    write("archive", "small-no-directory.zip", data[:directory_start])
    write("archive", "small-cut-short.zip", data[:len(entries[0].local) + 40])


def decoder_seeds():
    for archive, name in [("iz-tree-stored.zip", b"README.txt"),
                          ("7z-stored.zip", b"deep/a/b/c/d/leaf.txt")]:
        write("store", f"{archive}-{name.decode().replace('/', '_')}",
              decoder_seed(0, pick(archive, [name])[0]))
    for archive, name in [("iz-tree-deflate1.zip", b"README.txt"),
                          ("7z-deflate.zip", b"src/lib/util.c"),
                          ("legacy-mixed.zip", b"m10-deflate-run70k.bin"),
                          ("py-cp866-names.zip", b"readme.txt")]:
        entry = pick(archive, [name])[0]
        write("inflate", f"{archive}-{name.decode().replace('/', '_')}", decoder_seed(0, entry))
    # Behind the stored prefix block, four bytes before the input block boundary.
    entry = pick("7z-deflate.zip", [b"src/main.c"])[0]
    write("inflate", "after-stored-block-main.c", decoder_seed(0x80 | (4 << 2), entry))
    # Deflate64 (variant bit 0): 7-Zip's entries, one behind the stored prefix block.
    for e in read_entries(DEFLATE64):
        write("inflate", f"deflate64-{e.name.decode()}", decoder_seed(0x01, e))
    e = read_entries(DEFLATE64)[0]
    write("inflate", f"deflate64-after-stored-block-{e.name.decode()}",
          decoder_seed(0x81 | (9 << 2), e))
    for archive in ["hw-shrink.zip", "za-shrink.zip"]:
        for e in pick(archive, [b"short.txt", b"run70k.bin", b"one.bin"]):
            if e.method == 1:
                write("shrink", f"{archive}-{e.name.decode()}", decoder_seed(0, e))
    for factor in range(1, 5):
        for maker, names in [("hw", [b"short.txt", b"run70k.bin"]), ("za", [b"run70k.bin"])]:
            archive = f"{maker}-reduce{factor}.zip"
            for e in pick(archive, names):
                write("reduce", f"{archive}-{e.name.decode()}", decoder_seed(factor - 1, e))
    e = pick("hw-reduce4.zip", [b"russian-cp1251.txt"])[0]
    write("reduce", "hw-reduce4.zip-russian-cp1251.txt", decoder_seed(3, e))
    for window, tree in [(4, 0), (4, 1), (8, 0), (8, 1)]:
        archive = f"hw-implode-{window}-{tree}.zip"
        variant = (1 if window == 8 else 0) | (2 if tree else 0)
        for e in pick(archive, [b"short.txt", b"run70k.bin"]):
            write("implode", f"{archive}-{e.name.decode()}", decoder_seed(variant, e))
    e = pick("hw-implode-8-1.zip", [b"russian-cp1251.txt"])[0]
    write("implode", "hw-implode-8-1.zip-russian-cp1251.txt", decoder_seed(3, e))


def cipher_seeds():
    def seed(password, data, repeats=0):
        return bytes([len(password), repeats]) + password + data

    for archive, name in [("7z-zipcrypto.zip", b"src/main.c"),
                          ("iz-encrypted-stored.zip", b"docs/empty.txt"),
                          ("legacy-encrypted.zip", b"enc-reduce2-run70k.bin")]:
        e = pick(archive, [name])[0]
        write("cipher", f"{archive}-{name.decode().replace('/', '_')}",
              seed(PASSWORDS[archive], e.data))
    # Repeated past the decoder's 32 KB input block.
    e = pick("iz-encrypted-deflate.zip", [b"README.txt"])[0]
    write("cipher", "iz-encrypted-deflate.zip-README.txt-x23",
          seed(PASSWORDS["iz-encrypted-deflate.zip"], e.data, 22))


def aes_seeds():
    """Entries of 7-Zip's AES archives (tests/data/aes/README.md) in the layout of
    fuzz/AesTarget.cpp: password length, piece size, flip, the 0x9901 field's data, the
    password, the entry's stored data (salt, verifier, data, code)."""
    seeds = [("aes128-stored.zip", b"table.bin", 0, 0), ("aes128-deflate.zip", b"notes.txt", 7, 2),
             ("aes192-deflate.zip", b"notes.txt", 60, 5), ("aes192-stored.zip", b"empty.txt", 0, 0),
             ("aes256-deflate.zip", b"notes.txt", 255, 8),
             ("aes256-deflate64.zip", b"table.bin", 1, 1)]
    for archive, name, piece, flip in seeds:
        password = f"zorvi-{archive[3:6]} key".encode()
        e = [e for e in read_entries(AES / archive) if e.name == name][0]
        extra = e.central[46 + len(e.name):46 + len(e.name) + struct.unpack_from("<H", e.central, 30)[0]]
        i = 0
        while struct.unpack_from("<H", extra, i)[0] != 0x9901:
            i += 4 + struct.unpack_from("<H", extra, i + 2)[0]
        field = extra[i + 4:i + 4 + 7]
        write("aes", f"{archive}-{name.decode()}",
              bytes([len(password), piece, flip]) + field + password + e.data)


def wildcard_seeds():
    pairs = [
        (b"*.txt", b"docs\\readme.txt"), (b"*", b""), (b"readme.TXT", b"README.txt"),
        (b"sub\\*\\*.c", b"sub\\lib\\util.c"), (b"?ore*", b"score.bin"),
        (b"*<a-z>.t?t", b"abc.txt"), (b"*<!0-9>x", b"ab1x"), (b"<^a-c>*", b"zeta"),
        (b"<abc", b"a"), (b"*a*a*b", b"a" * 40 + b"b"), (b"[x]*", b"[x]y"),
        ("*<\u0430-\u044f>.txt".encode("cp1251"), "\u043e\u0442\u0447\u0451\u0442.txt".encode("cp1251")),
    ]
    for i, (mask, name) in enumerate(pairs):
        write("wildcard", f"mask-{i:02d}", mask + b"\0" + name)


def main():
    for target in OUT.glob("*/seeds"):
        shutil.rmtree(target)
    archive_seeds()
    decoder_seeds()
    cipher_seeds()
    aes_seeds()
    wildcard_seeds()
    for folder in sorted(OUT.glob("*/seeds")):
        files = list(folder.iterdir())
        print(f"{folder.relative_to(ROOT)}: {len(files)} files, "
              f"{sum(f.stat().st_size for f in files)} bytes")


if __name__ == "__main__":
    main()
