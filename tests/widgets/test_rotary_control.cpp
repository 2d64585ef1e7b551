// The film-strip knob: the inertia law turns a steady drag into a velocity
// that closes a quarter of its gap per event (4 (1 - 0.75^n) for a drag of
// +4), reversals and slow-downs follow at once, the detent frame cuts the
// velocity to 1 %, wheel steps land on exact frame values, and painting
// picks the right frame, restores the background and skips repaints that
// would not change the picture.

// GoogleTest before the engine header: Xlib defines macros (None) that clash
// with GoogleTest's own names.
#include <gtest/gtest.h>

#include "tests/widgets/widget_test_support.h"
#include "widgets/CRotaryControlObject.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using namespace widget_test;

constexpr int knob_frames = 39;

// A knob configured as the editor places the HF gain knob.
void place_like_editor(CRotaryControlObject& knob)
{
    knob.set_rotary_control_size_x(48);
    knob.set_rotary_control_size_y(48);
    knob.set_rotary_control_pos_x(101);
    knob.set_rotary_control_pos_y(100);
    knob.set_rotary_control_pad_left(0);
    knob.set_rotary_control_pad_right(0);
    knob.set_rotary_control_pad_top(0);
    knob.set_rotary_control_pad_bottom(0);
    knob.set_rotary_control_nframes(knob_frames);
    knob.set_rotary_control_focus_x(40);
    knob.set_rotary_control_focus_y(40);
    knob.set_offset_x(0);
    knob.set_offset_y(16);
}

// Frame the knob shows after draw_rotary_control onto a neutral target,
// read back from the synthetic strip's colours.
int shown_frame(CRotaryControlObject& knob)
{
    owned_pixbuf strip = new_strip(48, 48, knob_frames, 255);
    owned_pixbuf target = new_pixbuf(144, 510, {0, 0, 0, 255});
    knob.set_rotary_control_pixbuf(strip.get());
    knob.draw_rotary_control(target.get());
    knob.set_rotary_control_pixbuf(nullptr);
    return frame_of_colour(pixel(target.get(), 101, 116), knob_frames);
}

TEST(RotaryInertia, SteadyDragAcceleratesByAQuarterOfTheGap)
{
    CRotaryControlObject knob(nullptr);
    place_like_editor(knob);
    knob.set_rotary_control_value(10.0f);

    // The three first moves named for this law, then the closed form.
    const float first_moves[] = {1.0f, 1.75f, 2.3125f};
    float expected = 10.0f;
    for (float move : first_moves) {
        knob.update_rotary_control_value(0, 4);
        expected += move;
        EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), expected);
    }
    for (int n = 4; n <= 12; ++n) {
        knob.update_rotary_control_value(17, 4);  // horizontal movement plays no part
        expected += static_cast<float>(4.0 * (1.0 - std::pow(0.75, n)));
        EXPECT_NEAR(knob.get_rotary_control_value(), expected, 1e-4) << "event " << n;
    }
}

TEST(RotaryInertia, ReversalStartsFromRest)
{
    CRotaryControlObject knob(nullptr);
    place_like_editor(knob);
    knob.set_rotary_control_value(20.0f);
    knob.update_rotary_control_value(0, 8);  // velocity 2
    ASSERT_FLOAT_EQ(knob.get_rotary_control_value(), 22.0f);

    knob.update_rotary_control_value(0, -3);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), 21.25f);
    // Continuing downwards accelerates from -0.75: -0.75 + (-3 + 0.75) / 4.
    knob.update_rotary_control_value(0, -3);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), 21.25f - 1.3125f);
}

TEST(RotaryInertia, MovesNoLargerThanTheVelocityAreFollowedExactly)
{
    CRotaryControlObject knob(nullptr);
    place_like_editor(knob);
    knob.set_rotary_control_value(30.0f);
    for (int i = 0; i < 3; ++i)
        knob.update_rotary_control_value(0, 4);  // velocity 2.3125
    const float start = knob.get_rotary_control_value();

    knob.update_rotary_control_value(0, 2);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), start + 2.0f);
    knob.update_rotary_control_value(0, 1);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), start + 3.0f);
    knob.update_rotary_control_value(0, 1);  // equal to the velocity: still exact
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), start + 4.0f);
}

