#!/usr/bin/env python3
"""Makes the fuzz target's seed corpus: small cache files built by the real builder from small
trees, and damaged copies of them, each in the target's input form (eight control bytes, the
file's first 512 bytes, then the file from offset 131072 on; see cache_fuzz.cpp).

usage: make-corpus.py CORVELLA_BINARY OUTPUT_FOLDER

The drive names are rewritten to fixed ones ("/data/docs", "C:", ...) so that the seeds do not
depend on where the trees were made; the folder blocks are the builder's bytes.
"""

import os
import struct
import subprocess
import sys
import tempfile

FIRST_BLOCK = 131072
ROOT_BLOCK = 132
HEAD_BYTES = 512
NO_BLOCK = 0xFFFFFFFF
FIXED_TIME = 1700000000  # 2023-11-14, for every file and folder of the trees


def make_tree(top, layout):
    """layout: {name: bytes size (a file) or dict (a folder)}."""
    os.makedirs(top, exist_ok=True)
    for name, what in layout.items():
        path = os.path.join(top, name)
        if isinstance(what, dict):
            make_tree(path, what)
        else:
            with open(path, "wb") as f:
                f.write(b"x" * what)
            os.utime(path, (FIXED_TIME, FIXED_TIME))
    os.utime(top, (FIXED_TIME, FIXED_TIME))


DOCS = {
    "readme.txt": 100,
    "notes.md": 2000,
    "a;b.txt": 10,
    "star*name": 1,
    "q?mark.TXT": 5000,
    "\u00c4rger \u00e9t\u00e9.txt": 3,
    "\u65e5\u672c\u8a9e.txt": 1024,
    ".hidden": 0,
    "empty": 0,
    "L" * 120 + ".log": 7,
    "sub": {"x.c": 300, "y.h": 40, "deep": {"deeper": {"deepest": {"leaf.txt": 1}}}},
    "emptydir": {},
    "Docs": {"a.txt": 1, "A.TXT": 2},
}
MEDIA = {"photo.JPG": 3000, "song.mp3": 4096, "clips": {"clip.mp4": 9000, "clip.MP4.txt": 1}}


def index(binary, work, roots):
    cache = os.path.join(work, "cache.db")
    if os.path.exists(cache):
        os.remove(cache)
    run = subprocess.run([binary, "index", "--cache", cache, *roots], capture_output=True,
                         text=True, timeout=120)
    if run.returncode != 0:
        sys.exit(f"corvella index failed:\n{run.stderr}")
    with open(cache, "rb") as f:
        return bytearray(f.read())


def u32(image, at):
    return struct.unpack_from("<I", image, at)[0]


def put32(image, at, value):
    struct.pack_into("<I", image, at, value)


def entries(image, block):
    """(record offset, tag, name, value offset) of each record of a well-formed block."""
    out = []
    at = block + 4
    while True:
        tag = struct.unpack_from("<H", image, at)[0]
        if tag == 0:
            return out
        end = at + 2
        while struct.unpack_from("<H", image, end)[0] != 0:
            end += 2
        out.append((at, tag, image[at + 2:end].decode("utf-16-le"), end + 2))
        at = end + 14


def rename_drives(image, names):
    """Gives the drives new names, keeping their blocks and times."""
    drives = entries(image, ROOT_BLOCK)
    assert len(drives) == len(names)
    records = b""
    for (at, tag, _, value_at), name in zip(drives, names):
        records += struct.pack("<H", tag) + name.encode("utf-16-le") + b"\0\0"
        records += image[value_at:value_at + 12]
    block = struct.pack("<I", 4 + len(records) + 2) + records + b"\0\0"
    assert ROOT_BLOCK + len(block) <= HEAD_BYTES
    image[ROOT_BLOCK:HEAD_BYTES] = bytes(HEAD_BYTES - ROOT_BLOCK)
    image[ROOT_BLOCK:ROOT_BLOCK + len(block)] = block
    return image


def folders(image):
    """(record offset, name, value offset, block) of every folder with a block, walk order."""
    out = []
    pending = [u32(image, value_at) for _, _, _, value_at in entries(image, ROOT_BLOCK)]
    while pending:
        block = pending.pop(0)
        for at, tag, name, value_at in entries(image, block):
            if tag == 2 and u32(image, value_at) != NO_BLOCK:
                out.append((at, name, value_at, u32(image, value_at)))
                pending.append(u32(image, value_at))
    return out


def seed(control, image):
    """The target's input form of an image."""
    assert len(control) == 8
    image = bytes(image)
    if len(image) <= HEAD_BYTES:
        return bytes(control) + image
    assert not any(image[HEAD_BYTES:FIRST_BLOCK]), "bytes past the head are not zero"
    return bytes(control) + image[:HEAD_BYTES] + image[FIRST_BLOCK:]


