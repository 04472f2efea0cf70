#!/usr/bin/env python3
"""Runs `corvella watch` over a real tree and changes the tree under it. Every change must reach
the cache, and the state file must let the next start tell a clean stop from a crash or a cut-off
build. While a watcher runs, it answers searches of its cache through its socket as the walk
would, and clients that misbehave on that socket cost it nothing.

usage: live_watch.py CORVELLA_BINARY
"""

import os
import re
import shutil
import socket
import struct
import subprocess
import sys

from cache_image import (SETTLE, Keeper, Mismatch, expect, make, mark_build_cut_off, run, tool,
                         wait_until)

IN_USE = ("Can not open dat file! File may be used by another program or does not exists! "
          "In CQueryer::InitTraverse - 000")
BY_KEEPER = re.compile(r"^corvella: answered by the keeper \(cache generation \d+\)$")
BY_WALK = "corvella: answered by walking the cache file"
ANSWERED_BY = []  # "keeper" or "walk" for each search


def search(binary, cache, *args):
    """The result lines, or None when the cache file was in use. Anything else, a damaged cache
    above all, is a failure. Notes who answered in ANSWERED_BY."""
    p = run(binary, "search", "-v", "--cache", cache, *args, text=True, errors="replace")
    err = p.stderr.splitlines()
    by = "keeper" if err and BY_KEEPER.match(err[-1]) else "walk" if err[-1:] == [BY_WALK] else ""
    expect(by, f"search {args} does not say who answered:\n{p.stderr}")
    ANSWERED_BY.append(by)
    # The fixed text, then the file and the system's reason on a line of their own.
    if p.returncode == 2 and err[:1] == [IN_USE]:
        return None
    expect(p.returncode in (0, 1) and len(err) == 1,
           f"search {args} exits {p.returncode}\n{p.stdout}{p.stderr}")
    return p.stdout.splitlines()


def request(cache, pattern):
    """The frame of a search request as `corvella search --count PATTERN` sends it."""
    def text(s):
        units = s.encode("utf-16-le")
        return struct.pack("<I", len(units) // 2) + units
    body = (b"CVQ\x01" + struct.pack("<IBIIIQQ", 1, 0, 1, 0, 0, 0, 0) + text(cache) +
            text(pattern) + text("My Computer") + text("[FILEDIR][FILENAME]"))
    return struct.pack("<I", len(body)) + body


def connect(path):
    s = socket.socket(socket.AF_UNIX)
    s.connect(path)  # blocking: a Unix socket's full queue refuses a non-blocking connect
    s.settimeout(SETTLE)
    return s


def hostile_clients(binary, cache, path):
    """Garbage, a length past every bound, a client gone mid-answer and more idle clients than
    the keeper serves at once: each costs its own connection only, and the keeper answers the
    next search. Catches a parse that trusts the peer, a SIGPIPE that kills the keeper, and an
    accepting loop that waits on a client."""
    for sent in (b"garbage, not a frame at all", struct.pack("<I", 0xFFFFFFFF) + b"x" * 64,
                 request(cache, "*")[:-3]):
        with connect(path) as s:
            s.sendall(sent)
            s.shutdown(socket.SHUT_WR)
            expect(s.recv(16) == b"", f"the keeper answered {sent[:16]!r}")
    for _ in range(20):  # each gone before its answer, some with the answer half sent
        with connect(path) as s:
            try:
                s.sendall(request(cache, "*"))
            except OSError:  # past the connections served at once: closed at once
                pass
    idle = [connect(path) for _ in range(20)]
    try:
        expect(search(binary, cache, "--count", "*") is not None, "a search beside idle clients")
    finally:
        for s in idle:
            s.close()
    wait_until("the keeper answers again", lambda: (
        search(binary, cache, "--count", "*") is not None and ANSWERED_BY[-1] == "keeper",
        ANSWERED_BY[-3:]))


def other_user_refused(cache, path):
    """Run as root: with every folder on the way and the socket opened to all, a process of
    another user connects but gets no answer. Catches a keeper that trusts the folder alone."""
    opened = [path]
    folder = os.path.dirname(path)
    while folder != os.path.dirname(folder) and folder not in ("/tmp", "/"):
        opened.append(folder)
        folder = os.path.dirname(folder)
    modes = {p: os.stat(p).st_mode & 0o777 for p in opened}
    try:
        for p in opened:
            os.chmod(p, 0o777 if p == path else 0o711)
        pid = os.fork()
        if pid == 0:
            code = 2  # could not even connect
            try:
                os.setgid(65534)
                os.setuid(65534)
                with connect(path) as s:
                    code = 0
                    s.sendall(request(cache, "*"))
                    code = 0 if s.recv(16) == b"" else 1
            except OSError:  # connected, and cut off by the keeper
                pass
            os._exit(code)
        code = os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])
    finally:
        for p, mode in modes.items():
            os.chmod(p, mode)
    expect(code == 0, "another user's request was " + ("answered" if code == 1 else
                                                         "not even made"))


