#!/usr/bin/env python3
"""Builds a cache of a generated tree with the corvella command line, then runs
many `corvella search` invocations and compares what each prints, warns and
returns with an answer computed here from the cache file's bytes alone. The
answer comes from a second, deliberately plain implementation of the search
rules, so a slip in the matchers, the walk, the sorts or the writer shows up as
a difference instead of being repeated by the test.

usage: reference_search.py CORVELLA_BINARY
"""

import collections
import difflib
import os
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import time

NO_BLOCK = 0xFFFFFFFF
ROOT_BLOCK = 132
FIRST_BLOCK = 131072
TAG_FILE, TAG_FOLDER, TAG_REMOVED = 1, 2, 3
FILETIME_1970 = 116444736000000000
RUN_TIMEOUT = 60
# Where the program was seen to part from the rules below. The cases stay in
# and fail; the note tells whoever reads the failure it is already known.
BLANK_WARNS = ("a location of blanks is reported as invalid (with the warning) instead of "
               "meaning everything silently")
LIVE_PATH = ("--in is canonicalised on the live file system before the lookup: a symbolic "
             "link, stored as a file, is followed, and a doubled '/' is folded away")
WARNING = " [WARNING] : The search location is invalid!! Default to be My Computer! "
# A zone with daylight saving, written out so that no zone database is needed:
# a day is 23 or 25 hours long twice a year, and local midnight is not UTC's.
ZONE = "EST5EDT,M3.2.0,M11.1.0"


class Mismatch(Exception):
    pass


# ------------------------------------------------------------ text as units

def units(text):
    """UTF-16 code units of a str; lone surrogates (from surrogateescape) stay
    single units, characters above the BMP become a pair."""
    raw = text.encode("utf-16-le", "surrogatepass")
    return struct.unpack(f"<{len(raw) // 2}H", raw)


def from_units(raw):
    return raw.decode("utf-16-le", "surrogatepass")


def out_bytes(text):
    return text.encode("utf-8", "surrogateescape")


_FOLD = {}


def fold_unit(u):
    got = _FOLD.get(u)
    if got is None:
        if 0xD800 <= u <= 0xDFFF:
            got = u
        elif u == 0x130:
            # Its full lower case is two characters; the simple mapping is 'i'.
            got = 0x69
        else:
            low = chr(u).lower()
            got = ord(low) if len(low) == 1 and ord(low) <= 0xFFFF else u
        _FOLD[u] = got
    return got


def folded(text):
    """One character per folded code unit, so that str comparison and
    `in` work unit by unit, surrogate halves included."""
    return "".join(chr(fold_unit(u)) for u in units(text))


# --------------------------------------------------------------- the cache

Entry = collections.namedtuple("Entry", "tag name value time at")


class Cache:
    def __init__(self, data):
        self.data = data
        self.blocks = {}

    def u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def block(self, offset):
        if offset in self.blocks:
            return self.blocks[offset]
        entries = []
        at = offset + 4
        while True:
            tag = self.u16(at)
            if tag == 0:
                break
            end = at + 2
            while self.u16(end) != 0:
                end += 2
            name = from_units(self.data[at + 2:end])
            value, ftime = struct.unpack_from("<IQ", self.data, end + 2)
            entries.append(Entry(tag, name, value, ftime, at))
            at = end + 14
        self.blocks[offset] = entries
        return entries


Record = collections.namedtuple("Record", "location name folder size time depth loc_f name_f")


def record(location, name, folder, size, ftime, depth):
    return Record(location, name, folder, size, ftime, depth, folded(location), folded(name))


def child_location(location, name):
    path = location + name
    return path if path.endswith("/") else path + "/"


def walk(cache, offset, location):
    """Every record below a folder block in output order: stored order, a
    folder after its contents, its size the KiB total of its subtree."""
    out = []

    def visit(offset, location, depth):
        total = 0
        for e in cache.block(offset):
            if e.tag == TAG_FILE:
                out.append(record(location, e.name, False, e.value, e.time, depth))
                total += e.value
            elif e.tag == TAG_FOLDER:
                size = 0
                if e.value != NO_BLOCK:
                    size = visit(e.value, child_location(location, e.name), depth + 1)
                out.append(record(location, e.name, True, size, e.time, depth))
                total += size
        return total

    visit(offset, location, 1)
    return out


