// The editor under a real pointer: the built plug-in module is loaded through
// its entry point, its editor opened into a host window on a private X server,
// and XTest presses, drags, wheels and double-clicks as a user would. The host
// callback records every call; the tests check those calls, the effect's
// parameters and programs, the window sizes and the pixels on the screen
// (screenshots saved as PNG and compared with the references beside the tests).
#include "tests/editor/editor_test_support.h"

#include <X11/extensions/XTest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "plugin_interface/vst_interface.h"
#include "tools/host/vst_host.h"

#ifndef ZE710_PLUGIN_PATH
#error "ZE710_PLUGIN_PATH must name the built plug-in module"
#endif

namespace {

using namespace editor_test;
using vsthost::HostCall;

// Where things are at editor size 0 and scale 1: the window is 468 x 510 and
// the 144-pixel panel starts at x = 162; the front panel image starts at
// panel row 16. Window coordinates are screen coordinates: the host window
// sits at the root's origin and the editor at the host window's origin.
constexpr int kPanelX = 162;
struct point {
    int x, y;
};
constexpr point kHfGainKnob = {kPanelX + 101, 100 + 16};
constexpr point kLfGainKnob = {kPanelX + 101, 348 + 16};
constexpr point kMidGainKnob = {kPanelX + 73, 192 + 16};
constexpr point kBypassSwitch = {kPanelX + 72, 421 + 16};
constexpr point kStatusButton = {kPanelX + 54, 8};
constexpr point kLeftButton = {kPanelX + 90, 8};
constexpr point kRightButton = {kPanelX + 124, 8};
constexpr point kBanner = {kPanelX + 18, 42 + 16};  // top-left corner, 108 x 16
constexpr point kBareWindow = {60, 300};            // the textured margin left of the panel

// Every gesture ends with these end-edits, in this order.
const std::vector<int> kEndAll = {0, 5, 1, 4, 2, 3, 6, 7};

// The engine takes a second left press within 0.3 s for a double click.
constexpr auto kSingleClickGap = 500ms;

std::unique_ptr<vsthost::VstPlugin> load()
{
    std::string error;
    std::unique_ptr<vsthost::VstPlugin> p = vsthost::VstPlugin::load(ZE710_PLUGIN_PATH, &error);
    EXPECT_TRUE(p) << error;
    return p;
}

std::string describe(const std::vector<HostCall>& calls)
{
    std::string out;
    for (const HostCall& c : calls) {
        char line[96];
        std::snprintf(line, sizeof line, "  op %d index %d value %ld opt %.4f\n", c.opcode, c.index,
                      static_cast<long>(c.value), static_cast<double>(c.opt));
        out += line;
    }
    return out;
}

// The same picture give or take rounding: a button repainted over the panel
// image's top rows differs from the one first painted over the black strip
// by a step of one here and there.
bool looks_like(const std::vector<rgb>& a, const std::vector<rgb>& b)
{
    return a.size() == b.size() && differing_fraction(a, b, 4) < 0.01;
}

// The resize grip's bright strokes, whatever the texture dots around them.
std::vector<bool> bright(const std::vector<rgb>& pixels)
{
    std::vector<bool> out;
    for (const rgb& c : pixels)
        out.push_back(c.r + c.g + c.b > 3 * 80);
    return out;
}

bool is_end_all(const std::vector<HostCall>& calls, size_t from)
{
    if (calls.size() < from + kEndAll.size())
        return false;
    for (size_t k = 0; k < kEndAll.size(); ++k)
        if (calls[from + k].opcode != audioMasterEndEdit || calls[from + k].index != kEndAll[k])
            return false;
    return true;
}

class Interaction : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("ZOKA_UI_DPI", "96", 1);
        ASSERT_NE(x.dpy(), nullptr);
        int event_base = 0, error_base = 0, major = 0, minor = 0;
        ASSERT_TRUE(XTestQueryExtension(x.dpy(), &event_base, &error_base, &major, &minor));
    }

    void TearDown() override
    {
        if (p) {
            p->dispatch(effEditClose);
            p.reset();
        }
        if (host)
            x.destroy(host);
    }

    // Loads the module afresh (a new engine: no click of an earlier test can
    // pair with the first click here) and lets `prepare` set the effect up.
    template <typename F>
    void open_editor(F prepare)
    {
        p = load();
        ASSERT_TRUE(p);
        prepare(*p);
        ERect* rect = nullptr;
        p->dispatch(effEditGetRect, 0, 0, &rect);
        ASSERT_NE(rect, nullptr);
        width = rect->right - rect->left;
        height = rect->bottom - rect->top;
        host = x.make_host_window(width, height);
        p->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host));
        ASSERT_EQ(x.children(host).size(), 1u);
        editor = x.children(host)[0];
        wait_settled();
        p->recorder().clear();
    }
    void open_editor()
    {
        open_editor([](vsthost::VstPlugin&) {});
    }

    // ---- the pointer -------------------------------------------------------------------
    void move(int px, int py)
    {
        XTestFakeMotionEvent(x.dpy(), DefaultScreen(x.dpy()), px, py, CurrentTime);
        XSync(x.dpy(), False);
    }
    void button(unsigned int b, bool down)
    {
        if (down && b == 1) {
            // Keep single clicks single.
            const auto since = std::chrono::steady_clock::now() - last_left_press;
            if (since < kSingleClickGap)
                std::this_thread::sleep_for(kSingleClickGap - since);
            last_left_press = std::chrono::steady_clock::now();
        }
        XTestFakeButtonEvent(x.dpy(), b, down ? True : False, CurrentTime);
        XSync(x.dpy(), False);
    }
    void press(point at, unsigned int b = 1)
    {
        move(at.x, at.y);
        button(b, true);
    }
    // Release, and wait until the editor has ended the gesture.
    void release(unsigned int b = 1)
    {
        const size_t ends = p->recorder().count_of(audioMasterEndEdit);
        button(b, false);
        EXPECT_TRUE(wait_until([&] { return p->recorder().count_of(audioMasterEndEdit) >= ends + 8; }));
    }
    void click(point at, unsigned int b = 1)
    {
        press(at, b);
        release(b);
    }
    // Two presses within the double-click time, each released.
    void double_click(point at)
    {
        move(at.x, at.y);
        const size_t ends = p->recorder().count_of(audioMasterEndEdit);
        button(1, true);
        button(1, false);
        XTestFakeButtonEvent(x.dpy(), 1, True, CurrentTime);
        XTestFakeButtonEvent(x.dpy(), 1, False, CurrentTime);
        XSync(x.dpy(), False);
        EXPECT_TRUE(wait_until([&] { return p->recorder().count_of(audioMasterEndEdit) >= ends + 16; }));
        last_left_press = std::chrono::steady_clock::now();
    }
    void wait_calls(VstInt32 opcode, size_t n)
    {
        EXPECT_TRUE(wait_until([&] { return p->recorder().count_of(opcode) >= n; }))
            << "waiting for " << n << " calls of opcode " << opcode << ", have\n"
            << describe(p->recorder().calls());
    }

    // ---- the screen ------------------------------------------------------------------------
    // Two equal captures 60 ms apart: the tick and the expose pass are done.
    void wait_settled()
    {
        std::vector<rgb> last;
        EXPECT_TRUE(wait_until(
            [&] {
                std::this_thread::sleep_for(60ms);
                std::vector<rgb> now = x.capture(host);
                const bool settled = !now.empty() && now == last;
                last = std::move(now);
                return settled;
            },
            5000ms));
    }
    std::vector<rgb> area(point at, int w, int h) { return x.capture(host, at.x, at.y, w, h); }
    std::vector<rgb> banner() { return area(kBanner, 108, 16); }
    std::vector<rgb> button_area(point centre) { return area({centre.x - 16, centre.y - 8}, 32, 16); }

    // Saves the host window as PNG and compares it with the reference of the
    // same name (ZE710_WRITE_REFERENCES=1 makes the reference from this run).
    void screenshot(const std::string& name)
    {
        wait_settled();
        int gx = 0, gy = 0, w = 0, h = 0;
        ASSERT_TRUE(x.geometry(host, &gx, &gy, &w, &h));
        const std::vector<rgb> shot = x.capture(host);
        ASSERT_EQ(shot.size(), static_cast<size_t>(w) * h);
        const std::string out = std::string(ZE710_INTERACTION_OUTPUT_DIR) + "/" + name;
        EXPECT_TRUE(output_test::write_png(out, w, h, shot));
        const std::string ref = std::string(ZE710_INTERACTION_REFERENCE_DIR) + "/" + name;
        if (const char* write = std::getenv("ZE710_WRITE_REFERENCES"); write && *write == '1') {
            EXPECT_TRUE(output_test::write_png(ref, w, h, shot));
        }
        int rw = 0, rh = 0;
        std::vector<rgb> reference;
        ASSERT_TRUE(read_png(ref, &rw, &rh, &reference)) << "no reference picture for " << out;
        ASSERT_EQ(rw, w) << out;
        ASSERT_EQ(rh, h) << out;
        EXPECT_LT(differing_fraction(shot, reference, 2), 0.001) << out;
        EXPECT_LT(differing_fraction(shot, reference, 24), 0.0001) << out;
    }

    x_client x;
    std::unique_ptr<vsthost::VstPlugin> p;
    Window host = 0;
    Window editor = 0;
    int width = 0, height = 0;
    std::chrono::steady_clock::time_point last_left_press{};
};

