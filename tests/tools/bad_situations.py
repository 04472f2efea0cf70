#!/usr/bin/env python3
"""The command line in the situations an administrator or a script puts it in: a full disk, a
second reader or keeper, a damaged or half-built cache, a cache path that is no file, folders it
may not read, patterns no one meant. Each row sets its situation up in a folder of its own, runs
one command under a time limit (a hang fails the row, it does not stall the suite), and states
the outcome: the exit code, a text stderr must hold, and what must hold on disk afterwards.

Rows that need a power the test lacks (mounting a small file system, switching to an ordinary
user) say so and are skipped, never passed.

usage: bad_situations.py CORVELLA_BINARY
"""

import atexit
import collections
import fcntl
import os
import subprocess
import sys
import tempfile
import traceback

from cache_image import Mismatch, expect, make

# setup(ctx) prepares ctx.tmp and returns the command's arguments, or a str saying why the row
# cannot run here; check(ctx, proc), when given, judges what is left afterwards.
Row = collections.namedtuple("Row", "name setup code says check", defaults=(None,))
LIMIT = 60


class Context:
    def __init__(self, binary, tmp):
        self.binary, self.tmp = binary, tmp
        self.tree = os.path.join(tmp, "tree")
        self.cache = os.path.join(tmp, "cache", "c.db")

    def at(self, rel):
        return os.path.join(self.tmp, rel)

    def corvella(self, *args, **kw):
        """A command of the setup, which must succeed."""
        p = subprocess.run([self.binary, *args], capture_output=True, timeout=LIMIT, text=True,
                           **kw)
        expect(p.returncode == 0, f"setup: corvella {args} exits {p.returncode}\n{p.stderr}")
        return p

    def indexed(self, *files):
        """A small tree with its cache built: the common start of a row."""
        for rel in files or ("a/one.txt", "a/b/two.txt", "three.txt"):
            make(self.tree, rel, 10)
        self.corvella("index", "--cache", self.cache, self.tree)
        return self.cache


ROWS = []


# storage: a full disk, a second reader, and cache paths that are no cache file.

def full_disk(ctx, then=None):
    """A good cache on a 3 MiB file system with no byte left; `then` changes the tree after the
    build, so that an update has something to grow for. The mount lives outside the row's
    folder and goes when the script ends."""
    disk = tempfile.mkdtemp(prefix="corvella-disk-")
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=3m", "tmpfs", disk],
                      capture_output=True).returncode != 0:
        os.rmdir(disk)
        return None
    atexit.register(lambda: (subprocess.run(["umount", "-l", disk]), os.rmdir(disk)))
    ctx.disk = disk
    ctx.cache = os.path.join(disk, "c.db")
    ctx.indexed()
    with open(ctx.cache, "rb") as f:
        ctx.before = f.read()
    if then:
        then(ctx)
    with open(os.path.join(disk, "fill"), "wb") as f:
        try:
            while True:
                f.write(bytes(65536))
                f.flush()
        except OSError:
            pass
    return ctx.cache


def full_disk_row(command, then=None):
    def setup(ctx):
        cache = full_disk(ctx, then)
        if not cache:
            return "mounting a small file system needs root"
        return [command, "--cache", cache] + ([ctx.tree] if command != "defrag" else [])
    return setup


def cache_untouched(ctx, p):
    with open(ctx.cache, "rb") as f:
        expect(f.read() == ctx.before, "the cache file changed on a full disk")
    left = [n for n in os.listdir(ctx.disk) if n.endswith((".new", ".tmp", ".frag"))]
    expect(not left, f"working files left behind: {left}")


def read_shared(ctx):
    """A second reader holds the cache as every reader does, with a shared lock."""
    ctx.indexed()
    ctx.reader = os.open(ctx.cache, os.O_RDONLY)
    fcntl.flock(ctx.reader, fcntl.LOCK_SH | fcntl.LOCK_NB)
    return ["search", "--cache", ctx.cache, "one"]


def cache_is(kind, *command):
    """The cache path names a FIFO or a folder."""
    def setup(ctx):
        path = ctx.at("odd")
        (os.mkfifo if kind == "fifo" else os.mkdir)(path)
        return [command[0], "--cache", path, *command[1:]]
    return setup


def nothing_built_beside(ctx, p):
    expect("building" not in p.stderr, "a build started for a cache that is a folder")
    expect(sorted(os.listdir(ctx.tmp)) == ["odd"], f"left beside it: {os.listdir(ctx.tmp)}")


def empty_cache(ctx):
    os.makedirs(os.path.dirname(ctx.cache))
    open(ctx.cache, "wb").close()
    return ["search", "--cache", ctx.cache, "one"]


ROWS += [
    Row("index on a full disk", full_disk_row("index"), 2, "No space left on device",
        cache_untouched),
    Row("update that must grow on a full disk",
        full_disk_row("update", lambda ctx: [make(ctx.tree, f"new{i}.txt", 1) for i in range(50)]),
        2, "No space left on device", cache_untouched),
    Row("defrag on a full disk", full_disk_row("defrag"), 2, "No space left on device",
        cache_untouched),
    Row("search while another search reads", read_shared, 0, ""),
    Row("check of a FIFO", cache_is("fifo", "check"), 2, "not a regular file"),
    Row("search of a FIFO", cache_is("fifo", "search", "one"), 2, "not a regular file"),
    Row("search with a folder as cache", cache_is("folder", "search", "one"), 2,
        "not a regular file", nothing_built_beside),
    Row("search of an empty cache file", empty_cache, 2, "it is empty"),
]


def run_row(binary, row):
    with tempfile.TemporaryDirectory(prefix="corvella-bad-") as tmp:
        ctx = Context(binary, os.path.realpath(tmp))
        args = row.setup(ctx)
        if isinstance(args, str):
            return f"skipped: {args}"
        try:
            p = subprocess.run([binary, *args], capture_output=True, timeout=LIMIT, text=True,
                               errors="replace", stdin=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            raise Mismatch(f"corvella {args} still runs after {LIMIT}s")
        expect(p.returncode == row.code and row.says in p.stderr,
               f"corvella {args} exits {p.returncode}, wanted {row.code} saying {row.says!r}; "
               f"stderr:\n{p.stderr}")
        if row.check:
            row.check(ctx, p)
        return "ok"


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    binary = os.path.abspath(sys.argv[1])
    failed = 0
    for row in ROWS:
        try:
            outcome = run_row(binary, row)
        except Exception as e:  # one row's fault must not hide the others'
            failed += 1
            outcome = "FAILED: " + (str(e) if isinstance(e, Mismatch) else traceback.format_exc())
        print(f"{row.name}: {outcome}", flush=True)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
