# shellcheck shell=bash
# The frame of the Wine test scripts (run-wine-tests.sh, run-e2e.sh), sourced by them after they
# set SOURCE_DIR, WORK_DIR (prefix, logs and drives below it) and BUILD_FILES (what each preset's
# build must hold); they define `body` and end by calling wine_main with their arguments.
#
# - A private prefix, made once; a marker written after a complete `wineboot -i` tells a later run
#   that it can be reused. Every run boots it (bringing it up to date with the installed Wine,
#   which recreates the links fenced off below) and fences it.
# - The fence: a build of a drive walks everything the drive holds, so the programs must never see
#   the Linux file system. Only C: stays in dosdevices (Wine links z: to /), other drives lead into
#   DRIVES_DIR, and the user folders that Wine links to the Linux home become empty folders.
# - No add-on downloads, no debug chatter, a virtual X display, and no crash dialog (a crash ends
#   the program instead of waiting for a click). A lock on WORK_DIR keeps two runs from sharing
#   one wineserver.
# - Every Wine command has a time limit and runs in the background while the script waits: bash
#   runs an interrupt's trap only after a foreground command ends, and only if that command died
#   of the interrupt, which Wine's programs catch themselves. The trap kills the wineserver and with
#   it every Windows process of the prefix; so does the end of every run.
#
# Debian's `wine` starts Wine's 32-bit loader whenever it is installed, and a kernel built without
# 32-bit support refuses to run it ("Exec format error"). On such a machine the commands named
# wine run the 64-bit loader alone, which serves a 64-bit prefix, and the 32-bit programs are
# skipped with a line that says why: no kernel setting brings them back.
export WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
export WINEPREFIX="$WORK_DIR/prefix"
LOG_DIR="$WORK_DIR/logs" DRIVES_DIR="$WORK_DIR/drives"
RESULTS=() FAILED=0
RUNS_32BIT=1

use_64bit_loader_alone() {
    local shims="$WORK_DIR/loader64" name
    mkdir -p "$shims"
    for name in wine wine-stable; do
        printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$shims/$name"
        chmod +x "$shims/$name"
    done
    export WINELOADER=/usr/lib/wine/wine64 PATH="$shims:$PATH"
}

say() { printf '== %s\n' "$*" >&2; }
die() { printf '%s: %s\n' "${0##*/}" "$*" >&2; exit 2; }
stop_wine() { timeout 30 wineserver -k >/dev/null 2>&1; return 0; }
in_background() { "$@" & wait $!; }
quietly() { in_background timeout -k 10 "$@" >/dev/null 2>&1; }  # seconds command...

within() {  # seconds command...: tries the command every 0.2 s until it succeeds
    local deadline=$((SECONDS + $1))
    until "${@:2}"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}

# From its folder (unix_dir); on time-out the whole process group goes: wine, start.exe, program.
run_in_wine() {  # seconds unix_dir windows_exe [arguments]
    (cd "$2" && exec timeout -k 10 "$1" wine "$3" "${@:4}")
}

map_drive() { mkdir -p "$2" && ln -sfn "$2" "$WINEPREFIX/dosdevices/$1:"; }  # letter folder

prepare_prefix() {
    local reg="$WINEPREFIX/drive_c/corvella-tests.reg" device link
    if [ ! -f "$WINEPREFIX/.corvella-prefix-ready" ]; then
        say "making the Wine prefix ${WINEPREFIX#"$SOURCE_DIR"/}"
        rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX"
        quietly 600 wineboot -i || die "wineboot -i failed"
        quietly 600 wineserver -w || die "the prefix did not settle"
        touch "$WINEPREFIX/.corvella-prefix-ready"
    fi
    # The desktop program makes itself start with Windows, and booting the prefix would start it:
    # its autorun value goes first.
    quietly 300 wine reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v Corvella /f
    quietly 300 wine wineboot || die "the prefix does not start"
    # No crash dialog; windows that no window manager manages, drawn whole by Wine, which then
    # does not wait for a manager to confirm that a window was shown or hidden (it would wait two
    # seconds for each, which also reorders what a program does at its exit). The screen at 100%,
    # whatever scale a run that was cut off left.
    printf '%s\r\n' REGEDIT4 '' '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' \
        '"ShowCrashDialog"=dword:00000000' '' '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' \
        '"Decorated"="N"' '"Managed"="N"' '' '[HKEY_CURRENT_USER\Control Panel\Desktop]' \
        '"LogPixels"=dword:00000060' >"$reg"
    quietly 300 wine regedit /S 'C:\corvella-tests.reg' || die "the Wine registry cannot be set"
    rm -f "$reg"
    for device in "$WINEPREFIX"/dosdevices/[a-z]:*; do
        [ "${device##*/}" = c: ] || rm -f "$device"
    done
    [ -d "$WINEPREFIX/dosdevices/c:/windows" ] || die "the prefix has no C: drive"
    while IFS= read -r -d '' link; do rm -f "$link" && mkdir -p "$link"; done < <(links_out_of_prefix)
    fence_holds || die "the prefix still reaches outside itself"
}

