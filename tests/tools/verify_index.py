#!/usr/bin/env python3
"""Builds a cache of a real tree with the corvella command line and reads it
back with a reader written only from the file layout, so that a fault shared by
the C++ writer and the C++ reader cannot hide itself.

usage: verify_index.py CORVELLA_BINARY
"""

import collections
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

NO_BLOCK = 0xFFFFFFFF
FIRST_BLOCK = 131072
ROOT_BLOCK = 132
TAG_FILE, TAG_FOLDER = 1, 2
FILETIME_1970 = 116444736000000000
RUN_TIMEOUT = 120


class Mismatch(Exception):
    pass


def expect(cond, what):
    if not cond:
        raise Mismatch(what)


def kib(size):
    return 0 if size == 0 else min(size // 1024 + 1, NO_BLOCK)


def filetime(st):
    return st.st_mtime_ns // 100 + FILETIME_1970


def utf16(name):
    """The stored form of a name: bytes from the file system go through
    surrogateescape, so an invalid byte 0xff becomes the lone unit U+DCFF."""
    if isinstance(name, bytes):
        name = os.fsdecode(name)
    return name.encode("utf-16-le", "surrogatepass")


def show(name16):
    return repr(name16.decode("utf-16-le", "surrogatepass"))


# ---------------------------------------------------------------- the reader

Entry = collections.namedtuple("Entry", "tag name value time at")
Block = collections.namedtuple("Block", "offset capacity entries")


class Cache:
    def __init__(self, data):
        self.data = data

    def u16(self, at):
        expect(at + 2 <= len(self.data), f"u16 at {at} runs past the end of the file")
        return struct.unpack_from("<H", self.data, at)[0]

    def u32(self, at):
        expect(at + 4 <= len(self.data), f"u32 at {at} runs past the end of the file")
        return struct.unpack_from("<I", self.data, at)[0]

    def u64(self, at):
        expect(at + 8 <= len(self.data), f"u64 at {at} runs past the end of the file")
        return struct.unpack_from("<Q", self.data, at)[0]

    def block(self, offset):
        """Parses the folder block at offset and checks that its capacity
        covers exactly its records and end tag."""
        capacity = self.u32(offset)
        entries = []
        at = offset + 4
        while True:
            tag = self.u16(at)
            if tag == 0:
                break
            name_at = at + 2
            end = name_at
            while self.u16(end) != 0:
                end += 2
            name = self.data[name_at:end]
            value_at = end + 2
            entries.append(Entry(tag, name, self.u32(value_at), self.u64(value_at + 4), at))
            at = value_at + 12
        used = at + 2 - offset
        expect(capacity == used,
               f"block at {offset}: capacity {capacity}, but records and end tag take {used}")
        return Block(offset, capacity, entries)


def read_header(cache):
    data = cache.data
    expect(len(data) >= FIRST_BLOCK, f"file is {len(data)} bytes, shorter than the header area")
    expect(cache.u32(0) == 1, f"marker is {cache.u32(0)}, not 1")
    expect(not any(data[4:100]), "bytes 4..99 of the header are not zero")
    expect(not any(data[108:128]), "bytes 108..127 of the header are not zero")
    data_end, file_size, free_head = cache.u32(100), cache.u32(104), cache.u32(128)
    expect(free_head == NO_BLOCK, f"free-list head is {free_head:#x} in a fresh build")
    expect(data_end == file_size == len(data),
           f"data end {data_end}, file size field {file_size}, real length {len(data)}: not all equal")
    root = cache.block(ROOT_BLOCK)
    expect(ROOT_BLOCK + root.capacity <= FIRST_BLOCK, "root block overruns the first folder block")
    expect(not any(data[ROOT_BLOCK + root.capacity:FIRST_BLOCK]),
           "bytes between the root block and offset 131072 are not zero")
    return root


# ------------------------------------------------------- the tree as listed

def listing(path):
    """What the folder block of path must hold, in the directory's own order.
    Symbolic links are files carrying their own size, whatever they point at."""
    rows = []
    with os.scandir(path) as it:
        for d in it:
            st = os.lstat(d.path)
            is_dir = os.path.isdir(d.path) and not os.path.islink(d.path)
            rows.append((TAG_FOLDER if is_dir else TAG_FILE, d.name, st))
    return rows


def compare_folder(path, block):
    rows = listing(path)
    want = [(tag, utf16(name), None if tag == TAG_FOLDER else kib(st.st_size), filetime(st))
            for tag, name, st in rows]
    got = [(e.tag, e.name, None if e.tag == TAG_FOLDER else e.value, e.time) for e in block.entries]
    if want == got:
        return [(os.path.join(path, name), e) for (tag, name, _), e in zip(rows, block.entries)
                if tag == TAG_FOLDER]
    where = f"folder {os.fsdecode(path)!r} (block {block.offset})"
    fmt = lambda r: f"{'dir ' if r[0] == TAG_FOLDER else 'file'} {show(r[1])} kib={r[2]} time={r[3]}"
    missing = collections.Counter(want) - collections.Counter(got)
    extra = collections.Counter(got) - collections.Counter(want)
    if not missing and not extra:
        raise Mismatch(f"{where}: right entries in the wrong order\n  listing: "
                       + ", ".join(show(r[1]) for r in want)
                       + "\n  cache:   " + ", ".join(show(r[1]) for r in got))
    lines = [f"{where}: entries differ from lstat of the tree"]
    lines += ["  missing " + fmt(r) for r in missing.elements()]
    lines += ["  extra   " + fmt(r) for r in extra.elements()]
    raise Mismatch("\n".join(lines))


def verify_cache(cache_path, roots):
    """Reads the whole cache and checks it against the live trees under roots,
    which must be the drives in this order. Returns the drive, folder and file
    counts and the parsed cache."""
    with open(cache_path, "rb") as f:
        cache = Cache(f.read())
    root = read_header(cache)
    names = [e.name for e in root.entries]
    want_names = [utf16(os.path.realpath(r)) for r in roots]
    expect(names == want_names, "drives are " + ", ".join(map(show, names))
           + "; expected " + ", ".join(map(show, want_names)))
    expect(all(e.tag == TAG_FOLDER for e in root.entries), "a drive entry is not a folder")

    seen = set()
    counts = {"folders": 0, "files": 0}
    next_block = FIRST_BLOCK

    def enter(path, entry):
        nonlocal next_block
        expect(entry.value not in seen, f"block {entry.value} is referenced twice")
        expect(entry.value == next_block,
               f"{os.fsdecode(path)!r}: block at {entry.value}, but depth-first pre-order "
               f"puts it at {next_block}")
        seen.add(entry.value)
        block = cache.block(entry.value)
        next_block += block.capacity
        odd = {e.tag for e in block.entries} - {TAG_FILE, TAG_FOLDER}
        expect(not odd, f"block {block.offset}: tags {sorted(odd)} in a fresh build")
        counts["files"] += sum(e.tag == TAG_FILE for e in block.entries)
        for sub_path, sub in compare_folder(path, block):
            counts["folders"] += 1
            enter(sub_path, sub)

    for r, drive in zip(roots, root.entries):
        enter(os.fsencode(os.path.realpath(r)), drive)
    expect(next_block == len(cache.data),
           f"blocks end at {next_block}, file is {len(cache.data)} bytes")
    return len(root.entries), counts["folders"], counts["files"], cache


# ------------------------------------------------------------------ running

def run(binary, *args, cwd=None):
    try:
        p = subprocess.run([binary, *args], capture_output=True, text=True, cwd=cwd,
                           errors="replace", timeout=RUN_TIMEOUT)
    except subprocess.TimeoutExpired:
        raise Mismatch(f"corvella {' '.join(args)} did not finish in {RUN_TIMEOUT}s")
    expect(0 <= p.returncode < 128,
           f"corvella {' '.join(args)} crashed (exit {p.returncode})\n{p.stderr}")
    return p


def check_counts(binary, cache_path, drives, folders, files):
    p = run(binary, "check", "--cache", cache_path)
    expect(p.returncode == 0, f"check of a fresh build exits {p.returncode}\n{p.stdout}{p.stderr}")
    for key, want in (("drives", drives), ("folders", folders), ("files", files)):
        m = re.search(rf"^{key}:\s*(\d+)\s*$", p.stdout, re.M)
        expect(m is not None, f"check prints no '{key}:' line\n{p.stdout}")
        expect(int(m.group(1)) == want, f"check says {key}: {m.group(1)}, the tree has {want}")


def make_tree(top):
    """A tree whose folders differ in depth and fan-out, so that an order other
    than depth-first pre-order cannot line up by chance."""
    def mk(rel, size=None, mtime_ns=None):
        path = os.path.join(top, *rel) if isinstance(rel, tuple) else os.path.join(top, rel)
        if size is None:
            os.makedirs(path, exist_ok=True)
        else:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(b"x" * size)
        if mtime_ns is not None:
            os.utime(path, ns=(mtime_ns, mtime_ns))
        return path

    mk(("alpha", "one", "deep", "deeper"))
    mk(("alpha", "one", "deep", "leaf.txt"), 3000)
    mk(("alpha", "one", "x.bin"), 1023)
    mk(("alpha", "two", "y"), 1024)
    mk(("alpha", "empty"))
    # Wide enough that the data runs well past 140000 bytes.
    for i in range(400):
        mk(("alpha", "two", "wide", f"member-{i:04d}-of-the-wide-folder"), i)
    mk(("βeta Ünïcode", "sub1", "ж.txt"), 5)
    mk(("βeta Ünïcode", "sub2"))
    mk(("😀 smile", "z"), 0)
    mk(os.fsdecode(b"dir\xfe"))
    mk((os.fsdecode(b"dir\xfe"), "inside"), 7)
    for n in (0, 1, 1023, 1024, 1025, 3000):
        mk(f"f{n}", n)
    sparse = os.path.join(top, "sparse5g")
    with open(sparse, "wb"):
        pass
    os.truncate(sparse, 5 << 30)
    mk("naïve", 12)
    mk("emoji 😀.txt", 2)
    mk("Ωmega", 2048)
    mk(os.fsdecode(b"bad\xff"), 4)
    # Sub-100 ns digits must be dropped, and a time before 1970 rounds down.
    mk("precise", 1, mtime_ns=1_600_000_000_123_456_789)
    mk("before1970", 1, mtime_ns=-123_456_789)
    os.symlink("alpha", os.path.join(top, "link_dir"))
    os.symlink("no/such/target/anywhere", os.path.join(top, "dangling"))
    # A link's own time, distinct from its target's, shows lstat was used.
    os.utime(os.path.join(top, "link_dir"), ns=(1_000_000_000_000_000_000,) * 2,
             follow_symlinks=False)


def damage_cases(cache, good):
    """Copies of a good cache, each broken in one way that check must catch."""
    root = cache.block(ROOT_BLOCK)
    drive = root.entries[0]

    def folders_below(offset, trail):
        for e in cache.block(offset).entries:
            if e.tag == TAG_FOLDER and e.value != NO_BLOCK:
                yield e, trail + [offset]
                yield from folders_below(e.value, trail + [offset])

    deepest, trail = max(folders_below(drive.value, []), key=lambda x: len(x[1]))
    expect(len(trail) >= 3, "the test tree is too shallow to build a cycle")

    def with_value(entry, value):
        data = bytearray(good)
        value_at = entry.at + 2 + len(entry.name) + 2
        struct.pack_into("<I", data, value_at, value)
        return bytes(data)

    def cut_consistently(length):
        data = bytearray(good[:length])
        struct.pack_into("<II", data, 100, length, length)
        return bytes(data)

    expect(len(good) > 140000, f"the cache is only {len(good)} bytes, too small to truncate")
    return [
        ("truncated to 140000 bytes", good[:140000]),
        ("last block cut short by 3 bytes", good[:-3]),
        ("truncated to 140000 bytes, header made to agree", cut_consistently(140000)),
        ("folder value at the end of the file", with_value(deepest, len(good))),
        ("folder value far outside the file", with_value(deepest, 0xFFFFFFF0)),
        ("drive value outside the file", with_value(drive, len(good) + 4096)),
        ("folder points at its grandparent's block", with_value(deepest, trail[-2])),
        ("folder points at the drive's block", with_value(deepest, trail[0])),
    ]


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    binary = os.path.abspath(sys.argv[1])
    tmp = os.path.realpath(tempfile.mkdtemp(prefix="corvella-verify-"))
    failures = []

    def step(label, fn):
        try:
            fn()
            print(f"ok    {label}")
        except Mismatch as e:
            failures.append(label)
            print(f"FAIL  {label}\n      " + str(e).replace("\n", "\n      "))

    try:
        tree = os.path.join(tmp, "tree")
        os.mkdir(tree)
        make_tree(tree)
        db = os.path.join(tmp, "c.db")
        state = {}

        def one_root():
            p = run(binary, "index", "--cache", db, tree)
            expect(p.returncode == 0, f"index exits {p.returncode}\n{p.stderr}")
            *counts, state["cache"] = verify_cache(db, [tree])
            state["counts"] = counts

        step("one root: header, pre-order layout and every entry match lstat", one_root)
        if "counts" in state:
            step("check of the fresh build reports the tree's counts",
                 lambda: check_counts(binary, db, *state["counts"]))

        def two_roots():
            # Listed against alphabetical order, one of them relative and with
            # a trailing slash, so the drive name has to be canonicalised.
            zeta = os.path.join(tmp, "zeta")
            os.makedirs(os.path.join(zeta, "inner", "more"))
            with open(os.path.join(zeta, "inner", "note"), "wb") as f:
                f.write(b"n" * 2500)
            db2 = os.path.join(tmp, "two.db")
            p = run(binary, "index", "--cache", db2, "zeta/", tree, cwd=tmp)
            expect(p.returncode == 0, f"index with two roots exits {p.returncode}\n{p.stderr}")
            drives, folders, files, _ = verify_cache(db2, [zeta, tree])
            check_counts(binary, db2, drives, folders, files)

        step("two roots: drives follow the command line, layout spans both", two_roots)

        if "cache" in state:
            good = state["cache"].data
            for label, data in damage_cases(state["cache"], good):
                def damaged(data=data):
                    bad = os.path.join(tmp, "bad.db")
                    with open(bad, "wb") as f:
                        f.write(data)
                    p = run(binary, "check", "--cache", bad)
                    expect(p.returncode == 1, f"check exits {p.returncode}, not 1\n{p.stdout}")
                    expect(p.stderr.strip(), "check says nothing on stderr")
                step(f"damaged: {label}", damaged)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("the cache agrees with the independent reader")
    return 0


if __name__ == "__main__":
    sys.exit(main())
