// The window table on a real X server: creation sizes, the 255-window limit,
// the active list's order after a removal, the window manager's delete
// message, a window destroyed by another client, closing the connection
// while the loop runs, and the X error trap.

// GoogleTest before the engine header: Xlib defines macros (None) that clash
// with GoogleTest's own names.
#include <gtest/gtest.h>

#include "tests/support/x_support.h"

#include <X11/Xatom.h>

#include <cstdlib>
#include <string>

namespace {

using namespace test_support;

struct destroy_report {
    int x, y, window;
    void* data;
};

recorder<destroy_report>* destroy_log = nullptr;

void on_window_destroy(int x, int y, int window, void* data)
{
    destroy_log->add({x, y, window, data});
}

class EngineWindows : public testing::Test {
protected:
    void SetUp() override
    {
        destroy_log = &destroys;
        ASSERT_TRUE(open_engine(engine));
        ASSERT_NE(client.display(), nullptr);
    }
    void TearDown() override { destroy_log = nullptr; }

    recorder<destroy_report> destroys;
    AFX_engine engine;
    x_client client;
};

TEST_F(EngineWindows, CreationSizesWindowsInDevicePixels)
{
    const int scaled = engine.create_new_afx_window(30, 40, 100, 51, 1.5f, nullptr);
    ASSERT_GE(scaled, 0);
    EXPECT_EQ(engine.afx_get_afx_window_width(scaled), 150);
    EXPECT_EQ(engine.afx_get_afx_window_height(scaled), 77);  // 76.5 + 0.5 truncated
    const int simple = engine.create_new_simple_afx_window(60, 70, 200, 100, 1.0f, nullptr);
    ASSERT_GE(simple, 0);
    EXPECT_NE(simple, scaled);
    sync_engine(engine);

    int x = 0, y = 0;
    unsigned width = 0, height = 0;
    ASSERT_TRUE(client.geometry(engine.get_SYS_window_idx_for_afx_window(scaled), &x, &y, &width,
                                &height));
    EXPECT_EQ(x, 30);
    EXPECT_EQ(y, 40);
    EXPECT_EQ(width, 150u);
    EXPECT_EQ(height, 77u);
    ASSERT_TRUE(client.geometry(engine.get_SYS_window_idx_for_afx_window(simple), &x, &y, &width,
                                &height));
    EXPECT_EQ(width, 200u);
    EXPECT_EQ(height, 100u);

    // The window offers the window manager's close protocol.
    Atom* protocols = nullptr;
    int count = 0;
    ASSERT_TRUE(XGetWMProtocols(client.display(), engine.get_SYS_window_idx_for_afx_window(scaled),
                                &protocols, &count));
    ASSERT_EQ(count, 1);
    EXPECT_EQ(protocols[0], XInternAtom(client.display(), "WM_DELETE_WINDOW", False));
    XFree(protocols);
}

TEST_F(EngineWindows, TableHolds255WindowsAndReusesFreedRecords)
{
    std::vector<int> created;
    for (int i = 0; i < 255; ++i) {
        const int idx = engine.create_new_afx_window(0, 0, 8, 8, 1.0f, nullptr);
        ASSERT_EQ(idx, i);
        created.push_back(idx);
    }
    EXPECT_EQ(engine.create_new_afx_window(0, 0, 8, 8, 1.0f, nullptr), -1);
    EXPECT_EQ(engine.create_new_simple_afx_window(0, 0, 8, 8, 1.0f, nullptr), -1);

    const Window gone = engine.get_SYS_window_idx_for_afx_window(100);
    EXPECT_EQ(engine.destroy_afx_window(100), 0);
    EXPECT_FALSE(client.window_exists(gone));
    EXPECT_EQ(engine.get_SYS_window_idx_for_afx_window(100), 0u);
    EXPECT_EQ(engine.create_new_afx_window(0, 0, 8, 8, 1.0f, nullptr), 100);
    EXPECT_FALSE(engine.check_all_windows_closed());
    engine.destroy_all_windows();
    EXPECT_TRUE(engine.check_all_windows_closed());
}

recorder<int>* update_order = nullptr;

bool record_update_once(void* data)
{
    update_order->add(*static_cast<int*>(data));
    return false;
}

TEST_F(EngineWindows, RemovingFromTheMiddleKeepsTheServicingOrder)
{
    recorder<int> order;
    update_order = &order;
    int names[4] = {0, 1, 2, 3};
    const int a = engine.create_new_afx_window(0, 0, 10, 10, 1.0f, &names[0]);
    const int b = engine.create_new_afx_window(0, 0, 10, 10, 1.0f, &names[1]);
    const int c = engine.create_new_afx_window(0, 0, 10, 10, 1.0f, &names[2]);
    ASSERT_EQ(engine.destroy_afx_window(b), 0);
    const int d = engine.create_new_afx_window(0, 0, 10, 10, 1.0f, &names[3]);
    ASSERT_EQ(d, b) << "the first free record is taken";
    for (int idx : {a, c, d})
        engine.register_gui_update_callback(idx, record_update_once);
    engine.set_gui_update_interval(10);
    {
        loop_thread loop(engine);
        ASSERT_TRUE(wait_until([&] { return order.count() >= 3; }));
        std::this_thread::sleep_for(50ms);
    }
    // d reuses b's record but was appended last.
    EXPECT_EQ(order.values(), (std::vector<int>{0, 2, 3}));
    update_order = nullptr;
}

// Sends what a window manager sends when the user closes the window.
void send_delete_message(Display* dpy, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, window, False, NoEventMask, &event);
    XFlush(dpy);
}

