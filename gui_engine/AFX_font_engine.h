#pragma once
// AFX_font_engine: text in the built-in anti-aliased bitmap font
// (afx_font_glyphs.h, one glyph per ISO 8859-1 code), drawn into an
// afx_pixbuf. One instance per process (G_FONT_engine, made when the library
// loads). No font file, font server or text library is involved.
//
// Text is UTF-8 when the process's locale character set is "UTF-8" at
// construction, single-byte otherwise; glyphs are looked up by the low eight
// bits of each decoded character. Coverage is blended on linearised values
// (exponent 1.6, back with 0.625) through two 256-entry tables, so drawing
// needs no floating point.
//
// Every string operation draws at most n characters; a text that reaches n
// without ending gets three full stops appended (so n = 0 draws only the
// ellipsis), and a negative n draws nothing.
//
// Thread: the GUI event thread, while widgets render. The foreground colour
// is shared state: set it and draw from the same thread. No lock, no X call,
// no allocation.

#include "gui_engine/afx_pixbuf.h"

#include <cstdint>

class AFX_engine;

class AFX_font_engine {
public:
    explicit AFX_font_engine(AFX_engine* engine);
    ~AFX_font_engine() = default;  // the glyph data is static
    AFX_font_engine(const AFX_font_engine&) = delete;
    AFX_font_engine& operator=(const AFX_font_engine&) = delete;

    // Metrics of the built-in set, in pixels: 11, 13, 13, 13.
    int get_glyph_max_width() const { return static_cast<int>(m_max_width); }
    int get_glyph_max_height() const { return static_cast<int>(m_max_height); }
    int get_glyphs_top() const { return static_cast<int>(m_glyphs_top); }
    int get_line_height() const { return static_cast<int>(m_line_height); }
    bool is_utf8() const { return m_utf8 != 0; }

    // Components modulo 256, stored linearised.
    void set_foreground_rgb(int r, int g, int b);

    // Decodes one character at s into *code (UTF-8 when utf8 is non-zero,
    // else one byte) and returns the position after it. Never steps past a
    // terminator: at one, *code is 0 and s is returned.
    const char* get_char(const char* s, int utf8, unsigned* code) const;
    char* get_char(char* s, int utf8, unsigned* code) const
    {
        return const_cast<char*>(get_char(static_cast<const char*>(s), utf8, code));
    }

    // Pen starts at column x on baseline row y; foreground colour.
    void draw_string(afx_pixbuf* pb, const char* text, int x, int y, int n);
    void draw_glyph(afx_pixbuf* pb, unsigned code, int x, int y);

    // The same with the colour given (already linear values, 0..255).
    void draw_string_to_pixbuf(afx_pixbuf* pb, const char* text, int x, int y, int r, int g, int b,
                               int n);
    void draw_glyph_to_pixbuf(afx_pixbuf* pb, unsigned code, int x, int y, int r, int g, int b);

    // Only pixels strictly inside the clip are drawn: top < row < bottom and
    // left < column < right. The R variant ends the drawn text (ellipsis
    // included) at column x.
    void draw_clipped_string_to_pixbufL(afx_pixbuf* pb, const char* text, int x, int y, int top,
                                        int bottom, int left, int right, int r, int g, int b,
                                        int n);
    void draw_clipped_string_to_pixbufR(afx_pixbuf* pb, const char* text, int x, int y, int top,
                                        int bottom, int left, int right, int r, int g, int b,
                                        int n);
    void draw_clipped_glyph_to_pixbuf(afx_pixbuf* pb, unsigned code, int x, int y, int top,
                                      int bottom, int left, int right, int r, int g, int b);
    // Password fields: an asterisk in place of every character.
    void draw_hid_clipped_string_to_pixbufL(afx_pixbuf* pb, const char* text, int x, int y,
                                            int top, int bottom, int left, int right, int r, int g,
                                            int b, int n);
    void draw_hid_clipped_string_to_pixbufR(afx_pixbuf* pb, const char* text, int x, int y,
                                            int top, int bottom, int left, int right, int r, int g,
                                            int b, int n);

    // Sum of the advances of at most 1024 characters.
    int get_string_length_in_pxls(const char* text) const;
    int get_hid_string_length_in_pxls(const char* text) const;
    // Twice the largest row count of the text's glyphs minus the smaller of
    // that count and their largest y offset.
    int get_string_height_in_pxls(const char* text) const;

    // Blends coverage (0..255) of the linear colour (r, g, b) into pixel
    // (x, y); pixels outside the buffer are skipped; alpha unchanged.
    void put_pixel(afx_pixbuf* pb, int x, int y, int r, int g, int b, int coverage);
    // Writes the colour as it is with alpha 255 (negative coordinates skipped).
    void put_pixel(afx_pixbuf* pb, int x, int y, int r, int g, int b);

    // Gamma tables, exposed for inspection: 255 * (i / 255)^1.6 and ^0.625.
    uint32_t to_linear(int i) const { return m_to_linear[i & 255]; }
    uint32_t to_display(int i) const { return m_to_display[i & 255]; }

private:
    struct clip_box {
        int top, bottom, left, right;  // all exclusive
    };
    // Pen advance of the text as drawn with limit n (ellipsis included).
    int drawn_width(const char* text, int n, bool hidden) const;
    void draw_text(afx_pixbuf* pb, const char* text, int x, int y, int n, int r, int g, int b,
                   const clip_box* clip, bool hidden);
    // Returns the glyph's advance (0 without a record).
    int draw_glyph_clipped(afx_pixbuf* pb, unsigned code, int x, int y, int r, int g, int b,
                           const clip_box* clip);

    const unsigned char* m_glyphs[256];
    uint32_t m_to_linear[256];
    uint32_t m_to_display[256];
    [[maybe_unused]] uint32_t m_packed_colour;  // kept for its owner; no drawing reads it
    uint32_t m_foreground_r = 0;
    uint32_t m_foreground_g = 0;
    uint32_t m_foreground_b = 0;
    uint32_t m_max_height = 0;
    uint32_t m_max_width = 0;
    uint32_t m_glyphs_top = 0;
    uint32_t m_line_height = 0;
    uint32_t m_utf8 = 0;
    [[maybe_unused]] AFX_engine* m_engine;  // owner's engine; not used for drawing
};
