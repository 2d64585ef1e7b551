// The engine on a real X server under real pointer events from a client of
// the test's own (XTest): presses, releases and the double-click rule.
#include "tests/support/support.h"

using namespace test_support;

namespace {

// What the window's callbacks saw on the event thread: p press, d double
// click, r release, each in window coordinates.
std::mutex seen_mutex;
std::string seen;
void add(char kind, int x, int y, int window)
{
    std::lock_guard<std::mutex> lock(seen_mutex);
    seen += kind + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(window) + " ";
}
void on_press(int x, int y, int, int window, void*) { add('p', x, y, window); }
void on_double(int x, int y, int, int window, void*) { add('d', x, y, window); }
void on_release(int x, int y, int, int window, void*) { add('r', x, y, window); }
std::string kinds()
{
    std::lock_guard<std::mutex> lock(seen_mutex);
    return seen;
}

// Real clicks through XTest: a second left click within 0.3 s of the last is
// a double click, and a third as well; further apart, or with the right
// button, they are presses. Every release is reported.
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
        std::string expected;
        for (const char* k = r.expected; *k; ++k)
            expected += *k + std::string("30,20,") + std::to_string(idx) + " ";
        {
            std::lock_guard<std::mutex> lock(seen_mutex);
            seen.clear();
        }
        for (size_t k = 0; k <= r.pauses_ms.size(); ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(k ? r.pauses_ms[k - 1] : 0));
            user.button(r.button, true), user.button(r.button, false);
        }
        wait_until([&] { return kinds().size() >= expected.size(); });
        EXPECT_EQ(kinds(), expected) << "button " << r.button;
    }
}

} // namespace
