// Editor lifecycle without leaks: one editor opened and closed 200 times,
// then 50 instances each created, started, opened, closed and destroyed
// while another instance keeps the module (and its X connection) loaded.
// Afterwards the X server holds exactly the windows, pixmaps and other
// resources for the plug-in's connection that it held after the first
// cycle (X-Resource extension), the heap has not grown by more than a
// fraction of one editor's images, and, in the AddressSanitizer build,
// LeakSanitizer finds nothing unreachable.
#include <gtest/gtest.h>
#include <malloc.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "editor_desk.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define ZE710_LEAK_CHECKER 1
// The sanitizer runtime's own count of live heap bytes (g++ ships no header
// declaring it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

using namespace ze710test;

namespace {

// One editor's decoded images and buffers are several hundred kilobytes;
// a leak of anything per cycle would pass this after 50 or 200 cycles.
constexpr long kHeapGrowthLimit = 64 * 1024;

std::unique_ptr<vsthost::VstPlugin> load()
{
    std::string error;
    std::unique_ptr<vsthost::VstPlugin> p = vsthost::VstPlugin::load(ZE710_PLUGIN_PATH, &error);
    EXPECT_TRUE(p) << error;
    if (p)
        p->start(48000.0f, 256);
    return p;
}

long process_some(vsthost::VstPlugin& p)
{
    std::vector<float> l(256), r(256);
    long non_finite = 0;
    for (int block = 0; block < 4; ++block) {
        for (size_t i = 0; i < l.size(); ++i)
            l[i] = r[i] = 0.5f * std::sin(0.03f * static_cast<float>(i + 256 * block));
        float* io[2] = {l.data(), r.data()};
        p.process(io, io, 256);
        for (size_t i = 0; i < l.size(); ++i)
            non_finite += !std::isfinite(l[i]) + !std::isfinite(r[i]);
    }
    return non_finite;
}

long heap_in_use()
{
#ifdef ZE710_LEAK_CHECKER
    return static_cast<long>(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 m = mallinfo2();
    return static_cast<long>(m.uordblks + m.hblkhd);
#endif
}

// The engine destroys a closed editor's window at its next loop pass: give
// the server time to see it before counting.
XClientResources settled_resources(EditorDesk& desk)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    return desk.plugin_client_resources();
}

int leak_check()
{
#ifdef ZE710_LEAK_CHECKER
    return __lsan_do_recoverable_leak_check();
#else
    return -1;
#endif
}

}  // namespace

TEST(EditorLifecycle, OneEditorOpenedAndClosedTwoHundredTimes)
{
    EditorDesk desk;
    ASSERT_TRUE(desk.ready()) << "no private X server";
    auto p = load();
    ASSERT_TRUE(p);

    // First cycle: the connection, its atoms and the engine's caches come
    // into being; they are what every later cycle must come back to.
    ASSERT_TRUE(desk.open(*p, 0));
    ASSERT_TRUE(desk.learn_plugin_client(0));
    const XClientResources open_once = desk.plugin_client_resources();
    desk.close(*p, 0);
    const XClientResources before = settled_resources(desk);
    const long heap_before = heap_in_use();
    ASSERT_TRUE(before.known);
    EXPECT_GT(open_once.windows, before.windows) << "an open editor must show in the counts";

    int shown = 0;
    long non_finite = 0;
    for (int cycle = 0; cycle < 200; ++cycle) {
        p->set_parameter(cycle % 8, static_cast<float>(cycle % 11) / 10.0f);
        shown += desk.open(*p, 0);
        non_finite += process_some(*p);
        desk.close(*p, 0);
    }
    const XClientResources after = settled_resources(desk);
    const long heap_growth = heap_in_use() - heap_before;
    const int leaks = leak_check();
    std::printf("200 open/close cycles, %d editors shown; X resources of the plug-in's connection: "
                "open %s; closed, before %s; after %s; heap growth %ld bytes; leak check %s\n",
                shown, open_once.describe().c_str(), before.describe().c_str(), after.describe().c_str(),
                heap_growth, leaks < 0 ? "not in this build" : (leaks ? "LEAKS FOUND" : "clean"));

    EXPECT_EQ(shown, 200);
    EXPECT_EQ(non_finite, 0);
    ASSERT_TRUE(after.known);
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_EQ(after.pixmaps, before.pixmaps);
    EXPECT_EQ(after.pixmap_bytes, before.pixmap_bytes);
    EXPECT_EQ(after.total, before.total);
    EXPECT_LT(heap_growth, kHeapGrowthLimit);
    EXPECT_LE(leaks, 0);
}

TEST(EditorLifecycle, FiftyInstancesCreatedOpenedClosedAndDestroyed)
{
    EditorDesk desk;
    ASSERT_TRUE(desk.ready()) << "no private X server";
    // Keeps the module, its engine and its X connection loaded throughout.
    auto keeper = load();
    ASSERT_TRUE(keeper);
    ASSERT_TRUE(desk.open(*keeper, 1));
    ASSERT_TRUE(desk.learn_plugin_client(1));
    desk.close(*keeper, 1);
    {
        // One full cycle first, as the loop below does it.
        auto p = load();
        ASSERT_TRUE(p);
        ASSERT_TRUE(desk.open(*p, 0));
        desk.close(*p, 0);
    }
    const XClientResources before = settled_resources(desk);
    const long heap_before = heap_in_use();
    ASSERT_TRUE(before.known);

    int shown = 0;
    long non_finite = 0;
    for (int cycle = 0; cycle < 50; ++cycle) {
        auto p = load();
        ASSERT_TRUE(p);
        p->dispatch(effSetProgram, 0, cycle % 9);
        non_finite += process_some(*p);
        shown += desk.open(*p, 0);
        p->set_parameter(cycle % 8, 0.3f);
        non_finite += process_some(*p);
        // Every other instance is destroyed with its editor still open, as
        // a host that skips effEditClose does.
        if (cycle % 2 == 0)
            desk.close(*p, 0);
        p.reset();
        desk.destroy_host_window(0);
    }
    const XClientResources after = settled_resources(desk);
    const long heap_growth = heap_in_use() - heap_before;
    const int leaks = leak_check();
    std::printf("50 create/open/close/destroy cycles, %d editors shown; X resources of the plug-in's "
                "connection before %s; after %s; heap growth %ld bytes; leak check %s\n",
                shown, before.describe().c_str(), after.describe().c_str(), heap_growth,
                leaks < 0 ? "not in this build" : (leaks ? "LEAKS FOUND" : "clean"));

    EXPECT_EQ(shown, 50);
    EXPECT_EQ(non_finite, 0);
    ASSERT_TRUE(after.known);
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_EQ(after.pixmaps, before.pixmaps);
    EXPECT_EQ(after.pixmap_bytes, before.pixmap_bytes);
    EXPECT_EQ(after.total, before.total);
    EXPECT_LT(heap_growth, kHeapGrowthLimit);
    EXPECT_LE(leaks, 0);
}
