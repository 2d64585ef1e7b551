// The bitmap font engine (see AFX_font_engine.h): decoding, measuring and
// gamma-correct glyph blending into pixel buffers.

#include "gui_engine/AFX_font_engine.h"

#include "gui_engine/afx_font_glyphs.h"

#include <langinfo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace {

constexpr float linear_exponent = 1.6f;
constexpr float display_exponent = 0.625f;  // 1 / 1.6
constexpr int max_measured_characters = 1024;
constexpr int ellipsis_dots = 3;
constexpr unsigned full_stop = 46;
constexpr unsigned asterisk = 42;

// Glyph record layout (afx_font_glyphs.h).
enum glyph_byte { g_width = 0, g_rows = 1, g_advance = 2, g_x_offset = 4, g_y_offset = 5,
                  g_coverage = 6 };

int signed_byte(unsigned char b)
{
    return static_cast<signed char>(b);
}

uint32_t gamma_entry(int i, float exponent)
{
    if (i == 0)
        return 0;
    const float v = std::pow(static_cast<float>(i) / 255.0f, exponent);
    if (v > 1.0f)
        return 255;
    return static_cast<uint32_t>(255.0f * v);
}

} // namespace

AFX_font_engine::AFX_font_engine(AFX_engine* engine) : m_packed_colour(0xFFFFFF), m_engine(engine)
{
    for (int i = 0; i < 256; ++i) {
        m_to_linear[i] = gamma_entry(i, linear_exponent);
        m_to_display[i] = gamma_entry(i, display_exponent);
    }
    std::fill(std::begin(m_glyphs), std::end(m_glyphs), nullptr);
    for (int i = 0; i < 256; ++i)
        m_glyphs[i] = afx_font_glyphs[i];

    for (const unsigned char* glyph : m_glyphs) {
        if (!glyph)
            continue;
        m_max_height = std::max<uint32_t>(m_max_height, glyph[g_rows]);
        m_max_width = std::max<uint32_t>({m_max_width, glyph[g_width], glyph[g_advance]});
        // Read unsigned here: a descending glyph (the low line's -2) counts
        // as 254 and is then capped by the height below.
        m_glyphs_top = std::max<uint32_t>(m_glyphs_top, glyph[g_y_offset]);
    }
    if (m_glyphs_top > m_max_height)
        m_glyphs_top = m_max_height;
    m_line_height = 2 * m_max_height - m_glyphs_top;

    const char* codeset = nl_langinfo(CODESET);
    m_utf8 = (codeset && std::strcmp(codeset, "UTF-8") == 0) ? 1 : 0;
}

void AFX_font_engine::set_foreground_rgb(int r, int g, int b)
{
    m_foreground_r = m_to_linear[r & 255];
    m_foreground_g = m_to_linear[g & 255];
    m_foreground_b = m_to_linear[b & 255];
}

const char* AFX_font_engine::get_char(const char* s, int utf8, unsigned* code) const
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
    if (!utf8) {
        *code = *p;
        return *p ? s + 1 : s;
    }
    while ((*p & 0xC0) == 0x80)
        ++p;
    if (*p < 0x80) {
        *code = *p;
        return reinterpret_cast<const char*>(*p ? p + 1 : p);
    }
    int lead_ones = 0;
    while (lead_ones < 8 && (*p & (0x80 >> lead_ones)))
        ++lead_ones;
    unsigned value = lead_ones < 7 ? (*p & (0x7Fu >> lead_ones)) : 0;
    ++p;
    // The continuation bytes' 10xxxxxx pattern is not checked; a terminator
    // among them ends the character with the bits gathered so far.
    for (int i = 1; i < lead_ones && *p; ++i, ++p)
        value = value * 64 + (*p & 0x3F);
    *code = value;
    return reinterpret_cast<const char*>(p);
}

// ---------------------------------------------------------------------------
// Blending

