#pragma once
// AFX_engine: the program's own X11 toolkit, one instance per process.
//
// It owns the connection to the X display, a fixed table of 255 window
// records addressed by AFX window index (0..254, -1 for none), each record's
// callbacks and dirty rectangles, and the event loop run_engine() that one
// event thread runs for the whole process (AFX_engine_loop.cpp). Windows are
// created and destroyed by any thread; every callback is called on the event
// thread.
//
// The loop sleeps in poll() on the X connection and on a wake-up descriptor
// of its own until an event arrives, a timer is due or another thread wakes
// it. Other threads wake it whenever they release the display mutex (their
// Xlib calls may have left requests unflushed or read events into Xlib's
// queue, where poll() cannot see them), and on stop_engine(),
// close_display_connection(), a new connection and every timer change.
//
// Locks, always taken in this order:
//   procs mutex   (error-checking) redraw pass and timer callbacks against
//                 window destruction. Because it is error-checking, destroy,
//                 free and invalidate work from inside an expose or gui update
//                 callback: their lock attempt fails with EDEADLK and they go
//                 on under the lock the event thread already holds.
//   display mutex (normal) every Xlib call on the connection and every
//                 window's region container. Callbacks never run under it.
//                 Take it through afx_lock_display() / afx_unlock_display()
//                 so that the loop is woken afterwards.
//   run mutex     (normal) held by run_engine() for its whole run, so that
//                 close_display_connection() can wait for the loop to end.
//
// A lost display connection (server gone, socket broken) does not end the
// process: the engine marks its display lost, the loop leaves, and every
// operation then behaves as if no display were open (AFX_engine_errors.cpp).
//
// Source files: AFX_engine.cpp (construction, connection, table queries,
// registry, pointer, clock), AFX_engine_loop.cpp (run_engine),
// AFX_engine_dispatch.cpp (X events to callbacks), AFX_engine_errors.cpp
// (X error trap, lost connections), AFX_engine_windows.cpp (creation,
// embedding, destruction), AFX_engine_queue.cpp (synthetic exposes),
// afx_pixbuf.cpp (pixel buffers).
//
// This header brings in Xlib, whose macros (None, Bool, Status...) clash with
// names in other libraries; GoogleTest, for one, must be included before it.

#include "gui_engine/AFXRect.h"
#include "gui_engine/AFXRegionContainer.h"
#include "gui_engine/afx_pixbuf.h"
#include "gui_engine/afx_relaxed.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <ctime>

constexpr int AFX_MAX_WINDOWS = 255;

// Per-window callbacks; the last argument is always the record's callback data.
typedef void (*afx_configure_proc)(int height, int width, int window, void* data);
typedef void (*afx_expose_proc)(int x, int y, int width, int height, int window, void* data);
typedef void (*afx_button_proc)(int x, int y, int button, int window, void* data);
typedef void (*afx_motion_proc)(int x, int y, int window, void* data);
typedef void (*afx_reparent_proc)(int x, int y, void* data);
typedef void (*afx_client_message_proc)(unsigned long first_long, void* data);
typedef void (*afx_create_proc)(int height, int width, int window, void* data);
typedef void (*afx_redraw_proc)(int, int, int, int, int, void* data);
typedef void (*afx_window_destroy_proc)(int frame_x, int frame_y, int window, void* data);
typedef void (*afx_key_proc)(char* text, unsigned int keysym, unsigned int state, int window,
                             void* data);
typedef void (*afx_selection_proc)(unsigned char* property_data, int window, void* data);
// Returning false unregisters the callback.
typedef bool (*afx_gui_update_proc)(void* data);
typedef bool (*afx_sched_proc)();

