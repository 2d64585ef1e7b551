// How long a host's automation call can stall while the plug-in's editor
// opens, paints and closes. Any Linux VST 2 module, loaded through its entry
// point as a DAW loads it:
//
//   bench_automation_stall [--seconds N] [--opens-per-second N] PLUGIN.so
//
// One host thread plays automation as hosts do on their audio thread (with
// realtime priority, SCHED_FIFO 70, where the system allows it, so that
// other processes do not preempt it): it sets the first eight parameters in
// turn every 100 us and times each setParameter call (CLOCK_MONOTONIC). The
// calls during which the thread gave up the processor (a lock or another
// wait: voluntary context switches) are counted apart. Another host thread opens the
// editor into a host window and closes it again, --opens-per-second times
// a second (default 3), for --seconds (default 10). Prints the number of
// calls, the median, the 99.9th percentile and the worst call in us.
//
// Needs an X display (DISPLAY), e.g.
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/host_idle/bench_automation_stall build/plugin/ze710.so

#include <X11/Xlib.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "plugin_interface/vst_interface.h"
#include "tools/host/vst_host.h"

namespace {

double now_us()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

[[noreturn]] void usage()
{
    std::fprintf(stderr, "usage: bench_automation_stall [--seconds N] [--opens-per-second N] PLUGIN.so\n");
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = 10.0, opens_per_second = 3.0;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--seconds" && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (a == "--opens-per-second" && i + 1 < argc)
            opens_per_second = std::atof(argv[++i]);
        else if (a.rfind("--", 0) == 0 || !path.empty())
            usage();
        else
            path = a;
    }
    if (path.empty() || seconds <= 0.0 || opens_per_second <= 0.0)
        usage();

    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "bench_automation_stall: no X display\n");
        return 1;
    }
    std::string error;
    std::unique_ptr<vsthost::VstPlugin> plugin = vsthost::VstPlugin::load(path, &error);
    if (!plugin) {
        std::fprintf(stderr, "bench_automation_stall: %s\n", error.c_str());
        return 1;
    }
    plugin->start(48000.0f, 256);
    const Window host = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1000, 1100, 0, 0, 0);
    XMapWindow(dpy, host);
    XSync(dpy, False);

    std::atomic<bool> stop{false};
    std::vector<double> call_us;
    call_us.reserve(static_cast<size_t>(seconds * 12000));
    long waited = 0;
    bool realtime = false;
    std::thread automation([&] {
        sched_param fifo{};
        fifo.sched_priority = 70;
        realtime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &fifo) == 0;
        for (int n = 0; !stop; ++n) {
            rusage before{}, after{};
            getrusage(RUSAGE_THREAD, &before);
            const double t0 = now_us();
            plugin->set_parameter(n % 8, static_cast<float>(n % 101) / 100.0f);
            const double t1 = now_us();
            getrusage(RUSAGE_THREAD, &after);
            call_us.push_back(t1 - t0);
            waited += after.ru_nvcsw != before.ru_nvcsw;
            while (now_us() < t0 + 100.0) {
            }
        }
    });
    long opens = 0;
    const double period_us = 1e6 / opens_per_second;
    for (const double end = now_us() + seconds * 1e6; now_us() < end; ++opens) {
        const double t0 = now_us();
        plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host));
        while (now_us() < t0 + period_us * 0.6)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        plugin->dispatch(effEditClose);
        while (now_us() < t0 + period_us)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stop = true;
    automation.join();
    plugin.reset();
    XCloseDisplay(dpy);

    std::sort(call_us.begin(), call_us.end());
    const size_t n = call_us.size();
    std::printf("%s: %zu setParameter calls over %.1f s (%s), editor opened %ld times\n", path.c_str(), n,
                seconds, realtime ? "SCHED_FIFO" : "normal priority", opens);
    std::printf("calls that waited (voluntary context switch): %ld\n", waited);
    std::printf("median %.2f us, 99.9th percentile %.2f us, worst %.2f us\n", call_us[n / 2],
                call_us[std::min(n - 1, n * 999 / 1000)], call_us[n - 1]);
    return 0;
}
