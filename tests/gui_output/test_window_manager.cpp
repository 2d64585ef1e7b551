// What the window manager and other clients see of an engine window, read
// back from the server on a second connection: title in both properties,
// class, window type and state, size hints, protocols, icon, geometry at a
// scale, embedding (also into a window that does not exist), the initial
// position near the pointer, grabs and a clipboard round trip through the
// event loop. Runs on the shared display and moves its pointer.

#include <gtest/gtest.h>

#include "gui_engine/AFX_engine.h"
#include "tests/gui_output/output_test_support.h"

#include <X11/Xatom.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

using output_test::rgb;
using output_test::wait_until;

class WindowManager : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test_support::open_engine(engine));
        ASSERT_NE(client, nullptr);
    }
    void TearDown() override { engine.close_display_connection(); }
    void sync() { test_support::sync_engine(engine); }
    Atom atom(const char* name) { return XInternAtom(client, name, False); }
    // A property's raw value, its type and format.
    std::vector<unsigned char> property(Window w, Atom name, Atom* type, int* format)
    {
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::vector<unsigned char> bytes;
        if (XGetWindowProperty(client, w, name, 0, 1024, False, AnyPropertyType, type, format, &count,
                               &after, &data) == Success &&
            data) {
            const size_t unit = *format == 32 ? sizeof(long) : static_cast<size_t>(*format / 8);
            bytes.assign(data, data + count * unit);
            XFree(data);
        }
        return bytes;
    }
    std::vector<Atom> atoms(Window w, const char* name)
    {
        Atom type = 0;
        int format = 0;
        const std::vector<unsigned char> raw = property(w, atom(name), &type, &format);
        EXPECT_EQ(type, XA_ATOM);
        EXPECT_EQ(format, 32);
        std::vector<Atom> list(raw.size() / sizeof(long));
        std::memcpy(list.data(), raw.data(), list.size() * sizeof(long));
        return list;
    }
    bool viewable(Window w) { return second.wait_viewable(w); }

    AFX_engine engine;
    test_support::x_client second;
    Display* const client = second.display();
};

TEST_F(WindowManager, TitleClassTypeAndStateReadBackFromTheServer)
{
    const int idx = engine.create_new_afx_window(0, 0, 120, 60, 1.0f, nullptr);
    ASSERT_GE(idx, 0);
    const Window w = engine.get_SYS_window_idx_for_afx_window(idx);
    const char title[] = "ZE710 \xC3\x89qualiseur";  // UTF-8 bytes, stored as they are
    engine.set_afx_window_title(idx, title);
    char name[] = "harrowby-ui";
    engine.set_afx_window_class(name, idx);
    engine.set_afx_window_type_wm_utility(idx);
    engine.set_afx_window_on_top(idx);
    sync();

    Atom type = 0;
    int format = 0;
    const std::vector<unsigned char> expected(title, title + std::strlen(title));
    EXPECT_EQ(property(w, XA_WM_NAME, &type, &format), expected);
    EXPECT_EQ(type, XA_STRING);
    EXPECT_EQ(format, 8);
    EXPECT_EQ(property(w, atom("_NET_WM_NAME"), &type, &format), expected);
    EXPECT_EQ(type, atom("UTF8_STRING"));
    EXPECT_EQ(format, 8);

    XClassHint hint{};
    ASSERT_TRUE(XGetClassHint(client, w, &hint));
    EXPECT_STREQ(hint.res_name, "harrowby-ui");
    EXPECT_STREQ(hint.res_class, "harrowby-ui");
    XFree(hint.res_name);
    XFree(hint.res_class);

    EXPECT_EQ(atoms(w, "_NET_WM_WINDOW_TYPE"), std::vector<Atom>{atom("_NET_WM_WINDOW_TYPE_UTILITY")});
    EXPECT_EQ(atoms(w, "_NET_WM_STATE"), std::vector<Atom>{atom("_NET_WM_STATE_ABOVE")});
    engine.set_afx_window_type_wm_splash(idx);  // replaces, never appends
    sync();
    EXPECT_EQ(atoms(w, "_NET_WM_WINDOW_TYPE"), std::vector<Atom>{atom("_NET_WM_WINDOW_TYPE_SPLASH")});

    // The close protocol from creation, then one of the caller's choosing.
    Atom* protocols = nullptr;
    int count = 0;
    ASSERT_TRUE(XGetWMProtocols(client, w, &protocols, &count));
    ASSERT_EQ(count, 1);
    EXPECT_EQ(protocols[0], atom("WM_DELETE_WINDOW"));
    XFree(protocols);
    unsigned long take_focus[] = {atom("WM_TAKE_FOCUS"), atom("WM_DELETE_WINDOW")};
    engine.set_afx_window_wm_protocols(idx, take_focus);
    sync();
    ASSERT_TRUE(XGetWMProtocols(client, w, &protocols, &count));
    ASSERT_EQ(count, 1);
    EXPECT_EQ(protocols[0], atom("WM_TAKE_FOCUS"));
    XFree(protocols);
    engine.destroy_afx_window(idx);
}

