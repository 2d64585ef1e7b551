// Latching buttons and the front panel: the button toggles about 50, shows
// frame 0 below 50 and frame 1 from 50, is hit on all four edges of its click
// rectangle, cuts its background from the panel image at its panel position
// and paints at that position plus its offset; the panel copies its area to
// its offset. Widgets that reach past a buffer paint only the inside part.

// GoogleTest before the engine header: Xlib defines macros (None) that clash
// with GoogleTest's own names.
#include <gtest/gtest.h>

#include "tests/widgets/widget_test_support.h"
#include "widgets/CFrontPanelObject.h"
#include "widgets/CPushButtonLatchingObject.h"
#include "widgets/CRotaryControlObject.h"

#include <cmath>
#include <vector>

namespace {

using namespace widget_test;

// The Effect switch as the editor places it: centre (72, 421), 44 x 20, two
// frames, painted with the panel at offset (0, 16).
void place_bypass(CPushButtonLatchingObject& button)
{
    button.set_pushbutton_latching_size_x(44);
    button.set_pushbutton_latching_size_y(20);
    button.set_pushbutton_latching_pos_x(72);
    button.set_pushbutton_latching_pos_y(421);
    button.set_pushbutton_latching_pad_left(0);
    button.set_pushbutton_latching_pad_right(0);
    button.set_pushbutton_latching_pad_top(0);
    button.set_pushbutton_latching_pad_bottom(0);
    button.set_pushbutton_latching_nframes(2);
    button.set_pushbutton_latching_focus_x(44);
    button.set_pushbutton_latching_focus_y(20);
    button.set_offset_x(0);
    button.set_offset_y(16);
}

TEST(LatchingButton, TogglesAboutTheMiddleOfTheRange)
{
    CPushButtonLatchingObject button(nullptr);
    place_bypass(button);
    const std::pair<float, float> cases[] = {
        {49.9f, 99.0f}, {50.0f, 0.0f}, {0.0f, 99.0f}, {99.0f, 0.0f}, {75.0f, 0.0f}};
    for (const auto& c : cases) {
        button.set_pushbutton_latching_value(c.first);
        button.update_pushbutton_latching_value();
        EXPECT_FLOAT_EQ(button.get_pushbutton_latching_value(), c.second) << "from " << c.first;
    }
    button.set_pushbutton_latching_value(0.0f);
    button.update_pushbutton_latching_value();
    button.update_pushbutton_latching_value();
    EXPECT_FLOAT_EQ(button.get_pushbutton_latching_value(), 0.0f);

    button.set_pushbutton_latching_value(140.0f);
    EXPECT_FLOAT_EQ(button.get_pushbutton_latching_value(), 99.0f);
    button.set_pushbutton_latching_value(-3.0f);
    EXPECT_FLOAT_EQ(button.get_pushbutton_latching_value(), 0.0f);
    button.set_pushbutton_latching_value(std::nanf(""));
    EXPECT_FLOAT_EQ(button.get_pushbutton_latching_value(), 0.0f);
}

TEST(LatchingButton, ClickRectangleIncludesAllFourEdges)
{
    CPushButtonLatchingObject button(nullptr);
    place_bypass(button);
    // x0 = 72 - 22 = 50, y0 = 16 + 421 - 10 = 427; the far edges are x0 + 44, y0 + 20.
    EXPECT_EQ(hit_rectangle_faults([&](int x, int y) { return button.test_pushbutton_latching_clicked(x, y); },
                                   50, 427, 94, 447),
              "");

    // A top-strip button has no offset; its pads move the rectangle.
    CPushButtonLatchingObject status(nullptr);
    status.set_pushbutton_latching_pos_x(54);
    status.set_pushbutton_latching_pos_y(8);
    status.set_pushbutton_latching_focus_x(32);
    status.set_pushbutton_latching_focus_y(16);
    status.set_pushbutton_latching_pad_left(2);
    status.set_pushbutton_latching_pad_top(1);
    // 54 - 16 - 2 = 36, 8 - 8 - 1 = -1; 32 x 16.
    EXPECT_EQ(hit_rectangle_faults([&](int x, int y) { return status.test_pushbutton_latching_clicked(x, y); },
                                   36, -1, 68, 15),
              "");
}

class ButtonPaint : public testing::Test {
protected:
    void SetUp() override
    {
        place_bypass(button);
        button.set_pushbutton_latching_pixbuf(strip.get());
        button.set_front_panel_pixbuf(panel.get());
    }