// One entry of the window table. Fields other than the region container are
// read by the event thread while other threads write them, hence relaxed
// atomics; creation and destruction write them under the display mutex.
struct AFXWindowRecord {
    afx_relaxed<Window> sys_window;  // 0 when free
    afx_relaxed<Pixmap> icon_pixmap;
    afx_relaxed<afx_configure_proc> configure_callback;
    afx_relaxed<afx_expose_proc> expose_callback;
    afx_relaxed<afx_button_proc> button_press_callback;
    afx_relaxed<afx_button_proc> button_release_callback;
    afx_relaxed<afx_motion_proc> motion_notify_callback;
    afx_relaxed<afx_reparent_proc> reparent_callback;
    afx_relaxed<afx_client_message_proc> client_message_callback;
    afx_relaxed<afx_create_proc> create_callback;
    afx_relaxed<afx_redraw_proc> redraw_callback;  // stored only, never called
    afx_relaxed<afx_button_proc> double_click_callback;
    afx_relaxed<afx_window_destroy_proc> window_destroy_callback;  // survives a reset
    afx_relaxed<afx_key_proc> keypress_callback;
    afx_relaxed<afx_key_proc> keyrelease_callback;
    afx_relaxed<afx_selection_proc> selection_callback;
    afx_relaxed<afx_gui_update_proc> gui_update_callback;
    afx_relaxed<void*> callback_data;  // last argument of every callback
    afx_relaxed<void*> data_pointer;   // for the owner; survives a reset, never passed to callbacks
    afx_relaxed<float> scale_factor;   // device pixels per logical pixel
    afx_relaxed<int32_t> inverse_scale;  // 16.16 fixed point, trunc(65536 / scale_factor)
    afx_relaxed<int32_t> width;          // device pixels
    afx_relaxed<int32_t> height;         // device pixels
    afx_relaxed<bool> open;
    afx_relaxed<Atom> delete_atom;  // "WM_DELETE_WINDOW"; survives a reset
    AFXRegionContainer regions;     // display mutex
};

class AFX_engine {
public:
    // Any thread. No display yet; both timers off.
    AFX_engine();
    // Closes the display connection, waiting for a running loop to finish.
    ~AFX_engine();
    AFX_engine(const AFX_engine&) = delete;
    AFX_engine& operator=(const AFX_engine&) = delete;

    // --- Connection (any thread) ---
    // Opens the default display unless one is open; a display lost earlier is
    // released first. Returns whether a display is open now.
    bool open_display_connection();
    // Stops the loop, waits for run_engine() to return, then closes the
    // display. Called from a callback on the event thread, where it cannot
    // wait for the loop it runs in, it only stops the loop.
    void close_display_connection();
    Display* get_xdisplay();  // null while closed or lost
    // The raw mutex: whoever locks it directly must call wake_engine() after
    // Xlib calls that may read from the connection or leave requests unsent.
    pthread_mutex_t* get_x_display_mutex();
    void afx_lock_display();  // for callers making their own Xlib calls on get_xdisplay()
    void afx_unlock_display();  // wakes the loop unless called on the event thread
    // Whether the calling thread holds the display mutex (taken through
    // afx_lock_display): true only inside an Xlib call of this engine's,
    // e.g. when Xlib's default I/O error handler exits the process from
    // inside XOpenDisplay and the exit runs the module's unload.
    bool display_held_by_caller();

    // --- Callback data lifetime (any thread) ---
    // For the owner of windows' callback data that goes away while the event
    // thread may be inside one of their callbacks (a callback calling out to
    // code that blocks, or that destroys the owner). Call after destroying
    // every window that carries `data`, so that no callback with it starts
    // any more: dispose(arg) runs now, on the calling thread, when no event
    // callback with `data` is running, else on the event thread as soon as
    // that callback has returned (also when the callback itself asked).
    // Expose and timer callbacks never need this: destruction waits for them.
    void release_callback_data(void* data, void (*dispose)(void* arg), void* arg);
    // Whether the event thread is inside an event callback now.
    bool event_callback_running();

