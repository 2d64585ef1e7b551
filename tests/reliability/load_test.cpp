// Load: eight instances in one process, every parameter of every instance
// automated from two threads every millisecond, programs and the host bypass
// switched from a third, audio in 32-frame blocks paced like a sound card.
// No crash, no deadlock (the watchdog aborts a stuck run), finite audio, and
// the audio thread never waits: with the probe preloaded, zero blocking calls
// inside processReplacing. The per-block time is reported, not asserted.
//
// ZE710_LOAD_SECONDS sets the duration (default 20 s), ZE710_LOAD_EDITORS
// how many instances have their editor open.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "load_rig.h"

using namespace ze710test;

TEST(Load, EightInstancesAutomatedEveryMillisecond)
{
    RigOptions opt;
    opt.instances = 8;
    opt.block_frames = {32};
    opt.paced = true;
    opt.seconds = env_seconds("ZE710_LOAD_SECONDS", 20.0);
    opt.automation_threads = 2;
    opt.automation_period_ms = 1.0;
    opt.editors = env_int("ZE710_LOAD_EDITORS", 0);
    const RigResult r = run_rig(opt);
    ASSERT_TRUE(r.failure.empty()) << r.failure;
    std::printf("%s\n", describe(r).c_str());
    RecordProperty("blocks", static_cast<int>(r.blocks));
    RecordProperty("block_us_max", static_cast<int>(r.block_us_max));

    EXPECT_EQ(r.instances, 8);
    // Every thread kept going to the end (a 32-frame block is due every
    // 667 us and an automation round every 1 ms; how close the run came to
    // that is reported above, not asserted).
    EXPECT_GT(r.blocks, 1000);
    EXPECT_EQ(r.frames_per_instance, r.blocks * 32);
    EXPECT_GT(r.automation_rounds, 1000);
    // Each automation round sets every parameter of every instance.
    EXPECT_EQ(r.parameter_sets, r.automation_rounds * 8 * 9);
    EXPECT_GT(r.control_rounds, 0);
    EXPECT_EQ(r.non_finite_samples, 0);
    if (r.probe_loaded) {
        EXPECT_EQ(r.blocking_calls, 0u) << r.blocking_report;
        // The audio thread never went to sleep while processing. (The
        // sanitizer runtimes may take locks of their own in there.)
        EXPECT_EQ(r.voluntary_switches, 0);
    }
}

// The watchdog turns a stuck thread into a failed (aborted) run instead of a
// hung one.
TEST(LoadWatchdog, AThreadThatStopsMakingProgressAbortsTheRun)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    RigOptions opt;
    opt.instances = 1;
    opt.seconds = 30.0;
    opt.watchdog_seconds = 1.0;
    opt.extra_control.push_back([](std::vector<vsthost::VstPlugin*>&, const std::atomic<bool>& stop,
                                   std::atomic<long>&) {
        // Never reports progress: as if it waited on a lock forever.
        while (!stop.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    EXPECT_DEATH(run_rig(opt), "watchdog: extra control thread 0 made no progress");
}