// ---- knobs ----------------------------------------------------------------------------------

TEST_F(Interaction, PressAndReleaseOnAKnobBeginsItsEditEndsAllEightAndShowsItsText)
{
    open_editor([](vsthost::VstPlugin& fx) { fx.set_parameter(0, 0.3f); });
    screenshot("start-hf-gain-0.3.png");
    const std::vector<rgb> banner_before = banner();

    click(kHfGainKnob);
    const std::vector<HostCall> calls = p->recorder().calls();
    ASSERT_EQ(calls.size(), 9u) << describe(calls);
    EXPECT_EQ(calls[0].opcode, audioMasterBeginEdit);
    EXPECT_EQ(calls[0].index, 0);
    EXPECT_TRUE(is_end_all(calls, 1)) << describe(calls);
    EXPECT_EQ(p->get_parameter(0), 0.3f);

    // The banner now reads "HF Gain -8.0 dB" (0.3 of -20..+20 dB).
    EXPECT_TRUE(wait_until([&] { return banner() != banner_before; }));
    screenshot("press-hf-gain.png");
}

TEST_F(Interaction, TenOnePixelStepsUpMoveTheKnobByTheInertiaLawWithTenAutomations)
{
    const float start = 10.0f;  // knob units of 99, far from the detent
    open_editor([&](vsthost::VstPlugin& fx) { fx.set_parameter(0, start / 99.0f); });

    press(kHfGainKnob);
    wait_calls(audioMasterBeginEdit, 1);
    for (int k = 1; k <= 10; ++k) {
        move(kHfGainKnob.x, kHfGainKnob.y - k);
        wait_calls(audioMasterAutomate, static_cast<size_t>(k));
    }
    release();

    // Each event closes a quarter of the gap between 1 pixel and the knob's
    // speed: speeds 1 - 0.75^n, summed over ten events.
    const double expected_rise = 10.0 - 3.0 * (1.0 - std::pow(0.75, 10));
    EXPECT_NEAR(expected_rise, 7.169, 0.001);
    const std::vector<HostCall> automations = p->recorder().calls_of(audioMasterAutomate);
    ASSERT_EQ(automations.size(), 10u);
    double speed = 0.0, value = start;
    for (const HostCall& a : automations) {
        EXPECT_EQ(a.index, 0);
        speed += (1.0 - speed) * 0.25;
        value += speed;
        EXPECT_NEAR(a.opt * 99.0, value, 1e-3);
    }
    EXPECT_NEAR(p->get_parameter(0) * 99.0, start + expected_rise, 1e-3);

    const std::vector<HostCall> calls = p->recorder().calls();
    ASSERT_EQ(calls.size(), 19u) << describe(calls);
    EXPECT_EQ(calls[0].opcode, audioMasterBeginEdit);
    EXPECT_EQ(calls[0].index, 0);
    EXPECT_TRUE(is_end_all(calls, 11));
    screenshot("drag-hf-gain.png");
}

