// Widgets without a display: the knob's inertia law and detent; the
// banner's text position, scroll limits and ellipsis; and the editor's knob strip turning through 300 degrees. (The
// editor's screenshots show them painted.)
#include "tests/support/support.h"

#include "editor/images/ze710_images.h"
#include "gui_engine/AFX_font_engine.h"
#include "widgets/CBannerObject.h"
#include "widgets/CRotaryControlObject.h"

#include <cmath>

using namespace test_support;

namespace {

// Source over destination at the source's alpha: d + floor((s - d) * a / 256).
rgba over(rgba d, rgba s)
{
    auto mix = [&](int dc, int sc) { return dc + static_cast<int>(std::floor((sc - dc) * s.a / 256.0)); };
    return {mix(d.r, s.r), mix(d.g, s.g), mix(d.b, s.b), d.a};
}

// The HF gain knob as the editor places it: 48 x 48 at (101, 100) on the
// panel, 39 frames, the panel drawn 16 rows down.
void place(CRotaryControlObject& knob, float value)
{
    knob.set_rotary_control_size_x(48), knob.set_rotary_control_size_y(48);
    knob.set_rotary_control_pos_x(101), knob.set_rotary_control_pos_y(100);
    knob.set_rotary_control_nframes(39), knob.set_rotary_control_focus_x(40), knob.set_rotary_control_focus_y(40);
    knob.set_offset_y(16), knob.set_detent_value(49.5f), knob.set_rotary_control_value(value);
}

// A steady drag of +4 per event closes a quarter of the gap between its
// speed and 4 (moves 1, 1.75, 2.3125, ...); a reversal starts from rest;
// moves no larger than the speed are followed exactly; a hit on the knob
// stops it; values stay in 0..99.
TEST(Knob, InertiaLaw)
{
    CRotaryControlObject knob(nullptr);
    place(knob, 10.0f);
    double expected = 10.0;
    for (int n = 1; n <= 12; ++n) {
        knob.update_rotary_control_value(17, 4);
        EXPECT_NEAR(knob.get_rotary_control_value(), expected += 4.0 * (1.0 - std::pow(0.75, n)), 1e-4) << n;
    }
    const float fast = knob.get_rotary_control_value();
    knob.update_rotary_control_value(0, 2);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), fast + 2.0f);
    knob.update_rotary_control_value(0, -3);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), fast + 2.0f - 0.75f);
    ASSERT_TRUE(knob.test_rotary_control_clicked(101, 116));
    knob.update_rotary_control_value(0, 4);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), fast + 2.25f);
    for (int i = 0; i < 100; ++i)
        knob.update_rotary_control_value(0, 20);
    EXPECT_EQ(knob.get_rotary_control_value(), 99.0f);
    knob.set_rotary_control_value(NAN);
    EXPECT_EQ(knob.get_rotary_control_value(), 0.0f);
}

// The detent frame (19 of 39) spans 48.72 to 51.28 and keeps 1 % of the
// speed a drag arrives with.
TEST(Knob, Detent)
{
    CRotaryControlObject knob(nullptr);
    int first = -1, last = -1;
    for (int hundredths = 0; hundredths <= 9900; ++hundredths) {
        place(knob, hundredths / 100.0f);
        if (knob.get_detent_flag())
            last = hundredths, first = first < 0 ? hundredths : first;
    }
    EXPECT_EQ(first, 4872);
    EXPECT_EQ(last, 5128);
    place(knob, 40.0f);
    float before = 0.0f;
    while (!knob.get_detent_flag())
        before = knob.get_rotary_control_value(), knob.update_rotary_control_value(0, 4);
    EXPECT_GT(knob.get_rotary_control_value() - before, 2.5f) << "arrives at speed";
    before = knob.get_rotary_control_value();
    knob.update_rotary_control_value(0, 4);
    EXPECT_NEAR(knob.get_rotary_control_value() - before, 1.0f, 0.05f) << "0.25 * 4 + 0.75 * 0.01 * speed";
}

// The banner (108 x 16 at (18, 42), drawn 16 rows down) shows its text 2
// pixels in, one pixel further left per scroll step; scrolling stops at 0
// and at the text buffer's width less the banner's (64 glyphs of 11
// pixels, or one glyph more than the banner for a short limit); a text
// longer than the limit ends in "...".
TEST(Banner, TextPositionScrollLimitsAndEllipsis)
{
    AFX_font_engine font(nullptr);
    owned_pixbuf panel = new_pixbuf(144, 494, {90, 90, 90, 255});
    for (auto [limit, text, shown, scroll_end] : {std::tuple<int, const char*, const char*, int>{64, "ZE710 V2.3.1", "ZE710 V2.3.1", 704 - 108},
                                                   {5, "ABCDEFGH", "ABCDE...", 11}}) {
        CBannerObject banner(nullptr, &font);
        banner.set_x_pos(18), banner.set_y_pos(42), banner.set_x_size(108), banner.set_y_size(16), banner.set_offset_y(16);
        banner.set_max_chars(limit), banner.set_colour(218, 120, 4), banner.set_front_panel_pixbuf(panel.get());
        banner.enable_frame(false), banner.set_bold(false), banner.set_value(0);
        banner.init_banner(0);
        banner.set_text(text);
        for (int scroll : {0, 1}) {
            owned_pixbuf target = new_pixbuf(144, 510, {0, 0, 0, 255}), expected = new_pixbuf(800, 26, {0, 0, 0, 255});
            banner.draw_banner(target.get());
            font.set_foreground_rgb(218, 120, 4);
            font.draw_string(expected.get(), shown, 2 - scroll, 13, 64);
            for (int v = 0; v < 16; ++v)
                for (int u = 0; u < 108; ++u)
                    ASSERT_EQ(pixel(target.get(), 18 + u, 58 + v), over({0, 0, 0, 255}, pixel(expected.get(), u, v))) << text << " scroll " << scroll;
            banner.update_right();
        }
        for (int i = 0; i < 1000; ++i)
            banner.update_right();
        EXPECT_EQ(banner.get_value(), scroll_end);
        banner.update_banner_position(100000);
        EXPECT_EQ(banner.get_value(), 0);
    }
}

// The compiled-in knob strip: frame f's pointer (its bright pixels between
// radius 5 and 22) stands at -150 + 300 f / 38 degrees, frame 19 straight up.
TEST(Images, KnobStripTurnsThroughThreeHundredDegrees)
{
    afx_pixbuf* strip = AFX_engine::afx_pixbuf_new_from_inline(ze710_img_knob_strip, 0);
    ASSERT_TRUE(strip && strip->width == 48 && strip->height == 48 * 39);
    for (int f = 0; f < 39; ++f) {
        double sx = 0, sy = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 48; ++x) {
                const rgba c = pixel(strip, x, 48 * f + y);
                const double dx = x + 0.5 - 24, dy = y + 0.5 - 24, r = std::hypot(dx, dy);
                if (c.a > 200 && std::max({c.r, c.g, c.b}) > 180 && r > 5 && r < 22)
                    sx += dx, sy += dy;
            }
        EXPECT_NEAR(std::atan2(sx, -sy) * 180 / M_PI, -150.0 + 300.0 * f / 38, 2.0) << "frame " << f;
    }
    AFX_engine::afx_pixbuf_destroy(strip);
}

} // namespace