    // --- Loop control ---
    // The event thread's body: returns after stop_engine(),
    // close_display_connection() or a lost display connection.
    void run_engine();
    void stop_engine();  // any thread, no lock; wakes the loop
    // Like stop_engine(), but the loop leaves its windows as they are for
    // the next run to serve: for an owner that stops its event thread while
    // another thread may be creating a window for the next run.
    void stop_engine_keep_windows();
    // Withdraws a stop that no run_engine() has taken, which the next run
    // would otherwise honour at once. For the owner of the event thread,
    // after joining it; no lock.
    void clear_stop_request();
    // Makes a waiting loop take a pass at once. Any thread, no lock.
    void wake_engine();
    // 0 = off; an interval of 999 or more never fires. Interval changes and
    // timer callback registrations wake the loop to re-arm its wait.
    void set_gui_update_interval(int ms);
    int get_gui_update_interval();
    void set_sched_callback_interval(int ms);
    int get_sched_callback_interval();
    // Milliseconds from a to b counted from the nanosecond fields only (0..999).
    static int diff_time(timespec a, timespec b);
    // Seconds from a to b; -1.0 when b is a whole second or more before a.
    static float diff_timef(timespec a, timespec b);

    // --- Window table queries (any thread, no lock) ---
    int get_AFX_window_idx_for_X_window(Window window);  // -1 if none
    Window get_SYS_window_idx_for_afx_window(int idx);   // 0 unless open
    int afx_get_afx_window_width(int idx);               // device pixels
    int afx_get_afx_window_height(int idx);
    void register_data_pointer(int idx, void* data);
    void* get_window_data_pointer(int idx);
    bool check_all_windows_closed();
    // Active list: the servicing order of the windows. Callers hold the
    // display mutex (creation and destruction do).
    void afx_add_afx_window_to_active_list(int idx);
    void afx_remove_afx_window_from_active_list(int idx);
    // Resets a record: callbacks except the window destroy callback cleared,
    // sizes 0, scale 1.0, region storage released. Display mutex held by the caller.
    void afx_window_init(int idx);
    // Unregisters every callback except window destroy; no lock.
    void afx_window_invalidate_procs(int idx);
    // The same under the procs and display mutexes; callable from callbacks.
    void invalidate_afx_window(int idx);

    // --- Callback registry: plain stores, null unregisters, no lock ---
    void register_configure_callback(int idx, afx_configure_proc proc);
    void register_expose_callback(int idx, afx_expose_proc proc);
    void register_button_press_callback(int idx, afx_button_proc proc);
    void register_button_release_callback(int idx, afx_button_proc proc);
    void register_motion_notify_callback(int idx, afx_motion_proc proc);
    void register_reparent_callback(int idx, afx_reparent_proc proc);
    void register_client_message_callback(int idx, afx_client_message_proc proc);
    void register_create_callback(int idx, afx_create_proc proc);
    void register_redraw_callback(int idx, afx_redraw_proc proc);
    void register_double_click_callback(int idx, afx_button_proc proc);
    void register_window_destroy_callback(int idx, afx_window_destroy_proc proc);
    void register_keypress_callback(int idx, afx_key_proc proc);
    void register_keyrelease_callback(int idx, afx_key_proc proc);
    void register_selection_callback(int idx, afx_selection_proc proc);
    void register_gui_update_callback(int idx, afx_gui_update_proc proc);
    void register_sched_event_callback(afx_sched_proc proc);

    // --- Pointer bookkeeping for drag gestures (event thread) ---
    void init_mouse(double x, double y);
    int get_mouse_delta_x(double x);  // x - last x, truncated; stores x
    int get_mouse_delta_y(double y);  // last y - y (upward is positive), truncated; stores y
    void get_last_mouse_pos(double* x, double* y);

    // --- X error trap: process-wide, callers hold the display mutex ---
    void trap_errors();
    int untrap_errors();  // the trapped X error code, 0 when none occurred
    static int AFXErrorHandler(Display* display, XErrorEvent* event);