TEST_F(Interaction, ADragAcrossTheDetentLingersOnItsFrame)
{
    // Value 44 is frame 16 of 39; the detent frame 19 spans 48.72 to 51.28.
    open_editor([](vsthost::VstPlugin& fx) { fx.set_parameter(3, 44.0f / 99.0f); });
    press(kMidGainKnob);
    wait_calls(audioMasterBeginEdit, 1);
    for (int k = 1; k <= 30; ++k) {
        move(kMidGainKnob.x, kMidGainKnob.y - k);
        wait_calls(audioMasterAutomate, static_cast<size_t>(k));
    }
    release();

    int on_detent = 0;
    float last = 0.0f;
    for (const HostCall& a : p->recorder().calls_of(audioMasterAutomate)) {
        const float k = a.opt * 99.0f;
        if (k >= 48.72f && k < 51.28f)
            ++on_detent;
        last = k;
    }
    // At the knob's full speed of a pixel per event the frame passes in
    // three events; held back to a hundredth at every event there, the knob
    // needs more than twice as many.
    EXPECT_GE(on_detent, 7);
    EXPECT_GT(last, 51.28f) << "the drag goes on past the detent";
}

TEST_F(Interaction, WheelStepsOneFrameAndAtTheTopStillReportsTheGesture)
{
    open_editor([](vsthost::VstPlugin& fx) { fx.set_parameter(1, 1.0f); });

    click(kLfGainKnob, 4);
    std::vector<HostCall> calls = p->recorder().calls();
    ASSERT_EQ(calls.size(), 11u) << describe(calls);
    EXPECT_EQ(calls[0].opcode, audioMasterBeginEdit);
    EXPECT_EQ(calls[0].index, 1);
    EXPECT_EQ(calls[1].opcode, audioMasterAutomate);
    EXPECT_EQ(calls[1].index, 1);
    EXPECT_EQ(calls[1].opt, 1.0f);
    EXPECT_EQ(calls[2].opcode, audioMasterEndEdit);
    EXPECT_EQ(calls[2].index, 1);
    EXPECT_TRUE(is_end_all(calls, 3));
    EXPECT_EQ(p->get_parameter(1), 1.0f);

    // Down from the centre: frame 19 to frame 18, whose value is 18/38 of 99.
    p->set_parameter(1, 0.5f);
    p->recorder().clear();
    click(kLfGainKnob, 5);
    calls = p->recorder().calls();
    ASSERT_EQ(calls.size(), 11u) << describe(calls);
    EXPECT_NEAR(calls[1].opt, 18.0 / 38.0, 1e-6);
    EXPECT_NEAR(p->get_parameter(1), 18.0 / 38.0, 1e-6);
}

