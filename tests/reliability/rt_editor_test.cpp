// Realtime safety with the editor changing: while the audio thread runs
// processReplacing flat out with the probe counting, other threads open,
// close and reopen editors (and destroy a host window under one), drag knobs
// in them with real pointer events, automate every parameter and switch
// programs and the host bypass, so the editors repaint all the time. The
// audio thread makes no blocking call and never sleeps inside
// processReplacing.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "editor_desk.h"
#include "load_rig.h"
#include "rt_probe.h"

using namespace ze710test;

TEST(RealtimeSafetyWithEditors, NoBlockingCallWhileEditorsOpenCloseAndRepaint)
{
    const RtProbe probe;
#ifdef ZE710_EXPECT_RT_PROBE
    EXPECT_TRUE(probe.loaded()) << "the realtime probe was not preloaded";
#endif
    EditorDesk desk;
    ASSERT_TRUE(desk.ready()) << "no private X server";

    RigOptions opt;
    opt.instances = 4;
    opt.block_frames = {1, 32, 63, 64, 65, 256, 1024};
    opt.paced = false;
    opt.seconds = env_seconds("ZE710_RT_EDITOR_SECONDS", 5.0);
    opt.automation_threads = 2;
    opt.automation_period_ms = 0.2;
    opt.control_period_ms = 0.5;
    opt.editors = 2;  // two open from the start; the churn thread adds the others
    opt.open_editor = [&](vsthost::VstPlugin& p, int i) { return desk.open(p, i); };
    opt.close_editor = [&](vsthost::VstPlugin& p, int i) { desk.close(p, i); };

    // Editors of all four instances closed and opened in turn; every fifth
    // change the host destroys its window under an open editor instead.
    std::atomic<long> opens{0}, closes{0}, destroyed{0}, failed_opens{0}, drags{0};
    opt.extra_control.push_back([&](std::vector<vsthost::VstPlugin*>& plugins, const std::atomic<bool>& stop,
                                    std::atomic<long>& progress) {
        std::array<bool, 4> open{true, true, false, false};
        for (long n = 0; !stop.load(); ++n) {
            const int slot = static_cast<int>(n % 4);
            vsthost::VstPlugin& p = *plugins[static_cast<size_t>(slot)];
            if (!open[static_cast<size_t>(slot)]) {
                failed_opens += !desk.open(p, slot);
                ++opens;
            } else if (n % 5 == 4) {
                desk.destroy_host_window(slot);
                ++destroyed;
            } else {
                desk.close(p, slot);
                ++closes;
            }
            open[static_cast<size_t>(slot)] = !open[static_cast<size_t>(slot)];
            progress.fetch_add(1);
        }
        for (int slot = 2; slot < 4; ++slot)
            desk.close(*plugins[static_cast<size_t>(slot)], slot);
    });
    opt.extra_control.push_back([&](std::vector<vsthost::VstPlugin*>&, const std::atomic<bool>& stop,
                                    std::atomic<long>& progress) {
        for (long n = 0; !stop.load(); ++n) {
            drags += desk.drag_knob(static_cast<int>(n % 4), 6, n % 2 == 0);
            progress.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });

    const RigResult r = run_rig(opt);
    ASSERT_TRUE(r.failure.empty()) << r.failure;
    std::printf("%s; editors opened %ld times (%ld failed), closed %ld times, host window destroyed under "
                "%ld, %ld knob drags\n",
                describe(r).c_str(), opens.load(), failed_opens.load(), closes.load(), destroyed.load(),
                drags.load());

    EXPECT_GT(r.automation_rounds, 0);
    EXPECT_GT(r.control_rounds, 0);
    EXPECT_EQ(r.non_finite_samples, 0);
    EXPECT_GE(opens.load(), 4);
    EXPECT_GE(closes.load(), 2);
    EXPECT_EQ(failed_opens.load(), 0);
    if (probe.loaded()) {
        EXPECT_EQ(r.blocking_calls, 0u) << r.blocking_report;
        EXPECT_EQ(r.voluntary_switches, 0) << "the audio thread went to sleep inside processReplacing";
    }
}