    // --- Windows (any thread; display mutex taken inside) ---
    // Sizes are logical; the record keeps trunc(size * scale + 0.5) device
    // pixels (at least 1). Returns the window index, -1 without a display or
    // with all 255 records open. The window is not mapped.
    int create_new_afx_window(int x, int y, int width, int height, float scale, void* data);
    int create_new_simple_afx_window(int x, int y, int width, int height, float scale, void* data);
    // Returns the trapped X error code (0 for success or without a display).
    int reparent_afx_window_to_SYS_window(int idx, unsigned long parent, int, int);
    void show_afx_window(int idx);
    void select_afx_input_events(int idx);
    void select_afx_input_events(int idx, bool pointer_motion);
    // 0 when the X window exists, else the X error code.
    int SYS_window_valid(unsigned long window);
    // Root position of the window's top-level ancestor (the frame under a
    // reparenting window manager); 0, 0 when it cannot be found.
    void afx_get_AFX_window_position(int* x, int* y, int idx);
    // Take the procs mutex first (tolerating that the caller holds it).
    int destroy_afx_window(int idx);  // trapped X error code
    void free_afx_window(int idx);    // for a window the server already destroyed
    void destroy_all_windows();
    // Releases property data handed to a selection callback; null ignored.
    static void free_clipboard_data(unsigned char* data);

    // --- Synthetic exposes: the area comes back through the loop ---
    void afx_queue_afx_draw_area_fixed(int idx, int x, int y, int width, int height);
    void afx_queue_afx_draw_area_scaled(int idx, int x, int y, int width, int height);
    void afx_queue_draw_area_fixed(int sys_window, int x, int y, int width, int height);
    void afx_queue_draw_area_scaled(int sys_window, int x, int y, int width, int height);

    // --- Pixel buffers (no engine state, no lock, no X call) ---
    // Wraps "GdkP" inline data in place (raw 8-bit RGBA assumed after the
    // magic); null and a message when the magic is missing.
    static afx_pixbuf* afx_pixbuf_new_from_inline(unsigned char const* data, int parent);
    // Owns its pixels; every pixel opaque black.
    static afx_pixbuf* afx_pixbuf_new_with_allocation(int width, int height, int parent);
    static void afx_pixbuf_init(afx_pixbuf* pb);
    static void afx_pixbuf_destroy(afx_pixbuf* pb);
    static void afx_pixbuf_destroy_with_allocation(afx_pixbuf* pb);
    static void afx_pixbuf_reparent(afx_pixbuf* pb, int parent);
    // Rectangles are not clipped: callers keep them inside both buffers.
    static void afx_pixbuf_copy(afx_pixbuf* src, afx_pixbuf* dst, int sx, int sy, int dx, int dy,
                                int width, int height);
    // src over dst with src alpha: d + floor((s - d) * a / 256); dst alpha kept.
    static void afx_combine_pixbuf_fixed(afx_pixbuf* src, afx_pixbuf* dst, int sx, int sy, int dx,
                                         int dy, int width, int height);
    static void plot_pixel_to_pixbuf(afx_pixbuf* pb, int x, int y, int r, int g, int b, int alpha,
                                     bool);
    // Row y1 from min(x1, x2) to max(x1, x2) inclusive; y2 unused.
    static void draw_horiz_line_to_pixbuf(afx_pixbuf* pb, int x1, int y1, int x2, int y2, int r,
                                          int g, int b, int alpha);
    // Column x1 from min(y1, y2) to max(y1, y2) inclusive; x2 unused.
    static void draw_vert_line_to_pixbuf(afx_pixbuf* pb, int x1, int y1, int x2, int y2, int r,
                                         int g, int b, int alpha);

    // =====================================================================
    // Display output, scaling and window management
    // (afx_display_output.cpp, afx_texture.cpp, AFX_engine_wm.cpp)
    // =====================================================================

