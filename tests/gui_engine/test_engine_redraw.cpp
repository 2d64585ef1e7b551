// From dirty areas to the expose callback on a real X server: exposes from
// the server, from other clients and from the queue operations reach the
// window's callback as disjoint rectangles, last in first out; configure
// events mark the whole window; the gui update and sched timers fire at their
// interval, stop after returning false and stay off at 0; callbacks may
// destroy or invalidate windows from inside the redraw pass and the timers.

// GoogleTest before the engine header: Xlib defines macros (None) that clash
// with GoogleTest's own names.
#include <gtest/gtest.h>

#include "tests/support/x_support.h"

namespace {

using namespace test_support;

struct expose_report {
    int x, y, width, height, window;
    bool operator==(const expose_report& o) const
    {
        return x == o.x && y == o.y && width == o.width && height == o.height && window == o.window;
    }
};

std::ostream& operator<<(std::ostream& os, const expose_report& r)
{
    return os << "(" << r.x << "," << r.y << " " << r.width << "x" << r.height << " w" << r.window
              << ")";
}

recorder<expose_report>* expose_log = nullptr;

void on_expose(int x, int y, int width, int height, int window, void*)
{
    expose_log->add({x, y, width, height, window});
}

class EngineRedraw : public testing::Test {
protected:
    void SetUp() override
    {
        expose_log = &exposes;
        ASSERT_TRUE(open_engine(engine));
    }
    void TearDown() override { expose_log = nullptr; }

    // A mapped window whose first full-window expose has been served.
    int shown_window(int x, int y, int width, int height, float scale, void* data = nullptr)
    {
        const int idx = engine.create_new_afx_window(x, y, width, height, scale, data);
        if (idx < 0)
            return idx;
        engine.register_expose_callback(idx, on_expose);
        engine.select_afx_input_events(idx);
        engine.show_afx_window(idx);
        client.wait_viewable(engine.get_SYS_window_idx_for_afx_window(idx));
        return idx;
    }

    // Waits until n rectangles arrived and nothing more follows for a while.
    std::vector<expose_report> settle(size_t n)
    {
        wait_until([&] { return exposes.count() >= n; });
        std::this_thread::sleep_for(60ms);
        return exposes.values();
    }

