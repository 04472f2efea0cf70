# The private Wine prefix of the test scripts: made once, started, and fenced so that the programs
# under test never see the Linux file system. Sourced by a script that sets WINEPREFIX, SOURCE_DIR,
# READY_MARKER, INIT_TIMEOUT and BOOT_TIMEOUT, and defines say, die and fence_holds (what its
# fence allows: which drives besides C: may exist).

stop_wine() {
    timeout 30 wineserver -k >/dev/null 2>&1
    return 0
}

# Runs a command in the background and waits for it, so that an interrupt is handled at once.
in_background() {
    "$@" &
    wait $!
}

# Makes the prefix unless a complete one is there.
ensure_prefix() {
    [ -f "$WINEPREFIX/$READY_MARKER" ] && return 0
    say "making the Wine prefix ${WINEPREFIX#"$SOURCE_DIR"/}"
    stop_wine
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    in_background timeout -k 10 "$INIT_TIMEOUT" wineboot -i >/dev/null 2>&1 || die "wineboot -i failed"
    in_background timeout -k 10 "$INIT_TIMEOUT" wineserver -w || die "the prefix did not settle"
    touch "$WINEPREFIX/$READY_MARKER"
}

# Starts Wine in the prefix, which brings the prefix up to date with the installed Wine first.
boot_prefix() {
    in_background timeout -k 10 "$BOOT_TIMEOUT" wine wineboot >/dev/null 2>&1 ||
        die "the Wine prefix does not start"
}

# The links under drive_c whose targets lie outside the prefix, each followed by a NUL.
links_out_of_prefix() {
    local prefix link target
    prefix="$(realpath -m "$WINEPREFIX")"
    while IFS= read -r -d '' link; do
        target="$(realpath -m "$link")"
        case "$target" in
            "$prefix"/*) ;;
            *) printf '%s\0' "$link" ;;
        esac
    done < <(find "$WINEPREFIX/drive_c" -type l -print0)
}

# Leaves C: as the only drive and turns every link out of the prefix into an empty folder.
fence_prefix() {
    local device link
    for device in "$WINEPREFIX"/dosdevices/[a-z]:*; do
        case "${device##*/}" in
            c:) ;;
            [a-z]: | [a-z]::) rm -f "$device" ;;
        esac
    done
    [ -d "$WINEPREFIX/dosdevices/c:/windows" ] || die "the prefix has no C: drive"
    while IFS= read -r -d '' link; do
        rm -f "$link"
        mkdir -p "$link"
    done < <(links_out_of_prefix)
    fence_holds || die "the prefix still reaches outside itself"
}
