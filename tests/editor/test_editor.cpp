// The editor through the built plug-in, loaded through its entry point and
// opened into host windows as a DAW does, driven by real pointer events
// (XTest) and watched in screenshots and in every call the host receives:
// sizes, scales and the host's bypass against reference pictures, the
// window's life, automation and timers on the screen, and knobs, switches,
// the size grip and the program buttons under the mouse.
#include "tests/support/support.h"

#include <cmath>
#include <functional>

using namespace test_support;
using vsthost::HostCall;

namespace {

// At editor size 0 and scale 1 the window is 468 x 510 and the 144-pixel
// panel starts at x = 162, its image 16 rows down. Window coordinates are
// screen coordinates (the host window sits at the origin).
struct point {
    int x, y;
};
constexpr point kHfGain{162 + 101, 116}, kLfGain{162 + 101, 364}, kMidGain{162 + 73, 208}, kBypass{162 + 72, 437},
    kStatus{162 + 54, 8}, kLeft{162 + 90, 8}, kRight{162 + 124, 8};
// Every gesture ends with these end-edits, in this order.
const std::vector<int> kEndAll = {0, 5, 1, 4, 2, 3, 6, 7};

std::string calls_text(const std::vector<HostCall>& calls)
{
    std::string s;
    for (const HostCall& c : calls)
        s += std::to_string(c.opcode) + ":" + std::to_string(c.index) + "=" + std::to_string(c.opt) + " ";
    return s;
}

class Editor : public testing::Test {
protected:
    void SetUp() override { setenv("ZOKA_UI_DPI", "96", 1); }
    void TearDown() override { close(); }
    // Loads the module afresh (a new engine: no earlier click pairs with
    // the first one here), lets prepare set up the effect, and opens its
    // editor into a host window of the size it reports.
    void open(const std::function<void(vsthost::VstPlugin&)>& prepare = {})
    {
        close();
        p = load();
        ASSERT_TRUE(p);
        if (prepare)
            prepare(*p);
        ERect* rect = nullptr;
        p->dispatch(effEditGetRect, 0, 0, &rect);
        ASSERT_NE(rect, nullptr);
        width = rect->right - rect->left, height = rect->bottom - rect->top;
        host = x.host_window(width, height);
        p->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host));
        ASSERT_EQ(x.children(host).size(), 1u);
        editor = x.children(host)[0];
        settle();
        p->recorder().clear();
    }
    void close()
    {
        if (p)
            p->dispatch(effEditClose), p.reset();
        if (host)
            x.destroy(host), host = 0;
    }
    // The window once two captures 100 ms apart are equal.
    std::vector<rgb> settle()
    {
        std::vector<rgb> last, now;
        EXPECT_TRUE(wait_until([&] {
            std::this_thread::sleep_for(100ms);
            last.swap(now), now = x.capture(host);
            return !now.empty() && now == last;
        }));
        return now;
    }
    std::vector<rgb> area(point at, int w, int h) { return x.capture(host, at.x, at.y, w, h); }
    std::vector<rgb> banner() { return area({162 + 18, 58}, 108, 16); }
    void wait_calls(VstInt32 opcode, size_t n)
    {
        EXPECT_TRUE(wait_until([&] { return p->recorder().count_of(opcode) >= n; })) << calls_text(p->recorder().calls());
    }
    // Presses (left presses kept 0.5 s apart, so that no two make a double click).
    void press(point at, unsigned button = 1)
    {
        x.move(at.x, at.y);
        if (button == 1)
            std::this_thread::sleep_until(last_press + 500ms), last_press = std::chrono::steady_clock::now();
        x.button(button, true);
    }
    // Releases, and waits until the editor has ended the gesture.
    void release(unsigned button = 1)
    {
        const size_t ends = p->recorder().count_of(audioMasterEndEdit);
        x.button(button, false);
        wait_calls(audioMasterEndEdit, ends + 8);
    }
    void click(point at, unsigned button = 1) { press(at, button), release(button); }
    void double_click(point at)
    {
        press(at), x.button(1, false), x.button(1, true);
        release();
        wait_calls(audioMasterEndEdit, 16);
    }
    bool ends_all(const std::vector<HostCall>& calls, size_t from)
    {
        for (size_t k = 0; k < kEndAll.size(); ++k)
            if (from + k >= calls.size() || calls[from + k].opcode != audioMasterEndEdit || calls[from + k].index != kEndAll[k])
                return false;
        return true;
    }

    x_client x;
    std::unique_ptr<vsthost::VstPlugin> p;
    Window host = 0, editor = 0;
    int width = 0, height = 0;
    std::chrono::steady_clock::time_point last_press;
};

