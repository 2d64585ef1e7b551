// X events to per-window callbacks, on the event thread. Each event is mapped
// to a window of the table (events for other windows are dropped); callbacks
// run without the display mutex and outside the procs mutex, with their data
// marked as in use (call_window), so that an owner released meanwhile is
// disposed of only after the callback has returned. Expose and
// ConfigureNotify only mark areas dirty: painting happens in the redraw pass.

#include "gui_engine/AFX_engine.h"

#include "gui_engine/afx_locks.h"

#include <X11/Xatom.h>

namespace {

// A second left click within this many seconds of the last one is a double click.
constexpr float double_click_seconds = 0.3f;
constexpr long selection_max_length = 10000000;  // in 32-bit units, as XGetWindowProperty counts

} // namespace

template <typename Call>
void AFX_engine::call_window(int idx, Call call)
{
    void* data;
    {
        afx_display_guard display_lock(this);
        if (!windows[idx].open)
            return;
        data = windows[idx].callback_data;
        callback_data_in_use = data;
    }
    call(windows[idx], data);
    void (*dispose)(void*);
    void* arg;
    {
        afx_display_guard display_lock(this);
        callback_data_in_use = nullptr;
        dispose = deferred_dispose;
        arg = deferred_dispose_arg;
        deferred_dispose = nullptr;
        deferred_dispose_arg = nullptr;
    }
    if (dispose)
        dispose(arg);
}

void AFX_engine::dispatch_x_events(XEvent* event)
{
    switch (event->type) {
    case KeyPress: {
        const int idx = get_AFX_window_idx_for_X_window(event->xkey.window);
        if (idx < 0)
            return;
        KeySym keysym = 0;
        {
            afx_display_guard display_lock(this);
            int length = XLookupString(&event->xkey, key_text_buffer, sizeof(key_text_buffer) - 1,
                                       &keysym, &compose_status);
            if (length < 0)
                length = 0;
            key_text_buffer[length] = '\0';
        }
        const unsigned int state = event->xkey.state;
        call_window(idx, [&](AFXWindowRecord& record, void* data) {
            if (afx_key_proc keypress = record.keypress_callback)
                keypress(key_text_buffer, static_cast<unsigned int>(keysym), state, idx, data);
        });
        return;
    }
    case KeyRelease: {
        const int idx = get_AFX_window_idx_for_X_window(event->xkey.window);
        if (idx < 0)
            return;
        KeySym keysym = 0;
        {
            char text[16];
            afx_display_guard display_lock(this);
            XLookupString(&event->xkey, text, sizeof(text), &keysym, nullptr);
        }
        const unsigned int state = event->xkey.state;
        call_window(idx, [&](AFXWindowRecord& record, void* data) {
            if (afx_key_proc keyrelease = record.keyrelease_callback)
                keyrelease(nullptr, static_cast<unsigned int>(keysym), state, idx, data);
        });
        return;
    }
    case ButtonPress: {
        const int idx = get_AFX_window_idx_for_X_window(event->xbutton.window);
        if (idx >= 0)
            dispatch_button_press(event->xbutton, idx);
        return;
    }
    case ButtonRelease: {
        const int idx = get_AFX_window_idx_for_X_window(event->xbutton.window);
        if (idx < 0)
            return;
        const XButtonEvent& e = event->xbutton;
        call_window(idx, [&](AFXWindowRecord& record, void* data) {
            if (afx_button_proc release = record.button_release_callback)
                release(e.x, e.y, static_cast<int>(e.button), idx, data);
        });
        return;
    }
    case MotionNotify: {
        const int idx = get_AFX_window_idx_for_X_window(event->xmotion.window);
        if (idx < 0)
            return;
        const XMotionEvent& e = event->xmotion;
        call_window(idx, [&](AFXWindowRecord& record, void* data) {
            if (afx_motion_proc motion = record.motion_notify_callback)
                motion(e.x, e.y, idx, data);
        });
        return;
    }
    case Expose: {
        const int idx = get_AFX_window_idx_for_X_window(event->xexpose.window);
        if (idx < 0)
            return;
        const XExposeEvent& e = event->xexpose;
        afx_display_guard display_lock(this);
        windows[idx].regions.add(AFXRect{e.y, e.x, e.y + e.height, e.x + e.width});
        return;
    }
    case CreateNotify: {
        const int idx = get_AFX_window_idx_for_X_window(event->xcreatewindow.parent);
        if (idx < 0)
            return;
        const XCreateWindowEvent& e = event->xcreatewindow;
        call_window(idx, [&](AFXWindowRecord& record, void* data) {
            if (afx_create_proc create = record.create_callback)
                create(e.height, e.width, idx, data);
        });
        return;
    }
    case DestroyNotify: {
        const int idx = get_AFX_window_idx_for_X_window(event->xdestroywindow.event);
        if (idx < 0)
            return;
        afx_display_guard display_lock(this);
        Display* dpy = live_display();
        if (dpy && windows[idx].icon_pixmap)
            XFreePixmap(dpy, windows[idx].icon_pixmap);
        afx_window_init(idx);
        afx_remove_afx_window_from_active_list(idx);
        return;
    }
    case ReparentNotify: {
        const int idx = get_AFX_window_idx_for_X_window(event->xreparent.event);
        if (idx < 0)
            return;
        const XReparentEvent& e = event->xreparent;
        call_window(idx, [&](AFXWindowRecord& record, void* data) {
            if (afx_reparent_proc reparent = record.reparent_callback)
                reparent(e.x, e.y, data);
        });
        return;
    }
    case ConfigureNotify: {
        const int idx = get_AFX_window_idx_for_X_window(event->xconfigure.event);
        if (idx < 0)
            return;
        AFXWindowRecord& record = windows[idx];
        record.width = event->xconfigure.width;
        record.height = event->xconfigure.height;
        const XConfigureEvent& e = event->xconfigure;
        call_window(idx, [&](AFXWindowRecord& r, void* data) {
            if (afx_configure_proc configure = r.configure_callback)
                configure(e.height, e.width, idx, data);
        });
        afx_display_guard display_lock(this);
        record.regions.add(AFXRect{0, 0, record.height, record.width});
        return;
    }
    case SelectionNotify: {
        const int idx = get_AFX_window_idx_for_X_window(event->xselection.requestor);
        if (idx >= 0)
            dispatch_selection(event->xselection, idx);
        return;
    }
    case ClientMessage: {
        const int idx = get_AFX_window_idx_for_X_window(event->xclient.window);
        if (idx < 0)
            return;
        const unsigned long first_long = static_cast<unsigned long>(event->xclient.data.l[0]);
        if (first_long == windows[idx].delete_atom) {
            run_close_sequence(idx);
            return;
        }
        call_window(idx, [&](AFXWindowRecord& record, void* data) {
            if (afx_client_message_proc message = record.client_message_callback)
                message(first_long, data);
        });
        return;
    }
    default:
        return;
    }
}

