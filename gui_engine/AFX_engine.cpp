// AFX_engine: construction, the display connection, the window table and its
// active list, the callback registry, pointer bookkeeping and clock helpers.

#include "gui_engine/AFX_engine.h"

#include "gui_engine/afx_io_errors.h"
#include "gui_engine/afx_locks.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace {

constexpr long nanoseconds_per_second = 1000000000L;
constexpr long nanoseconds_per_millisecond = 1000000L;

} // namespace

AFX_engine::AFX_engine()
{
    for (int i = 0; i < AFX_MAX_WINDOWS; ++i) {
        afx_window_init(i);
        active_list[i] = -1;
    }
    sched_interval_ms = 0;
    gui_update_interval_ms = 0;
    sched_event_callback = nullptr;
    display = nullptr;
    display_lost = false;
    loop_running = false;
    stop_flag = false;
    last_mouse_x = 0.0;
    last_mouse_y = 0.0;
    key_text_buffer[0] = '\0';
    compose_status = XComposeStatus{};
    clock_gettime(CLOCK_MONOTONIC, &last_click_time);

    pthread_mutex_init(&display_mutex, nullptr);
    pthread_mutex_init(&run_mutex, nullptr);
    pthread_mutexattr_t error_checking;
    pthread_mutexattr_init(&error_checking);
    pthread_mutexattr_settype(&error_checking, PTHREAD_MUTEX_ERRORCHECK);
    pthread_mutex_init(&procs_mutex, &error_checking);
    pthread_mutexattr_destroy(&error_checking);
    wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

AFX_engine::~AFX_engine()
{
    close_display_connection();
    pthread_mutex_destroy(&procs_mutex);
    pthread_mutex_destroy(&run_mutex);
    pthread_mutex_destroy(&display_mutex);
    for (AFXWindowRecord& record : windows)
        record.regions.shrink();
    if (wake_fd >= 0)
        close(wake_fd);
}

// ---------------------------------------------------------------------------
// Connection

bool AFX_engine::open_display_connection()
{
    afx_display_guard display_lock(this);
    if (display && !display_lost && !loop_running)
        read_unwatched_connection_locked();
    if (display_lost)
        forget_lost_display_locked();
    if (display)
        return true;

    afx_install_io_error_handler();
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return false;
    afx_register_engine_display(dpy);
    XSetIOErrorExitHandler(dpy, AFXIOErrorExitHandler, this);
    Screen* first_screen = ScreenOfDisplay(dpy, 0);
    visual = first_screen->root_visual;
    depth = first_screen->root_depth;
    display = dpy;
    return true;
}

void AFX_engine::close_display_connection()
{
    keep_windows_on_stop = false;
    stop_flag = true;
    if (on_loop_thread())
        return;  // the run mutex is ours: waiting for it would never end
    wake_engine();
    pthread_mutex_lock(&run_mutex);  // a running loop holds it until it has returned
    {
        afx_display_guard display_lock(this);
        if (display_lost) {
            forget_lost_display_locked();
        } else if (Display* dpy = display) {
            trap_errors();
            std::fputs("ZOKA-UI Engine: XClose\n", stdout);
            std::fflush(stdout);
            XCloseDisplay(dpy);
            afx_unregister_engine_display(dpy);
            display = nullptr;
            untrap_errors();
            // Windows the loop did not destroy went with the connection; their
            // ids mean nothing on a later connection.
            forget_windows_locked();
        }
    }
    pthread_mutex_unlock(&run_mutex);
    stop_flag = false;
}

// While no loop runs (the plug-in runs none while no editor is open) nobody
// reads the connection, and a server that went away meanwhile has not been
// noticed: a read does (no request is sent, so no write can fail), and the
// next editor connects afresh instead of working on a dead connection. Xlib
// reads only while its queue is empty, so the queued events are held aside
// and put back in their order in front of whatever the read brought.
void AFX_engine::read_unwatched_connection_locked()
{
    Display* dpy = display;
    std::vector<XEvent> held;
    while (XEventsQueued(dpy, QueuedAlready) > 0) {
        XEvent event;
        XNextEvent(dpy, &event);
        held.push_back(event);
    }
    XEventsQueued(dpy, QueuedAfterReading);
    if (display_lost)
        return;
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        XPutBackEvent(dpy, &*it);
}

Display* AFX_engine::live_display()
{
    return display_lost ? nullptr : static_cast<Display*>(display);
}

void AFX_engine::forget_windows_locked()
{
    for (int i = 0; i < AFX_MAX_WINDOWS; ++i) {
        if (windows[i].open)
            afx_window_init(i);
        active_list[i] = -1;
    }
    busy_cursor = 0;
}

void AFX_engine::forget_lost_display_locked()
{
    if (Display* dpy = display) {
        // The connection is marked broken, so Xlib closes it without talking
        // to the server.
        XCloseDisplay(dpy);
        afx_unregister_engine_display(dpy);
    }
    display = nullptr;
    display_lost = false;
    forget_windows_locked();
}

Display* AFX_engine::get_xdisplay()
{
    return live_display();
}

bool AFX_engine::display_held_by_caller()
{
    const pthread_t owner = display_owner;
    return owner != pthread_t{} && pthread_equal(owner, pthread_self());
}

void AFX_engine::release_callback_data(void* data, void (*dispose)(void*), void* arg)
{
    {
        afx_display_guard display_lock(this);
        if (data && data == callback_data_in_use) {
            // One callback runs at a time, and each owner is released once.
            deferred_dispose = dispose;
            deferred_dispose_arg = arg;
            return;
        }
    }
    dispose(arg);
}

bool AFX_engine::event_callback_running()
{
    afx_display_guard display_lock(this);
    return callback_data_in_use != nullptr;
}

pthread_mutex_t* AFX_engine::get_x_display_mutex()
{
    return &display_mutex;
}

void AFX_engine::afx_lock_display()
{
    pthread_mutex_lock(&display_mutex);
    display_owner = pthread_self();
}

void AFX_engine::afx_unlock_display()
{
    display_owner = pthread_t{};
    pthread_mutex_unlock(&display_mutex);
    // The caller's Xlib calls may have queued requests that nobody flushes
    // or read events into Xlib's queue, where the loop's poll() cannot see
    // them: the loop takes a pass. The loop itself flushes and looks at the
    // queue before it waits.
    if (loop_running)
        wake_engine();
}

bool AFX_engine::on_loop_thread()
{
    return loop_running && pthread_equal(loop_thread, pthread_self());
}

// ---------------------------------------------------------------------------
// Loop control and clock

void AFX_engine::stop_engine()
{
    keep_windows_on_stop = false;
    stop_flag = true;
    wake_engine();
}

void AFX_engine::stop_engine_keep_windows()
{
    keep_windows_on_stop = true;
    stop_flag = true;
    wake_engine();
}

void AFX_engine::clear_stop_request()
{
    stop_flag = false;
    keep_windows_on_stop = false;
}

// The loop thread itself needs no wake-up: it looks at everything again
// before it waits.
void AFX_engine::wake_engine()
{
    if (wake_fd < 0 || on_loop_thread())
        return;
    const uint64_t one = 1;
    if (write(wake_fd, &one, sizeof one) < 0) {
        // EAGAIN: the counter is full, so the loop has a wake-up pending anyway.
    }
}

void AFX_engine::set_gui_update_interval(int ms)
{
    gui_update_interval_ms = ms;
    wake_engine();
}

int AFX_engine::get_gui_update_interval()
{
    return gui_update_interval_ms;
}

void AFX_engine::set_sched_callback_interval(int ms)
{
    sched_interval_ms = ms;
    wake_engine();
}

int AFX_engine::get_sched_callback_interval()
{
    return sched_interval_ms;
}

int AFX_engine::diff_time(timespec a, timespec b)
{
    long d = b.tv_nsec - a.tv_nsec;
    if (d < 0)
        d += nanoseconds_per_second;
    return static_cast<int>(d / nanoseconds_per_millisecond);
}

float AFX_engine::diff_timef(timespec a, timespec b)
{
    if (b.tv_nsec < a.tv_nsec)
        return static_cast<float>(b.tv_sec - 1 - a.tv_sec) +
               static_cast<float>(b.tv_nsec + nanoseconds_per_second - a.tv_nsec) / 1e9f;
    if (b.tv_sec < a.tv_sec)
        return -1.0f;
    return static_cast<float>(b.tv_sec - a.tv_sec) + static_cast<float>(b.tv_nsec - a.tv_nsec) / 1e9f;
}

// ---------------------------------------------------------------------------
// Window table

int AFX_engine::get_AFX_window_idx_for_X_window(Window window)
{
    if (window == 0)
        return -1;  // free records hold 0
    for (int i = 0; i < AFX_MAX_WINDOWS; ++i)
        if (windows[i].sys_window == window)
            return i;
    return -1;
}

Window AFX_engine::get_SYS_window_idx_for_afx_window(int idx)
{
    if (!valid_index(idx) || !windows[idx].open)
        return 0;
    return windows[idx].sys_window;
}

int AFX_engine::afx_get_afx_window_width(int idx)
{
    return valid_index(idx) ? static_cast<int>(windows[idx].width) : 0;
}

int AFX_engine::afx_get_afx_window_height(int idx)
{
    return valid_index(idx) ? static_cast<int>(windows[idx].height) : 0;
}

void AFX_engine::register_data_pointer(int idx, void* data)
{
    if (valid_index(idx))
        windows[idx].data_pointer = data;
}

void* AFX_engine::get_window_data_pointer(int idx)
{
    return valid_index(idx) ? static_cast<void*>(windows[idx].data_pointer) : nullptr;
}

bool AFX_engine::check_all_windows_closed()
{
    for (const AFXWindowRecord& record : windows)
        if (record.open)
            return false;
    return true;
}

void AFX_engine::afx_add_afx_window_to_active_list(int idx)
{
    for (int i = 0; i < AFX_MAX_WINDOWS; ++i) {
        if (active_list[i] < 0) {
            active_list[i] = idx;
            return;
        }
    }
}

void AFX_engine::afx_remove_afx_window_from_active_list(int idx)
{
    for (int i = 0; i < AFX_MAX_WINDOWS; ++i) {
        if (active_list[i] == idx) {
            active_list[i] = -1;
            break;
        }
    }
    // Close the gap so that used entries stay in front, in their order.
    int used = 0;
    for (int i = 0; i < AFX_MAX_WINDOWS; ++i) {
        const int32_t entry = active_list[i];
        if (entry >= 0)
            active_list[used++] = entry;
    }
    for (int i = used; i < AFX_MAX_WINDOWS; ++i)
        active_list[i] = -1;
}

void AFX_engine::afx_window_init(int idx)
{
    if (!valid_index(idx))
        return;
    AFXWindowRecord& record = windows[idx];
    record.sys_window = 0;
    record.icon_pixmap = 0;
    record.width = 0;
    record.height = 0;
    record.open = false;
    record.scale_factor = 1.0f;
    record.inverse_scale = 65536;
    record.callback_data = nullptr;
    afx_window_invalidate_procs(idx);
    AFXRegionContainer empty;
    record.regions.swap(empty);  // the old storage goes with `empty`
}

void AFX_engine::afx_window_invalidate_procs(int idx)
{
    if (!valid_index(idx))
        return;
    AFXWindowRecord& record = windows[idx];
    record.configure_callback = nullptr;
    record.expose_callback = nullptr;
    record.button_press_callback = nullptr;
    record.button_release_callback = nullptr;
    record.motion_notify_callback = nullptr;
    record.reparent_callback = nullptr;
    record.client_message_callback = nullptr;
    record.create_callback = nullptr;
    record.redraw_callback = nullptr;
    record.double_click_callback = nullptr;
    record.keypress_callback = nullptr;
    record.keyrelease_callback = nullptr;
    record.selection_callback = nullptr;
    record.gui_update_callback = nullptr;
}

void AFX_engine::invalidate_afx_window(int idx)
{
    if (!valid_index(idx))
        return;
    afx_procs_guard procs_lock(&procs_mutex);
    afx_display_guard display_lock(this);
    if (live_display() && windows[idx].open)
        afx_window_invalidate_procs(idx);
}

// ---------------------------------------------------------------------------
// Callback registry. An index outside the table is ignored.

void AFX_engine::register_configure_callback(int idx, afx_configure_proc proc)
{
    if (valid_index(idx))
        windows[idx].configure_callback = proc;
}

void AFX_engine::register_expose_callback(int idx, afx_expose_proc proc)
{
    if (valid_index(idx))
        windows[idx].expose_callback = proc;
}

void AFX_engine::register_button_press_callback(int idx, afx_button_proc proc)
{
    if (valid_index(idx))
        windows[idx].button_press_callback = proc;
}

void AFX_engine::register_button_release_callback(int idx, afx_button_proc proc)
{
    if (valid_index(idx))
        windows[idx].button_release_callback = proc;
}

void AFX_engine::register_motion_notify_callback(int idx, afx_motion_proc proc)
{
    if (valid_index(idx))
        windows[idx].motion_notify_callback = proc;
}

void AFX_engine::register_reparent_callback(int idx, afx_reparent_proc proc)
{
    if (valid_index(idx))
        windows[idx].reparent_callback = proc;
}

void AFX_engine::register_client_message_callback(int idx, afx_client_message_proc proc)
{
    if (valid_index(idx))
        windows[idx].client_message_callback = proc;
}

void AFX_engine::register_create_callback(int idx, afx_create_proc proc)
{
    if (valid_index(idx))
        windows[idx].create_callback = proc;
}

void AFX_engine::register_redraw_callback(int idx, afx_redraw_proc proc)
{
    if (valid_index(idx))
        windows[idx].redraw_callback = proc;
}

void AFX_engine::register_double_click_callback(int idx, afx_button_proc proc)
{
    if (valid_index(idx))
        windows[idx].double_click_callback = proc;
}

void AFX_engine::register_window_destroy_callback(int idx, afx_window_destroy_proc proc)
{
    if (valid_index(idx))
        windows[idx].window_destroy_callback = proc;
}

void AFX_engine::register_keypress_callback(int idx, afx_key_proc proc)
{
    if (valid_index(idx))
        windows[idx].keypress_callback = proc;
}

void AFX_engine::register_keyrelease_callback(int idx, afx_key_proc proc)
{
    if (valid_index(idx))
        windows[idx].keyrelease_callback = proc;
}

void AFX_engine::register_selection_callback(int idx, afx_selection_proc proc)
{
    if (valid_index(idx))
        windows[idx].selection_callback = proc;
}

void AFX_engine::register_gui_update_callback(int idx, afx_gui_update_proc proc)
{
    if (valid_index(idx))
        windows[idx].gui_update_callback = proc;
    wake_engine();  // the loop arms the gui update timer only while some window has a callback
}

void AFX_engine::register_sched_event_callback(afx_sched_proc proc)
{
    sched_event_callback = proc;
    wake_engine();
}

// ---------------------------------------------------------------------------
// Pointer bookkeeping

void AFX_engine::init_mouse(double x, double y)
{
    last_mouse_x = x;
    last_mouse_y = y;
}

int AFX_engine::get_mouse_delta_x(double x)
{
    const int delta = static_cast<int>(x - last_mouse_x);
    last_mouse_x = x;
    return delta;
}

int AFX_engine::get_mouse_delta_y(double y)
{
    const int delta = static_cast<int>(last_mouse_y - y);
    last_mouse_y = y;
    return delta;
}

void AFX_engine::get_last_mouse_pos(double* x, double* y)
{
    if (x)
        *x = last_mouse_x;
    if (y)
        *y = last_mouse_y;
}
