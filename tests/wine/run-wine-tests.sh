#!/usr/bin/env bash
# Runs the Windows builds under Wine: each preset's unit tests, then short end-to-end runs of its
# command line (index a small tree, check the cache; watch a drive while files change on it).
#
#   tests/wine/run-wine-tests.sh PRESET...      PRESET: win64, win32 (built beforehand)
#
# GTEST_FILTER and the other GTEST_* variables reach the test programs through Wine's
# environment; CORVELLA_WINE_TESTS_TIMEOUT sets the seconds a test program may take (300).
# Logs are kept in build/wine/logs/.
#
# How the Wine side is set up, and why:
# - One private prefix, build/wine/shared, for both presets: a 64-bit prefix runs 32-bit programs
#   too, and making a prefix is the slow part (about 20 s). It is made once; a marker file written
#   after a complete `wineboot -i` tells a later run that it can be reused, and a prefix without
#   the marker (an interrupted first run) is thrown away and made again.
# - The prefix must never show the Linux file system to the programs: a build of a drive walks
#   everything the drive holds. So only C: stays in dosdevices (Wine links z: to /), and the user
#   folders that Wine links to the Linux home (Desktop, Documents, Templates, ...) become empty
#   folders. Wine recreates those links when it updates a prefix after an upgrade, so every run
#   boots the prefix first (which performs such an update) and fences it afterwards. The watch
#   step alone maps D: for its length to a fresh, empty temporary folder, and removes it again.
# - The programs run from copies on C:, with the current folder inside C:, since with no z:
#   nothing outside the prefix has a Windows path.
# - No add-on downloads (mscoree, mshtml off), no debug chatter, and a virtual X display from
#   xvfb-run, which the error-box tests need. Runs are serialised by a lock on build/wine, since
#   two runs sharing one prefix would share one wineserver.
# - Every Wine command has a time limit and runs in the background while the script waits for it:
#   bash runs an interrupt's trap only after a foreground command ends, and only if that command
#   died of the interrupt, which Wine's programs catch themselves. The trap kills the wineserver
#   and with it every Windows process of the prefix; so does the end of every run.
# - A test program counts as passed only when it exits with 0 and GoogleTest's summary says so;
#   a program that vanished half way (killed, crashed in Wine) also exits with 0 at times.
set -uo pipefail

SOURCE_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
WINE_DIR="$SOURCE_DIR/build/wine"
LOG_DIR="$WINE_DIR/logs"
READY_MARKER=".corvella-prefix-ready"

export WINEPREFIX="$WINE_DIR/shared"
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all

# Seconds.
INIT_TIMEOUT=600
BOOT_TIMEOUT=300
TESTS_TIMEOUT="${CORVELLA_WINE_TESTS_TIMEOUT:-300}"  # a whole run takes about 20 s
CLI_TIMEOUT=120
WATCH_TIMEOUT=300  # the background watcher's whole life
WATCH_SETTLE=30    # a change reaching the cache, the watcher starting or stopping
LOCK_TIMEOUT=3600

say() { printf '== %s\n' "$*" >&2; }
die() { printf 'run-wine-tests: %s\n' "$*" >&2; exit 2; }
# shellcheck source=tests/wine/prefix.sh
. "$SOURCE_DIR/tests/wine/prefix.sh"

usage() {
    printf 'usage: %s PRESET...   (PRESET: win64, win32)\n' "$0" >&2
    exit 2
}

check_presets() {
    [ $# -gt 0 ] || usage
    local preset
    for preset in "$@"; do
        case "$preset" in
            win64 | win32) ;;
            *) usage ;;
        esac
        local bin="$SOURCE_DIR/build/$preset"
        if [ ! -f "$bin/tests/corvella_tests.exe" ] || [ ! -f "$bin/src/corvella-cli.exe" ]; then
            die "build/$preset has no corvella_tests.exe or corvella-cli.exe; build it first:" \
                "cmake --preset $preset && cmake --build --preset $preset"
        fi
    done
    local tool
    for tool in wine wineserver wineboot xvfb-run timeout flock; do
        command -v "$tool" >/dev/null || die "$tool is missing"
    done
}

