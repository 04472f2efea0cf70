#!/bin/sh
# Writes an INI file as Windows' profile functions want it to stay Unicode: UTF-16LE with a
# byte-order mark and CR LF line ends. Without the mark they write keys in the ANSI code page,
# and a history entry in another script would come back as question marks.
#   packaging/windows-ini.sh IN OUT
set -eu
{ printf '\377\376'; sed 's/$/\r/' "$1" | iconv -f UTF-8 -t UTF-16LE; } >"$2.part"
mv "$2.part" "$2"
