#!/usr/bin/env python3
"""Where one `corvella search` spends its time, from `perf script` output of a call-graph record.

Reads the samples of `perf record --call-graph dwarf` of a corvella built with -g, and sorts each
sample twice:

  part   walk (block reader, stack, folders and their paths), matcher, records and pool (Take,
         the copies of path and name), page faults (split into the mapped cache file and anonymous
         memory: the result arrays), mapping the cache file (populating its page tables),
         munmap (unmapping the file, freeing the arrays), output (the search command's work
         after the query: formatting and writing the results), other kernel, other user code
  walk   which walk of the query the sample fell in: the first walk (Limited, stops when the
         arrays are about to overflow), the counting walk (a bare count's only walk), the
         filling walk (All), RunQuery itself outside the walks (mapping the file, reserving,
         clearing, shrinking the arrays), or outside the query (start-up, output, exit)

and prints a table of milliseconds: samples times the period, or, given --task-ms, shares of the
task-clock of an unprofiled run.

usage: perf script -i FILE -F ip,sym | perf_phases.py --hz HZ [--task-ms MS] [--title TEXT]
"""
import argparse
import sys
from collections import defaultdict

WALKS = ["limited walk", "counting walk", "filling walk", "RunQuery itself", "outside the query"]
PARTS = [
    "walk",
    "matcher",
    "records and pool",
    "page faults: cache file",
    "page faults: result arrays",
    "mapping the cache file",
    "munmap (unmap, free)",
    "output",
    "other kernel",
    "other user",
]


def read_stacks(stream):
    stack = []
    for line in stream:
        line = line.strip()
        if not line:
            if stack:
                yield stack
            stack = []
            continue
        parts = line.split(None, 1)
        # (kernel?, symbol): kernel addresses are the top half of the address space.
        addr = parts[0]
        kernel = len(addr) == 16 and addr[0] in "89abcdef"
        stack.append((kernel, parts[1] if len(parts) > 1 else "[unknown]"))
    if stack:
        yield stack


def walk_of(stack):
    # The innermost query frame decides; DWARF call graphs list a walk even where it is inlined.
    for _, sym in stack:
        if "CQueryer::Traverse<(corvella::CQueryer::Walk)0>" in sym:
            return "limited walk"
        if "CQueryer::Traverse<(corvella::CQueryer::Walk)1>" in sym:
            return "filling walk"
        if "CQueryer::Traverse<(corvella::CQueryer::Walk)2>" in sym:
            return "counting walk"
        if "CQueryer::RunQuery" in sym:
            return "RunQuery itself"
    return "outside the query"


# Frames that name a part, looked for from the sampled frame outwards; with DWARF call graphs
# perf also lists inlined functions (FoldCase, BlockReader::Next, vector operations) as frames.
PART_KEYS = [
    ("matcher", ("Match", "Glob", "FoldCase", "FilterName", "RunChain")),
    ("records and pool", ("Take<", "memmove", "memcpy", "std::vector")),
    # AppendName builds the folder path the walk keeps; Take copies it into the pool.
    (
        "walk",
        ("BlockReader", "EntryView", "Traverse", "Enter", "RunQuery", "basic_string", "AppendName"),
    ),
]


OUTPUT_KEYS = ("RunSearch", "FormatResultLine", "Console", "ToUtf8", "ksys_write", "_IO_")
MAP_KEYS = ("__mm_populate", "populate_vma_page_range", "__get_user_pages", "do_mmap")


def part_of(stack, walk):
    syms = [sym for _, sym in stack]
    if any("asm_exc_page_fault" in s for s in syms):
        file_backed = any(
            k in s for s in syms for k in ("filemap_map_pages", "do_read_fault", "filemap_fault")
        )
        return "page faults: cache file" if file_backed else "page faults: result arrays"
    if walk != "outside the query" and any(k in s for s in syms for k in MAP_KEYS):
        return "mapping the cache file"
    if any("munmap" in s for s in syms):
        return "munmap (unmap, free)"
    if walk == "outside the query":
        if any(k in s for s in syms for k in OUTPUT_KEYS):
            return "output"
        return "other kernel" if stack[0][0] else "other user"
    if stack[0][0]:
        return "other kernel"
    for kernel, sym in stack:
        if kernel:
            continue
        for part, keys in PART_KEYS:
            if any(k in sym for k in keys):
                return part
    return "other user"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--hz", type=float, required=True, help="the sampling frequency of the record")
    ap.add_argument("--title", default="")
    ap.add_argument(
        "--task-ms",
        type=float,
        default=0,
        help="CPU ms of an unprofiled run (perf stat task-clock): shares are scaled to it",
    )
    args = ap.parse_args()

    counts = defaultdict(int)
    total = 0
    for stack in read_stacks(sys.stdin):
        walk = walk_of(stack)
        counts[(part_of(stack, walk), walk)] += 1
        total += 1
    if total == 0:
        print("  no samples")
        return
    ms = 1000.0 / args.hz
    if args.title:
        print(args.title)
    line = f"  {total} samples at {args.hz:.0f} Hz ({total * ms:.0f} ms of CPU while recorded)"
    if args.task_ms > 0:
        ms = args.task_ms / total  # the recording's own overhead scaled away
        line += f"; scaled to {args.task_ms:.0f} ms, the task-clock of unprofiled runs"
    print(line)
    columns = ["limited walk", "counting walk", "filling walk", "RunQuery", "outside"]
    head = "".join(f"{w:>14}" for w in columns)
    print(f"  {'ms (share)':<28}{head}{'total':>17}")
    for part in PARTS:
        row = [counts[(part, w)] for w in WALKS]
        if sum(row) == 0:
            continue
        cells = "".join(f"{n * ms:>14.1f}" for n in row)
        print(f"  {part:<28}{cells}{sum(row) * ms:>9.1f} ({100.0 * sum(row) / total:4.1f}%)")
    col = [sum(counts[(p, w)] for p in PARTS) for w in WALKS]
    cells = "".join(f"{n * ms:>14.1f}" for n in col)
    print(f"  {'total':<28}{cells}{total * ms:>9.1f} (100%)")


if __name__ == "__main__":
    main()
