#!/usr/bin/env bash
# Runs the desktop program, Corvella.exe, under Wine, building it first when needed:
#
#   ./corvella desktop [FOLDER...]
#
# Each FOLDER becomes a fixed drive of its own (D:, E:, ...), so the program indexes, searches
# and watches it. The program runs in a private Wine prefix (build/desktop/prefix) that never
# shows the rest of the Linux file system to it: Wine's z: drive (which is /) is removed and the
# user folders that Wine links to the home folder are made empty folders. Its data folder, with
# settings and cache, is drive_c/users/<user>/AppData/Roaming/Corvella Data in that prefix, made
# by its first start.
# With no X display the program runs on a virtual one (nothing to see, but it runs).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mkdir -p "$here/build/desktop"
log="$here/build/desktop/build.log"

for folder in "$@"; do
    [ -d "$folder" ] || { echo "corvella desktop: '$folder' is not a folder." >&2; exit 2; }
done
[ $# -le 22 ] || { echo "corvella desktop: at most 22 folders (D: to Y:)." >&2; exit 2; }

if ! {
    "$here/scripts/ensure-tools.sh" all &&
    { [ -f "$here/build/win64/build.ninja" ] || cmake --preset win64 -S "$here"; } &&
    cmake --build "$here/build/win64" --target Corvella shipped_settings
} >"$log" 2>&1; then
    cat "$log" >&2
    echo "corvella desktop: the build failed (log above, also in $log)." >&2
    exit 2
fi

export WINEPREFIX="$here/build/desktop/prefix"
export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/.corvella-ready" ]; then
    echo "corvella desktop: making the Wine prefix (once, about a minute)..." >&2
    rm -rf "$WINEPREFIX"
    timeout 600 wineboot -i >>"$log" 2>&1
    timeout 120 wineserver -w >>"$log" 2>&1 || true
    touch "$WINEPREFIX/.corvella-ready"
fi
# Fenced on every start: Wine puts these links back when it updates a prefix.
rm -f "$WINEPREFIX/dosdevices/z:"
for user in "$WINEPREFIX"/drive_c/users/*; do
    for link in "$user"/*; do
        if [ -L "$link" ]; then rm -f "$link" && mkdir -p "$link"; fi
    done
done
# The named folders as drives D: onwards; drives of an earlier start are dropped first.
for drive in d e f g h i j k l m n o p q r s t u v w x y; do rm -f "$WINEPREFIX/dosdevices/$drive:"; done
letters=(d e f g h i j k l m n o p q r s t u v w x y)
index=0
for folder in "$@"; do
    ln -s "$(cd "$folder" && pwd)" "$WINEPREFIX/dosdevices/${letters[$index]}:"
    echo "corvella desktop: ${letters[$index]^^}: is $(cd "$folder" && pwd)" >&2
    index=$((index + 1))
done

program="$WINEPREFIX/drive_c/Corvella"
mkdir -p "$program"
# At its first start the program makes its data folder from the settings shipped beside it.
cp "$here/build/win64/src/"{Corvella.exe,help.html,settings.ini} "$program/"
cd "$program"
if [ -n "${DISPLAY:-}" ]; then
    exec wine 'C:\Corvella\Corvella.exe'
fi
echo "corvella desktop: no X display; running on a virtual one." >&2
exec xvfb-run -a wine 'C:\Corvella\Corvella.exe'
