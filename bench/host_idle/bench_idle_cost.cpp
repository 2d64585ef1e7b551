// What a loaded VST 2 plug-in costs a host while nobody touches it, and how
// fast it answers the pointer. Any Linux VST 2 module, loaded through its
// entry point as a DAW loads it:
//
//   bench_idle_cost [--seconds N] [--instances N] [--idle-hz N]
//                   [--press X,Y] [--presses N] PLUGIN.so
//
// Instances process audio on a host thread paced like a sound card (48 kHz,
// 256-frame blocks). Three scenarios follow, each measured over N seconds:
//   a  loaded, every instance processing, no editor;
//   b  the first instance's editor open in a host window, untouched;
//   c  the same, with eight parameters (or all, if fewer) of that instance
//      automated every 10 ms from another host thread.
// For each: the threads the plug-in started (those that did not exist before
// it was loaded, the host's own audio and automation threads aside), their
// wake-ups per second (voluntary and involuntary context switches, from
// /proc/self/task/TID/status) and their CPU in % of one core (utime + stime
// from .../stat, and the run time from .../schedstat, which is exact).
// Then the input latency: an XTest button press at (X, Y) of the editor
// window (default: ZE710's HF gain knob at size 0 and scale 1) and a 6-pixel
// drag upwards, timed from the moment the events are flushed to the server
// until the plug-in's first beginEdit or automation call reaches the host;
// presses 0.5 s apart, so none is a double click.
//
// The host's thread sends effEditIdle at --idle-hz (default 30, as hosts
// do; 0 sends none) while an editor is open: toolkits that need it work,
// and its cost lands on the host's thread, which is not counted.
//
// Needs an X display (DISPLAY) with the XTEST extension, e.g.
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/host_idle/bench_idle_cost build/plugin/ze710.so

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <dirent.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "plugin_interface/vst_interface.h"
#include "tools/host/vst_host.h"

namespace {

constexpr double kSampleRate = 48000.0;
constexpr int kBlockFrames = 256;
constexpr double kAutomationPeriodS = 0.010;
constexpr int kAutomatedParameters = 8;
constexpr double kPressSpacingS = 0.5;  // longer than any double-click time
constexpr double kLatencyGiveUpS = 2.0;
constexpr int kDragPixels = 6;

struct Options {
    double seconds = 10.0;
    int instances = 4;
    double idle_hz = 30.0;
    int press_x = 162 + 101;  // ZE710's HF gain knob, size 0, scale 1
    int press_y = 16 + 100;
    int presses = 20;
    std::string plugin;
};

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "bench_idle_cost: %s\n", message.c_str());
    std::exit(1);
}

bool parse_number(const char* text, double* out)
{
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (!text[0] || *end || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        double v = 0.0;
        if ((arg == "--seconds" || arg == "--instances" || arg == "--idle-hz" || arg == "--presses") &&
            has_value) {
            if (!parse_number(argv[++i], &v) || v < 0.0 || v > 3600.0)
                fail("bad value for " + arg + ": " + argv[i]);
            if (arg == "--seconds")
                o.seconds = v;
            else if (arg == "--instances")
                o.instances = static_cast<int>(v);
            else if (arg == "--idle-hz")
                o.idle_hz = v;
            else
                o.presses = static_cast<int>(v);
        } else if (arg == "--press" && has_value) {
            if (std::sscanf(argv[++i], "%d,%d", &o.press_x, &o.press_y) != 2)
                fail("bad value for --press (X,Y): " + std::string(argv[i]));
        } else if (!arg.empty() && arg[0] != '-' && o.plugin.empty()) {
            o.plugin = arg;
        } else {
            fail("usage: bench_idle_cost [--seconds N] [--instances N] [--idle-hz N] "
                 "[--press X,Y] [--presses N] PLUGIN.so");
        }
    }
    if (o.plugin.empty())
        fail("no plug-in given");
    if (o.instances < 1 || o.seconds <= 0.0)
        fail("need at least one instance and a positive duration");
    return o;
}

double now_s()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

pid_t gettid_now()
{
    return static_cast<pid_t>(syscall(SYS_gettid));
}

