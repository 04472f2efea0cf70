#!/usr/bin/env python3
"""Runs `corvella watch` over a real tree and changes the tree under it. Every change must reach
the cache; searches from other processes meanwhile must either answer or say that the cache file
is in use; and the state file must let the next start tell a clean stop from a crash or a cut-off
build.

usage: live_watch.py CORVELLA_BINARY
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

from cache_image import Mismatch, expect, make, run, tool

SETTLE = 20  # a change reaching the cache, a watcher starting or stopping
IN_USE = ("Can not open dat file! File may be used by another program or does not exists! "
          "In CQueryer::InitTraverse - 000")
COUNT_LINE = re.compile(r"^[\d,]+ items found \([\d,]+KB\)$")


def search(binary, cache, *args):
    """The result lines, or None when the cache file was in use. Anything else, a damaged cache
    above all, is a failure."""
    p = run(binary, "search", "--cache", cache, *args, text=True, errors="replace")
    # The fixed text, then the file and the system's reason on a line of their own.
    if p.returncode == 2 and p.stderr.splitlines()[:1] == [IN_USE]:
        return None
    expect(p.returncode in (0, 1) and not p.stderr,
           f"search {args} exits {p.returncode}\n{p.stdout}{p.stderr}")
    return p.stdout.splitlines()


def wait_until(what, probe):
    """Polls probe() -> (done, what it saw) until done; shows the last sight when it never is."""
    deadline = time.monotonic() + SETTLE
    while True:
        ok, last = probe()
        if ok:
            return
        if time.monotonic() > deadline:
            raise Mismatch(f"{what}: not so after {SETTLE}s; last seen: {last!r}")
        time.sleep(0.1)


def state_path(cache):
    return os.path.join(os.path.dirname(cache), "stateinfo.ini")


def read_state(cache):
    with open(state_path(cache), encoding="utf-8") as f:
        return dict(re.findall(r"^(\w+)=(.*?)\s*$", f.read(), re.M))


class Watch:
    """`corvella watch` in the background, its stderr collected line by line."""

    def __init__(self, binary, cache, tree):
        self.proc = subprocess.Popen([binary, "watch", "--cache", cache, "-v", tree],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE, text=True, errors="replace")
        self.lines = []
        threading.Thread(target=lambda: self.lines.extend(self.proc.stderr), daemon=True).start()
        wait_until("watch says it is watching", lambda: (
            self.proc.poll() is not None or "corvella: watching " in self.stderr(),
            self.stderr()))
        expect(self.proc.poll() is None, f"watch ended ({self.proc.poll()})\n{self.stderr()}")

    def stderr(self):
        return "".join(self.lines)

    def interrupt(self):
        self.proc.send_signal(signal.SIGINT)
        code = self.proc.wait(SETTLE)  # a TimeoutExpired fails the test
        expect(code == 0, f"watch exits {code} after Ctrl+C\n{self.stderr()}")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()


class Hammer:
    """Searches in a tight loop in a thread of its own, each search its own process, until
    stopped; counts the answers and in-use replies and keeps every other reply."""

    def __init__(self, binary, cache, *args):
        self.seen = {"answered": [], "in use": [], "faults": []}
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.loop, args=(binary, cache, args), daemon=True)

    def loop(self, binary, cache, args):
        while not self.stop.is_set():
            try:
                lines = search(binary, cache, *args)
            except (Mismatch, subprocess.TimeoutExpired) as e:
                lines = [str(e)]
            self.seen["in use" if lines is None else "answered" if len(lines) == 1 and
                      COUNT_LINE.match(lines[0]) else "faults"].append(lines)

    def halt(self):
        self.stop.set()
        if self.thread.is_alive():
            self.thread.join()

    def finish(self):
        self.halt()
        seen = self.seen
        expect(seen["answered"] and not seen["faults"], f"{len(seen['answered'])} answered, "
               f"{len(seen['in use'])} in use, faults {seen['faults'][:5]}")


def main(binary, tmp):
    tree = os.path.join(tmp, "tree")
    # Each cache in a folder of its own: the state file lies beside the cache.
    cache = os.path.join(tmp, "watched", "w.db")
    fresh = os.path.join(tmp, "fresh", "f.db")
    watches, beside = [], Hammer(binary, cache, "--count", "*")
    at = lambda rel: os.path.join(tree, rel)

    def start(says=None):
        """A watcher; says "" when it must not rebuild, else what it must say of rebuilding."""
        watches.append(Watch(binary, cache, tree))
        said = watches[-1].stderr()
        if says is not None:
            expect(says in said if says else "building the cache again" not in said,
                   f"a start should {f'say {says!r}' if says else 'not rebuild'}, says:\n{said}")
        return watches[-1]

    def shows(pattern, *rels):
        want = sorted(map(at, rels))
        wait_until(f"search '{pattern}' gives {want}", lambda: (
            (got := search(binary, cache, pattern)) is not None and sorted(got) == want, got))

    label = "setup"
    try:
        for rel in ("keep.txt", "old-name.txt", "src/moving.bin", "gone.txt",
                    "doomed/doomed-top.txt", "doomed/doomed-sub/doomed-deep/doomed-leaf.txt"):
            make(tree, rel, 1)
        make(tree, "dst")

        label = "first start builds the cache, then every change reaches it"
        watch = start()
        beside.thread.start()
        shows("keep.txt", "keep.txt")
        # The folders come into being with their file at once, before any watch is on them.
        make(tree, "fresh-file.txt", 1)
        make(tree, "nest/inner/nested-file.txt", 1)
        shows("fresh-file", "fresh-file.txt")
        shows("nested-file", "nest/inner/nested-file.txt")
        make(tree, "nest/inner/later.txt", 1)  # only a watch on the new folder itself sees this one
        shows("later.txt", "nest/inner/later.txt")
        os.rename(at("old-name.txt"), at("new-name.txt"))
        shows("name.txt", "new-name.txt")
        os.rename(at("src/moving.bin"), at("dst/moving.bin"))
        shows("moving.bin", "dst/moving.bin")
        # A folder moved with its tree: changes inside it must be told by its new path.
        os.rename(at("nest"), at("dst/nest-moved"))
        shows("later.txt", "dst/nest-moved/inner/later.txt")
        make(tree, "dst/nest-moved/inner/after-move.txt", 1)
        shows("after-move", "dst/nest-moved/inner/after-move.txt")
        os.remove(at("gone.txt"))
        shows("gone.txt")
        shutil.rmtree(at("doomed"))
        shows("doomed")

        label = "the watched cache counts what a fresh build of the tree counts"
        expect(run(binary, "index", "--cache", fresh, tree).returncode == 0, "index failed")
        want = search(binary, fresh, "--count", "*")
        wait_until(f"the count is {want}", lambda: (
            (got := search(binary, cache, "--count", "*")) == want, got))

        label = "searches beside the watcher answer or say the file is in use"
        beside.finish()

        label = "between applies, two searches at once never shut each other out"
        pair = [Hammer(binary, cache, "--count", "*") for _ in range(2)]
        for h in pair:
            h.thread.start()
        time.sleep(2)
        for h in pair:
            h.finish()
        expect(not any(h.seen["in use"] for h in pair), "searches refused each other: " +
               ", ".join(f"{len(h.seen['in use'])} of {len(h.seen['answered'])}" for h in pair))

        label = "Ctrl+C ends the watcher cleanly and the state file says so"
        watch.interrupt()
        state = read_state(cache)
        expect(state.get("ProgramExit") == state.get("UpdateCacheExit") == "TRUE",
               f"state after Ctrl+C: {state}")
        expect(run(binary, "check", "--cache", cache).returncode == 0, "check of the watched "
               "cache fails")

        label = "after a clean stop the next start does not rebuild; after a crash it does"
        start(says="").kill()
        expect(read_state(cache).get("ProgramExit") == "FALSE",
               f"a running watcher's state: {read_state(cache)}")
        make(tree, "made-while-crashed.txt", 1)
        watch = start(says="the last run ended abnormally; building the cache again.")
        shows("made-while-crashed", "made-while-crashed.txt")
        watch.interrupt()

        label = "a build the state file says was cut off is done again"
        with open(state_path(cache), encoding="utf-8") as f:
            text = f.read()
        with open(state_path(cache), "w", encoding="utf-8") as f:
            f.write(text.replace("UpdateCacheExit=TRUE", "UpdateCacheExit=FALSE"))
        make(tree, "made-while-cut-off.txt", 1)
        watch = start(says="the last build did not finish; building the cache again.")
        shows("made-while-cut-off", "made-while-cut-off.txt")
        watch.interrupt()
        expect(read_state(cache).get("UpdateCacheExit") == "TRUE",
               f"state after the rebuild: {read_state(cache)}")
    except (Mismatch, subprocess.TimeoutExpired) as e:
        last = watches[-1].stderr() if watches else ""
        raise Mismatch(f"{label}\n{e}\nthe last watcher's stderr:\n{last}") from e
    finally:
        beside.halt()
        for w in watches:
            w.kill()
    print("every change reached the cache, and the state file told each start what it needed")


if __name__ == "__main__":
    sys.exit(tool(__doc__, main))
