#pragma once
// X helpers for tests: a private Xvfb, a second client on the display (the
// user's or the window manager's side), and the engine's event loop on a
// thread of its own.

#include "gui_engine/AFX_engine.h"
#include "tests/support/wait.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

// A private X server on a free display number (Xvfb -displayfd, -noreset),
// killed on destruction. `screen` is WxHxD; extra arguments follow (e.g.
// "-dpi", "144").
class private_xvfb {
public:
    explicit private_xvfb(const std::string& screen = "640x480x24",
                          const std::vector<std::string>& extra = {});
    ~private_xvfb();
    private_xvfb(const private_xvfb&) = delete;
    private_xvfb& operator=(const private_xvfb&) = delete;
    bool running() const { return m_pid > 0; }
    const std::string& display_name() const { return m_name; }
    // Ends the server as a crash would: SIGKILL, then reaps it.
    void kill_now();

private:
    int m_pid = -1;
    std::string m_name;
};

// XOpenDisplay(name), retried for up to 3 s: a shared server that resets when
// its last client leaves refuses connections for a moment while it does.
Display* open_display_retrying(const char* name = nullptr);

// A second client on the same display, for the user's and the window
// manager's side. Its own protocol errors are counted, never fatal.
class x_client {
public:
    x_client();
    ~x_client();
    x_client(const x_client&) = delete;
    x_client& operator=(const x_client&) = delete;
    Display* display() const { return m_display; }
    // Whether the window exists, asked on this connection.
    bool window_exists(Window window);
    // Waits until the window is mapped and viewable.
    bool wait_viewable(Window window);
    // Root geometry of a window (border excluded).
    bool geometry(Window window, int* x, int* y, unsigned* width, unsigned* height);

private:
    Display* m_display;
};

// Opens the engine's connection, retried like open_display_retrying().
inline bool open_engine(AFX_engine& engine)
{
    return wait_until([&] { return engine.open_display_connection(); }, 3000ms);
}

// Sends the engine's queued requests (creation and property setters do not
// flush) and waits for the server to have handled them.
inline void sync_engine(AFX_engine& engine)
{
    engine.afx_lock_display();
    if (Display* dpy = engine.get_xdisplay())
        XSync(dpy, False);
    engine.afx_unlock_display();
}

// run_engine() on its own thread; stopped and joined on destruction.
class loop_thread {
public:
    explicit loop_thread(AFX_engine& engine)
        : m_engine(engine), m_thread([this] {
              m_engine.run_engine();
              m_returned = true;
          })
    {
    }
    ~loop_thread()
    {
        m_engine.stop_engine();
        join();
    }
    loop_thread(const loop_thread&) = delete;
    loop_thread& operator=(const loop_thread&) = delete;
    bool returned() const { return m_returned; }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    AFX_engine& m_engine;
    std::atomic<bool> m_returned{false};
    std::thread m_thread;
};

} // namespace test_support
