// fontgen: rasterises DejaVu Sans into the glyph table of the built-in bitmap
// font (gui_engine/afx_font_glyphs.cpp). Run by tools/fontgen/generate.sh; not
// part of the normal build, which compiles the committed table.
//
// The face is rendered unhinted at 12 pixels per em, condensed to 90 % of its
// width, with FreeType's 8-bit anti-aliased rasteriser. At that size the
// natural metrics already give cap height 9, x-height 7 and descenders of 3
// rows; the glyphs the font engine's layout depends on are then checked
// against their required metrics and the run fails if any differs, so a
// FreeType or font update cannot silently change the banner's layout.
//
// Each glyph is also tried at a few horizontal phases (see render()) so that
// stems land on whole pixels where the design allows.
//
// Record layout, one per ISO 8859-1 code:
//   [0] width  [1] rows  [2] advance  [3] 0  [4] x offset (signed)
//   [5] y offset (signed, rows above the baseline)  [6..] width x rows coverage
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double kPixelsPerEm = 12.0;
constexpr double kCondense = 0.9;  // horizontal scale applied to every outline
constexpr int kMaxExtent = 11;     // widest bitmap or advance in the set
constexpr int kMaxRows = 13;       // tallest bitmap in the set

struct Glyph {
  int width = 0;
  int rows = 0;
  int advance = 0;
  int x_offset = 0;
  int y_offset = 0;
  std::vector<unsigned char> coverage;  // width x rows, top row first
  std::string note;                     // why the glyph differs from the rasteriser's output
};

struct Metrics {
  int code, width, rows, advance, x_offset, y_offset;
};

// Glyphs whose metrics the banner layout and the font engine's tests rely on.
constexpr Metrics kTellingRows[] = {
    {46, 2, 2, 3, 1, 2},   {48, 7, 10, 7, 0, 9},  {65, 8, 9, 7, 0, 9},
    {74, 4, 12, 3, -1, 9}, {95, 7, 1, 5, -1, -2}, {103, 6, 10, 7, 0, 7},
    {109, 10, 7, 11, 0, 7}, {176, 4, 4, 5, 1, 9},
};

const Metrics* pinned(int code) {
  for (const Metrics& m : kTellingRows)
    if (m.code == code) return &m;
  return nullptr;
}

bool is_control(int code) { return code < 32 || (code >= 127 && code < 160); }

// Placeholder for control codes: an outlined box 6 x 12 reaching 3 rows below
// the baseline; its right column stays empty so neighbouring boxes keep a gap.
Glyph make_box() {
  Glyph g;
  g.width = 6;
  g.rows = 12;
  g.advance = 6;
  g.x_offset = 0;
  g.y_offset = 9;
  g.coverage.assign(g.width * g.rows, 0);
  for (int r = 0; r < g.rows; ++r) {
    for (int c = 0; c < 5; ++c) {
      if (r == 0 || r == g.rows - 1 || c == 0 || c == 4) g.coverage[r * g.width + c] = 192;
    }
  }
  g.note = "placeholder box";
  return g;
}

// Removes empty outer rows and columns so each bitmap is its ink box.
void crop_to_ink(Glyph& g) {
  auto row_empty = [&](int r) {
    for (int c = 0; c < g.width; ++c)
      if (g.coverage[r * g.width + c]) return false;
    return true;
  };
  auto col_empty = [&](int c) {
    for (int r = 0; r < g.rows; ++r)
      if (g.coverage[r * g.width + c]) return false;
    return true;
  };
  int top = 0, bottom = g.rows, left = 0, right = g.width;
  while (top < bottom && row_empty(top)) ++top;
  while (bottom > top && row_empty(bottom - 1)) --bottom;
  while (left < right && col_empty(left)) ++left;
  while (right > left && col_empty(right - 1)) --right;
  if (top == bottom || left == right) {
    g.width = g.rows = 0;
    g.coverage.clear();
    return;
  }
  std::vector<unsigned char> out;
  for (int r = top; r < bottom; ++r)
    for (int c = left; c < right; ++c) out.push_back(g.coverage[r * g.width + c]);
  g.x_offset += left;
  g.y_offset -= top;
  g.width = right - left;
  g.rows = bottom - top;
  g.coverage.swap(out);
}

