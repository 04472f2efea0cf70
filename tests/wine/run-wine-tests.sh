#!/usr/bin/env bash
# Runs the Windows builds under Wine: each preset's unit tests, then a short run of its command
# line watching a drive while files change on it.
#
#   tests/wine/run-wine-tests.sh PRESET...      PRESET: win64, win32 (built beforehand)
#
# GTEST_* variables reach the test programs through Wine's environment;
# CORVELLA_WINE_TESTS_TIMEOUT sets the seconds a test program may take (300). Logs in
# build/wine/logs/. One 64-bit prefix runs both presets (prefix.sh tells how it is fenced).
set -uo pipefail

SOURCE_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
WORK_DIR="$SOURCE_DIR/build/wine"
BUILD_FILES="tests/corvella_tests.exe src/corvella-cli.exe"
# shellcheck source=tests/wine/prefix.sh
. "$SOURCE_DIR/tests/wine/prefix.sh"

TESTS_TIMEOUT="${CORVELLA_WINE_TESTS_TIMEOUT:-300}"  # a whole run takes about 20 s
CLI_TIMEOUT=120
WATCH_TIMEOUT=300  # the background watcher's whole life
WATCH_SETTLE=30    # a change reaching the cache, the watcher starting or stopping

# The unit tests pass only when the program exits with 0 and GoogleTest's summary says so: a
# program that vanished half way (killed, crashed in Wine) also exits with 0 at times.
unit_tests() {
    local out
    out="$(run_in_wine "$TESTS_TIMEOUT" "$DIR" "$WIN_DIR\\corvella_tests.exe" 2>&1 | tee /dev/stderr)" || return
    grep -q '^\[  PASSED  \]' <<<"$out" && ! grep -q '^\[  FAILED  \]' <<<"$out"
}

cli() {  # shows what the command line prints; keeps it in CLI_OUT without carriage returns
    CLI_OUT="$(run_in_wine "$CLI_TIMEOUT" "$DIR" "$WIN_DIR\\corvella-cli.exe" "$@" 2>&1 | tr -d '\r')"
    local status=$?  # the command line's, by pipefail
    printf '%s\n' "$CLI_OUT"
    return "$status"
}

# Searches for PATTERN until the output is exactly EXPECTED ("" for nothing found): a change the
# watcher has not applied yet, or a cache file it holds at that moment, gives something else.
search_gives() { cli search --cache "$CACHE" "$2" >/dev/null; [ "$CLI_OUT" = "$1" ]; }
watch_shows() {  # expected pattern
    within "$WATCH_SETTLE" search_gives "$1" "$2" ||
        { echo "search $2 gives \"$CLI_OUT\", not \"$1\", after ${WATCH_SETTLE}s"; return 1; }
}

# Runs `watch` over D: in the background, changes files at the drive's root and waits for each
# change to reach the cache; then stops the watcher with Ctrl+C and checks the cache and the
# state file. Wine 8 reports changes only in the watched folder itself, not below it, so every
# change is made at the root; deeper changes are tested natively. Ctrl+C: Wine turns a SIGINT
# into CTRL_C_EVENT for the program, and timeout hands the signal on to its process group, in
# which the program stays; so signalling the timeout is a real Ctrl+C.
watch() {
    local drive="$DRIVES_DIR/d" data="$WINEPREFIX/drive_c/corvella-watch" pid status=1
    CACHE='C:\corvella-watch\w.db'
    rm -rf "$drive" "$data"
    mkdir -p "$drive/sub" "$data"
    map_drive d "$drive" || return 1
    printf 'one\n' >"$drive/first.txt"
    printf 'two\n' >"$drive/sub/below.txt"
    (cd "$DIR" && exec timeout -k 10 "$WATCH_TIMEOUT" wine "$WIN_DIR\\corvella-cli.exe" watch \
        --cache "$CACHE" -v 'D:\' >/dev/null 2>"$data/watch.txt") &
    pid=$!  # the timeout, the one to signal
    if within "$WATCH_SETTLE" grep -qs '^corvella: watching D:\\' "$data/watch.txt" &&
        watch_shows 'D:\first.txt' first.txt && printf 'x\n' >"$drive/made.txt" &&
        watch_shows 'D:\made.txt' made.txt && mv "$drive/made.txt" "$drive/renamed.txt" &&
        watch_shows 'D:\renamed.txt' renamed.txt && watch_shows '' made.txt &&
        rm "$drive/renamed.txt" && watch_shows '' renamed.txt &&
        kill -INT "$pid" && within "$WATCH_SETTLE" eval '! kill -0 "$pid" 2>/dev/null'; then
        wait "$pid"
        status=$?
    fi
    kill -KILL -- "-$pid" 2>/dev/null
    sed 's/\r$//' "$data/watch.txt"
    rm -f "$WINEPREFIX/dosdevices/d:"
    [ "$status" -eq 0 ] && grep -q '^corvella: stopped watching' "$data/watch.txt" ||
        { echo "watch did not watch, or did not end in order after Ctrl+C (exit $status)"; return 1; }
    tr -d '\r' <"$data/stateinfo.ini" | grep -qx 'ProgramExit=TRUE' ||
        { echo "the state file does not say the watcher ended in order"; return 1; }
    # Left on D: is what no change touched: the folder sub, first.txt and sub\below.txt.
    cli check --cache "$CACHE" && [[ $CLI_OUT == *$'\ndrives: 1\nfolders: 1\nfiles: 2\n'* ]] ||
        { echo "check should pass and count 1 drive, 1 folder and 2 files"; return 1; }
}

body() {  # preset...: each step in the background, so that an interrupt ends it
    local preset step
    for preset in "$@"; do
        runs_here "$preset" || continue
        DIR="$WINEPREFIX/drive_c/corvella-test/$preset" WIN_DIR="C:\\corvella-test\\$preset"
        rm -rf "$DIR" && mkdir -p "$DIR"
        cp "$SOURCE_DIR/build/$preset/tests/corvella_tests.exe" "$SOURCE_DIR/build/$preset/src/corvella-cli.exe" "$DIR/"
        for step in unit_tests watch; do
            logged "$preset-$step" in_background "$step" || stop_wine  # it may leave a dialog behind
        done
    done
}

wine_main "$@"
