#pragma once
// What the tests share: waiting, files and processes, the built plug-in as a
// host loads it, pixels and PNG files, and X (private servers, a client of
// the test's own with host windows, screenshots and real pointer events, and
// the GUI engine's loop on a thread). Build definitions name the built
// module (ZE710_PLUGIN_PATH), ze710-host (ZE710_HOST_PATH) and the test's
// folders for pictures (ZE710_TEST_OUTPUT_DIR, ZE710_TEST_REFERENCE_DIR).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "gui_engine/AFX_engine.h"
#include "tools/host/vst_host.h"

namespace test_support {

using namespace std::chrono_literals;

// ---- waiting --------------------------------------------------------------

// Polls pred every 2 ms until it holds (true) or the timeout passes (false).
template <typename Pred>
bool wait_until(Pred pred, std::chrono::milliseconds timeout = 5000ms)
{
    for (const auto deadline = std::chrono::steady_clock::now() + timeout; !pred(); std::this_thread::sleep_for(2ms))
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    return true;
}

// ---- files and processes --------------------------------------------------

// A whole file's bytes ("" when it cannot be read).
std::string slurp(const std::string& path);

// A fresh temporary folder, removed with everything in it on destruction.
class scratch_dir {
public:
    scratch_dir();
    ~scratch_dir();
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    std::set<std::string> list() const;  // the names in the folder

private:
    std::string m_path;
};

// The process's standard output (where the plug-in reports) redirected into
// a file while this lives; finish() ends it and returns what was printed.
class stdout_capture {
public:
    stdout_capture();
    ~stdout_capture() { finish(); }
    std::string finish();

private:
    int m_saved = -1;
    std::string m_path, m_text;
};

// What a program did: exit code (-1 when killed), the signal, its output.
struct run_result {
    int code = -1, signal = 0;
    std::string out, err;
};
// A program started with its input from /dev/null and its output into
// files; wait() collects it (the destructor too). Its folder, environment
// and limits go through env(1) and prlimit(1): {"env", "-C", dir, ...}.
class child {
public:
    explicit child(const std::vector<std::string>& argv);
    ~child();
    pid_t pid() const { return m_pid; }
    run_result wait();

private:
    pid_t m_pid = -1;
    std::string m_out, m_err;
};
// Runs a program to its end.
inline run_result run(const std::vector<std::string>& argv)
{
    return child(argv).wait();
}

// ---- the plug-in ----------------------------------------------------------

// One instance of the built module, loaded through its entry point, and
// started (rate, block size, resume) when a rate is given; fails the test
// when it cannot be loaded.
std::unique_ptr<vsthost::VstPlugin> load(float rate = 0.0f, int block = 512);
// Deterministic noise in [-0.5, 0.5).
std::vector<float> noise(size_t n, uint32_t seed);
// in_l and in_r (in_l twice when in_r is empty) through processReplacing in
// calls of the given sizes in turn; the left output, the right into *out_r.
std::vector<float> process(vsthost::VstPlugin& p, const std::vector<float>& in_l, std::vector<float> in_r = {},
                           const std::vector<int>& calls = {512}, std::vector<float>* out_r = nullptr);

// ---- pixels ---------------------------------------------------------------

// 8-bit red, green, blue, alpha of a pixel buffer.
struct rgba {
    int r, g, b, a;
    bool operator==(const rgba& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
    bool operator!=(const rgba& o) const { return !(*this == o); }
};
// Pixel (x, y) of a buffer.
rgba pixel(const afx_pixbuf* pb, int x, int y);
// A buffer the engine allocated, of one colour, freed by the engine.
struct pixbuf_deleter {
    void operator()(afx_pixbuf* pb) const { AFX_engine::afx_pixbuf_destroy_with_allocation(pb); }
};
using owned_pixbuf = std::unique_ptr<afx_pixbuf, pixbuf_deleter>;
owned_pixbuf new_pixbuf(int width, int height, rgba c);

// 8-bit red, green, blue as the server or a PNG file holds them.
struct rgb {
    int r, g, b;
    bool operator==(const rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const rgb& o) const { return !(*this == o); }
};
// An 8-bit value as a visual's mask of n bits stores and returns it (high
// bits repeated in the low ones).
int quantise(int value, unsigned long mask);
// A drawable's rectangle as the server holds it (XGetImage), expanded to 8
// bits by the masks of the image or the default visual.
std::vector<rgb> read_back(Display* dpy, Drawable drawable, int x, int y, int width, int height);
// PNG files of 8-bit RGB pixels, row by row; false on failure.
bool write_png(const std::string& path, int width, int height, const std::vector<rgb>& pixels);
bool read_png(const std::string& path, int* width, int* height, std::vector<rgb>* pixels);
// Saves a screenshot as out_dir/name and compares it with ref_dir/name:
// empty when at most one pixel in a thousand differs by a rounding step and
// none in ten thousand by more, else what differs. ZE710_WRITE_REFERENCES=1
// makes the reference from this run. EXPECT_REFERENCE uses the test's folders.
std::string compare_reference(const std::string& ref_dir, const std::string& out_dir, const std::string& name,
                              int width, int height, const std::vector<rgb>& shot);
#define EXPECT_REFERENCE(name, width, height, shot)                                                          \
    EXPECT_EQ(test_support::compare_reference(ZE710_TEST_REFERENCE_DIR, ZE710_TEST_OUTPUT_DIR, name, width, \
                                              height, shot), "")

// ---- X --------------------------------------------------------------------

// A private X server on a free display number (Xvfb -displayfd), killed on
// destruction. `screen` is WxHxD; extra arguments follow (e.g. "-dpi", "144").
class private_xvfb {
public:
    explicit private_xvfb(const std::string& screen = "640x480x24", const std::vector<std::string>& extra = {});
    ~private_xvfb() { kill_now(); }
    bool running() const { return m_pid > 0; }
    const std::string& display_name() const { return m_name; }
    void use() const;  // points DISPLAY here
    void kill_now();   // ends the server as a crash would (SIGKILL)

private:
    int m_pid = -1;
    std::string m_name;
};

// A client of the test's own on DISPLAY: the host's or the user's side. Its
// protocol errors are counted, never fatal.
class x_client {
public:
    x_client();
    ~x_client();
    Display* display() const { return m_display; }
    bool window_exists(Window w);
    bool wait_viewable(Window w);
    bool geometry(Window w, int* x, int* y, int* width, int* height);  // on the root
    std::vector<Window> children(Window w);
    // A mapped top-level window, as a DAW makes one for an editor.
    Window host_window(int width, int height, int x = 0, int y = 0);
    void destroy(Window w);
    // A window's pixels (children included); all of it when width is 0.
    std::vector<rgb> capture(Window w, int x = 0, int y = 0, int width = 0, int height = 0);
    // Real pointer events (XTest): move to root (x, y), press or release.
    void move(int x, int y);
    void button(unsigned button, bool down);

private:
    Display* m_display;
};

// Opens the engine's connection, retried for up to 3 s.
bool open_engine(AFX_engine& engine);
// Sends the engine's queued requests and waits until the server handled them.
void sync_engine(AFX_engine& engine);

// run_engine() on a thread of its own; stopped and joined on destruction.
class loop_thread {
public:
    explicit loop_thread(AFX_engine& engine);
    ~loop_thread();
    bool returned() const { return m_returned; }

private:
    AFX_engine& m_engine;
    std::atomic<bool> m_returned{false};
    std::thread m_thread;
};

} // namespace test_support
