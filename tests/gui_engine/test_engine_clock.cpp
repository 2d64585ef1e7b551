// Clock helpers and pointer bookkeeping: diff_time counts milliseconds from
// the nanosecond fields only, diff_timef gives signed seconds, and mouse
// deltas truncate toward zero with upward movement positive.

// GoogleTest before the engine header: Xlib defines macros (None) that clash
// with GoogleTest's own names.
#include <gtest/gtest.h>

#include "gui_engine/AFX_engine.h"

namespace {

timespec at(long sec, long nsec)
{
    timespec t{};
    t.tv_sec = sec;
    t.tv_nsec = nsec;
    return t;
}

TEST(EngineClock, DiffTimeIgnoresWholeSeconds)
{
    EXPECT_EQ(AFX_engine::diff_time(at(5, 900000000), at(6, 100000000)), 200);
    EXPECT_EQ(AFX_engine::diff_time(at(0, 0), at(3, 5999999)), 5);  // 3.006 s reads 5 ms
    EXPECT_EQ(AFX_engine::diff_time(at(0, 0), at(1, 0)), 0);        // a whole second reads 0
    EXPECT_EQ(AFX_engine::diff_time(at(7, 1000000), at(7, 999999999)), 998);
}

TEST(EngineClock, DiffTimefGivesSignedSeconds)
{
    EXPECT_NEAR(AFX_engine::diff_timef(at(5, 900000000), at(6, 100000000)), 0.2f, 1e-6f);
    EXPECT_NEAR(AFX_engine::diff_timef(at(2, 250000000), at(4, 750000000)), 2.5f, 1e-6f);
    EXPECT_NEAR(AFX_engine::diff_timef(at(5, 900000000), at(5, 100000000)), -0.8f, 1e-6f);
    EXPECT_EQ(AFX_engine::diff_timef(at(5, 100000000), at(4, 200000000)), -1.0f);
    EXPECT_EQ(AFX_engine::diff_timef(at(5, 100000000), at(5, 100000000)), 0.0f);
}

TEST(EnginePointer, DeltasTruncateAndYGrowsUpward)
{
    AFX_engine engine;
    engine.init_mouse(10.0, 20.0);
    EXPECT_EQ(engine.get_mouse_delta_x(15.7), 5);
    EXPECT_EQ(engine.get_mouse_delta_x(10.0), -5);  // -5.7 truncates toward zero
    EXPECT_EQ(engine.get_mouse_delta_y(12.0), 8);   // pointer moved up by 8
    EXPECT_EQ(engine.get_mouse_delta_y(30.5), -18);
    double x = 0.0;
    double y = 0.0;
    engine.get_last_mouse_pos(&x, &y);
    EXPECT_EQ(x, 10.0);
    EXPECT_EQ(y, 30.5);
}

} // namespace
