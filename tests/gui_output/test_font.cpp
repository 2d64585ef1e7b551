// The bitmap font drawn into pixel buffers: the telling glyphs measured from
// the ink they leave, the placeholder box and blanks, the ellipsis rules,
// UTF-8 against single-byte decoding by locale, clipping at the buffer's
// edges and at a clip box, and the gamma tables against pow(). Writes a
// magnified specimen of the whole set for a person to look at.

#include <gtest/gtest.h>

#include "gui_engine/AFX_engine.h"
#include "gui_engine/AFX_font_engine.h"
#include "gui_engine/afx_catrom.h"
#include "tests/gui_output/output_test_support.h"

#include <clocale>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using output_test::rgb;

// A black buffer that frees itself.
struct buffer {
    afx_pixbuf* pb;
    buffer(int w, int h) : pb(AFX_engine::afx_pixbuf_new_with_allocation(w, h, -1)) {}
    ~buffer() { AFX_engine::afx_pixbuf_destroy_with_allocation(pb); }
    buffer(const buffer&) = delete;
    buffer& operator=(const buffer&) = delete;
    const unsigned char* at(int x, int y) const { return pb->pixels + y * pb->rowstride + 4 * x; }
    bool inked(int x, int y) const { return at(x, y)[0] || at(x, y)[1] || at(x, y)[2]; }
    std::vector<unsigned char> bytes() const
    {
        return std::vector<unsigned char>(pb->pixels, pb->pixels + pb->height * pb->rowstride);
    }
};

struct ink_box {
    int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;  // inclusive
    bool empty() const { return right < 0; }
};

ink_box ink(const buffer& b)
{
    ink_box box;
    for (int y = 0; y < b.pb->height; ++y)
        for (int x = 0; x < b.pb->width; ++x)
            if (b.inked(x, y)) {
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x);
                box.top = std::min(box.top, y);
                box.bottom = std::max(box.bottom, y);
            }
    return box;
}

// Font engine built in the given locale (the character set is read then).
std::unique_ptr<AFX_font_engine> font_in(const char* locale)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, locale))
        return nullptr;
    auto font = std::make_unique<AFX_font_engine>(nullptr);
    std::setlocale(LC_ALL, previous.c_str());
    return font;
}

constexpr int pen_x = 10;
constexpr int baseline = 20;

// Draws one character (single-byte) in white and returns its pen advance.
int advance_of(AFX_font_engine& font, unsigned char c)
{
    const char text[2] = {static_cast<char>(c), 0};
    return font.get_string_length_in_pxls(text);
}

TEST(FontMetrics, MatchTheBuiltInSet)
{
    auto font = font_in("C");
    EXPECT_EQ(font->get_glyph_max_width(), 11);
    EXPECT_EQ(font->get_glyph_max_height(), 13);
    EXPECT_EQ(font->get_glyphs_top(), 13);
    EXPECT_EQ(font->get_line_height(), 13);
}

TEST(FontGlyphs, TellingGlyphsLeaveTheirInkWhereTheLayoutExpects)
{
    struct row {
        unsigned code;
        int width, rows, advance, x_offset, y_offset;
    };
    const row rows[] = {{46, 2, 2, 3, 1, 2},   {48, 7, 10, 7, 0, 9},   {65, 8, 9, 7, 0, 9},
                        {74, 4, 12, 3, -1, 9}, {95, 7, 1, 5, -1, -2},  {103, 6, 10, 7, 0, 7},
                        {109, 10, 7, 11, 0, 7}, {176, 4, 4, 5, 1, 9}};
    auto font = font_in("C");
    font->set_foreground_rgb(255, 255, 255);
    for (const row& r : rows) {
        buffer b(40, 40);
        font->draw_glyph(b.pb, r.code, pen_x, baseline);
        const ink_box box = ink(b);
        ASSERT_FALSE(box.empty()) << r.code;
        EXPECT_EQ(box.right - box.left + 1, r.width) << "code " << r.code;
        EXPECT_EQ(box.bottom - box.top + 1, r.rows) << "code " << r.code;
        EXPECT_EQ(box.left - pen_x, r.x_offset) << "code " << r.code;
        EXPECT_EQ(baseline - box.top, r.y_offset) << "code " << r.code;
        EXPECT_EQ(advance_of(*font, static_cast<unsigned char>(r.code)), r.advance) << "code " << r.code;
    }
}

