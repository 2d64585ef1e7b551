// Window creation, embedding and destruction. Every operation takes the
// display mutex for its X calls and does nothing without a live display or
// on a record that is not open. Destruction takes the procs mutex first so
// that it never runs in the middle of a redraw pass or a timer callback on
// the event thread (or, called from such a callback, goes on under it).

#include "gui_engine/AFX_engine.h"

#include "gui_engine/afx_locks.h"

#include <algorithm>
#include <climits>

namespace {

constexpr long standard_event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask |
                                     ButtonReleaseMask | ButtonMotionMask | ExposureMask |
                                     StructureNotifyMask;  // 0x2A00F
constexpr int max_ancestor_steps = 10;

// Logical to device pixels; X refuses windows of size 0.
int device_pixels(int logical, float scale)
{
    return std::max(1, static_cast<int>(static_cast<float>(logical) * scale + 0.5f));
}

} // namespace

int AFX_engine::find_free_record()
{
    for (int i = 0; i < AFX_MAX_WINDOWS; ++i)
        if (!windows[i].open)
            return i;
    return -1;
}

// Display mutex held; `window` is a fresh X window, `width` and `height`
// device pixels.
int AFX_engine::create_window_record(Window window, int width, int height, float scale, void* data)
{
    Display* dpy = display;
    Atom delete_atom = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(dpy, window, &delete_atom, 1);

    const int idx = find_free_record();
    afx_window_init(idx);
    afx_add_afx_window_to_active_list(idx);
    AFXWindowRecord& record = windows[idx];
    record.sys_window = window;
    record.scale_factor = scale;
    record.inverse_scale = static_cast<int32_t>(65536.0f / scale);
    record.width = width;
    record.height = height;
    record.delete_atom = delete_atom;
    record.callback_data = data;
    record.open = true;
    return idx;
}

int AFX_engine::create_new_afx_window(int x, int y, int width, int height, float scale, void* data)
{
    if (!(scale > 0.0f))
        return -1;
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    if (!dpy || find_free_record() < 0)
        return -1;
    const int device_width = device_pixels(width, scale);
    const int device_height = device_pixels(height, scale);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = 0;
    attributes.bit_gravity = NorthWestGravity;
    Window window = XCreateWindow(dpy, RootWindow(dpy, DefaultScreen(dpy)), x, y,
                                  static_cast<unsigned>(device_width),
                                  static_cast<unsigned>(device_height), 0, CopyFromParent,
                                  CopyFromParent, CopyFromParent, CWBackPixel | CWBitGravity,
                                  &attributes);
    return create_window_record(window, device_width, device_height, scale, data);
}

int AFX_engine::create_new_simple_afx_window(int x, int y, int width, int height, float scale,
                                             void* data)
{
    if (!(scale > 0.0f))
        return -1;
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    if (!dpy || find_free_record() < 0)
        return -1;
    const int device_width = device_pixels(width, scale);
    const int device_height = device_pixels(height, scale);
    Window window = XCreateSimpleWindow(dpy, RootWindow(dpy, DefaultScreen(dpy)), x, y,
                                        static_cast<unsigned>(device_width),
                                        static_cast<unsigned>(device_height), 0, 0, 0);
    return create_window_record(window, device_width, device_height, scale, data);
}

int AFX_engine::reparent_afx_window_to_SYS_window(int idx, unsigned long parent, int, int)
{
    if (!valid_index(idx))
        return 0;
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    if (!dpy || !windows[idx].open)
        return 0;
    trap_errors();
    XReparentWindow(dpy, windows[idx].sys_window, parent, 0, 0);
    XSync(dpy, False);
    return untrap_errors();
}

void AFX_engine::show_afx_window(int idx)
{
    if (!valid_index(idx))
        return;
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    if (!dpy || !windows[idx].open)
        return;
    XMapWindow(dpy, windows[idx].sys_window);
    XFlush(dpy);
}

void AFX_engine::select_afx_input_events(int idx)
{
    select_afx_input_events(idx, false);
}

void AFX_engine::select_afx_input_events(int idx, bool pointer_motion)
{
    if (!valid_index(idx))
        return;
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    if (!dpy || !windows[idx].open)
        return;
    XSelectInput(dpy, windows[idx].sys_window,
                 pointer_motion ? standard_event_mask | PointerMotionMask : standard_event_mask);
}

int AFX_engine::SYS_window_valid(unsigned long window)
{
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    if (!dpy)
        return 0;
    trap_errors();
    XWindowAttributes attributes;
    XGetWindowAttributes(dpy, window, &attributes);
    XSync(dpy, False);
    return untrap_errors();
}

