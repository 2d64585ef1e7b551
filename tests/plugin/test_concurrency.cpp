// Concurrency: one thread changes parameters, another switches programs and
// the host bypass, while a third processes audio, as a DAW's automation,
// UI and audio threads do. The audio stays finite throughout and the final
// state is consistent. Built with -DZE710_SANITIZE=thread this test is the
// ThreadSanitizer check of the effect's locking.
#include <atomic>
#include <cmath>
#include <thread>

#include "plugin_harness.h"

using namespace ze710test;

TEST(Concurrency, ParameterAndProgramChangesWhileAudioRuns)
{
    auto plugin = load_ze710();
    ASSERT_TRUE(plugin);
    plugin->start(48000.0f, 256);

    std::atomic<bool> stop{false};
    std::atomic<long> non_finite{0};
    std::atomic<long> blocks{0};
    constexpr int kParameterChanges = 50000;
    constexpr int kProgramChanges = 2000;

    std::thread audio([&] {
        std::vector<float> in = noise(256, 1), out_l(256), out_r(256);
        while (!stop.load()) {
            float* ins[2] = {in.data(), in.data()};
            float* outs[2] = {out_l.data(), out_r.data()};
            plugin->process(ins, outs, 256);
            for (size_t i = 0; i < 256; ++i)
                if (!std::isfinite(out_l[i]) || !std::isfinite(out_r[i]))
                    non_finite.fetch_add(1);
            blocks.fetch_add(1);
        }
    });
    // The control threads start once audio is flowing.
    while (blocks.load() == 0)
        std::this_thread::yield();
    std::thread automation([&] {
        uint32_t seed = 99;
        for (int i = 0; i < kParameterChanges; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const int index = static_cast<int>(seed >> 28) % 9;
            plugin->set_parameter(index, static_cast<float>(seed & 0xffff) / 65535.0f);
            (void)plugin->get_parameter(index);
            (void)plugin->parameter_display(index);
        }
    });
    std::thread programs([&] {
        for (int i = 0; i < kProgramChanges; ++i) {
            plugin->dispatch(effSetProgram, 0, i % 9);
            plugin->dispatch(effSetBypass, 0, i % 7 == 0);
            (void)plugin->current_program_name();
            (void)plugin->program_name(i % 9);
            if (i % 50 == 0) {
                char name[] = "Live rename";
                plugin->dispatch(effSetProgramName, 0, 0, name);
            }
        }
        plugin->dispatch(effSetBypass, 0, 0);
    });
    automation.join();
    programs.join();
    while (blocks.load() < 50)
        std::this_thread::yield();
    stop.store(true);
    audio.join();

    EXPECT_EQ(non_finite.load(), 0);
    // Every program change reported its eight values to the host.
    EXPECT_EQ(plugin->recorder().count_of(audioMasterAutomate), 8u * kProgramChanges);

    // Quiet again: the programs took whatever the automation wrote into
    // them; selecting one reports to the host exactly the values it applies.
    for (int program = 0; program < 9; ++program) {
        plugin->recorder().clear();
        plugin->dispatch(effSetProgram, 0, program);
        const auto events = plugin->recorder().calls_of(audioMasterAutomate);
        ASSERT_EQ(events.size(), 8u);
        for (const auto& e : events)
            EXPECT_EQ(e.opt, plugin->get_parameter(e.index)) << "program " << program;
    }
    // And an edit is recalled after switching away and back.
    plugin->dispatch(effSetProgram, 0, 4);
    plugin->set_parameter(1, 0.125f);
    plugin->dispatch(effSetProgram, 0, 5);
    plugin->dispatch(effSetProgram, 0, 4);
    EXPECT_EQ(plugin->parameter_display(1), "-15.00 dB");
}
