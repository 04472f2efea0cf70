#!/usr/bin/env bash
# Search speed of `corvella search --count` against plocate, find and fdfind, all measured in the
# same run on the same warm trees (see bench/README.md). corvella is timed twice: walking the
# cache file itself (CORVELLA_NO_KEEPER=1), and answered by a `corvella watch` keeping the cache
# (the "keeper" column; every such answer is checked to have come from the keeper):
#   small  the extracted Debian linux-source tree (about 84,000 entries)
#   large  hard-linked copies of it under one parent folder (about 2,000,000 entries)
# Then, unless --no-matchers, the matcher micro-benchmark over the small tree's cache.
# Prints the tables on stdout; progress goes to stderr.
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)

work="$here/out"
quick=0
runs_small=5
runs_large=5
large_target=2000000
runs_given=""
corvella_given=""
matchers=1

usage() {
    cat <<EOF
usage: bench/search_bench.sh [--quick] [--runs N] [--work DIR] [--large-entries N]
                             [--corvella BIN] [--no-matchers]

  --quick            only the small tree, 3 runs per tool and pattern
  --runs N           timed runs per tool, pattern and tree (default: 5; 3 with --quick)
  --work DIR         where the trees, caches and databases live (default: bench/out)
  --large-entries N  approximate size of the large tree (default: 2000000)
  --corvella BIN     measure this corvella instead of the one built in build/bench
  --no-matchers      skip the matcher micro-benchmark at the end
EOF
}

while [ $# -gt 0 ]; do
    case "$1" in
        --quick) quick=1 ;;
        --runs) runs_given="$2"; shift ;;
        --work) work="$2"; shift ;;
        --large-entries) large_target="$2"; shift ;;
        --corvella) corvella_given="$2"; shift ;;
        --no-matchers) matchers=0 ;;
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

bench_name=search_bench
# shellcheck source=bench/common.sh
. "$here/common.sh"

# --- what the benchmark needs --------------------------------------------------------------

need_cmd cmake cmake
need_cmd ninja ninja-build
need_cmd g++ g++
need_cmd fdfind fd-find
need_cmd plocate plocate
need_cmd updatedb.plocate plocate
if [ "$matchers" = 1 ]; then need_file /usr/include/benchmark/benchmark.h libbenchmark-dev; fi
find_source_tarball

# --- the programs under test ----------------------------------------------------------------

# A build directory of its own, with the benchmarks switched on; the normal builds never see it.
build="$repo/build/bench"
targets=()
[ -n "$corvella_given" ] || targets+=(corvella)
[ "$matchers" = 0 ] || targets+=(matcher_bench)
if [ ${#targets[@]} -gt 0 ]; then
    note "building ${targets[*]} in $build"
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
            -DCORVELLA_BENCH=ON -DCORVELLA_TESTS=OFF >&2
    fi
    cmake --build "$build" --target "${targets[@]}" >&2
fi

if [ -n "$corvella_given" ]; then
    [ -x "$corvella_given" ] || die "$corvella_given is not an executable"
    corvella_src="$corvella_given"
    corvella_label="$corvella_given"
else
    corvella_src="$build/src/corvella"
    [ -x "$corvella_src" ] || die "the build did not produce $corvella_src"
    corvella_label="built from $(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo '?')"
    if [ -n "$(git -C "$repo" status --porcelain -- src CMakeLists.txt 2>/dev/null)" ]; then
        corvella_label="$corvella_label with uncommitted changes"
    fi
fi

mkdir -p "$work"
work=$(cd "$work" && pwd)
tmp="$work/search"
mkdir -p "$tmp"
# A private copy, so that a rebuild in the tree during the run cannot change what is measured.
corvella="$tmp/corvella-under-test"
cp "$corvella_src" "$corvella"

# --- the patterns, as each tool must be given them ------------------------------------------
#
# corvella: a pattern without wildcards matches anywhere in the name; one with '*' or '?' is a
# whole-name glob; ';' separates alternatives, each a whole-name glob. Case-blind always.
# The others are made to ask the same of base names, case-blind:
#   plocate -b -i: a pattern without glob characters is a substring; with them a whole-name glob;
#                  several patterns must ALL match, so a list becomes one extended regex.
#   find -iname:   always a whole-name glob: a substring P becomes '*P*', a list a chain of -o.
#   fdfind -i:     a regex matched anywhere in the name by default; -g for a whole-name glob, and a
#                  list becomes one glob with {a,b} alternatives. -uu: hidden and git-ignored
#                  entries too, as the others see them.

patterns=('kvm_main' 'include' '*.rst' 'a' '*.c;*.h' 'zqxjv')
pattern_notes=('selective substring' 'common substring' 'extension glob' 'one letter'
               'list of two globs' 'matches nothing')

is_glob() { case "$1" in *'*'* | *'?'*) return 0 ;; *) return 1 ;; esac; }
is_list() { case "$1" in *';'*) return 0 ;; *) return 1 ;; esac; }
regex_escape() { printf '%s' "$1" | sed 's/[][\.^$+(){}|\\]/\\&/g'; }
glob_to_ere() { regex_escape "$1" | sed 's/\*/.*/g; s/?/./g'; }