TEST(FontGlyphs, ControlCodesShowAnEmptyBoxAndBlanksAdvanceThree)
{
    auto font = font_in("C");
    font->set_foreground_rgb(255, 255, 255);
    buffer first(30, 30);
    font->draw_glyph(first.pb, 1, pen_x, baseline);
    const ink_box box = ink(first);
    // The record is 6 wide; its last column is spacing.
    EXPECT_GE(box.right - box.left + 1, 5);
    EXPECT_LE(box.right - box.left + 1, 6);
    EXPECT_EQ(box.left, pen_x);
    EXPECT_EQ(box.bottom - box.top + 1, 12);
    EXPECT_EQ(baseline - box.top, 9);
    EXPECT_TRUE(first.inked(box.left, box.top + 6) && first.inked(box.right, box.top + 6));
    EXPECT_TRUE(first.inked(box.left + 3, box.top) && first.inked(box.left + 3, box.bottom));
    for (int y = box.top + 2; y < box.bottom - 1; ++y)
        for (int x = box.left + 2; x < box.right - 1; ++x)
            EXPECT_FALSE(first.inked(x, y)) << "box interior at " << x << "," << y;
    for (unsigned code = 0; code < 160; ++code) {
        if (code >= 32 && code < 127)
            continue;
        buffer other(30, 30);
        font->draw_glyph(other.pb, code, pen_x, baseline);
        EXPECT_EQ(other.bytes(), first.bytes()) << "code " << code;
        if (code > 0) {
            EXPECT_EQ(advance_of(*font, static_cast<unsigned char>(code)), 6) << "code " << code;
        }
    }
    for (unsigned code : {32u, 160u}) {
        buffer blank(30, 30);
        font->draw_glyph(blank.pb, code, pen_x, baseline);
        EXPECT_TRUE(ink(blank).empty()) << "code " << code;
        EXPECT_EQ(advance_of(*font, static_cast<unsigned char>(code)), 3) << "code " << code;
    }
}

// What draw_string should leave: the glyphs one by one at advancing pens.
void compose(AFX_font_engine& font, afx_pixbuf* pb, const std::vector<unsigned>& codes, int x, int y)
{
    for (unsigned code : codes) {
        font.draw_glyph(pb, code, x, y);
        x += advance_of(font, static_cast<unsigned char>(code));
    }
}

TEST(FontStrings, EllipsisMarksTextCutAtTheLimit)
{
    auto font = font_in("C");
    font->set_foreground_rgb(200, 230, 255);
    struct string_case {
        const char* text;
        int n;
        std::vector<unsigned> shown;
    };
    const string_case cases[] = {
        {"abc", 5, {'a', 'b', 'c'}},
        {"abcdefghi", 5, {'a', 'b', 'c', 'd', 'e', '.', '.', '.'}},
        {"abcde", 5, {'a', 'b', 'c', 'd', 'e', '.', '.', '.'}},
        {"abc", 0, {'.', '.', '.'}},
        {"abc", -1, {}},
        {"", 4, {}},
    };
    for (const string_case& c : cases) {
        buffer drawn(120, 30), expected(120, 30);
        font->draw_string(drawn.pb, c.text, 4, baseline, c.n);
        compose(*font, expected.pb, c.shown, 4, baseline);
        EXPECT_EQ(drawn.bytes(), expected.bytes()) << "\"" << c.text << "\" n = " << c.n;
        EXPECT_EQ(ink(drawn).empty(), c.shown.empty()) << "\"" << c.text << "\" n = " << c.n;
    }
}

