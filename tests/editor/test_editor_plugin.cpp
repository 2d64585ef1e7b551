// The editor through the built plug-in, loaded with dlopen through its entry
// point and opened into host windows on a private X server, as a DAW does:
// its size, its place in the host's window, embedding failures, what host
// automation, program changes and the host's bypass do to the pixels on the
// screen, screenshots at every size and scale against references, and
// repeated loading and unloading of the module with and without an editor.
#include "tests/editor/editor_test_support.h"

#include <X11/Xatom.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "plugin_interface/vst_interface.h"
#include "tools/host/vst_host.h"

#ifndef ZE710_PLUGIN_PATH
#error "ZE710_PLUGIN_PATH must name the built plug-in module"
#endif

namespace {

using namespace editor_test;

// Panel coordinates of what the tests watch (the panel is 144 x 510, the
// front panel image starts at row 16).
struct area {
    int x, y, w, h;
};
constexpr area kHfGainKnob = {101 - 24, 100 - 24 + 16, 48, 48};
constexpr area kBanner = {18, 42 + 16, 108, 16};
constexpr int kPanelX = 162;  // ui size 0, scale 1

const std::string kInfoLine = "** INFO ** RVM-4C: Host suplied window was not valid - retrying";

std::unique_ptr<vsthost::VstPlugin> load()
{
    std::string error;
    std::unique_ptr<vsthost::VstPlugin> p = vsthost::VstPlugin::load(ZE710_PLUGIN_PATH, &error);
    EXPECT_TRUE(p) << error;
    return p;
}

ERect get_rect(vsthost::VstPlugin& p)
{
    ERect* rect = nullptr;
    p.dispatch(effEditGetRect, 0, 0, &rect);
    return rect ? *rect : ERect{-1, -1, -1, -1};
}

void open_editor(vsthost::VstPlugin& p, Window host)
{
    p.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host));
}

class EditorPlugin : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("ZOKA_UI_DPI", "96", 1);
        ASSERT_NE(x.dpy(), nullptr);
    }

    // Opens the editor into a new host window of the reported size and waits
    // until its picture is on the screen and has settled.
    Window open_in_host(vsthost::VstPlugin& p)
    {
        const ERect r = get_rect(p);
        const Window host = x.make_host_window(r.right - r.left, r.bottom - r.top);
        open_editor(p, host);
        EXPECT_EQ(x.children(host).size(), 1u);
        wait_settled(host);
        return host;
    }

    void wait_settled(Window w)
    {
        std::vector<rgb> last;
        EXPECT_TRUE(wait_until(
            [&] {
                std::this_thread::sleep_for(60ms);
                std::vector<rgb> now = x.capture(w);
                size_t lit = 0;
                for (const rgb& c : now)
                    lit += c.r + c.g + c.b > 96;
                // The panel alone covers more than a fifth of the window.
                const bool settled = !now.empty() && now == last && lit > now.size() / 5;
                last = std::move(now);
                return settled;
            },
            5000ms));
    }

    std::vector<rgb> panel_area(Window host, area a, int panel_x = kPanelX)
    {
        return x.capture(host, panel_x + a.x, a.y, a.w, a.h);
    }

    x_client x;
};

TEST_F(EditorPlugin, ReportsItsSizeForEveryEditorSizeAtScaleOne)
{
    auto p = load();
    ASSERT_TRUE(p);
    ERect r = get_rect(*p);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 468);
    EXPECT_EQ(r.bottom, 510);
    p->set_parameter(8, 0.5f);
    r = get_rect(*p);
    EXPECT_EQ(r.right, 468);
    EXPECT_EQ(r.bottom, 765);
    p->set_parameter(8, 1.0f);
    r = get_rect(*p);
    EXPECT_EQ(r.right, 468);
    EXPECT_EQ(r.bottom, 1020);
    // A host value beyond the range gets the largest editor, not a larger one.
    p->set_parameter(8, 7.0f);
    r = get_rect(*p);
    EXPECT_EQ(r.bottom, 1020);
}