# Sets plocate_args, find_args and fd_args for corvella pattern $1.
translate() {
    local p=$1 item items=() joined=""
    if is_list "$p"; then
        IFS=';' read -r -a items <<<"$p"
        find_args=('(')
        for item in "${items[@]}"; do
            [ -n "$item" ] || continue
            [ "${#find_args[@]}" = 1 ] || find_args+=(-o)
            find_args+=(-iname "$item")
            joined="$joined${joined:+|}$(glob_to_ere "$item")"
        done
        find_args+=(')')
        plocate_args=(--regex "^($joined)\$")
        fd_args=(-g "{$(IFS=,; echo "${items[*]}")}")
    elif is_glob "$p"; then
        plocate_args=("$p")
        find_args=(-iname "$p")
        fd_args=(-g "$p")
    else
        plocate_args=("$p")
        find_args=(-iname "*$p*")
        fd_args=("$(regex_escape "$p")")
    fi
}

shell_words() {  # the arguments as one would type them
    local out="" a
    for a in "$@"; do
        if [[ "$a" =~ ^[A-Za-z0-9_./=-]+$ ]]; then out="$out $a"; else out="$out '$a'"; fi
    done
    echo "${out# }"
}

# --- timing ---------------------------------------------------------------------------------

tools=(corvella keeper plocate find fdfind)

# Each tool is timed as the shell starts it once, its output going to "$tmp/out": no command
# substitution inside the timed part, which would charge the tool a second fork of the shell.
# run_TOOL runs it (exit 1 is "nothing found", no error); count_of_TOOL then reads the count
# from its output, untimed.
run_corvella() {
    CORVELLA_NO_KEEPER=1 "$corvella" search --cache "$db" --count "$pattern" \
        >"$tmp/out" 2>"$tmp/stderr"
}
run_keeper() {
    "$corvella" search -v --cache "$db" --count "$pattern" >"$tmp/out" 2>"$tmp/stderr"
}
out_line() { local line=""; read -r line <"$tmp/out" || true; echo "$line"; }
# "2,808 items found (10,976,496KB)"
count_of_corvella() {
    local line
    line=$(out_line)
    line=${line%% items found*}
    echo "${line//,/}"
}
count_of_keeper() {
    grep -q '^corvella: answered by the keeper' "$tmp/stderr" || return 3
    count_of_corvella
}

# A keeper of $db over $tree, its socket in a private folder of the run's own.
keeper_pid=""
start_keeper() {
    export XDG_RUNTIME_DIR="$tmp/run"
    mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
    "$corvella" watch --cache "$db" "$tree" 2>"$tmp/keeper.err" &
    keeper_pid=$!
    local waited=0
    until grep -q '^corvella: watching' "$tmp/keeper.err"; do
        kill -0 "$keeper_pid" 2>/dev/null || { cat "$tmp/keeper.err" >&2; die "the keeper ended"; }
        sleep 0.2
        waited=$((waited + 1))
        [ "$waited" -lt 3000 ] || die "the keeper did not start within 10 minutes"
    done
    grep -q '^corvella: answering searches at' "$tmp/keeper.err" ||
        { cat "$tmp/keeper.err" >&2; die "the keeper does not answer searches"; }
}
stop_keeper() {
    [ -n "$keeper_pid" ] || return 0
    kill -INT "$keeper_pid" 2>/dev/null || true
    wait "$keeper_pid" || true
    keeper_pid=""
}
trap stop_keeper EXIT
run_plocate() {  # it prints 0 and exits 1 when nothing is found
    plocate -d "$plocate_db" -i -b -c "${plocate_args[@]}" >"$tmp/out" 2>"$tmp/stderr"
}
run_find() { find "$tree" "${find_args[@]}" 2>"$tmp/stderr" | wc -l >"$tmp/out"; }
run_fdfind() { fdfind -uu -i "${fd_args[@]}" "$tree" 2>"$tmp/stderr" | wc -l >"$tmp/out"; }
count_of_plocate() { out_line; }
count_of_find() { out_line; }
count_of_fdfind() { out_line; }