void AFX_engine::afx_get_AFX_window_position(int* x, int* y, int idx)
{
    int found_x = 0;
    int found_y = 0;
    if (valid_index(idx)) {
        afx_display_guard display_lock(this);
        Display* dpy = live_display();
        if (dpy && windows[idx].open) {
            // The window may vanish under us (its parent destroyed by the
            // host): a failing query gives up instead of ending the process.
            trap_errors();
            Window window = windows[idx].sys_window;
            Window top_level = 0;
            for (int step = 0; step < max_ancestor_steps; ++step) {
                Window root = 0;
                Window parent = 0;
                Window* children = nullptr;
                unsigned int child_count = 0;
                if (!XQueryTree(dpy, window, &root, &parent, &children, &child_count))
                    break;
                if (children)
                    XFree(children);
                if (parent == root) {
                    top_level = window;
                    break;
                }
                window = parent;
            }
            if (top_level) {
                Window child = 0;
                int root_x = 0;
                int root_y = 0;
                if (XTranslateCoordinates(dpy, top_level, DefaultRootWindow(dpy), 0, 0, &root_x,
                                          &root_y, &child)) {
                    found_x = root_x;
                    found_y = root_y;
                }
            }
            XSync(dpy, False);
            untrap_errors();
        }
    }
    if (x)
        *x = found_x;
    if (y)
        *y = found_y;
}

void AFX_engine::destroy_record_locked(Display* dpy, int idx)
{
    AFXWindowRecord& record = windows[idx];
    XDestroyWindow(dpy, record.sys_window);
    if (record.icon_pixmap)
        XFreePixmap(dpy, record.icon_pixmap);
    afx_window_init(idx);
}

int AFX_engine::destroy_afx_window(int idx)
{
    if (!valid_index(idx))
        return 0;
    afx_procs_guard procs_lock(&procs_mutex);
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    if (!dpy)
        return 0;
    trap_errors();
    if (windows[idx].open) {
        destroy_record_locked(dpy, idx);
        afx_remove_afx_window_from_active_list(idx);
    }
    XSync(dpy, False);
    return untrap_errors();
}

void AFX_engine::free_afx_window(int idx)
{
    if (!valid_index(idx))
        return;
    afx_procs_guard procs_lock(&procs_mutex);
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    if (!dpy || !windows[idx].open)
        return;
    if (Pixmap icon = windows[idx].icon_pixmap)
        XFreePixmap(dpy, icon);
    afx_window_init(idx);
    afx_remove_afx_window_from_active_list(idx);
}

void AFX_engine::destroy_all_windows()
{
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    if (!dpy)
        return;
    // Some windows may already be gone with a parent the host destroyed.
    trap_errors();
    for (int i = 0; i < AFX_MAX_WINDOWS; ++i) {
        if (windows[i].open)
            destroy_record_locked(dpy, i);
        active_list[i] = -1;
    }
    XSync(dpy, False);
    untrap_errors();
}

void AFX_engine::free_clipboard_data(unsigned char* data)
{
    if (data)
        XFree(data);
}

int AFX_engine::afx_get_visible_area(int idx, int* left, int* top, int* right, int* bottom, int* x, int* y)
{
    int area[4] = {INT_MIN, INT_MIN, INT_MAX, INT_MAX};  // left, top, right, bottom
    int own_x = 0, own_y = 0;
    int result = -1;
    if (valid_index(idx)) {
        afx_display_guard display_lock(this);
        Display* dpy = live_display();
        if (dpy && windows[idx].open) {
            // The host may destroy its windows under us: a failing query
            // ends the walk with -1 instead of ending the process.
            trap_errors();
            Window window = windows[idx].sys_window;
            int offset_x = 0;  // the window's origin in the ancestor's plane
            int offset_y = 0;
            result = 0;
            for (int step = 0; step < max_ancestor_steps; ++step) {
                Window root = 0;
                Window parent = 0;
                Window* children = nullptr;
                unsigned int child_count = 0;
                XWindowAttributes own{}, outer{};
                if (!XQueryTree(dpy, window, &root, &parent, &children, &child_count)) {
                    result = -1;
                    break;
                }
                if (children)
                    XFree(children);
                // The top level's own extent is the screen's business.
                if (parent == root || !parent)
                    break;
                if (!XGetWindowAttributes(dpy, window, &own) || !XGetWindowAttributes(dpy, parent, &outer)) {
                    result = -1;
                    break;
                }
                if (step == 0)
                    own_x = own.x, own_y = own.y;
                offset_x += own.x + own.border_width;
                offset_y += own.y + own.border_width;
                area[0] = std::max(area[0], -offset_x);
                area[1] = std::max(area[1], -offset_y);
                area[2] = std::min(area[2], outer.width - offset_x);
                area[3] = std::min(area[3], outer.height - offset_y);
                window = parent;
            }
            XSync(dpy, False);
            if (untrap_errors())
                result = -1;
        }
    }
    int* out[] = {left, top, right, bottom};
    for (int i = 0; i < 4; ++i)
        if (out[i])
            *out[i] = area[i];
    if (x)
        *x = own_x;
    if (y)
        *y = own_y;
    return result;
}

void AFX_engine::afx_window_move(int idx, int x, int y)
{
    afx_display_guard display_lock(this);
    const Window window = open_sys_window_locked(idx);
    if (window)
        XMoveWindow(live_display(), window, x, y);
}
