// process() on an audio thread under the realtime probe (support/rt_shim.c),
// in place, in blocks of 0 to 4096 frames with value events in range, beyond
// it, NaN and foreign, while the main thread saves and loads the state, reads
// values and texts and runs on_main_thread, and the open editor is dragged
// with real pointer events: no blocking call inside process(), only finite
// samples, and afterwards every value is the one the last events set.
#include <cmath>
#include <thread>

#include "tests/clap/clap_rig.h"
#include "tests/support/rig.h"

using namespace clap_test;
using namespace test_support;

TEST(ClapThreads, ProcessIsRealtimeSafeWhileEverythingElseMoves)
{
    const rt_probe probe;
    ASSERT_RT_PROBE_READY(probe);
    editor_desk desk;
    ASSERT_TRUE(desk.ready());
    auto c = load_clap();
    ASSERT_TRUE(c);
    const auto* gui = c->extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
    clap_window_t window{};
    window.api = CLAP_WINDOW_API_X11;
    window.x11 = desk.host_window(0);
    ASSERT_TRUE(gui->create(c->plugin(), CLAP_WINDOW_API_X11, false) && gui->set_parent(c->plugin(), &window));
    ASSERT_TRUE(c->activate(48000.0, 4096));

    std::atomic<bool> done{false};
    long non_finite = 0;
    std::thread audio([&] {
        std::vector<float> l(4096), r(4096);
        float* const io[2] = {l.data(), r.data()};
        const uint32_t sizes[] = {4096, 0, 1, 31, 64, 65, 1000};
        std::vector<InEvent> events;
        events.reserve(16);
        for (uint32_t round = 0; round < 1400; ++round) {
            const uint32_t n = sizes[round % 7];
            events.clear();
            for (clap_id id = 0; id < 8; ++id) {
                const double v = round % 13 == id ? NAN : static_cast<double>((round * 37 + id * 11) % 300) * 30 - 200;
                events.push_back({n ? (id * 97 + round) % n : 0, id, v});
            }
            events.push_back({0, kBypass, round % 5 == 0 ? 1.0 : 0.0});
            events.push_back({0, 8, 1.0, CLAP_EVENT_PARAM_MOD});
            for (uint32_t i = 0; i < 4096; ++i)
                r[i] = -(l[i] = static_cast<float>((round * 7919 + i * 104729) % 2000) / 4000 - 0.25f);
            {
                rt_region region(probe);
                c->process(io, io, n, events);
            }
            for (uint32_t i = 0; i < n; ++i)
                non_finite += !std::isfinite(l[i]) + !std::isfinite(r[i]);
        }
        done = true;
    });
    long rounds = 0;
    for (; !done; ++rounds) {
        const std::vector<uint8_t> state = c->save();
        EXPECT_TRUE(c->load(state));
        c->idle();
        EXPECT_FALSE(c->text(rounds % 8, c->value(rounds % 8)).empty());
        if (rounds % 4 == 0)
            desk.drag_knob(0, 4, rounds % 8 == 0);
    }
    audio.join();
    char report[512] = "";
    EXPECT_EQ(probe.blocking_calls(report, sizeof report), 0u) << report;
    EXPECT_EQ(non_finite, 0);
    EXPECT_GT(rounds, 2);
    // A last block (the drags move HF gain only): its values stand, and reach the bank.
    std::vector<float> l(64), r(64);
    float* const io[2] = {l.data(), r.data()};
    c->process(io, io, 64, {{3, 1, 12.0}, {5, 3, -7.5}, {7, 7, 0.0}, {9, kBypass, 1.0}});
    c->idle();
    auto fresh = load_clap();
    ASSERT_TRUE(fresh && fresh->load(c->save()));
    EXPECT_TRUE(fresh->value(1) == 12 && fresh->value(3) == -7.5 && fresh->value(7) == 0 && c->value(kBypass) == 1);
    gui->destroy(c->plugin());
}
