#!/bin/sh
# Draws Corvella's icons and packs them into .ico files:
#   corvella.ico  program icon: a magnifying glass over a hard drive
#   about.ico     the same motif, richer: the glass over two stacked drives, with a glint
#   more.ico      the overflow chevron (>>) of the quick-button bar
#   default.ico   a quick button's icon when it names none: a page under a magnifying glass
#   documents.ico, pictures.ico, music.ico, videos.ico
#                 the quick buttons of the shipped settings: a written page, a landscape, a
#                 pair of notes, a film frame with a play mark
#
# Every image is drawn from vector primitives in a 256 x 256 design space, rendered at a multiple
# of its final size and reduced by averaging whole blocks of pixels, so the edges are smooth and
# the result is the same on every run. Small sizes use a bolder variant of the drawing: hairlines
# that look fine at 48 pixels vanish at 16. No fonts are used.
#
# Usage: make-icons.sh [OUTPUT-DIR [PREVIEW.png]]
# Writes the three .ico files to OUTPUT-DIR (default: this folder) and, when asked, a preview of
# the images on a light and a dark background, those up to 48 pixels at four times their size.
# The .ico files are committed, so building the program needs no ImageMagick.
# Needs ImageMagick 6 or 7; set IM to its command if neither `magick` nor `convert` is it.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here}
preview=${2:-}

if [ -z "${IM:-}" ]; then
    for candidate in magick convert /usr/bin/convert; do
        if "$candidate" -version 2>/dev/null | grep -q '^Version: ImageMagick'; then
            IM=$candidate
            break
        fi
    done
fi
if [ -z "${IM:-}" ]; then
    echo "make-icons.sh: ImageMagick not found (set IM)" >&2
    exit 2
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# render SIZE FILE MVG: draws MVG (256 x 256 design units) at SIZE x SIZE pixels into FILE.
render() {
    size=$1
    file=$2
    mvg=$3
    factor=8
    [ "$size" -ge 128 ] && factor=4
    big=$((size * factor))
    scale=$(awk "BEGIN { printf \"%.6f\", $big / 256 }")
    "$IM" -size "${big}x${big}" xc:none \
        -draw "push graphic-context scale $scale,$scale $mvg pop graphic-context" \
        -filter Box -resize "${size}x${size}" \
        -define png:exclude-chunks=date,time +set date:create +set date:modify \
        "PNG32:$file"
}

# --- The motif -----------------------------------------------------------------------------

# Every element is drawn in a graphic context of its own: ImageMagick keeps a gradient fill or
# stroke across later "fill" and "stroke" colours of the same context.

# gradient ID X1,Y1 X2,Y2 OFFSET:COLOUR...: a linear gradient definition.
gradient() {
    id=$1
    from=$2
    to=$3
    shift 3
    echo "push defs push gradient '$id' linear $from $to"
    for stop in "$@"; do
        echo "stop-color '${stop#*:}' ${stop%%:*}"
    done
    echo "pop gradient pop defs"
}

