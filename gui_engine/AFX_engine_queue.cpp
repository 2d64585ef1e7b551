// Synthetic exposes: an area of a window marked for repainting. The event is
// only queued in Xlib's output buffer; the loop flushes it before it next
// waits (a host thread's release of the display mutex wakes it) and the
// server sends it back as an Expose event, which the loop adds to the
// window's region container. Any thread, including callbacks on the event
// thread (the display mutex is free while callbacks run).

#include "gui_engine/AFX_engine.h"

#include "gui_engine/afx_locks.h"

namespace {

int scaled(int logical, float scale)
{
    return static_cast<int>(static_cast<float>(logical) * scale + 0.5f);
}

} // namespace

// Display mutex held.
void AFX_engine::send_expose(Display* dpy, Window window, int x, int y, int width, int height)
{
    XEvent event{};
    event.xexpose.type = Expose;
    event.xexpose.display = dpy;
    event.xexpose.window = window;
    event.xexpose.x = x;
    event.xexpose.y = y;
    event.xexpose.width = width;
    event.xexpose.height = height;
    event.xexpose.count = 0;
    XSendEvent(dpy, window, True, ExposureMask, &event);
}

void AFX_engine::afx_queue_afx_draw_area_fixed(int idx, int x, int y, int width, int height)
{
    if (!valid_index(idx))
        return;
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    if (dpy && windows[idx].open)
        send_expose(dpy, windows[idx].sys_window, x, y, width, height);
}

void AFX_engine::afx_queue_afx_draw_area_scaled(int idx, int x, int y, int width, int height)
{
    if (!valid_index(idx))
        return;
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    if (!dpy || !windows[idx].open)
        return;
    const float scale = windows[idx].scale_factor;
    send_expose(dpy, windows[idx].sys_window, x, y, scaled(width, scale), scaled(height, scale));
}

void AFX_engine::afx_queue_draw_area_fixed(int sys_window, int x, int y, int width, int height)
{
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    if (!dpy)
        return;
    // The window is not one of ours and may not exist: a BadWindow must not
    // reach the default error handler, which would end the process.
    trap_errors();
    send_expose(dpy, static_cast<Window>(sys_window), x, y, width, height);
    XSync(dpy, False);
    untrap_errors();
}

void AFX_engine::afx_queue_draw_area_scaled(int sys_window, int x, int y, int width, int height)
{
    const int idx = get_AFX_window_idx_for_X_window(static_cast<Window>(sys_window));
    if (sys_window != 0 && idx >= 0)
        afx_queue_afx_draw_area_scaled(idx, x, y, width, height);
}