TEST_F(WindowManager, SizeHintsCarryOnlyTheLimitsGiven)
{
    const int idx = engine.create_new_afx_window(0, 0, 100, 51, 1.5f, nullptr);
    ASSERT_GE(idx, 0);
    const Window w = engine.get_SYS_window_idx_for_afx_window(idx);
    XSizeHints hints{};
    long supplied = 0;

    // The editor's fixed size: minimum, maximum and aspect equal, no position.
    engine.set_afx_window_size_policy(150, 77, 150, 77, 150, 77, 0, 0, idx);
    sync();
    ASSERT_TRUE(XGetWMNormalHints(client, w, &hints, &supplied));
    EXPECT_EQ(hints.flags, PSize | PMinSize | PMaxSize | PAspect);
    EXPECT_EQ(hints.width, 150);  // the size hint carries the minimum size
    EXPECT_EQ(hints.height, 77);
    EXPECT_EQ(hints.min_width, 150);
    EXPECT_EQ(hints.min_height, 77);
    EXPECT_EQ(hints.max_width, 150);
    EXPECT_EQ(hints.max_height, 77);
    EXPECT_EQ(hints.min_aspect.x, 150);
    EXPECT_EQ(hints.min_aspect.y, 77);
    EXPECT_EQ(hints.max_aspect.x, 150);
    EXPECT_EQ(hints.max_aspect.y, 77);

    engine.set_afx_window_size_policy(40, 30, 0, 0, 0, 0, 0, 0, idx);
    sync();
    ASSERT_TRUE(XGetWMNormalHints(client, w, &hints, &supplied));
    EXPECT_EQ(hints.flags, PSize | PMinSize);
    EXPECT_EQ(hints.min_width, 40);
    EXPECT_EQ(hints.min_height, 30);

    engine.set_afx_window_size_policy(40, 30, 0, 0, 0, 0, 0, 25, idx);
    sync();
    ASSERT_TRUE(XGetWMNormalHints(client, w, &hints, &supplied));
    EXPECT_EQ(hints.flags, PSize | PMinSize | PPosition);
    EXPECT_EQ(hints.x, 0);
    EXPECT_EQ(hints.y, 25);
    engine.destroy_afx_window(idx);
}