# drive LEFT TOP RIGHT BOTTOM STROKE LED: a hard drive seen from the front: a lighter top face,
# a darker front with a round green light of radius LED; outline STROKE units wide.
drive() {
    left=$1
    top=$2
    right=$3
    bottom=$4
    stroke=$5
    led=$6
    ledx=$((left + 30))
    face=$((top + (bottom - top) * 2 / 5))
    ledy=$(((face + bottom) / 2 + stroke / 4))
    gradient "body$top" "0,$top" "0,$bottom" \
        "0:#f4f7fa" "0.40:#c9d1d9" "0.41:#98a4b0" "1:#6e7a87"
    cat <<MVG
push graphic-context
stroke '#38414b' stroke-width $stroke fill url(#body$top)
roundrectangle $left,$top $right,$bottom 18,18
pop graphic-context
push graphic-context
stroke '#ffffff' stroke-opacity 0.6 stroke-width $((stroke / 2 + 2)) fill none
line $((left + 12)),$((face + stroke / 2 + 1)) $((right - 12)),$((face + stroke / 2 + 1))
pop graphic-context
push graphic-context
stroke none fill '#1a8a33'
circle $ledx,$ledy $((ledx + led)),$ledy
pop graphic-context
push graphic-context
stroke none fill '#8dff9c'
circle $((ledx - led / 4)),$((ledy - led / 4)) $((ledx - led / 4 + led / 2)),$((ledy - led / 4))
pop graphic-context
MVG
}

# glass CX CY R RIM HANDLE HALO: a magnifying glass, lens centre (CX, CY), outer radius R, rim
# RIM units wide, handle HANDLE units thick running at 45 degrees down to the lower right corner,
# set off from what lies below by a light border HALO units wide.
glass() {
    cx=$1
    cy=$2
    r=$3
    rim=$4
    handle=$5
    halo=$6
    ri=$((r - rim / 2))
    inner=$((r - rim))
    # Points along the diagonal: the middle of the rim, just outside it, the end of the metal
    # collar, the handle's end. The halo starts outside the rim; its round cap reaches back no
    # further than the rim's inner edge (HANDLE / 2 <= RIM), and the rim is drawn over it.
    at() { awk "BEGIN { printf \"%d,%d\", $cx + $1 * 0.7071, $cy + $1 * 0.7071 }"; }
    edge=$(at "$((r - rim / 2))")
    outside=$(at "$((r + halo))")
    collar=$(at "$((r + handle * 3 / 4))")
    far=$(awk "BEGIN { d = (246 - $handle / 2 - $cx) / 0.7071; printf \"%d\", d }")
    end=$(at "$far")
    hl=$((handle / 5))
    gradient "lens$cx" "$((cx - r)),$((cy - r))" "$((cx + r)),$((cy + r))" \
        "0:#eef8ff" "1:#7fb9ea"
    gradient "rim$cx" "$((cx - r)),$((cy - r))" "$((cx + r)),$((cy + r))" \
        "0:#58758f" "1:#17232f"
    cat <<MVG
push graphic-context
stroke none fill url(#lens$cx) fill-opacity 0.85
circle $cx,$cy $((cx + inner)),$cy
pop graphic-context
push graphic-context
stroke '#ffffff' stroke-opacity 0.9 stroke-width $((rim * 3 / 5)) stroke-linecap round fill none
path 'M $((cx - inner * 60 / 100)),$((cy + inner * 5 / 100)) A $((inner * 60 / 100)),$((inner * 60 / 100)) 0 0 1 $((cx - inner * 5 / 100)),$((cy - inner * 60 / 100))'
pop graphic-context
push graphic-context
stroke '#ffffff' stroke-opacity 0.9 stroke-width $((handle + halo * 2)) stroke-linecap round
fill none
line $outside $end
pop graphic-context
push graphic-context
stroke '#1e242b' stroke-width $handle stroke-linecap round fill none
line $collar $end
pop graphic-context
push graphic-context
stroke '#6b7682' stroke-width $hl stroke-linecap round fill none
translate $((-handle / 5)),$((handle / 5))
line $collar $end
pop graphic-context
push graphic-context
stroke '#9aa6b3' stroke-width $((handle * 6 / 5)) stroke-linecap butt fill none
line $edge $collar
pop graphic-context
push graphic-context
stroke url(#rim$cx) stroke-width $rim fill none
circle $cx,$cy $((cx + ri)),$cy
pop graphic-context
MVG
}

program_mvg() { # SIZE
    case $1 in
    16) drive 8 150 210 230 16 14; glass 96 84 82 32 46 12 ;;
    24 | 32) drive 12 150 226 226 11 11; glass 104 94 82 26 38 10 ;;
    *) drive 14 154 242 224 7 9; glass 108 98 78 20 30 8 ;;
    esac
}

about_mvg() { # SIZE
    case $1 in
    16) program_mvg 16 ;;
    24 | 32) drive 12 98 226 162 10 9; drive 12 162 226 226 10 9; glass 100 88 78 24 36 10 ;;
    *)
        drive 14 100 242 162 7 8; drive 14 162 242 224 7 8; glass 104 92 78 20 30 8
        glint 198 40 34 ;;
    esac
}

# glint X Y R: a four-pointed sparkle.
glint() {
    x=$1
    y=$2
    r=$3
    s=$((r / 5))
    cat <<MVG
push graphic-context
stroke '#b07800' stroke-width 2 fill '#ffd54a'
polygon $x,$((y - r)) $((x + s)),$((y - s)) $((x + r)),$y $((x + s)),$((y + s)) $x,$((y + r)) $((x - s)),$((y + s)) $((x - r)),$y $((x - s)),$((y - s))
pop graphic-context
MVG
}

# more_mvg SIZE: two right-pointing chevrons.
more_mvg() {
    case $1 in
    16) w=34 ;;
    *) w=28 ;;
    esac
    cat <<MVG
push graphic-context
stroke '#3b4450' stroke-width $w stroke-linecap round stroke-linejoin round fill none
polyline 52,64 110,128 52,192
polyline 132,64 190,128 132,192
pop graphic-context
MVG
}