# The kernel's count of file pages held in folios of 2 MB, in KB (empty where it keeps none such).
file_huge_kb() { awk '/^FileHugePages:/ { print $2 }' /proc/meminfo; }

# run_tool TOOL TIMES_FILE COUNT_FILE: one run; appends its milliseconds, and writes the count.
run_tool() {
    local tool=$1 t0 t1 count status=0
    t0=$EPOCHREALTIME
    "run_$tool" || status=$?
    t1=$EPOCHREALTIME
    if [ "$status" -gt 1 ] || ! count=$("count_of_$tool"); then
        echo "search_bench: $tool failed on pattern '$pattern':" >&2
        cat "$tmp/stderr" >&2
        exit 1
    fi
    case "$count" in '' | *[!0-9]*)
        echo "search_bench: $tool printed '$count' for '$pattern' instead of a count" >&2
        cat "$tmp/stderr" >&2
        exit 1 ;;
    esac
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", (b - a) * 1000 }' >>"$2"
    echo "$count" >"$3"
}

bench_tree() {  # bench_tree LABEL TREE RUNS
    local label=$1 runs=$3
    tree=$2
    db="$tmp/$label.db"
    plocate_db="$tmp/$label.plocate"

    note "$label: warming $tree (one untimed walk)"
    find "$tree" >/dev/null
    local entries
    entries=$(find "$tree" | wc -l)

    note "$label: building the corvella cache and the plocate database"
    local t0 t1 t2 huge0 huge1
    rm -f "$db" "$plocate_db"
    huge0=$(file_huge_kb)
    t0=$EPOCHREALTIME
    "$corvella" index --cache "$db" "$tree" >/dev/null 2>"$tmp/stderr" ||
        { cat "$tmp/stderr" >&2; die "corvella index failed"; }
    t1=$EPOCHREALTIME
    huge1=$(file_huge_kb)
    updatedb.plocate -U "$tree" -o "$plocate_db" --prunepaths '' --prunefs '' --prunenames '' \
        --prune-bind-mounts no -l no
    t2=$EPOCHREALTIME
    # Both files read once, so that every timed run finds them in the page cache.
    cat "$db" "$plocate_db" >/dev/null
    local cache_bytes
    cache_bytes=$(stat -c %s "$db")

    note "$label: starting a keeper of the cache"
    start_keeper
    local i tool r
    for i in "${!patterns[@]}"; do
        pattern=${patterns[$i]}
        translate "$pattern"
        note "$label: '$pattern': one untimed run per tool, then $runs rounds"
        for tool in "${tools[@]}"; do
            : >"$tmp/times-$i-$tool"
            run_tool "$tool" /dev/null "$tmp/count-$i-$tool"
        done
        # Round-robin, so that a slow spell of the machine hits every tool alike.
        for ((r = 1; r <= runs; r++)); do
            for tool in "${tools[@]}"; do
                run_tool "$tool" "$tmp/times-$i-$tool" "$tmp/count-$i-$tool"
            done
        done
        cmp -s "$tmp/count-$i-corvella" "$tmp/count-$i-keeper" ||
            die "the keeper counted otherwise than the walk for '$pattern'"
    done
    stop_keeper

    echo
    echo "Tree $label: $tree"
    printf '  %s entries (find, the root included); %s timed runs per tool and pattern, warm\n' \
        "$entries" "$runs"
    awk -v b="$cache_bytes" -v e="$entries" -v p="$(stat -c %s "$plocate_db")" \
        -v ci="$t0" -v cj="$t1" -v pj="$t2" 'BEGIN {
        printf "  corvella cache %d bytes (%.1f MiB, %.1f per entry), built in %.2f s;\n", b, b / 1048576, b / e, cj - ci
        printf "  plocate database %d bytes (%.1f MiB), built in %.2f s\n", p, p / 1048576, pj - cj }'
    awk -v a="$huge0" -v b="$huge1" 'BEGIN { if (a != "" && b != "")
        printf "  file pages held in 2 MB folios (FileHugePages, the whole system): %+.1f MiB while the cache was written\n", (b - a) / 1024 }'
    echo
    echo "  median wall ms per search, the process started and ended each time; corvella walking"
    echo "  the file, and answered by its keeper; matches as each tool counted them (the keeper's"
    echo "  are the walk's); ratios of medians (below 1: corvella is faster); scan: cache bytes"
    echo "  over the walk's median"
    echo
    printf '  %-9s | %9s %9s %9s %9s %9s | %8s %8s %8s %8s | %8s %8s %8s | %9s\n' pattern \
        corvella keeper plocate find fdfind corvella plocate find fdfind 'c/find' 'c/ploc' \
        'k/ploc' 'scan GB/s'
    printf '  %-9s | %9s %9s %9s %9s %9s | %8s %8s %8s %8s |\n' '' 'ms' 'ms' 'ms' 'ms' 'ms' \
        matches matches matches matches
    local i
    for i in "${!patterns[@]}"; do
        local meds=() counts=()
        for tool in "${tools[@]}"; do
            meds+=("$(median_of <"$tmp/times-$i-$tool")")
            counts+=("$(cat "$tmp/count-$i-$tool")")
        done
        awk -v p="${patterns[$i]}" -v c="${meds[0]}" -v k="${meds[1]}" -v l="${meds[2]}" \
            -v f="${meds[3]}" -v d="${meds[4]}" -v nc="${counts[0]}" -v nl="${counts[2]}" \
            -v nf="${counts[3]}" -v nd="${counts[4]}" -v b="$cache_bytes" 'BEGIN {
            printf "  %-9s | %9.1f %9.1f %9.1f %9.1f %9.1f | %8d %8d %8d %8d | %8.3f %8.2f %8.2f | %9.2f\n",
                p, c, k, l, f, d, nc, nl, nf, nd, c / f, (l > 0 ? c / l : 0), (l > 0 ? k / l : 0),
                b / (c / 1000) / 1e9 }'
    done
    in_process_table
    echo
    echo "  minimum wall ms per search"
    printf '  %-9s | %9s %9s %9s %9s %9s\n' pattern corvella keeper plocate find fdfind
    for i in "${!patterns[@]}"; do
        local mins=()
        for tool in "${tools[@]}"; do mins+=("$(min_of <"$tmp/times-$i-$tool")"); done
        printf '  %-9s | %9.1f %9.1f %9.1f %9.1f %9.1f\n' "${patterns[$i]}" "${mins[@]}"
    done
}

