# shellcheck shell=bash disable=SC2154  # $work and $bench_name come from the sourcing script
# Shared by the benchmark scripts (sourced, not run): messages, installing what is missing with
# apt-get, the two trees they measure, and the median and minimum of a column of numbers.
# The sourcing script sets bench_name (for messages) before it calls anything here.

note() { echo "== $*" >&2; }
die() { echo "${bench_name:-bench}: $*" >&2; exit 2; }

as_root() {
    if [ "$(id -u)" = 0 ]; then "$@"; elif command -v sudo >/dev/null; then sudo "$@"; else
        die "need root (or sudo) to run: $*"
    fi
}

apt_install() {
    note "installing $* with apt-get"
    if ! as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$@" >&2; then
        as_root apt-get update -q >&2
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$@" >&2
    fi
}

need_cmd() {  # need_cmd COMMAND PACKAGE
    command -v "$1" >/dev/null || apt_install "$2"
    command -v "$1" >/dev/null || die "$1 is still missing after installing $2"
}

need_file() {  # need_file PATH PACKAGE
    [ -e "$1" ] || apt_install "$2"
    [ -e "$1" ] || die "$1 is still missing after installing $2"
}

# median and min of one column of a file of numbers
median_of() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
min_of() { sort -g | head -n 1; }

# --- the trees --------------------------------------------------------------------------------
#   small  the extracted Debian linux-source tree (about 84,000 entries)
#   large  hard-linked copies of it under one parent folder (about 2,000,000 entries)
# Both live in $work/trees, are made once and reused while the source tarball stays the same.

tarball() { ls /usr/src/linux-source-*.tar.* 2>/dev/null | sort -V | tail -n 1; }

# Sets src_tar, installing linux-source when no tarball is there.
find_source_tarball() {
    need_cmd xz xz-utils
    if [ -z "$(tarball)" ]; then apt_install linux-source; fi
    src_tar=$(tarball)
    [ -n "$src_tar" ] || die "no /usr/src/linux-source-*.tar.* after installing linux-source"
}

prepare_small() {
    local stamp="$small.done" want
    want=$(basename "$src_tar")
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && [ -d "$small" ]; then
        note "reusing $small"
        return
    fi
    note "extracting $src_tar into $small (once)"
    rm -f "$stamp" "$large.done"
    rm -rf "$small" "$trees/.extract" "$large"
    mkdir -p "$trees/.extract"
    tar -xf "$src_tar" -C "$trees/.extract"
    local top
    top=$(find "$trees/.extract" -mindepth 1 -maxdepth 1)
    [ "$(printf '%s\n' "$top" | wc -l)" = 1 ] && [ -d "$top" ] ||
        die "$src_tar does not hold exactly one top folder"
    mv "$top" "$small"
    rmdir "$trees/.extract"
    echo "$want" >"$stamp"
}

# Hard-linked copies share every file's inode and data, so only the folders cost disk.
prepare_large() {
    local copies=$1 stamp="$large.done" want
    want="$(basename "$src_tar") x$copies"
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && [ -d "$large" ]; then
        note "reusing $large ($copies hard-linked copies)"
        return
    fi
    note "making $large from $copies hard-linked copies of the small tree (once)"
    rm -f "$stamp"
    rm -rf "$large"
    mkdir -p "$large"
    local i
    for ((i = 1; i <= copies; i++)); do
        cp -al "$small" "$large/$(printf 'copy%03d' "$i")"
    done
    echo "$want" >"$stamp"
}

# prepare_trees WITH_LARGE LARGE_TARGET: makes (or reuses) the small tree, and the large one when
# WITH_LARGE is 1. Needs $work; sets trees, small, large (the large tree's path even when it is
# not made) and small_entries.
prepare_trees() {
    local with_large=$1 large_target=$2
    find_source_tarball
    mkdir -p "$work/trees"
    trees="$work/trees"
    small="$trees/linux-src"
    large="$trees/linux-copies"
    prepare_small
    small_entries=$(find "$small" | wc -l)
    if [ "$with_large" = 1 ]; then
        local copies=$(((large_target - 1 + small_entries - 1) / small_entries))
        [ "$copies" -ge 1 ] || copies=1
        prepare_large "$copies"
    fi
}
