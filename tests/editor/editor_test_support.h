#pragma once
// Helpers for the editor tests: a private X server big enough for the largest
// editor (936 x 2040 at scale 2), host windows as a DAW makes them, window
// inspection from a client of our own, pixels read back from the server,
// PNG files, and standard output captured while the plug-in prints.
//
// Every test program runs on its own server, so windows of other test
// programs can never cover the windows read back here.

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/gui_output/output_test_support.h"

namespace editor_test {

using namespace std::chrono_literals;
using output_test::rgb;

// Polls pred every 2 ms until it holds or the timeout passes.
template <typename Pred>
bool wait_until(Pred pred, std::chrono::milliseconds timeout = 5000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// Starts the private server and points DISPLAY at it before any engine
// connects. Register with ::testing::AddGlobalTestEnvironment.
class private_display : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
    static const std::string& name();
};

// A client connection of the test's own, with protocol errors counted
// instead of fatal.
class x_client {
public:
    x_client();
    ~x_client();
    x_client(const x_client&) = delete;
    x_client& operator=(const x_client&) = delete;
    Display* dpy() const { return m_dpy; }

    // A mapped top-level window, as a DAW gives it to an editor.
    Window make_host_window(int width, int height);
    void destroy(Window w);
    std::vector<Window> children(Window w);
    // Top-level windows whose class hint is `cls`.
    std::vector<Window> top_levels_of_class(const std::string& cls);
    std::string wm_class(Window w);  // "name/class"
    std::string wm_name(Window w);
    std::string net_wm_name(Window w);
    std::string window_type(Window w);  // atom name of the first _NET_WM_WINDOW_TYPE
    bool viewable(Window w);
    bool geometry(Window w, int* x, int* y, int* width, int* height);
    // The window's pixels (children included) as the server holds them.
    std::vector<rgb> capture(Window w, int x, int y, int width, int height);
    std::vector<rgb> capture(Window w);

private:
    Display* m_dpy = nullptr;
};

// Fraction of pixels where some channel differs by more than tolerance.
double differing_fraction(const std::vector<rgb>& a, const std::vector<rgb>& b, int tolerance);
bool same_pixels(const std::vector<rgb>& a, const std::vector<rgb>& b);

// Reads an 8-bit RGB or RGBA PNG (alpha dropped); false on failure.
bool read_png(const std::string& path, int* width, int* height, std::vector<rgb>* pixels);

// Standard output of the whole process, redirected into a file while alive.
class stdout_capture {
public:
    stdout_capture();
    ~stdout_capture();
    stdout_capture(const stdout_capture&) = delete;
    stdout_capture& operator=(const stdout_capture&) = delete;
    // Everything printed so far; ends the capture.
    std::string finish();

private:
    int m_saved_fd = -1;
    std::string m_path;
    bool m_done = false;
};

int count_lines(const std::string& text, const std::string& line);

// Threads of this process (/proc/self/task).
int thread_count();

} // namespace editor_test