def resolve(cache, where, cwd):
    """The folder block and child location that --in names, or None when the
    program must warn and search everything."""
    if where.strip(" ") == "" or where == "My Computer":
        return ROOT_BLOCK, ""
    path = where if where.startswith("/") else cwd.rstrip("/") + "/" + where
    if path != "/" and path.endswith("/"):
        path = path[:-1]
    best = None
    for e in cache.block(ROOT_BLOCK):
        if e.tag != TAG_FOLDER:
            continue
        root = e.name
        covers = path == root or (root == "/" and path.startswith("/")) \
            or path.startswith(root + "/")
        if covers and (best is None or len(root) > len(best.name)):
            best = e
    if best is None or best.value == NO_BLOCK:
        return None
    rest = path[len(best.name):]
    if rest.startswith("/") and best.name != "/":
        rest = rest[1:]
    offset, location = best.value, child_location("", best.name)
    for part in rest.split("/") if rest else []:
        hit = next((e for e in cache.block(offset)
                    if e.tag in (TAG_FILE, TAG_FOLDER) and e.name == part), None)
        if part == "" or hit is None or hit.tag != TAG_FOLDER or hit.value == NO_BLOCK:
            return None
        offset, location = hit.value, child_location(location, part)
    return offset, location


# ------------------------------------------------------------ the matching

def glob(pattern, name):
    """Whole-name match of folded strings; '*' any run, '?' one unit."""
    p = s = 0
    star, resume = -1, 0
    while s < len(name):
        if p < len(pattern) and pattern[p] == "*":
            star, resume = p, s
            p += 1
        elif p < len(pattern) and (pattern[p] == "?" or pattern[p] == name[s]):
            p += 1
            s += 1
        elif star >= 0:
            resume += 1
            p, s = star + 1, resume
        else:
            return False
    return all(c == "*" for c in pattern[p:])


def matcher(pattern):
    pat = folded(pattern)
    if ";" in pat:
        items = [i for i in pat.split(";") if i]
        return lambda name: any(glob(i, name) for i in items)
    if "?" in pat or "*" in pat:
        return lambda name: glob(pat, name)
    return lambda name: pat != "" and pat in name


def local_filetime(date, end):
    y, m, d = (int(x) for x in date.split("-"))
    seconds = int(time.mktime((y, m, d, 23, 59, 59, 0, 0, -1) if end
                              else (y, m, d, 0, 0, 0, 0, 0, -1)))
    return FILETIME_1970 + seconds * 10**7 + (9_990_000 if end else 0)


def extension(name_f):
    dot = name_f.rfind(".")
    return name_f if dot < 0 else name_f[dot:]


SORT_KEYS = {
    "name": lambda r, n, l: (n, l),
    "location": lambda r, n, l: (l, n),
    "size": lambda r, n, l: (-r.size, n, l),
    "type": lambda r, n, l: (not r.folder, extension(n), n, l),
    "date": lambda r, n, l: (-r.time, n, l),
}


def substitute(fmt, location, name):
    out, i = [], 0
    while i < len(fmt):
        if fmt.startswith("[FILEDIR]", i):
            out.append(location)
            i += len("[FILEDIR]")
        elif fmt.startswith("[FILENAME]", i):
            out.append(name)
            i += len("[FILENAME]")
        else:
            out.append(fmt[i])
            i += 1
    return "".join(out)