// The editor at its sizes and scales, and redrawn whole in grey under the
// host's bypass (and back in colour), against the reference pictures.
TEST_F(Editor, SizesScalesAndBypassMatchTheirReferences)
{
    const struct {
        const char* dpi;
        float size;
        int w, h;
        const char* name;
    } rows[] = {{"96", 0.0f, 468, 510, "size0-scale1.png"},
                {"96", 1.0f, 468, 1020, "size1-scale1.png"},
                {"192", 0.5f, 936, 1530, "size050-scale2.png"}};
    for (const auto& r : rows) {
        setenv("ZOKA_UI_DPI", r.dpi, 1);
        open([&](vsthost::VstPlugin& fx) { fx.set_parameter(8, r.size); });
        EXPECT_TRUE(width == r.w && height == r.h) << width << " x " << height;
        const std::vector<rgb> colour = x.capture(host);
        EXPECT_REFERENCE(r.name, width, height, colour);
        if (r.size == 0.0f) {
            p->dispatch(effSetBypass, 0, 1);
            EXPECT_TRUE(wait_until([&] { return x.capture(host) != colour; }));
            EXPECT_REFERENCE("bypass.png", width, height, settle());
            p->dispatch(effSetBypass, 0, 0);
            EXPECT_TRUE(wait_until([&] { return x.capture(host) == colour; }));
        }
    }
}

// One mapped child of the host's window, with class, title and type; a
// second open makes no second window; the window manager's close ends it
// and the next open makes a new one, showing the values reported meanwhile.
TEST_F(Editor, WindowClassTitleCloseAndReopen)
{
    open([](vsthost::VstPlugin& fx) { fx.set_parameter(0, 0.9f), fx.set_parameter(1, 0.1f), fx.set_parameter(7, 0.0f); });
    const std::vector<rgb> expected = x.capture(host);
    open([](vsthost::VstPlugin& fx) { fx.dispatch(effSetProgram, 0, 2); });
    XClassHint hint{};
    char* title = nullptr;
    ASSERT_TRUE(XGetClassHint(x.display(), editor, &hint) && XFetchName(x.display(), editor, &title));
    EXPECT_EQ(std::string(hint.res_name) + "/" + hint.res_class + " " + title, "harrowby-ui/harrowby-ui ZE710: 03 User Preset 3");
    XFree(hint.res_name), XFree(hint.res_class), XFree(title);
    p->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host));
    EXPECT_EQ(x.children(host).size(), 1u);
    XEvent e{};
    e.xclient.type = ClientMessage, e.xclient.window = editor, e.xclient.format = 32;
    e.xclient.message_type = XInternAtom(x.display(), "WM_PROTOCOLS", False);
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(x.display(), "WM_DELETE_WINDOW", False));
    XSendEvent(x.display(), editor, False, NoEventMask, &e);
    XSync(x.display(), False);
    EXPECT_TRUE(wait_until([&] { return x.children(host).empty(); }));
    p->set_parameter(0, 0.9f), p->set_parameter(1, 0.1f), p->set_parameter(7, 0.0f);
    p->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host));
    EXPECT_EQ(x.children(host).size(), 1u);
    EXPECT_EQ(settle(), expected);
}

// Host automation moves the knob on the screen and leaves the banner; a
// program change shows the program's name, then the version again 2.5 s later.
TEST_F(Editor, AutomationAndTheProgramNameOnTheScreen)
{
    open();
    const std::vector<rgb> knob = area({162 + 77, 92}, 48, 48), version = banner();
    p->set_parameter(0, 0.95f);
    EXPECT_TRUE(wait_until([&] { return area({162 + 77, 92}, 48, 48) != knob; }, 2000ms));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(banner(), version);
    const auto start = std::chrono::steady_clock::now();
    p->dispatch(effSetProgram, 0, 5);
    EXPECT_TRUE(wait_until([&] { return banner() != version; }, 1000ms));
    EXPECT_TRUE(wait_until([&] { return banner() == version; }, 6000ms));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(seconds, 2.4) << "the program name went before its 2.5 s";  // a busy machine only lengthens it
}