// One last click time for the whole engine: a quick left click in another
// window also counts.
void AFX_engine::dispatch_button_press(const XButtonEvent& event, int idx)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const float since_last_click = diff_timef(last_click_time, now);
    const int button = static_cast<int>(event.button);

    if (since_last_click > 0.0f && since_last_click < double_click_seconds && button == Button1) {
        call_window(idx, [&](AFXWindowRecord& r, void* data) {
            if (afx_button_proc double_click = r.double_click_callback)
                double_click(event.x, event.y, 1, idx, data);
        });
        last_click_time = now;
        return;
    }
    call_window(idx, [&](AFXWindowRecord& r, void* data) {
        if (afx_button_proc press = r.button_press_callback)
            press(event.x, event.y, button, idx, data);
    });
    if (button == Button1)
        last_click_time = now;
}

// The property data belongs to the selection callback, which frees it with
// free_clipboard_data(); without a callback it is freed here.
void AFX_engine::dispatch_selection(const XSelectionEvent& event, int idx)
{
    unsigned char* property_data = nullptr;
    {
        afx_display_guard display_lock(this);
        Display* dpy = live_display();
        if (!dpy)
            return;
        Atom actual_type = 0;
        int actual_format = 0;
        unsigned long item_count = 0;
        unsigned long bytes_after = 0;
        if (XGetWindowProperty(dpy, event.requestor, XA_PRIMARY, 0, selection_max_length, False,
                               XA_STRING, &actual_type, &actual_format, &item_count, &bytes_after,
                               &property_data) != Success)
            property_data = nullptr;
    }
    bool taken = false;
    call_window(idx, [&](AFXWindowRecord& record, void* data) {
        if (afx_selection_proc selection = record.selection_callback) {
            selection(property_data, idx, data);
            taken = true;
        }
    });
    if (!taken)
        free_clipboard_data(property_data);
}

// The window manager asked to close the window: destroy it, then tell its
// owner where its frame stood so that the owner can remember the position.
void AFX_engine::run_close_sequence(int idx)
{
    int frame_x = 0;
    int frame_y = 0;
    afx_get_AFX_window_position(&frame_x, &frame_y, idx);
    {
        afx_display_guard display_lock(this);
        Display* dpy = live_display();
        if (!dpy)
            return;
        XFlush(dpy);
        XDestroyWindow(dpy, windows[idx].sys_window);
        if (windows[idx].icon_pixmap)
            XFreePixmap(dpy, windows[idx].icon_pixmap);
    }
    call_window(idx, [&](AFXWindowRecord& record, void* data) {
        if (afx_window_destroy_proc destroyed = record.window_destroy_callback)
            destroyed(frame_x, frame_y, idx, data);
    });
    afx_display_guard display_lock(this);
    afx_window_init(idx);
    afx_remove_afx_window_from_active_list(idx);
}