# page LEFT TOP RIGHT BOTTOM STROKE LINES: a sheet of paper with a folded corner and LINES lines
# of text.
page() {
    left=$1
    top=$2
    right=$3
    bottom=$4
    stroke=$5
    lines=$6
    fold=$(((right - left) * 3 / 10))
    gradient "paper$top" "0,$top" "0,$bottom" "0:#ffffff" "1:#dfe6ee"
    cat <<MVG
push graphic-context
stroke '#4a5562' stroke-width $stroke stroke-linejoin round fill url(#paper$top)
polygon $left,$top $((right - fold)),$top $right,$((top + fold)) $right,$bottom $left,$bottom
pop graphic-context
push graphic-context
stroke '#4a5562' stroke-width $stroke stroke-linejoin round fill '#c3ccd6'
polygon $((right - fold)),$top $((right - fold)),$((top + fold)) $right,$((top + fold))
pop graphic-context
MVG
    i=0
    while [ "$i" -lt "$lines" ]; do
        y=$((top + fold + 22 + i * (bottom - top - fold - 34) / lines))
        cat <<MVG
push graphic-context
stroke '#5b8fd0' stroke-width $((stroke + 4)) stroke-linecap round fill none
line $((left + 22)),$y $((right - 22 - (i % 2) * 30)),$y
pop graphic-context
MVG
        i=$((i + 1))
    done
}

default_mvg() { # SIZE
    case $1 in
    16) page 40 12 190 244 16 2; glass 150 140 70 28 40 10 ;;
    *) page 40 12 190 244 8 4; glass 156 146 64 18 28 8 ;;
    esac
}

documents_mvg() { # SIZE
    case $1 in
    16) page 36 10 220 246 16 3 ;;
    *) page 36 10 220 246 8 5 ;;
    esac
}

pictures_mvg() { # SIZE: a framed landscape, a sun over two hills
    w=8
    [ "$1" = 16 ] && w=16
    gradient sky 0,40 0,200 "0:#8fd0ff" "1:#e8f6ff"
    cat <<MVG
push graphic-context
stroke '#5a4632' stroke-width $((w * 3)) fill url(#sky)
roundrectangle 20,40 236,216 10,10
pop graphic-context
push graphic-context
stroke none fill '#ffcc33'
circle 180,90 180,116
pop graphic-context
push graphic-context
stroke none fill '#3f9a45'
polygon 36,200 100,112 160,200
pop graphic-context
push graphic-context
stroke none fill '#2d7a34'
polygon 110,200 170,140 222,200
pop graphic-context
MVG
}

music_mvg() { # SIZE: two beamed notes
    w=10
    [ "$1" = 16 ] && w=18
    cat <<MVG
push graphic-context
stroke '#23303d' stroke-width $((w * 2)) stroke-linejoin round fill none
polyline 92,190 92,52 208,30 208,168
pop graphic-context
push graphic-context
stroke '#23303d' stroke-width $((w * 3)) fill none
line 92,62 208,40
pop graphic-context
push graphic-context
stroke '#23303d' stroke-width 4 fill '#7a5cc2'
ellipse 66,196 32,24 0,360
ellipse 182,174 32,24 0,360
pop graphic-context
MVG
}

videos_mvg() { # SIZE: a film frame with sprocket holes and a play mark
    gradient film 0,36 0,220 "0:#3c4652" "1:#1d242c"
    cat <<MVG
push graphic-context
stroke '#0d1116' stroke-width 6 fill url(#film)
roundrectangle 16,36 240,220 14,14
pop graphic-context
push graphic-context
stroke none fill '#e8edf2'
rectangle 30,50 48,66
rectangle 30,190 48,206
rectangle 208,50 226,66
rectangle 208,190 226,206
rectangle 30,120 48,136
rectangle 208,120 226,136
pop graphic-context
push graphic-context
stroke '#ffffff' stroke-width 6 stroke-linejoin round fill '#e8413a'
polygon 100,84 100,172 176,128
pop graphic-context
MVG
}

# --- Rendering and packing ------------------------------------------------------------------

make_icon() { # NAME FUNCTION SIZES...
    name=$1
    fn=$2
    shift 2
    files=
    for size in "$@"; do
        render "$size" "$tmp/$name-$size.png" "$($fn "$size")"
        files="$files $tmp/$name-$size.png"
    done
    # shellcheck disable=SC2086
    "$IM" $files "$out/$name.ico"
}

make_icon corvella program_mvg 16 24 32 48 256
make_icon about about_mvg 16 24 32 48 256
make_icon more more_mvg 16 32 48
for quick in default documents pictures music videos; do
    make_icon "$quick" "${quick}_mvg" 16 32 48 64
done

if [ -n "$preview" ]; then
    # One row per icon and background; the images up to 48 pixels at four times their size (each
    # pixel a 4 x 4 square), the 256-pixel one as it is.
    rows=
    for name in corvella about more default documents pictures music videos; do
        for bg in '#ffffff' '#3a3a3a'; do
            row=$tmp/row-$name-$(echo "$bg" | tr -d '#').png
            set --
            for size in 16 24 32 48 64 256; do
                png=$tmp/$name-$size.png
                [ -f "$png" ] || continue
                zoom=400%
                [ "$size" -gt 64 ] && zoom=100%
                set -- "$@" \( "$png" -filter point -resize "$zoom" -background "$bg" \
                    -gravity center -extent 272x272 -flatten \)
            done
            "$IM" "$@" +append "$row"
            rows="$rows $row"
        done
    done
    # shellcheck disable=SC2086
    "$IM" $rows -background '#808080' -append "$preview"
fi
