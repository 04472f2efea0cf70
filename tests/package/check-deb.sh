#!/usr/bin/env bash
# Makes the Linux package and checks it as an installer would meet it: its control fields, exactly
# the files it should hold and where, a command line that runs from where the package puts it, a
# manual page that renders without warnings, and a user unit that systemd accepts.
#
#   tests/package/check-deb.sh [BUILD_DIR]     (default build/native, configured beforehand)
set -uo pipefail

SOURCE_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD_DIR="${1:-$SOURCE_DIR/build/native}"
VERSION="$(sed -n 's/^project(Corvella VERSION \([0-9.]*\).*/\1/p' "$SOURCE_DIR/CMakeLists.txt")"
DEB="$BUILD_DIR/corvella_${VERSION}_$(dpkg --print-architecture).deb"
UNIT=usr/lib/systemd/user/corvella-watch.service

failures=0
check() {  # what command...
    if "${@:2}"; then echo "   ok: $1"; else echo "   FAIL: $1"; failures=$((failures + 1)); fi
}

cmake --build "$BUILD_DIR" --target package >/dev/null || { echo "check-deb: the package cannot be made" >&2; exit 2; }
[ -f "$DEB" ] || { echo "check-deb: no $DEB" >&2; exit 2; }
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
ROOT="$WORK/root"
dpkg-deb -x "$DEB" "$ROOT" || exit 2

field() { dpkg-deb -f "$DEB" "$1"; }
check "control fields" eval '[ "$(field Package)" = corvella ] && [ "$(field Version)" = "$VERSION" ] &&
    [ "$(field Architecture)" = "$(dpkg --print-architecture)" ] && [[ $(field Depends) == *libc6* ]]'

files_only() { dpkg-deb -c "$DEB" | awk '$1 !~ /^d/ { print $NF }' | sort; }
check "the files, and nothing else" diff <(files_only) <(printf '%s\n' ./usr/bin/corvella \
    ./usr/lib/systemd/user/corvella-watch.service ./usr/share/man/man1/corvella.1.gz | sort)

# The packaged program, not the build's: it indexes a small tree and finds a name in it.
mkdir -p "$WORK/tree/sub" && touch "$WORK/tree/sub/needle.txt" "$WORK/tree/hay.txt"
check "the command line runs" eval '"$ROOT/usr/bin/corvella" index --cache "$WORK/c.db" "$WORK/tree" 2>/dev/null &&
    [ "$("$ROOT/usr/bin/corvella" search --cache "$WORK/c.db" needle)" = "$WORK/tree/sub/needle.txt" ]'

man_out="$(MANWIDTH=80 man --warnings -l "$ROOT/usr/share/man/man1/corvella.1.gz" 2>"$WORK/man.err")"
check "the manual page renders without warnings" eval '[ ! -s "$WORK/man.err" ] &&
    grep -q "^NAME" <<<"$man_out" && grep -q "systemctl --user enable --now corvella-watch" <<<"$man_out"'

# systemd checks that the program exists and that the documentation it names is there: the
# program is looked for where the package puts it, the manual among the package's pages.
exec_path="$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$ROOT/$UNIT")"
check "the unit starts the packaged program's watch" eval '[ -x "$ROOT$exec_path" ] &&
    grep -qx "ExecStart=$exec_path watch" "$ROOT/$UNIT"'
mkdir -p "$WORK/units" "$WORK/runtime" && chmod 700 "$WORK/runtime"
sed "s|^ExecStart=$exec_path|ExecStart=$ROOT$exec_path|" "$ROOT/$UNIT" >"$WORK/units/corvella-watch.service"
verified="$(XDG_RUNTIME_DIR="$WORK/runtime" MANPATH="$ROOT/usr/share/man" \
    systemd-analyze --user verify "$WORK/units/corvella-watch.service" 2>&1)"
status=$?
[ -z "$verified" ] || printf '   %s\n' "$verified"
check "systemd accepts the unit, silently" eval '[ "$status" -eq 0 ] && [ -z "$verified" ]'

[ "$failures" -eq 0 ] && echo "check-deb: $DEB is sound" || echo "check-deb: $failures checks failed"
[ "$failures" -eq 0 ]
