// X events to per-window callbacks, on the event thread. Each event is mapped
// to a window of the table (events for other windows are dropped); callbacks
// run without the display mutex and outside the procs mutex. Expose and
// ConfigureNotify only mark areas dirty: painting happens in the redraw pass.

#include "gui_engine/AFX_engine.h"

#include "gui_engine/afx_locks.h"

#include <X11/Xatom.h>

namespace {

// A second left click within this many seconds of the last one is a double click.
constexpr float double_click_seconds = 0.3f;
constexpr long selection_max_length = 10000000;  // in 32-bit units, as XGetWindowProperty counts

} // namespace

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
        if (afx_key_proc keypress = windows[idx].keypress_callback)
            keypress(key_text_buffer, static_cast<unsigned int>(keysym), event->xkey.state, idx,
                     windows[idx].callback_data);
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
        if (afx_key_proc keyrelease = windows[idx].keyrelease_callback)
            keyrelease(nullptr, static_cast<unsigned int>(keysym), event->xkey.state, idx,
                       windows[idx].callback_data);
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
        if (afx_button_proc release = windows[idx].button_release_callback)
            release(event->xbutton.x, event->xbutton.y, static_cast<int>(event->xbutton.button), idx,
                    windows[idx].callback_data);
        return;
    }
    case MotionNotify: {
        const int idx = get_AFX_window_idx_for_X_window(event->xmotion.window);
        if (idx < 0)
            return;
        if (afx_motion_proc motion = windows[idx].motion_notify_callback)
            motion(event->xmotion.x, event->xmotion.y, idx, windows[idx].callback_data);
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
        if (afx_create_proc create = windows[idx].create_callback)
            create(event->xcreatewindow.height, event->xcreatewindow.width, idx,
                   windows[idx].callback_data);
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
        if (afx_reparent_proc reparent = windows[idx].reparent_callback)
            reparent(event->xreparent.x, event->xreparent.y, windows[idx].callback_data);
        return;
    }
    case ConfigureNotify: {
        const int idx = get_AFX_window_idx_for_X_window(event->xconfigure.event);
        if (idx < 0)
            return;
        AFXWindowRecord& record = windows[idx];
        record.width = event->xconfigure.width;
        record.height = event->xconfigure.height;
        if (afx_configure_proc configure = record.configure_callback)
            configure(event->xconfigure.height, event->xconfigure.width, idx, record.callback_data);
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
        if (afx_client_message_proc message = windows[idx].client_message_callback)
            message(first_long, windows[idx].callback_data);
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
    AFXWindowRecord& record = windows[idx];

    if (since_last_click > 0.0f && since_last_click < double_click_seconds && button == Button1) {
        if (afx_button_proc double_click = record.double_click_callback)
            double_click(event.x, event.y, 1, idx, record.callback_data);
        last_click_time = now;
        return;
    }
    if (afx_button_proc press = record.button_press_callback)
        press(event.x, event.y, button, idx, record.callback_data);
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
    if (afx_selection_proc selection = windows[idx].selection_callback)
        selection(property_data, idx, windows[idx].callback_data);
    else
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
    if (afx_window_destroy_proc destroyed = windows[idx].window_destroy_callback)
        destroyed(frame_x, frame_y, idx, windows[idx].callback_data);
    afx_display_guard display_lock(this);
    afx_window_init(idx);
    afx_remove_afx_window_from_active_list(idx);
}
