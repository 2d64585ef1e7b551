// CPU the event thread uses while idle: one mapped window with a 50 ms gui
// update tick that finds nothing to repaint, as the editor's window is between
// edits. The loop sleeps in poll() until the tick is due; the figure is the
// thread's CPU time over 10 s of wall time, in percent of one core, read from
// /proc/self/task/TID/stat (10 ms ticks) and from the thread's CPU clock.
//
//   DISPLAY=:N build/bench/gui_engine/bench_gui_engine_idle

#include <benchmark/benchmark.h>

#include "gui_engine/AFX_engine.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::atomic<pid_t> event_thread_tid{0};
std::atomic<clockid_t> event_thread_clock{0};
std::atomic<bool> event_thread_known{false};

// Runs once on the event thread to tell who it is.
bool note_event_thread()
{
    event_thread_tid = static_cast<pid_t>(syscall(SYS_gettid));
    clockid_t clock = 0;
    pthread_getcpuclockid(pthread_self(), &clock);
    event_thread_clock = clock;
    event_thread_known = true;
    return false;
}

bool nothing_to_repaint(void*)
{
    return true;
}

// utime + stime of a thread in seconds.
double proc_cpu_seconds(pid_t tid)
{
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(stat, line);
    // Fields after the parenthesised command name; utime and stime are 14 and 15.
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int n = 3; rest >> field; ++n) {
        if (n == 14)
            utime = std::stoull(field);
        if (n == 15) {
            stime = std::stoull(field);
            break;
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double clock_cpu_seconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_EventThreadIdleCpu(benchmark::State& state)
{
    AFX_engine engine;
    if (!engine.open_display_connection()) {
        state.SkipWithError("no X display (set DISPLAY)");
        return;
    }
    const int window = engine.create_new_afx_window(50, 50, 144, 510, 1.0f, nullptr);
    engine.select_afx_input_events(window);
    engine.show_afx_window(window);
    engine.register_gui_update_callback(window, nothing_to_repaint);
    engine.set_gui_update_interval(50);
    engine.register_sched_event_callback(note_event_thread);
    engine.set_sched_callback_interval(1);
    std::thread event_thread([&] { engine.run_engine(); });
    while (!event_thread_known)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // mapping settles

    for (auto _ : state) {
        const auto wall_start = std::chrono::steady_clock::now();
        const double proc_start = proc_cpu_seconds(event_thread_tid);
        const double clock_start = clock_cpu_seconds(event_thread_clock);
        std::this_thread::sleep_for(std::chrono::seconds(10));
        const double proc_end = proc_cpu_seconds(event_thread_tid);
        const double clock_end = clock_cpu_seconds(event_thread_clock);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
        state.SetIterationTime(wall);
        state.counters["cpu_percent_proc"] = 100.0 * (proc_end - proc_start) / wall;
        state.counters["cpu_percent_clock"] = 100.0 * (clock_end - clock_start) / wall;
    }

    engine.close_display_connection();
    event_thread.join();
}

BENCHMARK(BM_EventThreadIdleCpu)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
