// preview: checks the compiled-in editor images and renders the editor's panel
// from them, the way the widgets paint it, into PNG files for review.
//
//   preview OUTPUT_DIR
//
// Built and run by tools/artwork/generate.sh against the freshly generated
// editor/images/*.cpp and the font table. Writes into OUTPUT_DIR:
//   preview-default-1x.png   panel buffer 144 x 510 at the editor's defaults
//   preview-default-3x.png   the same, Catmull-Rom resampled to 432 x 1530
//   preview-states-3x.png    other widget states (knob ends, switch out,
//                            buttons down, a parameter text) at 3x
//   knob-frames-2x.png       every knob frame on the panel colour, 2x
// Exit status 0 when every check passes.
#include "editor/images/ze710_images.h"
#include "gui_engine/afx_font_glyphs.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int failures = 0;

void fail(const std::string& what) {
  std::printf("FAIL %s\n", what.c_str());
  ++failures;
}

uint32_t be32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// A pixel buffer as the toolkit keeps it: RGBA bytes, rowstride 4 x width.
struct Pixbuf {
  int width = 0, height = 0, rowstride = 0;
  const unsigned char* cpixels = nullptr;  // wrapped inline data
  std::vector<unsigned char> own;          // allocated buffers

  unsigned char* px(int x, int y) { return own.data() + y * rowstride + 4 * x; }
  const unsigned char* cpx(int x, int y) const {
    return (own.empty() ? cpixels : own.data()) + y * rowstride + 4 * x;
  }
};

Pixbuf allocate(int w, int h) {
  Pixbuf pb;
  pb.width = w, pb.height = h, pb.rowstride = 4 * w;
  pb.own.assign(static_cast<size_t>(4) * w * h, 0);
  for (size_t i = 3; i < pb.own.size(); i += 4) pb.own[i] = 255;  // opaque black
  return pb;
}

Pixbuf wrap(const char* name, const unsigned char* data, unsigned length, int w, int h) {
  Pixbuf pb;
  if (std::memcmp(data, "GdkP", 4) != 0) fail(std::string(name) + ": no GdkP magic");
  uint32_t total = be32(data + 4), type = be32(data + 8), stride = be32(data + 12);
  uint32_t width = be32(data + 16), height = be32(data + 20);
  if (type != 0x01010002u) fail(std::string(name) + ": pixdata type is not 0x01010002");
  if (int(width) != w || int(height) != h) fail(std::string(name) + ": wrong size");
  if (stride != 4 * width) fail(std::string(name) + ": rowstride is not 4 x width");
  if (total != 24 + stride * height || total != length) fail(std::string(name) + ": length field");
  if (reinterpret_cast<uintptr_t>(data) % 4 != 0) fail(std::string(name) + ": not 4-byte aligned");
  std::printf("%-13s %4u x %4u  rowstride %4u  length %7u  type 0x%08x\n", name, width, height, stride, total, type);
  pb.width = int(width), pb.height = int(height), pb.rowstride = int(stride);
  pb.cpixels = data + 24;
  return pb;
}

// afx_pixbuf_copy: all four bytes.
void copy(const Pixbuf& src, Pixbuf& dst, int sx, int sy, int dx, int dy, int w, int h) {
  for (int y = 0; y < h; ++y) std::memcpy(dst.px(dx, dy + y), src.cpx(sx, sy + y), static_cast<size_t>(4) * w);
}

// afx_combine_pixbuf_fixed: d + floor((s - d) * a / 256), destination alpha kept.
void combine(const Pixbuf& src, Pixbuf& dst, int sx, int sy, int dx, int dy, int w, int h) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned char* s = src.cpx(sx + x, sy + y);
      unsigned char* d = dst.px(dx + x, dy + y);
      for (int c = 0; c < 3; ++c) d[c] = static_cast<unsigned char>(d[c] + (((s[c] - d[c]) * s[3]) >> 8));
    }
}

