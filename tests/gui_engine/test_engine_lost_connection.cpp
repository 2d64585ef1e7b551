// A lost display connection stops the engine, not the process: killing the
// engine's private X server while a window is open and the loop runs leaves
// the test process alive, the loop returned and the engine without a display;
// the host's own connections still reach the host's I/O-error handler, the
// engine can connect again, and the host's handler is put back on unload.

// GoogleTest before the engine header: Xlib defines macros (None) that clash
// with GoogleTest's own names.
#include <gtest/gtest.h>

#include "gui_engine/afx_io_errors.h"
#include "tests/support/x_support.h"

#include <cstdlib>

// Under ThreadSanitizer: libX11 1.8 releases its own display lock when it
// reports a broken connection and then releases it once more on the way out
// of the call that found it (XPending, XSync). The engine serialises every
// call on its display, so no thread can be waiting for that lock; the second
// release is libX11's, not ours.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions()
{
    return "mutex:libX11.so.6\n";
}

namespace {

using namespace test_support;

std::atomic<Display*> host_handler_display{nullptr};
std::atomic<int> host_handler_calls{0};

// The host's handler; it returns, and the host's exit handler below keeps its
// own connection from ending the process.
int host_io_handler(Display* display)
{
    host_handler_display = display;
    ++host_handler_calls;
    return 0;
}

void host_exit_handler(Display*, void*) {}

std::atomic<int> ticks{0};

bool tick(void*)
{
    ++ticks;
    return true;
}

TEST(EngineLostConnection, KilledServerStopsTheEngineNotTheProcess)
{
    private_xvfb server;
    ASSERT_TRUE(server.running());
    setenv("DISPLAY", server.display_name().c_str(), 1);

    // The host was there first: its handler and its own connection.
    XSetIOErrorHandler(host_io_handler);
    Display* host = XOpenDisplay(nullptr);
    ASSERT_NE(host, nullptr);
    XSetIOErrorExitHandler(host, host_exit_handler, nullptr);

    AFX_engine engine;
    ASSERT_TRUE(engine.open_display_connection());
    Display* engine_display = engine.get_xdisplay();
    const int idx = engine.create_new_afx_window(10, 10, 50, 50, 1.0f, nullptr);
    ASSERT_GE(idx, 0);
    engine.select_afx_input_events(idx);
    engine.show_afx_window(idx);
    engine.register_gui_update_callback(idx, tick);
    engine.set_gui_update_interval(5);

    testing::internal::CaptureStdout();
    loop_thread loop(engine);
    ASSERT_TRUE(wait_until([] { return ticks >= 3; }));

    server.kill_now();
    ASSERT_TRUE(wait_until([&] { return loop.returned(); })) << "the loop did not leave";
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "ZOKA-UI Engine: X connection lost\n");
    EXPECT_EQ(engine.get_xdisplay(), nullptr);
    EXPECT_TRUE(engine.check_all_windows_closed());
    EXPECT_EQ(engine.create_new_afx_window(0, 0, 10, 10, 1.0f, nullptr), -1);
    EXPECT_EQ(engine.destroy_afx_window(idx), 0);
    engine.afx_queue_afx_draw_area_fixed(idx, 0, 0, 5, 5);
    EXPECT_EQ(host_handler_calls, 0) << "the engine's display never reaches the host's handler";

    // The host's connection broke too; its error goes to the host's handler.
    XSync(host, False);
    EXPECT_EQ(host_handler_calls, 1);
    EXPECT_EQ(host_handler_display, host);
    EXPECT_NE(host_handler_display, engine_display);
    XCloseDisplay(host);

    // A new server: the engine connects again and works.
    private_xvfb second;
    ASSERT_TRUE(second.running());
    setenv("DISPLAY", second.display_name().c_str(), 1);
    ASSERT_TRUE(engine.open_display_connection());
    const int again = engine.create_new_afx_window(0, 0, 20, 20, 1.0f, nullptr);
    ASSERT_GE(again, 0);
    EXPECT_EQ(engine.SYS_window_valid(engine.get_SYS_window_idx_for_afx_window(again)), 0);
    testing::internal::CaptureStdout();
    engine.close_display_connection();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ZOKA-UI Engine: XClose\n");

    // Unloading puts the host's handler back.
    afx_restore_io_error_handler();
    EXPECT_EQ(XSetIOErrorHandler(nullptr), host_io_handler);
}

TEST(EngineLostConnection, ConnectionLostWhileNoLoopRunsIsReleasedOnNextUse)
{
    private_xvfb server;
    ASSERT_TRUE(server.running());
    setenv("DISPLAY", server.display_name().c_str(), 1);
    AFX_engine engine;
    ASSERT_TRUE(engine.open_display_connection());
    const int idx = engine.create_new_afx_window(0, 0, 10, 10, 1.0f, nullptr);
    ASSERT_GE(idx, 0);
    server.kill_now();
    // A host thread's request finds the connection broken.
    EXPECT_EQ(engine.destroy_afx_window(idx), 0);
    EXPECT_EQ(engine.get_xdisplay(), nullptr);
    EXPECT_EQ(engine.create_new_afx_window(0, 0, 10, 10, 1.0f, nullptr), -1);

    private_xvfb second;
    ASSERT_TRUE(second.running());
    setenv("DISPLAY", second.display_name().c_str(), 1);
    ASSERT_TRUE(engine.open_display_connection());
    EXPECT_TRUE(engine.check_all_windows_closed()) << "windows of the dead server are forgotten";
    EXPECT_EQ(engine.create_new_afx_window(0, 0, 10, 10, 1.0f, nullptr), 0);
}

} // namespace
