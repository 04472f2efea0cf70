#!/usr/bin/env bash
# End-to-end tests of the desktop program: Corvella.exe runs under Wine on a virtual X display and
# a small driver program (driver.cpp) works its window by messages, as a user would through the
# window: typing, Search, Enter, menu commands, the close box, a second start. Screenshots are
# kept for review.
#
#   tests/e2e/run-e2e.sh PRESET      PRESET: win64 or win32 (built beforehand)
#
# Logs in build/e2e/logs/, screenshots in build/e2e/shots/.
#
# The Wine side follows tests/wine/run-wine-tests.sh (read its header for the reasons), with a
# prefix of its own, build/e2e/prefix:
# - Only C: (the prefix's drive_c) stays; z: and the user folders that lead to the Linux home are
#   removed or emptied. D: maps to a small generated tree, made afresh for each run, that the
#   searches count in; E: maps to a tree of 300,000 files, made once and kept, which gives the
#   searches of the responsiveness scenario their weight and every build a progress to show.
# - The program and the driver run from copies in C:\corvella. Every Wine command has a time limit
#   and runs in the background while the script waits, so that an interrupt is handled at once;
#   the end of the run and an interrupt kill the wineserver and with it every Windows process.
# - Wine's crash dialog is turned off, so that a crash ends the program instead of waiting for a
#   click. There is no window manager: Wine draws and places the windows itself, and the
#   screenshots are of the bare X root.
#
# Scenarios share one run of the program where they can; each start-up state needs a start of its
# own, with the state files written by the script before it and read after it.
set -uo pipefail

SOURCE_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
E2E_DIR="$SOURCE_DIR/build/e2e"
LOG_DIR="$E2E_DIR/logs"
SHOT_DIR="$E2E_DIR/shots"
DRIVES_DIR="$E2E_DIR/drives"
READY_MARKER=".corvella-prefix-ready"
BIG_TREE_MARKER=".corvella-tree-complete"

export WINEPREFIX="$E2E_DIR/prefix"
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all

# Seconds.
INIT_TIMEOUT=600
BOOT_TIMEOUT=300
LOCK_TIMEOUT=3600
PROGRAM_LIFE=1800   # one run of Corvella.exe, however its scenarios go
DRIVER_LIMIT=900    # one driver command; its own waits are shorter
START_WAIT=60       # the main window appearing, a program ending
SEARCH_WAIT=60      # a search's status line
BUILD_WAIT=600      # a build of C:, D: and E:
WATCH_WAIT=60       # a file made on D: reaching the cache

# What the generated D: holds (make_small_drive).
REPORTS=37          # qzreport-0001.txt ... qzreport-0037.txt
REPORTS_IN_ALPHA=20 # of them in D:\qz\alpha
BIG_FOLDERS=300     # E:\bNNN, each with BIG_FILES files
BIG_FILES=1000

say() { printf '== %s\n' "$*" >&2; }
die() { printf 'run-e2e: %s\n' "$*" >&2; exit 2; }
# shellcheck source=tests/wine/prefix.sh
. "$SOURCE_DIR/tests/wine/prefix.sh"

usage() {
    printf 'usage: %s PRESET   (PRESET: win64, win32)\n' "$0" >&2
    exit 2
}

PRESET="${1:-}"
case "$PRESET" in
    win64 | win32) ;;
    *) usage ;;
esac
BIN_DIR="$SOURCE_DIR/build/$PRESET"
PROGRAM_BIN="$BIN_DIR/src/Corvella.exe"
DRIVER_BIN="$BIN_DIR/tests/e2e/corvella_e2e_driver.exe"

# ---- Wine ---------------------------------------------------------------------------------------

# No crash dialog (a crash ends the program). Windows that no window manager manages: Wine draws
# them whole, caption and frame included, and does not wait for a window manager to confirm that
# a window was shown or hidden (it would wait two seconds for each, which reorders what the
# program does at its exit).
configure_prefix() {
    local reg="$WINEPREFIX/drive_c/corvella-e2e.reg"
    printf '%s\r\n' 'REGEDIT4' '' \
        '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' \
        '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Decorated"="N"' '"Managed"="N"' >"$reg"
    in_background timeout -k 10 "$BOOT_TIMEOUT" wine regedit /S 'C:\corvella-e2e.reg' >/dev/null 2>&1 ||
        die "the Wine registry cannot be set"
    rm -f "$reg"
}