// The font engine's gamma-correct text drawing.
struct Font {
  unsigned to_linear[256], to_display[256];
  int fg[3] = {255, 255, 255};
  Font() {
    for (int i = 0; i < 256; ++i) {
      float f = float(i) / 255.0f, lin = std::pow(f, 1.6f), disp = std::pow(f, 0.625f);
      to_linear[i] = i == 0 ? 0 : (lin > 1.0f ? 255u : unsigned(255.0f * lin));
      to_display[i] = i == 0 ? 0 : (disp > 1.0f ? 255u : unsigned(255.0f * disp));
    }
  }
  void set_foreground(int r, int g, int b) { fg[0] = int(to_linear[r & 255]), fg[1] = int(to_linear[g & 255]), fg[2] = int(to_linear[b & 255]); }
  void draw(Pixbuf& pb, const char* s, int x, int y) {
    for (; *s; ++s) {
      const unsigned char* g = afx_font_glyphs[static_cast<unsigned char>(*s)];
      for (int r = 0; r < g[1]; ++r)
        for (int c = 0; c < g[0]; ++c) {
          int px = x + static_cast<signed char>(g[4]) + c, py = y - static_cast<signed char>(g[5]) + r;
          if (px < 0 || py < 0 || px >= pb.width || py >= pb.height) continue;
          unsigned char* d = pb.px(px, py);
          for (int k = 0; k < 3; ++k) {
            int lin = int(to_linear[d[k]]);
            d[k] = static_cast<unsigned char>(to_display[(lin + (((fg[k] - lin) * g[6 + r * g[0] + c]) >> 8)) & 255]);
          }
        }
      x += g[2];
    }
  }
};

struct Images {
  Pixbuf panel, knob, bypass, status, left, right, icon;
};

struct Knob {
  const char* name;
  int x, y;
};
const Knob kKnobs[] = {{"HF gain", 101, 100}, {"HF freq", 44, 140}, {"mid gain", 73, 192}, {"mid width", 73, 244},
                       {"mid freq", 73, 296}, {"LF gain", 101, 348}, {"LF freq", 44, 388}};

constexpr int kPanelTop = 16;  // the front panel sits below the 16-row top strip
constexpr int kKnobSize = 48, kKnobFrames = 39;

struct State {
  int knob_frame[7];
  int bypass_frame, status_frame, left_frame, right_frame;
  const char* banner;
};

// Paints the editor's panel buffer as the widgets do at first open: panel,
// switch, knobs, top-strip buttons (each over its panel background), banner.
Pixbuf render(const Images& im, const State& st, Font& font) {
  Pixbuf buf = allocate(144, 510);
  copy(im.panel, buf, 0, 0, 0, kPanelTop, 144, 494);
  copy(im.panel, buf, 50, 411, 50, 411 + kPanelTop, 44, 20);
  combine(im.bypass, buf, 0, st.bypass_frame * 20, 50, 411 + kPanelTop, 44, 20);
  for (int i = 0; i < 7; ++i) {
    int x0 = kKnobs[i].x - kKnobSize / 2, y0 = kKnobs[i].y - kKnobSize / 2;
    copy(im.panel, buf, x0, y0, x0, y0 + kPanelTop, kKnobSize, kKnobSize);
    combine(im.knob, buf, 0, st.knob_frame[i] * kKnobSize, x0, y0 + kPanelTop, kKnobSize, kKnobSize);
  }
  const Pixbuf* buttons[3] = {&im.status, &im.left, &im.right};
  const int centres[3] = {54, 90, 124}, frames[3] = {st.status_frame, st.left_frame, st.right_frame};
  for (int i = 0; i < 3; ++i) {
    int x0 = centres[i] - 16;
    copy(im.panel, buf, x0, 0, x0, 0, 32, 16);
    combine(*buttons[i], buf, 0, frames[i] * 16, x0, 0, 32, 16);
  }
  // Banner: 704 x 26 opaque black text buffer, text at column 8 on baseline
  // 13, shown from column 6 at (18, 42) of the panel.
  Pixbuf text = allocate(704, 26);
  font.set_foreground(218, 120, 4);
  font.draw(text, st.banner, 8, 13);
  combine(text, buf, 6, 0, 18, 42 + kPanelTop, 108, 16);
  return buf;
}

