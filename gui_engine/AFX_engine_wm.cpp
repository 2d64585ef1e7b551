// Window management beyond creation and destruction: what the window manager
// is told about a window (title, class, icon, size limits, type, stacking),
// geometry, grabs, the busy cursor and clipboard requests. Every operation
// takes the display mutex around its X calls and does nothing without a live
// display or on a record that is not open. Property setters do not flush:
// the requests go out with the next flush, at the latest the one the event
// loop makes before it waits (releasing the display mutex wakes it).

#include "gui_engine/AFX_engine.h"

#include "gui_engine/afx_locks.h"

#include <X11/Xatom.h>

#include <cstring>

namespace {

constexpr unsigned int watch_cursor_shape = 150;  // XC_watch in the cursor font
constexpr unsigned int grab_pointer_mask = ButtonPressMask | ButtonReleaseMask | ButtonMotionMask;
constexpr float initial_title_height = 32.0f;  // logical pixels above the pointer

int device_size(int logical, float scale)
{
    return static_cast<int>(static_cast<float>(logical) * scale + 0.5f);
}

} // namespace

Window AFX_engine::open_sys_window_locked(int idx)
{
    if (!valid_index(idx) || !live_display() || !windows[idx].open)
        return 0;
    return windows[idx].sys_window;
}

// ---------------------------------------------------------------------------
// Window-manager properties

void AFX_engine::set_afx_window_title(int idx, char const* title)
{
    if (!title)
        return;
    afx_display_guard display_lock(this);
    const Window window = open_sys_window_locked(idx);
    if (!window)
        return;
    Display* dpy = live_display();
    const int length = static_cast<int>(std::strlen(title));
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(title);
    XChangeProperty(dpy, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace, bytes, length);
    XChangeProperty(dpy, window, XInternAtom(dpy, "_NET_WM_NAME", False),
                    XInternAtom(dpy, "UTF8_STRING", False), 8, PropModeReplace, bytes, length);
}

void AFX_engine::set_afx_window_class(char* name, int idx)
{
    if (!name)
        return;
    afx_display_guard display_lock(this);
    const Window window = open_sys_window_locked(idx);
    if (!window)
        return;
    XClassHint hint;
    hint.res_name = name;
    hint.res_class = name;
    XSetClassHint(live_display(), window, &hint);
}

void AFX_engine::set_afx_window_icon(afx_pixbuf* icon, int idx)
{
    afx_display_guard display_lock(this);
    const Window window = open_sys_window_locked(idx);
    if (!window)
        return;
    Display* dpy = live_display();
    const Pixmap pixmap = icon_pixmap_locked(dpy, icon, window);
    if (!pixmap)
        return;
    XWMHints hints{};
    hints.flags = IconPixmapHint | IconPositionHint;
    hints.icon_pixmap = pixmap;
    hints.icon_x = 0;
    hints.icon_y = 0;
    XSetWMHints(dpy, window, &hints);
    // A second icon replaces the first, which would otherwise live as long
    // as the connection.
    if (Pixmap previous = windows[idx].icon_pixmap)
        XFreePixmap(dpy, previous);
    windows[idx].icon_pixmap = pixmap;
}

void AFX_engine::set_afx_window_size_policy(int min_width, int min_height, int max_width,
                                            int max_height, int aspect_x, int aspect_y, int x,
                                            int y, int idx)
{
    afx_display_guard display_lock(this);
    const Window window = open_sys_window_locked(idx);
    if (!window)
        return;
    XSizeHints hints{};
    // PSize with the minimum as its value: window managers that read the
    // program-specified size then see the size the window is created with.
    hints.flags = PSize | PMinSize;
    hints.width = min_width;
    hints.height = min_height;
    hints.min_width = min_width;
    hints.min_height = min_height;
    if (x != 0 || y != 0) {
        hints.flags |= PPosition;
        hints.x = x;
        hints.y = y;
    }
    if (max_width != 0 || max_height != 0) {
        hints.flags |= PMaxSize;
        hints.max_width = max_width;
        hints.max_height = max_height;
    }
    if (aspect_x != 0 || aspect_y != 0) {
        hints.flags |= PAspect;
        hints.min_aspect.x = aspect_x;
        hints.min_aspect.y = aspect_y;
        hints.max_aspect.x = aspect_x;
        hints.max_aspect.y = aspect_y;
    }
    XSetWMNormalHints(live_display(), window, &hints);
}

