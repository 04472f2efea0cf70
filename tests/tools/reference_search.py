#!/usr/bin/env python3
"""Builds a cache of a generated tree with the corvella command line, then runs many `corvella
search` invocations and compares what each prints, warns and returns with an answer computed here
from the cache file's bytes alone (read by cache_image.py). The answer comes from a second,
deliberately plain implementation of the search rules, so a slip in the matchers, the walk, the
sorts or the writer shows up as a difference instead of being repeated by the test. Every search
runs twice: walked on one thread, and split over several (more parts than this tree needs), which
must print, warn and return exactly the same.

usage: reference_search.py CORVELLA_BINARY
"""

import collections
import difflib
import functools
import os
import re
import shlex
import struct
import sys
import time

from cache_image import (FILETIME_1970, NO_BLOCK, ROOT_BLOCK, TAG_FILE, TAG_FOLDER, TAG_REMOVED,
                         Image, expect, indented, make, run, set_drives, tool)

# What stderr must hold for a location not in the cache (an error on the command line, where a
# script could not tell results from everywhere from results from the location), and for a
# pattern with no item.
INVALID = "The search location is invalid!!"
EMPTY = "an empty pattern matches nothing"
# A zone with daylight saving, written out so that no zone database is needed: a day is 23 or 25
# hours long twice a year, and local midnight is not UTC's.
ZONE = "EST5EDT,M3.2.0,M11.1.0"


# ------------------------------------------------------------ text as units

@functools.cache
def fold_unit(u):
    if 0xD800 <= u <= 0xDFFF:
        return u
    if u == 0x130:  # its full lower case is two characters; the simple mapping is 'i'
        return 0x69
    low = chr(u).lower()
    return ord(low) if len(low) == 1 and ord(low) <= 0xFFFF else u


def folded(text):
    """One character per folded UTF-16 unit (lone surrogates from surrogateescape stay one unit,
    characters above the BMP become a pair), so that str comparison and `in` work unit by unit."""
    raw = text.encode("utf-16-le", "surrogatepass")
    return "".join(chr(fold_unit(u)) for u in struct.unpack(f"<{len(raw) // 2}H", raw))


# ---------------------------------------------------------- the walk and the lookup

Record = collections.namedtuple("Record", "location name folder size time depth loc_f name_f")


def child_location(location, name):
    path = location + name
    return path if path.endswith("/") else path + "/"


def walk(image, offset, location):
    """Every record below a folder block in output order: stored order, a folder after its
    contents, its size the KiB total of its subtree."""
    out = []

    def visit(offset, location, depth):
        total = 0
        for e in image.block(offset).entries:
            size = e.value
            if e.tag == TAG_FOLDER:
                size = 0 if e.value == NO_BLOCK else \
                    visit(e.value, child_location(location, e.name), depth + 1)
            if e.tag in (TAG_FILE, TAG_FOLDER):
                out.append(Record(location, e.name, e.tag == TAG_FOLDER, size, e.time, depth,
                                  folded(location), folded(e.name)))
                total += size
        return total

    visit(offset, location, 1)
    return out


def resolve(image, where, cwd):
    """The folder block and child location that --in names, or None when the program must warn
    and search everything."""
    if where.strip(" ") == "" or where == "My Computer":
        return ROOT_BLOCK, ""
    path = where if where.startswith("/") else cwd.rstrip("/") + "/" + where
    if path != "/" and path.endswith("/"):
        path = path[:-1]
    covering = [e for e in image.drives() if e.tag == TAG_FOLDER and (
        path == e.name or (e.name == "/" and path.startswith("/"))
        or path.startswith(e.name + "/"))]
    best = max(covering, key=lambda e: len(e.name), default=None)
    if best is None or best.value == NO_BLOCK:
        return None
    rest = path[len(best.name):]
    if rest.startswith("/") and best.name != "/":
        rest = rest[1:]
    offset, location = best.value, child_location("", best.name)
    for part in rest.split("/") if rest else []:
        hit = next((e for e in image.block(offset).entries
                    if e.tag in (TAG_FILE, TAG_FOLDER) and e.name == part), None)
        if part == "" or hit is None or hit.tag != TAG_FOLDER or hit.value == NO_BLOCK:
            return None
        offset, location = hit.value, child_location(location, part)
    return offset, location


