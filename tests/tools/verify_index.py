#!/usr/bin/env python3
"""Builds a cache of a real tree with the corvella command line and reads it back with the
independent reader in cache_image.py: the header, a block for every folder in depth-first
pre-order with exactly its capacity, and every entry as lstat sees it, in the directory's order.
Then `corvella check` must count what the tree holds and refuse damaged copies of the file.

usage: verify_index.py CORVELLA_BINARY
"""

import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile

from cache_image import (FILETIME_1970, FIRST_BLOCK, NO_BLOCK, ROOT_BLOCK, TAG_FILE, TAG_FOLDER,
                         Damaged, Image, kib, put)

RUN_TIMEOUT = 120


def expect(cond, what):
    if not cond:
        raise Damaged(what)


def listing(path):
    """What path's block must hold: symbolic links are files of their own size and time."""
    rows = []
    with os.scandir(path) as it:
        for d in it:
            st = d.stat(follow_symlinks=False)
            folder = d.is_dir(follow_symlinks=False)
            rows.append((TAG_FOLDER if folder else TAG_FILE, d.name,
                         None if folder else kib(st.st_size),
                         st.st_mtime_ns // 100 + FILETIME_1970))
    return rows


def verify_cache(cache_path, roots):
    """Reads the whole cache against the live trees under roots, the drives in this order.
    Returns the image and the drive, folder and file counts."""
    with open(cache_path, "rb") as f:
        image = Image(f.read())
    data = image.data
    expect(len(data) >= FIRST_BLOCK, f"file is {len(data)} bytes, shorter than the header area")
    expect(image.u32(0) == 1 and not any(data[4:100]) and not any(data[108:128]),
           "marker is not 1 or a reserved header byte is not zero")
    expect(image.u32(128) == NO_BLOCK, "the free list is not empty in a fresh build")
    expect(image.u32(100) == image.u32(104) == len(data),
           f"data end {image.u32(100)}, file size {image.u32(104)}, length {len(data)} differ")
    root = image.block(ROOT_BLOCK)
    expect(root.capacity == root.used, f"root capacity {root.capacity}, used {root.used}")
    expect(not any(data[ROOT_BLOCK + root.used:FIRST_BLOCK]), "junk after the root block")
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
        want = listing(path)
        got = [(e.tag, e.name, None if e.tag == TAG_FOLDER else e.value, e.time)
               for e in block.entries]
        if got != want:
            missing = collections.Counter(want) - collections.Counter(got)
            extra = collections.Counter(got) - collections.Counter(want)
            raise Damaged(f"folder {path!r} (block {block.offset}) differs from lstat (neither"
                          f" missing nor extra: the order differs)\n  missing "
                          f"{list(missing.elements())}\n  extra {list(extra.elements())}")
        for e in block.entries:
            counts[e.tag] += 1
            if e.tag == TAG_FOLDER:
                enter(os.path.join(path, e.name), e)

    for r, drive in zip(roots, root.entries):
        enter(os.fsdecode(os.path.realpath(r)), drive)
    expect(next_block == len(data), f"blocks end at {next_block}, file is {len(data)} bytes")
    return image, len(roots), counts[TAG_FOLDER], counts[TAG_FILE]


def run(binary, *args, cwd=None):
    p = subprocess.run([binary, *args], capture_output=True, text=True, cwd=cwd,
                       errors="replace", timeout=RUN_TIMEOUT)
    expect(0 <= p.returncode < 128, f"corvella {args} crashed ({p.returncode})\n{p.stderr}")
    return p


def check_counts(binary, cache_path, *counts):
    p = run(binary, "check", "--cache", cache_path)
    expect(p.returncode == 0, f"check of a fresh build exits {p.returncode}\n{p.stdout}{p.stderr}")
    for key, want in zip(("drives", "folders", "files"), counts):
        m = re.search(rf"^{key}:\s*(\d+)\s*$", p.stdout, re.M)
        expect(m and int(m.group(1)) == want, f"check prints no '{key}: {want}'\n{p.stdout}")


def make_tree(top):
    """Folders of differing depth and fan-out, so that an order other than depth-first pre-order
    cannot line up by chance; sizes at the KiB edges; names no codec round-trips by accident."""
    def mk(rel, size=None, mtime_ns=None):
        path = os.path.join(top, rel)
        if size is None:
            os.makedirs(path, exist_ok=True)
            return
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.truncate(size)
        if mtime_ns is not None:
            os.utime(path, ns=(mtime_ns, mtime_ns))

    for rel in ("alpha/one/deep/deeper", "alpha/empty", "βeta Ünïcode/sub2"):
        mk(rel)
    for rel, size in (("alpha/one/deep/leaf.txt", 3000), ("alpha/one/x.bin", 1023),
                      ("alpha/two/y", 1024), ("βeta Ünïcode/sub1/ж.txt", 5), ("😀 smile/z", 0),
                      (os.fsdecode(b"dir\xfe/inside"), 7), ("naïve", 12), ("Ωmega", 2048),
                      (os.fsdecode(b"bad\xff"), 4), ("sparse5g", 5 << 30)):
        mk(rel, size)
    for n in (0, 1, 1023, 1024, 1025, 3000):
        mk(f"f{n}", n)
    for i in range(400):  # the data runs well past 140000 bytes
        mk(f"alpha/two/wide/member-{i:04d}-of-the-wide-folder", i)
    # Sub-100 ns digits are dropped, and a time before 1970 rounds down.
    mk("precise", 1, mtime_ns=1_600_000_000_123_456_789)
    mk("before1970", 1, mtime_ns=-123_456_789)
    os.symlink("alpha", os.path.join(top, "link_dir"))
    os.symlink("no/such/target", os.path.join(top, "dangling"))
    # A link's own time, not its target's, shows lstat was used.
    os.utime(os.path.join(top, "link_dir"), ns=(10**18, 10**18), follow_symlinks=False)


def damage_cases(image):
    """Copies of a good cache, each broken in one way that check must catch."""
    good = image.data
    drive = image.drives()[0]

    def folders_below(offset, trail):
        for e in image.block(offset).entries:
            if e.tag == TAG_FOLDER and e.value != NO_BLOCK:
                yield e, trail + [offset]
                yield from folders_below(e.value, trail + [offset])

    deepest, trail = max(folders_below(drive.value, []), key=lambda x: len(x[1]))
    expect(len(trail) >= 3 and len(good) > 140000, "the test tree is too small to damage")

    def changed(*fields):
        data = bytearray(good)
        for at, value in fields:
            put(data, at, value)
        return data

    return [
        ("truncated to 140000 bytes", good[:140000]),
        ("last block cut short by 3 bytes", good[:-3]),
        ("truncated, header made to agree", changed((100, 140000), (104, 140000))[:140000]),
        ("folder value at the end of the file", changed((deepest.value_at, len(good)))),
        ("folder value far outside the file", changed((deepest.value_at, 0xFFFFFFF0))),
        ("drive value outside the file", changed((drive.value_at, len(good) + 4096))),
        ("folder points at its grandparent's block", changed((deepest.value_at, trail[-2]))),
        ("folder points at the drive's block", changed((deepest.value_at, trail[0]))),
    ]


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    binary = os.path.abspath(sys.argv[1])
    tmp = os.path.realpath(tempfile.mkdtemp(prefix="corvella-verify-"))
    failures = []

    def step(label, fn, *args):
        try:
            fn(*args)
            print(f"ok    {label}")
        except (Damaged, subprocess.TimeoutExpired) as e:
            failures.append(label)
            print(f"FAIL  {label}\n      " + str(e).replace("\n", "\n      "))

    def build_and_verify(db, args, roots, cwd=None):
        p = run(binary, "index", "--cache", db, *args, cwd=cwd)
        expect(p.returncode == 0, f"index exits {p.returncode}\n{p.stderr}")
        image, *counts = verify_cache(db, roots)
        check_counts(binary, db, *counts)
        for label, data in damage_cases(image) if len(roots) == 1 else []:
            bad = os.path.join(tmp, "bad.db")
            with open(bad, "wb") as f:
                f.write(data)
            p = run(binary, "check", "--cache", bad)
            step(f"damaged: {label}", expect, p.returncode == 1 and p.stderr.strip(),
                 f"check exits {p.returncode}, not 1 with a message\n{p.stdout}")

    try:
        tree, zeta = os.path.join(tmp, "tree"), os.path.join(tmp, "zeta")
        make_tree(tree)
        os.makedirs(os.path.join(zeta, "inner", "more"))
        with open(os.path.join(zeta, "inner", "note"), "wb") as f:
            f.write(b"n" * 2500)
        step("one root: header, pre-order layout and every entry match lstat; check agrees",
             build_and_verify, os.path.join(tmp, "c.db"), [tree], [tree])
        # Listed against alphabetical order, one relative with a trailing slash, so the drive
        # names follow the command line and are made canonical.
        step("two roots: drives follow the command line, the layout spans both",
             build_and_verify, os.path.join(tmp, "two.db"), ["zeta/", tree], [zeta, tree], tmp)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print(f"{len(failures)} check(s) failed" if failures
          else "the cache agrees with the independent reader")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