TEST(RotaryInertia, PauseKeepsTheVelocityAndAGrabClearsIt)
{
    CRotaryControlObject knob(nullptr);
    place_like_editor(knob);
    knob.set_rotary_control_value(10.0f);
    for (int i = 0; i < 3; ++i)
        knob.update_rotary_control_value(0, 4);
    const float after_three = knob.get_rotary_control_value();

    knob.update_rotary_control_value(5, 0);  // horizontal only: nothing happens
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), after_three);
    knob.update_rotary_control_value(0, 4);  // fourth step of the same drag
    EXPECT_NEAR(knob.get_rotary_control_value(), after_three + 4.0 * (1.0 - std::pow(0.75, 4)),
                1e-5);

    // A click outside the knob does not touch the velocity...
    const float before_miss = knob.get_rotary_control_value();
    ASSERT_FALSE(knob.test_rotary_control_clicked(0, 0));
    knob.update_rotary_control_value(0, 4);
    EXPECT_GT(knob.get_rotary_control_value() - before_miss, 2.5f);
    // ...a hit does: the next drag starts with a move of 1.
    const float before_hit = knob.get_rotary_control_value();
    ASSERT_TRUE(knob.test_rotary_control_clicked(101, 116));
    knob.update_rotary_control_value(0, 4);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), before_hit + 1.0f);
}

TEST(RotaryInertia, DisabledInertiaFollowsThePointerAndValuesStayInRange)
{
    CRotaryControlObject knob(nullptr);
    place_like_editor(knob);
    knob.enable_inertia(false);
    knob.set_rotary_control_value(40.0f);
    knob.update_rotary_control_value(0, 7);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), 47.0f);
    knob.update_rotary_control_value(0, -12);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), 35.0f);
    knob.update_rotary_control_value(0, 500);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), 99.0f);
    knob.update_rotary_control_value(0, -500);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), 0.0f);

    knob.enable_inertia(true);
    knob.set_rotary_control_value(97.0f);
    for (int i = 0; i < 10; ++i)
        knob.update_rotary_control_value(0, 20);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), 99.0f);
    knob.set_rotary_control_value(2.0f);
    for (int i = 0; i < 10; ++i)
        knob.update_rotary_control_value(0, -20);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), 0.0f);

    knob.set_rotary_control_value(250.0f);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), 99.0f);
    knob.set_rotary_control_value(-0.5f);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), 0.0f);
    knob.set_rotary_control_value(std::nanf(""));
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), 0.0f);
    EXPECT_EQ(shown_frame(knob), 0);
}

TEST(RotaryDetent, DetentFrameSpansRoughly48_72To51_28)
{
    CRotaryControlObject knob(nullptr);
    place_like_editor(knob);
    knob.set_detent_value(49.5f);

    // Sweep the whole range in hundredths: exactly [48.72, 51.28] shows the
    // detent frame (19 / 39 and 20 / 39 of 100 are 48.7179... and 51.2820...).
    int first = -1, last = -1, count = 0;
    for (int hundredths = 0; hundredths <= 9900; ++hundredths) {
        knob.set_rotary_control_value(static_cast<float>(hundredths) / 100.0f);
        if (knob.get_detent_flag()) {
            if (first < 0)
                first = hundredths;
            last = hundredths;
            ++count;
        }
    }
    EXPECT_EQ(first, 4872);
    EXPECT_EQ(last, 5128);
    EXPECT_EQ(count, 5128 - 4872 + 1);

    // The painted frame agrees: the middle frame of 39 inside, its
    // neighbours just outside.
    const std::pair<float, int> cases[] = {
        {48.71f, 18}, {48.72f, 19}, {49.5f, 19}, {51.28f, 19}, {51.29f, 20}};
    for (const auto& c : cases) {
        knob.set_rotary_control_value(c.first);
        EXPECT_EQ(shown_frame(knob), c.second) << "value " << c.first;
    }

    // Without a detent (value 0) the flag marks frame 0.
    knob.set_detent_value(0.0f);
    knob.set_rotary_control_value(2.0f);
    EXPECT_TRUE(knob.get_detent_flag());
    knob.set_rotary_control_value(3.0f);
    EXPECT_FALSE(knob.get_detent_flag());
}

// Two knobs dragged at +4 per event from 40, one with the centre detent:
// the detent knob loses its speed on frame 19 and needs more events to get
// to 60.
TEST(RotaryDetent, DetentCutsTheBuiltUpVelocity)
{
    CRotaryControlObject detent(nullptr), free_knob(nullptr);
    place_like_editor(detent);
    place_like_editor(free_knob);
    detent.set_detent_value(49.5f);
    detent.set_rotary_control_value(40.0f);
    free_knob.set_rotary_control_value(40.0f);

    int detent_events = 0;
    float first_detent_move = -1.0f;
    while (detent.get_rotary_control_value() < 60.0f && detent_events < 100) {
        const bool on_detent = detent.get_detent_flag();
        const float before = detent.get_rotary_control_value();
        detent.update_rotary_control_value(0, 4);
        ++detent_events;
        if (on_detent && first_detent_move < 0.0f)
            first_detent_move = detent.get_rotary_control_value() - before;
    }
    int free_events = 0;
    while (free_knob.get_rotary_control_value() < 60.0f && free_events < 100) {
        free_knob.update_rotary_control_value(0, 4);
        ++free_events;
    }
    // Arriving at speed (about 3 per event), the first event on the detent
    // keeps 1 % of the velocity: 0.25 * 4 + 0.75 * 0.01 * v, just over 1.
    EXPECT_GE(first_detent_move, 1.0f);
    EXPECT_LT(first_detent_move, 1.05f);
    EXPECT_GT(detent_events, free_events);
}