# ------------------------------------------------------------ the matching

def glob(pattern):
    """A whole-name match of folded names: '*' any run, '?' one unit, all else itself."""
    return re.compile("".join({"*": ".*", "?": "."}.get(c) or re.escape(c) for c in pattern),
                      re.S).fullmatch


def matcher(pattern):
    pat = folded(pattern)
    if ";" in pat:
        items = [glob(i) for i in pat.split(";") if i]
        return lambda name: any(m(name) for m in items)
    if "?" in pat or "*" in pat:
        return glob(pat)
    return lambda name: pat != "" and pat in name


def local_filetime(date, end):
    y, m, d = (int(x) for x in date.split("-"))
    seconds = int(time.mktime((y, m, d, 23, 59, 59, 0, 0, -1) if end
                              else (y, m, d, 0, 0, 0, 0, 0, -1)))
    return FILETIME_1970 + seconds * 10**7 + (9_990_000 if end else 0)


SORT_KEYS = {
    "name": lambda r: (r.name_f, r.loc_f),
    "location": lambda r: (r.loc_f, r.name_f),
    "size": lambda r: (-r.size, r.name_f, r.loc_f),
    # the extension is from the last dot on, or the whole name
    "type": lambda r: (not r.folder, "".join(r.name_f.rpartition(".")[1:]), r.name_f, r.loc_f),
    "date": lambda r: (-r.time, r.name_f, r.loc_f),
}


class Reference:
    def __init__(self, cache_path):
        with open(cache_path, "rb") as f:
            self.image = Image(f.read())
        self.records = functools.cache(lambda offset, location: walk(self.image, offset, location))

    def answer(self, pattern, opts, cwd):
        """(stdout bytes, warning lines, exit code) for one search."""
        o, it = {"--format": "[FILEDIR][FILENAME]"}, iter(opts)
        for name in it:
            o[name] = name in ("--files", "--folders", "--no-subdirs", "--count") or next(it)
        if not [item for item in pattern.split(";") if item]:
            return b"", [EMPTY], 1
        start = resolve(self.image, o.get("--in", ""), cwd)
        if not start:
            return b"", [INVALID], 2
        match = matcher(pattern)
        low, high = int(o.get("--min-size", 0)), int(o.get("--max-size", 2**64))
        since = local_filetime(o["--modified-from"], False) if "--modified-from" in o else 0
        until = local_filetime(o["--modified-to"], True) if "--modified-to" in o else 2**64
        hits = [r for r in self.records(*start)
                if not (o.get("--no-subdirs") and r.depth != 1)
                and not (o.get("--files") and r.folder)
                and not (o.get("--folders") and not r.folder)
                and low <= r.size <= high and since <= r.time <= until and match(r.name_f)]
        if "--sort" in o:
            hits.sort(key=SORT_KEYS[o["--sort"]])
        if o.get("--count"):
            text = f"{len(hits):,} items found ({sum(r.size for r in hits):,}KB)\n"
        else:
            fields = {"[FILEDIR]": "location", "[FILENAME]": "name"}
            text = "".join(re.sub(r"\[FILEDIR\]|\[FILENAME\]",
                                  lambda m: getattr(r, fields[m.group()]), o["--format"]) + "\n"
                           for r in hits)
        return text.encode("utf-8", "surrogateescape"), [], 0 if hits else 1


# ------------------------------------------------------------------ the trees