# True when C: is the prefix's own drive, every other drive leads into DRIVES_DIR and nothing
# under C: leads out of the prefix.
fence_holds() {
    local device drives
    drives="$(realpath -m "$DRIVES_DIR")"
    for device in "$WINEPREFIX"/dosdevices/[a-z]:*; do
        [ -e "$device" ] || [ -L "$device" ] || continue
        case "${device##*/}" in
            c:) ;;
            [a-z]:) case "$(realpath -m "$device")" in "$drives"/?*) ;; *) return 1 ;; esac ;;
            *) return 1 ;;
        esac
    done
    [ -z "$(links_out_of_prefix | head -c 1)" ]
}

map_drive() {  # letter folder
    ln -sfn "$2" "$WINEPREFIX/dosdevices/$1:"
}

# ---- Test data ----------------------------------------------------------------------------------

# D:, made afresh: the reports the searches count, some other files, and 20,000 fillers, so that
# a build lasts long enough to show its progress.
make_small_drive() {
    rm -rf "$DRIVES_DIR/d"
    python3 - "$DRIVES_DIR/d" "$REPORTS" "$REPORTS_IN_ALPHA" <<'EOF'
import os, sys
root, reports, in_alpha = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for i in range(1, reports + 1):
    folder = os.path.join(root, "qz", "alpha" if i <= in_alpha else os.path.join("beta", "deep"))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "qzreport-%04d.txt" % i), "wb") as f:
        f.write(b"r" * (1000 * i))
for name in ("notes.log", "readme.txt", "photo.jpg", "song.mp3"):
    with open(os.path.join(root, "qz", name), "wb") as f:
        f.write(b"x" * 5000)
for j in range(20):
    folder = os.path.join(root, "filler", "f%02d" % j)
    os.makedirs(folder)
    for k in range(1000):
        open(os.path.join(folder, "filler-%04d.dat" % k), "wb").close()
EOF
}

# E:, made once: BIG_FOLDERS folders of BIG_FILES empty files each.
ensure_big_drive() {
    local tree="$DRIVES_DIR/e"
    [ -f "$tree/$BIG_TREE_MARKER" ] && return 0
    say "making the tree of $((BIG_FOLDERS * BIG_FILES)) files for E:"
    rm -rf "$tree"
    python3 - "$tree" "$BIG_FOLDERS" "$BIG_FILES" <<'EOF' || return 1
import os, sys
root, folders, files = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for i in range(folders):
    folder = os.path.join(root, "b%03d" % i)
    os.makedirs(folder)
    for k in range(files):
        open(os.path.join(folder, "big-%03d-%04d.bin" % (i, k)), "wb").close()
EOF
    touch "$tree/$BIG_TREE_MARKER"
}

# ---- The data folder and its files ----------------------------------------------------------------

WINE_USER=""
DATA_DIR=""   # "%APPDATA%\Corvella Data" on the Linux side
APP_DIR=""    # C:\corvella

find_data_dir() {
    local user
    for user in "$WINEPREFIX"/drive_c/users/*/; do
        user="${user%/}"
        user="${user##*/}"
        [ "$user" = Public ] || WINE_USER="$user"
    done
    [ -n "$WINE_USER" ] || die "the prefix has no user folder"
    DATA_DIR="$WINEPREFIX/drive_c/users/$WINE_USER/AppData/Roaming/Corvella Data"
    APP_DIR="$WINEPREFIX/drive_c/corvella"
}

# A fresh data folder with settings.ini: message dialogs and the integrity check as given.
fresh_data_dir() {  # ENABLE_DIALOGS CHECK_INTEGRITY
    rm -rf "$DATA_DIR"
    mkdir -p "$DATA_DIR"
    printf '[OPTIONS]\r\nENABLE_DIALOGS=%s\r\nCHECK_INTEGRITY=%s\r\n' "$1" "$2" >"$DATA_DIR/settings.ini"
}

# Replaces stateinfo.ini by the given KEY=VALUE lines.
write_state() {
    { printf '[STATEINFO]\r\n'; printf '%s\r\n' "$@"; } >"$DATA_DIR/stateinfo.ini"
}

# The value of KEY in an INI file, whatever its encoding ("" when missing).
ini_value() {  # file key
    [ -f "$1" ] || return 0
    tr -d '\000\r\376\377' <"$1" | sed -n "s/^$2=//p" | head -n 1
}

# ---- The program and the driver -------------------------------------------------------------------

PROGRAM_PID=""
DRIVER_PID=""
DRIVEN=""  # the output of the last driver command

# Starts Corvella.exe in the background with the given arguments.
start_program() {
    (cd "$APP_DIR" && exec timeout -k 10 "$PROGRAM_LIFE" wine 'C:\corvella\Corvella.exe' "$@") \
        >>"$LOG_DIR/program.log" 2>&1 &
    PROGRAM_PID=$!
}

program_running() {
    [ -n "$PROGRAM_PID" ] && kill -0 "$PROGRAM_PID" 2>/dev/null
}