    recorder<expose_report> exposes;
    AFX_engine engine;
    x_client client;
};

TEST_F(EngineRedraw, MappingServesTheWholeWindowOnce)
{
    loop_thread loop(engine);
    const int idx = shown_window(20, 20, 64, 48, 1.0f);
    ASSERT_GE(idx, 0);
    EXPECT_EQ(settle(1), (std::vector<expose_report>{{0, 0, 64, 48, idx}}));
}

TEST_F(EngineRedraw, OverlappingExposesOfOneBatchAreServedDisjointLastInFirstOut)
{
    loop_thread loop(engine);
    const int idx = shown_window(20, 20, 64, 48, 1.0f);
    settle(1);
    exposes.clear();

    // While the display mutex is held the loop cannot read events, so both
    // exposes are dispatched in the same pass and meet in the container.
    const Window window = engine.get_SYS_window_idx_for_afx_window(idx);
    engine.afx_lock_display();
    Display* dpy = engine.get_xdisplay();
    for (const XRectangle& r : {XRectangle{0, 0, 10, 10}, XRectangle{5, 5, 10, 10}}) {
        XEvent event{};
        event.xexpose.type = Expose;
        event.xexpose.window = window;
        event.xexpose.x = r.x;
        event.xexpose.y = r.y;
        event.xexpose.width = r.width;
        event.xexpose.height = r.height;
        XSendEvent(dpy, window, True, ExposureMask, &event);
    }
    XSync(dpy, False);  // both come back into Xlib's queue before the reply
    engine.afx_unlock_display();

    // Stored: (x0 y0 10x5), (x0 y5 5x5), (x5 y5 10x10); served from the end.
    EXPECT_EQ(settle(3), (std::vector<expose_report>{
                             {5, 5, 10, 10, idx}, {0, 5, 5, 5, idx}, {0, 0, 10, 5, idx}}));
}

TEST_F(EngineRedraw, QueuedAreasComeBackThroughTheServer)
{
    loop_thread loop(engine);
    const int plain = shown_window(10, 10, 100, 80, 1.0f);
    const int scaled = shown_window(200, 10, 100, 80, 1.5f);
    ASSERT_GE(plain, 0);
    ASSERT_GE(scaled, 0);
    settle(2);
    exposes.clear();

    engine.afx_queue_afx_draw_area_fixed(plain, 3, 4, 20, 30);
    EXPECT_EQ(settle(1), (std::vector<expose_report>{{3, 4, 20, 30, plain}}));
    exposes.clear();
    // Width and height scale (20 * 1.5, 31 * 1.5 + 0.5 truncated), x and y do not.
    engine.afx_queue_afx_draw_area_scaled(scaled, 3, 4, 20, 31);
    EXPECT_EQ(settle(1), (std::vector<expose_report>{{3, 4, 30, 47, scaled}}));
    exposes.clear();
    const int scaled_id = static_cast<int>(engine.get_SYS_window_idx_for_afx_window(scaled));
    engine.afx_queue_draw_area_scaled(scaled_id, 7, 8, 10, 10);
    EXPECT_EQ(settle(1), (std::vector<expose_report>{{7, 8, 15, 15, scaled}}));
    exposes.clear();
    engine.afx_queue_draw_area_fixed(scaled_id, 7, 8, 10, 10);
    EXPECT_EQ(settle(1), (std::vector<expose_report>{{7, 8, 10, 10, scaled}}));
    exposes.clear();
    // An id that is no window at all is absorbed, not fatal.
    testing::internal::CaptureStdout();
    engine.afx_queue_draw_area_fixed(0x1fffff0, 0, 0, 1, 1);
    testing::internal::GetCapturedStdout();
    engine.afx_queue_draw_area_scaled(0x1fffff0, 0, 0, 1, 1);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(exposes.count(), 0u);
}

struct configure_report {
    int height, width, window;
};
recorder<configure_report>* configure_log = nullptr;

void on_configure(int height, int width, int window, void*)
{
    configure_log->add({height, width, window});
}

TEST_F(EngineRedraw, ConfigureStoresTheSizeAndMarksTheWholeWindow)
{
    recorder<configure_report> configures;
    configure_log = &configures;
    loop_thread loop(engine);
    const int idx = shown_window(20, 20, 60, 40, 1.0f);
    engine.register_configure_callback(idx, on_configure);
    settle(1);
    exposes.clear();

    XResizeWindow(client.display(), engine.get_SYS_window_idx_for_afx_window(idx), 120, 90);
    XSync(client.display(), False);
    ASSERT_TRUE(wait_until([&] { return configures.count() == 1; }));
    const configure_report c = configures.values()[0];
    EXPECT_EQ(c.height, 90);
    EXPECT_EQ(c.width, 120);
    EXPECT_EQ(c.window, idx);
    EXPECT_EQ(engine.afx_get_afx_window_width(idx), 120);
    EXPECT_EQ(engine.afx_get_afx_window_height(idx), 90);

    // Every pixel of the new size is served, nothing outside it.
    const std::vector<expose_report> served = settle(1);
    std::vector<int> cover(120 * 90, 0);
    for (const expose_report& r : served) {
        ASSERT_GE(r.x, 0);
        ASSERT_GE(r.y, 0);
        ASSERT_LE(r.x + r.width, 120);
        ASSERT_LE(r.y + r.height, 90);
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x; x < r.x + r.width; ++x)
                ++cover[y * 120 + x];
    }
    for (int p = 0; p < 120 * 90; ++p)
        ASSERT_GE(cover[p], 1) << "pixel " << p % 120 << "," << p / 120 << " never served";
    configure_log = nullptr;
}

std::mutex tick_mutex;
std::vector<std::chrono::steady_clock::time_point> ticks;
int ticks_until_false = 0;

bool count_tick(void*)
{
    std::lock_guard<std::mutex> lock(tick_mutex);
    ticks.push_back(std::chrono::steady_clock::now());
    return ticks_until_false == 0 || static_cast<int>(ticks.size()) < ticks_until_false;
}

void reset_ticks(int until_false)
{
    std::lock_guard<std::mutex> lock(tick_mutex);
    ticks.clear();
    ticks_until_false = until_false;
}

size_t tick_count()
{
    std::lock_guard<std::mutex> lock(tick_mutex);
    return ticks.size();
}

