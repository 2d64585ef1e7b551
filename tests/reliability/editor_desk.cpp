#include "editor_desk.h"

#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tests/support/x_support.h"

namespace ze710test {

namespace {

constexpr int kSlotsPerRow = 4;
constexpr int kSlotWidth = 480;   // the editor is 468 wide at scale 1
constexpr int kSlotHeight = 520;  // and 510 high at the smallest size
constexpr int kEditorWidth = 468;
constexpr int kEditorHeight = 510;
// The HF gain knob's centre in the editor window at size 0 and scale 1: the
// panel starts at x = 162 and the knob sits at (101, 100) on the panel image,
// which starts 16 rows down.
constexpr int kKnobX = 162 + 101;
constexpr int kKnobY = 100 + 16;
constexpr int kDragStepPixels = 3;

// Errors on the desk's own connection (a window the plug-in already
// destroyed, a query racing a close) are expected in these tests: counted,
// never fatal. Installed before the plug-in installs its handler, which
// passes displays other than its own on to this one.
std::atomic<long> desk_x_errors{0};
int count_x_error(Display*, XErrorEvent*)
{
    desk_x_errors.fetch_add(1);
    return 0;
}

}  // namespace

std::string XClientResources::describe() const
{
    if (!known)
        return "client not found on the server";
    char line[200];
    std::snprintf(line, sizeof line, "%ld windows, %ld pixmaps (%ld bytes), %ld GCs, %ld resources in all",
                  windows, pixmaps, pixmap_bytes, gcs, total);
    return line;
}

EditorDesk::EditorDesk(const std::string& screen)
{
    server = std::make_unique<test_support::private_xvfb>(screen);
    if (!server->running())
        return;
    name = server->display_name();
    setenv("DISPLAY", name.c_str(), 1);
    setenv("ZOKA_UI_DPI", "96", 1);
    dpy = XOpenDisplay(name.c_str());
    if (dpy)
        XSetErrorHandler(count_x_error);
}

EditorDesk::~EditorDesk()
{
    if (dpy)
        XCloseDisplay(dpy);
    if (held_socket >= 0)
        ::close(held_socket);
}

Window EditorDesk::host_window_locked(int slot)
{
    auto it = hosts.find(slot);
    return it == hosts.end() ? 0 : it->second;
}

bool EditorDesk::open(vsthost::VstPlugin& plugin, int slot)
{
    close(plugin, slot);
    const Window host = make_host_window(slot);
    if (!host)
        return false;
    plugin.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host));
    return editor_shown(slot);
}

Window EditorDesk::make_host_window(int slot)
{
    std::lock_guard<std::mutex> guard(lock);
    if (!dpy)
        return 0;
    const int screen = DefaultScreen(dpy);
    const Window host = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), (slot % kSlotsPerRow) * kSlotWidth,
                                            (slot / kSlotsPerRow % 2) * kSlotHeight, kEditorWidth, kEditorHeight,
                                            0, BlackPixel(dpy, screen), BlackPixel(dpy, screen));
    XSelectInput(dpy, host, StructureNotifyMask);
    XMapWindow(dpy, host);
    for (;;) {
        XEvent event;
        XWindowEvent(dpy, host, StructureNotifyMask, &event);
        if (event.type == MapNotify)
            break;
    }
    XSelectInput(dpy, host, 0);
    XSync(dpy, False);
    hosts[slot] = host;
    return host;
}

void EditorDesk::close(vsthost::VstPlugin& plugin, int slot)
{
    plugin.dispatch(effEditClose);
    std::lock_guard<std::mutex> guard(lock);
    const Window host = host_window_locked(slot);
    if (host && dpy) {
        XDestroyWindow(dpy, host);
        XSync(dpy, False);
    }
    hosts.erase(slot);
}

void EditorDesk::destroy_host_window(int slot)
{
    std::lock_guard<std::mutex> guard(lock);
    const Window host = host_window_locked(slot);
    if (host && dpy) {
        XDestroyWindow(dpy, host);
        XSync(dpy, False);
    }
    hosts.erase(slot);
}