# Waits up to $1 seconds for the program to end; false when it still runs.
program_ended() {
    local deadline=$((SECONDS + $1))
    while program_running; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.2
    done
    wait "$PROGRAM_PID" 2>/dev/null
    return 0
}

# Starts one driver command in the background, its output going to a file; DRIVER_PID is its
# process.
drive_async() {  # file command [arguments]
    local out="$1"
    shift
    (cd "$APP_DIR" && exec timeout -k 5 "$DRIVER_LIMIT" wine 'C:\corvella\driver.exe' "$@") \
        >"$out" 2>>"$LOG_DIR/wine-stderr.log" &
    DRIVER_PID=$!
}

# Waits for a driver command of drive_async; its output is then in DRIVEN and in the log, and
# its status is the driver's.
drive_wait() {  # pid file command [arguments]
    local pid="$1" out="$2" status
    shift 2
    wait "$pid"
    status=$?
    DRIVEN="$(sed 's/\r$//' "$out")"
    printf '   driver %s -> %s%s\n' "$*" "${DRIVEN//$'\n'/ / }" \
        "$([ "$status" -eq 0 ] || printf ' (exit %s)' "$status")"
    return "$status"
}

drive() {  # command [arguments]
    drive_async "$E2E_DIR/driver.out" "$@"
    drive_wait "$DRIVER_PID" "$E2E_DIR/driver.out" "$@"
}

fail() {
    printf '   FAIL: %s\n' "$*"
    return 1
}

shot() {  # name
    if timeout 30 import -window root "$SHOT_DIR/$1.png" 2>>"$LOG_DIR/import.log"; then
        printf '   screenshot shots/%s.png\n' "$1"
    else
        fail "no screenshot $1"
    fi
}

# A search's status line: "N items found (..KB), in X.XXs", N with its thousands separated.
found() {  # count
    printf '%s items found \\([0-9,]+KB\\), in [0-9]+\\.[0-9]{2}s' \
        "$(sed -e ':a' -e 's/\([0-9]\)\([0-9]\{3\}\)\($\|,\)/\1,\2\3/' -e 'ta' <<<"$1")"
}

# The pattern is searched by one trigger; the status line must then report `count` items and
# the list hold `count` rows (or its one message row when nothing was found).
expect_found() {  # trigger pattern count
    local rows="$3"
    [ "$3" -ne 0 ] || rows=1
    drive "$1" "$2" || return 1
    drive wait-status "$(found "$3")" "$SEARCH_WAIT" || fail "$1 \"$2\" should find $3" || return 1
    drive count || return 1
    [ "$DRIVEN" = "$rows" ] || fail "$1 \"$2\": the list holds $DRIVEN rows, not $rows"
}

expect_ini() {  # file key value
    local deadline=$((SECONDS + 10)) got
    while got="$(ini_value "$DATA_DIR/$1" "$2")" && [ "$got" != "$3" ]; do
        [ "$SECONDS" -lt "$deadline" ] || fail "$1: $2 is \"$got\", not \"$3\"" || return 1
        sleep 0.2
    done
}

# settings.ini's OPTIONS key must take the value within a few seconds.
expect_setting() {  # key value
    expect_ini settings.ini "$1" "$2"
}

# stateinfo.ini's STATEINFO key must take the value within a few seconds: the program writes its
# keys one by one, and a build's last status line comes before them.
expect_state() {  # key value
    expect_ini stateinfo.ini "$1" "$2"
}

# Starts the program for a start that builds the cache and waits for the build to finish; the
# status line must show its progress on the way. It is watched from before the window exists,
# so that none of the build is missed.
start_with_build() {
    local out="$E2E_DIR/build-status.out" watcher
    drive_async "$out" wait-status \
        '\[Caching is Finished\] [0-9]+ items cached, +[0-9]+s \([0-9.]+GB\)' "$BUILD_WAIT"
    watcher=$DRIVER_PID
    sleep 2  # the watching driver runs first
    start_program
    drive_wait "$watcher" "$out" wait-status "(a build)" || fail "no finished build" || return 1
    grep -q '^\[Caching Drive [C-Z] \] [0-9]* items cached' <<<"$DRIVEN" ||
        fail "the status line showed no progress of the build"
}

# No message box may be open; one that is gets reported and answered with OK.
expect_no_box() {
    if drive box 0.5 1; then
        fail "an unexpected message box: $DRIVEN"
    fi
    return 0
}

# Starts the program and waits until its start-up is done: the window shows once its
# initialisation (and a defragmentation in it) has ended.
start_and_wait() {
    start_program
    drive wait-window "$START_WAIT" && drive wait-visible yes "$START_WAIT" ||
        fail "the main window did not appear"
}