TEST(FontStrings, DecodingFollowsTheLocaleCharacterSet)
{
    auto utf8 = font_in("C.UTF-8");
    ASSERT_NE(utf8, nullptr) << "C.UTF-8 locale missing";
    auto single = font_in("C");
    ASSERT_TRUE(utf8->is_utf8());
    ASSERT_FALSE(single->is_utf8());
    for (AFX_font_engine* f : {utf8.get(), single.get()})
        f->set_foreground_rgb(255, 255, 255);

    buffer u(60, 30), u_expected(60, 30), s(60, 30), s_expected(60, 30);
    utf8->draw_string(u.pb, "\xC3\xA9", 4, baseline, 10);
    compose(*utf8, u_expected.pb, {233}, 4, baseline);
    EXPECT_EQ(u.bytes(), u_expected.bytes());
    single->draw_string(s.pb, "\xC3\xA9", 4, baseline, 10);
    compose(*single, s_expected.pb, {195, 169}, 4, baseline);
    EXPECT_EQ(s.bytes(), s_expected.bytes());
    EXPECT_NE(u.bytes(), s.bytes());

    // A lead byte followed by the terminator: one glyph from the bits it
    // carries (0xC3 -> code 3, the placeholder box), then the text ends.
    buffer lead(60, 30), lead_expected(60, 30);
    utf8->draw_string(lead.pb, "\xC3", 4, baseline, 10);
    compose(*utf8, lead_expected.pb, {3}, 4, baseline);
    EXPECT_EQ(lead.bytes(), lead_expected.bytes());
    unsigned code = 99;
    const char text[] = "\xE2\x82";  // three-byte lead, one continuation, terminator
    const char* after = utf8->get_char(text, 1, &code);
    EXPECT_EQ(code, (2u << 6) | 2u);
    EXPECT_EQ(after, text + 2);
    EXPECT_EQ(utf8->get_char(after, 1, &code), after);
    EXPECT_EQ(code, 0u);
    // A character above U+00FF shows the glyph of its low byte: U+0141 -> 0x41 'A'.
    buffer high(60, 30), high_expected(60, 30);
    utf8->draw_string(high.pb, "\xC5\x81", 4, baseline, 10);
    compose(*utf8, high_expected.pb, {'A'}, 4, baseline);
    EXPECT_EQ(high.bytes(), high_expected.bytes());
}

TEST(FontStrings, GlyphsCutAtTheBufferEdgesDrawOnlyTheVisiblePixels)
{
    auto font = font_in("C");
    font->set_foreground_rgb(255, 255, 255);
    const char* text = "Jgm_A0";
    const int margin = 20;
    buffer big(40 + 2 * margin, 12 + 2 * margin);
    // Positions that put glyphs past the left, top, right and bottom edges.
    const int places[][2] = {{-4, 5}, {2, 3}, {20, 10}, {-9, 14}};
    for (const auto& p : places) {
        buffer small(40, 12);
        std::memset(big.pb->pixels, 0, static_cast<size_t>(big.pb->height) * big.pb->rowstride);
        font->draw_string(small.pb, text, p[0], p[1], 6);
        font->draw_string(big.pb, text, p[0] + margin, p[1] + margin, 6);
        int visible = 0;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 40; ++x) {
                const unsigned char* a = small.at(x, y);
                const unsigned char* b = big.at(x + margin, y + margin);
                ASSERT_EQ(a[0], b[0]) << x << "," << y;
                ASSERT_EQ(a[3], 255);
                visible += a[0] != 0;
            }
        EXPECT_GT(visible, 0);
    }
}