// Press and release on a knob: its begin-edit, the eight end-edits, and its
// text on the banner. A drag of ten one-pixel steps up moves it by the
// inertia law, one automation per step: each event closes a quarter of the
// gap between the knob's speed and one pixel.
TEST_F(Editor, KnobPressAndDragByTheInertiaLaw)
{
    open([](vsthost::VstPlugin& fx) { fx.set_parameter(0, 10.0f / 99); });
    const std::vector<rgb> version = banner();
    click(kHfGain);
    std::vector<HostCall> calls = p->recorder().calls();
    EXPECT_TRUE(calls.size() == 9 && calls[0].opcode == audioMasterBeginEdit && calls[0].index == 0 && ends_all(calls, 1))
        << calls_text(calls);
    EXPECT_TRUE(wait_until([&] { return banner() != version; }));
    p->recorder().clear();
    press(kHfGain);
    for (int k = 1; k <= 10; ++k)
        x.move(kHfGain.x, kHfGain.y - k), wait_calls(audioMasterAutomate, static_cast<size_t>(k));
    release();
    double speed = 0.0, value = 10.0;
    for (const HostCall& a : p->recorder().calls_of(audioMasterAutomate))
        EXPECT_NEAR(a.opt * 99.0, value += speed += (1.0 - speed) * 0.25, 1e-3);
    EXPECT_NEAR(p->get_parameter(0) * 99.0, 10.0 + 10.0 - 3.0 * (1.0 - std::pow(0.75, 10)), 1e-3);
}

// The wheel steps one frame and reports a whole gesture, even at the top
// end; a double click returns a knob to its centre, the second press a
// gesture of its own.
TEST_F(Editor, WheelStepsAndDoubleClickToTheCentre)
{
    open([](vsthost::VstPlugin& fx) { fx.set_parameter(1, 1.0f), fx.set_parameter(0, 0.8f); });
    for (auto [from, button, to] : {std::tuple<float, unsigned, double>{1.0f, 4, 1.0}, {0.5f, 5, 18.0 / 38}}) {
        p->set_parameter(1, from), p->recorder().clear();
        click(kLfGain, button), wait_calls(audioMasterEndEdit, 9);  // its own end-edit, then the eight
        const std::vector<HostCall> calls = p->recorder().calls();
        ASSERT_EQ(calls.size(), 11u) << calls_text(calls);
        EXPECT_TRUE(calls[0].opcode == audioMasterBeginEdit && calls[1].opcode == audioMasterAutomate && calls[1].index == 1 &&
                    calls[2].opcode == audioMasterEndEdit && calls[2].index == 1 && ends_all(calls, 3));
        EXPECT_NEAR(calls[1].opt, to, 1e-6);
    }
    p->recorder().clear();
    double_click(kHfGain), wait_calls(audioMasterEndEdit, 17);
    const std::vector<HostCall> calls = p->recorder().calls();
    ASSERT_EQ(calls.size(), 20u) << calls_text(calls);
    EXPECT_TRUE(calls[9].opcode == audioMasterBeginEdit && calls[10].opcode == audioMasterAutomate && calls[10].opt == 0.5f &&
                ends_all(calls, 12));
    EXPECT_EQ(p->get_parameter(0), 0.5f);
}

// The "Effect" switch toggles on press (a gesture of parameter 7) and shows
// it; a double click toggles it twice.
TEST_F(Editor, EffectSwitchTogglesOnEveryPress)
{
    open();
    const std::vector<rgb> in = area({kBypass.x - 22, kBypass.y - 10}, 44, 20);
    click(kBypass);
    const std::vector<HostCall> calls = p->recorder().calls();
    EXPECT_TRUE(calls.size() == 10 && calls[0].index == 7 && calls[1].opcode == audioMasterAutomate && calls[1].opt == 0.0f &&
                ends_all(calls, 2)) << calls_text(calls);
    EXPECT_TRUE(wait_until([&] { return area({kBypass.x - 22, kBypass.y - 10}, 44, 20) != in; }));
    p->recorder().clear();
    double_click(kBypass);
    EXPECT_EQ(calls_text(p->recorder().calls_of(audioMasterAutomate)), "0:7=1.000000 0:7=0.000000 ");
}

