// The engine on a real X server under real pointer events from a client of
// the test's own (XTest): presses, releases and the double-click rule.
#include "tests/support/support.h"

using namespace test_support;

namespace {

struct event {
    char kind;  // p press, d double click, r release
    int x, y, w, h, window;
};
recorder<event> seen;
void on_press(int x, int y, int, int window, void*) { seen.add({'p', x, y, 0, 0, window}); }
void on_double(int x, int y, int, int window, void*) { seen.add({'d', x, y, 0, 0, window}); }
void on_release(int x, int y, int, int window, void*) { seen.add({'r', x, y, 0, 0, window}); }

std::string kinds()
{
    std::string s;
    for (const event& e : seen.values())
        s += e.kind;
    return s;
}

// Real clicks through XTest: a second left click within 0.3 s of the last is
// a double click, and a third as well; further apart, or with the right
// button, they are presses. Every release is reported, all in window
// coordinates.
TEST(EngineInput, ClicksPressesAndDoubleClicks)
{
    AFX_engine engine;
    x_client user;
    ASSERT_TRUE(open_engine(engine));
    const int idx = engine.create_new_afx_window(100, 120, 100, 80, 1.0f, nullptr);
    engine.register_button_press_callback(idx, on_press);
    engine.register_double_click_callback(idx, on_double);
    engine.register_button_release_callback(idx, on_release);
    engine.select_afx_input_events(idx, true);
    engine.show_afx_window(idx);
    ASSERT_TRUE(user.wait_viewable(engine.get_SYS_window_idx_for_afx_window(idx)));
    loop_thread loop(engine);
    user.move(130, 140);
    const struct {
        unsigned button;
        std::vector<int> pauses_ms;
        const char* expected;
    } rows[] = {{1, {200}, "prdr"}, {1, {120, 120}, "prdrdr"}, {1, {400}, "prpr"}, {3, {200}, "prpr"}};
    for (const auto& r : rows) {
        std::this_thread::sleep_for(400ms);
        seen.clear();
        for (size_t k = 0; k <= r.pauses_ms.size(); ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(k ? r.pauses_ms[k - 1] : 0));
            user.button(r.button, true), user.button(r.button, false);
        }
        wait_until([&] { return kinds().size() >= 2 * (r.pauses_ms.size() + 1); });
        EXPECT_EQ(kinds(), r.expected) << "button " << r.button;
        for (const event& e : seen.values())
            EXPECT_TRUE(e.x == 30 && e.y == 20 && e.window == idx) << e.kind;
    }
}

} // namespace