recorder<unsigned long>* message_log = nullptr;

void on_client_message(unsigned long first_long, void*)
{
    message_log->add(first_long);
}

TEST_F(EngineWindows, DeleteMessageClosesTheWindowAndReportsItsFramePosition)
{
    recorder<unsigned long> messages;
    message_log = &messages;
    int owner = 0;
    // A frame as a reparenting window manager would make one.
    Display* wm = client.display();
    const Window frame = XCreateSimpleWindow(wm, DefaultRootWindow(wm), 150, 160, 300, 300, 0, 0, 0);
    XMapWindow(wm, frame);
    XSync(wm, False);

    const int idx = engine.create_new_afx_window(5, 5, 120, 80, 1.0f, &owner);
    ASSERT_GE(idx, 0);
    engine.register_window_destroy_callback(idx, on_window_destroy);
    engine.register_client_message_callback(idx, on_client_message);
    engine.select_afx_input_events(idx);
    const Window window = engine.get_SYS_window_idx_for_afx_window(idx);
    ASSERT_EQ(engine.reparent_afx_window_to_SYS_window(idx, frame, 0, 0), 0);
    engine.show_afx_window(idx);
    ASSERT_TRUE(client.wait_viewable(window));

    loop_thread loop(engine);
    // Other client messages go to the client message callback.
    XEvent other{};
    other.xclient.type = ClientMessage;
    other.xclient.window = window;
    other.xclient.message_type = XInternAtom(wm, "ZE710_TEST", False);
    other.xclient.format = 32;
    other.xclient.data.l[0] = 4242;
    XSendEvent(wm, window, False, NoEventMask, &other);
    XFlush(wm);
    ASSERT_TRUE(wait_until([&] { return messages.count() == 1; }));
    EXPECT_EQ(messages.values()[0], 4242u);
    EXPECT_EQ(destroys.count(), 0u);

    send_delete_message(wm, window);
    ASSERT_TRUE(wait_until([&] { return destroys.count() == 1; }));
    const destroy_report report = destroys.values()[0];
    EXPECT_EQ(report.x, 150);
    EXPECT_EQ(report.y, 160);
    EXPECT_EQ(report.window, idx);
    EXPECT_EQ(report.data, &owner);
    ASSERT_TRUE(wait_until([&] { return engine.check_all_windows_closed(); }));
    EXPECT_TRUE(wait_until([&] { return !client.window_exists(window); }));
    EXPECT_EQ(engine.get_SYS_window_idx_for_afx_window(idx), 0u);
    EXPECT_EQ(messages.count(), 1u) << "the delete message is not a plain client message";
    // The record is free for the next window.
    EXPECT_EQ(engine.create_new_afx_window(0, 0, 10, 10, 1.0f, nullptr), idx);
    message_log = nullptr;
}

TEST_F(EngineWindows, WindowDestroyedByAnotherClientIsForgottenWithoutCallback)
{
    const int keep = engine.create_new_afx_window(0, 0, 50, 50, 1.0f, nullptr);
    const int idx = engine.create_new_afx_window(0, 0, 50, 50, 1.0f, nullptr);
    ASSERT_GE(idx, 0);
    engine.register_window_destroy_callback(idx, on_window_destroy);
    engine.select_afx_input_events(idx);
    const Window window = engine.get_SYS_window_idx_for_afx_window(idx);
    sync_engine(engine);
    loop_thread loop(engine);
    XDestroyWindow(client.display(), window);
    XSync(client.display(), False);
    ASSERT_TRUE(wait_until([&] { return engine.get_SYS_window_idx_for_afx_window(idx) == 0; }));
    EXPECT_FALSE(engine.check_all_windows_closed());
    EXPECT_NE(engine.get_SYS_window_idx_for_afx_window(keep), 0u);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(destroys.count(), 0u);
}

std::atomic<bool> slow_update_running{false};
std::atomic<bool> slow_update_finished{false};

bool slow_update(void*)
{
    slow_update_running = true;
    std::this_thread::sleep_for(300ms);
    slow_update_finished = true;
    return false;
}

