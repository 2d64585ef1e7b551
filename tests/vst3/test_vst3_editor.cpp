// The VST3 editor (IPlugView, "X11EmbedWindowID") embedded in a host window
// of the editor desk, with real pointer events: a knob drag reaches the
// host as beginEdit, performEdit, endEdit, on the host's thread through its
// run loop or, without one, from the editor's GUI thread; host values reach
// the knob, the host's resize reaches the editor window; and a host that
// releases everything while the GUI thread is inside its handler frees
// nothing under it.
#include <condition_variable>
#include <cstring>
#include <string>
#include <thread>

#include "tests/support/rig.h"
#include "tools/vst3_host/vst3_host.h"

#include <X11/Xlib.h>  // after the support headers: X defines None

using namespace test_support;
using namespace vst3;

namespace {

struct Instance {
    std::unique_ptr<vst3host::Module> module;
    std::unique_ptr<vst3host::Plugin> plugin;
    vst3host::Plugin* operator->() { return plugin.get(); }
};

Instance load3()
{
    std::string error;
    Instance i;
    i.module = vst3host::Module::load(ZE710_VST3_BUNDLE, &error);
    i.plugin = i.module ? i.module->create(&error) : nullptr;
    EXPECT_TRUE(i.plugin) << error;
    return i;
}

// The editor window inside the host window, 0 when there is none.
Window child_of(Display* dpy, Window host)
{
    Window root, parent, *kids = nullptr;
    unsigned n = 0;
    if (!XQueryTree(dpy, host, &root, &parent, &kids, &n))
        return 0;
    const Window w = n == 1 ? kids[0] : 0;
    if (kids)
        XFree(kids);
    return w;
}

// The view open in slot 0 of the desk, and a knob drag through it: the
// host's calls from the first beginEdit on.
std::vector<vst3host::HandlerCall> drag_in_editor(editor_desk& desk, Instance& p, vst3host::Frame& frame)
{
    IPlugView* view = p->controller()->createView("editor");
    EXPECT_NE(view, nullptr);
    if (!view)
        return {};
    view->setFrame(&frame);
    EXPECT_EQ(view->attached(reinterpret_cast<void*>(desk.host_window(0)), kPlatformTypeX11EmbedWindowID), kResultOk);
    EXPECT_TRUE(desk.editor_shown(0));
    // The engine takes a press within 0.3 s of its start for a double click.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    p->handler().clear();
    EXPECT_TRUE(desk.drag_knob(0, 10, true));
    auto ended = [&] {
        frame.pump_timers();
        const auto calls = p->handler().calls();
        return !calls.empty() && calls.back().kind == 'e';
    };
    EXPECT_TRUE(wait_until(ended));
    view->removed();
    EXPECT_EQ(frame.timers(), 0u);
    EXPECT_EQ(view->release(), 0u);
    return p->handler().calls();
}

std::string kinds_of(const std::vector<vst3host::HandlerCall>& calls)
{
    std::string s;
    for (const auto& c : calls)
        s += c.kind;
    return s;
}

}  // namespace

