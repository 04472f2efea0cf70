# shellcheck shell=bash
# The Wine side of the test scripts (run-wine-tests.sh, run-e2e.sh), sourced by them after they
# set WINEPREFIX, SOURCE_DIR and DRIVES_DIR (the only folder that drives besides C: may lead into).
#
# - A private prefix, made once: a marker file written after a complete `wineboot -i` tells a
#   later run that it can be reused; a prefix without it (an interrupted first run) is made again.
# - The prefix must never show the Linux file system to the programs: a build of a drive walks
#   everything the drive holds. So only C: stays in dosdevices (Wine links z: to /), and the user
#   folders that Wine links to the Linux home become empty folders. Wine recreates those links when
#   it updates a prefix after an upgrade, so every run boots the prefix first and fences it after.
#   The programs run from copies on C:, with the current folder inside C:.
# - No add-on downloads (mscoree, mshtml off), no debug chatter, a virtual X display from
#   xvfb-run, and no crash dialog, so that a crash ends the program instead of waiting for a click.
# - Every Wine command has a time limit and runs in the background while the script waits: bash
#   runs an interrupt's trap only after a foreground command ends, and only if that command died
#   of the interrupt, which Wine's programs catch themselves. The trap kills the wineserver and with
#   it every Windows process of the prefix; so does the end of every run.
export WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
READY_MARKER=".corvella-prefix-ready"
INIT_TIMEOUT=600
BOOT_TIMEOUT=300

say() { printf '== %s\n' "$*" >&2; }
die() {
    printf '%s: %s\n' "${0##*/}" "$*" >&2
    exit 2
}

stop_wine() {
    timeout 30 wineserver -k >/dev/null 2>&1
    return 0
}

# Tries the command every 0.2 s until it succeeds, for up to SECONDS.
within() {  # seconds command...
    local deadline=$((SECONDS + $1))
    until "${@:2}"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}

in_background() {
    "$@" &
    wait $!
}

# Makes the prefix unless a complete one is there, starts it (which brings it up to date with the
# installed Wine), sets it up and fences it.
prepare_prefix() {
    if [ ! -f "$WINEPREFIX/$READY_MARKER" ]; then
        say "making the Wine prefix ${WINEPREFIX#"$SOURCE_DIR"/}"
        stop_wine
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        in_background timeout -k 10 "$INIT_TIMEOUT" wineboot -i >/dev/null 2>&1 || die "wineboot -i failed"
        in_background timeout -k 10 "$INIT_TIMEOUT" wineserver -w || die "the prefix did not settle"
        touch "$WINEPREFIX/$READY_MARKER"
    fi
    in_background timeout -k 10 "$BOOT_TIMEOUT" wine wineboot >/dev/null 2>&1 ||
        die "the Wine prefix does not start"
    local reg="$WINEPREFIX/drive_c/corvella-tests.reg" device link
    # No crash dialog; windows that no window manager manages, drawn whole by Wine, which then
    # does not wait for a manager to confirm that a window was shown or hidden (it would wait two
    # seconds for each, which also reorders what a program does at its exit).
    printf '%s\r\n' REGEDIT4 '' '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' \
        '"ShowCrashDialog"=dword:00000000' '' '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' \
        '"Decorated"="N"' '"Managed"="N"' >"$reg"
    in_background timeout -k 10 "$BOOT_TIMEOUT" wine regedit /S 'C:\corvella-tests.reg' >/dev/null 2>&1 ||
        die "the Wine registry cannot be set"
    rm -f "$reg"
    for device in "$WINEPREFIX"/dosdevices/[a-z]:*; do
        [ "${device##*/}" = c: ] || rm -f "$device"
    done
    [ -d "$WINEPREFIX/dosdevices/c:/windows" ] || die "the prefix has no C: drive"
    while IFS= read -r -d '' link; do
        rm -f "$link"
        mkdir -p "$link"
    done < <(links_out_of_prefix)
    fence_holds || die "the prefix still reaches outside itself"
}

# The links under drive_c whose targets lie outside the prefix, each followed by a NUL.
links_out_of_prefix() {
    local prefix link
    prefix="$(realpath -m "$WINEPREFIX")"
    while IFS= read -r -d '' link; do
        case "$(realpath -m "$link")" in
            "$prefix"/*) ;;
            *) printf '%s\0' "$link" ;;
        esac
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

map_drive() {  # letter folder
    mkdir -p "$2" && ln -sfn "$2" "$WINEPREFIX/dosdevices/$1:"
}

# Runs a Windows program under C:\ with a time limit, from its folder (unix_dir); on time-out the
# whole process group goes: wine, start.exe and the program.
run_in_wine() {  # seconds unix_dir windows_exe [arguments]
    (cd "$2" && exec timeout -k 10 "$1" wine "$3" "${@:4}")
}

# Runs the calling script again on a virtual display, holding the lock on `lock_dir` (runs sharing
# one prefix would share one wineserver); the run inside finds CORVELLA_TESTS_INNER=1. The lock's
# descriptor stays open in it, so the lock lasts until it ends.
on_display() {  # lock_dir script [arguments]
    local tool
    for tool in wine wineserver wineboot xvfb-run timeout flock; do
        command -v "$tool" >/dev/null || die "$tool is missing (scripts/ensure-tools.sh all installs it)"
    done
    mkdir -p "$1"
    exec 9>"$1/.lock"
    flock -w 3600 9 || die "another run holds $1/.lock"
    CORVELLA_TESTS_INNER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "${@:2}"
}