def same_as_walk(binary, cache, cwd):
    """The keeper's answers equal the walk's, stdout, stderr and exit code, where the asker's
    folder and time zone must count, not the keeper's. Catches a request that leaves anything
    of the asker's for the keeper to settle."""
    # Written at 2020-06-15 12:00 UTC: the 16th where the asker lives, the 15th for the keeper.
    make(cwd, "dated/written-in-june.txt", 1, 1592222400 * 10**9)
    wait_until("the dated file is in the cache", lambda: (
        (got := search(binary, cache, "written-in-june")) is not None and len(got) == 1, got))
    env = {**os.environ, "TZ": "Etc/GMT-14"}
    for args in (["--in", "dst", "--sort", "name", "--format", "[FILENAME] in [FILEDIR]", "*"],
                 ["--in", "../tree/dst", "--folders", "--no-subdirs", "*"],
                 ["--modified-from", "2020-06-16", "--modified-to", "2020-06-16", "june"],
                 ["--in", "no-such-folder", "a"], ["--files", "zqxjv-nothing"]):
        walked = run(binary, "search", "--cache", cache, *args, cwd=cwd,
                     env={**env, "CORVELLA_NO_KEEPER": "1"})
        served = run(binary, "search", "-v", "--cache", cache, *args, cwd=cwd, env=env)
        err = served.stderr.splitlines()
        expect(err and BY_KEEPER.match(err[-1].decode()), f"{args} not served: {served}")
        expect(walked.stdout or walked.returncode, f"{args} finds nothing: {walked}")
        expect((served.returncode, served.stdout, b"".join(l + b"\n" for l in err[:-1])) ==
               (walked.returncode, walked.stdout, walked.stderr),
               f"{args}: the keeper says {served}\nthe walk says {walked}")


def main(binary, tmp):
    # The keeper's sockets in a folder of the test's own.
    os.environ["XDG_RUNTIME_DIR"] = os.path.join(tmp, "run")
    os.mkdir(os.environ["XDG_RUNTIME_DIR"], 0o700)
    tree = os.path.join(tmp, "tree")
    cache = os.path.join(tmp, "watched", "w.db")  # the state file lies beside it
    watches = []
    at = lambda rel: os.path.join(tree, rel)

    def start(says=None):
        """A watcher; says "" when it must not rebuild, else what it must say of rebuilding."""
        watches.append(Keeper(binary, cache, tree, "-v"))
        said = watches[-1].said()
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
        make(tree, "doomed/doomed-sub/doomed-leaf.txt", 1)
        make(tree, "dst")

        label = "first start builds the cache, then every change reaches it"
        watch = start()
        # The folders come into being with their file at once, before any watch is on them.
        make(tree, "dst/nest/inner/nested-file.txt", 1)
        shows("nested-file", "dst/nest/inner/nested-file.txt")
        make(tree, "dst/nest/inner/later.txt", 1)  # only a watch on the new folder sees this one
        shows("later.txt", "dst/nest/inner/later.txt")
        shutil.rmtree(at("doomed"))
        shows("doomed")

        label = "the watcher says where it answers searches"
        sock = re.search(r"^corvella: answering searches at (.*)$", watch.said(), re.M)
        expect(sock, f"the watcher does not say where it answers:\n{watch.said()}")
        sock = sock.group(1)

        label = "the watcher answers as the walk does, by the asker's folder and time zone"
        same_as_walk(binary, cache, tree)

        label = "clients that misbehave on the socket cost the watcher nothing"
        hostile_clients(binary, cache, sock)
        if os.geteuid() == 0:
            other_user_refused(cache, sock)

        # The state file's part is proven by the next start, which must not rebuild.
        label = "Ctrl+C ends the watcher cleanly"
        watch.interrupt()
        expect(run(binary, "check", "--cache", cache).returncode == 0, "check of the watched "
               "cache fails")

        label = "after a clean stop the next start does not rebuild; after a crash it does"
        start(says="").kill()
        start(says="the last run ended abnormally; building the cache again.").interrupt()

        label = "a build the state file says was cut off is done again"
        mark_build_cut_off(cache)
        make(tree, "made-while-cut-off.txt", 1)
        watch = start(says="the last build did not finish; building the cache again.")
        shows("made-while-cut-off", "made-while-cut-off.txt")
        watch.interrupt()
    except (Mismatch, subprocess.TimeoutExpired) as e:
        last = watches[-1].said() if watches else ""
        raise Mismatch(f"{label}\n{e}\nthe last watcher's stderr:\n{last}") from e
    finally:
        for w in watches:
            w.kill()
    print("every change reached the cache, and the state file told each start what it needed")


if __name__ == "__main__":
    sys.exit(tool(__doc__, main))
