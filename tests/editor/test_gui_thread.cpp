// The GUI thread runs only while an editor is open, and the module unloads
// without waiting for it; an X server that dies while nobody watches, or that
// a host thread finds dead, is let go; and the engine's loop, asleep waiting
// for work, leaves at once when asked to stop.
#include "tests/editor/editor_test_support.h"

#include <dlfcn.h>

#include <cstdlib>
#include <memory>
#include <thread>

#include "plugin_interface/vst_interface.h"
#include "tests/support/x_support.h"
#include "tools/host/vst_host.h"

namespace {

using namespace editor_test;

std::unique_ptr<vsthost::VstPlugin> load()
{
    std::string error;
    std::unique_ptr<vsthost::VstPlugin> p = vsthost::VstPlugin::load(ZE710_PLUGIN_PATH, &error);
    EXPECT_TRUE(p) << error;
    return p;
}

void open_editor(vsthost::VstPlugin& p, x_client& on)
{
    const Window host = on.make_host_window(468, 510);
    p.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host));
    EXPECT_EQ(on.children(host).size(), 1u) << "the editor did not open";
}

bool threads_are(int n)
{
    return editor_test::wait_until([n] { return thread_count() == n; });
}

// A hang cannot be undone: the test process ends at once, failed.
template <typename Pred>
void done_or_die(Pred done, const char* hang)
{
    if (editor_test::wait_until(done, 10000ms))
        return;
    ADD_FAILURE() << hang;
    std::fflush(stdout);
    std::_Exit(1);
}

TEST(GuiThread, RunsOnlyWhileAnEditorIsOpen)
{
    setenv("ZOKA_UI_DPI", "96", 1);
    setenv("DISPLAY", private_display::name().c_str(), 1);
    x_client x;
    const int baseline = thread_count();
    auto a = load();
    auto b = load();
    ASSERT_TRUE(a && b);
    float buffer[2][64] = {};
    float* io[2] = {buffer[0], buffer[1]};
    a->start(48000.0f, 64);
    for (int block = 0; block < 100; ++block)
        a->process(io, io, 64);
    EXPECT_EQ(thread_count(), baseline) << "loaded, two instances, audio";

    open_editor(*a, x);
    open_editor(*b, x);
    EXPECT_EQ(thread_count(), baseline + 1) << "one thread for every editor";
    a->dispatch(effEditClose);
    EXPECT_EQ(thread_count(), baseline + 1) << "the other editor is still open";
    b->dispatch(effEditClose);
    EXPECT_TRUE(threads_are(baseline)) << "the last close stops the thread";
    open_editor(*a, x);
    a.reset();
    EXPECT_TRUE(threads_are(baseline)) << "so does the instance of the last open editor";

    // Instance closed and module unloaded with the editor open.
    open_editor(*b, x);
    std::atomic<bool> unloaded{false};
    std::thread unload([&] {
        b.reset();
        unloaded = true;
    });
    done_or_die([&] { return unloaded.load(); }, "the unload hangs");
    unload.join();
    EXPECT_EQ(dlopen(ZE710_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr);
    EXPECT_TRUE(threads_are(baseline));
}

// The server dies while no editor is open, so no loop reads the connection
// to notice: the next editor, on a new server, still opens. (The new loop
// thread may notice first; repeated, the open does not always lose the race.)
TEST(GuiThread, EditorOpensOnANewServerAfterTheOldOneDiedUnwatched)
{
    auto p = load();
    ASSERT_TRUE(p);
    for (int round = 0; round < 3; ++round) {
        test_support::private_xvfb server("1000x800x24");
        setenv("DISPLAY", server.display_name().c_str(), 1);
        {
            x_client on;
            open_editor(*p, on);
            p->dispatch(effEditClose);
        }
        server.kill_now();
    }
}

// A host thread's request finds the server gone; the loop, on its own
// thread, then releases the dead connection and returns.
TEST(GuiThread, LoopReleasesAConnectionAHostThreadFoundDead)
{
    test_support::private_xvfb server;
    setenv("DISPLAY", server.display_name().c_str(), 1);
    AFX_engine engine;
    ASSERT_TRUE(test_support::open_engine(engine));
    const int idx = engine.create_new_afx_window(0, 0, 20, 20, 1.0f, nullptr);
    server.kill_now();
    engine.SYS_window_valid(engine.get_SYS_window_idx_for_afx_window(idx));
    ASSERT_EQ(engine.get_xdisplay(), nullptr) << "the request did not find the server gone";
    test_support::loop_thread loop(engine);
    done_or_die([&] { return loop.returned(); }, "the loop hangs releasing the connection");
}

// Neither a timer nor an X event will come: only the stop itself can end the
// loop's wait.
TEST(GuiThread, StopRequestedWhileTheLoopWaitsTakesEffect)
{
    setenv("DISPLAY", private_display::name().c_str(), 1);
    void (*stops[])(AFX_engine&) = {[](AFX_engine& e) { e.stop_engine(); },
                                    [](AFX_engine& e) { e.close_display_connection(); }};
    for (auto stop : stops) {
        AFX_engine engine;
        ASSERT_TRUE(test_support::open_engine(engine));
        ASSERT_GE(engine.create_new_afx_window(0, 0, 20, 20, 1.0f, nullptr), 0);
        test_support::loop_thread loop(engine);
        std::this_thread::sleep_for(200ms);  // the loop has long gone to sleep
        std::thread stopper([&] { stop(engine); });
        const bool stopped = editor_test::wait_until([&] { return loop.returned(); }, 10000ms);
        if (!stopped)
            engine.wake_engine();  // lets the test end, failed
        stopper.join();
        EXPECT_TRUE(stopped) << (stop == stops[0] ? "stop_engine" : "close_display_connection");
    }
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new editor_test::private_display);
    return RUN_ALL_TESTS();
}