TEST_F(Interaction, DoubleClickOnAKnobReturnsItToTheCentre)
{
    open_editor([](vsthost::VstPlugin& fx) { fx.set_parameter(0, 0.8f); });
    double_click(kHfGainKnob);
    EXPECT_EQ(p->get_parameter(0), 0.5f);

    // First press: an ordinary grab; second: the reset, complete in itself.
    const std::vector<HostCall> calls = p->recorder().calls();
    ASSERT_EQ(calls.size(), 20u) << describe(calls);
    EXPECT_EQ(calls[0].opcode, audioMasterBeginEdit);
    EXPECT_TRUE(is_end_all(calls, 1));
    EXPECT_EQ(calls[9].opcode, audioMasterBeginEdit);
    EXPECT_EQ(calls[9].index, 0);
    EXPECT_EQ(calls[10].opcode, audioMasterAutomate);
    EXPECT_EQ(calls[10].index, 0);
    EXPECT_EQ(calls[10].opt, 0.5f);
    EXPECT_EQ(calls[11].opcode, audioMasterEndEdit);
    EXPECT_EQ(calls[11].index, 0);
    EXPECT_TRUE(is_end_all(calls, 12));
}

// The host automates other parameters from its own thread while the user
// drags: both go through the effect's mutex and the editor's widget lock, in
// the same order, so neither waits for ever and the drag's calls stay whole.
TEST_F(Interaction, HostAutomationDuringADragNeitherBlocksNorBreaksTheGesture)
{
    open_editor([](vsthost::VstPlugin& fx) { fx.set_parameter(0, 10.0f / 99.0f); });
    std::atomic<bool> stop{false};
    std::atomic<int> host_changes{0};
    std::thread host_thread([&] {
        for (int k = 0; !stop; ++k) {
            p->set_parameter(2 + k % 5, static_cast<float>(k % 100) / 99.0f);
            ++host_changes;
        }
    });
    press(kHfGainKnob);
    for (int k = 1; k <= 40; ++k) {
        move(kHfGainKnob.x, kHfGainKnob.y - k);
        wait_calls(audioMasterAutomate, static_cast<size_t>(k));
    }
    release();
    stop = true;
    host_thread.join();
    EXPECT_GT(host_changes.load(), 40);

    const std::vector<HostCall> calls = p->recorder().calls();
    ASSERT_EQ(calls.size(), 49u) << describe(calls);
    EXPECT_EQ(calls[0].opcode, audioMasterBeginEdit);
    float last = 0.0f;
    for (size_t k = 1; k <= 40; ++k) {
        EXPECT_EQ(calls[k].opcode, audioMasterAutomate);
        EXPECT_EQ(calls[k].index, 0);
        EXPECT_GT(calls[k].opt, last);
        last = calls[k].opt;
    }
    EXPECT_TRUE(is_end_all(calls, 41));
    EXPECT_EQ(p->get_parameter(0), last);
}

