#!/usr/bin/env bash
# Builds the cache fuzz target with clang++ (libFuzzer, ASan, UBSan) in build/fuzz, replays the
# inputs that made it fail before (tests/fuzz/crashes/, so a fixed fault stays fixed), then fuzzes
# for a bounded time from a copy of the committed seed corpus. Exits non-zero when any input
# crashes, hangs or runs out of memory; that input is left in build/fuzz/run/artifacts/.
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
cmake --build "$BUILD_DIR" --target cache_fuzz || exit 2
target="$BUILD_DIR/cache_fuzz"

rm -rf "$RUN_DIR"
mkdir -p "$RUN_DIR/corpus" "$RUN_DIR/artifacts" "$RUN_DIR/tmp"
cp "$FUZZ_DIR"/corpus/* "$RUN_DIR/corpus/"
# The target's temporary cache file goes with the run; a leak is a failure like any other.
export TMPDIR="$RUN_DIR/tmp"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:symbolize=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
limits=(-timeout=10 -rss_limit_mb=2048)

status=0
for input in "$FUZZ_DIR"/crashes/*; do
    if "$target" "${limits[@]}" "$input" >"$RUN_DIR/replay.log" 2>&1; then
        cp "$input" "$RUN_DIR/corpus/"
    else
        cat "$RUN_DIR/replay.log" >&2
        echo "run-fuzz: $input still crashes" >&2
        status=1
    fi
done

echo "run-fuzz: fuzzing for ${SECONDS_TO_RUN}s"
# -max_len: the seeds are a few KB; larger files only slow every run down.
if ! "$target" -max_total_time="$SECONDS_TO_RUN" -max_len=8192 "${limits[@]}" \
    -artifact_prefix="$RUN_DIR/artifacts/" -print_final_stats=1 "$RUN_DIR/corpus" \
    >"$RUN_DIR/fuzz.log" 2>&1; then
    tail -n 80 "$RUN_DIR/fuzz.log" >&2
    echo "run-fuzz: the fuzzer failed; full log $RUN_DIR/fuzz.log, input in" \
         "$RUN_DIR/artifacts/" >&2
    status=1
fi
grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units)' "$RUN_DIR/fuzz.log"
exit $status