class Reference:
    def __init__(self, cache_path):
        with open(cache_path, "rb") as f:
            self.cache = Cache(f.read())
        self.walks = {}

    def records(self, offset, location):
        if offset not in self.walks:
            self.walks[offset] = walk(self.cache, offset, location)
        return self.walks[offset]

    def answer(self, pattern, opts, cwd):
        """(stdout bytes, warning lines, exit code) for one search."""
        o = {"--format": "[FILEDIR][FILENAME]"}
        i = 0
        while i < len(opts):
            if opts[i] in ("--files", "--folders", "--no-subdirs", "--count"):
                o[opts[i]] = True
            else:
                o[opts[i]] = opts[i + 1]
                i += 1
            i += 1
        warnings = []
        start = resolve(self.cache, o.get("--in", ""), cwd)
        if start is None:
            warnings.append(WARNING)
            start = ROOT_BLOCK, ""
        match = matcher(pattern)
        low = int(o.get("--min-size", 0))
        high = int(o["--max-size"]) if "--max-size" in o else None
        since = local_filetime(o["--modified-from"], False) if "--modified-from" in o else None
        until = local_filetime(o["--modified-to"], True) if "--modified-to" in o else None
        hits = []
        for r in self.records(*start):
            if (o.get("--no-subdirs") and r.depth != 1) or (o.get("--files") and r.folder) \
                    or (o.get("--folders") and not r.folder) or r.size < low \
                    or (high is not None and r.size > high) \
                    or (since is not None and r.time < since) \
                    or (until is not None and r.time > until):
                continue
            if match(r.name_f):
                hits.append(r)
        if "--sort" in o:
            key = SORT_KEYS[o["--sort"]]
            hits.sort(key=lambda r: key(r, r.name_f, r.loc_f))
        if o.get("--count"):
            text = f"{len(hits):,} items found ({sum(r.size for r in hits):,}KB)\n"
        else:
            text = "".join(substitute(o["--format"], r.location, r.name) + "\n" for r in hits)
        return out_bytes(text), warnings, 0 if hits else 1


# ------------------------------------------------------------------ the tree