// Catmull-Rom (a = -0.5) resampling, separable, edges clamped; a reviewer's
// stand-in for the engine's own integer resampler.
Pixbuf upscale(const Pixbuf& src, int factor) {
  auto weight = [](float t) {
    t = std::fabs(t);
    if (t < 1) return 1.5f * t * t * t - 2.5f * t * t + 1;
    if (t < 2) return -0.5f * t * t * t + 2.5f * t * t - 4 * t + 2;
    return 0.0f;
  };
  int w = src.width * factor, h = src.height * factor;
  std::vector<float> tmp(static_cast<size_t>(w) * src.height * 3);
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < w; ++x) {
      float fx = (x + 0.5f) / factor - 0.5f;
      int ix = int(std::floor(fx));
      for (int c = 0; c < 3; ++c) {
        float acc = 0;
        for (int k = -1; k <= 2; ++k) {
          int sx = std::clamp(ix + k, 0, src.width - 1);
          acc += weight(fx - float(ix + k)) * src.cpx(sx, y)[c];
        }
        tmp[(static_cast<size_t>(y) * w + x) * 3 + c] = acc;
      }
    }
  Pixbuf out = allocate(w, h);
  for (int y = 0; y < h; ++y) {
    float fy = (y + 0.5f) / factor - 0.5f;
    int iy = int(std::floor(fy));
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) {
        float acc = 0;
        for (int k = -1; k <= 2; ++k) {
          int sy = std::clamp(iy + k, 0, src.height - 1);
          acc += weight(fy - float(iy + k)) * tmp[(static_cast<size_t>(sy) * w + x) * 3 + c];
        }
        out.px(x, y)[c] = static_cast<unsigned char>(std::clamp(std::lround(acc), 0L, 255L));
      }
  }
  return out;
}

Pixbuf side_by_side(const Pixbuf& a, const Pixbuf& b, int gap) {
  Pixbuf out = allocate(a.width + gap + b.width, std::max(a.height, b.height));
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) {
      unsigned char* d = out.px(x, y);
      d[0] = d[1] = d[2] = 60;
    }
  copy(a, out, 0, 0, 0, 0, a.width, a.height);
  copy(b, out, 0, 0, a.width + gap, 0, b.width, b.height);
  return out;
}

bool write_png(const std::string& path, const Pixbuf& pb) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = unsigned(pb.width);
  img.height = unsigned(pb.height);
  img.format = PNG_FORMAT_RGBA;
  std::vector<unsigned char> opaque(pb.own);
  for (size_t i = 3; i < opaque.size(); i += 4) opaque[i] = 255;
  bool ok = png_image_write_to_file(&img, path.c_str(), 0, opaque.data(), pb.rowstride, nullptr) != 0;
  std::printf("%s %s\n", ok ? "wrote" : "cannot write", path.c_str());
  return ok;
}