// Keeps a glyph inside the set's extent: columns beyond 11 and rows beyond 13
// are cut evenly from both sides (the rasteriser's faintest edges).
void clamp_extent(Glyph& g) {
  if (g.advance > kMaxExtent) {
    g.advance = kMaxExtent;
    g.note += " advance clamped;";
  }
  while (g.width > kMaxExtent) {
    bool cut_left = (g.width % 2) == 0;
    std::vector<unsigned char> out;
    for (int r = 0; r < g.rows; ++r)
      for (int c = cut_left ? 1 : 0; c < (cut_left ? g.width : g.width - 1); ++c)
        out.push_back(g.coverage[r * g.width + c]);
    if (cut_left) ++g.x_offset;
    --g.width;
    g.coverage.swap(out);
    g.note += " column cut;";
  }
  while (g.rows > kMaxRows) {
    bool cut_top = (g.rows % 2) == 0;
    int first = cut_top ? 1 : 0;
    g.coverage.erase(g.coverage.begin() + (first * g.width), g.coverage.begin() + (first + 1) * g.width);
    if (cut_top) --g.y_offset;
    --g.rows;
    g.note += " row cut;";
  }
}

bool render_at(FT_Face face, int code, long shift_26_6, Glyph& g) {
  FT_Vector delta = {shift_26_6, 0};
  FT_Matrix condense = {static_cast<FT_Fixed>(kCondense * 65536), 0, 0, 65536};
  FT_Set_Transform(face, &condense, &delta);
  if (FT_Load_Char(face, code, FT_LOAD_NO_HINTING | FT_LOAD_RENDER) != 0) return false;
  FT_GlyphSlot slot = face->glyph;
  if (slot->bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return false;
  g.width = static_cast<int>(slot->bitmap.width);
  g.rows = static_cast<int>(slot->bitmap.rows);
  g.x_offset = slot->bitmap_left;
  g.y_offset = slot->bitmap_top;
  g.advance = static_cast<int>(std::lround(slot->advance.x / 64.0));
  g.coverage.resize(static_cast<size_t>(g.width) * g.rows);
  for (int r = 0; r < g.rows; ++r)
    std::memcpy(&g.coverage[static_cast<size_t>(r) * g.width], slot->bitmap.buffer + r * slot->bitmap.pitch, g.width);
  crop_to_ink(g);
  return true;
}

// Crispness of a bitmap: coverage-weighted mean coverage. Stems that fall on
// whole pixels score high, stems smeared over two half-grey columns low.
double crispness(const Glyph& g) {
  double sum = 0, sum_sq = 0;
  for (unsigned char c : g.coverage) {
    sum += c;
    sum_sq += double(c) * c;
  }
  return sum > 0 ? sum_sq / sum : 0;
}

// Unhinted outlines put vertical stems wherever the design puts them, often
// between two pixel columns. Each glyph is therefore rendered at four
// horizontal phases within half a pixel of its place and the crispest one is
// kept, provided it is no wider than the unshifted bitmap and keeps the
// metrics other code depends on (pinned glyphs).
bool render(FT_Face face, int code, const Metrics* pinned, Glyph& g) {
  if (!render_at(face, code, 0, g)) return false;
  double best = crispness(g);
  for (long shift : {-16L, 16L, 32L}) {
    Glyph t;
    if (!render_at(face, code, shift, t)) return false;
    if (t.width > g.width) continue;
    if (pinned && (t.width != pinned->width || t.x_offset != pinned->x_offset)) continue;
    double c = crispness(t);
    if (c > best * 1.02) {
      best = c;
      t.note = "phase " + std::to_string(shift) + "/64 px";
      g = t;
    }
  }
  clamp_extent(g);
  return true;
}

void write_record(FILE* out, const char* name, int code, const Glyph& g) {
  if (code < 0)
    std::fprintf(out, "// control codes 0-31 and 127-159");
  else
    std::fprintf(out, "// %d", code);
  if (code > 32 && code < 127) std::fprintf(out, " '%c'", code);
  if (!g.note.empty()) std::fprintf(out, " (%s)", g.note.c_str());
  std::fprintf(out, "\nconst unsigned char %s[] = {\n", name);
  std::fprintf(out, "    %d, %d, %d, 0, %d, %d,  // width, rows, advance, reserved, x offset %d, y offset %d\n", g.width,
               g.rows, g.advance, g.x_offset & 0xFF, g.y_offset & 0xFF, g.x_offset, g.y_offset);
  for (int r = 0; r < g.rows; ++r) {
    std::fprintf(out, "   ");
    for (int c = 0; c < g.width; ++c) std::fprintf(out, " %3d,", g.coverage[r * g.width + c]);
    std::fprintf(out, "\n");
  }
  std::fprintf(out, "};\n\n");
}

const char kLicence[] =
    "// Glyph shapes: rendered from DejaVu Sans 2.37 (Debian package fonts-dejavu-core),\n"
    "// DejaVuSans.ttf. DejaVu changes are in the public domain; the glyphs derived from\n"
    "// Bitstream Vera carry this notice:\n"
    "//\n"
    "// Copyright (c) 2003 by Bitstream, Inc. All Rights Reserved. Bitstream Vera is a\n"
    "// trademark of Bitstream, Inc.\n"
    "//\n"
    "// Permission is hereby granted, free of charge, to any person obtaining a copy of\n"
    "// the fonts accompanying this license (\"Fonts\") and associated documentation\n"
    "// files (the \"Font Software\"), to reproduce and distribute the Font Software,\n"
    "// including without limitation the rights to use, copy, merge, publish,\n"
    "// distribute, and/or sell copies of the Font Software, and to permit persons to\n"
    "// whom the Font Software is furnished to do so, subject to the following\n"
    "// conditions:\n"
    "//\n"
    "// The above copyright and trademark notices and this permission notice shall be\n"
    "// included in all copies of one or more of the Font Software typefaces.\n"
    "//\n"
    "// The Font Software may be modified, altered, or added to, and in particular the\n"
    "// designs of glyphs or characters in the Fonts may be modified and additional\n"
    "// glyphs or characters may be added to the Fonts, only if the fonts are renamed to\n"
    "// names not containing either the words \"Bitstream\" or the word \"Vera\".\n"
    "//\n"
    "// This License becomes null and void to the extent applicable to Fonts or Font\n"
    "// Software that has been modified and is distributed under the \"Bitstream Vera\"\n"
    "// names.\n"
    "//\n"
    "// The Font Software may be sold as part of a larger software package but no copy\n"
    "// of one or more of the Font Software typefaces may be sold by itself.\n"
    "//\n"
    "// THE FONT SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR\n"
    "// IMPLIED, INCLUDING BUT NOT LIMITED TO ANY WARRANTIES OF MERCHANTABILITY, FITNESS\n"
    "// FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT OF COPYRIGHT, PATENT, TRADEMARK, OR\n"
    "// OTHER RIGHT. IN NO EVENT SHALL BITSTREAM OR THE GNOME FOUNDATION BE LIABLE FOR\n"
    "// ANY CLAIM, DAMAGES OR OTHER LIABILITY, INCLUDING ANY GENERAL, SPECIAL, INDIRECT,\n"
    "// INCIDENTAL, OR CONSEQUENTIAL DAMAGES, WHETHER IN AN ACTION OF CONTRACT, TORT OR\n"
    "// OTHERWISE, ARISING FROM, OUT OF THE USE OR INABILITY TO USE THE FONT SOFTWARE OR\n"
    "// FROM OTHER DEALINGS IN THE FONT SOFTWARE.\n"
    "//\n"
    "// Except as contained in this notice, the names of Gnome, the Gnome Foundation,\n"
    "// and Bitstream Inc., shall not be used in advertising or otherwise to promote\n"
    "// the sale, use or other dealings in this Font Software without prior written\n"
    "// authorization from the Gnome Foundation or Bitstream Inc., respectively.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fontgen FONT.ttf OUTPUT.cpp\n");
    return 2;
  }
  FT_Library lib;
  FT_Face face;
  if (FT_Init_FreeType(&lib) != 0 || FT_New_Face(lib, argv[1], 0, &face) != 0) {
    std::fprintf(stderr, "fontgen: cannot open %s\n", argv[1]);
    return 1;
  }
  FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(kPixelsPerEm * 64), 72, 72);
  std::vector<Glyph> glyphs(256);
  const Glyph box = make_box();
  for (int code = 0; code < 256; ++code) {
    Glyph& g = glyphs[code];
    if (is_control(code)) {
      g = box;
    } else if (code == 32 || code == 160) {
      g.advance = 3;  // spaces carry no bitmap
    } else if (!render(face, code, pinned(code), g)) {
      std::fprintf(stderr, "fontgen: no glyph for code %d\n", code);
      return 1;
    }
  }

  int failures = 0;
  for (const Metrics& m : kTellingRows) {
    const Glyph& g = glyphs[m.code];
    if (g.width != m.width || g.rows != m.rows || g.advance != m.advance || g.x_offset != m.x_offset ||
        g.y_offset != m.y_offset) {
      std::fprintf(stderr, "fontgen: code %d renders %d %d %d %d %d, needs %d %d %d %d %d\n", m.code, g.width,
                   g.rows, g.advance, g.x_offset, g.y_offset, m.width, m.rows, m.advance, m.x_offset, m.y_offset);
      ++failures;
    }
  }
  int max_extent = 0, max_rows = 0;
  for (const Glyph& g : glyphs) {
    max_extent = std::max({max_extent, g.width, g.advance});
    max_rows = std::max(max_rows, g.rows);
  }
  if (max_extent != kMaxExtent || max_rows != kMaxRows) {
    std::fprintf(stderr, "fontgen: set extent %d x %d rows, needs %d x %d\n", max_extent, max_rows, kMaxExtent,
                 kMaxRows);
    ++failures;
  }
  if (failures) return 1;

  FILE* out = std::fopen(argv[2], "w");
  if (!out) {
    std::fprintf(stderr, "fontgen: cannot write %s\n", argv[2]);
    return 1;
  }
  std::fprintf(out,
               "// Generated by tools/fontgen/generate.sh from DejaVu Sans at 12 px, condensed to 90 %%;\n"
               "// do not edit by hand. Record layout: see gui_engine/afx_font_glyphs.h.\n//\n");
  std::fputs(kLicence, out);
  std::fprintf(out, "\n#include \"gui_engine/afx_font_glyphs.h\"\n\nnamespace {\n\n");
  write_record(out, "glyph_box", -1, box);
  for (int code = 0; code < 256; ++code) {
    if (is_control(code)) continue;
    char name[32];
    std::snprintf(name, sizeof name, "glyph_%03d", code);
    write_record(out, name, code, glyphs[code]);
  }
  std::fprintf(out, "}  // namespace\n\nconst unsigned char* const afx_font_glyphs[256] = {\n");
  for (int code = 0; code < 256; ++code) {
    if (is_control(code))
      std::fprintf(out, "    glyph_box,\n");
    else
      std::fprintf(out, "    glyph_%03d,\n", code);
  }
  std::fprintf(out, "};\n");
  std::fclose(out);
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  return 0;
}