TEST(FontStrings, ClippedVariantsDrawStrictlyInsideTheBox)
{
    auto font = font_in("C");
    const char* text = "Mixed 42";
    buffer whole(100, 30);
    font->draw_string_to_pixbuf(whole.pb, text, 5, baseline, 255, 255, 255, 20);
    const int top = 12, bottom = 19, left = 10, right = 40;
    buffer clipped(100, 30);
    font->draw_clipped_string_to_pixbufL(clipped.pb, text, 5, baseline, top, bottom, left, right, 255,
                                         255, 255, 20);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 100; ++x) {
            const bool inside = top < y && y < bottom && left < x && x < right;
            ASSERT_EQ(clipped.at(x, y)[0], inside ? whole.at(x, y)[0] : 0) << x << "," << y;
        }

    // Right-aligned: the text ends at x, and matches the left-aligned text
    // placed by its measured width.
    buffer right_aligned(100, 30), left_aligned(100, 30);
    const int width = font->get_string_length_in_pxls(text);
    font->draw_clipped_string_to_pixbufR(right_aligned.pb, text, 90, baseline, -1, 30, -1, 100, 255,
                                         255, 255, 20);
    font->draw_clipped_string_to_pixbufL(left_aligned.pb, text, 90 - width, baseline, -1, 30, -1, 100,
                                         255, 255, 255, 20);
    EXPECT_EQ(right_aligned.bytes(), left_aligned.bytes());
    EXPECT_LE(ink(right_aligned).right, 90);

    // Hidden text: one asterisk per character, UTF-8 sequences counting once.
    auto utf8 = font_in("C.UTF-8");
    ASSERT_NE(utf8, nullptr);
    buffer hidden(100, 30), stars(100, 30);
    utf8->draw_hid_clipped_string_to_pixbufL(hidden.pb, "p\xC3\xA9n", 5, baseline, -1, 30, -1, 100, 255,
                                             255, 255, 20);
    utf8->draw_string_to_pixbuf(stars.pb, "***", 5, baseline, 255, 255, 255, 20);
    EXPECT_EQ(hidden.bytes(), stars.bytes());
    EXPECT_EQ(utf8->get_hid_string_length_in_pxls("p\xC3\xA9n"), 3 * advance_of(*utf8, '*'));
    EXPECT_EQ(utf8->get_string_height_in_pxls("g"), 2 * 10 - 7);
}

TEST(FontBlending, GammaTablesFollowTheirPowers)
{
    auto font = font_in("C");
    for (int i = 0; i < 256; ++i) {
        const double lin = 255.0 * std::pow(i / 255.0, 1.6);
        const double disp = 255.0 * std::pow(i / 255.0, 0.625);
        // Single-precision rounding may land either side of a whole number.
        if (std::fabs(lin - std::round(lin)) > 1e-3) {
            EXPECT_EQ(font->to_linear(i), static_cast<uint32_t>(lin)) << i;
        }
        if (std::fabs(disp - std::round(disp)) > 1e-3) {
            EXPECT_EQ(font->to_display(i), static_cast<uint32_t>(disp)) << i;
        }
    }
    EXPECT_EQ(font->to_linear(0), 0u);
    EXPECT_EQ(font->to_linear(255), 255u);
    EXPECT_EQ(font->to_display(255), 255u);

    buffer b(4, 1);
    b.pb->pixels[3] = 77;  // alpha must survive
    // Full coverage of white over black: 255 * 255 >> 8 = 254 linear, shown
    // as 254, very nearly the foreground.
    font->put_pixel(b.pb, 0, 0, 255, 255, 255, 255);
    EXPECT_EQ(b.at(0, 0)[0], 254);
    EXPECT_EQ(b.at(0, 0)[1], 254);
    EXPECT_EQ(b.at(0, 0)[2], 254);
    EXPECT_EQ(b.at(0, 0)[3], 77);
    // Half coverage of white over black lands at the display value of half
    // the linear range, brighter than a plain mix.
    font->put_pixel(b.pb, 1, 0, 255, 255, 255, 128);
    EXPECT_EQ(b.at(1, 0)[0], static_cast<int>(255.0 * std::pow(127 / 255.0, 0.625)));
    EXPECT_GT(b.at(1, 0)[0], 128);
    // Coverage 0 leaves any colour as it was (the gamma round trip alone
    // would darken dark values), and outside pixels are ignored.
    for (int v = 0; v < 256; ++v) {
        b.pb->pixels[8] = static_cast<unsigned char>(v);
        font->put_pixel(b.pb, 2, 0, 0, 255, 0, 0);
        ASSERT_EQ(b.at(2, 0)[0], v);
    }
    font->put_pixel(b.pb, -1, 0, 255, 255, 255, 255);
    font->put_pixel(b.pb, 4, 0, 255, 255, 255, 255);
    font->put_pixel(b.pb, 0, 1, 255, 255, 255, 255);
    EXPECT_EQ(b.at(3, 0)[0], 0);
}