TEST_F(EditorPlugin, OpensAsOneMappedChildOfTheHostWindowWithClassTitleAndType)
{
    auto p = load();
    ASSERT_TRUE(p);
    p->dispatch(effSetProgram, 0, 2);
    const Window host = open_in_host(*p);

    std::vector<Window> kids = x.children(host);
    ASSERT_EQ(kids.size(), 1u);
    const Window editor = kids[0];
    EXPECT_TRUE(x.viewable(editor));
    EXPECT_EQ(x.wm_class(editor), "harrowby-ui/harrowby-ui");
    EXPECT_EQ(x.wm_name(editor), "ZE710: 03 User Preset 3");
    EXPECT_EQ(x.net_wm_name(editor), "ZE710: 03 User Preset 3");
    EXPECT_EQ(x.window_type(editor), "_NET_WM_WINDOW_TYPE_UTILITY");
    int ex, ey, ew, eh;
    ASSERT_TRUE(x.geometry(editor, &ex, &ey, &ew, &eh));
    EXPECT_EQ(ex, 0);
    EXPECT_EQ(ey, 0);
    EXPECT_EQ(ew, 468);
    EXPECT_EQ(eh, 510);

    // A second open while open makes no second window.
    open_editor(*p, host);
    EXPECT_EQ(x.children(host).size(), 1u);

    p->dispatch(effEditClose);
    EXPECT_TRUE(wait_until([&] { return x.children(host).empty(); }, 2000ms));
    x.destroy(host);
}

TEST_F(EditorPlugin, ReopenedEditorShowsTheValuesReportedMeanwhile)
{
    // Reference: an editor first opened with the values already set.
    std::vector<rgb> expected;
    {
        auto p = load();
        ASSERT_TRUE(p);
        p->set_parameter(0, 0.9f);
        p->set_parameter(1, 0.1f);
        p->set_parameter(7, 0.0f);
        const Window host = open_in_host(*p);
        expected = x.capture(host);
        p->dispatch(effEditClose);
        x.destroy(host);
    }
    auto p = load();
    ASSERT_TRUE(p);
    const Window host = open_in_host(*p);
    const std::vector<rgb> defaults = x.capture(host);
    p->set_parameter(0, 0.9f);  // while open
    std::this_thread::sleep_for(150ms);
    p->dispatch(effEditClose);
    p->set_parameter(1, 0.1f);  // while closed
    p->set_parameter(7, 0.0f);
    open_editor(*p, host);
    wait_settled(host);
    const std::vector<rgb> reopened = x.capture(host);
    EXPECT_FALSE(same_pixels(reopened, defaults));
    EXPECT_TRUE(same_pixels(reopened, expected))
        << differing_fraction(reopened, expected, 0) * 100 << " % of the pixels differ";
    p->dispatch(effEditClose);
    x.destroy(host);
}

TEST_F(EditorPlugin, EmbeddingIntoAMissingWindowRetriesOnceAndShowsTheWindowAnyway)
{
    auto p = load();
    ASSERT_TRUE(p);
    Window missing = x.make_host_window(50, 50);
    x.destroy(missing);

    stdout_capture out;
    open_editor(*p, missing);
    const std::string printed = out.finish();
    EXPECT_EQ(count_lines(printed, kInfoLine), 2) << printed;

    std::vector<Window> editors;
    EXPECT_TRUE(wait_until([&] {
        editors = x.top_levels_of_class("harrowby-ui");
        return editors.size() == 1 && x.viewable(editors[0]);
    }));
    p->dispatch(effEditClose);
    EXPECT_TRUE(wait_until([&] { return x.top_levels_of_class("harrowby-ui").empty(); }));
}

TEST_F(EditorPlugin, HostAutomationMovesTheKnobOnScreenButLeavesTheBanner)
{
    auto p = load();
    ASSERT_TRUE(p);
    const Window host = open_in_host(*p);
    const std::vector<rgb> knob_before = panel_area(host, kHfGainKnob);
    const std::vector<rgb> banner_before = panel_area(host, kBanner);

    const auto start = std::chrono::steady_clock::now();
    p->set_parameter(0, 0.95f);
    EXPECT_TRUE(wait_until([&] { return panel_area(host, kHfGainKnob) != knob_before; }, 2000ms));
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::printf("knob on screen after %lld ms\n", static_cast<long long>(elapsed.count()));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(panel_area(host, kBanner), banner_before);

    p->dispatch(effEditClose);
    x.destroy(host);
}