// ---- bypass and the banner ---------------------------------------------------------------

TEST_F(Interaction, BypassSwitchTogglesOnPressAndADoubleClickTogglesItTwice)
{
    open_editor();
    const std::vector<rgb> switch_in = area({kBypassSwitch.x - 22, kBypassSwitch.y - 10}, 44, 20);
    click(kBypassSwitch);
    std::vector<HostCall> calls = p->recorder().calls();
    ASSERT_EQ(calls.size(), 10u) << describe(calls);
    EXPECT_EQ(calls[0].opcode, audioMasterBeginEdit);
    EXPECT_EQ(calls[0].index, 7);
    EXPECT_EQ(calls[1].opcode, audioMasterAutomate);
    EXPECT_EQ(calls[1].index, 7);
    EXPECT_EQ(calls[1].opt, 0.0f);
    EXPECT_TRUE(is_end_all(calls, 2));
    EXPECT_EQ(p->get_parameter(7), 0.0f);
    EXPECT_TRUE(wait_until(
        [&] { return area({kBypassSwitch.x - 22, kBypassSwitch.y - 10}, 44, 20) != switch_in; }));
    screenshot("bypass-out.png");

    p->recorder().clear();
    double_click(kBypassSwitch);
    std::vector<float> sent;
    for (const HostCall& a : p->recorder().calls_of(audioMasterAutomate))
        sent.push_back(a.opt);
    EXPECT_EQ(sent, (std::vector<float>{1.0f, 0.0f}));
    EXPECT_EQ(p->recorder().count_of(audioMasterBeginEdit), 2u);
    EXPECT_EQ(p->get_parameter(7), 0.0f);
}

TEST_F(Interaction, BannerScrollsUnderDragAndWheelAndTellsTheHostNothing)
{
    open_editor();
    // A factory program's name on the banner.
    p->dispatch(effSetProgram, 0, 6);
    wait_settled();
    p->recorder().clear();
    const std::vector<rgb> still = banner();

    const point grab = {kBanner.x + 50, kBanner.y + 8};
    press(grab);
    for (int k = 1; k <= 6; ++k)
        move(grab.x - 5 * k, grab.y);  // leftward: the view moves towards the text's end
    wait_settled();
    const std::vector<rgb> scrolled = banner();
    EXPECT_NE(scrolled, still);
    release();
    EXPECT_EQ(p->recorder().calls().size(), 8u) << describe(p->recorder().calls());

    // Wheel down scrolls back one pixel at a time.
    for (int k = 0; k < 30; ++k)
        click(grab, 5);
    wait_settled();
    EXPECT_EQ(banner(), still);
    EXPECT_EQ(p->recorder().count_of(audioMasterAutomate), 0u);
    EXPECT_EQ(p->recorder().count_of(audioMasterBeginEdit), 0u);
}