# Runs a command in the background with its output shown and kept in a log, without the
# carriage returns of Windows text; the status is the command's. Unbuffered, so that a test
# that hangs is the last one named in the log.
logged() {
    local log="$1"
    shift
    { "$@" 2>&1 | sed -u 's/\r$//' | tee "$log"; } &
    wait $!
}

# True when C: is the only drive and nothing under it leads out of the prefix.
fence_holds() {
    local device
    for device in "$WINEPREFIX"/dosdevices/[a-z]:*; do
        case "${device##*/}" in
            c:) ;;
            [a-z]: | [a-z]::) return 1 ;;
        esac
    done
    [ -z "$(links_out_of_prefix | head -c 1)" ]
}

# Runs a program copied under C:\ with a time limit; the rest of the arguments go to it.
# The current folder is the program's folder, which Wine maps to C:. On time-out the whole
# process group goes: wine, start.exe and the program.
run_in_wine() {
    local seconds="$1" unix_dir="$2" windows_exe="$3"
    shift 3
    (cd "$unix_dir" && exec timeout -k 10 "$seconds" wine "$windows_exe" "$@")
}

describe_status() {
    case "$1" in
        0) echo "passed" ;;
        124 | 137) echo "timed out" ;;
        *) echo "failed (exit $1)" ;;
    esac
}

RESULTS=()
FAILED=0

WATCH_DRIVE=""  # the Linux folder behind D: while the watch step runs

map_watch_drive() {
    WATCH_DRIVE="$(mktemp -d "${TMPDIR:-/tmp}/corvella-wine-drive.XXXXXX")" || return 1
    case "$WATCH_DRIVE" in
        /?*/?*) ;;
        *) return 1 ;;  # never a drive onto / or a folder right below it
    esac
    ln -sfn "$WATCH_DRIVE" "$WINEPREFIX/dosdevices/d:"
}

unmap_watch_drive() {
    rm -f "$WINEPREFIX/dosdevices/d:"
    [ -n "$WATCH_DRIVE" ] && rm -rf "$WATCH_DRIVE"
    WATCH_DRIVE=""
    return 0
}

record() {
    RESULTS+=("$(printf '%-6s %-10s %s (%ss)' "$1" "$2" "$(describe_status "$3")" "$4")")
    [ "$3" -eq 0 ] || FAILED=1
}

run_unit_tests() {
    local preset="$1" dir="$2"
    local log="$LOG_DIR/$preset-tests.log" started=$SECONDS status
    say "$preset: corvella_tests.exe"
    logged "$log" run_in_wine "$TESTS_TIMEOUT" "$dir" "C:\\corvella-test\\$preset\\corvella_tests.exe"
    status=$?
    case "$status" in
        124 | 137) say "$preset: timed out in $(grep '^\[ RUN ' "$log" | tail -n 1)" ;;
    esac
    if [ "$status" -eq 0 ] && { ! grep -q '^\[  PASSED  \]' "$log" || grep -q '^\[  FAILED  \]' "$log"; }; then
        say "$preset: corvella_tests.exe exited with 0, but GoogleTest did not report a pass"
        status=1
    fi
    [ "$status" -eq 0 ] || stop_wine  # a failed test may leave a dialog or a thread behind
    record "$preset" "tests" "$status" $((SECONDS - started))
}

# Indexes a small tree with the command line and checks the cache it wrote. Prints what the
# programs print; the status is the first failure's.
cli_round_trip() {
    local preset="$1" dir="$2"
    local e2e="$WINEPREFIX/drive_c/corvella-e2e"
    local exe="C:\\corvella-test\\$preset\\corvella-cli.exe"
    rm -rf "$e2e"
    mkdir -p "$e2e/tree/docs/deep" "$e2e/tree/Ünïcødé"
    printf 'readme\n' >"$e2e/tree/readme.txt"
    printf 'a\n' >"$e2e/tree/docs/a.txt"
    : >"$e2e/tree/docs/b.txt"
    head -c 5000 /dev/zero >"$e2e/tree/docs/deep/c.bin"
    printf 'x\n' >"$e2e/tree/Ünïcødé/日本語.txt"
    local expected_files=5 expected_folders=3 out status

    out="$(run_in_wine "$CLI_TIMEOUT" "$dir" "$exe" index --cache 'C:\corvella-e2e\test.db' \
        'C:\corvella-e2e\tree' 2>&1)"
    status=$?
    printf '%s\n' "${out//$'\r'/}"
    if [ "$status" -ne 0 ]; then
        echo "index exited with $status"
        return "$status"
    fi
    out="$(run_in_wine "$CLI_TIMEOUT" "$dir" "$exe" check --cache 'C:\corvella-e2e\test.db' 2>&1)"
    status=$?
    out="${out//$'\r'/}"
    printf '%s\n' "$out"
    if [ "$status" -ne 0 ]; then
        echo "check exited with $status"
        return "$status"
    fi
    if ! grep -qx "files: $expected_files" <<<"$out" ||
        ! grep -qx "folders: $expected_folders" <<<"$out" ||
        ! grep -qx "drives: 1" <<<"$out"; then
        echo "check should count 1 drive, $expected_folders folders and $expected_files files"
        return 1
    fi
}

