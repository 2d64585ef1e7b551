// X error handling.
//
// Protocol errors: trap_errors() / untrap_errors() bracket a risky request
// (embedding, destruction, validity checks). The trap replaces the
// process-wide X error handler, so the caller keeps it short, synchronises
// before untrapping and always restores the previous handler, which usually
// belongs to the host.
//
// Lost connections: Xlib's default I/O-error handler and its default exit
// handler both end the process, and with it the host and the user's unsaved
// work. The engine's display gets an exit handler of its own that only marks
// the connection lost, and a process-wide I/O-error handler returns for the
// engine's displays so that this exit handler is reached; every other display
// goes on to the handler it replaced. After a loss Xlib refuses further
// requests on the connection, run_engine() leaves, and every operation sees
// no display until open_display_connection() connects again.

#include "gui_engine/AFX_engine.h"

#include "gui_engine/afx_io_errors.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

// Written by AFXErrorHandler on whichever thread Xlib reports the error.
std::atomic<int> trapped_x_error_code{0};

constexpr int max_engine_displays = 16;
std::atomic<Display*> engine_displays[max_engine_displays];

std::mutex io_handler_mutex;
bool io_handler_installed = false;  // io_handler_mutex
std::atomic<XIOErrorHandler> replaced_io_error_handler{nullptr};

bool is_engine_display(Display* display)
{
    for (const std::atomic<Display*>& slot : engine_displays)
        if (slot.load() == display)
            return true;
    return false;
}

int afx_io_error_handler(Display* display)
{
    if (display && is_engine_display(display))
        return 0;  // Xlib goes on to the display's exit handler, which marks it lost
    XIOErrorHandler replaced = replaced_io_error_handler.load();
    return replaced ? replaced(display) : 0;
}

// A plug-in must not leave its handler behind in the host after unloading.
struct io_handler_restorer {
    ~io_handler_restorer() { afx_restore_io_error_handler(); }
} restore_at_unload;

} // namespace

void afx_install_io_error_handler()
{
    std::lock_guard<std::mutex> lock(io_handler_mutex);
    if (io_handler_installed)
        return;
    replaced_io_error_handler = XSetIOErrorHandler(afx_io_error_handler);
    io_handler_installed = true;
}

void afx_restore_io_error_handler()
{
    std::lock_guard<std::mutex> lock(io_handler_mutex);
    if (!io_handler_installed)
        return;
    XIOErrorHandler current = XSetIOErrorHandler(replaced_io_error_handler.load());
    if (current != afx_io_error_handler)
        XSetIOErrorHandler(current);  // someone installed theirs after ours: keep it
    io_handler_installed = false;
}

void afx_register_engine_display(Display* display)
{
    for (std::atomic<Display*>& slot : engine_displays) {
        Display* expected = nullptr;
        if (slot.compare_exchange_strong(expected, display))
            return;
    }
}

void afx_unregister_engine_display(Display* display)
{
    for (std::atomic<Display*>& slot : engine_displays) {
        Display* expected = display;
        if (slot.compare_exchange_strong(expected, nullptr))
            return;
    }
}

void AFX_engine::AFXIOErrorExitHandler(Display* display, void* engine)
{
    // Runs on the thread whose Xlib call found the connection broken, which
    // may hold the display mutex: only raise the flag.
    static_cast<AFX_engine*>(engine)->display_lost = true;
    // Xlib has locked the display for this thread, expecting the process to
    // end here. Left locked, the XCloseDisplay that releases the connection
    // waits forever when another thread makes it (the event thread, after a
    // host thread's request found the server gone).
    XUnlockDisplay(display);
}

void AFX_engine::trap_errors()
{
    trapped_x_error_code = 0;
    previous_error_handler = XSetErrorHandler(AFXErrorHandler);
}

int AFX_engine::untrap_errors()
{
    XSetErrorHandler(previous_error_handler);
    return trapped_x_error_code;
}

int AFX_engine::AFXErrorHandler(Display*, XErrorEvent* event)
{
    trapped_x_error_code = event->error_code;
    std::fputs("ZOKA-UI Engine: XErrorHandler trapped non-fatal X11 problem :(\n", stdout);
    std::fflush(stdout);
    return 0;
}
