// One event thread per process runs run_engine(): each pass takes the pending
// X events and turns them into callbacks, serves each window's dirty
// rectangles to its expose callback and fires the sched and gui update timers
// that are due, then sleeps until there is more to do. Host threads only
// create, destroy and queue; all painting and every callback happen here.
//
// The sleep is a poll() on the X connection and on the engine's wake-up
// descriptor, bounded by the next timer that has a callback to call. Before
// it the loop flushes its requests and takes what Xlib already holds (its
// event queue and what the library has read off the socket), since poll()
// only sees the socket. Other threads write the wake-up descriptor after
// their own Xlib calls and on stop, so a stop takes effect at once and a
// pointer event is dispatched as soon as it arrives. Nothing changing means
// no wake-up at all, apart from the timers.
//
// Locks: the run mutex for the whole run; the display mutex only around Xlib
// calls and container accesses, never across a callback or the sleep; the
// procs mutex around each window's redraw and around the timers, always
// before the display mutex.

#include "gui_engine/AFX_engine.h"

#include "gui_engine/afx_locks.h"

#include <poll.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace {

constexpr long nanoseconds_per_second = 1000000000L;
constexpr long nanoseconds_per_millisecond = 1000000L;
// diff_time() never exceeds 999, so a timer of this interval or more never fires.
constexpr int never_firing_interval_ms = 999;
// Without a wake-up descriptor the loop cannot be woken and falls back to a
// pass every millisecond.
constexpr long fallback_wait_ns = nanoseconds_per_millisecond;

// Nanoseconds until diff_time(last, now) first exceeds interval_ms. Like
// diff_time it counts the nanosecond fields only, so it agrees with the test
// in run_timers() whatever the whole seconds say. A negative interval fires
// every pass, as often as a 1 ms wait allows.
long ns_until_due(const timespec& last, const timespec& now, int interval_ms)
{
    if (interval_ms < 0)
        return nanoseconds_per_millisecond;
    long elapsed = now.tv_nsec - last.tv_nsec;
    if (elapsed < 0)
        elapsed += nanoseconds_per_second;
    const long due = (static_cast<long>(interval_ms) + 1) * nanoseconds_per_millisecond;
    return due > elapsed ? due - elapsed : 0;
}

long earlier(long a, long b)
{
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return a < b ? a : b;
}

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
        afx_lock_display();
        if (Display* dpy = live_display())
            pending = XPending(dpy);
        lost = display_lost;  // XPending is where a broken connection shows
        afx_unlock_display();
        if (lost)
            break;

        for (int i = 0; i < pending; ++i) {
            XEvent event;
            afx_lock_display();
            Display* dpy = live_display();
            if (dpy)
                XNextEvent(dpy, &event);
            afx_unlock_display();
            if (!dpy)
                break;
            dispatch_x_events(&event);
        }

        redraw_pass();

        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        run_timers(now, last_sched, last_gui);

        if (!stop_flag)
            wait_for_work(last_sched, last_gui);
    }

    // A stop that keeps the windows leaves them to the next run; windows on a
    // lost connection are forgotten either way.
    if (display_lost || !keep_windows_on_stop)
        shut_down_loop();
    stop_flag = false;
    keep_windows_on_stop = false;
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
        afx_lock_display();
        while (record.regions.size() > 0) {
            const AFXRect r = record.regions.pop_back();
            if (r.empty())
                continue;
            afx_unlock_display();
            if (afx_expose_proc expose = record.expose_callback)
                expose(r.left, r.top, r.right - r.left, r.bottom - r.top, idx, record.callback_data);
            afx_lock_display();
        }
        afx_unlock_display();
    }
}

// diff_time() counts milliseconds within a second only, so an interval of
// 999 or more never fires, and an interval of 50 fires once at least 51 ms
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

// A timer with nothing to call is not waited for: firing it would change
// nothing but its last time, and registering a callback wakes the loop,
// which then fires the timer at once if its interval has passed.
long AFX_engine::next_timer_ns(const timespec& now, const timespec& last_sched,
                               const timespec& last_gui)
{
    long next = -1;
    const int sched_ms = sched_interval_ms;
    if (sched_ms != 0 && sched_ms < never_firing_interval_ms && sched_event_callback)
        next = ns_until_due(last_sched, now, sched_ms);

    const int gui_ms = gui_update_interval_ms;
    if (gui_ms != 0 && gui_ms < never_firing_interval_ms) {
        for (int k = 0; k < AFX_MAX_WINDOWS; ++k) {
            const int idx = active_list[k];
            if (idx < 0)
                break;
            if (windows[idx].gui_update_callback) {
                next = earlier(next, ns_until_due(last_gui, now, gui_ms));
                break;
            }
        }
    }
    return next;
}

void AFX_engine::wait_for_work(const timespec& last_sched, const timespec& last_gui)
{
    pollfd fds[2];
    nfds_t count = 0;
    if (wake_fd >= 0)
        fds[count++] = pollfd{wake_fd, POLLIN, 0};

    bool work = false;
    afx_lock_display();
    if (Display* dpy = live_display()) {
        // Flushes, then counts the events Xlib holds, reading what has
        // reached the socket without blocking: events another Xlib call
        // (a reply awaited on this thread) took off the socket are in Xlib's
        // queue, where poll() would not see them.
        work = XPending(dpy) > 0;
        fds[count++] = pollfd{ConnectionNumber(dpy), POLLIN, 0};
    }
    work = work || display_lost;
    for (int k = 0; k < AFX_MAX_WINDOWS && !work; ++k) {
        const int idx = active_list[k];
        if (idx < 0)
            break;
        work = windows[idx].open && windows[idx].regions.size() > 0;
    }
    afx_unlock_display();
    if (work || stop_flag)
        return;

    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    long wait_ns = next_timer_ns(now, last_sched, last_gui);
    if (wake_fd < 0)
        wait_ns = earlier(wait_ns, fallback_wait_ns);
    timespec timeout{wait_ns / nanoseconds_per_second, wait_ns % nanoseconds_per_second};
    ppoll(fds, count, wait_ns < 0 ? nullptr : &timeout, nullptr);

    if (wake_fd >= 0) {
        uint64_t wakes = 0;
        if (read(wake_fd, &wakes, sizeof wakes) < 0) {
            // EAGAIN: woken by the connection or the timer, not by a thread.
        }
    }
}

// Destroys every window the loop served; no window destroy callback is
// called. After a lost connection the windows went with the server: the
// records are only forgotten and the dead connection released.
void AFX_engine::shut_down_loop()
{
    afx_procs_guard procs_lock(&procs_mutex);
    afx_display_guard display_lock(this);
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
