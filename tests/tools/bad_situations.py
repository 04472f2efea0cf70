#!/usr/bin/env python3
"""The command line in the situations an administrator or a script puts it in: a full disk, a
damaged or half-built cache, a build running now, a cache path that is no file. Each row sets its
situation up in a folder of its own, runs one command under a time limit (a hang fails the row,
it does not stall the suite), and states the outcome: the exit code, a text stderr must hold, and
what must hold on disk afterwards.

usage: bad_situations.py CORVELLA_BINARY
"""

import atexit
import collections
import fcntl
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import traceback

from cache_image import (Keeper, Mismatch, expect, make, mark_build_cut_off, run, tool,
                         wait_until)

# setup(ctx) prepares ctx.tmp and returns the command's arguments; check(ctx, proc), when given,
# judges what is left afterwards.
Row = collections.namedtuple("Row", "name setup code says check", defaults=(None,))
LIMIT = 60


class Context:
    def __init__(self, binary, tmp):
        self.binary, self.tmp = binary, tmp
        self.tree = os.path.join(tmp, "tree")
        self.cache = os.path.join(tmp, "cache", "c.db")

    def indexed(self):
        """A small tree with its cache built: the common start of a row."""
        for rel in ("a/one.txt", "a/b/two.txt", "three.txt"):
            make(self.tree, rel, 10)
        p = run(self.binary, "index", "--cache", self.cache, self.tree, text=True)
        expect(p.returncode == 0, f"setup: index exits {p.returncode}\n{p.stderr}")


ROWS = []


# keeper: one keeper per cache, healing what it keeps, builds cut off or running.

def cut_off(ctx, command="search"):
    """A cache whose state file says its build did not end, with a file added after it."""
    ctx.indexed()
    mark_build_cut_off(ctx.cache)
    make(ctx.tree, "late.txt", 10)
    return [command, "--cache", ctx.cache] + (["late.txt"] if command == "search" else [])


def held_by_a_build(ctx):
    """A cut-off state while another process holds the keeper's lock: a build running now."""
    args = cut_off(ctx)
    ctx.lock = open(ctx.cache + ".keeper", "w")
    fcntl.flock(ctx.lock, fcntl.LOCK_EX)
    ctx.lock.write("4242\n")
    ctx.lock.flush()
    return args


def keeper_started_on_damage(ctx):
    ctx.indexed()
    os.truncate(ctx.cache, os.path.getsize(ctx.cache) - 64)
    ctx.keeper = Keeper(ctx.binary, ctx.cache, ctx.tree)
    return ["check", "--cache", ctx.cache]


def keeper_meets_damage(ctx):
    """A running keeper whose cache is cut short; the row's search waits for the rebuild."""
    ctx.indexed()
    ctx.keeper = Keeper(ctx.binary, ctx.cache, ctx.tree)
    os.truncate(ctx.cache, os.path.getsize(ctx.cache) - 64)
    make(ctx.tree, "a/after.txt", 10)
    ctx.keeper.wait_for("building the cache again")
    wait_until("a whole cache after the rebuild", lambda: (subprocess.run(
        [ctx.binary, "check", "--cache", ctx.cache], capture_output=True).returncode == 0,
        ctx.keeper.said()))
    return ["search", "--cache", ctx.cache, "after.txt"]


def healed_once(ctx, p):
    said = ctx.keeper.kill()
    expect("after.txt" in p.stdout and said.count("building the cache again") == 1,
           f"the keeper should rebuild once and say so:\n{said}")


def second_keeper(ctx):
    ctx.indexed()
    ctx.keeper = Keeper(ctx.binary, ctx.cache, ctx.tree)
    return ["watch", "--cache", ctx.cache, ctx.tree]


ROWS += [
    Row("keeper: rebuilds the damaged cache it starts on", keeper_started_on_damage, 0, "",
        lambda ctx, p: expect("damaged" in ctx.keeper.kill(), "the keeper did not say so")),
    Row("keeper: heals a cache cut short while it runs, once", keeper_meets_damage, 0, "",
        healed_once),
    Row("keeper: a second keeper names the first and leaves", second_keeper, 2,
        "is kept by process",
        lambda ctx, p: expect(f"process {ctx.keeper.proc.pid}" in p.stderr
                              and ctx.keeper.proc.poll() is None, "the first keeper must stay")),
    Row("search: a cut-off build is reported and built first", cut_off, 0, "did not finish"),
    Row("check: a cut-off build is reported", lambda ctx: cut_off(ctx, "check"), 1,
        "did not finish"),
    Row("search: a build running now is a cache in use", held_by_a_build, 2, "4242 is building"),
]