TEST_F(EditorPlugin, ProgramChangeShowsItsNameThenTheVersionTwoAndAHalfSecondsLater)
{
    auto p = load();
    ASSERT_TRUE(p);
    const Window host = open_in_host(*p);
    const std::vector<rgb> version = panel_area(host, kBanner);

    const auto start = std::chrono::steady_clock::now();
    p->dispatch(effSetProgram, 0, 5);
    EXPECT_TRUE(wait_until([&] { return panel_area(host, kBanner) != version; }, 1000ms));
    const std::vector<rgb> name = panel_area(host, kBanner);
    EXPECT_TRUE(wait_until([&] { return panel_area(host, kBanner) == version; }, 6000ms));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("version text back after %.2f s\n", seconds);
    EXPECT_GT(seconds, 2.3);

    // Another program's name looks different.
    p->dispatch(effSetProgram, 0, 6);
    EXPECT_TRUE(wait_until([&] {
        const std::vector<rgb> now = panel_area(host, kBanner);
        return now != version && now != name;
    }, 1000ms));

    p->dispatch(effEditClose);
    x.destroy(host);
}

TEST_F(EditorPlugin, HostBypassRedrawsTheWholeWindowInGreyAndBackInColour)
{
    auto p = load();
    ASSERT_TRUE(p);
    const Window host = open_in_host(*p);
    const std::vector<rgb> colour = x.capture(host);
    auto all_grey = [](const std::vector<rgb>& pixels) {
        for (const rgb& c : pixels)
            if (c.r != c.g || c.g != c.b)
                return false;
        return true;
    };
    ASSERT_FALSE(all_grey(colour));

    // Nothing but the bypass changes: the whole window must be redrawn by itself.
    p->dispatch(effSetBypass, 0, 1);
    std::vector<rgb> grey;
    EXPECT_TRUE(wait_until([&] {
        grey = x.capture(host);
        return all_grey(grey);
    }, 2000ms));
    // Scan lines: the panel's flat background is not one grey from top to bottom.
    const std::vector<rgb> column = x.capture(host, kPanelX + 4, 100, 1, 8);
    bool two_levels = false;
    for (const rgb& c : column)
        two_levels |= !(c == column[0]);
    EXPECT_TRUE(two_levels);

    p->dispatch(effSetBypass, 0, 0);
    EXPECT_TRUE(wait_until([&] { return x.capture(host) == colour; }, 2000ms));

    p->dispatch(effEditClose);
    x.destroy(host);
}

TEST_F(EditorPlugin, WindowManagerCloseEndsTheEditorAndAnOpenMakesANewWindow)
{
    auto p = load();
    ASSERT_TRUE(p);
    const Window host = open_in_host(*p);
    const Window editor = x.children(host).at(0);

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = editor;
    event.xclient.message_type = XInternAtom(x.dpy(), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(x.dpy(), "WM_DELETE_WINDOW", False));
    XSendEvent(x.dpy(), editor, False, NoEventMask, &event);
    XSync(x.dpy(), False);
    EXPECT_TRUE(wait_until([&] { return x.children(host).empty(); }, 2000ms));

    open_editor(*p, host);
    EXPECT_EQ(x.children(host).size(), 1u);
    p->dispatch(effEditClose);
    x.destroy(host);
}