// ---- the editor size ------------------------------------------------------------------------

TEST_F(Interaction, CornerDragGrowsTheEditorAndTheHostIsAskedToFollow)
{
    open_editor();
    ASSERT_EQ(width, 468);
    ASSERT_EQ(height, 510);
    const std::vector<rgb> grip_before = area({width - 20, height - 20}, 20, 20);

    // One pixel left of the grip: no size drag.
    press({448, 491});
    move(478, 491);
    move(508, 491);
    release();
    EXPECT_EQ(p->recorder().count_of(audioMasterAutomate), 0u);
    EXPECT_EQ(p->recorder().count_of(audioMasterSizeWindow), 0u);

    p->recorder().clear();
    press({449, 491});
    move(479, 491);
    EXPECT_EQ(p->recorder().count_of(audioMasterAutomate), 0u) << "every second event only";
    move(509, 491);
    wait_calls(audioMasterSizeWindow, 1);
    release();

    const std::vector<HostCall> sizes = p->recorder().calls_of(audioMasterAutomate);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0].index, 8);
    EXPECT_NEAR(sizes[0].opt, 60.0 / 468.0, 1e-5);
    EXPECT_NEAR(p->get_parameter(8), 60.0 / 468.0, 1e-5);
    // 510 rows magnified by 1.1282 are 575.4; the width stays 468.
    const int grown = 575;
    const std::vector<HostCall> requests = p->recorder().calls_of(audioMasterSizeWindow);
    ASSERT_GE(requests.size(), 1u);
    for (const HostCall& r : requests) {
        EXPECT_EQ(r.index, 468);
        EXPECT_EQ(r.value, grown);
    }
    // The resize reaches the server with the engine's next pass.
    int gx = 0, gy = 0, w = 0, h = 0;
    EXPECT_TRUE(wait_until([&] {
        return x.geometry(editor, &gx, &gy, &w, &h) && w == 468 && h == grown;
    })) << w << " x " << h;

    // The host follows the request; the new drawable fills the window with
    // the grip in its new corner.
    XResizeWindow(x.dpy(), host, 468, static_cast<unsigned>(grown));
    XSync(x.dpy(), False);
    wait_settled();
    EXPECT_EQ(bright(area({468 - 20, grown - 20}, 20, 20)), bright(grip_before));
    screenshot("size-drag-0.128.png");
}

// Long strides overshoot both ends of the size range: the editor stops at
// its largest and at its smallest size, and the host is asked for exactly
// those sizes.
TEST_F(Interaction, SizeDragStopsAtTheLargestAndTheSmallestSize)
{
    open_editor();
    press({460, 500});
    for (int k = 1; k <= 4; ++k) {
        move(460 + 100 * k, 500);
        if (k % 2 == 0)
            wait_calls(audioMasterAutomate, static_cast<size_t>(k / 2));
    }
    for (int k = 1; k <= 4; ++k) {
        move(860 - 100 * k, 500);
        if (k % 2 == 0)
            wait_calls(audioMasterAutomate, static_cast<size_t>(2 + k / 2));
    }
    release();

    std::vector<float> sizes;
    for (const HostCall& a : p->recorder().calls_of(audioMasterAutomate))
        sizes.push_back(a.opt);
    ASSERT_EQ(sizes.size(), 4u);
    EXPECT_NEAR(sizes[0], 200.0 / 468.0, 1e-5);            // 200 pixels right of 468
    EXPECT_EQ(sizes[1], 1.0f);                              // would be 1.04
    EXPECT_NEAR(sizes[2], 268.0 / 468.0 * 2.0 - 1.0, 1e-5);  // 200 back at size 1
    EXPECT_EQ(sizes[3], 0.0f);                              // would be -0.34
    std::vector<VstIntPtr> heights;
    for (const HostCall& r : p->recorder().calls_of(audioMasterSizeWindow))
        heights.push_back(r.value);
    // 510 x 1.427, x 2, x 1.145, x 1; the release asks once more.
    EXPECT_EQ(heights, (std::vector<VstIntPtr>{728, 1020, 584, 510, 510}));
}