bool EditorDesk::editor_shown(int slot)
{
    std::lock_guard<std::mutex> guard(lock);
    const Window host = host_window_locked(slot);
    if (!host || !dpy)
        return false;
    Window root = 0, parent = 0;
    Window* kids = nullptr;
    unsigned n = 0;
    bool shown = false;
    if (XQueryTree(dpy, host, &root, &parent, &kids, &n) && kids) {
        XWindowAttributes a;
        shown = n == 1 && XGetWindowAttributes(dpy, kids[0], &a) && a.map_state == IsViewable;
        XFree(kids);
    }
    return shown;
}

bool EditorDesk::drag_knob(int slot, int steps, bool up)
{
    std::lock_guard<std::mutex> guard(lock);
    if (!dpy || !host_window_locked(slot))
        return false;
    const int screen = DefaultScreen(dpy);
    const int x = (slot % kSlotsPerRow) * kSlotWidth + kKnobX;
    int y = (slot / kSlotsPerRow % 2) * kSlotHeight + kKnobY;
    XTestFakeMotionEvent(dpy, screen, x, y, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
    XSync(dpy, False);
    for (int i = 0; i < steps; ++i) {
        y += up ? -kDragStepPixels : kDragStepPixels;
        XTestFakeMotionEvent(dpy, screen, x, y, CurrentTime);
        XSync(dpy, False);
    }
    XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
    XSync(dpy, False);
    return true;
}

bool EditorDesk::learn_plugin_client(int slot)
{
    std::lock_guard<std::mutex> guard(lock);
    const Window host = host_window_locked(slot);
    if (!host || !dpy)
        return false;
    Window root = 0, parent = 0;
    Window* kids = nullptr;
    unsigned n = 0;
    if (!XQueryTree(dpy, host, &root, &parent, &kids, &n) || !kids)
        return false;
    const XID editor_window = n == 1 ? kids[0] : 0;
    XFree(kids);
    int count = 0;
    XResClient* clients = nullptr;
    if (!editor_window || !XResQueryClients(dpy, &count, &clients))
        return false;
    for (int i = 0; i < count; ++i)
        if ((editor_window & ~clients[i].resource_mask) == clients[i].resource_base)
            plugin_client = clients[i].resource_base;
    XFree(clients);
    return plugin_client != 0;
}

XClientResources EditorDesk::plugin_client_resources()
{
    XClientResources r;
    std::lock_guard<std::mutex> guard(lock);
    if (!dpy || !plugin_client)
        return r;
    // The client must still be connected: its base among the server's clients.
    int count = 0;
    XResClient* clients = nullptr;
    if (!XResQueryClients(dpy, &count, &clients))
        return r;
    for (int i = 0; i < count; ++i)
        r.known |= clients[i].resource_base == plugin_client;
    XFree(clients);
    if (!r.known)
        return r;
    int types = 0;
    XResType* list = nullptr;
    if (XResQueryClientResources(dpy, plugin_client, &types, &list)) {
        for (int i = 0; i < types; ++i) {
            char* atom = XGetAtomName(dpy, list[i].resource_type);
            const std::string type = atom ? atom : "";
            if (atom)
                XFree(atom);
            r.total += list[i].count;
            if (type == "WINDOW")
                r.windows = list[i].count;
            else if (type == "PIXMAP")
                r.pixmaps = list[i].count;
            else if (type == "GC")
                r.gcs = list[i].count;
        }
        XFree(list);
    }
    unsigned long bytes = 0;
    if (XResQueryClientPixmapBytes(dpy, plugin_client, &bytes))
        r.pixmap_bytes = static_cast<long>(bytes);
    return r;
}

void EditorDesk::kill_server()
{
    std::lock_guard<std::mutex> guard(lock);
    if (dpy) {
        XSetCloseDownMode(dpy, RetainPermanent);
        XCloseDisplay(dpy);
        dpy = nullptr;
    }
    hosts.clear();
    if (server)
        server->kill_now();
    server.reset();
    // A server that cannot bind a display's abstract socket moves on to the
    // next number; a client's connect to a bound socket that nobody listens
    // on is refused at once.
    const std::string path = "/tmp/.X11-unix/X" + name.substr(1);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, path.data(), path.size());
    held_socket = socket(AF_UNIX, SOCK_STREAM, 0);
    if (held_socket >= 0 &&
        bind(held_socket, reinterpret_cast<sockaddr*>(&address),
             static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size())) != 0) {
        ::close(held_socket);
        held_socket = -1;
    }
}

}  // namespace ze710test