void AFX_engine::set_afx_window_fixed_size(int idx, int width, int height)
{
    set_afx_window_size_policy(width, height, width, height, width, height, 0, 0, idx);
    afx_display_guard display_lock(this);
    if (open_sys_window_locked(idx))
        XSync(live_display(), False);
}

void AFX_engine::set_afx_window_wm_protocols(int idx, unsigned long* atoms)
{
    if (!atoms)
        return;
    afx_display_guard display_lock(this);
    const Window window = open_sys_window_locked(idx);
    if (!window)
        return;
    Atom protocol = atoms[0];
    XSetWMProtocols(live_display(), window, &protocol, 1);
}

void AFX_engine::set_atom_property(int idx, const char* property, const char* value)
{
    afx_display_guard display_lock(this);
    const Window window = open_sys_window_locked(idx);
    if (!window)
        return;
    Display* dpy = live_display();
    const Atom atom = XInternAtom(dpy, value, False);
    XChangeProperty(dpy, window, XInternAtom(dpy, property, False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&atom), 1);
}

void AFX_engine::set_afx_window_type_wm_utility(int idx)
{
    set_atom_property(idx, "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_UTILITY");
}

void AFX_engine::set_afx_window_type_wm_splash(int idx)
{
    set_atom_property(idx, "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_SPLASH");
}

void AFX_engine::set_afx_window_on_top(int idx)
{
    set_atom_property(idx, "_NET_WM_STATE", "_NET_WM_STATE_ABOVE");
}

// ---------------------------------------------------------------------------
// Geometry

void AFX_engine::afx_window_resize(int idx, int width, int height)
{
    // X refuses windows of size 0 with a fatal-by-default BadValue.
    if (width < 1 || height < 1)
        return;
    afx_display_guard display_lock(this);
    const Window window = open_sys_window_locked(idx);
    if (!window)
        return;
    XResizeWindow(live_display(), window, static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
    windows[idx].width = width;
    windows[idx].height = height;
}

void AFX_engine::afx_SYS_window_resize(unsigned long window, int width, int height)
{
    if (width < 1 || height < 1)
        return;
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    if (!dpy)
        return;
    // The window is foreign (often the host's): it may be gone already.
    trap_errors();
    XResizeWindow(dpy, window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSync(dpy, False);
    untrap_errors();
}

void AFX_engine::afx_get_SYS_window_size(unsigned long window, int* width, int* height)
{
    int found_width = 0;
    int found_height = 0;
    {
        afx_display_guard display_lock(this);
        if (Display* dpy = live_display()) {
            trap_errors();
            XWindowAttributes attributes;
            if (XGetWindowAttributes(dpy, window, &attributes)) {
                found_width = attributes.width;
                found_height = attributes.height;
            }
            XSync(dpy, False);
            untrap_errors();
        }
    }
    if (width)
        *width = found_width;
    if (height)
        *height = found_height;
}

int AFX_engine::find_initial_window_position(int* x, int* y, int width, int height, float scale)
{
    if (!x || !y)
        return 0;
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    Window root_return = 0;
    Window child = 0;
    int pointer_x = 0;
    int pointer_y = 0;
    int window_x = 0;
    int window_y = 0;
    unsigned int mask = 0;
    if (!dpy || !XQueryPointer(dpy, DefaultRootWindow(dpy), &root_return, &child, &pointer_x,
                               &pointer_y, &window_x, &window_y, &mask)) {
        *x = 0;
        *y = 0;
        return 0;
    }
    if (*x != 0 || *y != 0)
        return 1;

    const int w = device_size(width, scale);
    const int h = device_size(height, scale);
    const int root_width = DisplayWidth(dpy, DefaultScreen(dpy));
    const int root_height = DisplayHeight(dpy, DefaultScreen(dpy));
    int new_x = pointer_x - w / 2;
    int new_y = pointer_y - static_cast<int>(initial_title_height * scale + 0.5f) / 2;
    if (w < root_width && new_x + w > root_width)
        new_x = root_width - w;
    if (h < root_height && new_y + h > root_height)
        new_y = root_height - h;
    *x = new_x < 0 ? 0 : new_x;
    *y = new_y < 0 ? 0 : new_y;
    return 1;
}

void AFX_engine::find_screen_centre(int* x, int* y)
{
    int centre_x = 0;
    int centre_y = 0;
    {
        afx_display_guard display_lock(this);
        if (Display* dpy = live_display()) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(dpy, DefaultRootWindow(dpy), &attributes)) {
                centre_x = attributes.width / 2;
                centre_y = attributes.height / 2;
            }
        }
    }
    if (x)
        *x = centre_x;
    if (y)
        *y = centre_y;
}

