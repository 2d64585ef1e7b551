// Realtime safety of the audio path, measured with the probe preloaded
// (support/rt_shim.c): it counts what the calling thread does inside its
// region, and nothing else. Around processReplacing only, while other
// threads automate every parameter, switch programs and the host bypass,
// rename, read texts, open and close editors (one under a destroyed host
// window) and drag their knobs, it must count no allocation, lock, wait,
// sleep, I/O or stdio call, and the audio thread must never sleep.
//
// Host automation, which hosts play on their audio thread, takes the
// instance's own lock and nothing else, however busy the editor is.
//
// ZE710_LOAD_SECONDS=60 makes it the load soak: eight instances, 32-frame
// blocks paced like a sound card, for that long.
#include "tests/support/rig.h"

#include <fcntl.h>
#include <unistd.h>

using namespace test_support;

namespace {

bool probe_loaded(const rt_probe& probe)
{
#ifndef ZE710_SANITIZED
    EXPECT_TRUE(probe.loaded()) << "the realtime probe was not preloaded";
#endif
    return probe.loaded();
}

TEST(RtProbe, CountsTheCallingThreadInsideItsRegionOnly)
{
    const rt_probe probe;
    if (!probe_loaded(probe))
        GTEST_SKIP() << "no probe in a sanitizer build";
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    volatile size_t size = 48;
    const timespec no_time{0, 0};
    const int fd = open("/dev/null", O_WRONLY);
    std::atomic<int> phase{0};
    std::thread other([&] {
        while (phase != 1) {
        }
        for (int i = 0; i < 1000; ++i)
            std::free(std::malloc(size));
        phase = 2;
    });
    probe.reset();
    probe.enter();
    for (phase = 1; phase != 2;) {
    }
    void* volatile block = std::malloc(size);
    std::free(block);
    pthread_mutex_lock(&mutex), pthread_mutex_unlock(&mutex), nanosleep(&no_time, nullptr), (void)!write(fd, "x", 1);
    probe.leave();
    other.join();
    for (const char* name : {"pthread_mutex_lock", "nanosleep", "write", "free"})
        EXPECT_EQ(probe.count_of(name), 1) << name;
    EXPECT_EQ(probe.count_of("malloc"), 1) << "only this thread's";
    EXPECT_EQ(probe.count_of("no such function"), -1);
    close(fd);
}

TEST(RealtimeSafety, NoBlockingCallInsideProcessReplacingWhileEverythingChanges)
{
    const rt_probe probe;
    const bool measured = probe_loaded(probe);
    const double soak = env_number("ZE710_LOAD_SECONDS", 0);
    editor_desk desk;
    ASSERT_TRUE(desk.ready());
    rig_options opt;
    if (soak > 0)
        opt.instances = 8, opt.block_frames = {32}, opt.seconds = soak, opt.paced = true, opt.automation_period_ms = 1.0;
    std::atomic<long> shown{0}, drags{0};
    opt.extra.push_back([&](const std::vector<vsthost::VstPlugin*>& fx, const std::atomic<bool>& stop) {
        for (long n = 0; !stop; ++n) {
            const int slot = static_cast<int>(n % 4);
            if (n % 8 < 4)
                shown += desk.open(*fx[static_cast<size_t>(slot)], slot);
            else if (n % 5 == 4)
                desk.destroy_host_window(slot);
            else
                desk.close(*fx[static_cast<size_t>(slot)], slot);
        }
        for (int slot = 0; slot < 4; ++slot)
            desk.close(*fx[static_cast<size_t>(slot)], slot);
    });
    opt.extra.push_back([&](const std::vector<vsthost::VstPlugin*>&, const std::atomic<bool>& stop) {
        for (long n = 0; !stop; ++n, std::this_thread::sleep_for(5ms))
            drags += desk.drag_knob(static_cast<int>(n % 4), 6, n % 2 == 0);
    });
    const rig_result r = run_rig(opt);
    std::printf("%s; %ld editors shown, %ld knob drags\n", r.report.c_str(), shown.load(), drags.load());
    EXPECT_GT(r.automation_rounds, 0);
    EXPECT_GT(r.control_rounds, 0);
    EXPECT_GT(shown, 0);
    EXPECT_GT(drags, 0);
    EXPECT_EQ(r.non_finite, 0);
    if (measured) {
        EXPECT_EQ(r.blocking_calls, 0u);
        EXPECT_EQ(r.voluntary_switches, 0);
    }
}

// setParameter never waits for the editor: while an editor of the same
// instance opens, paints, is dragged and closes, every call makes exactly
// one lock call (the instance mutex, which no editor path holds for longer
// than a copy) and no other blocking call.
TEST(RealtimeSafety, AutomationTakesOnlyTheInstanceLockWhileItsEditorWorks)
{
    const rt_probe probe;
    if (!probe_loaded(probe))
        GTEST_SKIP() << "no probe in a sanitizer build";
    editor_desk desk;
    ASSERT_TRUE(desk.ready());
    auto fx = load(48000.0f);
    std::atomic<bool> stop{false};
    std::atomic<long> shown{0};
    std::thread editor([&] {
        while (!stop) {
            shown += desk.open(*fx, 0);
            desk.drag_knob(0, 6, true);
            desk.close(*fx, 0);
        }
    });
    long calls = 0;
    probe.reset();
    for (const auto end = std::chrono::steady_clock::now() + 1500ms; std::chrono::steady_clock::now() < end; ++calls) {
        probe.enter();
        fx->set_parameter(static_cast<int>(calls % 8), static_cast<float>(calls % 101) / 100.0f);
        probe.leave();
    }
    stop = true;
    editor.join();
    char report[512];
    const unsigned long blocking = probe.report(report, sizeof report);
    EXPECT_GT(shown, 0);
    EXPECT_EQ(probe.count_of("pthread_mutex_lock"), calls) << report;
    EXPECT_EQ(blocking, static_cast<unsigned long>(calls)) << report;
}

} // namespace
