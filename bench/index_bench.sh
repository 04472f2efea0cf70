#!/usr/bin/env bash
# Index-build speed of `corvella index` against find, fdfind and updatedb.plocate, all measured
# in the same run on the same warm trees:
#   small  the extracted Debian linux-source tree (about 80,000 entries)
#   large  hard-linked copies of it under one parent folder (about 2,000,000 entries)
# Prints a table per tree on stdout; progress goes to stderr. See bench/README.md.
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)

work="$here/out"
quick=0
runs_small=7
runs_large=7
large_target=2000000
runs_given=""
corvella_given=""

usage() {
    cat <<EOF
usage: bench/index_bench.sh [--quick] [--runs N] [--work DIR] [--large-entries N] [--corvella BIN]

  --quick            only the small tree, 3 runs per tool
  --runs N           timed runs per tool and tree (default: 7; 3 with --quick)
  --work DIR         where the trees and temporary outputs live (default: bench/out)
  --large-entries N  approximate size of the large tree (default: 2000000)
  --corvella BIN     measure this corvella instead of building the native preset
EOF
}

while [ $# -gt 0 ]; do
    case "$1" in
        --quick) quick=1 ;;
        --runs) runs_given="$2"; shift ;;
        --work) work="$2"; shift ;;
        --large-entries) large_target="$2"; shift ;;
        --corvella) corvella_given="$2"; shift ;;
        -h|--help) usage; exit 0 ;;
        *) usage >&2; exit 2 ;;
    esac
    shift
done
if [ "$quick" = 1 ]; then runs_small=3; fi
if [ -n "$runs_given" ]; then
    case "$runs_given" in ''|*[!0-9]*|0) echo "--runs needs a positive number" >&2; exit 2 ;; esac
    runs_small=$runs_given
    runs_large=$runs_given
fi

bench_name=index_bench
# shellcheck source=bench/common.sh
. "$here/common.sh"

# --- what the benchmark needs --------------------------------------------------------------

need_cmd cmake cmake
need_cmd ninja ninja-build
need_cmd g++ g++
need_cmd fdfind fd-find
need_cmd updatedb.plocate plocate
find_source_tarball

# --- the program under test -----------------------------------------------------------------

if [ -n "$corvella_given" ]; then
    [ -x "$corvella_given" ] || die "$corvella_given is not an executable"
    corvella_src="$corvella_given"
    corvella_label="$corvella_given"
else
    corvella_src="$repo/build/native/src/corvella"
    note "building the native preset"
    (
        cd "$repo"
        [ -f build/native/CMakeCache.txt ] || cmake --preset native >&2
        cmake --build --preset native --target corvella >&2
    )
    [ -x "$corvella_src" ] || die "the build did not produce $corvella_src"
    corvella_label="built from $(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo '?')"
    if [ -n "$(git -C "$repo" status --porcelain -- src CMakeLists.txt 2>/dev/null)" ]; then
        corvella_label="$corvella_label with uncommitted changes"
    fi
fi

# --- trees ----------------------------------------------------------------------------------

mkdir -p "$work/trees" "$work/tmp"
work=$(cd "$work" && pwd)
trees="$work/trees"
tmp="$work/tmp"

# A private copy, so that a rebuild in the tree during the run cannot change what is measured.
corvella="$tmp/corvella-under-test"
cp "$corvella_src" "$corvella"

# --- timing ---------------------------------------------------------------------------------

# One timed run of "$@" with stdout and stderr discarded; appends "real user sys" to $times_file.
time_once() {
    local TIMEFORMAT='%3R %3U %3S' line
    if ! line=$( { time "$@" >/dev/null 2>"$tmp/last-stderr"; } 2>&1 ); then
        echo "index_bench: this command failed:" "$@" >&2
        cat "$tmp/last-stderr" >&2
        exit 1
    fi
    echo "$line" >>"$times_file"
}

tools=(corvella find fdfind plocate)

# How many listing threads a build starts here: two per core, 4 to 8.
listers() {
    local n
    n=$((2 * $(nproc)))
    if [ "$n" -lt 4 ]; then n=4; elif [ "$n" -gt 8 ]; then n=8; fi
    echo "$n"
}

run_tool() {  # run_tool TOOL TREE
    local tool=$1 tree=$2
    case "$tool" in
        corvella)
            rm -f "$tmp/corvella.db"
            time_once "$corvella" index --cache "$tmp/corvella.db" "$tree" ;;
        find)
            time_once find "$tree" -printf '%s %T@ %p\n' ;;
        fdfind)
            time_once fdfind -uu . "$tree" ;;
        plocate)
            # A fresh database each run: given an old one, updatedb reuses the listings of
            # folders whose times did not change. Empty prune lists so that it indexes the
            # whole tree wherever it lives (the system's list prunes /tmp and tmpfs).
            rm -f "$tmp/plocate.db"
            time_once updatedb.plocate -U "$tree" -o "$tmp/plocate.db" -l 0 \
                --prunepaths '' --prunenames '' --prunefs '' --prune-bind-mounts no ;;
    esac
}