std::set<pid_t> task_ids()
{
    std::set<pid_t> ids;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                ids.insert(static_cast<pid_t>(std::atoi(e->d_name)));
        closedir(d);
    }
    return ids;
}

struct ThreadCounters {
    long long switches = 0;  // voluntary + involuntary
    long long ticks = 0;     // utime + stime, clock ticks
    long long run_ns = 0;    // schedstat run time
};

bool read_counters(pid_t tid, ThreadCounters* c)
{
    const std::string dir = "/proc/self/task/" + std::to_string(tid);
    std::ifstream status(dir + "/status");
    if (!status)
        return false;
    std::string line;
    while (std::getline(status, line)) {
        long long v = 0;
        if (std::sscanf(line.c_str(), "voluntary_ctxt_switches: %lld", &v) == 1 ||
            std::sscanf(line.c_str(), "nonvoluntary_ctxt_switches: %lld", &v) == 1)
            c->switches += v;
    }
    std::ifstream stat(dir + "/stat");
    std::getline(stat, line);
    const size_t paren = line.rfind(')');
    if (paren != std::string::npos) {
        std::istringstream rest(line.substr(paren + 2));
        std::string field;
        for (int n = 3; rest >> field && n <= 15; ++n)
            if (n == 14 || n == 15)
                c->ticks += std::atoll(field.c_str());
    }
    std::ifstream schedstat(dir + "/schedstat");
    schedstat >> c->run_ns;
    return true;
}

// The host: audio and automation threads, an X connection with host windows.
class Host {
public:
    explicit Host(const Options& o) : options(o) {}

    void load_instances()
    {
        for (int i = 0; i < options.instances; ++i) {
            std::string error;
            auto p = vsthost::VstPlugin::load(options.plugin, &error);
            if (!p)
                fail(error);
            p->start(static_cast<float>(kSampleRate), kBlockFrames);
            plugins.push_back(std::move(p));
        }
    }

    void start_audio()
    {
        audio = std::thread([this] {
            host_tids_add(gettid_now());
            const int channels_in = std::max(2, plugins[0]->num_inputs());
            const int channels_out = std::max(2, plugins[0]->num_outputs());
            std::vector<std::vector<float>> in(channels_in, std::vector<float>(kBlockFrames));
            std::vector<std::vector<float>> out(channels_out, std::vector<float>(kBlockFrames));
            std::vector<float*> ins, outs;
            for (auto& c : in)
                ins.push_back(c.data());
            for (auto& c : out)
                outs.push_back(c.data());
            unsigned seed = 1;
            timespec due{};
            clock_gettime(CLOCK_MONOTONIC, &due);
            const long period_ns = static_cast<long>(kBlockFrames * 1e9 / kSampleRate);
            while (!stop_audio.load()) {
                for (auto& c : in)
                    for (float& s : c) {
                        seed = seed * 1664525u + 1013904223u;
                        s = static_cast<float>(seed >> 8) / 67108864.0f - 0.125f;
                    }
                for (auto& p : plugins)
                    p->process(ins.data(), outs.data(), kBlockFrames);
                due.tv_nsec += period_ns;
                if (due.tv_nsec >= 1000000000L) {
                    due.tv_nsec -= 1000000000L;
                    ++due.tv_sec;
                }
                clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
            }
        });
    }

    void start_automation()
    {
        automation = std::thread([this] {
            host_tids_add(gettid_now());
            vsthost::VstPlugin& p = *plugins[0];
            const int count = std::min(kAutomatedParameters, p.num_params());
            double t = 0.0;
            while (!stop_automation.load()) {
                for (int i = 0; i < count; ++i)
                    p.set_parameter(i, static_cast<float>(0.5 + 0.4 * std::sin(t + i)));
                t += 0.05;
                std::this_thread::sleep_for(std::chrono::duration<double>(kAutomationPeriodS));
            }
        });
    }

    void stop_threads()
    {
        stop_automation = true;
        if (automation.joinable())
            automation.join();
        stop_audio = true;
        if (audio.joinable())
            audio.join();
    }

