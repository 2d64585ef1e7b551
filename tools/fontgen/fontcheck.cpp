// fontcheck: verifies the committed glyph table (gui_engine/afx_font_glyphs.cpp)
// and optionally writes a magnified PNG specimen of it.
//
//   g++ -std=c++17 -I. tools/fontgen/fontcheck.cpp gui_engine/afx_font_glyphs.cpp -lpng -o fontcheck
//   ./fontcheck [specimen.png]
//
// Exit status 0 when every check passes. The specimen draws each glyph the way
// the font engine does: coverage blended on values linearised with exponent
// 1.6 and converted back with 0.625, through two 256-entry integer tables.
#include "gui_engine/afx_font_glyphs.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

int failures = 0;

void expect(bool ok, const char* what, int code) {
  if (!ok) {
    std::printf("FAIL code %d: %s\n", code, what);
    ++failures;
  }
}

int s8(unsigned char b) { return static_cast<signed char>(b); }

struct Row {
  int code, width, rows, advance, x_offset, y_offset;
};

void check_table() {
  const Row telling[] = {
      {46, 2, 2, 3, 1, 2},   {48, 7, 10, 7, 0, 9},  {65, 8, 9, 7, 0, 9},
      {74, 4, 12, 3, -1, 9}, {95, 7, 1, 5, -1, -2}, {103, 6, 10, 7, 0, 7},
      {109, 10, 7, 11, 0, 7}, {176, 4, 4, 5, 1, 9},
  };
  for (const Row& t : telling) {
    const unsigned char* g = afx_font_glyphs[t.code];
    expect(g[0] == t.width && g[1] == t.rows && g[2] == t.advance && s8(g[4]) == t.x_offset &&
               s8(g[5]) == t.y_offset,
           "telling row metrics", t.code);
  }

  unsigned max_height = 0, max_width = 0, top = 0;
  for (int code = 0; code < 256; ++code) {
    const unsigned char* g = afx_font_glyphs[code];
    expect(g != nullptr, "empty slot", code);
    if (!g) continue;
    expect(g[3] == 0, "reserved byte not 0", code);
    bool control = code < 32 || (code >= 127 && code < 160);
    if (control) {
      expect(g[0] == 6 && g[1] == 12 && g[2] == 6 && s8(g[5]) == 9, "placeholder box metrics", code);
    } else if (code == 32 || code == 160) {
      expect(g[0] == 0 && g[1] == 0 && g[2] == 3, "space metrics", code);
    } else {
      bool ink = false;
      for (int i = 0; i < g[0] * g[1]; ++i) ink = ink || g[6 + i] != 0;
      expect(ink, "printable glyph without ink", code);
    }
    // Metrics as the font engine computes them: the y offset counts as an
    // unsigned byte for the top, which is then limited to the tallest glyph.
    max_height = std::max<unsigned>(max_height, g[1]);
    max_width = std::max<unsigned>({max_width, g[0], g[2]});
    top = std::max<unsigned>(top, g[5]);
  }
  if (top > max_height) top = max_height;
  unsigned line_height = 2 * max_height - top;
  if (max_width != 11 || max_height != 13 || top != 13 || line_height != 13) {
    std::printf("FAIL metrics: width %u height %u top %u line %u, need 11 13 13 13\n", max_width, max_height, top,
                line_height);
    ++failures;
  }
}

// Specimen canvas: opaque RGB, blended like the font engine's put_pixel.
struct Canvas {
  int width, height;
  std::vector<unsigned char> rgb;
  unsigned to_linear[256], to_display[256];