TEST(RotaryStep, StepsLandOnExactFrameValuesAndStopAtTheEnds)
{
    CRotaryControlObject knob(nullptr);
    place_like_editor(knob);

    knob.set_rotary_control_value(99.0f);
    knob.step_control(1);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), 99.0f);
    knob.set_rotary_control_value(0.0f);
    knob.step_control(-1);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), 0.0f);

    knob.set_rotary_control_value(50.0f);  // frame 19
    knob.step_control(1);
    EXPECT_NEAR(knob.get_rotary_control_value(), 52.10526, 1e-4);  // 20 / 38 * 99
    knob.set_rotary_control_value(50.0f);
    knob.step_control(-1);
    EXPECT_NEAR(knob.get_rotary_control_value(), 46.89474, 1e-4);  // 18 / 38 * 99
    knob.set_rotary_control_value(50.0f);
    knob.step_control(0);
    EXPECT_NEAR(knob.get_rotary_control_value(), 49.5, 1e-4);  // snapped onto frame 19
    knob.step_control(2);
    knob.step_control(-7);
    EXPECT_NEAR(knob.get_rotary_control_value(), 49.5, 1e-4);  // other steps ignored

    // Stepping up from 0 shows every frame once, in order, then stays on the last.
    knob.set_rotary_control_value(0.0f);
    std::vector<int> frames;
    for (int i = 0; i < knob_frames + 2; ++i) {
        frames.push_back(shown_frame(knob));
        knob.step_control(1);
    }
    for (int i = 0; i < knob_frames + 2; ++i)
        EXPECT_EQ(frames[i], std::min(i, knob_frames - 1)) << "step " << i;
}

TEST(RotaryStep, SwitchReportsTheValueOfItsFrame)
{
    CRotaryControlObject knob(nullptr);
    place_like_editor(knob);
    knob.set_control_is_switch(true);
    knob.set_rotary_control_value(50.0f);
    EXPECT_NEAR(knob.get_rotary_control_value(), 49.5, 1e-4);
    knob.set_rotary_control_value(2.5f);  // frame 0
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), 0.0f);
    knob.set_rotary_control_value(99.0f);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), 99.0f);

    // A four-position switch: quarters of the range report 0, 33, 66, 99.
    knob.set_rotary_control_nframes(4);
    const std::pair<float, float> cases[] = {{10.f, 0.f}, {30.f, 33.f}, {60.f, 66.f}, {80.f, 99.f}};
    for (const auto& c : cases) {
        knob.set_rotary_control_value(c.first);
        EXPECT_NEAR(knob.get_rotary_control_value(), c.second, 1e-4) << c.first;
    }
    knob.set_control_is_switch(false);
    knob.set_rotary_control_value(30.0f);
    EXPECT_FLOAT_EQ(knob.get_rotary_control_value(), 30.0f);
}

class RotaryPaint : public testing::Test {
protected:
    void SetUp() override
    {
        place_like_editor(knob);
        knob.set_rotary_control_pixbuf(strip.get());
        knob.set_front_panel_pixbuf(panel.get());
    }

    // Knob rectangle in the target: corner (101 - 24, 100 - 24 + 16).
    static constexpr int x0 = 77, y0 = 92, size = 48;

    owned_pixbuf panel = new_panel(144, 494);
    owned_pixbuf strip = new_strip(48, 48, knob_frames, 128);  // half transparent frames
    owned_pixbuf target = new_pixbuf(144, 510, {90, 90, 90, 255});
    CRotaryControlObject knob{nullptr};
};