TEST_F(EngineRedraw, GuiUpdateTicksEvery51MillisecondsOrMore)
{
    reset_ticks(0);
    const int idx = engine.create_new_afx_window(0, 0, 10, 10, 1.0f, nullptr);
    engine.register_gui_update_callback(idx, count_tick);
    engine.set_gui_update_interval(50);
    const auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point end;
    {
        loop_thread loop(engine);
        std::this_thread::sleep_for(1000ms);
        engine.stop_engine();
        loop.join();
        end = std::chrono::steady_clock::now();
    }
    std::lock_guard<std::mutex> lock(tick_mutex);
    // At most one tick per 51 ms; a loaded machine may give fewer, but the
    // timer must not stall.
    const double elapsed_ms = std::chrono::duration<double, std::milli>(end - start).count();
    EXPECT_LE(ticks.size(), static_cast<size_t>(elapsed_ms / 51.0));
    EXPECT_GE(ticks.size(), 12u);
    for (size_t i = 1; i < ticks.size(); ++i)
        EXPECT_GE(ticks[i] - ticks[i - 1], 50ms) << "tick " << i;
    if (!ticks.empty()) {
        EXPECT_GE(ticks[0] - start, 50ms);
    }
}

TEST_F(EngineRedraw, GuiUpdateStopsAfterReturningFalse)
{
    reset_ticks(3);
    const int idx = engine.create_new_afx_window(0, 0, 10, 10, 1.0f, nullptr);
    engine.register_gui_update_callback(idx, count_tick);
    engine.set_gui_update_interval(10);
    loop_thread loop(engine);
    ASSERT_TRUE(wait_until([] { return tick_count() >= 3; }));
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(tick_count(), 3u);
    // Registering again starts it again.
    engine.register_gui_update_callback(idx, count_tick);
    ASSERT_TRUE(wait_until([] { return tick_count() >= 4; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(tick_count(), 4u);
}

std::atomic<int> sched_calls{0};

bool sched_four_times()
{
    return ++sched_calls < 4;
}

TEST_F(EngineRedraw, SchedCallbackStopsAfterReturningFalse)
{
    sched_calls = 0;
    engine.register_sched_event_callback(sched_four_times);
    engine.set_sched_callback_interval(5);
    loop_thread loop(engine);
    ASSERT_TRUE(wait_until([] { return sched_calls >= 4; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(sched_calls, 4);
}

TEST_F(EngineRedraw, NoTimerFiresWithBothIntervalsZero)
{
    reset_ticks(0);
    sched_calls = 0;
    const int idx = engine.create_new_afx_window(0, 0, 10, 10, 1.0f, nullptr);
    engine.register_gui_update_callback(idx, count_tick);
    engine.register_sched_event_callback(sched_four_times);
    loop_thread loop(engine);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(tick_count(), 0u);
    EXPECT_EQ(sched_calls, 0);
}

AFX_engine* callback_engine = nullptr;
std::atomic<int> destroy_result{-1};

void destroy_own_window(int, int, int, int, int window, void*)
{
    destroy_result = callback_engine->destroy_afx_window(window);
}

std::atomic<int> updates_before_invalidate{0};

bool invalidate_own_window(void* data)
{
    ++updates_before_invalidate;
    callback_engine->invalidate_afx_window(*static_cast<std::atomic<int>*>(data));
    return true;
}

TEST_F(EngineRedraw, CallbacksMayDestroyOrInvalidateWindowsFromInsideTheLoop)
{
    callback_engine = &engine;
    loop_thread loop(engine);
    const int doomed = engine.create_new_afx_window(0, 0, 30, 30, 1.0f, nullptr);
    engine.register_expose_callback(doomed, destroy_own_window);
    engine.select_afx_input_events(doomed);
    const Window doomed_window = engine.get_SYS_window_idx_for_afx_window(doomed);
    engine.show_afx_window(doomed);
    // The expose callback runs under the procs mutex and destroys its window.
    ASSERT_TRUE(wait_until([&] { return destroy_result == 0; }));
    EXPECT_EQ(engine.get_SYS_window_idx_for_afx_window(doomed), 0u);
    EXPECT_FALSE(client.window_exists(doomed_window));

    static std::atomic<int> kept_index{0};
    kept_index = shown_window(40, 0, 30, 30, 1.0f, &kept_index);
    settle(1);
    engine.register_gui_update_callback(kept_index, invalidate_own_window);
    engine.set_gui_update_interval(5);
    ASSERT_TRUE(wait_until([] { return updates_before_invalidate >= 1; }));
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(updates_before_invalidate, 1) << "the gui update callback was cleared";
    exposes.clear();
    engine.afx_queue_afx_draw_area_fixed(kept_index, 0, 0, 5, 5);
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(exposes.count(), 0u) << "the expose callback was cleared";
    EXPECT_NE(engine.get_SYS_window_idx_for_afx_window(kept_index), 0u) << "the window stays";
}

} // namespace