  Canvas(int w, int h) : width(w), height(h), rgb(static_cast<size_t>(w) * h * 3, 0) {
    for (int i = 0; i < 256; ++i) {
      float f = static_cast<float>(i) / 255.0f;
      float lin = std::pow(f, 1.6f), disp = std::pow(f, 0.625f);
      to_linear[i] = i == 0 ? 0 : (lin > 1.0f ? 255u : static_cast<unsigned>(255.0f * lin));
      to_display[i] = i == 0 ? 0 : (disp > 1.0f ? 255u : static_cast<unsigned>(255.0f * disp));
    }
  }
  void fill(int x0, int y0, int w, int h, int r, int g, int b) {
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) {
        unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        p[0] = r, p[1] = g, p[2] = b;
      }
  }
  void put(int x, int y, const int fg[3], int coverage) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    for (int c = 0; c < 3; ++c) {
      int d = static_cast<int>(to_linear[p[c]]);
      int result = d + (((static_cast<int>(to_linear[fg[c]]) - d) * coverage) >> 8);
      p[c] = static_cast<unsigned char>(to_display[result & 255]);
    }
  }
  // Draws one glyph with its pen at (x, y) on baseline y; returns the advance.
  int glyph(int code, int x, int y, const int fg[3]) {
    const unsigned char* g = afx_font_glyphs[code & 255];
    for (int r = 0; r < g[1]; ++r)
      for (int c = 0; c < g[0]; ++c) put(x + s8(g[4]) + c, y - s8(g[5]) + r, fg, g[6 + r * g[0] + c]);
    return g[2];
  }
  void text(const char* s, int x, int y, const int fg[3]) {
    for (; *s; ++s) x += glyph(static_cast<unsigned char>(*s), x, y, fg);
  }
};

bool write_png(const char* path, const Canvas& cv, int scale) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, cv.width * scale, cv.height * scale, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<unsigned char> row(static_cast<size_t>(cv.width) * scale * 3);
  for (int y = 0; y < cv.height * scale; ++y) {
    for (int x = 0; x < cv.width * scale; ++x)
      std::memcpy(&row[static_cast<size_t>(x) * 3], &cv.rgb[(static_cast<size_t>(y / scale) * cv.width + x / scale) * 3], 3);
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
  return true;
}

void draw_specimen(const char* path) {
  const int cell = 16, grid = 16 * cell;
  Canvas cv(grid + 2 * 8, grid + 8 + 9 * 16 + 14 + 3 * 16 + 6 + 16);
  cv.fill(0, 0, cv.width, cv.height, 40, 42, 46);
  const int light[3] = {235, 235, 235}, orange[3] = {218, 120, 4}, dark[3] = {20, 20, 20};
  // All 256 codes on a 16 x 16 grid, code = row * 16 + column; light grey on
  // dark with a faint cell grid so offsets and advances can be judged.
  for (int code = 0; code < 256; ++code) {
    int x0 = 8 + (code % 16) * cell, y0 = 8 + (code / 16) * cell;
    cv.fill(x0, y0, cell - 1, cell - 1, 28, 30, 33);
    cv.glyph(code, x0 + 3, y0 + 11, light);
  }
  // Running text as the banner shows it (orange on black), and on light and
  // mid-grey panels.
  int x = 12, y = grid + 8;
  const char* lines[] = {"ZE710 V2.3.1", "HF Gain: +4.5 dB", "LF Freq: 120 Hz", "Mid Q: 1.25 oct",
                         "Program: Vocal Presence", "The quick brown fox jumps", "over the lazy dog. 0123456789",
                         "\xc4rger \xfc" "ber Fa\xe7" "ade: d\xe9j\xe0 vu", "[{(m_W@g;J|y)}] 25\xb0 \xb1 \xd7 \xf7"};
  cv.fill(x - 4, y, grid, 9 * 16 + 6, 0, 0, 0);
  for (int i = 0; i < 9; ++i) cv.text(lines[i], x, y + 15 + 16 * i, orange);
  y += 9 * 16 + 14;
  cv.fill(x - 4, y, grid, 3 * 16 + 6, 225, 225, 222);
  for (int i = 0; i < 3; ++i) cv.text(lines[i + 5], x, y + 15 + 16 * i, dark);
  write_png(path, cv, 3) ? std::printf("specimen written to %s\n", path) : std::printf("cannot write %s\n", path);
}

}  // namespace

int main(int argc, char** argv) {
  check_table();
  if (argc > 1) draw_specimen(argv[1]);
  if (failures) {
    std::printf("%d check(s) failed\n", failures);
    return 1;
  }
  std::printf("glyph table: all checks passed\n");
  return 0;
}