TEST_F(WindowManager, GeometryFollowsTheScaleAndResizes)
{
    const int idx = engine.create_new_afx_window(10, 20, 100, 51, 1.5f, nullptr);
    ASSERT_GE(idx, 0);
    const Window w = engine.get_SYS_window_idx_for_afx_window(idx);
    sync();
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    ASSERT_TRUE(XGetGeometry(client, w, &root, &x, &y, &width, &height, &border, &depth));
    EXPECT_EQ(width, 150u);
    EXPECT_EQ(height, 77u);  // 51 * 1.5 = 76.5 rounds up
    EXPECT_EQ(engine.afx_get_afx_window_width(idx), 150);
    EXPECT_EQ(engine.afx_get_afx_window_height(idx), 77);
    EXPECT_EQ(engine.afx_get_scale_factor(idx), 1.5f);

    engine.afx_window_resize(idx, 200, 120);
    sync();
    ASSERT_TRUE(XGetGeometry(client, w, &root, &x, &y, &width, &height, &border, &depth));
    EXPECT_EQ(width, 200u);
    EXPECT_EQ(height, 120u);
    EXPECT_EQ(engine.afx_get_afx_window_width(idx), 200);

    engine.afx_SYS_window_resize(w, 90, -1);  // ignored
    int got_w = 0, got_h = 0;
    engine.afx_get_SYS_window_size(w, &got_w, &got_h);
    EXPECT_EQ(got_w, 200);
    EXPECT_EQ(got_h, 120);
    engine.afx_SYS_window_resize(w, 90, 60);
    engine.afx_get_SYS_window_size(w, &got_w, &got_h);
    EXPECT_EQ(got_w, 90);
    EXPECT_EQ(got_h, 60);

    int cx = -1, cy = -1;
    engine.find_screen_centre(&cx, &cy);
    EXPECT_EQ(cx, DisplayWidth(client, DefaultScreen(client)) / 2);
    EXPECT_EQ(cy, DisplayHeight(client, DefaultScreen(client)) / 2);
    engine.destroy_afx_window(idx);

    // A window that does not exist has no size (and ends nothing).
    testing::internal::CaptureStdout();
    engine.afx_get_SYS_window_size(w, &got_w, &got_h);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(got_w, 0);
    EXPECT_EQ(got_h, 0);
}

TEST_F(WindowManager, EmbeddingReportsTheXErrorForAMissingParent)
{
    const int idx = engine.create_new_afx_window(0, 0, 60, 40, 1.0f, nullptr);
    ASSERT_GE(idx, 0);
    const Window w = engine.get_SYS_window_idx_for_afx_window(idx);
    // A window id of the client's that was created and destroyed again.
    const Window gone = XCreateSimpleWindow(client, DefaultRootWindow(client), 0, 0, 10, 10, 0, 0, 0);
    XDestroyWindow(client, gone);
    XSync(client, False);

    testing::internal::CaptureStdout();
    const int code = engine.reparent_afx_window_to_SYS_window(idx, gone, 0, 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, BadWindow);
    EXPECT_EQ(out, "ZOKA-UI Engine: XErrorHandler trapped non-fatal X11 problem :(\n");

    // Into a real host window: success, and the server agrees on the parent.
    const Window host = XCreateSimpleWindow(client, DefaultRootWindow(client), 0, 0, 200, 200, 0, 0, 0);
    XSync(client, False);
    EXPECT_EQ(engine.reparent_afx_window_to_SYS_window(idx, host, 0, 0), 0);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    ASSERT_TRUE(XQueryTree(client, w, &root, &parent, &children, &n));
    if (children)
        XFree(children);
    EXPECT_EQ(parent, host);
    engine.destroy_afx_window(idx);
    XDestroyWindow(client, host);
    XSync(client, False);
}

