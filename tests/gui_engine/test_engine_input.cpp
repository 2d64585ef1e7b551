// Real pointer and key events (XTest on a second connection) reach the
// window's callbacks: the double-click rule with its one engine-wide click
// time, releases and motion in window coordinates, and key presses with their
// text.

// GoogleTest before the engine header: Xlib defines macros (None) that clash
// with GoogleTest's own names.
#include <gtest/gtest.h>

#include "tests/support/x_support.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace test_support;

struct input_report {
    char kind;  // 'p' press, 'd' double click, 'r' release, 'm' motion
    int x, y, button, window;
};

recorder<input_report>* input_log = nullptr;

void on_press(int x, int y, int button, int window, void*)
{
    input_log->add({'p', x, y, button, window});
}
void on_double(int x, int y, int button, int window, void*)
{
    input_log->add({'d', x, y, button, window});
}
void on_release(int x, int y, int button, int window, void*)
{
    input_log->add({'r', x, y, button, window});
}
void on_motion(int x, int y, int window, void*)
{
    input_log->add({'m', x, y, 0, window});
}

std::string kinds(const std::vector<input_report>& reports, char only = 0)
{
    std::string s;
    for (const input_report& r : reports)
        if (!only || r.kind == only || (only == 'c' && (r.kind == 'p' || r.kind == 'd')))
            s += r.kind;
    return s;
}

class EngineInput : public testing::Test {
protected:
    void SetUp() override
    {
        input_log = &inputs;
        ASSERT_TRUE(open_engine(engine));
        int event_base, error_base, major, minor;
        ASSERT_TRUE(XTestQueryExtension(client.display(), &event_base, &error_base, &major, &minor));
        window = engine.create_new_afx_window(left, top, 100, 80, 1.0f, nullptr);
        ASSERT_GE(window, 0);
        engine.register_button_press_callback(window, on_press);
        engine.register_double_click_callback(window, on_double);
        engine.register_button_release_callback(window, on_release);
        engine.register_motion_notify_callback(window, on_motion);
        engine.select_afx_input_events(window, true);
        engine.show_afx_window(window);
        ASSERT_TRUE(client.wait_viewable(engine.get_SYS_window_idx_for_afx_window(window)));
        loop = std::make_unique<loop_thread>(engine);
        move_to(left + 30, top + 20);
        // The engine's click time starts at its construction.
        std::this_thread::sleep_for(350ms);
        ASSERT_TRUE(wait_until([&] { return inputs.count() > 0; }));  // the motion
        inputs.clear();
    }
    void TearDown() override
    {
        loop.reset();
        input_log = nullptr;
    }

    void move_to(int x, int y)
    {
        XTestFakeMotionEvent(client.display(), DefaultScreen(client.display()), x, y, CurrentTime);
        XSync(client.display(), False);
    }
    void click(unsigned button)
    {
        XTestFakeButtonEvent(client.display(), button, True, CurrentTime);
        XTestFakeButtonEvent(client.display(), button, False, CurrentTime);
        XSync(client.display(), False);
    }
    std::vector<input_report> clicks_seen(size_t n)
    {
        wait_until([&] { return kinds(inputs.values(), 'c').size() >= n; });
        std::this_thread::sleep_for(30ms);
        return inputs.values();
    }

    static constexpr int left = 100;
    static constexpr int top = 120;
    recorder<input_report> inputs;
    AFX_engine engine;
    x_client client;
    int window = -1;
    std::unique_ptr<loop_thread> loop;
};

// Clicks of one button with the pauses between them, and the presses ('p')
// and double clicks ('d') the window must report: a second left click within
// 300 ms is a double click, and so is a third; the right button never makes
// one.
struct click_case {
    const char* name;
    unsigned button;
    std::vector<int> pauses_ms;  // before each click after the first
    const char* expected;
};

void PrintTo(const click_case& c, std::ostream* os)
{
    *os << c.name;
}

class ClickSequence : public EngineInput, public testing::WithParamInterface<click_case> {};