def set_size(image, size):
    put32(image, 100, size)
    put32(image, 104, size)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    binary, out = os.path.abspath(sys.argv[1]), sys.argv[2]
    os.makedirs(out, exist_ok=True)
    seeds = {}
    with tempfile.TemporaryDirectory(prefix="corvella-corpus-") as work:
        make_tree(os.path.join(work, "docs"), DOCS)
        make_tree(os.path.join(work, "media"), MEDIA)
        docs = index(binary, work, [os.path.join(work, "docs")])
        both = index(binary, work, [os.path.join(work, "docs"), os.path.join(work, "media")])
        empty_dir = os.path.join(work, "nothing")
        make_tree(empty_dir, {})
        nothing = index(binary, work, [empty_dir])

    # Control bytes: pattern, location, filters|separator, dressing, min KB, max KB, dates.
    posix = rename_drives(bytearray(docs), ["/data/docs"])
    seeds["valid-posix"] = seed([0x02, 0x04, 0x00, 0x00, 0, 0, 0, 0], posix)
    seeds["valid-posix-deep"] = seed([0x16, 0x07, 0x1a, 0x01, 2, 10, 0, 0], posix)
    seeds["valid-two-drives"] = seed(
        [0x06, 0x05, 0x60, 0x00, 0, 0, 0xff, 0x01],
        rename_drives(bytearray(both), ["/data/docs", "/data/media"]))
    seeds["valid-windows"] = seed(
        [0x0a, 0x05, 0x80, 0x09, 0, 0, 0, 0],
        rename_drives(bytearray(both), ["C:", "D:"]))
    seeds["valid-windows-list"] = seed(
        [0x3c, 0x06, 0x83, 0x05, 1, 3, 0, 0], rename_drives(bytearray(both), ["C:", "D:"]))
    seeds["valid-slash-root"] = seed([0x10, 0x06, 0x04, 0x02, 0, 0, 0, 0],
                                     rename_drives(bytearray(docs), ["/"]))
    seeds["valid-nested-drives"] = seed(
        [0x0e, 0x05, 0x00, 0x00, 0, 0, 0, 0],
        rename_drives(bytearray(both), ["/data", "/data/docs"]))
    seeds["valid-empty-folder"] = seed([0x04, 0x03, 0x00, 0x00, 0, 0, 0, 0],
                                       rename_drives(bytearray(nothing), ["/e"]))
    no_drives = bytearray(FIRST_BLOCK + 1)
    put32(no_drives, 0, 1)
    set_size(no_drives, FIRST_BLOCK)
    put32(no_drives, 128, NO_BLOCK)
    put32(no_drives, ROOT_BLOCK, 6)
    seeds["valid-no-drives"] = seed([0x04, 0x00, 0x00, 0x00, 0, 0, 0, 0], no_drives)

    found = folders(posix)
    sub = next(f for f in found if f[1] == "sub")
    deep = next(f for f in found if f[1] == "deepest")

    damaged = {}
    image = bytearray(posix)  # a folder below points back at an ancestor's block
    put32(image, deep[2], sub[3])
    damaged["cycle"] = image
    image = bytearray(posix)  # two folders share one block
    put32(image, found[1][2], found[0][3])
    damaged["shared-block"] = image
    image = bytearray(posix)  # a folder's block inside the header, and one past the end
    put32(image, found[0][2], 200)
    put32(image, found[1][2], len(image) + 64)
    damaged["block-outside"] = image
    image = bytearray(posix)  # a capacity far past the end of the file
    put32(image, sub[3], 0x7FFFFFF0)
    damaged["capacity-huge"] = image
    image = bytearray(posix)  # a capacity below an empty block's
    put32(image, deep[3], 3)
    damaged["capacity-small"] = image
    image = bytearray(posix[:len(posix) - 9])  # cut inside the last block: the name runs out
    damaged["truncated"] = image
    image = bytearray(posix)  # the drive list of a build that is still copying
    put32(image, ROOT_BLOCK, 0)
    damaged["root-capacity-zero"] = image
    image = bytearray(posix)  # a removed folder and an unknown tag among the entries
    struct.pack_into("<H", image, sub[0], 3)
    first = entries(image, u32(image, entries(image, ROOT_BLOCK)[0][3]))[0]
    struct.pack_into("<H", image, first[0], 9)
    damaged["odd-tags"] = image
    image = bytearray(posix)  # a free list of two blocks, then back to the first
    end = len(image)
    image += struct.pack("<II", 64, end + 64) + bytes(56) + struct.pack("<II", 64, end) + bytes(56)
    set_size(image, len(image))
    put32(image, 128, end)
    damaged["free-list-cycle"] = image
    image = bytearray(posix)  # a folder's block begins inside another block's name
    put32(image, found[0][2], sub[3] + 7)
    damaged["block-misaligned"] = image
    image = bytearray(posix)  # the header claims more than the file holds
    put32(image, 104, len(image) + 4096)
    damaged["header-sizes"] = image
    for i, (name, image) in enumerate(sorted(damaged.items())):
        seeds["damaged-" + name] = seed([i * 17 % 256, 3 + i % 5, (i * 37) & 0xff, i, 0, 0, 0, 0],
                                        image)
    seeds["damaged-short-file"] = seed([0x02, 0x02, 0x00, 0x00, 0, 0, 0, 0], posix[:300])

    for name, data in seeds.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    print(f"{len(seeds)} seeds in {out}, {min(map(len, seeds.values()))} to "
          f"{max(map(len, seeds.values()))} bytes")


if __name__ == "__main__":
    main()