def make_tree(top, day, dst_day, fall_day):
    """Names chosen to hit each rule: case pairs, wildcard and list characters
    inside names, dots in every position, bytes that are not UTF-8, surrogate
    pairs, and times on both sides of the chosen days' edges."""
    made = []

    def mk(rel, size=None, mtime_ns=None):
        path = os.path.join(top, *rel.split("/"))
        if size is None:
            os.makedirs(path, exist_ok=True)
        else:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                if size >= 1 << 20:
                    f.truncate(size)
                else:
                    f.write(b"x" * size)
        made.append((path, mtime_ns))

    midnight = lambda d, extra_ns=0: int(time.mktime(d + (0, 0, 0, 0, 0, -1))) * 10**9 + extra_ns
    next_day = lambda d: time.localtime(time.mktime(d + (12, 0, 0, 0, 0, -1)) + 86400)[:3]
    d0, d1 = midnight(day), midnight(next_day(day))
    hour = 3600 * 10**9

    mk("alpha/one/deep/deeper")
    mk("alpha/one/deep/leaf.txt", 3000)
    for n in ("Case.txt", "case.txt", "CASE.TXT"):
        # Equal once folded, same folder, same size and time: only cache
        # order separates them.
        mk("alpha/one/deep/" + n, 1, mtime_ns=d0 + 5 * hour)
    mk("alpha/one/x.bin", 1023)
    mk("alpha/one/abcdef.txt", 10)
    mk("alpha/two/y", 1024)
    for i in range(1200):
        # Enough for counts with a thousands separator.
        mk(f"alpha/two/wide/member-{i:04d}.dat", 700 * (i % 7))
    mk("alpha/empty")
    mk("alpha/abc/abc.tar.gz", 2000)
    for name, size in (("Äpfel.txt", 5), ("café.TXT", 1), ("CAFÉ/é", 0), ("İstanbul", 3),
                       ("\u212Aelvin", 3), ("ΣΟΦΙΑΣ", 4), ("\U00010400deseret", 2),
                       ("😀 smile/z", 0), ("semi;colon", 1), ("star*name", 1),
                       ("starXname", 1), ("what?.txt", 1), ("[bracket].txt", 1),
                       ("x[ab]y", 1), ("A", 1), ("a b", 1), ("with blank", 1),
                       (" lead", 1), ("archive.tar.gz", 1500), (".hidden", 1),
                       ("trailingdot.", 1), ("noext", 1), ("[FILENAME].txt", 1),
                       ("[FILEDIR] and [FILENAME]/inner [FILENAME]", 1), ("f0", 0), ("f1", 1),
                       ("f1024", 1024), ("f3000", 3000), ("sparse3m", 3 << 20),
                       ("sparse5m", 5 << 20), ("srv/x/only_in_tree/marker", 1),
                       ("srv/xyz/z2", 1), ("ghost/ghostfile", 5), ("hollow/inner", 9)):
        mk(name, size)
    mk(os.fsdecode(b"dir\xfe") + "/inside", 7)
    mk(os.fsdecode(b"bad\xff.txt"), 4)
    mk("dates/day_start", 1, mtime_ns=d0)
    mk("dates/day_end", 1, mtime_ns=d1 - 1_000_000)
    mk("dates/day_end_late", 1, mtime_ns=d1 - 500_000)
    mk("dates/day_before", 1, mtime_ns=d0 - 100)
    mk("dates/next_midnight", 1, mtime_ns=d1)
    mk("dates/dst_last", 1, mtime_ns=midnight(next_day(dst_day), -1_000_000))
    mk("dates/dst_after", 1, mtime_ns=midnight(next_day(dst_day), hour // 2))
    mk("dates/fall_late", 1, mtime_ns=midnight(next_day(fall_day), -hour // 2))
    mk("dates/before1970", 1, mtime_ns=-123_456_789)
    os.symlink("alpha", os.path.join(top, "link_dir"))

    # Everything else gets one of a few times, so date sorts meet ties;
    # children first, as touching a child leaves its folder's time alone.
    pool = [d0 + 3 * hour, d0 - 5 * hour, d0 + 30 * hour, d0 + 3 * hour, 1_500_000_000 * 10**9]
    chosen = dict(made)
    for i, (folder, dirs, files) in enumerate(os.walk(top, topdown=False)):
        for j, name in enumerate(files + dirs + ["."]):
            path = os.path.normpath(os.path.join(folder, name))
            t = chosen.get(path) or pool[(i + j) % len(pool)]
            os.utime(path, ns=(t, t), follow_symlinks=False)


def make_other(top, name_time):
    for rel, size in (("sub/note", 2500), ("sub/Case.txt", 1), ("Äpfel.txt", 1),
                      ("abc", 1), ("empty_other", None)):
        path = os.path.join(top, *rel.split("/"))
        os.makedirs(path if size is None else os.path.dirname(path), exist_ok=True)
        if size is not None:
            with open(path, "wb") as f:
                f.write(b"o" * size)
        os.utime(path, ns=(name_time, name_time))


def relabel(cache_path, names, removed, hollow):
    """A copy of a built cache whose drives carry other names ("/" among
    them), with one folder marked removed and one left without a block:
    states that a build of a real tree does not produce."""
    with open(cache_path, "rb") as f:
        data = bytearray(f.read())
    cache = Cache(bytes(data))
    drives = cache.block(ROOT_BLOCK)
    block = bytearray(4)
    for e, name in zip(drives, names):
        block += struct.pack("<H", TAG_FOLDER) + name.encode("utf-16-le") + b"\0\0"
        block += struct.pack("<IQ", e.value, e.time)
    block += b"\0\0"
    struct.pack_into("<I", block, 0, len(block))
    data[ROOT_BLOCK:FIRST_BLOCK] = bytes(FIRST_BLOCK - ROOT_BLOCK)
    data[ROOT_BLOCK:ROOT_BLOCK + len(block)] = block
    for e in cache.block(drives[0].value):
        if e.name == removed:
            struct.pack_into("<H", data, e.at, TAG_REMOVED)
        if e.name == hollow:
            struct.pack_into("<I", data, e.at + 2 + 2 * len(units(e.name)) + 2, NO_BLOCK)
    with open(cache_path, "wb") as f:
        f.write(data)


# ------------------------------------------------------------------ running

def shown(args):
    return " ".join(shlex.quote(os.fsdecode(a) if isinstance(a, bytes) else a)
                    .encode("utf-8", "backslashreplace").decode() for a in args)


def run(binary, args, cwd, env):
    try:
        return subprocess.run([binary, *[os.fsencode(a) for a in args]], capture_output=True,
                              cwd=cwd, env=env, timeout=RUN_TIMEOUT)
    except subprocess.TimeoutExpired:
        raise Mismatch(f"corvella {shown(args)} did not finish in {RUN_TIMEOUT}s")


def diff(want, got):
    a = want.decode("utf-8", "backslashreplace").splitlines()
    b = got.decode("utf-8", "backslashreplace").splitlines()
    lines = list(difflib.unified_diff(a, b, "reference", "corvella", n=1, lineterm=""))
    return "\n".join(lines[:24] + (["..."] if len(lines) > 24 else []))


class Suite:
    def __init__(self, binary, env):
        self.binary, self.env = binary, env
        self.failures, self.runs, self.found = [], 0, 0

    def fail(self, args, why, note):
        head = f"FAIL  corvella {shown(args)}"
        if note:
            head += f"\n      KNOWN DISAGREEMENT: {note}"
        self.failures.append(head)
        print(head + "\n      " + why.replace("\n", "\n      "))

    def search(self, ref, db, pattern, *opts, cwd, note=None):
        args = ["search", "--cache", db, *opts, pattern]
        want_out, want_warn, want_rc = ref.answer(pattern, list(opts), cwd)
        self.runs += 1
        self.found += want_rc == 0
        try:
            p = run(self.binary, args, cwd, self.env)
        except Mismatch as e:
            return self.fail(args, str(e), note)
        err = p.stderr.decode("utf-8", "backslashreplace").splitlines()
        warn = [line for line in err if "WARNING" in line]
        other = [line for line in err if "WARNING" not in line and line.strip()]
        if p.returncode != want_rc:
            self.fail(args, f"exit {p.returncode}, expected {want_rc}\n{diff(want_out, p.stdout)}",
                      note)
        elif p.stdout != want_out:
            self.fail(args, diff(want_out, p.stdout) or "output differs in line ends", note)
        elif warn != want_warn or other:
            self.fail(args, f"stderr {err!r}, expected {want_warn!r}", note)

    def error(self, db, *args, cwd, note=None):
        args = ["search", "--cache", db, *args]
        self.runs += 1
        try:
            p = run(self.binary, args, cwd, self.env)
        except Mismatch as e:
            return self.fail(args, str(e), note)
        if p.returncode != 2 or p.stdout or not p.stderr.strip():
            self.fail(args, f"exit {p.returncode} with stdout {p.stdout[:200]!r} and stderr "
                      f"{p.stderr[:200]!r}; expected exit 2, a message and no output", note)


PATTERNS = [
    # plain text, found anywhere in the name, case folded
    "txt", "a", "A", "ä", "É", "é", "café", "istanbul", "İ", "kelvin", "σοφια", "σοφιας",
    "\U00010400", "\U00010428", os.fsdecode(b"\xff"), os.fsdecode(b"\xfe"), "[bracket]",
    "[ab]", "with blank", " lead", "lead", ".", "[FILENAME]", "deeper", "nomatch-zz", "",
    # whole-name globs
    "*", "**", "*.txt", "*.TXT", "abc*", "*a*b", "??*", "?", "??", "?? smile", "semi?colon",
    "star*name", "star*", "*\\*", "what?.txt", "[b*", "[ab]*", "x[ab]y*", "*.", "*.*", "É*",
    "*é", "*tar.gz", "member-?[0-9].dat", "member-100?.dat",
    # lists: every item a whole-name glob
    "semi;colon", "with blank;A", "f0 ;f1", "f0;f1", "a;", ";", ";;*.gz", "*.gz;*.bin",
    "A;a", "txt;", "abc;*.txt", "é;É", "?;??",
]


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    binary = os.path.abspath(sys.argv[1])
    os.environ["TZ"] = ZONE
    time.tzset()
    env = dict(os.environ)
    day, dst_day, fall_day = (2021, 6, 15), (2021, 3, 14), (2021, 11, 7)
    started = time.monotonic()
    tmp = os.path.realpath(tempfile.mkdtemp(prefix="corvella-reference-"))
    try:
        tree, other, third = (os.path.join(tmp, n) for n in ("tree", "other", "third"))
        for d in (tree, other, third):
            os.mkdir(d)
        make_tree(tree, day, dst_day, fall_day)
        make_other(other, int(time.mktime(day + (8, 0, 0, 0, 0, -1))) * 10**9)
        with open(os.path.join(third, "thing.txt"), "wb") as f:
            f.write(b"t")
        db, db3 = os.path.join(tmp, "two.db"), os.path.join(tmp, "three.db")
        for cache, roots in ((db, [tree, other]), (db3, [tree, other, third])):
            p = run(binary, ["index", "--cache", cache, *roots], tmp, env)
            if p.returncode != 0:
                print(f"index exits {p.returncode}\n{p.stderr.decode(errors='replace')}")
                return 1
        relabel(db3, ["/", "/srv/x", "/srv/xy"], removed="ghost", hollow="hollow")
        ref, ref3 = Reference(db), Reference(db3)

        # The reference must see the whole tree, or agreeing would prove little.
        on_disk = 2 + sum(len(dirs) + len(files) for top in (tree, other)
                          for _, dirs, files in os.walk(top))
        listed = len(ref.records(ROOT_BLOCK, ""))
        if listed != on_disk:
            print(f"the reference reads {listed} records from the cache, the tree has {on_disk}")
            return 1

        s = Suite(binary, env)
        q = lambda pattern, *opts, cwd=tmp, note=None: s.search(ref, db, pattern, *opts,
                                                               cwd=cwd, note=note)
        q3 = lambda pattern, *opts, cwd=tmp, note=None: s.search(ref3, db3, pattern, *opts,
                                                                 cwd=cwd, note=note)
        sorts = ["name", "location", "size", "type", "date"]
        alpha = os.path.join(tree, "alpha")

        for i, pattern in enumerate(PATTERNS):
            q(pattern)
            q(pattern, "--files")
            q(pattern, "--folders", "--sort", sorts[i % 5])
            q(pattern, "--sort", sorts[(i + 2) % 5])
            q(pattern, "--count")
            q(pattern, "--in", alpha, "--sort", sorts[(i + 4) % 5])

        for key in sorts:
            for pattern in ("*", "txt", "case", "?", "äpfel;abc;*.gz;.hidden;noext;trailingdot."):
                q(pattern, "--sort", key)
            q("*", "--sort", key, "--in", tree)
            q("*", "--sort", key, "--no-subdirs")
            q("*", "--sort", key, "--files", "--min-size", "1")
            q3("*", "--sort", key, "--in", "/")

        for where in ("", "   ", "My Computer", tree, tree + "/", alpha, alpha + "/one"):
            note = BLANK_WARNS if where == "   " else None
            q("*", "--no-subdirs", "--in", where, note=note)
            q("a", "--no-subdirs", "--folders", "--in", where, note=note)
        q("*", "--no-subdirs", "--count")

        for bounds in (["--min-size", "1"], ["--max-size", "0"], ["--min-size", "0"],
                       ["--min-size", "3", "--max-size", "3"], ["--min-size", "1024"],
                       ["--min-size", "3073"], ["--min-size", "5121"], ["--max-size", "2"],
                       ["--min-size", "10", "--max-size", "9"], ["--max-size", "4096"]):
            q("*", *bounds)
            q("*", "--folders", *bounds)
            q("*", "--count", *bounds)

        dates = [["--modified-from", "2021-06-15"], ["--modified-to", "2021-06-15"],
                 ["--modified-from", "2021-06-15", "--modified-to", "2021-06-15"],
                 ["--modified-from", "2021-06-16"], ["--modified-to", "2021-06-14"],
                 ["--modified-from", "2021-06-15", "--modified-to", "2021-06-14"],
                 ["--modified-from", "2021-03-14", "--modified-to", "2021-03-14"],
                 ["--modified-from", "2021-03-15", "--modified-to", "2021-03-15"],
                 ["--modified-from", "2021-11-07", "--modified-to", "2021-11-07"],
                 ["--modified-to", "1969-12-31"], ["--modified-from", "1970-01-01"]]
        for bounds in dates:
            q("*", "--in", os.path.join(tree, "dates"), *bounds)
            q("*", "--sort", "date", *bounds)

        # Locations: each resolves or falls back to everything with a warning.
        for where, cwd, note in (
                (alpha, tmp, None), (alpha + "/", tmp, None), (tree + "//alpha", tmp, LIVE_PATH),
                (alpha + "/x.bin", tmp, None), (alpha + "/one/x.bin/deep", tmp, None),
                (alpha + "/missing", tmp, None), (tree + "/ALPHA", tmp, None),
                (tree[:-1], tmp, None), (tree + "x", tmp, None), (tmp, tmp, None), ("/", tmp, None),
                (tree + "/link_dir", tmp, LIVE_PATH), (tree + "/link_dir/one", tmp, LIVE_PATH),
                (os.path.join(tree, os.fsdecode(b"dir\xfe")), tmp, None),
                (os.path.join(tree, "😀 smile"), tmp, None), (other, tmp, None),
                ("tree/alpha", tmp, None), ("tree/alpha/", tmp, None), ("one/deep", alpha, None),
                ("alpha", other, None), ("My Computer", tmp, None), ("", alpha, None),
                (os.path.join(tree, "[FILEDIR] and [FILENAME]"), tmp, None)):
            q("*", "--in", where, cwd=cwd, note=note)
            q("e", "--in", where, "--no-subdirs", "--sort", "name", cwd=cwd, note=note)

        # Drives named "/", "/srv/x" and "/srv/xy": the longest whole-component
        # prefix picks the drive, even when a shorter one holds the same path.
        for where in ("/", "/srv", "/srv/", "/srv/x", "/srv/x/", "/srv/x/sub", "/srv/xy",
                      "/srv/xyz", "/srv/x/only_in_tree", "/alpha/one", "/ghost", "/hollow",
                      "//alpha", "/srv/x//sub", "srv/x"):
            q3("*", "--in", where)
            q3("*", "--in", where, "--no-subdirs", "--sort", "location")
        for pattern in ("ghost", "hollow", "inner", "*", "?", "x"):
            q3(pattern)
            q3(pattern, "--count")
            q3(pattern, "--no-subdirs")

        for fmt in ("[FILENAME]", "[FILEDIR]", "<[FILENAME]|[FILENAME]|[FILEDIR][FILEDIR]>",
                    "[FILEDIR[FILENAME]]", "[FILENAME[FILEDIR]]", "no tokens at all",
                    "[filename] [FileDir] [FILENAME", "[FILEDIR]\t[FILENAME]", ""):
            q("FILE", "--format", fmt)
            q("*.txt", "--format", fmt, "--sort", "name")
        q("[FILENAME]", "--format", "<[FILENAME]> in [FILEDIR]")
        q("inner", "--format", "[FILEDIR]:[FILENAME]")
        q(os.fsdecode(b"\xfe"), "--format", "[FILENAME]/[FILEDIR]")
        q("*", "--count", "--format", "[FILENAME]")
        q("*", "--count", "--sort", "size", "--folders")

        for bad in (["--sort", "bogus", "x"], ["--min-size", "abc", "x"],
                    ["--max-size", "", "x"], ["--modified-from", "2021/06/15", "x"],
                    ["--modified-to", "2021-13-01", "x"], ["--modified-from", "yesterday", "x"],
                    ["--bogus", "x"], ["--in"], []):
            s.error(db, *bad, cwd=tmp)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

    took = time.monotonic() - started
    print(f"{s.runs} searches ({s.found} with results) in {took:.1f}s, {len(s.failures)} differ")
    if s.failures:
        return 1
    print("every search agrees with the reference")
    return 0


if __name__ == "__main__":
    sys.exit(main())
