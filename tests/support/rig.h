#pragma once
// The reliability tests' rig: the realtime-safety probe (rt_shim.c) as a
// test sees it, a DAW session in one process for the realtime and load
// tests, and a desk of editors on a private X server.

#include <dlfcn.h>

#include <functional>
#include <map>

#include "tests/support/support.h"

namespace test_support {

// The probe, found at run time: without it (not preloaded, as in sanitizer
// builds) it counts nothing and loaded() is false.
struct rt_probe {
    void (*enter)() = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "ze710_rt_enter"));
    void (*leave)() = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "ze710_rt_leave"));
    void (*reset)() = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "ze710_rt_reset"));
    // Count of one hooked function by name, -1 when it is not hooked.
    long (*count_of)(const char*) = reinterpret_cast<long (*)(const char*)>(dlsym(RTLD_DEFAULT, "ze710_rt_count_of"));
    // Writes "name=count ..." for the non-zero counts; returns their sum.
    unsigned long (*report)(char*, size_t) =
        reinterpret_cast<unsigned long (*)(char*, size_t)>(dlsym(RTLD_DEFAULT, "ze710_rt_report"));
    bool loaded() const { return enter && leave && reset && count_of && report; }
    // What report() counts, or 0 without the probe.
    unsigned long blocking_calls(char* text, size_t size) const { return loaded() ? report(text, size) : 0; }
};

// The probe's region around a scope on the calling thread, where there is a probe.
class rt_region {
public:
    explicit rt_region(const rt_probe& probe) : m_probe(probe)
    {
        if (m_probe.loaded())
            m_probe.enter();
    }
    ~rt_region()
    {
        if (m_probe.loaded())
            m_probe.leave();
    }
    rt_region(const rt_region&) = delete;
    rt_region& operator=(const rt_region&) = delete;

private:
    const rt_probe& m_probe;
};

// A realtime test's start: outside sanitizer builds (which have no probe)
// the probe must have been preloaded, and its counts start from zero.
#ifdef ZE710_SANITIZED
#define ASSERT_RT_PROBE_READY(probe) (void)(probe)
#else
#define ASSERT_RT_PROBE_READY(probe)                                                    \
    do {                                                                                \
        ASSERT_TRUE((probe).loaded()) << "the realtime probe was not preloaded";        \
        (probe).reset();                                                                \
    } while (0)
#endif

// The session: instances of the built module at 48 kHz, one audio thread
// (the caller's) feeding them all in blocks of the given sizes in turn with
// the probe's region open around each processReplacing call only, two
// threads setting every parameter of every instance each period, one
// selecting programs, toggling the host bypass, renaming and reading texts
// each period, and the test's own threads, until `seconds` have passed.
struct rig_options {
    int instances = 4;
    std::vector<int> block_frames{1, 32, 63, 64, 65, 256, 1024};
    double seconds = 2.0;
    bool paced = false;  // each block waits for its due time, as with a sound card
    double automation_period_ms = 0.2, control_period_ms = 0.5;
    std::vector<std::function<void(const std::vector<vsthost::VstPlugin*>&, const std::atomic<bool>& stop)>> extra;
};
struct rig_result {
    long blocks = 0, automation_rounds = 0, control_rounds = 0, non_finite = 0;
    long voluntary_switches = 0;       // the audio thread slept inside processReplacing
    unsigned long blocking_calls = 0;  // what the probe counted inside processReplacing
    std::string report;                // the figures, for the log
};
rig_result run_rig(const rig_options& options);

// A number from the environment variable `name`, or `fallback`.
double env_number(const char* name, double fallback);

// Windows and pixmaps the server holds for one client, and all its resources.
struct x_resources {
    bool connected = false;
    long windows = 0, pixmaps = 0, total = 0;
};

// Editors on a private 1920 x 1100 server of the desk's own (DISPLAY points
// there, the editor's scale is 1): host windows side by side, one slot per
// editor, opened, dragged and closed from any thread (every member locks).
class editor_desk {
public:
    editor_desk();
    ~editor_desk();
    bool ready() const { return m_client != nullptr; }
    // A new host window in the slot (0 without a server), for any editor.
    Window host_window(int slot);
    Display* display() const { return m_client ? m_client->display() : nullptr; }
    // Opens the editor into a new host window in the slot; whether it shows.
    bool open(vsthost::VstPlugin& plugin, int slot);
    // effEditClose, then the host window goes.
    void close(vsthost::VstPlugin& plugin, int slot);
    // The host destroys its window under the open editor.
    void destroy_host_window(int slot);
    bool editor_shown(int slot);
    // Press at (x, y) of the slot's host window, `steps` moves of (dx, dy)
    // pixels, release; false when the slot has no window.
    bool drag(int slot, int x, int y, int dx, int dy, int steps);
    // The HF gain knob of the slot's editor, `steps` moves of 3 pixels.
    bool drag_knob(int slot, int steps, bool up) { return drag(slot, 162 + 101, 116, 0, up ? -3 : 3, steps); }
    // The plug-in's connection, found from the slot's editor window the first
    // time (the connection outlives every window).
    x_resources plugin_resources(int slot = -1);
    // Kills the server (SIGKILL, as a crash ends it); its display number stays
    // held (an abstract socket bound, never listened on) while the desk lives,
    // so that no server started meanwhile answers in its place.
    void kill_server();

private:
    std::mutex m_lock;
    std::unique_ptr<private_xvfb> m_server;
    std::unique_ptr<x_client> m_client;
    std::map<int, Window> m_hosts;
    unsigned long m_plugin_client = 0;
    int m_held_socket = -1;
};

} // namespace test_support