    void open_editor()
    {
        dpy = XOpenDisplay(nullptr);
        if (!dpy)
            fail("cannot open the X display (set DISPLAY)");
        int event_base = 0, error_base = 0, major = 0, minor = 0;
        if (!XTestQueryExtension(dpy, &event_base, &error_base, &major, &minor))
            fail("the X server has no XTEST extension");
        ERect* rect = nullptr;
        plugins[0]->dispatch(effEditGetRect, 0, 0, &rect);
        const int w = rect ? rect->right - rect->left : 400;
        const int h = rect ? rect->bottom - rect->top : 300;
        host_window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0,
                                          static_cast<unsigned>(std::max(w, 1)),
                                          static_cast<unsigned>(std::max(h, 1)), 0, 0, 0);
        XMapWindow(dpy, host_window);
        XSync(dpy, False);
        plugins[0]->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host_window));
        // Some editors know their size only once open: the host window
        // follows, as a DAW's does.
        rect = nullptr;
        plugins[0]->dispatch(effEditGetRect, 0, 0, &rect);
        if (rect && rect->right > rect->left && rect->bottom > rect->top)
            XResizeWindow(dpy, host_window, static_cast<unsigned>(rect->right - rect->left),
                          static_cast<unsigned>(rect->bottom - rect->top));
        XSync(dpy, False);
        editor_open = true;
    }

    void close_editor()
    {
        if (!editor_open)
            return;
        plugins[0]->dispatch(effEditClose);
        editor_open = false;
        XDestroyWindow(dpy, host_window);
        XCloseDisplay(dpy);
        dpy = nullptr;
    }

    // Passes `seconds` on the host's thread, sending effEditIdle as a host does.
    void host_idle_for(double seconds)
    {
        const double end = now_s() + seconds;
        while (now_s() < end) {
            idle_if_due();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    void idle_if_due()
    {
        if (!editor_open || options.idle_hz <= 0.0)
            return;
        const double t = now_s();
        if (t >= next_idle) {
            plugins[0]->dispatch(effEditIdle);
            next_idle = t + 1.0 / options.idle_hz;
        }
    }

    size_t edit_calls()
    {
        auto& r = plugins[0]->recorder();
        return r.count_of(audioMasterBeginEdit) + r.count_of(audioMasterAutomate);
    }

    // Microseconds from each flushed press to the plug-in's first edit call;
    // negative for a press that got no answer.
    std::vector<double> press_latencies()
    {
        std::vector<double> us;
        int rx = 0, ry = 0;
        Window child = 0;
        XTranslateCoordinates(dpy, host_window, DefaultRootWindow(dpy), options.press_x,
                              options.press_y, &rx, &ry, &child);
        for (int i = 0; i < options.presses; ++i) {
            XTestFakeMotionEvent(dpy, -1, rx, ry, 0);
            XSync(dpy, False);
            host_idle_for(0.1);
            const size_t before = edit_calls();
            // A press and the start of a drag: some toolkits answer the
            // press, others only the movement.
            XTestFakeButtonEvent(dpy, 1, True, 0);
            XTestFakeMotionEvent(dpy, -1, rx, ry - kDragPixels, 0);
            XFlush(dpy);
            const double sent = now_s();
            double answered = -1.0;
            while (now_s() - sent < kLatencyGiveUpS) {
                if (edit_calls() != before) {
                    answered = now_s();
                    break;
                }
                idle_if_due();
                std::this_thread::sleep_for(std::chrono::microseconds(20));
            }
            us.push_back(answered < 0.0 ? -1.0 : (answered - sent) * 1e6);
            XTestFakeButtonEvent(dpy, 1, False, 0);
            XSync(dpy, False);
            host_idle_for(kPressSpacingS);
        }
        return us;
    }

    std::set<pid_t> host_tids()
    {
        std::lock_guard<std::mutex> lock(tid_lock);
        return host_thread_ids;
    }

    void unload() { plugins.clear(); }

private:
    void host_tids_add(pid_t tid)
    {
        std::lock_guard<std::mutex> lock(tid_lock);
        host_thread_ids.insert(tid);
    }

    const Options& options;
    std::vector<std::unique_ptr<vsthost::VstPlugin>> plugins;
    std::thread audio, automation;
    std::atomic<bool> stop_audio{false}, stop_automation{false};
    std::mutex tid_lock;
    std::set<pid_t> host_thread_ids;
    Display* dpy = nullptr;
    Window host_window = 0;
    bool editor_open = false;
    double next_idle = 0.0;
};

struct Figures {
    int threads = 0;
    int threads_gone = 0;  // plug-in threads that ended during the window
    double wakeups_per_s = 0.0;
    double cpu_stat_percent = 0.0;
    double cpu_sched_percent = 0.0;
};

std::map<pid_t, ThreadCounters> plugin_threads(const std::set<pid_t>& before, Host& host)
{
    std::map<pid_t, ThreadCounters> out;
    const std::set<pid_t> host_ids = host.host_tids();
    for (pid_t tid : task_ids()) {
        if (before.count(tid) || host_ids.count(tid))
            continue;
        ThreadCounters c;
        if (read_counters(tid, &c))
            out[tid] = c;
    }
    return out;
}

Figures measure(const Options& o, const std::set<pid_t>& before, Host& host)
{
    const auto start = plugin_threads(before, host);
    const double t0 = now_s();
    host.host_idle_for(o.seconds);
    const auto end = plugin_threads(before, host);
    const double elapsed = now_s() - t0;

    Figures f;
    f.threads = static_cast<int>(end.size());
    long long switches = 0, ticks = 0, run_ns = 0;
    for (const auto& [tid, c] : end) {
        auto s = start.find(tid);
        const ThreadCounters zero;
        const ThreadCounters& from = s == start.end() ? zero : s->second;
        switches += c.switches - from.switches;
        ticks += c.ticks - from.ticks;
        run_ns += c.run_ns - from.run_ns;
    }
    for (const auto& entry : start)
        f.threads_gone += end.count(entry.first) ? 0 : 1;
    f.wakeups_per_s = static_cast<double>(switches) / elapsed;
    f.cpu_stat_percent =
        100.0 * static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK)) / elapsed;
    f.cpu_sched_percent = 100.0 * static_cast<double>(run_ns) * 1e-9 / elapsed;
    return f;
}

