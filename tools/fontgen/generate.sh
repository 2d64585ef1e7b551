#!/usr/bin/env bash
# Regenerates gui_engine/afx_font_glyphs.cpp from DejaVu Sans, then verifies the
# table and writes a magnified specimen (default build/font-specimen.png).
# Needs the packages of tools/debian-packages/artwork.txt; a normal build does
# not run this, it compiles the committed table.
#
#   bash tools/fontgen/generate.sh [specimen.png]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
font=${ZE710_FONT:-/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf}
specimen=${1:-$root/build/font-specimen.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

g++ -std=c++17 -O2 -Wall -Wextra "$here/fontgen.cpp" $(pkg-config --cflags --libs freetype2) -o "$work/fontgen"
"$work/fontgen" "$font" "$work/afx_font_glyphs.cpp"
mv "$work/afx_font_glyphs.cpp" "$root/gui_engine/afx_font_glyphs.cpp"
echo "wrote gui_engine/afx_font_glyphs.cpp"

g++ -std=c++17 -O2 -Wall -Wextra -I"$root" "$here/fontcheck.cpp" "$root/gui_engine/afx_font_glyphs.cpp" -lpng \
  -o "$work/fontcheck"
mkdir -p "$(dirname "$specimen")"
"$work/fontcheck" "$specimen"