# Ends the watcher after a failure (timeout leads its process group) and shows what it said.
watch_failed() {
    printf '%s\n' "$1"
    kill -KILL -- "-$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    printf 'the watcher said:\n%s\n' "$(sed 's/\r$//' "$errors")"
    return 1
}

# Searches for $3 until the output is exactly $2 ("" for nothing found): a change the watcher has
# not applied yet, or a cache file it holds at that moment, gives something else. $1 says what
# failed when that lasts.
watch_shows() {
    local what="$1" want="$2" pattern="$3" deadline=$((SECONDS + WATCH_SETTLE)) out
    while :; do
        out="$(run_in_wine "$CLI_TIMEOUT" "$dir" "$exe" search --cache "$cache" "$pattern" 2>&1)"
        out="${out//$'\r'/}"
        [ "$out" = "$want" ] && return 0
        [ "$SECONDS" -lt "$deadline" ] || break
        sleep 0.5
    done
    watch_failed "$what: search $pattern gives \"$out\", not \"$want\", after ${WATCH_SETTLE}s"
}

# Waits for the watcher to end; false when it is still running after WATCH_SETTLE seconds.
watch_ended() {
    local deadline=$((SECONDS + WATCH_SETTLE))
    while kill -0 "$pid" 2>/dev/null; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}