// With the host's run loop: the host value (-20 dB) is where the drag
// starts, the gesture arrives on the host's thread as begin, edits, end of
// parameter 0, and the controller holds the last value. The host's resize
// and size constraint follow the editor's size rule.
TEST(Vst3Editor, DragThroughTheRunLoopOnTheHostThread)
{
    editor_desk desk;
    ASSERT_TRUE(desk.ready()) << "no private X server";
    Instance p = load3();
    p->controller()->setParamNormalized(0, 0.0);
    vst3host::Frame frame(true);
    const auto calls = drag_in_editor(desk, p, frame);
    const std::string kinds = kinds_of(calls);
    ASSERT_TRUE(kinds.size() > 2 && kinds.front() == 'b' && kinds.back() == 'e' &&
                kinds.find_first_not_of('p', 1) == kinds.size() - 1)
        << kinds;
    double lowest = 1, highest = 0;
    for (const auto& c : calls) {
        EXPECT_TRUE(c.id == 0 && pthread_equal(c.thread, pthread_self()));
        if (c.kind == 'p')
            lowest = std::min(lowest, c.value), highest = std::max(highest, c.value);
    }
    EXPECT_TRUE(lowest > 0 && highest < 0.4) << lowest << " to " << highest;
    EXPECT_EQ(p->controller()->getParamNormalized(0), calls[calls.size() - 2].value);

    // Sizes: the width follows the height, from 510 to 1020 pixels; the
    // host's onSize resizes the editor window and keeps the size in the state.
    IPlugView* view = p->controller()->createView("editor");
    ASSERT_NE(view, nullptr);
    ViewRect rect{0, 0, 100, 5000}, size{};
    EXPECT_EQ(view->checkSizeConstraint(&rect), kResultTrue);
    EXPECT_TRUE(rect.right == 468 && rect.bottom == 1020) << rect.right << "x" << rect.bottom;
    view->setFrame(&frame);
    const Window host = desk.host_window(0);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(host), kPlatformTypeX11EmbedWindowID), kResultOk);
    ViewRect bigger{0, 0, 468, 765};
    EXPECT_EQ(view->onSize(&bigger), kResultOk);
    EXPECT_TRUE(view->getSize(&size) == kResultOk && size.bottom == 765);
    EXPECT_TRUE(wait_until([&] {
        XWindowAttributes a{};
        const Window editor = child_of(desk.display(), host);
        return editor && XGetWindowAttributes(desk.display(), editor, &a) && a.height == 765;
    }));
    float ui_size = 0;
    std::memcpy(&ui_size, p->state().data() + 20, 4);
    EXPECT_EQ(ui_size, 0.5f);
    view->removed();
    view->release();
}

// Without a run loop the GUI thread calls the host itself, as a VST 2 host.
TEST(Vst3Editor, WithoutARunLoopTheGuiThreadCallsTheHost)
{
    editor_desk desk;
    ASSERT_TRUE(desk.ready()) << "no private X server";
    Instance p = load3();
    vst3host::Frame frame(false);
    const auto calls = drag_in_editor(desk, p, frame);
    ASSERT_GT(calls.size(), 2u) << kinds_of(calls);
    for (const auto& c : calls)
        EXPECT_FALSE(pthread_equal(c.thread, pthread_self()));
}

// The host releases the view and the instance while the GUI thread is
// inside its beginEdit: the view and the instance stay until that call has
// returned, then go (AddressSanitizer sees a use after free or a leak), and
// the host hears nothing more.
TEST(Vst3Editor, ReleasedWhileTheGuiThreadIsInsideTheHost)
{
    editor_desk desk;
    ASSERT_TRUE(desk.ready()) << "no private X server";
    Instance p = load3();
    vst3host::Frame frame(false);
    struct Gate {
        std::mutex lock;
        std::condition_variable changed;
        bool inside = false, released = false;
    } gate;
    p->handler().on_call_data = &gate;
    p->handler().on_call = [](const vst3host::HandlerCall& call, void* data) {
        auto* g = static_cast<Gate*>(data);
        std::unique_lock<std::mutex> hold(g->lock);
        if (call.kind != 'b' || g->inside)
            return;
        g->inside = true;
        g->changed.notify_all();
        g->changed.wait(hold, [g] { return g->released; });
    };
    IPlugView* view = p->controller()->createView("editor");
    ASSERT_NE(view, nullptr);
    view->setFrame(&frame);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(desk.host_window(0)), kPlatformTypeX11EmbedWindowID), kResultOk);
    ASSERT_TRUE(desk.plugin_resources(0).connected);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ASSERT_TRUE(desk.drag_knob(0, 10, true));
    {
        std::unique_lock<std::mutex> hold(gate.lock);
        ASSERT_TRUE(gate.changed.wait_for(hold, std::chrono::seconds(5), [&] { return gate.inside; }));
    }
    view->removed();
    view->setFrame(nullptr);
    EXPECT_EQ(view->release(), 0u);
    EXPECT_EQ(p->release_all(), 1u);  // the view, inside the host's call, still holds the instance
    const size_t calls = p->handler().calls().size();
    {
        std::lock_guard<std::mutex> hold(gate.lock);
        gate.released = true;
    }
    gate.changed.notify_all();
    // The GUI thread gives back the handler it held for the call; nothing
    // else holds it.
    EXPECT_TRUE(wait_until([&] { return p->handler().references() == 0; }));
    EXPECT_TRUE(wait_until([&] { return desk.plugin_resources(0).windows == 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(p->handler().calls().size(), calls);
}
