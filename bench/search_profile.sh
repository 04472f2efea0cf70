#!/usr/bin/env bash
# Where one `corvella search --count PATTERN` spends its time on the large tree's cache (and, with
# --list, a search that prints every result): perf stat over several runs, then one perf record
# with DWARF call graphs, sorted by bench/perf_phases.py into parts (walk, matcher, records and
# pool, page faults, freeing, output) and walks, and the flat list of the hottest functions.
# See bench/README.md.
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)

work="$here/out"
cache=""
large_target=2000000
runs=5
patterns=()
list=0

usage() {
    cat <<EOF
usage: bench/search_profile.sh [--cache FILE] [--work DIR] [--runs N] [--list] [PATTERN...]

  --cache FILE   profile searches of this cache (default: build one of the large tree)
  --work DIR     where the trees and the cache live (default: bench/out)
  --runs N       perf stat runs per pattern (default: 5)
  --list         profile each pattern also as a listing search (every result printed, to
                 /dev/null), which builds the result records that a bare count does without
  PATTERN...     default: 'a' and 'include'
EOF
}

while [ $# -gt 0 ]; do
    case "$1" in
        --cache) cache="$2"; shift ;;
        --work) work="$2"; shift ;;
        --runs) runs="$2"; shift ;;
        --list) list=1 ;;
        -h|--help) usage; exit 0 ;;
        -*) usage >&2; exit 2 ;;
        *) patterns+=("$1") ;;
    esac
    shift
done
[ ${#patterns[@]} -gt 0 ] || patterns=(a include)
case "$runs" in ''|*[!0-9]*|0) echo "--runs needs a positive number" >&2; exit 2 ;; esac

bench_name=search_profile
# shellcheck source=bench/common.sh
. "$here/common.sh"

need_cmd cmake cmake
need_cmd ninja ninja-build
need_cmd g++ g++
need_cmd perf linux-perf
need_cmd python3 python3

# Release code generation with debug information, so that perf can name inlined functions.
build="$repo/build/bench-prof"
note "building corvella with -g in $build"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
        -DCORVELLA_TESTS=OFF "-DCMAKE_CXX_FLAGS=-g -fno-omit-frame-pointer" >&2
fi
cmake --build "$build" --target corvella >&2

mkdir -p "$work"
work=$(cd "$work" && pwd)
tmp="$work/profile"
mkdir -p "$tmp"
corvella="$tmp/corvella-profiled"
cp "$build/src/corvella" "$corvella"

if [ -z "$cache" ]; then
    prepare_trees 1 "$large_target"
    cache="$tmp/large.db"
    note "building the cache of $large"
    find "$large" >/dev/null
    "$corvella" index --cache "$cache" "$large" >/dev/null 2>&1 || die "corvella index failed"
fi
[ -f "$cache" ] || die "no cache at $cache"
cat "$cache" >/dev/null

label="built from $(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo '?')"
if [ -n "$(git -C "$repo" status --porcelain -- src CMakeLists.txt 2>/dev/null)" ]; then
    label="$label with uncommitted changes"
fi
echo "corvella search profile, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "  corvella $label (Release, -g); $(uname -sr), $(nproc) cores; $(perf --version)"
echo "  cache $cache: $(stat -c %s "$cache") bytes; load average $(cut -d' ' -f1-3 /proc/loadavg)"

hz=4000
# profile LABEL ARGS...: perf stat, then perf record, of one search.
profile() {
    local shown=$1
    shift
    note "$shown: perf stat, $runs runs"
    "$corvella" "$@" >/dev/null 2>&1 || true  # warm
    perf stat -r "$runs" -x, -o "$tmp/stat.csv" \
        -e task-clock,page-faults,major-faults,context-switches \
        "$corvella" "$@" >"$tmp/out.txt" 2>/dev/null || true
    local task_ms faults switches elapsed
    task_ms=$(awk -F, '$3 == "task-clock" { print $1 }' "$tmp/stat.csv")
    faults=$(awk -F, '$3 == "page-faults" { print $1 }' "$tmp/stat.csv")
    switches=$(awk -F, '$3 == "context-switches" { print $1 }' "$tmp/stat.csv")
    perf stat -r "$runs" -o "$tmp/stat.txt" "$corvella" "$@" >/dev/null 2>&1 || true
    elapsed=$(awk '/seconds time elapsed/ { print $1 * 1000 }' "$tmp/stat.txt")

    note "$shown: perf record"
    perf record -q -F "$hz" --call-graph dwarf,16384 -o "$tmp/perf.data" \
        "$corvella" "$@" >/dev/null 2>&1 || true

    echo
    # perf stat -r appended every run's output.
    local lines=$(($(wc -l <"$tmp/out.txt") / runs))
    if [ "$lines" -le 1 ]; then
        echo "$shown  ->  $(head -n 1 "$tmp/out.txt")"
    else
        echo "$shown  ->  $lines lines"
    fi
    awk -v t="$task_ms" -v e="$elapsed" -v f="$faults" -v s="$switches" -v r="$runs" 'BEGIN {
        printf "  perf stat, mean of %d runs: %.1f ms wall, %.1f ms task-clock, %d page faults, %d context switches\n",
            r, e, t, f, s }'
    perf script -i "$tmp/perf.data" -F ip,sym 2>/dev/null |
        python3 "$here/perf_phases.py" --hz "$hz" --task-ms "$task_ms"
    echo "  hottest functions (self time; inlined code counts to the function it was inlined in):"
    perf report -i "$tmp/perf.data" --no-children --stdio --sort sym -g none --percent-limit 1.5 \
        2>/dev/null | grep -E '^ +[0-9]' | head -n 15 | sed 's/^ */    /'
}

for pattern in "${patterns[@]}"; do
    profile "corvella search --cache CACHE --count '$pattern'" \
        search --cache "$cache" --count "$pattern"
    if [ "$list" = 1 ]; then
        profile "corvella search --cache CACHE '$pattern' >/dev/null" \
            search --cache "$cache" "$pattern"
    fi
done
rm -f "$corvella" "$tmp/perf.data" "$tmp/perf.data.old" "$tmp"/stat.* "$tmp/out.txt" \
    "$tmp/large.db" "$tmp/stateinfo.ini"
