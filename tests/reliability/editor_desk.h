// Editors in a reliability test: a private X server of the test's own, host
// windows as a DAW makes them (one per editor, side by side), editors opened
// and closed through the plug-in's dispatcher, knob drags with real pointer
// events (XTest), and the resources the server holds for the plug-in's own
// connection (X-Resource extension).
//
// The desk's X connection is the host's: every call on it is serialised by
// the desk, so editors may be opened, closed and dragged from several
// threads at once.
#pragma once

#include <X11/Xlib.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "tools/host/vst_host.h"

namespace test_support {
class private_xvfb;
}

namespace ze710test {

// Resource counts the server holds for one client connection.
struct XClientResources {
    bool known = false;  // the client was found on the server
    long windows = 0;
    long pixmaps = 0;
    long gcs = 0;
    long total = 0;          // every resource type together
    long pixmap_bytes = 0;   // as the server accounts them
    std::string describe() const;
};

class EditorDesk {
public:
    // Starts a private server ("WxHxD" screen) and points DISPLAY at it, so
    // the plug-in's next connection goes there. The editor's scale is fixed
    // at 1 (ZOKA_UI_DPI=96) so window sizes and knob positions are known.
    explicit EditorDesk(const std::string& screen = "1920x1100x24");
    ~EditorDesk();
    EditorDesk(const EditorDesk&) = delete;
    EditorDesk& operator=(const EditorDesk&) = delete;

    bool ready() const { return dpy != nullptr; }
    const std::string& display_name() const { return name; }

    // Opens the editor of `plugin` into a new host window in slot `slot`
    // (slots sit side by side) and returns whether the editor made its
    // window there. An editor already open in that slot is closed first.
    bool open(vsthost::VstPlugin& plugin, int slot);
    // The mapped host window of slot `slot`, for an editor opened some other
    // way (an LV2 UI's parent); 0 without a server.
    Window make_host_window(int slot);
    // effEditClose, then the host window goes. Harmless when not open.
    void close(vsthost::VstPlugin& plugin, int slot);
    // The host destroys its window under the open editor, without effEditClose.
    void destroy_host_window(int slot);
    // Whether the host window of the slot has an editor window inside.
    bool editor_shown(int slot);
    // One knob drag on the editor of the slot: press on the HF gain knob,
    // `steps` moves of 3 pixels up or down, release. False (at once) when
    // the slot has no host window.
    bool drag_knob(int slot, int steps, bool up);

    // Resources of the plug-in's connection, found from the editor window in
    // `slot` the first time (the connection outlives every window).
    bool learn_plugin_client(int slot);
    XClientResources plugin_client_resources();

    // Kills the server (SIGKILL, as a crash ends it) without warning anyone;
    // the desk's own connection is closed first, leaving its windows on the
    // server as the server dies with them. The dead server's display number
    // stays taken (this process holds its abstract socket name, unlistened)
    // until the desk goes, so that a server started meanwhile by a test
    // running beside this one cannot answer in its place.
    void kill_server();

    Display* display() const { return dpy; }

private:
    Window host_window_locked(int slot);
    std::unique_ptr<test_support::private_xvfb> server;
    std::string name;
    Display* dpy = nullptr;
    std::mutex lock;
    std::map<int, Window> hosts;  // slot -> host window (lock)
    XID plugin_client = 0;        // resource base of the plug-in's connection
    int held_socket = -1;         // bound to the dead server's socket name
};

}  // namespace ze710test