TEST_F(RotaryPaint, RedrawRestoresTheBackgroundAndPaintsTheNewFrame)
{
    knob.set_rotary_control_value(50.0f);
    knob.undraw_rotary_control(target.get());
    knob.draw_rotary_control(target.get());
    for (int y = y0; y < y0 + size; ++y)
        for (int x = x0; x < x0 + size; ++x)
            ASSERT_EQ(pixel(target.get(), x, y),
                      blend(panel_colour(x, y - 16), frame_colour(19, 128)))
                << x << "," << y;

    knob.set_rotary_control_value(60.0f);  // frame 23
    EXPECT_TRUE(knob.redraw_rotary_control(target.get()));
    for (int y = y0; y < y0 + size; ++y)
        for (int x = x0; x < x0 + size; ++x)
            ASSERT_EQ(pixel(target.get(), x, y),
                      blend(panel_colour(x, y - 16), frame_colour(23, 128)))
                << x << "," << y;
    // Nothing outside the rectangle was touched.
    const rgba grey{90, 90, 90, 255};
    for (int i = -1; i <= size; ++i) {
        EXPECT_EQ(pixel(target.get(), x0 - 1, y0 + i), grey);
        EXPECT_EQ(pixel(target.get(), x0 + size, y0 + i), grey);
        EXPECT_EQ(pixel(target.get(), x0 + i, y0 - 1), grey);
        EXPECT_EQ(pixel(target.get(), x0 + i, y0 + size), grey);
    }
}

TEST_F(RotaryPaint, RedrawWithinOneFrameIsSkipped)
{
    knob.set_rotary_control_value(49.0f);
    knob.draw_rotary_control(target.get());
    // A marker inside the knob's rectangle survives a skipped repaint.
    set_pixel(target.get(), x0 + 5, y0 + 5, {1, 2, 3, 255});
    std::vector<unsigned char> before(target->pixels,
                                      target->pixels + target->rowstride * target->height);

    knob.set_rotary_control_value(51.0f);  // still frame 19
    EXPECT_FALSE(knob.redraw_rotary_control(target.get()));
    EXPECT_EQ(0, std::memcmp(before.data(), target->pixels, before.size()));

    knob.set_rotary_control_value(51.3f);  // frame 20
    EXPECT_TRUE(knob.redraw_rotary_control(target.get()));
    EXPECT_EQ(pixel(target.get(), x0 + 5, y0 + 5),
              blend(panel_colour(x0 + 5, y0 + 5 - 16), frame_colour(20, 128)));
    EXPECT_FALSE(knob.redraw_rotary_control(target.get()));
}

TEST_F(RotaryPaint, PlacementUsesTruncatedHalvesPadsAndOffsets)
{
    knob.set_rotary_control_size_x(45);  // half of 45 is 22
    knob.set_rotary_control_size_y(47);  // half of 47 is 23
    knob.set_rotary_control_pad_left(3);
    knob.set_rotary_control_pad_top(2);
    knob.set_rotary_control_pad_right(50);  // right and bottom pads move nothing
    knob.set_rotary_control_pad_bottom(50);
    knob.set_offset_x(5);
    knob.set_rotary_control_value(0.0f);
    knob.draw_rotary_control(target.get());

    const int cx = 5 + 101 - 22 - 3, cy = 16 + 100 - 23 - 2;
    int x, y, w, h;
    knob.get_invalid_area(&x, &y, &w, &h);
    EXPECT_EQ(x, cx);
    EXPECT_EQ(y, cy);
    EXPECT_EQ(w, 45);
    EXPECT_EQ(h, 47);
    EXPECT_EQ(knob.get_rotary_control_update_x(), cx - 5);
    EXPECT_EQ(knob.get_rotary_control_update_y(), cy - 16);

    const rgba grey{90, 90, 90, 255};
    const rgba painted = blend(grey, frame_colour(0, 128));
    EXPECT_EQ(pixel(target.get(), cx, cy), painted);
    EXPECT_EQ(pixel(target.get(), cx + 44, cy + 46), painted);
    EXPECT_EQ(pixel(target.get(), cx - 1, cy), grey);
    EXPECT_EQ(pixel(target.get(), cx + 45, cy), grey);
    EXPECT_EQ(pixel(target.get(), cx, cy - 1), grey);
    EXPECT_EQ(pixel(target.get(), cx, cy + 47), grey);
}

TEST(RotaryHitTest, ClickRectangleIncludesAllFourEdges)
{
    CRotaryControlObject knob(nullptr);
    place_like_editor(knob);
    knob.set_rotary_control_pad_left(1);
    knob.set_rotary_control_pad_top(2);
    // x0 = 0 + 101 - 20 - 1 = 80, y0 = 16 + 100 - 20 - 2 = 94; 40 x 40, inclusive.
    EXPECT_EQ(hit_rectangle_faults([&](int x, int y) { return knob.test_rotary_control_clicked(x, y); },
                                   80, 94, 120, 134),
              "");
}

} // namespace