TEST_F(EditorPlugin, HostDestroyingItsWindowUnderAnOpenEditorIsSurvived)
{
    auto p = load();
    ASSERT_TRUE(p);
    Window host = open_in_host(*p);
    x.destroy(host);  // takes the editor's window with it, without effEditClose
    for (int i = 0; i < 20; ++i) {
        p->set_parameter(i % 7, (i % 5) / 4.0f);
        p->dispatch(effSetBypass, 0, i % 2);
        std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(200ms);

    // The editor counts as closed: a new open gets a new window.
    host = x.make_host_window(468, 510);
    open_editor(*p, host);
    EXPECT_EQ(x.children(host).size(), 1u);
    p->dispatch(effEditClose);
    x.destroy(host);
}

// Screenshots at every editor size and scale, saved for a person to look at
// and compared with the references kept beside the tests.
struct ShotCase {
    const char* dpi;
    float ui_size;
    int width, height;
    const char* name;
};

class EditorScreenshot : public EditorPlugin, public ::testing::WithParamInterface<ShotCase> {};

TEST_P(EditorScreenshot, MatchesReference)
{
    const ShotCase c = GetParam();
    // The scale is read once per engine, and the engine lives as long as the
    // module: every case loads the module afresh.
    setenv("ZOKA_UI_DPI", c.dpi, 1);
    auto p = load();
    ASSERT_TRUE(p);
    p->set_parameter(8, c.ui_size);
    const ERect r = get_rect(*p);
    EXPECT_EQ(r.right - r.left, c.width);
    EXPECT_EQ(r.bottom - r.top, c.height);
    const Window host = open_in_host(*p);
    const std::vector<rgb> shot = x.capture(host);
    ASSERT_EQ(shot.size(), static_cast<size_t>(c.width) * c.height);
    const std::string out = std::string(ZE710_EDITOR_OUTPUT_DIR) + "/" + c.name;
    EXPECT_TRUE(output_test::write_png(out, c.width, c.height, shot));
    p->dispatch(effEditClose);
    x.destroy(host);

    int w = 0, h = 0;
    std::vector<rgb> reference;
    ASSERT_TRUE(read_png(std::string(ZE710_EDITOR_REFERENCE_DIR) + "/" + c.name, &w, &h, &reference))
        << "no reference picture for " << out;
    ASSERT_EQ(w, c.width);
    ASSERT_EQ(h, c.height);
    // Rounding may differ by a step here and there; the artwork may not.
    EXPECT_LT(differing_fraction(shot, reference, 2), 0.001) << out;
    EXPECT_LT(differing_fraction(shot, reference, 24), 0.0001) << out;
}

INSTANTIATE_TEST_SUITE_P(
    SizesAndScales, EditorScreenshot,
    ::testing::Values(ShotCase{"96", 0.0f, 468, 510, "editor-size0-scale1.png"},
                      ShotCase{"96", 0.5f, 468, 765, "editor-size050-scale1.png"},
                      ShotCase{"96", 1.0f, 468, 1020, "editor-size1-scale1.png"},
                      ShotCase{"192", 0.0f, 936, 1020, "editor-size0-scale2.png"},
                      ShotCase{"192", 0.5f, 936, 1530, "editor-size050-scale2.png"},
                      ShotCase{"192", 1.0f, 936, 2040, "editor-size1-scale2.png"}),
    [](const ::testing::TestParamInfo<ShotCase>& info) {
        std::string n = info.param.name;
        std::string out;
        for (char ch : n.substr(0, n.size() - 4))
            if (std::isalnum(static_cast<unsigned char>(ch)))
                out += ch;
        return out;
    });

// The panel at its defaults, shown 1:1 at ui size 0 and scale 1, is the
// widgets' own reference rendering placed at x = 162 (the top strip aside,
// which only the editor paints).
TEST_F(EditorPlugin, PanelAtScaleOneIsThePanelRenderingAtOffset162)
{
    int w = 0, h = 0;
    std::vector<rgb> panel;
    ASSERT_TRUE(read_png(ZE710_WIDGETS_PANEL_REFERENCE, &w, &h, &panel));
    ASSERT_EQ(w, 144);
    ASSERT_EQ(h, 510);
    auto p = load();
    ASSERT_TRUE(p);
    const Window host = open_in_host(*p);
    const std::vector<rgb> shown = x.capture(host, kPanelX, 16, 144, 494);
    const std::vector<rgb> expected(panel.begin() + 16 * 144, panel.end());
    EXPECT_LT(differing_fraction(shown, expected, 0), 0.0001);
    // One column further left is the window's background, not the panel.
    const std::vector<rgb> outside = x.capture(host, kPanelX - 1, 16, 1, 494);
    const std::vector<rgb> first_column = x.capture(host, kPanelX, 16, 1, 494);
    EXPECT_NE(outside, first_column);
    p->dispatch(effEditClose);
    x.destroy(host);
}

// No thread at load, and the editor's thread goes with its close or its
// instance: after every unload the process has the threads it had before,
// and the module is really gone.
TEST_F(EditorPlugin, RepeatedLoadAndUnloadLeavesNoThreadBehind)
{
    const int baseline = thread_count();
    for (int round = 0; round < 6; ++round) {
        {
            auto p = load();
            ASSERT_TRUE(p);
            EXPECT_EQ(thread_count(), baseline) << "round " << round;
            if (round % 2 == 1) {
                const Window host = open_in_host(*p);
                p->set_parameter(0, 0.2f * round);
                std::this_thread::sleep_for(60ms);
                if (round == 3)
                    p->dispatch(effEditClose);  // round 5 unloads with the editor open
                p.reset();
                x.destroy(host);
            }
        }
        EXPECT_EQ(dlopen(ZE710_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr) << "round " << round;
        EXPECT_EQ(thread_count(), baseline) << "round " << round;
    }
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new editor_test::private_display);
    return RUN_ALL_TESTS();
}
