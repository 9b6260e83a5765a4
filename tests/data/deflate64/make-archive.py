#!/usr/bin/env python3
"""Makes 7z-deflate64.zip, the Deflate64 archive the tests extract (see README.md).

    tests/data/deflate64/make-archive.py      (needs 7z, Debian package p7zip-full)

The files are made here from a seeded generator, so the same 7-Zip makes the same archive.
"""
import os
import pathlib
import random
import subprocess
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
MTIME = 1615734566  # 2021-03-14 15:09:26 UTC, the time of the corpus's files


def files():
    rng = random.Random(64)
    near = rng.randbytes(2048)
    far = rng.randbytes(2048)
    # `near` comes back 42,048 bytes after its start (distance symbol 30: 32,769 to
    # 49,152), `far` 60,144 bytes after its start (symbol 31: 49,153 to 65,536); the runs
    # between them give no match into those blocks.
    distances = far + near + b"x" * 40000 + near + b"y" * 14000 + far
    lines = [f"{i:05d} line of a log that repeats itself\r\n".encode() for i in range(200)]
    runs = (b"".join(lines) + b"=" * 100000 + b"\r\n" + b" " * 70000 + b"end\r\n")
    return {"distances.bin": distances, "runs.txt": runs}


def main():
    target = HERE / "7z-deflate64.zip"
    with tempfile.TemporaryDirectory() as tmp:
        for name, data in files().items():
            path = pathlib.Path(tmp) / name
            path.write_bytes(data)
            os.utime(path, (MTIME, MTIME))
        target.unlink(missing_ok=True)
        subprocess.run(["7z", "a", "-tzip", "-mm=Deflate64", "-mx=9", str(target),
                        "distances.bin", "runs.txt"],
                       cwd=tmp, check=True, stdout=subprocess.DEVNULL,
                       env=dict(os.environ, TZ="UTC"))
    print(f"{target.name}: {target.stat().st_size} bytes")


if __name__ == "__main__":
    main()
