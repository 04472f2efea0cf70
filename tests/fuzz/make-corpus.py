#!/usr/bin/env python3
"""Makes the fuzz target's seed corpus: small cache files built by the real builder from small
trees, and damaged copies of them, each in the target's input form (see cache_fuzz.cpp). The drive
names are rewritten to fixed ones so that the seeds do not depend on where the trees were made.

usage: make-corpus.py CORVELLA_BINARY OUTPUT_FOLDER
"""

import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from cache_image import (DATA_END, FILE_SIZE, FIRST_BLOCK, FREE_HEAD, NO_BLOCK,  # noqa: E402
                         ROOT_BLOCK, TAG_FOLDER, TAG_REMOVED, Image, block_bytes, expect, make,
                         put, run, set_drives)

HEAD_BYTES = 512
FIXED_TIME = 1700000000  # 2023-11-14, for every file and folder of the trees
DOCS = {
    "readme.txt": 100, "notes.md": 2000, "a;b.txt": 10, "star*name": 1, "q?mark.TXT": 5000,
    "\u00c4rger \u00e9t\u00e9.txt": 3, "\u65e5\u672c\u8a9e.txt": 1024, ".hidden": 0, "empty": 0,
    "L" * 120 + ".log": 7, "emptydir": {}, "Docs": {"a.txt": 1, "A.TXT": 2},
    "sub": {"x.c": 300, "y.h": 40, "deep": {"deeper": {"deepest": {"leaf.txt": 1}}}},
}
MEDIA = {"photo.JPG": 3000, "song.mp3": 4096, "clips": {"clip.mp4": 9000, "clip.MP4.txt": 1}}


def make_tree(top, layout):
    """layout: {name: bytes size (a file) or dict (a folder)}, all of them at FIXED_TIME."""
    for name, what in layout.items():
        if isinstance(what, dict):
            make_tree(os.path.join(top, name), what)
        else:
            make(top, name, what, FIXED_TIME * 10**9)
    make(top, "", None, FIXED_TIME * 10**9)


def index(binary, work, *trees):
    cache = os.path.join(work, "-".join(trees) + ".db")
    expect(run(binary, "index", "--cache", cache, *(os.path.join(work, t) for t in trees))
           .returncode == 0, "corvella index failed")
    with open(cache, "rb") as f:
        return f.read()


def renamed(image, *names):
    """A copy whose drives carry new names, keeping their blocks and times."""
    data = bytearray(image)
    drives = Image(image).drives()
    set_drives(data, [(n, e.value, e.time) for n, e in zip(names, drives, strict=True)])
    assert not any(data[HEAD_BYTES:FIRST_BLOCK]), "the drive list runs past the head"
    return data


def folders(image):
    """The folder entries with a block, breadth first."""
    out, pending = [], [e.value for e in image.drives()]
    while pending:
        for e in image.block(pending.pop(0)).entries:
            if e.tag == TAG_FOLDER and e.value != NO_BLOCK:
                out.append(e)
                pending.append(e.value)
    return out


def changed(image, *fields, cut=None):
    data = bytearray(image[:cut])
    for at, value, *fmt in fields:
        put(data, at, value, *fmt)
    return data


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    binary, out = os.path.abspath(sys.argv[1]), sys.argv[2]
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="corvella-corpus-") as work:
        for name, layout in (("docs", DOCS), ("media", MEDIA), ("nothing", {})):
            make_tree(os.path.join(work, name), layout)
        docs, both = index(binary, work, "docs"), index(binary, work, "docs", "media")
        nothing = index(binary, work, "nothing")

    # Control bytes: pattern, location, filters|separator, dressing, min KB, max KB, dates.
    posix = renamed(docs, "/data/docs")
    windows = renamed(both, "C:", "D:")
    no_drives = changed(bytes(FIRST_BLOCK + 1), (0, 1), (DATA_END, FIRST_BLOCK),
                        (FILE_SIZE, FIRST_BLOCK), (FREE_HEAD, NO_BLOCK))
    no_drives[ROOT_BLOCK:ROOT_BLOCK + 6] = block_bytes([])
    seeds = {
        "valid-posix": ([0x02, 0x04, 0x00, 0x00, 0, 0, 0, 0], posix),
        "valid-posix-deep": ([0x16, 0x07, 0x1a, 0x01, 2, 10, 0, 0], posix),
        "valid-two-drives": ([0x06, 0x05, 0x60, 0x00, 0, 0, 0xff, 0x01],
                             renamed(both, "/data/docs", "/data/media")),
        "valid-windows": ([0x0a, 0x05, 0x80, 0x09, 0, 0, 0, 0], windows),
        "valid-windows-list": ([0x3c, 0x06, 0x83, 0x05, 1, 3, 0, 0], windows),
        "valid-slash-root": ([0x10, 0x06, 0x04, 0x02, 0, 0, 0, 0], renamed(docs, "/")),
        "valid-nested-drives": ([0x0e, 0x05, 0x00, 0x00, 0, 0, 0, 0],
                                renamed(both, "/data", "/data/docs")),
        "valid-empty-folder": ([0x04, 0x03, 0x00, 0x00, 0, 0, 0, 0], renamed(nothing, "/e")),
        "valid-no-drives": ([0x04, 0x00, 0x00, 0x00, 0, 0, 0, 0], no_drives),
        "damaged-short-file": ([0x02, 0x02, 0x00, 0x00, 0, 0, 0, 0], posix[:300]),
    }

    image = Image(bytes(posix))
    found = folders(image)
    sub = next(e for e in found if e.name == "sub")
    deep = next(e for e in found if e.name == "deepest")
    first = image.block(image.drives()[0].value).entries[0]
    end = len(posix)
    damaged = {
        "cycle": changed(posix, (deep.value_at, sub.value)),  # back to an ancestor's block
        "shared-block": changed(posix, (found[1].value_at, found[0].value)),
        "block-outside": changed(posix, (found[0].value_at, 200),  # inside the header
                                 (found[1].value_at, end + 64)),  # and past the end
        "capacity-huge": changed(posix, (sub.value, 0x7FFFFFF0)),
        "capacity-small": changed(posix, (deep.value, 3)),  # below an empty block's
        "truncated": posix[:end - 9],  # cut inside the last block: the name runs out
        "root-capacity-zero": changed(posix, (ROOT_BLOCK, 0)),  # a build still copying
        "odd-tags": changed(posix, (sub.at, TAG_REMOVED, "<H"), (first.at, 9, "<H")),
        # a free list of two blocks, then back to the first
        "free-list-cycle": changed(posix + bytes(128), (FREE_HEAD, end), (100, end + 128),
                                   (FILE_SIZE, end + 128), (end, 64), (end + 4, end + 64),
                                   (end + 64, 64), (end + 68, end)),
        "block-misaligned": changed(posix, (found[0].value_at, sub.value + 7)),  # inside a name
        "header-sizes": changed(posix, (FILE_SIZE, end + 4096)),  # more than the file holds
    }
    for i, (name, image) in enumerate(sorted(damaged.items())):
        seeds["damaged-" + name] = ([i * 17 % 256, 3 + i % 5, (i * 37) & 0xff, i, 0, 0, 0, 0],
                                    image)

    for name, (control, image) in seeds.items():
        image = bytes(image)  # in the target's input form
        with open(os.path.join(out, name), "wb") as f:
            f.write(bytes(control) + image[:HEAD_BYTES] + image[FIRST_BLOCK:])
    print(f"{len(seeds)} seeds in {out}")


if __name__ == "__main__":
    main()