// ---------------------------------------------------------------------------
// Grabs, cursor, clipboard

void AFX_engine::afx_window_grab(int idx)
{
    afx_display_guard display_lock(this);
    if (const Window window = open_sys_window_locked(idx)) {
        XGrabPointer(live_display(), window, True, grab_pointer_mask, GrabModeAsync,
                     GrabModeAsync, None, None, CurrentTime);
        XFlush(live_display());
    }
}

void AFX_engine::afx_window_ungrab()
{
    afx_display_guard display_lock(this);
    if (Display* dpy = live_display()) {
        XUngrabPointer(dpy, CurrentTime);
        XFlush(dpy);
    }
}

void AFX_engine::afx_kbd_grab(int idx)
{
    afx_display_guard display_lock(this);
    if (const Window window = open_sys_window_locked(idx)) {
        XGrabKeyboard(live_display(), window, True, GrabModeAsync, GrabModeAsync, CurrentTime);
        XFlush(live_display());
    }
}

void AFX_engine::afx_kbd_ungrab()
{
    afx_display_guard display_lock(this);
    if (Display* dpy = live_display()) {
        XUngrabKeyboard(dpy, CurrentTime);
        XFlush(dpy);
    }
}

void AFX_engine::afx_grab_kbd_on_key(int idx)
{
    afx_display_guard display_lock(this);
    if (const Window window = open_sys_window_locked(idx)) {
        // Another client's passive grab on the same keys is an error: trapped.
        Display* dpy = live_display();
        trap_errors();
        XGrabKey(dpy, AnyKey, AnyModifier, window, True, GrabModeAsync, GrabModeAsync);
        XSync(dpy, False);
        untrap_errors();
    }
}

void AFX_engine::afx_ungrab_kbd_on_key(int idx)
{
    afx_display_guard display_lock(this);
    if (const Window window = open_sys_window_locked(idx)) {
        XUngrabKey(live_display(), AnyKey, AnyModifier, window);
        XFlush(live_display());
    }
}

void AFX_engine::afx_set_busy_cursor(int idx, bool busy)
{
    afx_display_guard display_lock(this);
    const Window window = open_sys_window_locked(idx);
    if (!window)
        return;
    Display* dpy = live_display();
    if (busy) {
        if (!busy_cursor)
            busy_cursor = XCreateFontCursor(dpy, watch_cursor_shape);
        XDefineCursor(dpy, window, busy_cursor);
    } else {
        XUndefineCursor(dpy, window);
    }
    XFlush(dpy);
}

void AFX_engine::convert_AFX_clipboard_data(int idx)
{
    afx_display_guard display_lock(this);
    const Window window = open_sys_window_locked(idx);
    if (!window)
        return;
    Display* dpy = live_display();
    const Atom clipboard = XInternAtom(dpy, "CLIPBOARD", False);
    // Focusing a window that is not viewable is a BadMatch: trapped, and the
    // request for the clipboard goes out all the same.
    trap_errors();
    XSetInputFocus(dpy, window, RevertToPointerRoot, CurrentTime);
    XSync(dpy, False);
    untrap_errors();
    if (XGetSelectionOwner(dpy, clipboard) != None)
        XConvertSelection(dpy, clipboard, XA_STRING, XA_PRIMARY, window, CurrentTime);
    XFlush(dpy);
}
