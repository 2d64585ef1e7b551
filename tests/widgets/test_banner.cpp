// The text banner: with the built-in font its text shows 2 pixels inside the
// banner's left edge at scroll 0 and moves one pixel left per scroll step;
// scrolling stops at 0 and at text width - banner width; the text buffer is
// one glyph wider than the banner when max chars fit, else max chars glyphs
// wide; long texts end in an ellipsis; bold adds a darker copy one pixel to
// the right; the frame's corners are drawn in half the frame colour. The
// expected pictures are drawn with the font engine directly.

// GoogleTest before the engine header: Xlib defines macros (None) that clash
// with GoogleTest's own names.
#include <gtest/gtest.h>

#include "gui_engine/AFX_font_engine.h"
#include "tests/widgets/widget_test_support.h"
#include "widgets/CBannerObject.h"

#include <string>

namespace {

using namespace widget_test;

// Banner as the editor sets it up: corner (18, 42) on the panel, 108 x 16,
// offset (0, 16), so its rectangle in the target starts at (18, 58).
constexpr int bx = 18, by = 58, bw = 108, bh = 16;
constexpr int text_r = 218, text_g = 120, text_b = 4;

class Banner : public testing::Test {
protected:
    void configure(CBannerObject& b, int max_chars)
    {
        b.set_x_pos(18);
        b.set_y_pos(42);
        b.set_x_size(bw);
        b.set_y_size(bh);
        b.set_offset_x(0);
        b.set_offset_y(16);
        b.set_value(0);
        b.set_max_chars(max_chars);
        b.enable_frame(false);
        b.set_bold(false);
        b.set_colour(text_r, text_g, text_b);
        b.set_front_panel_pixbuf(panel.get());
        b.init_banner(0);
    }

    // The text as the font engine draws it with the pen at column 0 on
    // baseline 13 (the built-in font's tallest glyph) of a black buffer.
    owned_pixbuf reference(const char* text, int n, int pen_x = 0)
    {
        owned_pixbuf pb = new_pixbuf(800, 26, {0, 0, 0, 255});
        font.set_foreground_rgb(text_r, text_g, text_b);
        font.draw_string(pb.get(), text, pen_x, 13, n);
        return pb;
    }

    // Leftmost column of the target rectangle at (x, y), w x h, that is not
    // background; -1 if none.
    static int first_inked_column(const afx_pixbuf* pb, int x, int y, int w, int h, rgba bg)
    {
        for (int cx = x; cx < x + w; ++cx)
            for (int cy = y; cy < y + h; ++cy)
                if (pixel(pb, cx, cy) != bg)
                    return cx;
        return -1;
    }

    // Expects the banner rectangle of target to show ref's columns from
    // ref_x onwards (rows 0..15), composited at alpha 255 over the target.
    static void expect_shows(const afx_pixbuf* target, const afx_pixbuf* ref, int ref_x,
                             rgba under)
    {
        for (int v = 0; v < bh; ++v)
            for (int u = 0; u < bw; ++u) {
                const int rx = ref_x + u;
                rgba src = rx >= 0 ? pixel(ref, rx, v) : rgba{0, 0, 0, 255};
                ASSERT_EQ(pixel(target, bx + u, by + v), blend(under, src))
                    << "banner column " << u << " row " << v;
            }
    }