bench_tree() {  # bench_tree LABEL TREE RUNS
    local label=$1 tree=$2 runs=$3
    note "$label: warming $tree (one untimed walk)"
    find "$tree" -printf '%s %T@ %p\n' >/dev/null

    note "$label: counting entries"
    # entries: everything find lists, the root included; folders and files: below the root,
    # which is how corvella check counts them (the root is its drive entry).
    local entries folders files
    entries=$(find "$tree" | wc -l)
    folders=$(find "$tree" -mindepth 1 -type d | wc -l)
    files=$((entries - 1 - folders))

    local tool r
    for tool in "${tools[@]}"; do : >"$tmp/times-$tool"; done
    # Round-robin, so that a slow spell of the machine hits every tool alike.
    for ((r = 1; r <= runs; r++)); do
        note "$label: run $r of $runs"
        for tool in "${tools[@]}"; do
            times_file="$tmp/times-$tool"
            run_tool "$tool" "$tree"
        done
    done

    local find_median
    find_median=$(cut -d' ' -f1 "$tmp/times-find" | median_of)

    echo
    echo "Tree $label: $tree"
    printf '  %s entries (the root, %s folders, %s files and links); %s timed runs per tool\n' \
        "$entries" "$folders" "$files" "$runs"
    echo "  on the warm tree"
    echo
    printf '  %-10s %9s %9s %13s %9s %9s %9s %9s\n' tool 'median s' 'min s' 'entries/s' 'vs find' \
        'user s' 'sys s' 'cpu/wall'
    printf '  %-10s %9s %9s %13s %9s %9s %9s %9s\n' ---------- -------- ------- ----------- ------- \
        ------ ----- --------
    for tool in "${tools[@]}"; do
        local f="$tmp/times-$tool" med min usr sys
        med=$(cut -d' ' -f1 "$f" | median_of)
        min=$(cut -d' ' -f1 "$f" | min_of)
        usr=$(cut -d' ' -f2 "$f" | median_of)
        sys=$(cut -d' ' -f3 "$f" | median_of)
        awk -v t="$tool" -v m="$med" -v n="$min" -v e="$entries" -v fm="$find_median" \
            -v u="$usr" -v s="$sys" 'BEGIN {
                rate = m > 0 ? sprintf("%.0f", e / m) : "-"
                ratio = fm > 0 ? sprintf("%.2fx", m / fm) : "-"
                par = m > 0 ? sprintf("%.2f", (u + s) / m) : "-"
                printf "  %-10s %9.3f %9.3f %13s %9s %9.3f %9.3f %9s\n", t, m, n, rate, ratio, u, s, par
            }'
    done
    echo
    echo "  corvella  corvella index --cache FILE TREE; one fstatat per entry; folders listed"
    echo "            on $(listers) worker threads and by the writer, blocks written in walk order"
    echo "  find      find TREE -printf '%s %T@ %p\\n'; one thread; one stat per entry"
    echo "  fdfind    fdfind -uu . TREE; multi-threaded ($(nproc) threads here), names only,"
    echo "            no stat per entry"
    echo "  plocate   updatedb.plocate -U TREE -o FILE -l 0, empty prune lists, fresh database;"
    echo "            one thread; names only, no size or time per file"
    echo "  vs find: median time divided by find's (below 1 is faster); user/sys: medians;"
    echo "  cpu/wall: (user + sys) / median, above 1 when more than one core works"

    local cache_bytes
    cache_bytes=$(stat -c %s "$tmp/corvella.db")
    echo
    awk -v b="$cache_bytes" -v e="$entries" -v p="$(stat -c %s "$tmp/plocate.db")" 'BEGIN {
        printf "  corvella cache: %d bytes (%.1f MiB, %.1f bytes per entry); plocate database: %d bytes\n",
            b, b / 1048576, b / e, p }'
    echo "  corvella check on it:"
    local status=0
    "$corvella" check --cache "$tmp/corvella.db" 2>&1 | sed 's/^/    /' || status=$?
    [ "$status" = 0 ] || echo "  corvella check FAILED (exit $status)"
    echo "  find counts $folders folders and $files files and links below the root"
}

# --- the run --------------------------------------------------------------------------------

started=$(date +%s)
prepare_trees $((1 - quick)) "$large_target"

echo "corvella index benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "  corvella $corvella_label; $(uname -sr)," \
    "$(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)," \
    "$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
echo "  trees on $(df -T "$work" | awk 'NR == 2 { print $2 }') ($work); source $(basename "$src_tar")"
echo "  $(find --version | head -n 1); $(fdfind --version); $(updatedb.plocate --version | head -n 1)"
echo "  load average at the start: $(cut -d' ' -f1-3 /proc/loadavg) (other work on the machine skews"
echo "  the figures; compare medians and mins)"

bench_tree small "$small" "$runs_small"
if [ "$quick" = 0 ]; then
    bench_tree large "$large" "$runs_large"
fi
rm -f "$corvella" "$tmp/corvella.db" "$tmp/stateinfo.ini" "$tmp/plocate.db" "$tmp/last-stderr" "$tmp"/times-*
echo
echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Total benchmark time, preparation included: $(($(date +%s) - started)) s"
