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

import collections
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
