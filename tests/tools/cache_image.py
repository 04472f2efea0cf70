"""The cache file's layout, written from its description (a header, the drive list at offset 132,
folder blocks from offset 131072 of u32 capacity, records of u16 tag | UTF-16 name | NUL | u32
value | u64 time, and a u16 end tag) and never from the program's code: the tools that check the
program read and write images only through this module, so a fault that the program's own writer
and reader share cannot hide itself from them.

Names are str as the file system gives them to Python: a unit that is not valid UTF-16 on its own
(a lone surrogate, as an undecodable byte becomes through surrogateescape) stays one character.
The tools' shared plumbing (making a tree, running the program, a tool's frame) lives at the end.
"""

import atexit
import collections
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time

DATA_END, FILE_SIZE, FREE_HEAD = 100, 104, 128
ROOT_BLOCK, FIRST_BLOCK = 132, 131072
NO_BLOCK = 0xFFFFFFFF
TAG_FILE, TAG_FOLDER, TAG_REMOVED = 1, 2, 3
FILETIME_1970 = 116444736000000000
SETTLE = 30  # a change reaching the cache, a keeper starting, stopping or rebuilding


class Mismatch(Exception):
    pass


def expect(cond, what):
    if not cond:
        raise Mismatch(what)


# at: the record's offset; value_at: its value field's, for writers that patch one value.
Entry = collections.namedtuple("Entry", "tag name value time at value_at")
# used: the bytes the records and the end tag take, which a fresh build makes the capacity.
Block = collections.namedtuple("Block", "offset capacity used entries")


def kib(size):
    """A file's size as the cache counts it: 0, else whole KiB plus one, saturating at u32."""
    return 0 if size == 0 else min(size // 1024 + 1, NO_BLOCK)


class Image:
    def __init__(self, data):
        self.data = data

    def load(self, fmt, at):
        if at < 0 or at + struct.calcsize(fmt) > len(self.data):
            raise Mismatch(f"a field at {at} runs past the end of the {len(self.data)}-byte file")
        return struct.unpack_from(fmt, self.data, at)[0]

    def u32(self, at):
        return self.load("<I", at)

    def block(self, offset):
        capacity, entries, at = self.u32(offset), [], offset + 4
        while (tag := self.load("<H", at)) != 0:
            end = at + 2
            while self.load("<H", end) != 0:
                end += 2
            name = self.data[at + 2:end].decode("utf-16-le", "surrogatepass")
            entries.append(Entry(tag, name, self.u32(end + 2), self.load("<Q", end + 6), at,
                                 end + 2))
            at = end + 14
        return Block(offset, capacity, at + 2 - offset, entries)

    def drives(self):
        return self.block(ROOT_BLOCK).entries


def set_drives(data, drives):
    """Writes the drive list anew as (name, block, time) rows, its capacity what they take, and
    zeroes the rest of the header area below the first folder block."""
    body = b"".join(struct.pack("<H", TAG_FOLDER) + name.encode("utf-16-le", "surrogatepass")
                    + struct.pack("<HIQ", 0, value, time) for name, value, time in drives)
    block = struct.pack("<I", len(body) + 6) + body + b"\0\0"
    data[ROOT_BLOCK:FIRST_BLOCK] = block + bytes(FIRST_BLOCK - ROOT_BLOCK - len(block))


def mark_build_cut_off(cache):
    """The state file beside cache says, as after a crash mid-build, that its build did not end."""
    state = os.path.join(os.path.dirname(cache), "stateinfo.ini")
    with open(state, encoding="utf-8") as f:
        text = f.read()
    with open(state, "w", encoding="utf-8") as f:
        f.write(text.replace("UpdateCacheExit=TRUE", "UpdateCacheExit=FALSE"))


def make(top, rel, size=None, mtime_ns=None):
    """A folder (size None) or a file of size bytes at top/rel, with its parents."""
    path = os.path.join(top, *rel.split("/"))
    os.makedirs(path if size is None else os.path.dirname(path), exist_ok=True)
    if size is not None:
        with open(path, "wb") as f:
            f.truncate(size)
    if mtime_ns is not None:
        os.utime(path, ns=(mtime_ns, mtime_ns), follow_symlinks=False)
    return path


def run(binary, *args, timeout=120, **kw):
    """One corvella command, which may fail but must not crash."""
    p = subprocess.run([binary, *args], capture_output=True, timeout=timeout, **kw)
    expect(0 <= p.returncode < 128, f"corvella {args} crashed ({p.returncode})\n{p.stderr}")
    return p


def wait_until(what, probe):
    """Polls probe() -> (done, what it saw) until done; shows the last sight when it never is."""
    deadline = time.monotonic() + SETTLE
    while True:
        ok, last = probe()
        if ok:
            return
        expect(time.monotonic() < deadline, f"{what}: not so after {SETTLE}s; last seen: {last!r}")
        time.sleep(0.05)


class Keeper:
    """`corvella watch` in the background, started once it says it watches, its stderr collected
    line by line; killed at exit at the latest."""

    def __init__(self, binary, cache, tree, *options):
        self.proc = subprocess.Popen([binary, "watch", "--cache", cache, *options, tree],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE, text=True, errors="replace")
        atexit.register(self.kill)
        self.lines = []
        self.reader = threading.Thread(target=lambda: self.lines.extend(self.proc.stderr),
                                       daemon=True)
        self.reader.start()
        self.wait_for("corvella: watching ")

    def said(self):
        return "".join(self.lines)

    def wait_for(self, text):
        wait_until(f"the keeper says {text!r}", lambda: (
            text in self.said() or self.proc.poll() is not None, self.said()))
        expect(self.proc.poll() is None, f"the keeper ended ({self.proc.poll()}):\n{self.said()}")

    def interrupt(self):
        """Ctrl+C, which must end it cleanly; a TimeoutExpired fails the caller."""
        self.proc.send_signal(signal.SIGINT)
        code = self.proc.wait(SETTLE)
        expect(code == 0, f"watch exits {code} after Ctrl+C\n{self.said()}")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()
        self.reader.join(SETTLE)
        return self.said()


def indented(text):
    return str(text).replace("\n", "\n      ")


def tool(doc, body):
    """A tool's frame: body(binary, tmp) in a folder removed afterwards; a Mismatch or a timeout
    is printed and fails the tool, and so does a true return (body prints its own failures)."""
    if len(sys.argv) != 2:
        sys.exit(doc)
    tmp = os.path.realpath(tempfile.mkdtemp(prefix="corvella-tool-"))
    try:
        return 1 if body(os.path.abspath(sys.argv[1]), tmp) else 0
    except (Mismatch, subprocess.TimeoutExpired) as e:
        print("FAIL  " + indented(e))
        return 1
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