void AFX_font_engine::put_pixel(afx_pixbuf* pb, int x, int y, int r, int g, int b, int coverage)
{
    // The gamma round trip is lossy in the dark (to-display[to-linear[v]]
    // gives 0 for v = 1, 19 for v = 20): blending the transparent parts of a
    // glyph's bitmap would leave a visible box around every glyph on a dark
    // panel, so coverage 0 leaves the pixel alone.
    if (coverage == 0 || x < 0 || y < 0 || x >= pb->width || y >= pb->height)
        return;
    unsigned char* d = pb->pixels + y * pb->rowstride + 4 * x;
    const int colour[3] = {r, g, b};
    for (int ch = 0; ch < 3; ++ch) {
        const int linear = static_cast<int>(m_to_linear[d[ch]]);
        const int result = linear + (((colour[ch] - linear) * coverage) >> 8);
        d[ch] = static_cast<unsigned char>(m_to_display[result & 255]);
    }
}

void AFX_font_engine::put_pixel(afx_pixbuf* pb, int x, int y, int r, int g, int b)
{
    if (x < 0 || y < 0 || x >= pb->width || y >= pb->height)
        return;
    unsigned char* d = pb->pixels + y * pb->rowstride + 4 * x;
    d[0] = static_cast<unsigned char>(r);
    d[1] = static_cast<unsigned char>(g);
    d[2] = static_cast<unsigned char>(b);
    d[3] = 255;
}

// ---------------------------------------------------------------------------
// Glyphs and strings

int AFX_font_engine::draw_glyph_clipped(afx_pixbuf* pb, unsigned code, int x, int y, int r, int g,
                                        int b, const clip_box* clip)
{
    const unsigned char* glyph = m_glyphs[code & 255];
    if (!glyph)
        return 0;
    const int width = glyph[g_width];
    const int rows = glyph[g_rows];
    if (pb && pb->pixels && width > 0 && rows > 0) {
        const int left = x + signed_byte(glyph[g_x_offset]);
        const int top = y - signed_byte(glyph[g_y_offset]);
        const unsigned char* coverage = glyph + g_coverage;
        for (int j = 0; j < rows; ++j) {
            for (int i = 0; i < width; ++i, ++coverage) {
                const int column = left + i;
                const int row = top + j;
                if (clip && !(clip->top < row && row < clip->bottom && clip->left < column &&
                              column < clip->right))
                    continue;
                put_pixel(pb, column, row, r, g, b, *coverage);
            }
        }
    }
    return glyph[g_advance];
}

int AFX_font_engine::drawn_width(const char* text, int n, bool hidden) const
{
    if (!text || n < 0)
        return 0;
    int width = 0;
    const char* p = text;
    for (int i = 0; i < n; ++i) {
        unsigned code = 0;
        p = get_char(p, static_cast<int>(m_utf8), &code);
        if ((code & 255) == 0)
            return width;
        if (const unsigned char* glyph = m_glyphs[hidden ? asterisk : (code & 255)])
            width += glyph[g_advance];
    }
    if (const unsigned char* dot = m_glyphs[full_stop])
        width += ellipsis_dots * dot[g_advance];
    return width;
}

void AFX_font_engine::draw_text(afx_pixbuf* pb, const char* text, int x, int y, int n, int r,
                                int g, int b, const clip_box* clip, bool hidden)
{
    if (!text || n < 0)
        return;
    int pen = x;
    const char* p = text;
    for (int i = 0; i < n; ++i) {
        unsigned code = 0;
        p = get_char(p, static_cast<int>(m_utf8), &code);
        if ((code & 255) == 0)
            return;
        pen += draw_glyph_clipped(pb, hidden ? asterisk : code, pen, y, r, g, b, clip);
    }
    // The text reached the limit without ending: show that it goes on.
    for (int i = 0; i < ellipsis_dots; ++i)
        pen += draw_glyph_clipped(pb, full_stop, pen, y, r, g, b, clip);
}

void AFX_font_engine::draw_string(afx_pixbuf* pb, const char* text, int x, int y, int n)
{
    draw_text(pb, text, x, y, n, static_cast<int>(m_foreground_r),
              static_cast<int>(m_foreground_g), static_cast<int>(m_foreground_b), nullptr, false);
}

void AFX_font_engine::draw_glyph(afx_pixbuf* pb, unsigned code, int x, int y)
{
    draw_glyph_clipped(pb, code, x, y, static_cast<int>(m_foreground_r),
                       static_cast<int>(m_foreground_g), static_cast<int>(m_foreground_b),
                       nullptr);
}