# storage: a full disk, and a cache path that is no regular file.

def full_disk(command, then=None):
    """The command on a good cache on a 3 MiB file system with no byte left; `then` changes the
    tree after the build, so that an update has something to grow for. The mount lives outside
    the row's folder and goes when the script ends. Where mounting is not allowed, a limit on the
    size of any file the command writes (no larger than the cache) gives it the same short write."""
    def setup(ctx):
        disk = tempfile.mkdtemp(prefix="corvella-disk-")
        try:
            mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=3m", "tmpfs", disk],
                                     capture_output=True).returncode == 0
        except OSError:
            mounted = False
        atexit.register(lambda: (mounted and subprocess.run(["umount", "-l", disk]),
                                 shutil.rmtree(disk, ignore_errors=True)))
        ctx.disk = disk
        ctx.cache = os.path.join(disk, "c.db")
        ctx.indexed()
        with open(ctx.cache, "rb") as f:
            ctx.before = f.read()
        if then:
            then(ctx)
        if not mounted:
            limit = len(ctx.before)
            ctx.preexec = lambda: (signal.signal(signal.SIGXFSZ, signal.SIG_IGN),
                                   resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit)))
        else:
            with open(os.path.join(disk, "fill"), "wb") as f:
                try:
                    while True:
                        f.write(bytes(65536))
                        f.flush()
                except OSError:
                    pass
        return [command, "--cache", ctx.cache] + ([ctx.tree] if command != "defrag" else [])
    return setup


NO_ROOM = ("No space left on device", "File too large")


def cache_untouched(ctx, p):
    with open(ctx.cache, "rb") as f:
        expect(f.read() == ctx.before, "the cache file changed on a full disk")
    left = [n for n in os.listdir(ctx.disk) if n.endswith((".new", ".tmp", ".frag"))]
    expect(not left, f"working files left behind: {left}")


def fifo_cache(ctx):
    """The cache path names a FIFO, which an open would wait on for a writer."""
    path = os.path.join(ctx.tmp, "odd")
    os.mkfifo(path)
    return ["check", "--cache", path]


ROWS += [
    Row("index on a full disk", full_disk("index"), 2, NO_ROOM, cache_untouched),
    Row("update that must grow on a full disk",
        full_disk("update", lambda ctx: [make(ctx.tree, f"new{i}.txt", 1) for i in range(50)]),
        2, NO_ROOM, cache_untouched),
    Row("defrag on a full disk", full_disk("defrag"), 2, NO_ROOM, cache_untouched),
    Row("check of a FIFO", fifo_cache, 2, "not a regular file"),
]


def run_row(binary, row):
    with tempfile.TemporaryDirectory(prefix="corvella-bad-") as tmp:
        ctx = Context(binary, os.path.realpath(tmp))
        args = row.setup(ctx)
        try:
            p = subprocess.run([binary, *args], capture_output=True, timeout=LIMIT, text=True,
                               errors="replace", stdin=subprocess.DEVNULL,
                               preexec_fn=getattr(ctx, "preexec", None))
        except subprocess.TimeoutExpired:
            raise Mismatch(f"corvella {args} still runs after {LIMIT}s")
        says = (row.says,) if isinstance(row.says, str) else row.says
        expect(p.returncode == row.code and any(text in p.stderr for text in says),
               f"corvella {args} exits {p.returncode}, wanted {row.code} saying {row.says!r}; "
               f"stderr:\n{p.stderr}")
        if row.check:
            row.check(ctx, p)
        return "ok"


def main(binary, _):
    failed = 0
    for row in ROWS:
        try:
            outcome = run_row(binary, row)
        except Exception as e:  # one row's fault must not hide the others'
            failed += 1
            outcome = "FAILED: " + (str(e) if isinstance(e, Mismatch) else traceback.format_exc())
        print(f"{row.name}: {outcome}", flush=True)
    return failed


if __name__ == "__main__":
    sys.exit(tool(__doc__, main))
