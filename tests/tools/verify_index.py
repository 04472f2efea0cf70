#!/usr/bin/env python3
"""Builds a cache of a real tree with the corvella command line and reads it back with the
independent reader in cache_image.py: the header, a block for every folder in depth-first
pre-order with exactly its capacity, and every entry as lstat sees it, in the directory's order.
Then `corvella check` must count what the tree holds (damaged files are the check's unit tests').

usage: verify_index.py CORVELLA_BINARY
"""

import collections
import os
import sys

from cache_image import (DATA_END, FILE_SIZE, FILETIME_1970, FIRST_BLOCK, FREE_HEAD, NO_BLOCK,
                         ROOT_BLOCK, TAG_FILE, TAG_FOLDER, Image, expect, kib, make, run, tool)


def listing(path):
    """What path's block must hold: symbolic links are files of their own size and time."""
    with os.scandir(path) as it:
        return [(TAG_FOLDER, d.name, None, st.st_mtime_ns // 100 + FILETIME_1970)
                if d.is_dir(follow_symlinks=False) else
                (TAG_FILE, d.name, kib(st.st_size), st.st_mtime_ns // 100 + FILETIME_1970)
                for d in it for st in [d.stat(follow_symlinks=False)]]


def verify_cache(cache_path, roots):
    """Reads the whole cache against the live trees under roots, the drives in this order;
    returns what `corvella check` must print of it, line by line."""
    with open(cache_path, "rb") as f:
        image = Image(f.read())
    data = image.data
    expect(len(data) >= FIRST_BLOCK and image.u32(0) == 1 and not any(data[4:DATA_END])
           and not any(data[FILE_SIZE + 4:FREE_HEAD]) and image.u32(FREE_HEAD) == NO_BLOCK
           and image.u32(DATA_END) == image.u32(FILE_SIZE) == len(data),
           f"bad header for a fresh {len(data)}-byte build: {data[:ROOT_BLOCK].hex()}")
    root = image.block(ROOT_BLOCK)
    expect(root.capacity == root.used and not any(data[ROOT_BLOCK + root.used:FIRST_BLOCK]),
           f"root capacity {root.capacity}, used {root.used}, or junk after it")
    got = [(e.tag, e.name) for e in root.entries]
    want = [(TAG_FOLDER, os.fsdecode(os.path.realpath(r))) for r in roots]
    expect(got == want, f"drives are {got}, expected {want}")

    counts = collections.Counter()
    next_block = FIRST_BLOCK

    def enter(path, entry):
        nonlocal next_block
        expect(entry.value == next_block, f"{path!r}: block at {entry.value}, but depth-first "
               f"pre-order puts it at {next_block}")
        block = image.block(entry.value)
        expect(block.capacity == block.used,
               f"block {block.offset}: capacity {block.capacity}, records take {block.used}")
        next_block += block.capacity
        got = [(e.tag, e.name, None if e.tag == TAG_FOLDER else e.value, e.time)
               for e in block.entries]
        want = listing(path)
        expect(got == want, f"folder {path!r} (block {block.offset}) differs from lstat\n"
               f"  cache {sorted(set(got) - set(want))}\n  lstat {sorted(set(want) - set(got))}")
        for e in block.entries:
            counts[e.tag] += 1
            counts["KiB"] += e.value if e.tag == TAG_FILE else 0
            if e.tag == TAG_FOLDER:
                enter(os.path.join(path, e.name), e)

    for r, drive in zip(roots, root.entries):
        enter(os.fsdecode(os.path.realpath(r)), drive)
    expect(next_block == len(data), f"blocks end at {next_block}, file is {len(data)} bytes")
    return {"drives": len(roots), "folders": counts[TAG_FOLDER], "files": counts[TAG_FILE],
            "total KiB": counts["KiB"], "bytes used": len(data), "free blocks": "0 (0 bytes)"}


def make_tree(top):
    """Folders of differing depth and fan-out, so that an order other than depth-first pre-order
    cannot line up by chance; sizes at the KiB edges; names no codec round-trips by accident."""
    for rel in ("alpha/one/deep/deeper", "alpha/empty", "βeta Ünïcode/sub2"):
        make(top, rel)
    for rel, size in (("alpha/one/deep/leaf.txt", 3000), ("alpha/one/x.bin", 1023),
                      ("alpha/two/y", 1024), ("βeta Ünïcode/sub1/ж.txt", 5), ("😀 smile/z", 0),
                      (os.fsdecode(b"dir\xfe/inside"), 7), ("naïve", 12), ("Ωmega", 2048),
                      (os.fsdecode(b"bad\xff"), 4), ("sparse5g", 5 << 30), *(
                          (f"f{n}", n) for n in (0, 1, 1023, 1024, 1025, 3000)), *(
                          (f"alpha/two/wide/member-{i:04d}-of-the-wide-folder", i)
                          for i in range(400))):  # a block far larger than a page
        make(top, rel, size)
    # Sub-100 ns digits are dropped, and a time before 1970 rounds down.
    make(top, "precise", 1, 1_600_000_000_123_456_789)
    make(top, "before1970", 1, -123_456_789)
    os.symlink("alpha", os.path.join(top, "link_dir"))
    os.symlink("no/such/target", os.path.join(top, "dangling"))
    # A link's own time, not its target's, shows lstat was used.
    os.utime(os.path.join(top, "link_dir"), ns=(10**18, 10**18), follow_symlinks=False)


def build_and_verify(binary, db, args, roots, cwd=None):
    p = run(binary, "index", "--cache", db, *args, cwd=cwd, text=True)
    expect(p.returncode == 0, f"index exits {p.returncode}\n{p.stderr}")
    counts = verify_cache(db, roots)
    p = run(binary, "check", "--cache", db, text=True)
    expect(p.returncode == 0, f"check of a fresh build exits {p.returncode}\n{p.stdout}{p.stderr}")
    for key, want in counts.items():
        expect(f"\n{key}: {want}\n" in p.stdout, f"check prints no '{key}: {want}'\n{p.stdout}")


def main(binary, tmp):
    tree, zeta = os.path.join(tmp, "tree"), os.path.join(tmp, "zeta")
    make_tree(tree)
    make(zeta, "inner/more")
    make(zeta, "inner/note", 2500)
    build_and_verify(binary, os.path.join(tmp, "c.db"), [tree], [tree])
    # Listed against alphabetical order, one relative with a trailing slash, so the drive names
    # follow the command line and are made canonical.
    build_and_verify(binary, os.path.join(tmp, "two.db"), ["zeta/", tree], [zeta, tree], tmp)
    print("the cache agrees with the independent reader")


if __name__ == "__main__":
    sys.exit(tool(__doc__, main))