# Runs `watch` over D: in the background, changes files at the drive's root and waits for each
# change to reach the cache; then stops the watcher with Ctrl+C and checks the cache and the state
# file. Wine 8 reports changes only in the watched folder itself, not below it, so every change is
# made at the root; changes deeper down are tested natively. Ctrl+C: Wine turns a SIGINT into
# CTRL_C_EVENT for the program, and timeout hands the signal on to its process group, in which the
# program stays even where start.exe launched it; so signalling the timeout is a real Ctrl+C.
cli_watch() {
    local preset="$1" dir="$2"
    local e2e="$WINEPREFIX/drive_c/corvella-watch" cache='C:\corvella-watch\w.db'
    local exe="C:\\corvella-test\\$preset\\corvella-cli.exe"
    local drive="$WATCH_DRIVE" errors="$e2e/watch-stderr.txt"
    local deadline pid status out
    rm -rf "$e2e"
    mkdir -p "$e2e" "$drive/sub"
    printf 'one\n' >"$drive/first.txt"
    printf 'two\n' >"$drive/sub/below.txt"

    # As run_in_wine, but $! must be timeout itself, the one to signal.
    (cd "$dir" && exec timeout -k 10 "$WATCH_TIMEOUT" wine "$exe" watch --cache "$cache" -v 'D:\' \
        >/dev/null 2>"$errors") &
    pid=$!
    deadline=$((SECONDS + WATCH_SETTLE))
    until grep -qs '^corvella: watching D:\\' "$errors"; do
        kill -0 "$pid" 2>/dev/null || { watch_failed "watch ended before it watched"; return 1; }
        [ "$SECONDS" -lt "$deadline" ] || { watch_failed "watch did not start in ${WATCH_SETTLE}s"; return 1; }
        sleep 0.5
    done

    watch_shows "the first build" 'D:\first.txt' first.txt || return 1
    printf 'x\n' >"$drive/made.txt"
    watch_shows "a new file" 'D:\made.txt' made.txt || return 1
    mv "$drive/made.txt" "$drive/renamed.txt"
    watch_shows "a new name" 'D:\renamed.txt' renamed.txt || return 1
    watch_shows "an old name" '' made.txt || return 1
    rm "$drive/renamed.txt"
    watch_shows "a deleted file" '' renamed.txt || return 1

    kill -INT "$pid"
    watch_ended || { watch_failed "watch did not end after Ctrl+C"; return 1; }
    wait "$pid"
    status=$?
    sed 's/\r$//' "$errors"
    if [ "$status" -ne 0 ] || ! grep -q '^corvella: stopped watching' "$errors"; then
        echo "watch exited with $status after Ctrl+C"
        return 1
    fi
    if ! sed 's/\r$//' "$e2e/stateinfo.ini" | grep -qx 'ProgramExit=TRUE'; then
        echo "the state file does not say the watcher ended in order:"
        cat "$e2e/stateinfo.ini"
        return 1
    fi

    out="$(run_in_wine "$CLI_TIMEOUT" "$dir" "$exe" check --cache "$cache" 2>&1)"
    status=$?
    out="${out//$'\r'/}"
    printf '%s\n' "$out"
    if [ "$status" -ne 0 ] || ! grep -qx 'files: 2' <<<"$out" || ! grep -qx 'folders: 1' <<<"$out"
    then
        echo "check should pass and count 1 folder and 2 files (exit $status)"
        return 1
    fi
}

run_end_to_end() {
    local preset="$1" dir="$2"
    local log="$LOG_DIR/$preset-cli.log" started=$SECONDS status
    say "$preset: corvella-cli.exe index, check"
    logged "$log" cli_round_trip "$preset" "$dir"
    status=$?
    [ "$status" -eq 0 ] || stop_wine
    record "$preset" "cli" "$status" $((SECONDS - started))
}

run_watch() {
    local preset="$1" dir="$2"
    local log="$LOG_DIR/$preset-watch.log" started=$SECONDS status=1
    say "$preset: corvella-cli.exe watch D:\\, search, check"
    if map_watch_drive; then
        logged "$log" cli_watch "$preset" "$dir"
        status=$?
    else
        say "$preset: no temporary folder to map D: to"
    fi
    [ "$status" -eq 0 ] || stop_wine
    unmap_watch_drive
    record "$preset" "watch" "$status" $((SECONDS - started))
}

run_preset() {
    local preset="$1"
    local dir="$WINEPREFIX/drive_c/corvella-test/$preset"
    rm -rf "$dir"
    mkdir -p "$dir"
    cp "$SOURCE_DIR/build/$preset/tests/corvella_tests.exe" \
        "$SOURCE_DIR/build/$preset/src/corvella-cli.exe" "$dir/"
    run_unit_tests "$preset" "$dir"
    run_end_to_end "$preset" "$dir"
    run_watch "$preset" "$dir"
}

# The part that runs on the virtual display, holding the lock.
inner() {
    local started=$SECONDS
    trap 'stop_wine; unmap_watch_drive' EXIT
    trap 'say interrupted; exit 130' INT TERM
    mkdir -p "$LOG_DIR"
    stop_wine  # a wineserver left by an interrupted run
    ensure_prefix
    boot_prefix
    fence_prefix
    local preset
    for preset in "$@"; do
        run_preset "$preset"
    done
    if ! fence_holds; then
        say "the prefix reached outside itself during the run (z: or a user folder came back)"
        FAILED=1
    fi
    stop_wine
    say "summary ($((SECONDS - started))s in all; logs in ${LOG_DIR#"$SOURCE_DIR"/})"
    printf '   %s\n' "${RESULTS[@]}" >&2
    exit "$FAILED"
}

if [ "${CORVELLA_WINE_INNER:-}" = 1 ]; then
    inner "$@"
fi

check_presets "$@"
mkdir -p "$WINE_DIR"
exec 9>"$WINE_DIR/.lock"
flock -w "$LOCK_TIMEOUT" 9 || die "another Wine test run holds $WINE_DIR/.lock"
# The lock's descriptor stays open in the inner run, so the lock lasts until it ends.
CORVELLA_WINE_INNER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
