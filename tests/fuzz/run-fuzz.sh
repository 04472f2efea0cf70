#!/usr/bin/env bash
# Builds the fuzz targets with clang++ (libFuzzer, ASan, UBSan) in build/fuzz, replays the
# inputs that made the cache target fail before (tests/fuzz/crashes/, so a fixed fault stays
# fixed), then fuzzes the cache target for a bounded time from a copy of the committed seed
# corpus, and the keeper's request and answer parser (corpus-request/) for a quarter of that.
# Exits non-zero when any input crashes, hangs or runs out of memory; that input is left in
# build/fuzz/run/artifacts/.
#
#   tests/fuzz/run-fuzz.sh [SECONDS]      default 60, or $CORVELLA_FUZZ_SECONDS
set -uo pipefail
shopt -s nullglob

SOURCE_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
FUZZ_DIR="$SOURCE_DIR/tests/fuzz"
BUILD_DIR="$SOURCE_DIR/build/fuzz"
RUN_DIR="$BUILD_DIR/run"
SECONDS_TO_RUN="${1:-${CORVELLA_FUZZ_SECONDS:-60}}"
[[ "$SECONDS_TO_RUN" =~ ^[0-9]+$ ]] ||
    { echo "run-fuzz: the time must be whole seconds, not '$SECONDS_TO_RUN'" >&2; exit 2; }
compiler="$(command -v clang++-14 || command -v clang++)" ||
    { echo "run-fuzz: clang++ is missing (scripts/ensure-tools.sh all installs it)" >&2; exit 2; }

[ -f "$BUILD_DIR/build.ninja" ] || cmake -S "$FUZZ_DIR" -B "$BUILD_DIR" -G Ninja \
    -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_BUILD_TYPE=RelWithDebInfo || exit 2
cmake --build "$BUILD_DIR" --target cache_fuzz request_fuzz || exit 2

rm -rf "$RUN_DIR"
mkdir -p "$RUN_DIR/artifacts" "$RUN_DIR/tmp"
cp -r "$FUZZ_DIR/corpus" "$FUZZ_DIR/corpus-request" "$RUN_DIR/"
# The target's temporary cache file goes with the run; a leak is a failure like any other.
export TMPDIR="$RUN_DIR/tmp"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:symbolize=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
limits=(-timeout=10 -rss_limit_mb=2048)

status=0
for input in "$FUZZ_DIR"/crashes/*; do
    if "$BUILD_DIR/cache_fuzz" "${limits[@]}" "$input" >"$RUN_DIR/replay.log" 2>&1; then
        cp "$input" "$RUN_DIR/corpus/"
    else
        cat "$RUN_DIR/replay.log" >&2
        echo "run-fuzz: $input still crashes" >&2
        status=1
    fi
done

fuzz() {  # target seconds corpus
    echo "run-fuzz: fuzzing $1 for ${2}s"
    # -max_len: the seeds are a few KB; larger files only slow every run down.
    if ! "$BUILD_DIR/$1" -max_total_time="$2" -max_len=8192 "${limits[@]}" \
        -artifact_prefix="$RUN_DIR/artifacts/" -print_final_stats=1 "$3" \
        >"$RUN_DIR/$1.log" 2>&1; then
        tail -n 80 "$RUN_DIR/$1.log" >&2
        echo "run-fuzz: $1 failed; full log $RUN_DIR/$1.log, input in $RUN_DIR/artifacts/" >&2
        status=1
    fi
    grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units)' "$RUN_DIR/$1.log"
}
fuzz cache_fuzz "$SECONDS_TO_RUN" "$RUN_DIR/corpus"
fuzz request_fuzz "$(( (SECONDS_TO_RUN + 3) / 4 ))" "$RUN_DIR/corpus-request"
exit $status