void print_row(const char* name, const Figures& f)
{
    std::printf("%-40s %7d %12.1f %12.2f %14.3f%s\n", name, f.threads, f.wakeups_per_s,
                f.cpu_stat_percent, f.cpu_sched_percent,
                f.threads_gone ? "  (some threads ended meanwhile)" : "");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    const std::set<pid_t> before = task_ids();

    Host host(o);
    host.load_instances();
    host.start_audio();
    std::this_thread::sleep_for(std::chrono::seconds(1));

    std::printf("plug-in %s: %d instance(s) processing 48 kHz in %d-frame blocks on a paced host "
                "thread; %.1f s per scenario; effEditIdle at %.0f Hz while an editor is open\n",
                o.plugin.c_str(), o.instances, kBlockFrames, o.seconds, o.idle_hz);
    std::printf("%-40s %7s %12s %12s %14s\n", "scenario", "threads", "wake-ups/s", "cpu % stat",
                "cpu % sched");
    print_row("a: loaded, processing, no editor", measure(o, before, host));

    host.open_editor();
    host.host_idle_for(1.0);
    print_row("b: editor open, untouched", measure(o, before, host));

    host.start_automation();
    host.host_idle_for(0.5);
    print_row("c: editor open, 8 parameters / 10 ms", measure(o, before, host));
    host.stop_threads();
    host.host_idle_for(0.5);

    if (o.presses > 0) {
        std::vector<double> us = host.press_latencies();
        const int unanswered = static_cast<int>(std::count(us.begin(), us.end(), -1.0));
        us.erase(std::remove(us.begin(), us.end(), -1.0), us.end());
        std::sort(us.begin(), us.end());
        if (us.empty()) {
            std::printf("latency: no press at (%d, %d) reached the host (%d presses)\n", o.press_x,
                        o.press_y, o.presses);
        } else {
            std::printf("latency, press at (%d, %d) to the first edit call at the host: median %.0f us, "
                        "max %.0f us (%zu presses%s)\n",
                        o.press_x, o.press_y, us[us.size() / 2], us.back(), us.size(),
                        unanswered ? ", some unanswered" : "");
        }
    }

    host.close_editor();
    host.unload();
    return 0;
}