// At scale 2 the grip is drawn twice as large (40 pixels, 2 in from the
// corner), and all of it answers: 38 pixels of reach instead of 19.
TEST_F(Interaction, CornerDragAtScaleTwoStartsAnywhereOnTheDrawnGrip)
{
    setenv("ZOKA_UI_DPI", "192", 1);
    open_editor();
    ASSERT_EQ(width, 936);
    ASSERT_EQ(height, 1020);

    press({897, 982});
    move(927, 982);
    move(957, 982);
    release();
    EXPECT_EQ(p->recorder().count_of(audioMasterSizeWindow), 0u);

    press({898, 982});
    move(928, 982);
    move(958, 982);
    wait_calls(audioMasterSizeWindow, 1);
    release();
    const std::vector<HostCall> sizes = p->recorder().calls_of(audioMasterAutomate);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_NEAR(sizes[0].opt, 60.0 / 936.0, 1e-5);
    // 1020 rows magnified by 1.0641 are 1085.4; the width stays 936.
    const HostCall request = p->recorder().calls_of(audioMasterSizeWindow).back();
    EXPECT_EQ(request.index, 936);
    EXPECT_EQ(request.value, 1085);
}

TEST_F(Interaction, DoubleClickOnTheBackgroundReturnsToTheSmallestSize)
{
    open_editor([](vsthost::VstPlugin& fx) { fx.set_parameter(8, 0.5f); });
    ASSERT_EQ(height, 765);
    screenshot("size-0.5.png");

    // Bare panel at editor size 0.5: panel (130, 250) is no widget's.
    double_click({126 + 195, 375});
    const std::vector<HostCall> sizes = p->recorder().calls_of(audioMasterAutomate);
    ASSERT_EQ(sizes.size(), 1u) << describe(p->recorder().calls());
    EXPECT_EQ(sizes[0].index, 8);
    EXPECT_EQ(sizes[0].opt, 0.0f);
    EXPECT_EQ(p->get_parameter(8), 0.0f);
    const std::vector<HostCall> requests = p->recorder().calls_of(audioMasterSizeWindow);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].index, 468);
    EXPECT_EQ(requests[0].value, 510);
    // The resize reaches the server with the engine's next pass.
    int gx = 0, gy = 0, w = 0, h = 0;
    EXPECT_TRUE(wait_until([&] {
        return x.geometry(editor, &gx, &gy, &w, &h) && w == 468 && h == 510;
    })) << w << " x " << h;
    XResizeWindow(x.dpy(), host, 468, 510);
    XSync(x.dpy(), False);
    screenshot("size-reset.png");

    // At the smallest size the margin beside the panel is background too.
    p->recorder().clear();
    double_click(kBareWindow);
    EXPECT_EQ(p->recorder().calls_of(audioMasterSizeWindow).size(), 1u);
}

// ---- the top-strip buttons ------------------------------------------------------------------