    // --- Client-side images in the display's pixel format (any thread;
    // display mutex taken inside) ---
    // Z-pixmap image with the engine's visual and depth, zeroed; null without
    // a display. Released with afx_pixmap_destroy.
    _XImage* afx_pixmap_create_fixed(int width, int height);
    // The same, painted with the editor's background texture (dark dots of
    // dot_size every dot_pitch pixels) and a resize grip of grip_size pixels,
    // grip_inset from the lower-right corner, in colour (red, green, blue).
    _XImage* afx_pixmap_create_fixed(int width, int height, int red, int green, int blue,
                                     int grip_size, int grip_inset, int dot_pitch, int dot_size);
    void afx_pixmap_destroy(_XImage* img);  // null ignored

    // --- Buffer to image (any thread; display mutex held throughout) ---
    // Rectangles are clipped to both the buffer and the image. An image in a
    // format other than 5-6-5, 5-5-5 or 8-8-8 gets five error lines instead.
    // Copies red, green and blue; alpha ignored.
    void afx_blit_pixbuf_fixed(_XImage* img, afx_pixbuf* pb, int sx, int sy, int dx, int dy,
                               int width, int height);
    // Blends with the buffer's alpha; pixels with alpha below 16 are skipped.
    void afx_draw_pixbuf_fixed(_XImage* img, afx_pixbuf* pb, int sx, int sy, int dx, int dy,
                               int width, int height);
    // Catmull-Rom resampling of src by scale into the rectangle (x, y, width,
    // height) of img, source pixel (0, 0) at image position (origin_x,
    // origin_y). Nothing is drawn left of or above the origin, past the
    // image, or past the source's last row or column. Alpha ignored.
    void afx_stretch_blit_pixbuf_CATROM2(afx_pixbuf* src, _XImage* img, int x, int y, int width,
                                         int height, int origin_x, int origin_y, float scale);

    // --- Image to window (any thread; display mutex inside; no flush) ---
    // Puts the block at (sx, sy) of img to (dx, dy) of the window, if open.
    void afx_draw_afx_drawable(int idx, _XImage* img, int sx, int sy, int dx, int dy, int width,
                               int height);
    // The same onto any X drawable, without a record check.
    void afx_draw_drawable(int drawable, _XImage* img, int sx, int sy, int dx, int dy, int width,
                           int height);
    // Puts a grey version with darker bands two logical pixels high (window
    // scale) aligned to the image's top row; the image is unchanged afterwards.
    void afx_draw_afx_drawable_mono(int idx, _XImage* img, int sx, int sy, int dx, int dy,
                                    int width, int height, float scale);

    // --- Scale (no lock) ---
    // Device pixels per logical pixel for this screen: dpi / 96 from the
    // screen's diagonal (or "ZOKA_UI_DPI"), floored to 1/8, within 1.0..2.0.
    // Computed once on a temporary connection of its own, then cached.
    float get_optimum_scale_factor();
    float afx_get_scale_factor(int idx);
    void set_afx_window_scale_factor(int idx, float scale);
    // Vertical and horizontal dots per inch of the default screen; returns the
    // display's screen count, 0 (outputs untouched) without a display.
    int get_dpi(int* vertical, int* horizontal);

    // --- Icons (any thread; display mutex inside) ---
    // A 32 x 32 pixmap of pb's top-left block blended onto black; pb must be
    // at least 32 x 32. 0 when the window is not open.
    unsigned long afx_icon_pixmap_create_from_pixbuf(afx_pixbuf* pb, int idx);
    void afx_icon_pixmap_destroy(unsigned long pixmap);