void to_canvas(void* context, int y, int x, int count, const unsigned char* rgb_bytes)
{
    auto& c = *static_cast<std::pair<int, std::vector<rgb>>*>(context);
    for (int i = 0; i < count; ++i)
        c.second[static_cast<size_t>(y) * c.first + x + i] = {rgb_bytes[3 * i], rgb_bytes[3 * i + 1],
                                                             rgb_bytes[3 * i + 2]};
}

// Not a check of values: the specimen files are for a person to look at. The
// test only fails when they cannot be written.
TEST(FontSpecimen, WritesTheWholeSetAndAResampledBanner)
{
    auto font = font_in("C");
    const int cell = 16, w = 16 * cell + 8, h = 16 * cell + 60;
    buffer sheet(w, h);
    for (int i = 0; i < w * h; ++i) {
        sheet.pb->pixels[4 * i] = 236;
        sheet.pb->pixels[4 * i + 1] = 232;
        sheet.pb->pixels[4 * i + 2] = 224;
    }
    font->set_foreground_rgb(20, 20, 30);
    for (unsigned code = 0; code < 256; ++code)
        font->draw_glyph(sheet.pb, code, 4 + static_cast<int>(code % 16) * cell + 3,
                         4 + static_cast<int>(code / 16) * cell + 12);
    font->draw_string(sheet.pb, "Low shelf 120 Hz  +4.5 dB  Q 0.71", 4, 16 * cell + 20, 64);
    font->draw_string(sheet.pb, "Mid 2.40 kHz  -3.0 dB  1.50 oct", 4, 16 * cell + 36, 64);
    font->draw_string(sheet.pb, "Effect in: the quick brown fox jumps", 4, 16 * cell + 52, 22);
    const int zoom = 3;
    std::vector<rgb> big(static_cast<size_t>(w * zoom) * h * zoom);
    for (int y = 0; y < h * zoom; ++y)
        for (int x = 0; x < w * zoom; ++x) {
            const unsigned char* p = sheet.at(x / zoom, y / zoom);
            big[static_cast<size_t>(y) * w * zoom + x] = {p[0], p[1], p[2]};
        }
    EXPECT_TRUE(output_test::write_png(output_test::specimen_path("font-specimen-x3.png"), w * zoom,
                                       h * zoom, big));

    // A banner as the editor shows it: light text on a dark panel, 1:1 and
    // resampled to scale 2 and 1.5.
    buffer banner(140, 16);
    font->set_foreground_rgb(230, 240, 255);
    font->draw_string(banner.pb, "LF gain +6.0 dB", 4, 12, 24);
    for (float scale : {1.0f, 1.5f, 2.0f}) {
        const int bw = static_cast<int>(140 * scale), bh = static_cast<int>(16 * scale);
        std::pair<int, std::vector<rgb>> out{bw, std::vector<rgb>(static_cast<size_t>(bw) * bh)};
        afx_catrom_resample(banner.pb, bw, bh, 0, 0, bw, bh, 0, 0, scale, to_canvas, &out);
        const std::string name = "banner-x" + std::to_string(static_cast<int>(scale * 10)) + ".png";
        EXPECT_TRUE(output_test::write_png(output_test::specimen_path(name), bw, bh, out.second));
    }
}

} // namespace