TEST_P(ClickSequence, GivesPressesAndDoubleClicks)
{
    const click_case& c = GetParam();
    click(c.button);
    for (int pause : c.pauses_ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        click(c.button);
    }
    const size_t clicks = c.pauses_ms.size() + 1;
    const std::vector<input_report> seen = clicks_seen(clicks);
    EXPECT_EQ(kinds(seen, 'c'), c.expected);
    for (const input_report& r : seen) {
        EXPECT_EQ(r.button, static_cast<int>(c.button));
        if (r.kind == 'd' || r.kind == 'p') {
            EXPECT_EQ(r.x, 30);
            EXPECT_EQ(r.y, 20);
            EXPECT_EQ(r.window, window);
        }
    }
    EXPECT_EQ(kinds(seen, 'r'), std::string(clicks, 'r')) << "every click's release is reported";
}

INSTANTIATE_TEST_SUITE_P(
    EngineInput, ClickSequence,
    testing::Values(click_case{"TwoLeftClicksWithin300msGivePressThenDoubleClick", Button1, {200}, "pd"},
                    click_case{"AThirdQuickClickIsAgainADoubleClick", Button1, {120, 120}, "pdd"},
                    click_case{"ClicksFurtherApartAreTwoPresses", Button1, {400}, "pp"},
                    click_case{"RightButtonNeverMakesADoubleClick", Button3, {200}, "pp"}),
    [](const testing::TestParamInfo<click_case>& info) { return std::string(info.param.name); });

TEST_F(EngineInput, MotionAndReleaseArriveInWindowCoordinates)
{
    move_to(left + 70, top + 55);
    ASSERT_TRUE(wait_until([&] { return kinds(inputs.values(), 'm').size() >= 1; }));
    const input_report motion = inputs.values().back();
    EXPECT_EQ(motion.x, 70);
    EXPECT_EQ(motion.y, 55);
    EXPECT_EQ(motion.window, window);
    inputs.clear();
    XTestFakeButtonEvent(client.display(), Button2, True, CurrentTime);
    XTestFakeButtonEvent(client.display(), Button2, False, CurrentTime);
    XSync(client.display(), False);
    ASSERT_TRUE(wait_until([&] { return kinds(inputs.values(), 'r').size() == 1; }));
    for (const input_report& r : inputs.values()) {
        if (r.kind == 'r') {
            EXPECT_EQ(r.x, 70);
            EXPECT_EQ(r.y, 55);
            EXPECT_EQ(r.button, 2);
        }
    }
}

struct key_report {
    std::string text;
    bool has_text;
    unsigned keysym;
    bool press;
};
recorder<key_report>* key_log = nullptr;

void on_key_press(char* text, unsigned keysym, unsigned, int, void*)
{
    key_log->add({text ? text : "", text != nullptr, keysym, true});
}
void on_key_release(char* text, unsigned keysym, unsigned, int, void*)
{
    key_log->add({text ? text : "", text != nullptr, keysym, false});
}

TEST_F(EngineInput, KeyPressCarriesTextAndKeysym)
{
    recorder<key_report> keys;
    key_log = &keys;
    engine.register_keypress_callback(window, on_key_press);
    engine.register_keyrelease_callback(window, on_key_release);
    // The pointer is over the window and the focus follows it (no window manager).
    const KeyCode a = XKeysymToKeycode(client.display(), XK_a);
    ASSERT_NE(a, 0);
    XTestFakeKeyEvent(client.display(), a, True, CurrentTime);
    XTestFakeKeyEvent(client.display(), a, False, CurrentTime);
    XSync(client.display(), False);
    ASSERT_TRUE(wait_until([&] { return keys.count() == 2; }));
    const std::vector<key_report> seen = keys.values();
    EXPECT_TRUE(seen[0].press);
    EXPECT_EQ(seen[0].text, "a");
    EXPECT_EQ(seen[0].keysym, static_cast<unsigned>(XK_a));
    EXPECT_FALSE(seen[1].press);
    EXPECT_FALSE(seen[1].has_text);
    EXPECT_EQ(seen[1].keysym, static_cast<unsigned>(XK_a));
    key_log = nullptr;
}

} // namespace