TEST_F(Interaction, ProgramButtonsShowTheNameFirstThenStepAndWrap)
{
    float program8[8], program0[8];
    open_editor([&](vsthost::VstPlugin& fx) {
        fx.dispatch(effSetProgram, 0, 0);
        for (int i = 0; i < 8; ++i)
            program0[i] = fx.get_parameter(i);
        fx.dispatch(effSetProgram, 0, 8);
        for (int i = 0; i < 8; ++i)
            program8[i] = fx.get_parameter(i);
    });
    ASSERT_EQ(p->dispatch(effGetProgram), 8);
    const std::vector<rgb> banner_before = banner();
    const std::vector<rgb> right_up = button_area(kRightButton);

    // First press: the name of program 8 and nothing else; the button is
    // down while held.
    press(kRightButton);
    EXPECT_TRUE(wait_until([&] { return !looks_like(button_area(kRightButton), right_up); }));
    release();
    EXPECT_TRUE(wait_until([&] { return looks_like(button_area(kRightButton), right_up); }));
    EXPECT_EQ(p->dispatch(effGetProgram), 8);
    EXPECT_EQ(p->recorder().count_of(audioMasterUpdateDisplay), 0u);
    EXPECT_EQ(p->recorder().count_of(audioMasterAutomate), 0u);
    EXPECT_TRUE(wait_until([&] { return banner() != banner_before; }));
    screenshot("program-8-name.png");

    // Within 2.5 s: the next program, wrapping from 8 to 0.
    click(kRightButton);
    EXPECT_EQ(p->dispatch(effGetProgram), 0);
    EXPECT_EQ(p->recorder().count_of(audioMasterUpdateDisplay), 1u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(p->get_parameter(i), program0[i]) << "parameter " << i;

    // Left from 0 wraps to 8.
    click(kLeftButton);
    EXPECT_EQ(p->dispatch(effGetProgram), 8);
    EXPECT_EQ(p->recorder().count_of(audioMasterUpdateDisplay), 2u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(p->get_parameter(i), program8[i]) << "parameter " << i;
    click(kLeftButton);
    EXPECT_EQ(p->dispatch(effGetProgram), 7);

    // 2.5 s after the last press the version replaces the name (as at open,
    // where the banner showed it); the next press shows the name again
    // without stepping.
    EXPECT_TRUE(wait_until([&] { return banner() == banner_before; }, 10000ms));
    click(kRightButton);
    EXPECT_EQ(p->dispatch(effGetProgram), 7);
    EXPECT_EQ(p->recorder().count_of(audioMasterUpdateDisplay), 3u);
}

TEST_F(Interaction, StatusButtonShowsTheVersionForTwoAndAHalfSecondsThenPopsOut)
{
    open_editor();
    // The banner shows the version at open; put a knob's text there first.
    const std::vector<rgb> version = banner();
    const std::vector<rgb> status_up = button_area(kStatusButton);
    click(kMidGainKnob);
    EXPECT_TRUE(wait_until([&] { return banner() != version; }));
    p->recorder().clear();

    press(kStatusButton);
    const auto pressed = std::chrono::steady_clock::now();
    EXPECT_TRUE(wait_until([&] { return banner() == version; }));
    EXPECT_FALSE(looks_like(button_area(kStatusButton), status_up));
    release();
    EXPECT_EQ(p->recorder().calls().size(), 8u) << "the status button is no parameter";
    screenshot("status-version.png");

    EXPECT_TRUE(
        wait_until([&] { return looks_like(button_area(kStatusButton), status_up); }, 10000ms));
    const double popped_after =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - pressed).count();
    // 50 ticks of at least 50 ms each.
    EXPECT_GE(popped_after, 2.4);
    // The banner went blank with it: only the panel's own pixels remain.
    wait_settled();
    const std::vector<rgb> blank = banner();
    EXPECT_NE(blank, version);
    screenshot("status-popped.png");
}

// ---- closing under the pointer ------------------------------------------------------------

// The host closes the editor and unloads the plug-in while the user drags a
// knob: the process survives and no call reaches the host afterwards.
TEST_F(Interaction, CloseAndUnloadInTheMiddleOfADragAreSurvived)
{
    for (int round = 0; round < 3; ++round) {
        open_editor();
        press(kHfGainKnob);
        wait_calls(audioMasterBeginEdit, 1);
        std::atomic<bool> stop{false};
        std::thread mover([&] {
            x_client mover_client;
            for (int k = 0; !stop; ++k) {
                XTestFakeMotionEvent(mover_client.dpy(), 0, kHfGainKnob.x,
                                     kHfGainKnob.y - (k % 40), CurrentTime);
                XFlush(mover_client.dpy());
                std::this_thread::sleep_for(1ms);
            }
        });
        wait_calls(audioMasterAutomate, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(7 * round));
        if (round != 1) {
            p->dispatch(effEditClose);
            const size_t after_close = p->recorder().calls().size();
            std::this_thread::sleep_for(50ms);
            EXPECT_EQ(p->recorder().calls().size(), after_close) << "round " << round;
        }
        p.reset();  // round 1 unloads with the editor open
        stop = true;
        mover.join();
        button(1, false);
        x.destroy(host);
        host = 0;
    }
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new editor_test::private_display);
    return RUN_ALL_TESTS();
}