# One query inside a running program: `--repeat` runs the same query again and again in one
# process and reports the median of the queries alone (wall and processor time, all threads),
# from the in-memory index (read once, before the first) and from the walk of the mapped file.
repeats=21
in_process() {  # in_process ENGINE [--count]: "wall cpu" of the median query, and the index size
    local line status=0
    if [ "${2-}" = --count ]; then
        "$corvella" search --cache "$db" --engine "$1" --repeat "$repeats" --count "$pattern" \
            >/dev/null 2>"$tmp/stderr" || status=$?
    else
        "$corvella" search --cache "$db" --engine "$1" --repeat "$repeats" "$pattern" \
            >/dev/null 2>"$tmp/stderr" || status=$?
    fi
    [ "$status" -le 1 ] || { cat "$tmp/stderr" >&2; die "corvella --engine $1 failed on '$pattern'"; }
    line=$(grep 'queries by the' "$tmp/stderr") || { cat "$tmp/stderr" >&2; die "no timing line"; }
    case "$line" in *"by the $1"*) ;; *) die "asked for the $1, answered by another: $line" ;; esac
    # "... median 3.123 ms each (cpu 5.001 ms); index: N entries, M names, B bytes", and for a
    # listing the index left pending "; every record written: median W ms more (cpu C ms)"
    case "$line" in *"every record written"*) ;; *) line="$line; every record written: median 0 ms more (cpu 0 ms)" ;; esac
    echo "$line" | sed -E 's/.*median ([0-9.]+) ms each \(cpu ([0-9.]+) ms\); index: ([0-9]+) entries, ([0-9]+) names, ([0-9]+) bytes; every record written: median ([0-9.]+) ms more \(cpu ([0-9.]+) ms\).*/\1 \2 \3 \4 \5 \6 \7/'
}

in_process_table() {
    note "$label: one query inside a running program, $repeats per pattern and engine"
    echo
    echo "  one query inside a running program: median of $repeats queries in one process, wall ms"
    echo "  and (in brackets) processor ms summed over its threads; index: read once before them"
    echo
    echo "  (index, list: the matches found, their records left pending as a list view reads them;"
    echo "  + written: writing every record and text after that, as sorting, saving and printing do)"
    echo
    printf '  %-9s | %18s %18s %18s | %18s %18s\n' pattern 'index, count' 'index, list' \
        '+ written' 'walk, count' 'walk, list'
    local i index_size=""
    for i in "${!patterns[@]}"; do
        pattern=${patterns[$i]}
        local ic_w ic_c il_w il_c iw_w iw_c wc_w wc_c wl_w wl_c e n b
        read -r ic_w ic_c _ <<<"$(in_process index --count)"
        read -r il_w il_c e n b iw_w iw_c <<<"$(in_process index)"
        read -r wc_w wc_c _ <<<"$(in_process walk --count)"
        read -r wl_w wl_c _ <<<"$(in_process walk)"
        index_size="$e entries, $n distinct names, $b bytes"
        printf '  %-9s | %9.1f (%6.1f) %9.1f (%6.1f) %9.1f (%6.1f) | %9.1f (%6.1f) %9.1f (%6.1f)\n' \
            "$pattern" "$ic_w" "$ic_c" "$il_w" "$il_c" "$iw_w" "$iw_c" "$wc_w" "$wc_c" "$wl_w" "$wl_c"
    done
    echo "  index: $index_size; cache file $cache_bytes bytes"
}

