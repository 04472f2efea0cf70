#!/usr/bin/env bash
# What keeping the cache current costs (see bench/README.md):
#   latency  a file created in a watched tree, to the first `corvella search` that finds it
#   update   microseconds to apply one changed folder, by the folder's size and the cache's size
#   defrag   `corvella defrag` of a loosened cache against a fresh `corvella index` of its tree
# Prints the figures and a summary on stdout; progress goes to stderr.
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)

work="$here/out"
quick=0
samples=50
runs=3
loosen=3000
large_target=2000000
samples_given=""
runs_given=""
loosen_given=""

usage() {
    cat <<EOF
usage: bench/watch_bench.sh [--quick] [--samples N] [--runs N] [--loosen N] [--work DIR]
                            [--large-entries N]

  --quick            no large tree: updates on the small caches only, defrag of the small tree;
                     20 latency samples, 1 run, 500 folders loosened
  --samples N        files created for the latency (default: 50)
  --runs N           timed runs of index and of defrag (default: 3)
  --loosen N         folders changed and applied to loosen the cache before defrag (default: 3000)
  --work DIR         where the trees and caches live (default: bench/out)
  --large-entries N  approximate size of the large tree (default: 2000000)
EOF
}

positive() { case "$2" in '' | *[!0-9]* | 0) echo "$1 needs a positive number" >&2; exit 2 ;; esac; }

while [ $# -gt 0 ]; do
    case "$1" in
        --quick) quick=1 ;;
        --samples) positive "$1" "${2-}"; samples_given="$2"; shift ;;
        --runs) positive "$1" "${2-}"; runs_given="$2"; shift ;;
        --loosen) positive "$1" "${2-}"; loosen_given="$2"; shift ;;
        --work) work="$2"; shift ;;
        --large-entries) positive "$1" "${2-}"; large_target="$2"; shift ;;
        -h|--help) usage; exit 0 ;;
        *) usage >&2; exit 2 ;;
    esac
    shift
done
if [ "$quick" = 1 ]; then samples=20; runs=1; loosen=500; fi
samples=${samples_given:-$samples}
runs=${runs_given:-$runs}
loosen=${loosen_given:-$loosen}

bench_name=watch_bench
# shellcheck source=bench/common.sh
. "$here/common.sh"

# --- what the benchmark needs --------------------------------------------------------------

need_cmd cmake cmake
need_cmd ninja ninja-build
need_cmd g++ g++
# bench/CMakeLists.txt wants Google Benchmark for matcher_bench, even when only update_bench is built.
need_file /usr/include/benchmark/benchmark.h libbenchmark-dev
find_source_tarball

# The same build directory as search_bench.sh: the benchmarks switched on, the tests off.
build="$repo/build/bench"
note "building corvella and update_bench in $build"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
        -DCORVELLA_BENCH=ON -DCORVELLA_TESTS=OFF >&2
fi
cmake --build "$build" --target corvella update_bench >&2
corvella_label="built from $(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo '?')"
if [ -n "$(git -C "$repo" status --porcelain -- src CMakeLists.txt 2>/dev/null)" ]; then
    corvella_label="$corvella_label with uncommitted changes"
fi

mkdir -p "$work"
work=$(cd "$work" && pwd)
base="$work/watch"
tmp="$base/tmp"
mkdir -p "$tmp"
# Private copies, so that a rebuild in the tree during the run cannot change what is measured.
corvella="$tmp/corvella-under-test"
update_bench="$tmp/update_bench-under-test"
cp "$build/src/corvella" "$corvella"
cp "$build/bench/update_bench" "$update_bench"

# --- cleaning up, whatever happens ----------------------------------------------------------