    // --- Window-manager properties (any thread; display mutex; no flush) ---
    // WM_NAME (STRING) and "_NET_WM_NAME" (UTF8_STRING), the title's bytes.
    void set_afx_window_title(int idx, char const* title);
    // Class hint with resource name and class both `name`.
    void set_afx_window_class(char* name, int idx);
    // 32 x 32 icon from the buffer's top-left block, kept in the record.
    void set_afx_window_icon(afx_pixbuf* icon, int idx);
    // Normal hints: size (filled with the minimum) and minimum always;
    // maximum, aspect (both min and max aspect_x : aspect_y) and position
    // only when non-zero. Sizes in device pixels.
    void set_afx_window_size_policy(int min_width, int min_height, int max_width, int max_height,
                                    int aspect_x, int aspect_y, int x, int y, int idx);
    // Normal hints that hold the window at width x height (minimum, maximum
    // and size), on the server before the call returns (a round trip): a
    // host that reads them at once, when asked to resize, sees them.
    void set_afx_window_fixed_size(int idx, int width, int height);
    // The first atom of the array becomes the window's only WM protocol.
    void set_afx_window_wm_protocols(int idx, unsigned long* atoms);
    void set_afx_window_type_wm_utility(int idx);  // "_NET_WM_WINDOW_TYPE_UTILITY"
    void set_afx_window_type_wm_splash(int idx);   // "_NET_WM_WINDOW_TYPE_SPLASH"
    void set_afx_window_on_top(int idx);           // "_NET_WM_STATE_ABOVE"

    // --- Geometry (any thread; display mutex) ---
    void afx_window_resize(int idx, int width, int height);  // device pixels
    void afx_SYS_window_resize(unsigned long window, int width, int height);  // negative: ignored
    void afx_get_SYS_window_size(unsigned long window, int* width, int* height);
    // The part of the window's plane that every ancestor below the top level
    // covers, whatever the window's own size: a host frame that shows less
    // than the window. In the window's coordinates, device pixels, left and
    // top inclusive, right and bottom exclusive (INT_MIN and INT_MAX where
    // nothing cuts); *x, *y the window's position in its parent. 0 on
    // success, -1 when the window is not open or a query failed.
    int afx_get_visible_area(int idx, int* left, int* top, int* right, int* bottom, int* x, int* y);
    // Moves the window within its parent (device pixels).
    void afx_window_move(int idx, int x, int y);
    // A position near the pointer for a width x height logical window at
    // scale, kept on the screen; *x, *y not both 0 are kept as they are.
    // 1 on success, 0 (and 0, 0) without a display or pointer.
    int find_initial_window_position(int* x, int* y, int width, int height, float scale);
    void find_screen_centre(int* x, int* y);  // half the root window's size