    static constexpr int x0 = 50, y0 = 427, w = 44, h = 20;  // rectangle in the target
    const rgba grey{90, 90, 90, 255};

    owned_pixbuf panel = new_panel(144, 494);
    owned_pixbuf strip = new_strip(44, 20, 2, 160);
    owned_pixbuf target = new_pixbuf(144, 510, grey);
    CPushButtonLatchingObject button{nullptr};
};

TEST_F(ButtonPaint, ValuesBelowFiftyShowFrameZeroAndFromFiftyFrameOne)
{
    const std::pair<float, int> cases[] = {{0.0f, 0}, {49.9f, 0}, {50.0f, 1}, {99.0f, 1}};
    for (const auto& c : cases) {
        fill(target.get(), grey);
        button.set_pushbutton_latching_value(c.first);
        button.draw_pushbutton_latching(target.get());
        // Drawn over grey without restoring the background first.
        EXPECT_EQ(pixel(target.get(), x0, y0), blend(grey, frame_colour(c.second, 160)))
            << c.first;
        EXPECT_EQ(pixel(target.get(), x0 + w - 1, y0 + h - 1),
                  blend(grey, frame_colour(c.second, 160)));
        EXPECT_EQ(pixel(target.get(), x0 + w, y0), grey);
        EXPECT_EQ(pixel(target.get(), x0, y0 + h), grey);
    }
}

TEST_F(ButtonPaint, RedrawCutsTheBackgroundFromThePanelPosition)
{
    button.set_pushbutton_latching_value(99.0f);
    button.draw_pushbutton_latching(target.get());
    button.draw_pushbutton_latching(target.get());  // doubled up on purpose
    button.redraw_pushbutton_latching(target.get());
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            ASSERT_EQ(pixel(target.get(), x, y), blend(panel_colour(x, y - 16), frame_colour(1, 160)))
                << x << "," << y;

    button.undraw_pushbutton_latching(target.get());
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            ASSERT_EQ(pixel(target.get(), x, y), panel_colour(x, y - 16));
    for (int i = -1; i <= w; ++i) {
        EXPECT_EQ(pixel(target.get(), x0 + i, y0 - 1), grey);
        EXPECT_EQ(pixel(target.get(), x0 + i, y0 + h), grey);
    }
    int x, y, iw, ih;
    button.get_invalid_area(&x, &y, &iw, &ih);
    EXPECT_EQ(x, x0);
    EXPECT_EQ(y, y0);
    EXPECT_EQ(iw, w);
    EXPECT_EQ(ih, h);
}

TEST(FrontPanel, CopiesItsAreaToTheOffset)
{
    owned_pixbuf panel = new_panel(144, 494);
    owned_pixbuf target = new_pixbuf(144, 510, {0, 0, 0, 255});
    CFrontPanelObject front(nullptr);
    front.set_front_panel_pixbuf(panel.get());
    front.set_front_panel_width(144);
    front.set_front_panel_height(494);
    front.set_front_panel_offset_x(0);
    front.set_front_panel_offset_y(16);
    front.draw_front_panel(target.get());

    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 144; ++x)
            ASSERT_EQ(pixel(target.get(), x, y), (rgba{0, 0, 0, 255})) << x << "," << y;
    for (int y = 16; y < 510; ++y)
        for (int x = 0; x < 144; ++x)
            ASSERT_EQ(pixel(target.get(), x, y), panel_colour(x, y - 16)) << x << "," << y;