    AFX_font_engine font{nullptr};
    owned_pixbuf panel = new_panel(144, 494);
    owned_pixbuf target = new_pixbuf(144, 510, {0, 0, 0, 255});
    CBannerObject banner{nullptr, &font};
};

TEST_F(Banner, TextStartsTwoPixelsInAndScrollsOnePixelPerStep)
{
    configure(banner, 64);
    banner.set_text("ZE710 V2.3.1");
    banner.draw_banner(target.get());

    owned_pixbuf ref = reference("ZE710 V2.3.1", 64);
    const rgba black{0, 0, 0, 255};
    const int ink = first_inked_column(ref.get(), 0, 0, 100, 26, black);
    ASSERT_GE(ink, 0);
    EXPECT_EQ(first_inked_column(target.get(), bx, by, bw, bh, black), bx + 2 + ink);
    expect_shows(target.get(), ref.get(), -2, black);

    banner.update_right();
    fill(target.get(), black);
    banner.draw_banner(target.get());
    EXPECT_EQ(first_inked_column(target.get(), bx, by, bw, bh, black), bx + 1 + ink);
    expect_shows(target.get(), ref.get(), -1, black);

    // New text keeps the scroll position, and keeps the banner's colour even
    // after someone else drew with the shared font engine in another colour.
    font.set_foreground_rgb(10, 250, 10);
    banner.set_text("Mid Gain +3.0 dB");
    fill(target.get(), black);
    banner.draw_banner(target.get());
    EXPECT_EQ(banner.get_value(), 1);
    expect_shows(target.get(), reference("Mid Gain +3.0 dB", 64).get(), -1, black);
}

TEST_F(Banner, ScrollingStopsAtBothEndsOfTheTextBuffer)
{
    configure(banner, 64);  // 64 glyphs of 11 pixels: a 704-pixel buffer
    for (int i = 0; i < 1000; ++i)
        banner.update_right();
    EXPECT_EQ(banner.get_value(), 704 - bw);
    for (int i = 0; i < 1000; ++i)
        banner.update_left();
    EXPECT_EQ(banner.get_value(), 0);

    banner.update_banner_position(-5);  // pointer moved left: the text follows
    EXPECT_EQ(banner.get_value(), 5);
    banner.update_banner_position(3);
    EXPECT_EQ(banner.get_value(), 2);
    banner.update_banner_position(-100000);
    EXPECT_EQ(banner.get_value(), 704 - bw);
    banner.update_banner_position(100000);
    EXPECT_EQ(banner.get_value(), 0);
}

TEST_F(Banner, ShortLimitGivesABufferOneGlyphWiderThanTheBanner)
{
    configure(banner, 5);  // 5 x 11 = 55 fits in 108: buffer 108 + 11
    banner.update_banner_position(-1000);
    EXPECT_EQ(banner.get_value(), 11);

    // Exactly fitting counts as fitting: 10 x 11 in a 110-wide banner.
    CBannerObject fitted(nullptr, &font);
    fitted.set_x_size(110);
    fitted.set_max_chars(10);
    fitted.init_banner(0);
    fitted.update_banner_position(-1000);
    EXPECT_EQ(fitted.get_value(), 11);

    // A second init_banner keeps the first buffer and its scroll range.
    banner.set_max_chars(64);
    banner.init_banner(0);
    banner.update_banner_position(-1000);
    EXPECT_EQ(banner.get_value(), 11);
}

TEST_F(Banner, LongTextEndsInAnEllipsisAtTheLimit)
{
    configure(banner, 5);
    banner.set_text("ABCDEFGH");
    banner.draw_banner(target.get());
    expect_shows(target.get(), reference("ABCDE...", 64).get(), -2, {0, 0, 0, 255});
}

TEST_F(Banner, AtTheRightLimitTheViewNeverReadsPastTheTextBuffer)
{
    configure(banner, 5);  // 119-pixel buffer, limit 11: view columns 17..124
    banner.set_text("ABC");
    banner.update_banner_position(-1000);
    const rgba grey{90, 90, 90, 255};
    fill(target.get(), grey);
    banner.draw_banner(target.get());
    // Buffer columns 17..118 are shown (black, no text there), the last six
    // banner columns keep what the target had.
    for (int v = 0; v < bh; ++v) {
        EXPECT_EQ(pixel(target.get(), bx + 101, by + v), blend(grey, rgba{0, 0, 0, 255}));
        for (int u = 102; u < bw; ++u)
            EXPECT_EQ(pixel(target.get(), bx + u, by + v), grey) << u << "," << v;
    }
}

TEST_F(Banner, BoldAddsADarkerCopyOnePixelRight)
{
    configure(banner, 64);
    banner.set_bold(true);
    banner.set_text("Hi 1");
    banner.draw_banner(target.get());

    // Shadow in trunc(c / 2.5 + 0.5) = (87, 48, 2) at pen 1, text over it at pen 0.
    owned_pixbuf ref = new_pixbuf(800, 26, {0, 0, 0, 255});
    font.set_foreground_rgb(87, 48, 2);
    font.draw_string(ref.get(), "Hi 1", 1, 13, 64);
    font.set_foreground_rgb(text_r, text_g, text_b);
    font.draw_string(ref.get(), "Hi 1", 0, 13, 64);
    expect_shows(target.get(), ref.get(), -2, {0, 0, 0, 255});

    // The plain banner differs: the shadow is really there.
    CBannerObject plain(nullptr, &font);
    configure(plain, 64);
    plain.set_text("Hi 1");
    owned_pixbuf plain_target = new_pixbuf(144, 510, {0, 0, 0, 255});
    plain.draw_banner(plain_target.get());
    int differing = 0;
    for (int v = 0; v < bh; ++v)
        for (int u = 0; u < bw; ++u)
            if (pixel(plain_target.get(), bx + u, by + v) != pixel(target.get(), bx + u, by + v))
                ++differing;
    EXPECT_GT(differing, 10);
}

TEST_F(Banner, FrameHasHalfColourCorners)
{
    configure(banner, 64);
    banner.enable_frame(true);
    banner.set_frame_colour(200, 100, 60);
    banner.set_text("");
    banner.draw_banner(target.get());

    // The frame spans text-buffer columns 0..107; the view starts at column 6,
    // so its right edge shows at banner column 101. Each pixel went through
    // two blends at alpha 255: into the text buffer, then onto the target.
    auto twice = [](rgba c) {
        const rgba black{0, 0, 0, 255};
        return blend(black, blend(black, rgba{c.r, c.g, c.b, 255}));
    };
    const rgba line = twice({200, 100, 60, 255});
    const rgba corner = twice({100, 50, 30, 255});
    const rgba black = twice({0, 0, 0, 255});
    EXPECT_EQ(pixel(target.get(), bx + 0, by), line);  // buffer column 6, top row
    EXPECT_EQ(pixel(target.get(), bx + 100, by), line);
    EXPECT_EQ(pixel(target.get(), bx + 100, by + 15), line);
    EXPECT_EQ(pixel(target.get(), bx + 101, by), corner);
    EXPECT_EQ(pixel(target.get(), bx + 101, by + 15), corner);
    for (int v = 1; v < 15; ++v) {
        EXPECT_EQ(pixel(target.get(), bx + 101, by + v), line) << v;
        EXPECT_EQ(pixel(target.get(), bx + 100, by + v), black) << v;
        EXPECT_EQ(pixel(target.get(), bx + 102, by + v), black) << v;
    }
    // Scrolled to -6, the whole box lines up with the banner and all four
    // corners show.
    banner.set_value(-6);
    fill(target.get(), {0, 0, 0, 255});
    banner.draw_banner(target.get());
    EXPECT_EQ(pixel(target.get(), bx, by), corner);
    EXPECT_EQ(pixel(target.get(), bx, by + 15), corner);
    EXPECT_EQ(pixel(target.get(), bx + bw - 1, by), corner);
    EXPECT_EQ(pixel(target.get(), bx + bw - 1, by + 15), corner);
    EXPECT_EQ(pixel(target.get(), bx, by + 7), line);
    EXPECT_EQ(pixel(target.get(), bx + 1, by), line);
}

TEST_F(Banner, ClickAreaAndBackground)
{
    configure(banner, 64);
    EXPECT_EQ(hit_rectangle_faults([&](int x, int y) { return banner.test_banner_clicked(x, y); }, bx, by,
                                   bx + bw, by + bh),
              "");

    int x, y, w, h;
    banner.get_invalid_area(&x, &y, &w, &h);
    EXPECT_EQ(x, bx);
    EXPECT_EQ(y, by);
    EXPECT_EQ(w, bw);
    EXPECT_EQ(h, bh);

    banner.undraw_banner(target.get());
    for (int v = 0; v < bh; ++v)
        for (int u = 0; u < bw; ++u)
            ASSERT_EQ(pixel(target.get(), bx + u, by + v), panel_colour(18 + u, 42 + v));
    EXPECT_EQ(pixel(target.get(), bx - 1, by), (rgba{0, 0, 0, 255}));
    EXPECT_EQ(pixel(target.get(), bx + bw, by), (rgba{0, 0, 0, 255}));
}

TEST(BannerBeforeInit, DrawingWithoutATextBufferDoesNothing)
{
    AFX_font_engine font(nullptr);
    CBannerObject banner(nullptr, &font);
    banner.set_x_size(bw);
    banner.set_y_size(bh);
    owned_pixbuf target = new_pixbuf(144, 510, {9, 9, 9, 255});
    banner.set_text("early");
    banner.draw_banner(target.get());
    banner.update_right();
    banner.update_banner_position(-50);
    EXPECT_EQ(banner.get_value(), 0);
    EXPECT_EQ(pixel(target.get(), 2, 2), (rgba{9, 9, 9, 255}));
}

} // namespace