    // --- Grabs, cursor, clipboard (any thread; display mutex) ---
    void afx_window_grab(int idx);  // pointer, button events only
    void afx_window_ungrab();
    void afx_kbd_grab(int idx);
    void afx_kbd_ungrab();
    void afx_grab_kbd_on_key(int idx);  // passive grab of every key
    void afx_ungrab_kbd_on_key(int idx);
    void afx_set_busy_cursor(int idx, bool busy);  // the cursor font's watch
    // Asks the "CLIPBOARD" owner for STRING into the window's PRIMARY
    // property; the answer reaches the selection callback.
    void convert_AFX_clipboard_data(int idx);

private:
    // Open window's X window with a live display, else 0. Display mutex held.
    Window open_sys_window_locked(int idx);
    // Sets an ATOM property to one interned atom. Display mutex taken inside.
    void set_atom_property(int idx, const char* property, const char* value);
    // Image creation and icon pixmap; display mutex held by the caller.
    _XImage* create_image_locked(Display* dpy, int width, int height);
    Pixmap icon_pixmap_locked(Display* dpy, afx_pixbuf* pb, Window window);

private:
    static bool valid_index(int idx) { return idx >= 0 && idx < AFX_MAX_WINDOWS; }
    // The display if it is open and its connection alive, else null.
    Display* live_display();
    // Frees a display whose connection broke and forgets its windows (they
    // went with the server). Display mutex held.
    void forget_lost_display_locked();
    // Reads a connection that no loop watches, so that a server gone
    // meanwhile is noticed; queued events stay queued. Display mutex held.
    void read_unwatched_connection_locked();
    // Resets every open record and empties the active list without any X
    // call. Display mutex held.
    void forget_windows_locked();
    // Destroys the X window and icon of an open record, then resets it.
    // Display mutex held, usually inside the error trap.
    void destroy_record_locked(Display* dpy, int idx);
    int create_window_record(Window window, int width, int height, float scale, void* data);
    int find_free_record();
    void send_expose(Display* dpy, Window window, int x, int y, int width, int height);
    void dispatch_x_events(XEvent* event);
    // Runs call(data) with window idx's callback data, marked as in use, if
    // the record is still open with that data when the mark is made; runs a
    // disposal released meanwhile afterwards (release_callback_data).
    template <typename Call>
    void call_window(int idx, Call call);
    void dispatch_button_press(const XButtonEvent& event, int idx);
    void dispatch_selection(const XSelectionEvent& event, int idx);
    void run_close_sequence(int idx);
    void redraw_pass();
    void run_timers(const timespec& now, timespec& last_sched, timespec& last_gui);
    // Sleeps until the connection has input, the wake-up descriptor is
    // written or the next timer is due; returns at once if there is work.
    void wait_for_work(const timespec& last_sched, const timespec& last_gui);
    // Nanoseconds from now until the next timer with something to call is
    // due; negative when none is.
    long next_timer_ns(const timespec& now, const timespec& last_sched, const timespec& last_gui);
    bool on_loop_thread();
    void shut_down_loop();
    static void AFXIOErrorExitHandler(Display* display, void* engine);

    AFXWindowRecord windows[AFX_MAX_WINDOWS];
    afx_relaxed<int32_t> active_list[AFX_MAX_WINDOWS];  // -1 entries follow all used ones
    afx_relaxed<Display*> display;
    Visual* visual = nullptr;  // root visual of screen 0
    pthread_mutex_t display_mutex;
    pthread_mutex_t run_mutex;
    pthread_mutex_t procs_mutex;
    int32_t depth = 0;  // root depth of screen 0
    afx_relaxed<int32_t> sched_interval_ms;
    afx_relaxed<int32_t> gui_update_interval_ms;
    timespec last_click_time;  // event thread; one for all windows
    // Sequentially consistent: a thread that sets it and then wakes the loop
    // must find it seen by the pass that the wake-up starts.
    std::atomic<bool> stop_flag{false};
    std::atomic<bool> keep_windows_on_stop{false};  // with stop_flag: stop_engine_keep_windows()
    int wake_fd = -1;  // eventfd; -1 if it could not be made (the loop then polls every 1 ms)
    afx_relaxed<double> last_mouse_x;
    afx_relaxed<double> last_mouse_y;
    afx_relaxed<afx_sched_proc> sched_event_callback;
    XErrorHandler previous_error_handler = nullptr;  // display mutex
    char key_text_buffer[16];                        // event thread
    XComposeStatus compose_status;                   // event thread
    afx_relaxed<float> optimum_scale_factor;         // cache for the screen scale; 0 = not computed
    Cursor busy_cursor = 0;                          // created on first use
    afx_relaxed<bool> display_lost;  // set by the I/O-error exit handler on any thread
    afx_relaxed<bool> loop_running;  // run mutex held by run_engine()
    afx_relaxed<pthread_t> loop_thread;
    afx_relaxed<pthread_t> display_owner;  // the thread in afx_lock_display's section, 0 for none
    // The data of the event callback running now, and a disposal waiting for
    // it to return (release_callback_data). Display mutex.
    void* callback_data_in_use = nullptr;
    void (*deferred_dispose)(void*) = nullptr;
    void* deferred_dispose_arg = nullptr;
};