exit_by_menu() {
    drive menu 32771 || return 1
    program_ended "$START_WAIT" || fail "File > Exit did not end the program" || return 1
    expect_state ProgramExit TRUE
}

# ---- Scenarios ------------------------------------------------------------------------------------

# First start: no stateinfo.ini and no cache; the build starts at once and shows its progress.
first_run() {
    fresh_data_dir 0 1
    start_with_build || return 1
    [ -f "$DATA_DIR/default.db" ] || fail "no cache file after the build" || return 1
    expect_state FirstRun TRUE &&
        expect_state ProgramExit FALSE &&
        expect_state UpdateCacheExit TRUE || return 1
    [ -n "$(ini_value "$DATA_DIR/stateinfo.ini" CacheFileSize)" ] || fail "no CacheFileSize"
    # The list says that searching can start.
    shot 01-first-build
}

# Every trigger gives the same answer: typing, the Search button, Enter. Consecutive checks
# expect different status lines, so a stale line never passes.
typing() {
    expect_found type qzreport "$REPORTS" &&
        expect_found type "" 0 &&
        expect_found search qzreport "$REPORTS" &&
        expect_found type qzreport-000 9 &&
        expect_found enter qzreport "$REPORTS" &&
        expect_found search 'qzreport-00?1.txt' 4 &&
        expect_found enter 'QZREPORT-*.TXT' "$REPORTS" &&
        expect_found type '*.log;*.mp3' 2
}

# A location narrows the search; one that does not exist searches everything and says so.
locations() {
    drive location 'D:\qz\alpha' &&
        expect_found search qzreport "$REPORTS_IN_ALPHA" || return 1
    # Enter in the location box searches too: the same pattern in a wider folder.
    drive location 'D:\qz' && drive key 13 location &&
        drive wait-status "$(found "$REPORTS")" "$SEARCH_WAIT" || fail "Enter in the location box did not search" || return 1
    drive location 'Q:\nowhere' && drive search qzreport || return 1
    drive wait-status ' \[WARNING\] : The search location is invalid!! Default to be My Computer! ' \
        "$SEARCH_WAIT" || fail "no warning about the location" || return 1
    drive count && [ "$DRIVEN" = "$REPORTS" ] ||
        fail "the invalid location should list all $REPORTS reports, not $DRIVEN" || return 1
    drive location 'My Computer' && expect_found search qzreport-000 9
}

# The five orders keep the results, and the message row of an empty search too.
sorting() {
    local id
    expect_found type qzreport "$REPORTS" || return 1
    for id in 32776 32777 32778 32779 32782; do
        drive command "$id" && drive count || return 1
        [ "$DRIVEN" = "$REPORTS" ] || fail "after sort command $id the list holds $DRIVEN rows" || return 1
    done
    expect_found type "" 0 || return 1
    for id in 32776 32777 32778 32779 32782; do
        drive command "$id" && drive count || return 1
        [ "$DRIVEN" = 1 ] || fail "sort command $id on no results: $DRIVEN rows" || return 1
    done
    drive ping 2000
}

# The resize rules on the real window: never smaller than at start, the list down to the status
# line, the status line on the bottom edge, the boxes sharing the width, the buttons following.
layout_of() {  # id -> "left top right bottom" of the last `layout`
    sed -n "s/^$1 //p" <<<"$DRIVEN"
}

check_layout() {  # what
    local client_w client_h status list pattern location browse search
    read -r client_w client_h < <(sed -n 's/^client //p' <<<"$DRIVEN")
    read -r -a status <<<"$(layout_of 1008)"
    read -r -a list <<<"$(layout_of 1001)"
    read -r -a pattern <<<"$(layout_of 1018)"
    read -r -a location <<<"$(layout_of 1003)"
    read -r -a browse <<<"$(layout_of 1015)"
    read -r -a search <<<"$(layout_of 1004)"
    [ "${status[3]}" -eq "$client_h" ] || fail "$1: the status line ends at ${status[3]}, not at the bottom $client_h" || return 1
    [ "${list[3]}" -eq "${status[1]}" ] || fail "$1: the list ends at ${list[3]}, the status line starts at ${status[1]}" || return 1
    [ "${location[0]}" -eq "${pattern[2]}" ] || fail "$1: the location box does not follow the pattern box" || return 1
    [ "${browse[0]}" -eq "${location[2]}" ] || fail "$1: Browse does not follow the location box" || return 1
    [ "${search[0]}" -eq "${browse[2]}" ] || fail "$1: Search does not sit against Browse" || return 1
    [ "${search[2]}" -le "$client_w" ] || fail "$1: Search reaches out of the window" || return 1
}

