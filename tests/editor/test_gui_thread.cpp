// The GUI thread runs only while an editor is open: none at load, with
// instances or while audio runs; one for every open editor of the process;
// gone once the last editor closes or its instance goes, and the module
// unloads without waiting for anything; an X server that dies while nobody
// watches does not spoil the next open. And the engine's loop, waiting for
// work, leaves at once when asked to stop.
#include "tests/editor/editor_test_support.h"

#include <dlfcn.h>

#include <cstdlib>
#include <memory>
#include <thread>

#include "plugin_interface/vst_interface.h"
#include "tests/support/x_support.h"
#include "tools/host/vst_host.h"

#ifndef ZE710_PLUGIN_PATH
#error "ZE710_PLUGIN_PATH must name the built plug-in module"
#endif

namespace {

using namespace editor_test;

std::unique_ptr<vsthost::VstPlugin> load()
{
    std::string error;
    std::unique_ptr<vsthost::VstPlugin> p = vsthost::VstPlugin::load(ZE710_PLUGIN_PATH, &error);
    EXPECT_TRUE(p) << error;
    return p;
}

void process_some_audio(vsthost::VstPlugin& p)
{
    float in[2][64] = {};
    float out[2][64] = {};
    float* ins[2] = {in[0], in[1]};
    float* outs[2] = {out[0], out[1]};
    for (int block = 0; block < 100; ++block)
        p.process(ins, outs, 64);
}

bool threads_become(int n)
{
    return editor_test::wait_until([n] { return thread_count() == n; });
}

class GuiThread : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("ZOKA_UI_DPI", "96", 1);
        ASSERT_NE(x.dpy(), nullptr);
    }
    Window open_editor(vsthost::VstPlugin& p) { return open_editor(p, x); }
    static Window open_editor(vsthost::VstPlugin& p, x_client& on)
    {
        const Window host = on.make_host_window(468, 510);
        p.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host));
        EXPECT_EQ(on.children(host).size(), 1u) << "the editor did not open";
        return host;
    }
    x_client x;
};

TEST_F(GuiThread, RunsOnlyWhileAnEditorIsOpen)
{
    const int baseline = thread_count();
    auto a = load();
    auto b = load();
    ASSERT_TRUE(a && b);
    a->start(48000.0f, 64);
    b->start(48000.0f, 64);
    process_some_audio(*a);
    process_some_audio(*b);
    EXPECT_EQ(thread_count(), baseline) << "loaded, two instances, audio: no thread";

    const Window host_a = open_editor(*a);
    EXPECT_EQ(thread_count(), baseline + 1);
    const Window host_b = open_editor(*b);
    EXPECT_EQ(thread_count(), baseline + 1) << "one thread for every editor";
    a->dispatch(effEditClose);
    EXPECT_EQ(thread_count(), baseline + 1) << "the other editor is still open";
    b->dispatch(effEditClose);
    EXPECT_TRUE(threads_become(baseline)) << "the last close stops the thread";

    // An editor the host never closes: its instance takes the thread along.
    open_editor(*a);
    EXPECT_EQ(thread_count(), baseline + 1);
    a.reset();
    EXPECT_TRUE(threads_become(baseline)) << "the last instance with an editor stops the thread";
    x.destroy(host_a);
    x.destroy(host_b);
}

// The host closes the instance and unloads the module with the editor still
// open: the unload must return (a deadlock under the loader's lock fails the
// test instead of hanging it) and leave no thread behind.
TEST_F(GuiThread, UnloadWithAnEditorOpenReturnsAndLeavesNoThread)
{
    const int baseline = thread_count();
    auto p = load();
    ASSERT_TRUE(p);
    const Window host = open_editor(*p);
    ASSERT_EQ(thread_count(), baseline + 1);
    std::atomic<bool> unloaded{false};
    std::thread unload([&] {
        p.reset();
        unloaded = true;
    });
    const bool returned = editor_test::wait_until([&] { return unloaded.load(); }, 20000ms);
    if (!returned) {
        // A hung unload cannot be undone: the process ends here, failed.
        ADD_FAILURE() << "the unload did not return";
        std::fflush(stdout);
        std::_Exit(1);
    }
    unload.join();
    EXPECT_EQ(dlopen(ZE710_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr);
    EXPECT_TRUE(threads_become(baseline));
    x.destroy(host);
}

// The X server dies while no editor is open, so no loop reads the plug-in's
// connection to notice: the next editor, on a new server, still opens.
TEST_F(GuiThread, EditorOpensOnANewServerAfterTheOldOneDiedUnwatched)
{
    auto p = load();
    ASSERT_TRUE(p);
    test_support::private_xvfb first("1000x800x24");
    ASSERT_TRUE(first.running());
    setenv("DISPLAY", first.display_name().c_str(), 1);
    {
        x_client on_first;
        open_editor(*p, on_first);
        p->dispatch(effEditClose);
    }
    first.kill_now();

    test_support::private_xvfb second("1000x800x24");
    ASSERT_TRUE(second.running());
    setenv("DISPLAY", second.display_name().c_str(), 1);
    {
        x_client on_second;
        open_editor(*p, on_second);
        p->dispatch(effEditClose);
    }
    setenv("DISPLAY", private_display::name().c_str(), 1);
}

// A host thread's request finds the server gone; the loop, on its own
// thread, then releases the dead connection and returns.
TEST_F(GuiThread, LoopReleasesAConnectionAHostThreadFoundDead)
{
    test_support::private_xvfb server;
    ASSERT_TRUE(server.running());
    setenv("DISPLAY", server.display_name().c_str(), 1);
    AFX_engine engine;
    ASSERT_TRUE(test_support::open_engine(engine));
    const int idx = engine.create_new_afx_window(0, 0, 20, 20, 1.0f, nullptr);
    server.kill_now();
    engine.SYS_window_valid(engine.get_SYS_window_idx_for_afx_window(idx));
    ASSERT_EQ(engine.get_xdisplay(), nullptr) << "the request did not find the server gone";
    test_support::loop_thread loop(engine);
    if (!editor_test::wait_until([&] { return loop.returned(); }, 10000ms)) {
        ADD_FAILURE() << "the loop hangs releasing the connection";
        std::fflush(stdout);
        std::_Exit(1);
    }
    setenv("DISPLAY", private_display::name().c_str(), 1);
}

// Neither a timer nor an X event will come: only the stop itself can end the
// loop's wait.
TEST_F(GuiThread, StopRequestedWhileTheLoopWaitsTakesEffect)
{
    struct Case {
        const char* name;
        void (*stop)(AFX_engine&);
    };
    const Case cases[] = {
        {"stop_engine", [](AFX_engine& e) { e.stop_engine(); }},
        {"close_display_connection", [](AFX_engine& e) { e.close_display_connection(); }},
    };
    for (const Case& c : cases) {
        AFX_engine engine;
        ASSERT_TRUE(test_support::open_engine(engine));
        ASSERT_GE(engine.create_new_afx_window(0, 0, 20, 20, 1.0f, nullptr), 0);
        test_support::loop_thread loop(engine);
        std::this_thread::sleep_for(200ms);  // the loop has long gone to sleep
        std::thread stopper([&] { c.stop(engine); });
        const bool stopped = editor_test::wait_until([&] { return loop.returned(); }, 10000ms);
        if (!stopped)
            engine.wake_engine();  // lets the test end, failed
        stopper.join();
        EXPECT_TRUE(stopped) << c.name;
    }
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new editor_test::private_display);
    return RUN_ALL_TESTS();
}
