#!/usr/bin/env python3
"""Runs `corvella watch` over a real tree and changes the tree under it. Every
change must reach the cache; searches from other processes meanwhile must either
answer or say that the cache file is in use; and the state file must let the next
start tell a clean stop from a crash or a cut-off build.

usage: live_watch.py CORVELLA_BINARY
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

RUN_TIMEOUT = 120  # one command
SETTLE = 20  # a change reaching the cache, a watcher starting or stopping
IN_USE = ("Can not open dat file! File may be used by another program or does not exists! "
          "In CQueryer::InitTraverse - 000")
COUNT_LINE = re.compile(r"^[\d,]+ items found \([\d,]+KB\)$")


class Mismatch(Exception):
    pass


def expect(cond, what):
    if not cond:
        raise Mismatch(what)


def run(binary, *args):
    try:
        p = subprocess.run([binary, *args], capture_output=True, text=True, errors="replace",
                           timeout=RUN_TIMEOUT)
    except subprocess.TimeoutExpired:
        raise Mismatch(f"corvella {' '.join(args)} did not finish in {RUN_TIMEOUT}s")
    expect(0 <= p.returncode < 128,
           f"corvella {' '.join(args)} crashed (exit {p.returncode})\n{p.stderr}")
    return p


def search(binary, cache, *args):
    """The result lines, or None when the cache file was in use. Anything else,
    a damaged cache above all, is a failure."""
    p = run(binary, "search", "--cache", cache, *args)
    if p.returncode == 2 and p.stderr.strip() == IN_USE:
        return None
    expect(p.returncode in (0, 1) and not p.stderr,
           f"search {' '.join(args)} exits {p.returncode}\n{p.stdout}{p.stderr}")
    return p.stdout.splitlines()


def wait_until(what, probe):
    """Polls probe() until it returns true; the last value it returned is shown
    when it never does."""
    deadline = time.monotonic() + SETTLE
    last = None
    while time.monotonic() < deadline:
        ok, last = probe()
        if ok:
            return
        time.sleep(0.1)
    raise Mismatch(f"{what}: not so after {SETTLE}s; last seen: {last!r}")


def read_state(cache):
    with open(os.path.join(os.path.dirname(cache), "stateinfo.ini"), encoding="utf-8") as f:
        return dict(re.findall(r"^(\w+)=(.*?)\s*$", f.read(), re.M))


class Watch:
    """`corvella watch` in the background, its stderr collected line by line."""

    def __init__(self, binary, cache, tree):
        self.proc = subprocess.Popen([binary, "watch", "--cache", cache, "-v", tree],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE, text=True, errors="replace")
        self.lines = []
        self.changed = threading.Condition()
        threading.Thread(target=self._collect, daemon=True).start()

    def _collect(self):
        for line in self.proc.stderr:
            with self.changed:
                self.lines.append(line.rstrip("\n"))
                self.changed.notify_all()
        with self.changed:  # the end of the output: a waiter need not wait any longer
            self.changed.notify_all()

    def stderr(self):
        with self.changed:
            return "\n".join(self.lines)

    def wait_watching(self):
        with self.changed:
            self.changed.wait_for(
                lambda: self.proc.poll() is not None or
                any(line.startswith("corvella: watching ") for line in self.lines), SETTLE)
        expect("corvella: watching " in self.stderr(),
               f"watch never said it was watching (exit {self.proc.poll()})\n{self.stderr()}")

    def interrupt(self):
        self.proc.send_signal(signal.SIGINT)
        try:
            code = self.proc.wait(SETTLE)
        except subprocess.TimeoutExpired:
            raise Mismatch(f"watch did not end within {SETTLE}s of Ctrl+C\n{self.stderr()}")
        expect(code == 0, f"watch exits {code} after Ctrl+C\n{self.stderr()}")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()


class Hammer:
    """Counts searches in a tight loop, each its own process, and keeps every
    answer that is neither a count nor the in-use message."""

    def __init__(self, binary, cache):
        self.binary, self.cache = binary, cache
        self.answered = self.in_use = 0
        self.faults = []
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self._loop, daemon=True)
        self.thread.start()

    def _loop(self):
        while not self.stop.is_set():
            try:
                lines = search(self.binary, self.cache, "--count", "*")
            except Mismatch as e:
                self.faults.append(str(e))
                continue
            if lines is None:
                self.in_use += 1
            elif len(lines) == 1 and COUNT_LINE.match(lines[0]):
                self.answered += 1
            else:
                self.faults.append(f"search --count printed {lines!r}")

    def finish(self):
        self.stop.set()
        self.thread.join()
        expect(not self.faults,
               "searches beside the watcher failed:\n" + "\n".join(self.faults[:5]))
        expect(self.answered > 0, f"no search beside the watcher answered ({self.in_use} in use)")


def make_tree(tree):
    for rel, text in (("keep.txt", "k"), ("old-name.txt", "o"), ("src/moving.bin", "m" * 3000),
                      ("gone.txt", "g"), ("doomed/doomed-top.txt", "t"),
                      ("doomed/doomed-sub/doomed-deep/doomed-leaf.txt", "l")):
        path = os.path.join(tree, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)
    os.makedirs(os.path.join(tree, "dst"))


def write(path, text="x"):
    with open(path, "w") as f:
        f.write(text)


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    binary = os.path.abspath(sys.argv[1])
    tmp = os.path.realpath(tempfile.mkdtemp(prefix="corvella-watch-"))
    tree = os.path.join(tmp, "tree")
    # Each cache in a folder of its own: the state file lies beside the cache.
    cache = os.path.join(tmp, "watched", "w.db")
    fresh = os.path.join(tmp, "fresh", "f.db")
    watches = []
    hammers = []

    def start():
        watches.append(Watch(binary, cache, tree))
        watches[-1].wait_watching()
        return watches[-1]

    def shows(pattern, *rels):
        want = sorted(os.path.join(tree, r) for r in rels)

        def probe():
            got = search(binary, cache, pattern)
            return got is not None and sorted(got) == want, got

        wait_until(f"search '{pattern}' gives {want}", probe)

    label = "setup"
    try:
        make_tree(tree)

        label = "first start builds the cache, then every change reaches it"
        watch = start()
        hammer = Hammer(binary, cache)
        hammers.append(hammer)
        shows("keep.txt", "keep.txt")
        # The folders come into being with their file at once, before any watch is on them.
        write(os.path.join(tree, "fresh-file.txt"))
        os.makedirs(os.path.join(tree, "nest", "inner"))
        write(os.path.join(tree, "nest", "inner", "nested-file.txt"))
        shows("fresh-file", "fresh-file.txt")
        shows("nested-file", "nest/inner/nested-file.txt")
        # Only a watch on the new folder itself sees this one.
        write(os.path.join(tree, "nest", "inner", "later.txt"))
        shows("later.txt", "nest/inner/later.txt")
        os.rename(os.path.join(tree, "old-name.txt"), os.path.join(tree, "new-name.txt"))
        shows("name.txt", "new-name.txt")
        os.rename(os.path.join(tree, "src", "moving.bin"), os.path.join(tree, "dst", "moving.bin"))
        shows("moving.bin", "dst/moving.bin")
        # A folder moved with its tree: changes inside it must be told by its new path.
        os.rename(os.path.join(tree, "nest"), os.path.join(tree, "dst", "nest-moved"))
        shows("later.txt", "dst/nest-moved/inner/later.txt")
        write(os.path.join(tree, "dst", "nest-moved", "inner", "after-move.txt"))
        shows("after-move", "dst/nest-moved/inner/after-move.txt")
        os.remove(os.path.join(tree, "gone.txt"))
        shows("gone.txt")
        shutil.rmtree(os.path.join(tree, "doomed"))
        shows("doomed")

        label = "the watched cache counts what a fresh build of the tree counts"
        p = run(binary, "index", "--cache", fresh, tree)
        expect(p.returncode == 0, f"index exits {p.returncode}\n{p.stderr}")
        want = run(binary, "search", "--cache", fresh, "--count", "*").stdout.strip()

        def same_count():
            got = search(binary, cache, "--count", "*")
            return got == [want], got

        wait_until(f"the count is {want!r}", same_count)

        label = "searches beside the watcher answer or say the file is in use"
        hammer.finish()

        label = "Ctrl+C ends the watcher cleanly and the state file says so"
        watch.interrupt()
        state = read_state(cache)
        expect(state.get("ProgramExit") == "TRUE" and state.get("UpdateCacheExit") == "TRUE",
               f"state after Ctrl+C: {state}")
        p = run(binary, "check", "--cache", cache)
        expect(p.returncode == 0, f"check of the watched cache exits {p.returncode}\n{p.stderr}")

        label = "after a clean stop the next start does not rebuild; after a crash it does"
        watch = start()
        expect("building the cache again" not in watch.stderr(),
               f"a start after a clean stop rebuilds:\n{watch.stderr()}")
        watch.kill()
        expect(read_state(cache).get("ProgramExit") == "FALSE",
               f"a running watcher's state: {read_state(cache)}")
        write(os.path.join(tree, "made-while-crashed.txt"))
        watch = start()
        expect("the last run ended abnormally; building the cache again." in watch.stderr(),
               f"a start after a crash says:\n{watch.stderr()}")
        shows("made-while-crashed", "made-while-crashed.txt")
        watch.interrupt()

        label = "a build the state file says was cut off is done again"
        state_path = os.path.join(os.path.dirname(cache), "stateinfo.ini")
        with open(state_path, encoding="utf-8") as f:
            text = f.read()
        with open(state_path, "w", encoding="utf-8") as f:
            f.write(text.replace("UpdateCacheExit=TRUE", "UpdateCacheExit=FALSE"))
        expect(read_state(cache).get("UpdateCacheExit") == "FALSE", "the state file was not edited")
        write(os.path.join(tree, "made-while-cut-off.txt"))
        watch = start()
        expect("the last build did not finish; building the cache again." in watch.stderr(),
               f"a start after a cut-off build says:\n{watch.stderr()}")
        shows("made-while-cut-off", "made-while-cut-off.txt")
        watch.interrupt()
        expect(read_state(cache).get("UpdateCacheExit") == "TRUE",
               f"state after the rebuild: {read_state(cache)}")
    except Mismatch as e:
        print(f"FAIL  {label}\n      " + str(e).replace("\n", "\n      "))
        if watches:
            print("      the last watcher's stderr:\n      " +
                  watches[-1].stderr().replace("\n", "\n      "))
        return 1
    finally:
        for h in hammers:
            h.stop.set()
            h.thread.join()
        for w in watches:
            w.kill()
        shutil.rmtree(tmp, ignore_errors=True)
    print("every change reached the cache, and the state file told each start what it needed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