def make_tree(top, day, dst_day, fall_day):
    """Names chosen to hit each rule: case pairs, wildcard and list characters inside names, dots
    in every position, bytes that are not UTF-8, surrogate pairs, and times on both sides of the
    chosen days' edges."""
    chosen = {}

    def mk(rel, size=None, mtime_ns=None):
        chosen[make(top, rel, size)] = mtime_ns

    midnight = lambda d, extra_ns=0: int(time.mktime(d + (0, 0, 0, 0, 0, -1))) * 10**9 + extra_ns
    next_day = lambda d: time.localtime(time.mktime(d + (12, 0, 0, 0, 0, -1)) + 86400)[:3]
    d0, d1 = midnight(day), midnight(next_day(day))
    hour = 3600 * 10**9

    mk("alpha/one/deep/deeper")
    mk("alpha/one/deep/leaf.txt", 3000)
    for n in ("Case.txt", "case.txt", "CASE.TXT"):
        # Equal once folded, same folder, size and time: only cache order separates them.
        mk("alpha/one/deep/" + n, 1, mtime_ns=d0 + 5 * hour)
    for i in range(1200):  # enough for counts with a thousands separator
        mk(f"alpha/two/wide/member-{i:04d}.dat", 700 * (i % 7))
    for name in ("café.TXT", "semi;colon", "star*name", "starXname", "what?.txt", "[bracket].txt",
                 "x[ab]y", "A", "a b", "with blank", " lead", ".hidden", "trailingdot.", "noext",
                 "[FILENAME].txt", "[FILEDIR] and [FILENAME]/inner [FILENAME]", "f1",
                 "srv/x/only_in_tree/marker", "srv/xyz/z2"):
        mk(name, 1)
    for name, size in (("alpha/one/x.bin", 1023), ("alpha/one/abcdef.txt", 10), ("f0", 0),
                       ("alpha/two/y", 1024), ("alpha/empty", None), ("alpha/abc/abc.tar.gz", 2000),
                       ("Äpfel.txt", 5), ("CAFÉ/é", 0), ("İstanbul", 3), ("\u212Aelvin", 3),
                       # a unit that folds to ASCII past the first eight: the walk tests eight at a time
                       ("readings in \u212Aelvin", 3),
                       # a last unit that folds to ASCII, for a glob's tails; a name longer
                       # than the walk's window of 64 units
                       ("dotted.\u0130", 2), ("long-" * 14 + "name.txt", 6),
                       ("ΣΟΦΙΑΣ", 4), ("\U00010400deseret", 2), ("😀 smile/z", 0),
                       ("archive.tar.gz", 1500), ("f1024", 1024), ("f3000", 3000),
                       ("sparse3m", 3 << 20), ("sparse5m", 5 << 20), ("ghost/ghostfile", 5),
                       ("hollow/inner", 9), (os.fsdecode(b"dir\xfe/inside"), 7),
                       (os.fsdecode(b"bad\xff.txt"), 4)):
        mk(name, size)
    for name, t in (("day_start", d0), ("day_end", d1 - 1_000_000), ("day_end_late", d1 - 500_000),
                    ("day_before", d0 - 100), ("next_midnight", d1),
                    ("dst_last", midnight(next_day(dst_day), -1_000_000)),
                    ("dst_after", midnight(next_day(dst_day), hour // 2)),
                    ("fall_late", midnight(next_day(fall_day), -hour // 2)),
                    ("before1970", -123_456_789)):
        mk("dates/" + name, 1, mtime_ns=t)
    os.symlink("alpha", os.path.join(top, "link_dir"))

    # Everything else gets one of a few times, so date sorts meet ties; children first, as
    # touching a child leaves its folder's time alone.
    pool = [d0 + 3 * hour, d0 - 5 * hour, d0 + 30 * hour, d0 + 3 * hour, 1_500_000_000 * 10**9]
    for i, (folder, dirs, files) in enumerate(os.walk(top, topdown=False)):
        for j, name in enumerate(files + dirs + ["."]):
            path = os.path.normpath(os.path.join(folder, name))
            t = chosen.get(path) or pool[(i + j) % len(pool)]
            os.utime(path, ns=(t, t), follow_symlinks=False)


def make_other(top, name_time):
    for rel, size in (("sub/note", 2500), ("sub/Case.txt", 1), ("Äpfel.txt", 1),
                      ("abc", 1), ("empty_other", None)):
        make(top, rel, size, name_time)


def relabel(cache_path, names, removed, hollow):
    """A copy of a built cache whose drives carry other names ("/" among them), with one folder
    marked removed and one left without a block: states a build of a real tree does not make."""
    with open(cache_path, "rb") as f:
        image = Image(f.read())
    data, drives = bytearray(image.data), image.drives()
    for e in image.block(drives[0].value).entries:
        if e.name == removed:
            struct.pack_into("<H", data, e.at, TAG_REMOVED)
        if e.name == hollow:
            struct.pack_into("<I", data, e.value_at, NO_BLOCK)
    set_drives(data, [(name, e.value, e.time) for e, name in zip(drives, names)])
    with open(cache_path, "wb") as f:
        f.write(data)


# ------------------------------------------------------------------ running

def diff(want, got):
    a, b = (text.decode("utf-8", "backslashreplace").splitlines() for text in (want, got))
    lines = list(difflib.unified_diff(a, b, "reference", "corvella", n=1, lineterm=""))
    return "\n".join(lines[:24] + ["..."] * (len(lines) > 24))


def check(binary, ref, db, pattern, opts, cwd, threads, engine):
    """Whether the reference finds anything, and why the search differs from it (or None); with
    ref None, a command line that must be refused: exit 2, a message and no output."""
    args = ["search", "--cache", db, "--threads", threads, "--engine", engine, *opts] + \
        ([pattern] if ref else [])
    want_out, want_warn, want_rc = ref.answer(pattern, opts, cwd) if ref else (b"", [], 2)
    p = run(binary, *map(os.fsencode, args), cwd=cwd, timeout=60)
    err = p.stderr.decode("utf-8", "backslashreplace").splitlines()
    said = [line for line in err if line.strip()]
    why = None
    if p.returncode != want_rc or p.stdout != want_out:
        why = f"exit {p.returncode}, expected {want_rc}; {err}\n{diff(want_out, p.stdout)}"
    elif ref and not (len(said) == len(want_warn) and all(map(str.__contains__, said, want_warn))) \
            or not ref and not said:
        why = f"stderr {err!r}, expected {want_warn!r}"
    shown = shlex.join(args).encode("utf-8", "backslashreplace").decode()
    return want_rc == 0, why and f"corvella {shown}\n{why}"


PATTERNS = [
    # plain text, found anywhere in the name, case folded
    "txt", "a", "A", "ä", "É", "é", "café", "istanbul", "İ", "kelvin", "σοφια", "σοφιας",
    "\U00010400", "\U00010428", os.fsdecode(b"\xff"), os.fsdecode(b"\xfe"), "[bracket]",
    "[ab]", "with blank", " lead", "lead", ".", "[FILENAME]", "deeper", "nomatch-zz", "",
    # whole-name globs
    "*", "**", "*.txt", "*.TXT", "abc*", "*a*b", "??*", "?", "??", "?? smile", "semi?colon",
    "star*name", "star*", "*\\*", "what?.txt", "[b*", "[ab]*", "x[ab]y*", "*.", "*.*", "É*",
    "*é", "*tar.gz", "member-?[0-9].dat", "member-100?.dat", "*.i",
    # lists: every item a whole-name glob
    "semi;colon", "with blank;A", "f0 ;f1", "f0;f1", "a;", ";", ";;*.gz", "*.gz;*.bin",
    "A;a", "txt;", "abc;*.txt", "é;É", "?;??", "*.g?;*.bin", "*.I;*y;*t;*.GZ",
    # more tails than the walk's suffix test holds: the matcher answers
    "*.a;*.b;*.c;*.d;*.e;*.f;*.g;*.h;*.gz",
]
SORTS = ["name", "location", "size", "type", "date"]
SIZES = [["--min-size", "1"], ["--max-size", "0"], ["--min-size", "0"],
         ["--min-size", "3", "--max-size", "3"], ["--min-size", "1024"], ["--min-size", "3073"],
         ["--min-size", "5121"], ["--max-size", "2"], ["--min-size", "10", "--max-size", "9"],
         ["--max-size", "4096"]]
DATES = [("2021-06-15", None), (None, "2021-06-15"), ("2021-06-15", "2021-06-15"),
         ("2021-06-16", None), (None, "2021-06-14"), ("2021-06-15", "2021-06-14"),
         ("2021-03-14", "2021-03-14"), ("2021-03-15", "2021-03-15"), ("2021-11-07", "2021-11-07"),
         (None, "1969-12-31"), ("1970-01-01", None)]
FORMATS = ["[FILENAME]", "[FILEDIR]", "<[FILENAME]|[FILENAME]|[FILEDIR][FILEDIR]>",
           "[FILEDIR[FILENAME]]", "[FILENAME[FILEDIR]]", "no tokens at all",
           "[filename] [FileDir] [FILENAME", "[FILEDIR]\t[FILENAME]", ""]
# Drives named "/", "/srv/x" and "/srv/xy": the longest whole-component prefix picks the drive,
# even when a shorter one holds the same path.
RELABELLED = ["/", "/srv", "/srv/", "/srv/x", "/srv/x/", "/srv/x/sub", "/srv/xy", "/srv/xyz",
              "/srv/x/only_in_tree", "/alpha/one", "/ghost", "/hollow", "//alpha", "/srv/x//sub",
              "srv/x"]
REFUSED = [["--sort", "bogus", "x"], ["--min-size", "abc", "x"], ["--max-size", "", "x"],
           ["--modified-from", "2021/06/15", "x"], ["--modified-to", "2021-13-01", "x"],
           ["--modified-from", "yesterday", "x"], ["--bogus", "x"], ["--in"], [],
           ["--threads", "0", "x"], ["--threads", "257", "x"], ["--threads", "two", "x"]]


def cases(tmp, tree, other):
    """(which cache, pattern, options, cwd) of every search."""
    alpha = os.path.join(tree, "alpha")
    for i, pattern in enumerate(PATTERNS):
        for opts in ([], ["--files"], ["--folders", "--sort", SORTS[i % 5]],
                     ["--sort", SORTS[(i + 2) % 5]], ["--count"],
                     ["--in", alpha, "--sort", SORTS[(i + 4) % 5]]):
            yield 2, pattern, opts, tmp
    for key in SORTS:
        for pattern in ("*", "txt", "case", "?", "äpfel;abc;*.gz;.hidden;noext;trailingdot."):
            yield 2, pattern, ["--sort", key], tmp
        for opts in (["--in", tree], ["--no-subdirs"], ["--files", "--min-size", "1"]):
            yield 2, "*", ["--sort", key, *opts], tmp
        yield 3, "*", ["--sort", key, "--in", "/"], tmp
    for where in ("", "   ", "My Computer", tree, tree + "/", alpha, alpha + "/one"):
        yield 2, "*", ["--no-subdirs", "--in", where], tmp
        yield 2, "a", ["--no-subdirs", "--folders", "--in", where], tmp
    yield 2, "*", ["--no-subdirs", "--count"], tmp
    for bounds in SIZES:
        for opts in ([], ["--folders"], ["--count"]):
            yield 2, "*", opts + bounds, tmp
    for since, until in DATES:
        bounds = (["--modified-from", since] if since else []) + \
            (["--modified-to", until] if until else [])
        yield 2, "*", ["--in", os.path.join(tree, "dates"), *bounds], tmp
        yield 2, "*", ["--sort", "date", *bounds], tmp
    # Locations: each resolves or falls back to everything with a warning.
    for where, cwd in [(w, tmp) for w in (
            alpha, alpha + "/", tree + "//alpha", alpha + "/x.bin", alpha + "/one/x.bin/deep",
            alpha + "/missing", tree + "/ALPHA", tree[:-1], tree + "x", tmp, "/",
            tree + "/link_dir", tree + "/link_dir/one", os.path.join(tree, os.fsdecode(b"dir\xfe")),
            os.path.join(tree, "😀 smile"), other, "tree/alpha", "tree/alpha/", "My Computer",
            os.path.join(tree, "[FILEDIR] and [FILENAME]"))] + [
            ("one/deep", alpha), ("alpha", other), ("", alpha)]:
        yield 2, "*", ["--in", where], cwd
        yield 2, "e", ["--in", where, "--no-subdirs", "--sort", "name"], cwd
    for where in RELABELLED:
        yield 3, "*", ["--in", where], tmp
        yield 3, "*", ["--in", where, "--no-subdirs", "--sort", "location"], tmp
    for pattern in ("ghost", "hollow", "inner", "*", "?", "x"):
        for opts in ([], ["--count"], ["--no-subdirs"]):
            yield 3, pattern, opts, tmp
    for fmt in FORMATS:
        yield 2, "FILE", ["--format", fmt], tmp
        yield 2, "*.txt", ["--format", fmt, "--sort", "name"], tmp
    for pattern, opts in (("[FILENAME]", ["--format", "<[FILENAME]> in [FILEDIR]"]),
                          ("inner", ["--format", "[FILEDIR]:[FILENAME]"]),
                          (os.fsdecode(b"\xfe"), ["--format", "[FILENAME]/[FILEDIR]"]),
                          ("*", ["--count", "--format", "[FILENAME]"]),
                          ("*", ["--count", "--sort", "size", "--folders"])):
        yield 2, pattern, opts, tmp
    for args in REFUSED:
        yield None, None, args, tmp


def main(binary, tmp):
    os.environ["TZ"] = ZONE
    time.tzset()
    day = (2021, 6, 15)
    tree, other, third = (os.path.join(tmp, n) for n in ("tree", "other", "third"))
    make_tree(tree, day, (2021, 3, 14), (2021, 11, 7))
    make_other(other, int(time.mktime(day + (8, 0, 0, 0, 0, -1))) * 10**9)
    make(third, "thing.txt", 1)
    dbs = {2: os.path.join(tmp, "two.db"), 3: os.path.join(tmp, "three.db")}
    for n, roots in ((2, [tree, other]), (3, [tree, other, third])):
        expect(run(binary, "index", "--cache", dbs[n], *roots).returncode == 0, "index fails")
    relabel(dbs[3], ["/", "/srv/x", "/srv/xy"], removed="ghost", hollow="hollow")
    refs = {n: Reference(db) for n, db in dbs.items()}

    # The reference must see the whole tree, or agreeing would prove little.
    on_disk = 2 + sum(len(dirs) + len(files) for top in (tree, other)
                      for _, dirs, files in os.walk(top))
    listed = len(refs[2].records(ROOT_BLOCK, ""))
    expect(listed == on_disk, f"the reference reads {listed} records, the tree has {on_disk}")
    failures = runs = found = 0
    for n, pattern, opts, cwd in cases(tmp, tree, other):
        # The walk on one thread and in parts, and the in-memory index by each of its routes: a
        # postings route that loses or misorders an entry, or a scan the small trees never reach
        # by choice, differs here.
        for threads, engine in (("1", "walk"), ("3", "walk"), ("1", "index-postings"),
                                ("3", "index-scan")):
            hit, why = check(binary, refs.get(n), dbs[n or 2], pattern, opts, cwd, threads,
                             engine)
            runs, found, failures = runs + 1, found + hit, failures + bool(why)
            if why:
                print("FAIL  " + indented(why))
    print(f"{runs} searches ({found} with results), {failures} differ")
    return failures


if __name__ == "__main__":
    sys.exit(tool(__doc__, main))