resizing() {
    local start_w start_h w h before_list before_boxes after_list after_boxes
    drive layout || return 1
    read -r start_w start_h < <(sed -n 's/^window //p' <<<"$DRIVEN")
    drive resize 200 150 || return 1
    [ "$DRIVEN" = "$start_w $start_h" ] || fail "200x150 gave $DRIVEN, not the start-up $start_w $start_h" || return 1
    drive layout && check_layout "start-up size" || return 1
    before_list=$(($(cut -d' ' -f3 <<<"$(layout_of 1001)") - $(cut -d' ' -f1 <<<"$(layout_of 1001)")))
    before_boxes=$(($(cut -d' ' -f3 <<<"$(layout_of 1003)") - $(cut -d' ' -f1 <<<"$(layout_of 1018)")))
    shot 05-narrow || return 1
    drive resize $((start_w + 301)) 600 || return 1
    read -r w h <<<"$DRIVEN"
    [ "$w" -eq $((start_w + 301)) ] && [ "$h" -eq 600 ] || fail "the window did not take $((start_w + 301))x600" || return 1
    drive layout && check_layout "wide" || return 1
    after_list=$(($(cut -d' ' -f3 <<<"$(layout_of 1001)") - $(cut -d' ' -f1 <<<"$(layout_of 1001)")))
    after_boxes=$(($(cut -d' ' -f3 <<<"$(layout_of 1003)") - $(cut -d' ' -f1 <<<"$(layout_of 1018)")))
    [ $((after_list - before_list)) -eq 301 ] || fail "the list grew by $((after_list - before_list)), not 301" || return 1
    [ $((after_boxes - before_boxes)) -ge 300 ] && [ $((after_boxes - before_boxes)) -le 301 ] ||
        fail "the two boxes grew by $((after_boxes - before_boxes)), not 301 or its two halves" || return 1
    shot 06-wide || return 1
    # Narrower again, but not below the start-up width.
    drive resize $((start_w + 40)) 500 && drive layout && check_layout "back"
}

# Shots of results (icons, two-line rows), of a row's tool tip and of the open View menu.
screenshots() {
    local x y
    expect_found type qz $((REPORTS + 1)) || return 1  # the reports and their folder qz
    sleep 2  # the icons arrive from their own thread
    shot 02-results || return 1
    if command -v xdotool >/dev/null; then
        drive row-point || return 1
        read -r x y <<<"$DRIVEN"
        timeout 10 xdotool mousemove "$x" "$y" && sleep 0.5 &&
            timeout 10 xdotool mousemove $((x + 4)) $((y + 1)) && sleep 2
        shot 03-tooltip || return 1
        timeout 10 xdotool mousemove 0 0
    else
        echo "   xdotool is missing: no tool-tip screenshot"
    fi
    # The menu bar by keyboard (SC_KEYMENU selects File), two steps right, then down into View.
    drive syscommand 0xF100 && drive key 39 && drive key 39 && drive key 40 || return 1
    sleep 1
    shot 04-view-menu
    drive endmenu && sleep 1 && expect_found type qzreport "$REPORTS" ||
        fail "the window does not search after its menu closed"
}

# Watchkeeper: a file made on D: turns up in a search. Wine 8 reports changes only in the
# watched folder itself, not below it, so the file is made at the root of D:; deeper changes
# are tested natively.
watchkeeper() {
    local deadline=$((SECONDS + WATCH_WAIT))
    expect_found search qzwatched 0 || return 1
    printf 'new\n' >"$DRIVES_DIR/d/qzwatched-new.txt"
    while :; do
        drive search qzwatched && drive wait-status "$(found 1)" 2 && return 0
        [ "$SECONDS" -lt "$deadline" ] || break
        drive type "" && drive wait-status "$(found 0)" "$SEARCH_WAIT" || return 1
    done
    fail "a file made at the root of D: was not found in $WATCH_WAIT s"
}

# The close box and Escape send the window to the tray; a second start brings it back and ends
# by itself; File > Exit without message dialogs ends the program at once.
closing() {
    local second
    drive syscommand 0xF060 && drive wait-visible no 30 || fail "the close box did not hide the window" || return 1
    sleep 2
    program_running || fail "the close box ended the program" || return 1
    (cd "$APP_DIR" && exec timeout -k 10 "$START_WAIT" wine 'C:\corvella\Corvella.exe') \
        >>"$LOG_DIR/program.log" 2>&1 &
    second=$!
    wait "$second" || fail "the second start did not end by itself" || return 1
    drive wait-visible yes 30 || fail "the second start did not bring the window back" || return 1
    drive key 27 && drive wait-visible no 30 || fail "Escape did not hide the window" || return 1
    program_running || fail "Escape ended the program" || return 1
    exit_by_menu && expect_state UpdateCacheExit TRUE
}