print_commands() {
    echo
    echo "How each tool was asked (TREE, CACHE, DB: the tree, the corvella cache, the plocate database)"
    local i
    for i in "${!patterns[@]}"; do
        pattern=${patterns[$i]}
        translate "$pattern"
        echo "  '$pattern' (${pattern_notes[$i]})"
        echo "    corvella  CORVELLA_NO_KEEPER=1 corvella search --cache CACHE --count $(shell_words "$pattern")"
        echo "    in process: corvella search --cache CACHE --engine index|walk --repeat $repeats [--count] $(shell_words "$pattern")"
        echo "    keeper    corvella search -v --cache CACHE --count $(shell_words "$pattern")," \
            "with 'corvella watch --cache CACHE TREE' running"
        echo "    plocate   plocate -d DB -i -b -c $(shell_words "${plocate_args[@]}")"
        echo "    find      find TREE $(shell_words "${find_args[@]}") | wc -l"
        echo "    fdfind    fdfind -uu -i $(shell_words "${fd_args[@]}") TREE | wc -l"
    done
    cat <<'EOF'
  All four match base names only (plocate because of -b), case-blind. Where the counts differ,
  the semantics differ: corvella's cache holds the tree's root as one entry named by its full
  path (so 'a' finds it through ".../main/..."), and find tests the root's own name, while
  plocate's database and fdfind's output leave the root out.
  corvella --count and plocate -c count without printing a path; find and fdfind print
  every matching path into wc -l. None of them sorts.
EOF
}

# The same start and timing as run_tool, of a program that does nothing: what every column's
# figure holds before the tool does any work.
start_floor() {
    local true_bin t0 t1 i
    true_bin=$(type -P true)
    for i in $(seq 21); do
        t0=$EPOCHREALTIME
        "$true_bin" >"$tmp/out" 2>"$tmp/stderr"
        t1=$EPOCHREALTIME
        awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", (b - a) * 1000 }'
    done | median_of
}

# --- the run --------------------------------------------------------------------------------

started=$(date +%s)
prepare_trees $((1 - quick)) "$large_target"

echo "corvella search benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "  corvella $corvella_label; $(uname -sr)," \
    "$(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)," \
    "$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
echo "  trees on $(df -T "$work" | awk 'NR == 2 { print $2 }') ($work); source $(basename "$src_tar")"
echo "  $(find --version | head -n 1); $(fdfind --version); $(plocate --version | head -n 1)"
echo "  load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "  the floor under every column, the shell starting a program that does nothing:" \
    "$(start_floor) ms median"

bench_tree small "$small" "$runs_small"
if [ "$quick" = 0 ]; then
    bench_tree large "$large" "$runs_large"
fi
print_commands

if [ "$matchers" = 1 ]; then
    note "matcher micro-benchmark over the small tree's cache"
    echo
    echo "Matchers over the names of the small tree's cache ($build/bench/matcher_bench)"
    echo "  ns_per_name: thread CPU time per name of one matcher call; Scan: only finding each"
    echo "  name's end; Query/...: a whole search in process (walk, matcher, result records and"
    echo "  pool), per entry"
    echo
    # The context (CPU, caches, names) comes on stderr, the table on stdout. Debian builds the
    # library without NDEBUG, hence a warning that concerns the library's code, not the timed loops.
    "$build/bench/matcher_bench" --names="$tmp/small.db" --benchmark_min_time=0.2 \
        --benchmark_counters_tabular=true 2>&1 | grep -v 'Library was built as DEBUG' | sed 's/^/  /'
fi

rm -f "$corvella" "$tmp"/*.db "$tmp"/*.plocate "$tmp"/stateinfo.ini "$tmp"/stderr "$tmp"/times-* \
    "$tmp"/count-* "$tmp"/*.keeper "$tmp"/keeper.err "$tmp"/out
echo
echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Total benchmark time, preparation included: $(($(date +%s) - started)) s"
