#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building and testing Corvella, and nothing when
# everything is already there.  Usage: scripts/ensure-tools.sh [native|all]
set -euo pipefail

want=${1:-all}
missing=()

need_cmd() {  # command package
    command -v "$1" >/dev/null 2>&1 || missing+=("$2")
}
need_file() {  # file package
    [ -e "$1" ] || missing+=("$2")
}

need_cmd cmake cmake
need_cmd ninja ninja-build
need_cmd g++ g++
need_cmd python3 python3
need_file /usr/src/googletest/CMakeLists.txt googletest
# The Linux package: its dependencies found by dpkg-shlibdeps, its manual page rendered, its
# user unit verified.
need_cmd dpkg-shlibdeps dpkg-dev
need_cmd man man-db
need_cmd groff groff-base
need_cmd systemd-analyze systemd
if [ "$want" = all ]; then
    need_cmd x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
    need_cmd i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix
    need_cmd x86_64-w64-mingw32-windres binutils-mingw-w64-x86-64
    need_cmd wine wine
    need_file /usr/lib/wine/wine64 wine64
    need_cmd xvfb-run xvfb
    need_cmd xauth xauth
    # The end-to-end tests' screenshots, and the pointer and keys of a real user.
    need_cmd import imagemagick
    need_cmd xdotool xdotool
    # The Windows setup programs.
    need_cmd makensis nsis
    # The fuzz target: clang with libFuzzer's runtime.
    need_cmd clang++-14 clang-14
    compgen -G '/usr/lib/llvm-14/lib/clang/14*/lib/linux/libclang_rt.fuzzer-x86_64.a' >/dev/null ||
        missing+=(libclang-rt-14-dev)
    # The 32-bit programs run in Debian's 32-bit Wine.
    dpkg -s wine32:i386 >/dev/null 2>&1 || missing+=("wine32:i386")
fi

[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
    $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