# Update Search Cache builds again, showing its progress; asked again meanwhile, it says that a
# build runs, and the first build goes on to its end.
update_cache() {
    drive menu 32791 && drive wait-status '\[Caching Drive [C-Z] \] .*' "$BUILD_WAIT" 32791 ||
        fail "Update Search Cache showed no progress" || return 1
    drive box 30 1 && [ "$DRIVEN" = "It is already running!" ] ||
        fail "a second Update Search Cache during a build did not say that one runs" || return 1
    drive wait-status '\[Caching is Finished\] .*' "$BUILD_WAIT" || fail "the build did not finish" || return 1
    expect_no_box && expect_state UpdateCacheExit TRUE && expect_found type qzwatched 1
}

# Exit during a build ends the program at once; the build stays unfinished in stateinfo.ini.
exit_during_build() {
    local watcher out="$E2E_DIR/build-status.out"
    fresh_data_dir 0 1
    write_state UpdateCacheExit=TRUE ProgramExit=TRUE  # no cache file: a build at start-up
    drive_async "$out" wait-status '\[Caching Drive [C-Z] \] .*' "$BUILD_WAIT" 32771
    watcher=$DRIVER_PID
    sleep 2
    start_program
    drive_wait "$watcher" "$out" wait-status "(a build, then File > Exit)" || return 1
    program_ended "$START_WAIT" || fail "File > Exit during a build did not end the program" || return 1
    expect_state UpdateCacheExit FALSE && expect_state ProgramExit TRUE
}

# The same after a second Update Search Cache: the exit stops the build that runs, not the request
# that only said so, and the program ends in order.
exit_after_second_update() {
    fresh_data_dir 0 1
    cp "$E2E_DIR/default.db" "$DATA_DIR/default.db"
    write_state UpdateCacheExit=TRUE ProgramExit=TRUE
    start_and_wait || return 1
    drive menu 32791 && drive wait-status '\[Caching Drive [C-Z] \] .*' "$BUILD_WAIT" 32791 &&
        drive box 30 1 && drive menu 32771 || fail "no second request during the build" || return 1
    program_ended "$START_WAIT" || fail "File > Exit during a build did not end the program" || return 1
    expect_state UpdateCacheExit FALSE && expect_state ProgramExit TRUE
}

# A build that did not finish is made again at the next start; WM_CLOSE ends without a question.
unfinished_build() {
    fresh_data_dir 0 1
    cp "$E2E_DIR/default.db" "$DATA_DIR/default.db"
    write_state UpdateCacheExit=FALSE ProgramExit=TRUE CacheFileSize=0
    start_with_build || return 1
    expect_state UpdateCacheExit TRUE && expect_state ProgramExit FALSE || return 1
    drive close || return 1
    program_ended "$START_WAIT" || fail "WM_CLOSE did not end the program" || return 1
    expect_state ProgramExit TRUE
}

# After an abnormal end with the integrity check on and message dialogs off: a rebuild, no question.
abnormal_end_rebuilds() {
    fresh_data_dir 0 1
    cp "$E2E_DIR/default.db" "$DATA_DIR/default.db"
    write_state UpdateCacheExit=TRUE ProgramExit=FALSE CacheFileSize=0
    start_with_build || return 1
    exit_by_menu
}

# With message dialogs on the same start asks first; No leaves the cache alone. Exit asks too,
# and No keeps the program running.
abnormal_end_asks() {
    fresh_data_dir 1 1
    cp "$E2E_DIR/default.db" "$DATA_DIR/default.db"
    write_state UpdateCacheExit=TRUE ProgramExit=FALSE CacheFileSize=0
    start_program
    drive box "$START_WAIT" 7 || fail "no question after an abnormal end" || return 1
    grep -q '^Program terminated abnormally last time, Watchkeeper may be interfered\.' <<<"$DRIVEN" ||
        fail "the wrong question" || return 1
    drive wait-window "$START_WAIT" || return 1
    sleep 3
    drive status && [ -z "$DRIVEN" ] || fail "No to the question still changed the status line" || return 1
    expect_state UpdateCacheExit TRUE || return 1
    expect_found search qzreport "$REPORTS" || return 1
    drive menu 32771 && drive box 30 7 || fail "File > Exit did not ask" || return 1
    grep -q 'Exit Corvella?$' <<<"$DRIVEN" || fail "the wrong exit question" || return 1
    sleep 2
    program_running && drive wait-visible yes 10 || fail "No to the exit question ended the program"
}