links_out_of_prefix() {  # under drive_c, each followed by a NUL
    local prefix link
    prefix="$(realpath -m "$WINEPREFIX")"
    while IFS= read -r -d '' link; do
        case "$(realpath -m "$link")" in "$prefix"/*) ;; *) printf '%s\0' "$link" ;; esac
    done < <(find "$WINEPREFIX/drive_c" -type l -print0)
}

# True when C: is the prefix's own drive, every other drive leads into DRIVES_DIR and nothing
# under C: leads out of the prefix.
fence_holds() {
    local device drives
    drives="$(realpath -m "$DRIVES_DIR")"
    for device in "$WINEPREFIX"/dosdevices/[a-z]:*; do
        case "${device##*/}" in
            c:) ;;
            [a-z]:) case "$(realpath -m "$device")" in "$drives"/?*) ;; *) return 1 ;; esac ;;
            *) return 1 ;;
        esac
    done
    [ -z "$(links_out_of_prefix | head -c 1)" ]
}

# Runs a step of the run, its output shown and logged in LOG_DIR/NAME.log without carriage
# returns; the step runs in this shell, so what it sets lasts. Records how it went.
logged() {  # name command...
    local started=$SECONDS status
    say "$1"
    "${@:2}" > >(trap "" INT; exec sed -u 's/\r$//' | tee "$LOG_DIR/$1.log") 2>&1
    status=$?
    [ "$status" -eq 0 ] || FAILED=1
    RESULTS+=("$(printf '%-26s %s (%ss)' "$1" "$(case $status in 0) echo passed ;;
        124 | 137) echo timed out ;; *) echo "failed (exit $status)" ;; esac)" $((SECONDS - started)))")
    return "$status"
}

# Whether the preset's programs can run here; records a skipped one.
runs_here() {  # preset
    [ "$1" != win32 ] || [ "$RUNS_32BIT" = 1 ] || {
        say "$1: skipped, this machine's kernel runs no 32-bit programs"
        RESULTS+=("$(printf '%-26s %s' "$1" "skipped: no 32-bit programs run here")")
        return 1
    }
}

# Outside: checks the presets' builds and the tools, then runs the calling script again on a
# virtual display holding the lock. Inside: readies the prefix, runs the script's `body` with the
# presets, checks the fence again and sums up.
wine_main() {  # preset...
    local preset file tool started=$SECONDS
    if [ "${CORVELLA_TESTS_INNER:-}" = 1 ]; then
        trap stop_wine EXIT
        trap 'say interrupted; exit 130' INT TERM
        rm -rf "$LOG_DIR" && mkdir -p "$LOG_DIR" "$DRIVES_DIR"
        if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1 &&
            [ -x /usr/lib/wine/wine64 ]; then
            say "this machine's kernel runs no 32-bit programs: Wine's 64-bit loader runs alone"
            RUNS_32BIT=0
            use_64bit_loader_alone
        fi
        stop_wine  # a wineserver left by an interrupted run
        prepare_prefix
        body "$@"
        fence_holds || { say "the prefix reached outside itself during the run"; FAILED=1; }
        stop_wine
        say "summary ($((SECONDS - started))s in all; logs in ${LOG_DIR#"$SOURCE_DIR"/})"
        printf '   %s\n' "${RESULTS[@]}" >&2
        exit "$FAILED"
    fi
    [ $# -gt 0 ] || die "usage: $0 PRESET...   (PRESET: win64, win32, built beforehand)"
    for preset in "$@"; do
        case "$preset" in win64 | win32) ;; *) die "unknown preset $preset (win64, win32)" ;; esac
        for file in $BUILD_FILES; do
            [ -f "$SOURCE_DIR/build/$preset/$file" ] || die "build/$preset has no $file; build it" \
                "first: cmake --preset $preset && cmake --build --preset $preset"
        done
    done
    for tool in wine wineserver wineboot xvfb-run timeout flock ${MORE_TOOLS:-}; do
        command -v "$tool" >/dev/null || die "$tool is missing (scripts/ensure-tools.sh all installs it)"
    done
    mkdir -p "$WORK_DIR"
    exec 9>"$WORK_DIR/.lock"  # stays open in the run inside, so the lock lasts until it ends
    flock -w 3600 9 || die "another run holds $WORK_DIR/.lock"
    CORVELLA_TESTS_INNER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
}
