// The CLAP editor (clap.gui, X11, embedded) in a host window of the editor
// desk's private X server, driven by real pointer events (XTest): the host's
// bypass greys it as effSetBypass does (the VST 2 reference picture); a drag
// reaches the host as gesture begin, values and gesture end, through flush()
// while the host is not processing and through process() while it is, and
// starts from the value the host set last; the program arrows send the
// selected program's values; the size grip asks the host for the new size,
// on its main thread, and the size is kept with the state. While the editor
// exists the plug-in keeps a host timer, its main-thread tick.
#include <cmath>
#include <cstring>
#include <thread>

#include "plugin_interface/vst_interface.h"
#include "tests/clap/clap_rig.h"
#include "tests/support/rig.h"

using namespace clap_test;
using namespace test_support;

namespace {

// The editor at size 0 and scale 1 in the desk's 468 x 510 host windows.
constexpr int kLeftX = 162 + 90, kLeftY = 8, kGripX = 468 - 4, kGripY = 510 - 4;

// A press within 0.3 s of the last counts as a double click.
void pause_between_presses() { std::this_thread::sleep_for(std::chrono::milliseconds(400)); }

// Whether the events since `from` are one gesture of parameter `id` whose
// values all lie strictly between lo and hi.
bool one_gesture(const std::vector<OutEvent>& e, size_t from, clap_id id, double lo, double hi)
{
    if (e.size() < from + 3 || e[from].type != CLAP_EVENT_PARAM_GESTURE_BEGIN || e.back().type != CLAP_EVENT_PARAM_GESTURE_END)
        return false;
    for (size_t i = from; i < e.size(); ++i)
        if (e[i].id != id || (i > from && i + 1 < e.size() && !(e[i].type == CLAP_EVENT_PARAM_VALUE && e[i].value > lo && e[i].value < hi)))
            return false;
    return true;
}

}  // namespace

TEST(ClapEditor, BypassGesturesProgramsAndSize)
{
    editor_desk desk;
    ASSERT_TRUE(desk.ready()) << "no private X server";
    auto c = load_clap();
    ASSERT_TRUE(c);
    const auto* gui = c->extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
    const clap_plugin_t* p = c->plugin();
    uint32_t w = 0, h = 0;
    EXPECT_FALSE(gui->is_api_supported(p, CLAP_WINDOW_API_X11, true) || gui->create(p, "wayland", false));
    ASSERT_TRUE(gui->create(p, CLAP_WINDOW_API_X11, false) && gui->get_size(p, &w, &h));
    EXPECT_TRUE(w == 468 && h == 510) << w << " x " << h;
    EXPECT_EQ(c->requests().timers.size(), 1u);  // the main thread's tick, for hosts that never call back
    const Window host = desk.host_window(0);
    clap_window_t window{};
    window.api = CLAP_WINDOW_API_X11;
    window.x11 = host;
    ASSERT_TRUE(gui->set_parent(p, &window) && gui->show(p));
    ASSERT_TRUE(desk.editor_shown(0));

    // 1. The host's bypass, set while inactive: the VST 2 editor's grey picture.
    x_client x;
    std::vector<rgb> colour, last, now;
    auto settle = [&] {
        EXPECT_TRUE(wait_until([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            last.swap(now), now = x.capture(host);
            return !now.empty() && now == last;
        }));
        return now;
    };
    colour = settle();
    c->flush({{0, kBypass, 1.0}});
    EXPECT_EQ(compare_reference(ZE710_EDITOR_REFERENCE_DIR, ZE710_TEST_OUTPUT_DIR, "bypass.png", 468, 510, settle()), "");
    c->flush({{0, kBypass, 0.0}});
    EXPECT_TRUE(wait_until([&] { return x.capture(host) == colour; }));

    // 2. Inactive: the host sets -20 dB, a drag up from there comes back from flush().
    c->flush({{0, 0, -20.0}});
    pause_between_presses();
    ASSERT_TRUE(desk.drag_knob(0, 10, true));
    auto ended = [&](auto call) {
        return wait_until([&] {
            call();
            const std::vector<OutEvent> e = c->out_events();
            return !e.empty() && e.back().type == CLAP_EVENT_PARAM_GESTURE_END;
        });
    };
    ASSERT_TRUE(ended([&] { c->flush({}); }));
    std::vector<OutEvent> e = c->out_events();
    EXPECT_TRUE(one_gesture(e, 0, 0, -20, -5));
    EXPECT_TRUE(c->requests().flush >= static_cast<int>(e.size()) && c->value(0) == e[e.size() - 2].value);

    // 3. Active: the host sets +20 dB in process(); a drag down comes back from process().
    ASSERT_TRUE(c->activate(48000.0, 256));
    std::vector<float> l(256), r(256);
    float* const io[2] = {l.data(), r.data()};
    c->clear_out_events();
    c->process(io, io, 256, {{10, 0, 20.0}});
    EXPECT_TRUE(c->idle());  // the current program follows on the main thread
    pause_between_presses();
    ASSERT_TRUE(desk.drag_knob(0, 10, false));
    ASSERT_TRUE(ended([&] { c->process(io, io, 256); }));
    EXPECT_TRUE(one_gesture(c->out_events(), 0, 0, 5, 20));

    // 4. The left arrow: the name first, then program 9 ("09 Hollow Mid"),
    // its values in the VST 2 order of automation.
    auto vst2 = load();
    vst2->dispatch(effSetProgram, 0, 8);
    c->clear_out_events();
    for (int click = 0; click < 2; ++click) {
        pause_between_presses();
        desk.drag(0, kLeftX, kLeftY, 0, 0, 0);
    }
    const clap_id order[] = {0, 1, 3, 5, 4, 2, 6, 7};
    ASSERT_TRUE(wait_until([&] { return c->process(io, io, 256), c->out_events().size() >= 8; }));
    e = c->out_events();
    ASSERT_EQ(e.size(), 8u);
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(e[i].id, order[i]);
        EXPECT_NEAR(e[i].value, plain(order[i], vst2->get_parameter(static_cast<VstInt32>(order[i]))), 1e-3) << i;
    }
    EXPECT_EQ(c->save().at(16), 8);  // the current program

    // 5. The grip: the host is asked for a taller window, on its main thread.
    pause_between_presses();
    desk.drag(0, kGripX, kGripY, 0, 3, 30);
    // Until the last size asked for is the one kept with the state.
    EXPECT_TRUE(wait_until([&] {
        c->idle();
        const auto asked = c->requests().resize;
        float ui_size = 0;
        std::memcpy(&ui_size, c->save().data() + 20, 4);
        return !asked.empty() && ui_size > 0.1f && asked.back().first == 468 &&
               std::abs(510 * (1 + ui_size) - static_cast<float>(asked.back().second)) <= 1.0f;
    }));
    EXPECT_FALSE(c->requests().off_main_thread);
    gui->destroy(p);
    EXPECT_TRUE(c->requests().timers.empty());
}
