#!/bin/sh
# Draws the string-layout pictures of the string creation dialog (the four numbering pictures
# of the tile layout picker and the five layout button icons) into resources/images/icons/.
# Needs ImageMagick's convert (CONVERT=path picks another one). The pictures are
# committed; run this only to change them.
set -e
CONVERT=${CONVERT:-convert}
out="$(dirname "$0")/../resources/images/icons"
mkdir -p "$out"
P="8 20 32 44" # dot positions of the 4 x 4 grid in the 51 x 51 pictures

dots() {
    for y in $P; do for x in $P; do printf ' circle %d,%d %d,%d' "$x" "$y" "$((x + 2))" "$y"; done; done
}

# $1 file, $2 the string's path and $3 the jumps back of a raster (ImageMagick draw
# commands); $4 = 1 mirrors the picture on its diagonal, so the string walks columns.
transpose() { echo "$1" | sed -E 's/([0-9]+),([0-9]+)/\2,\1/g'; }
picture() {
    path="$2"
    returns="${3:-point 0,0}"
    if [ "$4" = 1 ]; then
        path=$(transpose "$path")
        returns=$(transpose "$returns")
    fi
    "$CONVERT" -size 51x51 xc:white \
        -fill none -stroke '#9a9a9a' -strokewidth 1 -draw "$returns" \
        -stroke '#1f5fbf' -strokewidth 2 -draw "$path" \
        -stroke none -fill '#303030' -draw "$(dots)" \
        -fill '#d02020' -draw "circle 8,8 12,8" \
        "$out/$1"
}

serpentine="polyline 8,8 44,8 44,20 8,20 8,32 44,32 44,44 8,44"
strips="line 8,8 44,8 line 8,20 44,20 line 8,32 44,32 line 8,44 44,44"
jumps="line 44,8 8,20 line 44,20 8,32 line 44,32 8,44"
picture stringLayoutRight.png "$serpentine" "" 0
picture stringLayoutLeft.png "$serpentine" "" 1
picture stringLayoutRasterRight.png "$strips" "$jumps" 0
picture stringLayoutRasterLeft.png "$strips" "$jumps" 1

# The layout buttons: five dots along the layout's line.
icon() {
    "$CONVERT" -size 32x32 xc:white -stroke '#1f5fbf' -strokewidth 2 -draw "line $2" \
        -stroke none -fill '#303030' -draw "$3" "$out/$1"
}
row() { for v in 4 10 16 22 28; do printf " circle $1 " | sed "s/X/$v/g; s/N/$(($v + 2))/g"; done; }
icon Horizontal.png "4,16 28,16" "$(row 'X,16 N,16')"
icon Vertical.png "16,4 16,28" "$(row '16,X 16,N')"
icon BackSlash.png "4,4 28,28" "$(row 'X,X N,X')"
icon ForwardSlash.png "4,28 28,4" "$(for v in 4 10 16 22 28; do printf ' circle %d,%d %d,%d' $v $((32 - v)) $((v + 2)) $((32 - v)); done)"
icon Tile.png "4,4 28,4 line 28,4 28,16 line 28,16 4,16 line 4,16 4,28 line 4,28 28,28" "$(for y in 4 10 16 22 28; do for x in 4 10 16 22 28; do printf ' circle %d,%d %d,%d' $x $y $((x + 1)) $y; done; done)"