void AFX_font_engine::draw_string_to_pixbuf(afx_pixbuf* pb, const char* text, int x, int y, int r,
                                            int g, int b, int n)
{
    draw_text(pb, text, x, y, n, r, g, b, nullptr, false);
}

void AFX_font_engine::draw_glyph_to_pixbuf(afx_pixbuf* pb, unsigned code, int x, int y, int r,
                                           int g, int b)
{
    draw_glyph_clipped(pb, code, x, y, r, g, b, nullptr);
}

void AFX_font_engine::draw_clipped_string_to_pixbufL(afx_pixbuf* pb, const char* text, int x,
                                                     int y, int top, int bottom, int left,
                                                     int right, int r, int g, int b, int n)
{
    const clip_box clip{top, bottom, left, right};
    draw_text(pb, text, x, y, n, r, g, b, &clip, false);
}

void AFX_font_engine::draw_clipped_string_to_pixbufR(afx_pixbuf* pb, const char* text, int x,
                                                     int y, int top, int bottom, int left,
                                                     int right, int r, int g, int b, int n)
{
    const clip_box clip{top, bottom, left, right};
    draw_text(pb, text, x - drawn_width(text, n, false), y, n, r, g, b, &clip, false);
}

void AFX_font_engine::draw_clipped_glyph_to_pixbuf(afx_pixbuf* pb, unsigned code, int x, int y,
                                                   int top, int bottom, int left, int right, int r,
                                                   int g, int b)
{
    const clip_box clip{top, bottom, left, right};
    draw_glyph_clipped(pb, code, x, y, r, g, b, &clip);
}

void AFX_font_engine::draw_hid_clipped_string_to_pixbufL(afx_pixbuf* pb, const char* text, int x,
                                                         int y, int top, int bottom, int left,
                                                         int right, int r, int g, int b, int n)
{
    const clip_box clip{top, bottom, left, right};
    draw_text(pb, text, x, y, n, r, g, b, &clip, true);
}

void AFX_font_engine::draw_hid_clipped_string_to_pixbufR(afx_pixbuf* pb, const char* text, int x,
                                                         int y, int top, int bottom, int left,
                                                         int right, int r, int g, int b, int n)
{
    const clip_box clip{top, bottom, left, right};
    draw_text(pb, text, x - drawn_width(text, n, true), y, n, r, g, b, &clip, true);
}

// ---------------------------------------------------------------------------
// Measuring

int AFX_font_engine::get_string_length_in_pxls(const char* text) const
{
    if (!text)
        return 0;
    int width = 0;
    const char* p = text;
    for (int i = 0; i < max_measured_characters; ++i) {
        unsigned code = 0;
        p = get_char(p, static_cast<int>(m_utf8), &code);
        if ((code & 255) == 0)
            break;
        if (const unsigned char* glyph = m_glyphs[code & 255])
            width += glyph[g_advance];
    }
    return width;
}

int AFX_font_engine::get_hid_string_length_in_pxls(const char* text) const
{
    if (!text)
        return 0;
    const unsigned char* star = m_glyphs[asterisk];
    const int advance = star ? star[g_advance] : 0;
    int width = 0;
    const char* p = text;
    for (int i = 0; i < max_measured_characters; ++i) {
        unsigned code = 0;
        p = get_char(p, static_cast<int>(m_utf8), &code);
        if ((code & 255) == 0)
            break;
        width += advance;
    }
    return width;
}

int AFX_font_engine::get_string_height_in_pxls(const char* text) const
{
    if (!text)
        return 0;
    int max_rows = 0;
    int max_y_offset = 0;
    const char* p = text;
    for (int i = 0; i < max_measured_characters; ++i) {
        unsigned code = 0;
        p = get_char(p, static_cast<int>(m_utf8), &code);
        if ((code & 255) == 0)
            break;
        if (const unsigned char* glyph = m_glyphs[code & 255]) {
            max_rows = std::max<int>(max_rows, glyph[g_rows]);
            max_y_offset = std::max(max_y_offset, signed_byte(glyph[g_y_offset]));
        }
    }
    return 2 * max_rows - std::min(max_rows, max_y_offset);
}