# The option toggles: turning an option off asks, No keeps it and Yes writes "0"; turning it on
# asks nothing and writes "1". The tray menu's item is the same option as the main menu's.
option_toggles() {
    drive menu 32842 && drive box 30 7 || fail "turning message dialogs off did not ask" || return 1
    grep -q 'most warning messages will not be showed' <<<"$DRIVEN" || fail "the wrong question" || return 1
    expect_setting ENABLE_DIALOGS 1 || return 1
    drive menu 32838 && drive box 30 6 || fail "turning the integrity check off did not ask" || return 1
    expect_setting CHECK_INTEGRITY 0 || return 1
    drive command 32839 && expect_no_box && expect_setting CHECK_INTEGRITY 1 || return 1
    drive menu 32844 && drive box 30 6 || fail "turning message dialogs off in the tray menu did not ask" || return 1
    expect_setting ENABLE_DIALOGS 0
}

# Message dialogs now off: File > Exit ends the program without a question.
exit_without_question() {
    exit_by_menu
}

# A cache file 9 MiB or more beyond CacheFileSize is defragmented at start-up: it shrinks back to
# its live blocks (what the build wrote, give or take a few bytes) and its size is recorded again.
growth_defragments() {
    local built after
    fresh_data_dir 0 1
    cp "$E2E_DIR/default.db" "$DATA_DIR/default.db"
    built=$(stat -c %s "$DATA_DIR/default.db")
    head -c $((10 * 1024 * 1024)) /dev/zero >>"$DATA_DIR/default.db"
    write_state UpdateCacheExit=TRUE ProgramExit=TRUE CacheFileSize=$((built / 1048576))
    start_and_wait || return 1
    after=$(stat -c %s "$DATA_DIR/default.db")
    [ "$after" -le $((built + 4096)) ] ||
        fail "the cache file has $after bytes after the start, the build wrote $built" || return 1
    expect_state CacheFileSize $((after / 1048576)) && expect_state UpdateCacheExit TRUE || return 1
    drive status && [ -z "$DRIVEN" ] || fail "a defragmentation should not rebuild" || return 1
    expect_found search qzreport "$REPORTS" || return 1
    exit_by_menu
}

# "/hide", in any case, starts in the tray: the window is hidden once start-up is done (seconds
# later), and the program runs on until WM_CLOSE ends it.
hidden_start() {
    fresh_data_dir 0 1
    cp "$E2E_DIR/default.db" "$DATA_DIR/default.db"
    write_state UpdateCacheExit=TRUE ProgramExit=TRUE
    start_program /HIDE
    drive wait-window "$START_WAIT" && drive wait-visible no 30 || fail "/HIDE showed the window" || return 1
    sleep 3
    drive visible && [ "$DRIVEN" = hidden ] && program_running || fail "the hidden program did not stay in the tray" || return 1
    expect_found type qzreport "$REPORTS" || return 1
    drive close && program_ended "$START_WAIT" || fail "WM_CLOSE did not end the hidden program" || return 1
    expect_state ProgramExit TRUE
}

# Without the data folder the program says so and ends, creating nothing.
missing_data_folder() {
    local roaming="$WINEPREFIX/drive_c/users/$WINE_USER/AppData/Roaming" before
    rm -rf "$DATA_DIR"
    before="$(ls -A "$roaming")"
    start_program
    drive box "$START_WAIT" 1 || fail "no message about the data folder" || return 1
    [ "$DRIVEN" = "Can not find the application data directory \"C:\\users\\$WINE_USER\\AppData\\Roaming\\Corvella Data\" for Corvella, Please reinstall this program." ] ||
        fail "the wrong message" || return 1
    program_ended "$START_WAIT" || fail "the program did not end after the message" || return 1
    [ ! -e "$DATA_DIR" ] && [ "$(ls -A "$roaming")" = "$before" ] ||
        fail "the program created something in $roaming"
}

# While searches over 300,000 files run, the window answers within 200 ms: the user-interface
# thread never waits for a search. This bound is the behaviour under test.
responsiveness() {
    local pinger="$E2E_DIR/ping.out" pid all=$((BIG_FOLDERS * BIG_FILES)) hundred=$((100 * BIG_FILES))
    expect_found type big- "$all" || return 1
    drive_async "$pinger" ping 200 20
    pid=$DRIVER_PID
    while kill -0 "$pid" 2>/dev/null; do
        expect_found type big-1 "$hundred" &&
            expect_found type .bin "$all" &&
            expect_found search big-2 "$hundred" &&
            expect_found type big- "$all" || break
    done
    drive_wait "$pid" "$pinger" ping 200 20 ||
        fail "the window did not answer within 200 ms while searching"
}

# ---- Running ----------------------------------------------------------------------------------------

RESULTS=()
FAILED=0

CRASHES=0  # the crash reports in program.log so far