TEST_F(WindowManager, IconHintPointsAtA32PixelPixmapOfTheBuffer)
{
    const int idx = engine.create_new_afx_window(0, 0, 60, 40, 1.0f, nullptr);
    ASSERT_GE(idx, 0);
    const Window w = engine.get_SYS_window_idx_for_afx_window(idx);
    afx_pixbuf* icon = AFX_engine::afx_pixbuf_new_with_allocation(48, 48, idx);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            unsigned char* p = icon->pixels + y * icon->rowstride + 4 * x;
            p[0] = static_cast<unsigned char>(x * 5);
            p[1] = static_cast<unsigned char>(y * 5);
            p[2] = 128;
            p[3] = y < 8 ? 0 : 255;  // a transparent band on top
        }
    engine.set_afx_window_icon(icon, idx);
    sync();
    XWMHints* hints = XGetWMHints(client, w);
    ASSERT_NE(hints, nullptr);
    EXPECT_EQ(hints->flags & (IconPixmapHint | IconPositionHint), IconPixmapHint | IconPositionHint);
    EXPECT_EQ(hints->icon_x, 0);
    EXPECT_EQ(hints->icon_y, 0);
    const Pixmap pixmap = hints->icon_pixmap;
    XFree(hints);
    ASSERT_NE(pixmap, 0u);
    Window root = 0;
    int px = 0, py = 0;
    unsigned pw = 0, ph = 0, border = 0, depth = 0;
    ASSERT_TRUE(XGetGeometry(client, pixmap, &root, &px, &py, &pw, &ph, &border, &depth));
    EXPECT_EQ(pw, 32u);
    EXPECT_EQ(ph, 32u);
    const std::vector<rgb> back = output_test::read_back(client, pixmap, 0, 0, 32, 32);
    ASSERT_EQ(back.size(), 32u * 32u);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            // Opaque pixels reach 255/256 of their colour over black.
            const rgb expected =
                y < 8 ? rgb{0, 0, 0}
                      : rgb{x * 5 * 255 / 256, y * 5 * 255 / 256, 128 * 255 / 256};
            ASSERT_EQ(back[y * 32 + x], expected) << x << "," << y;
        }
    AFX_engine::afx_pixbuf_destroy_with_allocation(icon);
    engine.destroy_afx_window(idx);
    XSync(client, False);
    // The icon pixmap went with the window.
    XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    EXPECT_FALSE(XGetGeometry(client, pixmap, &root, &px, &py, &pw, &ph, &border, &depth));
    XSetErrorHandler(previous);
}

TEST_F(WindowManager, InitialPositionKeepsTheWindowNearThePointerAndOnScreen)
{
    const int rw = DisplayWidth(client, DefaultScreen(client));
    const int rh = DisplayHeight(client, DefaultScreen(client));
    auto warp = [&](int x, int y) {
        XWarpPointer(client, None, DefaultRootWindow(client), 0, 0, 0, 0, x, y);
        XSync(client, False);
    };
    int x = 0, y = 0;
    warp(10, 10);
    EXPECT_EQ(engine.find_initial_window_position(&x, &y, 200, 100, 1.0f), 1);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);

    warp(rw - 10, 500);  // pushed back inside on the right
    x = y = 0;
    EXPECT_EQ(engine.find_initial_window_position(&x, &y, 200, 100, 1.0f), 1);
    EXPECT_EQ(x, rw - 200);
    EXPECT_EQ(y, 500 - 16);

    warp(600, rh - 4);  // and at the bottom, at scale 1.5 (300 x 150, title 48)
    x = y = 0;
    EXPECT_EQ(engine.find_initial_window_position(&x, &y, 200, 100, 1.5f), 1);
    EXPECT_EQ(x, 600 - 150);
    EXPECT_EQ(y, rh - 150);

    x = 5;  // a position already given is kept
    y = 0;
    EXPECT_EQ(engine.find_initial_window_position(&x, &y, 200, 100, 1.0f), 1);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 0);

    AFX_engine closed;
    x = y = 7;
    EXPECT_EQ(closed.find_initial_window_position(&x, &y, 200, 100, 1.0f), 0);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
}