    // A smaller area at another offset copies just that block from the corner.
    owned_pixbuf small = new_pixbuf(40, 30, {7, 7, 7, 255});
    front.set_front_panel_width(10);
    front.set_front_panel_height(5);
    front.set_front_panel_offset_x(20);
    front.set_front_panel_offset_y(3);
    front.draw_front_panel(small.get());
    EXPECT_EQ(pixel(small.get(), 20, 3), panel_colour(0, 0));
    EXPECT_EQ(pixel(small.get(), 29, 7), panel_colour(9, 4));
    EXPECT_EQ(pixel(small.get(), 30, 3), (rgba{7, 7, 7, 255}));
    EXPECT_EQ(pixel(small.get(), 20, 8), (rgba{7, 7, 7, 255}));
}

// A 20 x 20 target inside a larger block whose guard bytes must survive.
struct guarded_target {
    static constexpr int width = 20, height = 20, guard = 4096;
    std::vector<unsigned char> block =
        std::vector<unsigned char>(guard + 4 * width * height + guard, 0xA5);
    afx_pixbuf pb{width, height, 4 * width, block.data() + guard, 0};
    bool guards_intact() const
    {
        for (int i = 0; i < guard; ++i)
            if (block[i] != 0xA5 || block[block.size() - 1 - i] != 0xA5)
                return false;
        return true;
    }
};

TEST(WidgetClipping, WidgetsReachingPastTheTargetPaintOnlyTheInside)
{
    owned_pixbuf panel = new_panel(144, 494);
    owned_pixbuf strip = new_strip(48, 48, 39, 255);
    guarded_target target;
    fill(&target.pb, {90, 90, 90, 255});

    // A knob centred on the target's bottom-right corner: its rectangle runs
    // 24 pixels past the right and bottom edges.
    CRotaryControlObject knob(nullptr);
    knob.set_rotary_control_size_x(48);
    knob.set_rotary_control_size_y(48);
    knob.set_rotary_control_pos_x(20);
    knob.set_rotary_control_pos_y(20);
    knob.set_rotary_control_nframes(39);
    knob.set_rotary_control_pixbuf(strip.get());
    knob.set_front_panel_pixbuf(panel.get());
    knob.set_rotary_control_value(99.0f);
    knob.undraw_rotary_control(&target.pb);
    knob.draw_rotary_control(&target.pb);
    EXPECT_TRUE(target.guards_intact());
    EXPECT_EQ(frame_of_colour(pixel(&target.pb, 19, 19), 39), 38);
    EXPECT_EQ(frame_of_colour(pixel(&target.pb, 0, 0), 39), 38);

    // A button left of and above the target, and a strip shorter than its
    // frame count promises: only real pixels are read or written.
    owned_pixbuf short_strip = new_strip(44, 20, 1, 255);
    CPushButtonLatchingObject button(nullptr);
    place_bypass(button);
    button.set_pushbutton_latching_pos_x(2);
    button.set_pushbutton_latching_pos_y(3);
    button.set_offset_x(5);
    button.set_offset_y(0);
    button.set_pushbutton_latching_pixbuf(short_strip.get());
    button.set_front_panel_pixbuf(panel.get());
    button.set_pushbutton_latching_value(99.0f);  // frame 1, not in the strip
    const rgba knob_pixel = pixel(&target.pb, 4, 0);
    button.redraw_pushbutton_latching(&target.pb);
    EXPECT_TRUE(target.guards_intact());
    // The corner is (-20, -7) on the panel and (-15, -7) in the target: the
    // panel's (0, 0) lands at (5, 0), and the missing frame paints nothing.
    EXPECT_EQ(pixel(&target.pb, 5, 0), panel_colour(0, 0));
    EXPECT_EQ(pixel(&target.pb, 19, 12), panel_colour(14, 12));
    EXPECT_EQ(pixel(&target.pb, 4, 0), knob_pixel);
    EXPECT_EQ(pixel(&target.pb, 5, 13), knob_pixel);
}

} // namespace
