#!/usr/bin/env bash
# Builds the Qt SVG preview tool and makes a contact sheet of the toolbar icons:
# row 1 the normal set, row 2 the disabled set, each drawn at 20 x 20 on a light button face
# and on a dark one; writes OUT.png (actual size) and OUT-4x.png (enlarged 4x, pixels kept sharp).
# Usage: contact_sheet.sh [OUT]   (default /tmp/fernweave-icons)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
icons="$here/../../resources/icons"
out=${1:-/tmp/fernweave-icons}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

g++ -std=c++20 -O1 -fPIC "$here/../../tools/svg_preview.cpp" -o "$work/svg_preview" \
    $(pkg-config --cflags --libs Qt6Svg Qt6Gui)

names=(new load save export import print start stop tutorials help about)
mkdir -p "$work/normal" "$work/disabled"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work"
"$work/svg_preview" 20 "$work/normal" $(printf "$icons/%s.svg " "${names[@]}")
"$work/svg_preview" 20 "$work/disabled" $(printf "$icons/disabled/%s.svg " "${names[@]}")
"$work/svg_preview" 20 "$work" "$icons/fernweave.svg"

row() {  # row SET BACKGROUND OUT
    local files=()
    for n in "${names[@]}"; do files+=("$work/$1/$n.png"); done
    files+=("$work/fernweave.png")
    montage "${files[@]}" -background "$2" -geometry 20x20+4+4 -tile x1 "$3"
}
row normal '#f0f0f0' "$work/r1.png"
row disabled '#f0f0f0' "$work/r2.png"
row normal '#303030' "$work/r3.png"
row disabled '#303030' "$work/r4.png"
convert "$work/r1.png" "$work/r2.png" "$work/r3.png" "$work/r4.png" -append +repage "$out.png"
convert "$out.png" -filter point -resize 400% +repage "$out-4x.png"
echo "$out.png $out-4x.png"
