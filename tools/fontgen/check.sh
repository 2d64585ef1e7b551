#!/usr/bin/env bash
# Verifies the committed glyph table (telling rows, placeholder box, spaces,
# metrics 11, 13, 13, 13) without FreeType; optional argument: a PNG path for
# a magnified specimen.
#
#   bash tools/fontgen/check.sh [specimen.png]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -std=c++17 -O2 -Wall -Wextra -I"$root" "$here/fontcheck.cpp" "$root/gui_engine/afx_font_glyphs.cpp" -lpng \
  -o "$work/fontcheck"
"$work/fontcheck" "$@"