// The grip in the bottom-right corner: a drag that starts one pixel outside
// does nothing; inside, every second event sets the editor size (its
// distance over the width), asks the host to follow and resizes the editor,
// which redraws whole with the grip in its new corner. Long strides stop at
// the largest and smallest sizes; a double click on the bare panel returns
// to the smallest, redrawn whole.
TEST_F(Editor, SizeGripDragAndDoubleClickReset)
{
    open();
    for (int start : {448, 449}) {
        press({start, 491}), x.move(start + 30, 491), x.move(start + 60, 491);
        if (start == 449)
            wait_calls(audioMasterSizeWindow, 1);
        release();
    }
    EXPECT_EQ(calls_text(p->recorder().calls_of(audioMasterAutomate)), "0:8=" + std::to_string(60.0f / 468) + " ");
    EXPECT_EQ(p->recorder().calls_of(audioMasterSizeWindow).back().value, 575);
    int gx, gy, w = 0, h = 0;
    EXPECT_TRUE(wait_until([&] { return x.geometry(editor, &gx, &gy, &w, &h) && w == 468 && h == 575; })) << w << " x " << h;
    XResizeWindow(x.display(), host, 468, 575);
    XSync(x.display(), False);
    EXPECT_REFERENCE("size-drag.png", 468, 575, settle());
    open();
    press({460, 500});
    for (int k = 1; k <= 8; ++k)
        x.move(k <= 4 ? 460 + 100 * k : 1260 - 100 * k, 500), wait_calls(audioMasterAutomate, static_cast<size_t>(k / 2));
    release();
    std::vector<VstIntPtr> heights;
    for (const HostCall& r : p->recorder().calls_of(audioMasterSizeWindow))
        heights.push_back(r.value);
    EXPECT_EQ(heights, (std::vector<VstIntPtr>{728, 1020, 584, 510, 510}));
    open([](vsthost::VstPlugin& fx) { fx.set_parameter(8, 0.5f); });
    double_click({126 + 195, 375});
    EXPECT_EQ(calls_text(p->recorder().calls_of(audioMasterAutomate)), "0:8=0.000000 ");
    EXPECT_EQ(p->recorder().calls_of(audioMasterSizeWindow).back().value, 510);
    EXPECT_TRUE(wait_until([&] { return x.geometry(editor, &gx, &gy, &w, &h) && h == 510; }));
    XResizeWindow(x.display(), host, 468, 510);
    EXPECT_REFERENCE("size0-scale1.png", 468, 510, settle());
}

// The program buttons: the first press shows the current program's name and
// changes nothing; presses within 2.5 s step through the programs and wrap;
// later the version replaces the name, and a press shows the name again.
// The "i" button shows the version for 2.5 s and pops out.
TEST_F(Editor, ProgramAndStatusButtons)
{
    open([](vsthost::VstPlugin& fx) { fx.dispatch(effSetProgram, 0, 8); });
    const std::vector<rgb> version = banner(), right_up = area({kRight.x - 16, 0}, 32, 16);
    press(kRight);
    EXPECT_TRUE(wait_until([&] { return area({kRight.x - 16, 0}, 32, 16) != right_up; }));
    release();
    EXPECT_TRUE(wait_until([&] { return banner() != version; }));
    EXPECT_EQ(p->dispatch(effGetProgram), 8);
    for (auto [button, program] : {std::pair<point, int>{kRight, 0}, {kLeft, 8}, {kLeft, 7}}) {
        click(button);
        EXPECT_EQ(p->dispatch(effGetProgram), program);
    }
    EXPECT_EQ(p->recorder().count_of(audioMasterUpdateDisplay), 3u);
    EXPECT_EQ(p->recorder().count_of(audioMasterAutomate), 24u);
    EXPECT_TRUE(wait_until([&] { return banner() == version; }, 6000ms));
    click(kRight);
    EXPECT_EQ(p->dispatch(effGetProgram), 7);
    click(kMidGain);
    EXPECT_TRUE(wait_until([&] { return banner() != version; }));
    const size_t calls = p->recorder().calls().size();
    click(kStatus);
    EXPECT_EQ(p->recorder().calls().size(), calls + 8) << "the status button is no parameter";
    EXPECT_TRUE(wait_until([&] { return banner() == version; }));
    EXPECT_TRUE(wait_until([&] { return banner() != version; }, 6000ms)) << "the version goes after 2.5 s";
}

} // namespace
