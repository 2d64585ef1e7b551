// A DAW session in one process, for the load and realtime-safety tests:
// several instances of the built ze710.so loaded through its entry point, one
// audio thread that feeds all of them block by block (optionally paced like a
// sound card), automation threads that set every parameter of every instance
// at a fixed period, a control thread that switches programs and the host
// bypass and reads texts, and a watchdog that aborts the process when any of
// these threads stops making progress (a deadlock fails the test instead of
// hanging it).
//
// The audio thread opens the realtime probe's region (rt_probe.h) around each
// processReplacing call only, and times each block (all instances) outside it.
//
// Editors: `editors` instances get their editor opened before audio starts and
// closed after it stops, through the open_editor / close_editor hooks, and
// extra_control threads run next to the others (an editor's GUI activity, a
// window being destroyed...). A test that asks for editors supplies the hooks.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/host/vst_host.h"

namespace ze710test {

struct RigOptions {
    int instances = 8;
    double sample_rate = 48000.0;
    // Frames per processReplacing call, taken in turn block after block.
    std::vector<int> block_frames{32};
    // Audio thread: wait for each block's due time as a sound card does, or
    // run flat out.
    bool paced = true;
    // Stop after this much wall time, or after this many blocks if earlier
    // (0: no block limit).
    double seconds = 20.0;
    long max_blocks = 0;

    // Threads that set every parameter of every instance once per period.
    int automation_threads = 2;
    double automation_period_ms = 1.0;
    // A thread that selects programs, toggles the host bypass, renames the
    // current program and reads display texts, once per period.
    bool control_thread = true;
    double control_period_ms = 5.0;

    // Instances (the first `editors`) whose editor is open while audio runs.
    int editors = 0;
    std::function<bool(vsthost::VstPlugin&, int instance)> open_editor;
    std::function<void(vsthost::VstPlugin&, int instance)> close_editor;
    // More threads that run until audio stops: each is called with the
    // instances and a stop flag, and must return soon after the flag is set.
    // progress is bumped each round; the watchdog watches it.
    std::vector<std::function<void(std::vector<vsthost::VstPlugin*>&, const std::atomic<bool>& stop,
                                   std::atomic<long>& progress)>>
        extra_control;

    // No progress of any thread for this long: the watchdog names it and
    // aborts the process.
    double watchdog_seconds = 20.0;
};

struct RigResult {
    int instances = 0;
    long blocks = 0;            // audio blocks, each through every instance
    long process_calls = 0;     // processReplacing calls
    long frames_per_instance = 0;
    long automation_rounds = 0; // every parameter of every instance set once
    long parameter_sets = 0;
    long control_rounds = 0;
    long non_finite_samples = 0;
    double seconds = 0.0;
    // Wall time of one block through all instances, microseconds.
    double block_us_max = 0.0;
    double block_us_p99 = 0.0;
    double block_us_mean = 0.0;
    double block_period_us = 0.0;  // due time per block when paced
    long late_blocks = 0;          // blocks that finished after their due time
    // CPU time the audio thread spent on one block, microseconds: the wall
    // time less preemption by other threads and processes.
    double block_cpu_us_max = 0.0;
    // Context switches of the audio thread while it was processing (not
    // while it slept between blocks): voluntary ones mean it waited (a lock,
    // a sleep, I/O); involuntary ones are preemption.
    long voluntary_switches = 0;
    long involuntary_switches = 0;
    // Calls the probe counted inside processReplacing, when it is loaded.
    bool probe_loaded = false;
    unsigned long blocking_calls = 0;
    std::string blocking_report;
    std::string failure;  // set when the rig could not run as asked
};

RigResult run_rig(const RigOptions& options);

// One line of figures for the test log.
std::string describe(const RigResult& r);

// Seconds from the environment variable `name`, or `fallback`.
double env_seconds(const char* name, double fallback);
int env_int(const char* name, int fallback);

}  // namespace ze710test