void check_strips(const Images& im) {
  // Every knob frame differs from its neighbours: the pointer really moves.
  for (int f = 0; f + 1 < kKnobFrames; ++f) {
    long diff = 0;
    for (int y = 0; y < kKnobSize; ++y)
      for (int x = 0; x < kKnobSize; ++x)
        for (int c = 0; c < 4; ++c)
          diff += std::abs(im.knob.cpx(x, f * kKnobSize + y)[c] - im.knob.cpx(x, (f + 1) * kKnobSize + y)[c]);
    if (diff < 1000) fail("knob frames " + std::to_string(f) + " and " + std::to_string(f + 1) + " hardly differ");
  }
  // Frame 19 points straight up: mirror-symmetric about the frame's middle.
  int worst = 0;
  for (int y = 0; y < kKnobSize; ++y)
    for (int x = 0; x < kKnobSize / 2; ++x)
      for (int c = 0; c < 4; ++c)
        worst = std::max(worst, std::abs(im.knob.cpx(x, 19 * kKnobSize + y)[c] -
                                         im.knob.cpx(kKnobSize - 1 - x, 19 * kKnobSize + y)[c]));
  std::printf("knob frame 19: largest mirror difference %d\n", worst);
  if (worst > 8) fail("knob frame 19 is not symmetric");
  // A knob frame's outermost rows and columns are transparent: the scale on
  // the panel shows around the knob, and the LF freq knob's last row, which
  // overlaps the Effect switch's first row, paints nothing there.
  for (int f = 0; f < kKnobFrames; ++f)
    for (int i = 0; i < kKnobSize; ++i)
      if (im.knob.cpx(i, f * kKnobSize)[3] || im.knob.cpx(i, f * kKnobSize + kKnobSize - 1)[3] ||
          im.knob.cpx(0, f * kKnobSize + i)[3] || im.knob.cpx(kKnobSize - 1, f * kKnobSize + i)[3]) {
        fail("knob frame " + std::to_string(f) + " has ink on its border");
        break;
      }
  // The switch's first row is transparent: the LF freq knob's rectangle
  // overlaps it and restores only the panel there.
  for (int f = 0; f < 2; ++f)
    for (int x = 0; x < 44; ++x)
      if (im.bypass.cpx(x, f * 20)[3] != 0) fail("switch top row not transparent");
  // Top-strip buttons are opaque: the panel rows behind them carry labels.
  for (const Pixbuf* b : {&im.status, &im.left, &im.right})
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x)
        if (b->cpx(x, y)[3] != 255) {
          fail("button pixel not opaque");
          y = 32;
          break;
        }
  // The banner's window on the panel is black like the banner itself.
  for (int y = 42; y < 58; ++y)
    for (int x = 18; x < 126; ++x)
      if (im.panel.cpx(x, y)[0] > 8 || im.panel.cpx(x, y)[3] != 255) {
        fail("banner window on the panel is not black");
        y = 58;
        break;
      }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: preview OUTPUT_DIR\n");
    return 2;
  }
  std::string dir = argv[1];
  Images im;
  im.panel = wrap("front_panel", ze710_img_front_panel, ze710_img_front_panel_length, 144, 494);
  im.knob = wrap("knob_strip", ze710_img_knob_strip, ze710_img_knob_strip_length, 48, 1872);
  im.bypass = wrap("bypass_strip", ze710_img_bypass_strip, ze710_img_bypass_strip_length, 44, 40);
  im.status = wrap("status_strip", ze710_img_status_strip, ze710_img_status_strip_length, 32, 32);
  im.left = wrap("left_strip", ze710_img_left_strip, ze710_img_left_strip_length, 32, 32);
  im.right = wrap("right_strip", ze710_img_right_strip, ze710_img_right_strip_length, 32, 32);
  im.icon = wrap("window_icon", ze710_img_window_icon, ze710_img_window_icon_length, 32, 32);
  if (failures) return 1;
  check_strips(im);

  Font font;
  State defaults = {{19, 19, 19, 19, 19, 19, 19}, 1, 0, 0, 0, "ZE710 V2.3.1"};
  Pixbuf def = render(im, defaults, font);
  write_png(dir + "/preview-default-1x.png", def);
  write_png(dir + "/preview-default-3x.png", upscale(def, 3));

  State other = {{38, 0, 28, 9, 33, 5, 12}, 0, 1, 1, 0, "HF dB: 20.00 dB"};
  write_png(dir + "/preview-states-3x.png", side_by_side(upscale(def, 3), upscale(render(im, other, font), 3), 24));

  // Contact sheet of the knob strip: 13 x 3 frames on the panel's colour.
  Pixbuf sheet = allocate(13 * 52, 3 * 52);
  for (int y = 0; y < sheet.height; ++y)
    for (int x = 0; x < sheet.width; ++x) {
      unsigned char* d = sheet.px(x, y);
      d[0] = 40, d[1] = 43, d[2] = 48;
    }
  for (int f = 0; f < kKnobFrames; ++f)
    combine(im.knob, sheet, 0, f * kKnobSize, (f % 13) * 52 + 2, (f / 13) * 52 + 2, kKnobSize, kKnobSize);
  Pixbuf icon = allocate(32, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      unsigned char* d = icon.px(x, y);
      d[0] = d[1] = d[2] = 200;
    }
  combine(im.icon, icon, 0, 0, 0, 0, 32, 32);
  write_png(dir + "/knob-frames-2x.png", upscale(sheet, 2));
  write_png(dir + "/window-icon-4x.png", upscale(icon, 4));

  if (failures) {
    std::printf("%d check(s) failed\n", failures);
    return 1;
  }
  std::printf("images: all checks passed\n");
  return 0;
}