TEST_F(WindowManager, GrabsKeepOtherClientsOut)
{
    const int idx = engine.create_new_afx_window(0, 0, 80, 60, 1.0f, nullptr);
    ASSERT_GE(idx, 0);
    const Window w = engine.get_SYS_window_idx_for_afx_window(idx);
    engine.show_afx_window(idx);
    ASSERT_TRUE(viewable(w));
    const Window root = DefaultRootWindow(client);

    engine.afx_window_grab(idx);
    sync();
    EXPECT_EQ(XGrabPointer(client, root, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None,
                           None, CurrentTime),
              AlreadyGrabbed);
    engine.afx_window_ungrab();
    sync();
    EXPECT_EQ(XGrabPointer(client, root, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None,
                           None, CurrentTime),
              GrabSuccess);
    XUngrabPointer(client, CurrentTime);
    XSync(client, False);

    engine.afx_kbd_grab(idx);
    sync();
    EXPECT_EQ(XGrabKeyboard(client, root, False, GrabModeAsync, GrabModeAsync, CurrentTime),
              AlreadyGrabbed);
    engine.afx_kbd_ungrab();
    sync();
    EXPECT_EQ(XGrabKeyboard(client, root, False, GrabModeAsync, GrabModeAsync, CurrentTime), GrabSuccess);
    XUngrabKeyboard(client, CurrentTime);
    XSync(client, False);

    // The busy cursor is defined and undefined without an X error.
    testing::internal::CaptureStdout();
    engine.afx_set_busy_cursor(idx, true);
    engine.afx_set_busy_cursor(idx, false);
    engine.afx_grab_kbd_on_key(idx);
    engine.afx_ungrab_kbd_on_key(idx);
    sync();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    engine.destroy_afx_window(idx);
}

struct clipboard_seen {
    std::mutex mutex;
    std::string text;
    std::atomic<int> calls{0};
};

void on_selection(unsigned char* data, int, void* context)
{
    auto* seen = static_cast<clipboard_seen*>(context);
    {
        std::lock_guard<std::mutex> lock(seen->mutex);
        seen->text = data ? reinterpret_cast<char*>(data) : "";
    }
    AFX_engine::free_clipboard_data(data);
    ++seen->calls;
}

TEST_F(WindowManager, ClipboardTextArrivesAtTheSelectionCallback)
{
    clipboard_seen seen;
    const int idx = engine.create_new_afx_window(0, 0, 80, 60, 1.0f, &seen);
    ASSERT_GE(idx, 0);
    engine.register_selection_callback(idx, on_selection);
    engine.show_afx_window(idx);
    ASSERT_TRUE(viewable(engine.get_SYS_window_idx_for_afx_window(idx)));

    // The client owns the clipboard and answers one request.
    const Window owner = XCreateSimpleWindow(client, DefaultRootWindow(client), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = atom("CLIPBOARD");
    XSetSelectionOwner(client, clipboard, owner, CurrentTime);
    XSync(client, False);
    ASSERT_EQ(XGetSelectionOwner(client, clipboard), owner);

    std::thread loop([this] { engine.run_engine(); });
    engine.convert_AFX_clipboard_data(idx);
    const char text[] = "6.0 dB";
    bool answered = wait_until([&] {
        while (XPending(client)) {
            XEvent event;
            XNextEvent(client, &event);
            if (event.type != SelectionRequest)
                continue;
            const XSelectionRequestEvent& request = event.xselectionrequest;
            EXPECT_EQ(request.target, XA_STRING);
            EXPECT_EQ(request.property, XA_PRIMARY);
            XChangeProperty(client, request.requestor, request.property, XA_STRING, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)));
            XEvent reply{};
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = request.requestor;
            reply.xselection.selection = request.selection;
            reply.xselection.target = request.target;
            reply.xselection.property = request.property;
            reply.xselection.time = request.time;
            XSendEvent(client, request.requestor, False, 0, &reply);
            XFlush(client);
            return true;
        }
        return false;
    });
    EXPECT_TRUE(answered);
    EXPECT_TRUE(wait_until([&] { return seen.calls.load() > 0; }));
    engine.stop_engine();
    loop.join();
    {
        std::lock_guard<std::mutex> lock(seen.mutex);
        EXPECT_EQ(seen.text, text);
    }
    XDestroyWindow(client, owner);
    XSync(client, False);
}

} // namespace