watch_pid=""
loosened_list="$tmp/loosened-folders"
probe_name="corvella-loosen-probe"
cleanup() {
    if [ -n "$watch_pid" ] && kill -0 "$watch_pid" 2>/dev/null; then
        kill -INT "$watch_pid" 2>/dev/null || true
        sleep 1
        kill -0 "$watch_pid" 2>/dev/null && kill -KILL "$watch_pid" 2>/dev/null
        wait "$watch_pid" 2>/dev/null || true
    fi
    # The big tree is kept for the next run: it must lose every file this run put in it.
    if [ -f "$loosened_list" ]; then
        while IFS= read -r folder; do rm -f "$folder/$probe_name"; done <"$loosened_list"
        rm -f "$loosened_list"
    fi
    if [ -n "${big_tree:-}" ] && [ -d "$big_tree/update-bench" ]; then
        rm -f "$big_tree"/update-bench/*/corvella-update-probe
    fi
    return 0
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- small helpers ----------------------------------------------------------------------------

ms_between() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f\n", (b - a) * 1000 }'; }

# The nearest-rank percentile P (0..100) of a column of numbers.
percentile_of() {
    sort -g | awk -v p="$1" '{ v[NR] = $1 } END {
        if (NR == 0) { print "-"; exit }
        r = int(p / 100 * NR + 0.999999); if (r < 1) r = 1; if (r > NR) r = NR; print v[r] }'
}

# Runs "$@" once and prints its wall milliseconds; its output is discarded, a failure is fatal.
wall_ms() {
    local t0 t1
    t0=$EPOCHREALTIME
    if ! "$@" >/dev/null 2>"$tmp/stderr"; then
        echo "watch_bench: this command failed:" "$@" >&2
        cat "$tmp/stderr" >&2
        exit 1
    fi
    t1=$EPOCHREALTIME
    ms_between "$t0" "$t1"
}

# A folder holding exactly N empty files, made once.
flat_folder() {  # flat_folder DIR N
    local dir=$1 n=$2
    if [ -d "$dir" ] && [ "$(find "$dir" -mindepth 1 -maxdepth 1 | wc -l)" = "$n" ]; then return; fi
    rm -rf "$dir"
    mkdir -p "$dir"
    (cd "$dir" && seq -f 'file%06g' "$n" | xargs touch)
}

cache_bytes() { stat -c %s "$1"; }

entries_of() { find "$1" | wc -l; }

# "1,234 items found (5KB)" -> 1234; anything else (an error, a busy cache file) -> -1.
count_of() {
    local line
    line=$("$corvella" search --cache "$1" --count "$2" 2>/dev/null) || true
    case "$line" in
        *' items found'*) line=${line%% items found*}; echo "${line//,/}" ;;
        *) echo -1 ;;
    esac
}

# --- the trees --------------------------------------------------------------------------------
#   small  a hard-linked copy of the extracted linux-source tree, made afresh every run, plus
#          folders of 10 and 1,000 files; the watched tree, which this run writes into
#   tiny   only a folder of 10 files: the update cost on a cache with next to nothing else
#   big    hard-linked copies of the small tree, as index_bench.sh makes its large tree, plus
#          folders of 10, 1,000 and 100,000 files; kept for the next run

started=$(date +%s)
prepare_trees 0 "$large_target"   # the shared small tree; sets small and small_entries

small_tree="$base/tree-small"
tiny_tree="$base/tree-tiny"
note "copying the small tree to $small_tree (hard links)"
rm -rf "$small_tree" "$tiny_tree"
cp -al "$small" "$small_tree"
flat_folder "$small_tree/update-bench/n10" 10
flat_folder "$small_tree/update-bench/n1000" 1000
flat_folder "$tiny_tree/update-bench/n10" 10

big_tree=""
if [ "$quick" = 0 ]; then
    big_tree="$base/tree-big"
    extra=$((1 + 3 + 10 + 1000 + 100000))  # the update-bench folders
    copies=$(((large_target - 1 - extra + small_entries - 1) / small_entries))
    [ "$copies" -ge 1 ] || copies=1
    large="$big_tree"
    prepare_large "$copies"
    note "making the update folders in $big_tree/update-bench (once)"
    flat_folder "$big_tree/update-bench/n10" 10
    flat_folder "$big_tree/update-bench/n1000" 1000
    flat_folder "$big_tree/update-bench/n100000" 100000
    rm -f "$big_tree"/update-bench/*/corvella-update-probe
fi

echo "corvella watch, update and defrag benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "  corvella $corvella_label; $(uname -sr)," \
    "$(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)," \
    "$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
echo "  trees on $(df -T "$work" | awk 'NR == 2 { print $2 }') ($base); source $(basename "$src_tar")"
echo "  load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"

# --- 1. from a change on disk to a search that finds it ---------------------------------------

lat_dir="$base/latency"
lat_cache="$lat_dir/cache.db"
rm -rf "$lat_dir"
mkdir -p "$lat_dir"
small_folders="$tmp/small-folders"
find "$small_tree" -type d >"$small_folders"
folder_count=$(wc -l <"$small_folders")
small_tree_entries=$(entries_of "$small_tree")

# No cache yet: watch builds it while its watchers already record changes, as a first start does.
note "latency: starting corvella watch on $small_tree ($small_tree_entries entries)"
watch_log="$tmp/watch.log"
watch_t0=$EPOCHREALTIME
"$corvella" watch -v --cache "$lat_cache" "$small_tree" 2>"$watch_log" &
watch_pid=$!

wait_for() {  # wait_for SECONDS WHAT COMMAND...: polls every 20 ms until COMMAND succeeds
    local limit=$1 what=$2 t0=$SECONDS
    shift 2
    until "$@"; do
        kill -0 "$watch_pid" 2>/dev/null || { cat "$watch_log" >&2; die "corvella watch ended early"; }
        [ $((SECONDS - t0)) -lt "$limit" ] || { cat "$watch_log" >&2; die "no $what after $limit s"; }
        sleep 0.02
    done
}
watching() { grep -q 'watching' "$watch_log"; }
# One inotify watch per folder, listed in the descriptor's fdinfo: the watcher sees every folder.
inotify_watches() { cat /proc/"$watch_pid"/fdinfo/* 2>/dev/null | grep -c '^inotify wd:' || true; }
all_watched() { [ "$(inotify_watches)" -ge "$folder_count" ]; }

wait_for 600 '"watching" from corvella watch' watching
watching_ms=$(ms_between "$watch_t0" "$EPOCHREALTIME")
wait_for 120 "inotify watch on each of the $folder_count folders" all_watched
ready_ms=$(ms_between "$watch_t0" "$EPOCHREALTIME")
lat_cache_bytes=$(cache_bytes "$lat_cache")

note "latency: the bare cost of one search on that cache"
cat "$lat_cache" >/dev/null
: >"$tmp/search-ms"
for ((i = 0; i < 21; i++)); do
    t0=$EPOCHREALTIME
    "$corvella" search --cache "$lat_cache" --count corvella-latency-none >/dev/null 2>&1 || true
    t1=$EPOCHREALTIME
    [ "$i" = 0 ] || ms_between "$t0" "$t1" >>"$tmp/search-ms"
done
search_ms=$(median_of <"$tmp/search-ms")

# Folders spread over the whole tree, a different one for every file of a pass.
step=$((folder_count / samples))
[ "$step" -ge 1 ] || step=1
awk -v s="$step" 'NR % s == 1 || s == 1' "$small_folders" | head -n "$samples" >"$tmp/lat-folders"
in_use_seen() { grep -c 'cache file in use' "$watch_log" || true; }

# latency_pass TAG PAUSE: creates a file per folder and searches for it until it is found, with
# PAUSE seconds between searches (0: one after another). Writes "ms searches busy" per found file
# to $tmp/latency-TAG; sets pass_missed, pass_busy and pass_in_use.
latency_pass() {
    local tag=$1 pause=$2 n=0 folder name polls busy found status out t0 t1 in_use_before
    : >"$tmp/latency-$tag"
    pass_missed=0 pass_busy=0
    in_use_before=$(in_use_seen)
    while IFS= read -r folder; do
        n=$((n + 1))
        name=$(printf 'corvella-latency-%s%04d' "$tag" "$n")
        polls=0 busy=0 found=0
        : >"$folder/$name"
        # Microseconds as integers: no process per search besides the search itself.
        t0=${EPOCHREALTIME/./}
        while :; do
            polls=$((polls + 1))
            status=0
            out=$("$corvella" search --cache "$lat_cache" --count "$name" 2>&1 </dev/null) ||
                status=$?
            case "$out" in '1 items found'*) found=1; break ;; esac
            # Exit 2 while the watcher holds the cache file: not found yet, ask again.
            [ "$status" != 2 ] || busy=$((busy + 1))
            [ $((${EPOCHREALTIME/./} - t0)) -lt 10000000 ] || break
            [ "$pause" = 0 ] || sleep "$pause"
        done
        t1=${EPOCHREALTIME/./}
        if [ "$found" = 1 ]; then
            echo "$(awk -v d=$((t1 - t0)) 'BEGIN { printf "%.3f", d / 1000 }') $polls $busy" \
                >>"$tmp/latency-$tag"
        else
            pass_missed=$((pass_missed + 1))
            note "latency: $folder/$name not found after 10 s"
        fi
        pass_busy=$((pass_busy + busy))
        sleep 0.1
    done <"$tmp/lat-folders"
    pass_in_use=$(($(in_use_seen) - in_use_before))
}

# pass_row LABEL TAG: one row of the latency table.
pass_row() {
    local f="$tmp/latency-$2"
    if [ ! -s "$f" ]; then
        printf '  %-26s %7s %9s %9s %9s %9s %9s %9s %9s\n' "$1" 0 - - - - - - -
        return
    fi
    printf '  %-26s %7s %9.1f %9.1f %9.1f %9.1f %9s %9s %9s\n' "$1" "$(wc -l <"$f")" \
        "$(cut -d' ' -f1 "$f" | median_of)" "$(cut -d' ' -f1 "$f" | percentile_of 95)" \
        "$(cut -d' ' -f1 "$f" | min_of)" "$(cut -d' ' -f1 "$f" | sort -g | tail -n 1)" \
        "$(cut -d' ' -f2 "$f" | median_of)" "$3" "$4"
}

note "latency: $samples files, one search after another until each is found"
latency_pass a 0
missed_a=$pass_missed busy_a=$pass_busy in_use_a=$pass_in_use
note "latency: $samples more files, 20 ms between searches"
latency_pass b 0.02
missed_b=$pass_missed busy_b=$pass_busy in_use_b=$pass_in_use
found_count=$(wc -l <"$tmp/latency-a")
[ "$found_count" -gt 0 ] || die "no created file was ever found"
lat_median=$(cut -d' ' -f1 "$tmp/latency-a" | median_of)
lat_p95=$(cut -d' ' -f1 "$tmp/latency-a" | percentile_of 95)
paced_median=$(cut -d' ' -f1 "$tmp/latency-b" | median_of)
paced_p95=$(cut -d' ' -f1 "$tmp/latency-b" | percentile_of 95)

note "latency: stopping corvella watch with SIGINT"
stop_t0=$EPOCHREALTIME
kill -INT "$watch_pid"
watch_status=""
for ((i = 0; i < 500; i++)); do
    kill -0 "$watch_pid" 2>/dev/null || break
    sleep 0.02
done
if kill -0 "$watch_pid" 2>/dev/null; then
    watch_exit="still running 10 s after SIGINT (killed)"
    kill -KILL "$watch_pid" 2>/dev/null || true
    wait "$watch_pid" 2>/dev/null || true
else
    wait "$watch_pid" || watch_status=$?
    watch_status=${watch_status:-0}
    watch_exit="exit $watch_status after $(ms_between "$stop_t0" "$EPOCHREALTIME" | cut -d. -f1) ms"
    grep -q 'stopped watching' "$watch_log" && watch_exit="$watch_exit, \"stopped watching\""
fi
watch_pid=""
applied=$(grep -c '^applied ' "$watch_log" || true)

echo
echo "1. Change to search: tree small, $small_tree"
echo "  $small_tree_entries entries in $folder_count folders (the linux-source tree and the update"
echo "  folders); cache $lat_cache_bytes bytes, built by corvella watch itself (\"watching\" after" \
    "$(printf '%.0f' "$watching_ms") ms,"
echo "  an inotify watch on every folder after $(printf '%.0f' "$ready_ms") ms)"
echo "  one search --count on that cache, process included: median $search_ms ms"
echo "  per pass, $samples files created, each in its own folder, each searched for until found"
echo
printf '  %-26s %7s %9s %9s %9s %9s %9s %9s %9s\n' 'created -> found, ms' found median p95 \
    min max searches 'in use' 'w in use'
pass_row 'searches back to back' a "$busy_a" "$in_use_a"
pass_row 'a search every 20 ms' b "$busy_b" "$in_use_b"
echo
echo "  searches: median searches per file; in use: searches told the cache file was in use;"
echo "  w in use: times the watcher found it held by a search (each puts the folder back in the"
echo "  queue, and the processor waits for 150 ms of quiet in a folder before it applies it)"
echo "  missed (not found within 10 s): $missed_a and $missed_b; the watcher applied $applied folders"
echo "  corvella watch on SIGINT: $watch_exit"

# --- 2. the cost of one folder update -------------------------------------------------------

tiny_dir="$base/tiny"
rm -rf "$tiny_dir"
mkdir -p "$tiny_dir"
"$corvella" index --cache "$tiny_dir/cache.db" "$tiny_tree" >/dev/null 2>"$tmp/stderr" ||
    { cat "$tmp/stderr" >&2; die "corvella index of the tiny tree failed"; }

# The timed index runs of the big tree come first, so that the update runs below work on a
# cache just built, as the defragmentation's baseline does.
if [ "$quick" = 0 ]; then
    dtree="$big_tree"
    dlabel=big
else
    dtree="$small_tree"
    dlabel=small
fi
ddir="$base/defrag"
dcache="$ddir/cache.db"
rm -rf "$ddir"
mkdir -p "$ddir"
note "$dlabel tree: warming $dtree (one untimed walk) and counting it"
find "$dtree" -printf '%s %T@ %p\n' >/dev/null
dtree_entries=$(entries_of "$dtree")
: >"$tmp/index-ms"
for ((r = 1; r <= runs; r++)); do
    note "$dlabel tree: corvella index, run $r of $runs"
    rm -f "$dcache"
    wall_ms "$corvella" index --cache "$dcache" "$dtree" >>"$tmp/index-ms"
done
index_ms=$(median_of <"$tmp/index-ms")
fresh_bytes=$(cache_bytes "$dcache")

# update_bench prints "FOLDER entries=.. updates=.. median_us=.. ..."; kept per cache.
bench_updates() {  # bench_updates LABEL CACHE FOLDER...
    local label=$1 cache=$2
    shift 2
    note "updates on the $label cache: $*"
    "$update_bench" --cache "$cache" --floor --updates 400 --seconds 8 "$@" |
        sed "s|^|$label |" >>"$tmp/updates"
}
field() {  # field LABEL FOLDER-SUFFIX KEY
    awk -v l="$1" -v f="$2" -v k="$3" '$1 == l && substr($2, length($2) - length(f) + 1) == f {
        for (i = 3; i <= NF; i++) { split($i, kv, "="); if (kv[1] == k) print kv[2] } }' "$tmp/updates"
}
: >"$tmp/updates"
bench_updates tiny "$tiny_dir/cache.db" "$tiny_tree/update-bench/n10"
# The watcher has stopped; its cache is the small one.
bench_updates small "$lat_cache" "$small_tree/update-bench/n10" "$small_tree/update-bench/n1000"
if [ "$quick" = 0 ]; then
    bench_updates big "$dcache" "$big_tree/update-bench/n10" "$big_tree/update-bench/n1000" \
        "$big_tree/update-bench/n100000"
fi

# The same through the command line: a process per update, start-up and exit included.
cli_update_ms() {  # cli_update_ms CACHE FOLDER CALLS: median ms of `corvella update`
    local cache=$1 folder=$2 calls=$3 i
    : >"$tmp/cli-ms"
    for ((i = 0; i < calls; i++)); do
        if [ $((i % 2)) = 0 ]; then : >"$folder/corvella-update-probe"; else rm -f "$folder/corvella-update-probe"; fi
        wall_ms "$corvella" update --cache "$cache" "$folder" >>"$tmp/cli-ms"
    done
    rm -f "$folder/corvella-update-probe"
    "$corvella" update --cache "$cache" "$folder" >/dev/null 2>&1
    median_of <"$tmp/cli-ms"
}
note "corvella update, one process per update"
cli_tiny=$(cli_update_ms "$tiny_dir/cache.db" "$tiny_tree/update-bench/n10" 10)
cli_small=$(cli_update_ms "$lat_cache" "$small_tree/update-bench/n10" 10)
if [ "$quick" = 0 ]; then
    cli_big=$(cli_update_ms "$dcache" "$big_tree/update-bench/n10" 10)
    cli_big_1000=$(cli_update_ms "$dcache" "$big_tree/update-bench/n1000" 10)
    cli_big_100000=$(cli_update_ms "$dcache" "$big_tree/update-bench/n100000" 4)
fi

tiny_entries=$(entries_of "$tiny_tree")
echo
echo "2. One folder update: microseconds per update, in process (update_bench), adding and"
echo "   removing one file in the folder alternately, each followed by ApplyFolderChange"
echo
printf '  %-6s %10s %12s %9s %8s %10s %10s %10s %10s %10s\n' cache 'cache MB' 'entries' folder \
    updates 'median us' 'p90 us' 'min us' 'add us' 'remove us'
update_row() {  # update_row LABEL ENTRIES CACHE FOLDER-SUFFIX
    local label=$1 entries=$2 cache=$3 suffix=$4
    [ -n "$(field "$label" "$suffix" updates)" ] || return 0
    local shown=${suffix#/update-bench/n}
    shown=${shown%/}
    [ "$suffix" != '(not' ] || shown='none'
    printf '  %-6s %10.1f %12s %9s %8s %10s %10s %10s %10s %10s\n' "$label" \
        "$(awk -v b="$(cache_bytes "$cache")" 'BEGIN { print b / 1048576 }')" "$entries" \
        "$shown" "$(field "$label" "$suffix" updates)" \
        "$(field "$label" "$suffix" median_us)" "$(field "$label" "$suffix" p90_us)" \
        "$(field "$label" "$suffix" min_us)" "$(field "$label" "$suffix" add_us)" \
        "$(field "$label" "$suffix" remove_us)"
}
update_row tiny "$tiny_entries" "$tiny_dir/cache.db" '(not'
update_row tiny "$tiny_entries" "$tiny_dir/cache.db" /update-bench/n10/
update_row small "$small_tree_entries" "$lat_cache" '(not'
update_row small "$small_tree_entries" "$lat_cache" /update-bench/n10/
update_row small "$small_tree_entries" "$lat_cache" /update-bench/n1000/
if [ "$quick" = 0 ]; then
    update_row big "$dtree_entries" "$dcache" '(not'
    update_row big "$dtree_entries" "$dcache" /update-bench/n10/
    update_row big "$dtree_entries" "$dcache" /update-bench/n1000/
    update_row big "$dtree_entries" "$dcache" /update-bench/n100000/
fi
echo
echo "  folder: files in the changed folder (none: a path outside the cache, which costs the"
echo "  opening, locking and mapping of the cache file that every update pays)"
echo
echo "  corvella update --cache CACHE FOLDER, one process per update, median wall ms:"
printf '  %-6s %9s %9s\n' cache folder ms
printf '  %-6s %9s %9s\n' tiny 10 "$cli_tiny" small 10 "$cli_small"
if [ "$quick" = 0 ]; then
    printf '  %-6s %9s %9s\n' big 10 "$cli_big" big 1000 "$cli_big_1000" big 100000 "$cli_big_100000"
fi

# --- 3. defragmentation against a fresh build -----------------------------------------------

# Loosening: a file added to a folder moves its block (a build leaves every block full) to a
# free block or the end of the file; removing it again leaves slack in the moved block.
note "$dlabel cache: loosening it with $loosen folder updates, twice"
dfolders="$tmp/defrag-folders"
find "$dtree" -type d -not -path '*/update-bench*' >"$dfolders"
dfolder_count=$(wc -l <"$dfolders")
lstep=$((dfolder_count / loosen))
[ "$lstep" -ge 1 ] || lstep=1
awk -v s="$lstep" 'NR % s == 0' "$dfolders" | head -n "$loosen" >"$loosened_list"
loosened=$(wc -l <"$loosened_list")
while IFS= read -r folder; do : >"$folder/$probe_name"; done <"$loosened_list"
t0=$EPOCHREALTIME
xargs -d '\n' "$corvella" update --cache "$dcache" <"$loosened_list" >/dev/null 2>"$tmp/stderr" ||
    { tail -n 5 "$tmp/stderr" >&2; die "corvella update of the loosened folders failed"; }
t1=$EPOCHREALTIME
while IFS= read -r folder; do rm -f "$folder/$probe_name"; done <"$loosened_list"
xargs -d '\n' "$corvella" update --cache "$dcache" <"$loosened_list" >/dev/null 2>"$tmp/stderr" ||
    { tail -n 5 "$tmp/stderr" >&2; die "corvella update of the loosened folders failed"; }
t2=$EPOCHREALTIME
rm -f "$loosened_list"
bulk_us=$(awk -v a="$t0" -v b="$t2" -v n="$((2 * loosened))" 'BEGIN { printf "%.0f", (b - a) * 1e6 / n }')
loose="$tmp/loose.db"
cp "$dcache" "$loose"
loose_bytes=$(cache_bytes "$loose")
loose_check=$("$corvella" check --cache "$loose" 2>&1 || true)
loose_free=$(printf '%s\n' "$loose_check" | sed -n 's/^free blocks: //p')

: >"$tmp/defrag-ms"
for ((r = 1; r <= runs; r++)); do
    note "$dlabel cache: corvella defrag, run $r of $runs"
    cp "$loose" "$dcache"
    cat "$dcache" >/dev/null
    wall_ms "$corvella" defrag --cache "$dcache" >>"$tmp/defrag-ms"
done
defrag_ms=$(median_of <"$tmp/defrag-ms")
defrag_bytes=$(cache_bytes "$dcache")
defrag_check_status=0
defrag_check=$("$corvella" check --cache "$dcache" 2>&1) || defrag_check_status=$?
count_loose=$(count_of "$loose" '*.c')
count_defrag=$(count_of "$dcache" '*.c')
rm -f "$loose"

echo
echo "3. Defragmentation: tree $dlabel, $dtree ($dtree_entries entries), warm; $runs timed runs each"
echo
printf '  %-44s %12s %12s\n' '' 'median s' 'min s'
printf '  %-44s %12.3f %12.3f\n' "corvella index (fresh cache)" \
    "$(awk -v m="$index_ms" 'BEGIN { print m / 1000 }')" \
    "$(min_of <"$tmp/index-ms" | awk '{ print $1 / 1000 }')"
printf '  %-44s %12.3f %12.3f\n' "corvella defrag (loosened cache)" \
    "$(awk -v m="$defrag_ms" 'BEGIN { print m / 1000 }')" \
    "$(min_of <"$tmp/defrag-ms" | awk '{ print $1 / 1000 }')"
printf '  %-44s %12s\n' 'defrag / index (medians)' \
    "$(awk -v d="$defrag_ms" -v i="$index_ms" 'BEGIN { printf "%.3f", d / i }')"
echo
printf '  %-44s %14s\n' 'cache bytes' ''
printf '  %-44s %14s\n' 'fresh from corvella index' "$fresh_bytes" \
    "after $((2 * loosened)) folder updates" "$loose_bytes" 'after corvella defrag' "$defrag_bytes"
echo
echo "  loosened: $loosened folders each had a file added and applied, then removed and applied,"
echo "  with corvella update (many folders per process: $bulk_us us per folder, start-up included);"
echo "  free blocks in the loosened cache: ${loose_free:-?}"
echo "  '*.c' matches: $count_loose in the loosened cache, $count_defrag after defrag"
if [ "$defrag_check_status" = 0 ]; then
    echo "  corvella check after defrag: $(printf '%s\n' "$defrag_check" | tail -n 1)"
else
    echo "  corvella check after defrag FAILED (exit $defrag_check_status):"
    printf '%s\n' "$defrag_check" | sed 's/^/    /'
fi

# --- summary --------------------------------------------------------------------------------

echo
echo "Summary"
printf '  %-56s %12s %10s\n' measure value target
printf '  %-56s %12s %10s\n' "change to search, median (searches back to back)" \
    "$lat_median ms" '<= 300 ms'
printf '  %-56s %12s %10s\n' 'change to search, 95th percentile' "$lat_p95 ms" '<= 300 ms'
printf '  %-56s %12s %10s\n' "change to search, median (a search every 20 ms)" \
    "$paced_median ms" '<= 300 ms'
printf '  %-56s %12s %10s\n' 'change to search, 95th percentile' "$paced_p95 ms" '<= 300 ms'
printf '  %-56s %12s\n' 'one search --count of the small cache (process)' "$search_ms ms"
printf '  %-56s %12s\n' "update of a 10-file folder, tiny cache ($tiny_entries entries)" \
    "$(field tiny /update-bench/n10/ median_us) us"
printf '  %-56s %12s\n' "update of a 10-file folder, small cache ($small_tree_entries)" \
    "$(field small /update-bench/n10/ median_us) us"
printf '  %-56s %12s\n' "update of a 1,000-file folder, small cache" \
    "$(field small /update-bench/n1000/ median_us) us"
if [ "$quick" = 0 ]; then
    printf '  %-56s %12s\n' "update of a 10-file folder, big cache ($dtree_entries)" \
        "$(field big /update-bench/n10/ median_us) us"
    printf '  %-56s %12s\n' "update of a 1,000-file folder, big cache" \
        "$(field big /update-bench/n1000/ median_us) us"
    printf '  %-56s %12s\n' "update of a 100,000-file folder, big cache" \
        "$(field big /update-bench/n100000/ median_us) us"
    printf '  %-56s %12s\n' 'corvella update of a 10-file folder, big cache (process)' "$cli_big ms"
fi
printf '  %-56s %12s\n' "corvella index, $dlabel tree" "$index_ms ms"
printf '  %-56s %12s\n' "corvella defrag, loosened $dlabel cache" "$defrag_ms ms"
printf '  %-56s %12s %10s\n' 'defrag / index' \
    "$(awk -v d="$defrag_ms" -v i="$index_ms" 'BEGIN { printf "%.3f", d / i }')" '< 0.1'

rm -rf "$small_tree" "$tiny_tree" "$lat_dir" "$tiny_dir" "$ddir"
rm -f "$corvella" "$update_bench" "$tmp"/*-ms "$tmp"/stderr "$tmp"/updates "$tmp"/latency-* \
    "$tmp"/*-folders "$watch_log"
echo
echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Total benchmark time, preparation included: $(($(date +%s) - started)) s"