TEST_F(EngineWindows, CloseWaitsUntilTheLoopHasDestroyedItsWindows)
{
    std::vector<Window> sys_windows;
    for (int i = 0; i < 3; ++i) {
        const int idx = engine.create_new_afx_window(10 * i, 0, 40, 40, 1.0f, nullptr);
        ASSERT_GE(idx, 0);
        engine.register_window_destroy_callback(idx, on_window_destroy);
        engine.select_afx_input_events(idx);
        engine.show_afx_window(idx);
        sys_windows.push_back(engine.get_SYS_window_idx_for_afx_window(idx));
    }
    engine.register_gui_update_callback(1, slow_update);
    engine.set_gui_update_interval(5);
    loop_thread loop(engine);
    ASSERT_TRUE(wait_until([] { return slow_update_running.load(); }));

    testing::internal::CaptureStdout();
    engine.close_display_connection();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(slow_update_finished) << "returned while the loop was still in a callback";
    EXPECT_EQ(out, "ZOKA-UI Engine: XClose\n");
    EXPECT_EQ(engine.get_xdisplay(), nullptr);
    EXPECT_TRUE(engine.check_all_windows_closed());
    for (Window w : sys_windows)
        EXPECT_FALSE(client.window_exists(w));
    EXPECT_EQ(destroys.count(), 0u) << "shutdown calls no window destroy callback";
    EXPECT_TRUE(wait_until([&] { return loop.returned(); }));

    // The engine can be opened again.
    ASSERT_TRUE(open_engine(engine));
    EXPECT_GE(engine.create_new_afx_window(0, 0, 10, 10, 1.0f, nullptr), 0);
}

AFX_engine* closing_engine = nullptr;
std::atomic<int> close_calls{0};

bool close_from_inside(void*)
{
    ++close_calls;
    closing_engine->close_display_connection();
    return true;
}

TEST_F(EngineWindows, CloseFromInsideACallbackStopsTheLoopWithoutHanging)
{
    closing_engine = &engine;
    const int idx = engine.create_new_afx_window(0, 0, 20, 20, 1.0f, nullptr);
    ASSERT_GE(idx, 0);
    const Window window = engine.get_SYS_window_idx_for_afx_window(idx);
    engine.register_gui_update_callback(idx, close_from_inside);
    engine.set_gui_update_interval(5);
    sync_engine(engine);
    loop_thread loop(engine);
    ASSERT_TRUE(wait_until([&] { return loop.returned(); }));
    EXPECT_EQ(close_calls, 1);
    EXPECT_TRUE(engine.check_all_windows_closed());
    EXPECT_FALSE(client.window_exists(window));
}

int host_errors = 0;

int host_error_handler(Display*, XErrorEvent*)
{
    ++host_errors;
    return 0;
}

TEST_F(EngineWindows, ErrorTrapAbsorbsBadRequestsAndReturnsTheirCode)
{
    XErrorHandler before = XSetErrorHandler(host_error_handler);
    const int idx = engine.create_new_afx_window(0, 0, 30, 30, 1.0f, nullptr);
    ASSERT_GE(idx, 0);
    // An id that existed once and does not any more.
    const Window dead = XCreateSimpleWindow(client.display(), DefaultRootWindow(client.display()), 0,
                                            0, 5, 5, 0, 0, 0);
    XDestroyWindow(client.display(), dead);
    XSync(client.display(), False);

    testing::internal::CaptureStdout();
    const int code = engine.reparent_afx_window_to_SYS_window(idx, dead, 0, 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, BadWindow);
    EXPECT_EQ(out, "ZOKA-UI Engine: XErrorHandler trapped non-fatal X11 problem :(\n");
    EXPECT_EQ(engine.SYS_window_valid(dead), BadWindow);
    EXPECT_EQ(engine.SYS_window_valid(engine.get_SYS_window_idx_for_afx_window(idx)), 0);
    EXPECT_EQ(engine.destroy_afx_window(idx), 0);
    EXPECT_EQ(host_errors, 0);
    // The host's handler is back in place.
    EXPECT_EQ(XSetErrorHandler(before), host_error_handler);
}

TEST(EngineWithoutDisplay, OperationsDoNothing)
{
    const char* shared = std::getenv("DISPLAY");
    const std::string restore = shared ? shared : "";
    setenv("DISPLAY", ":997", 1);  // nothing listens there
    AFX_engine engine;
    EXPECT_FALSE(engine.open_display_connection());
    setenv("DISPLAY", restore.c_str(), 1);
    EXPECT_EQ(engine.get_xdisplay(), nullptr);
    EXPECT_EQ(engine.create_new_afx_window(0, 0, 10, 10, 1.0f, nullptr), -1);
    EXPECT_EQ(engine.destroy_afx_window(0), 0);
    EXPECT_EQ(engine.SYS_window_valid(1), 0);
    int x = 7, y = 7;
    engine.afx_get_AFX_window_position(&x, &y, 0);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    engine.afx_queue_afx_draw_area_fixed(0, 0, 0, 1, 1);
    engine.show_afx_window(0);
    EXPECT_TRUE(engine.check_all_windows_closed());
    // Without a display the loop idles and still stops.
    engine.set_gui_update_interval(5);
    loop_thread loop(engine);
    std::this_thread::sleep_for(20ms);
    engine.stop_engine();
    EXPECT_TRUE(wait_until([&] { return loop.returned(); }));
}

} // namespace
