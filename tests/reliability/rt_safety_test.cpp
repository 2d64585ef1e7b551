// Realtime safety of the audio path, measured: with the probe preloaded,
// every allocation, lock, wait, sleep, file or stdio call that the audio
// thread makes inside processReplacing is counted, while other threads
// automate every parameter, switch programs, toggle the host bypass, rename
// programs and read display texts. The count must stay zero. The probe
// itself is proved first: calls made inside the region are counted, calls
// outside it or on other threads are not.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "load_rig.h"
#include "rt_probe.h"

using namespace ze710test;

namespace {

// Without the probe there is nothing to measure; in builds that preload it
// (all but the sanitizer builds) its absence is a failure, not a skip.
bool probe_or_skip(const RtProbe& probe)
{
#ifdef ZE710_EXPECT_RT_PROBE
    EXPECT_TRUE(probe.loaded()) << "the realtime probe was not preloaded";
#endif
    return probe.loaded();
}

}  // namespace

TEST(RtProbe, CountsCallsInsideTheRegionOnly)
{
    const RtProbe probe;
    if (!probe_or_skip(probe))
        GTEST_SKIP() << "realtime probe not preloaded (sanitizer build)";

    const int fd = open("/dev/null", O_WRONLY);
    ASSERT_GE(fd, 0);
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    volatile size_t size = 48;

    // Outside the region nothing is counted.
    probe.reset();
    void* volatile outside = std::malloc(size);
    std::free(outside);
    EXPECT_EQ(probe.total(), 0u) << probe.report();

    // Inside it, each kind of call is.
    {
        RtRegion region(probe);
        void* volatile p = std::malloc(size);
        std::free(p);
        pthread_mutex_lock(&mutex);
        pthread_mutex_unlock(&mutex);
        const timespec no_time{0, 0};
        nanosleep(&no_time, nullptr);
        (void)!write(fd, "x", 1);
        int* volatile q = new int[static_cast<size_t>(size)];  // operator new lands in malloc
        delete[] q;
    }
    EXPECT_GE(probe.count_of("malloc"), 2);
    EXPECT_GE(probe.count_of("free"), 2);
    EXPECT_EQ(probe.count_of("pthread_mutex_lock"), 1);
    EXPECT_EQ(probe.count_of("pthread_mutex_unlock"), 1);
    EXPECT_EQ(probe.count_of("nanosleep"), 1);
    EXPECT_EQ(probe.count_of("write"), 1);
    close(fd);

    // Another thread's calls are not counted while this one is inside.
    probe.reset();
    std::atomic<int> phase{0};
    std::thread other([&] {
        while (phase.load() != 1) {
        }
        for (int i = 0; i < 1000; ++i) {
            void* volatile p = std::malloc(size);
            std::free(p);
        }
        phase.store(2);
    });
    {
        RtRegion region(probe);
        phase.store(1);
        while (phase.load() != 2) {
        }
    }
    other.join();
    EXPECT_EQ(probe.total(), 0u) << probe.report();
}

TEST(RealtimeSafety, ProcessReplacingMakesNoBlockingCallWhileOthersChangeEverything)
{
    const RtProbe probe;
    const bool measured = probe_or_skip(probe);

    RigOptions opt;
    opt.instances = 2;
    // Odd sizes, single frames, exact and broken chunk multiples, big blocks.
    opt.block_frames = {1, 31, 32, 63, 64, 65, 100, 128, 256, 1000, 1024, 4096};
    opt.paced = false;
    opt.seconds = 3.0;
    opt.automation_threads = 2;
    opt.automation_period_ms = 0.2;
    opt.control_period_ms = 0.5;
    const RigResult r = run_rig(opt);
    ASSERT_TRUE(r.failure.empty()) << r.failure;
    std::printf("%s\n", describe(r).c_str());

    EXPECT_GT(r.automation_rounds, 0);
    EXPECT_GT(r.control_rounds, 0);
    EXPECT_EQ(r.non_finite_samples, 0);
    if (measured) {
        EXPECT_EQ(r.blocking_calls, 0u) << r.blocking_report;
        EXPECT_EQ(r.voluntary_switches, 0) << "the audio thread went to sleep inside processReplacing";
    }
}
