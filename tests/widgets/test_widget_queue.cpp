// Queueing on a real X server: each widget's queue operation marks its own
// rectangle in the target buffer (panel position plus offset) as a dirty area
// of the window, which comes back through the event loop to the window's
// expose callback.

// GoogleTest before the engine header: Xlib defines macros (None) that clash
// with GoogleTest's own names.
#include <gtest/gtest.h>

#include "gui_engine/AFX_font_engine.h"
#include "tests/support/x_support.h"
#include "widgets/CBannerObject.h"
#include "widgets/CPushButtonLatchingObject.h"
#include "widgets/CRotaryControlObject.h"

#include <algorithm>
#include <tuple>

namespace {

using namespace test_support;

struct area {
    int x, y, width, height;
    bool operator<(const area& o) const
    {
        return std::tie(x, y, width, height) < std::tie(o.x, o.y, o.width, o.height);
    }
    bool operator==(const area& o) const
    {
        return std::tie(x, y, width, height) == std::tie(o.x, o.y, o.width, o.height);
    }
};

std::ostream& operator<<(std::ostream& os, const area& a)
{
    return os << "(" << a.x << "," << a.y << " " << a.width << "x" << a.height << ")";
}

recorder<area>* exposes = nullptr;

void on_expose(int x, int y, int width, int height, int, void*)
{
    exposes->add({x, y, width, height});
}

TEST(WidgetQueue, EachWidgetQueuesItsOwnRectangle)
{
    recorder<area> log;
    exposes = &log;
    AFX_engine engine;
    ASSERT_TRUE(engine.open_display_connection());
    const int window = engine.create_new_afx_window(0, 0, 144, 510, 1.0f, nullptr);
    ASSERT_GE(window, 0);
    engine.register_expose_callback(window, on_expose);
    engine.select_afx_input_events(window);
    sync_engine(engine);

    // HF gain knob, Effect switch, status button and banner as the editor
    // places them; their rectangles do not overlap.
    CRotaryControlObject knob(&engine);
    knob.set_rotary_control_size_x(48);
    knob.set_rotary_control_size_y(48);
    knob.set_rotary_control_pos_x(101);
    knob.set_rotary_control_pos_y(100);
    knob.set_offset_y(16);
    CPushButtonLatchingObject bypass(&engine);
    bypass.set_pushbutton_latching_size_x(44);
    bypass.set_pushbutton_latching_size_y(20);
    bypass.set_pushbutton_latching_pos_x(72);
    bypass.set_pushbutton_latching_pos_y(421);
    bypass.set_offset_y(16);
    CPushButtonLatchingObject status(&engine);
    status.set_pushbutton_latching_size_x(32);
    status.set_pushbutton_latching_size_y(16);
    status.set_pushbutton_latching_pos_x(54);
    status.set_pushbutton_latching_pos_y(8);
    AFX_font_engine font(&engine);
    CBannerObject banner(&engine, &font);
    banner.set_x_pos(18);
    banner.set_y_pos(42);
    banner.set_x_size(108);
    banner.set_y_size(16);
    banner.set_offset_y(16);

    {
        loop_thread loop(engine);
        knob.queue_rotary_control(window);
        bypass.queue_pushbutton_latching(window);
        status.queue_pushbutton_latching(window);
        banner.queue_banner(window);
        ASSERT_TRUE(wait_until([&] { return log.count() >= 4; }));
    }
    std::vector<area> got = log.values();
    std::sort(got.begin(), got.end());
    std::vector<area> expected = {
        {77, 92, 48, 48},   // knob: (101 - 24, 100 - 24 + 16)
        {50, 427, 44, 20},  // switch: (72 - 22, 421 - 10 + 16)
        {38, 0, 32, 16},    // status button: (54 - 16, 8 - 8), no offset
        {18, 58, 108, 16},  // banner: corner (18, 42) + (0, 16)
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected);

    engine.destroy_afx_window(window);
    engine.close_display_connection();
    exposes = nullptr;
}

} // namespace
