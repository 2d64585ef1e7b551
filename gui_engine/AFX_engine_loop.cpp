// One event thread per process runs run_engine(): each pass takes the pending
// X events and turns them into callbacks, then serves each window's dirty
// rectangles to its expose callback, sleeps 1 ms and fires the sched and gui
// update timers. Host threads only create, destroy and queue; all painting and
// every callback happen here. The loop never blocks in Xlib (it polls
// XPending), so stop_engine() takes effect within one pass.
//
// Locks: the run mutex for the whole run; the display mutex only around Xlib
// calls and container accesses, never across a callback; the procs mutex
// around each window's redraw and around the timers, always before the
// display mutex.

#include "gui_engine/AFX_engine.h"

#include "gui_engine/afx_locks.h"

#include <unistd.h>

#include <cstdio>

namespace {

constexpr useconds_t pass_sleep_us = 1000;

} // namespace

void AFX_engine::run_engine()
{
    timespec last_sched{};
    clock_gettime(CLOCK_MONOTONIC, &last_sched);
    timespec last_gui = last_sched;
    pthread_mutex_lock(&run_mutex);
    loop_thread = pthread_self();
    loop_running = true;

    while (!stop_flag) {
        int pending = 0;
        bool lost = false;
        pthread_mutex_lock(&display_mutex);
        if (Display* dpy = live_display())
            pending = XPending(dpy);
        lost = display_lost;  // XPending is where a broken connection shows
        pthread_mutex_unlock(&display_mutex);
        if (lost)
            break;

        for (int i = 0; i < pending; ++i) {
            XEvent event;
            pthread_mutex_lock(&display_mutex);
            Display* dpy = live_display();
            if (dpy)
                XNextEvent(dpy, &event);
            pthread_mutex_unlock(&display_mutex);
            if (!dpy)
                break;
            dispatch_x_events(&event);
        }

        redraw_pass();
        usleep(pass_sleep_us);

        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        run_timers(now, last_sched, last_gui);
    }

    shut_down_loop();
    stop_flag = false;
    loop_running = false;
    pthread_mutex_unlock(&run_mutex);
}

// Serves every open window's dirty rectangles, last in first out. The display
// mutex is released while the expose callback runs, so the callback may queue
// more areas; those come back through the server and wait for the next pass.
void AFX_engine::redraw_pass()
{
    for (int k = 0; k < AFX_MAX_WINDOWS; ++k) {
        const int idx = active_list[k];
        if (idx < 0)
            break;
        AFXWindowRecord& record = windows[idx];
        if (!record.open)
            continue;
        afx_procs_guard procs_lock(&procs_mutex);
        pthread_mutex_lock(&display_mutex);
        while (record.regions.size() > 0) {
            const AFXRect r = record.regions.pop_back();
            if (r.empty())
                continue;
            pthread_mutex_unlock(&display_mutex);
            if (afx_expose_proc expose = record.expose_callback)
                expose(r.left, r.top, r.right - r.left, r.bottom - r.top, idx, record.callback_data);
            pthread_mutex_lock(&display_mutex);
        }
        pthread_mutex_unlock(&display_mutex);
    }
}

// diff_time() counts milliseconds within a second only, so an interval of
// 1000 or more never fires, and an interval of 50 fires once at least 51 ms
// have passed.
void AFX_engine::run_timers(const timespec& now, timespec& last_sched, timespec& last_gui)
{
    afx_procs_guard procs_lock(&procs_mutex);

    const int sched_ms = sched_interval_ms;
    if (sched_ms != 0 && diff_time(last_sched, now) > sched_ms) {
        if (afx_sched_proc sched = sched_event_callback) {
            if (!sched() && sched_event_callback == sched)
                sched_event_callback = nullptr;
        }
        last_sched = now;
    }

    const int gui_ms = gui_update_interval_ms;
    if (gui_ms != 0 && diff_time(last_gui, now) > gui_ms) {
        for (int k = 0; k < AFX_MAX_WINDOWS; ++k) {
            const int idx = active_list[k];
            if (idx < 0)
                break;
            AFXWindowRecord& record = windows[idx];
            afx_gui_update_proc update = record.gui_update_callback;
            if (update && !update(record.callback_data) && record.gui_update_callback == update)
                record.gui_update_callback = nullptr;
        }
        last_gui = now;
    }
}

// Destroys every window the loop served; no window destroy callback is
// called. After a lost connection the windows went with the server: the
// records are only forgotten and the dead connection released.
void AFX_engine::shut_down_loop()
{
    afx_procs_guard procs_lock(&procs_mutex);
    afx_lock_guard display_lock(&display_mutex);
    if (display_lost) {
        forget_lost_display_locked();
        std::fputs("ZOKA-UI Engine: X connection lost\n", stdout);
        std::fflush(stdout);
        return;
    }
    Display* dpy = display;
    if (!dpy)
        return;
    trap_errors();
    for (int i = 0; i < AFX_MAX_WINDOWS; ++i) {
        if (windows[i].open)
            destroy_record_locked(dpy, i);
        active_list[i] = -1;
    }
    XSync(dpy, False);
    untrap_errors();
}