# True when a program crashed since the last call: Wine reports it in the program's output, even
# when the process still ends with status 0.
new_crash() {
    local reports
    reports=$(grep -c 'Unhandled' "$LOG_DIR/program.log" 2>/dev/null)
    [ "${reports:-0}" -gt "$CRASHES" ] || return 1
    CRASHES=$reports
}

# Runs one scenario with its output logged, in this shell, since it starts and ends programs; a
# message box left open and a crash are reported.
scenario() {  # name function
    local name="$1" started=$SECONDS status
    say "$name"
    "$2" > >(trap "" INT; exec tee "$LOG_DIR/$name.log") 2>&1
    status=$?
    if program_running; then
        expect_no_box >>"$LOG_DIR/$name.log" 2>&1 || status=1
    fi
    if new_crash; then
        fail "the program crashed: $(grep 'Unhandled' "$LOG_DIR/program.log" | tail -n 1)" |
            tee -a "$LOG_DIR/$name.log"
        status=1
    fi
    RESULTS+=("$(printf '%-26s %s (%ss)' "$name" "$([ "$status" -eq 0 ] && echo passed || echo FAILED)" $((SECONDS - started)))")
    [ "$status" -eq 0 ] || FAILED=1
    return "$status"
}

# Ends whatever a program run left behind.
end_program() {
    if program_running; then
        say "the program still runs after its scenarios; ending it"
        stop_wine
        FAILED=1
    fi
    PROGRAM_PID=""
}

install_programs() {
    rm -rf "$APP_DIR"
    mkdir -p "$APP_DIR"
    cp "$PROGRAM_BIN" "$BIN_DIR/src/help.html" "$APP_DIR/"
    cp "$DRIVER_BIN" "$APP_DIR/driver.exe"
}

inner() {
    local started=$SECONDS
    trap 'stop_wine' EXIT
    trap 'say interrupted; exit 130' INT TERM
    rm -rf "$LOG_DIR" "$SHOT_DIR"
    mkdir -p "$LOG_DIR" "$SHOT_DIR" "$DRIVES_DIR"
    stop_wine
    ensure_prefix
    boot_prefix
    configure_prefix
    fence_prefix
    find_data_dir
    install_programs
    make_small_drive
    ensure_big_drive || die "no tree for E:"
    map_drive d "$DRIVES_DIR/d"
    map_drive e "$DRIVES_DIR/e"
    fence_holds || die "the prefix reaches outside itself"

    # One run from the first start to File > Exit.
    if scenario first-run first_run; then
        cp "$DATA_DIR/default.db" "$E2E_DIR/default.db"
        scenario typing typing
        scenario locations locations
        scenario sorting sorting
        scenario screenshots screenshots
        scenario resizing resizing
        scenario watchkeeper watchkeeper
        scenario update-cache update_cache
        scenario responsiveness responsiveness
        scenario closing closing
        end_program
        # Start-up decisions, one start each, from the cache of the first run.
        scenario exit-during-build exit_during_build
        end_program
        scenario exit-after-second-update exit_after_second_update
        end_program
        scenario unfinished-build unfinished_build
        end_program
        scenario abnormal-end-rebuilds abnormal_end_rebuilds
        end_program
        scenario abnormal-end-asks abnormal_end_asks
        scenario option-toggles option_toggles
        scenario exit-without-question exit_without_question
        end_program
        scenario growth-defragments growth_defragments
        end_program
        scenario hidden-start hidden_start
        end_program
    fi
    end_program
    scenario missing-data-folder missing_data_folder
    end_program

    if ! fence_holds; then
        say "the prefix reached outside itself during the run (z: or a user folder came back)"
        FAILED=1
    fi
    stop_wine
    say "summary ($((SECONDS - started))s in all; logs in ${LOG_DIR#"$SOURCE_DIR"/}, screenshots in ${SHOT_DIR#"$SOURCE_DIR"/})"
    printf '   %s\n' "${RESULTS[@]}" >&2
    exit "$FAILED"
}

if [ "${CORVELLA_E2E_INNER:-}" = 1 ]; then
    inner
fi

[ -f "$PROGRAM_BIN" ] && [ -f "$DRIVER_BIN" ] ||
    die "build/$PRESET has no Corvella.exe or corvella_e2e_driver.exe; build it first:" \
        "cmake --preset $PRESET && cmake --build --preset $PRESET"
for tool in wine wineserver wineboot xvfb-run timeout flock python3 import; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/ensure-tools.sh all installs it)"
done
mkdir -p "$E2E_DIR"
exec 9>"$E2E_DIR/.lock"
flock -w "$LOCK_TIMEOUT" 9 || die "another end-to-end run holds $E2E_DIR/.lock"
CORVELLA_E2E_INNER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
