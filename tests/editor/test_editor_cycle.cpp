// The editor inside the effect, linked directly, with the GUI engine and its
// event thread set up here as the module's load function does: the size rule
// as the window shows it, the banner texts the effect's notifications
// produce, the text timer run fast through the engine's own update interval,
// and notifications racing the GUI thread (run this one under ThreadSanitizer).
#include "tests/editor/editor_test_support.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "editor/CEditorGUI.h"
#include "editor/editor_globals.h"
#include "plugin/CPlug.h"
#include "plugin/CPlugEditor.h"

namespace {

using namespace editor_test;

// The process-wide engine, font engine and event thread, as the plug-in
// module makes them at load.
class gui_thread_environment : public ::testing::Environment {
public:
    void SetUp() override
    {
        setenv("ZOKA_UI_DPI", "96", 1);
        G_GUI_engine = new AFX_engine();
        G_FONT_engine = new AFX_font_engine(G_GUI_engine);
        AFX_engine* engine = G_GUI_engine;
        loop = std::thread([engine] { engine->run_engine(); });
    }
    void TearDown() override
    {
        G_GUI_engine->stop_engine();
        loop.join();
        delete G_GUI_engine;
        delete G_FONT_engine;
        G_GUI_engine = nullptr;
        G_FONT_engine = nullptr;
    }

private:
    std::thread loop;
};

class EditorCycle : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(x.dpy(), nullptr);
        plug = std::make_unique<CPlug>(nullptr, CPlug::kNumPrograms, CPlug::kNumParams);
        editor = static_cast<CPlugEditor*>(plug->getEditor())->gui();
    }
    void TearDown() override
    {
        if (host) {
            editor->close();
            x.destroy(host);
        }
        plug.reset();
    }

    void open(int width = 468, int height = 510)
    {
        host = x.make_host_window(width, height);
        editor->open(reinterpret_cast<void*>(host));
        ASSERT_TRUE(editor->is_editor_running());
    }

    std::string text()
    {
        char buf[CEditorGUI::kTextDisplaySize];
        editor->get_text_display(buf, sizeof buf);
        return buf;
    }

    std::string after(int index, float value)
    {
        plug->setParameter(index, value);
        return text();
    }

    x_client x;
    std::unique_ptr<CPlug> plug;
    CEditorGUI* editor = nullptr;
    Window host = 0;
};

TEST_F(EditorCycle, WithoutEngineTheRectIsThePanelAndOpenOnlyReports)
{
    AFX_engine* engine = G_GUI_engine;
    G_GUI_engine = nullptr;
    ERect* rect = nullptr;
    EXPECT_FALSE(plug->getEditor()->getRect(&rect));
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right, 144);
    EXPECT_EQ(rect->bottom, 510);

    stdout_capture out;
    editor->open(reinterpret_cast<void*>(DefaultRootWindow(x.dpy())));
    const std::string printed = out.finish();
    EXPECT_EQ(count_lines(printed, "** ERROR ** ZE710-VST: GUI Engine is not running or was not started"), 1)
        << printed;
    EXPECT_FALSE(editor->is_editor_running());
    editor->close();
    G_GUI_engine = engine;
}

TEST_F(EditorCycle, PanelIsCentredAndMagnifiedByTheEditorSize)
{
    struct Case {
        float ui_size;
        int height, panel_x;
        float magnification;
    };
    for (const Case c : {Case{0.0f, 510, 162, 1.0f}, Case{0.5f, 765, 126, 1.5f},
                         Case{1.0f, 1020, 90, 2.0f}}) {
        plug->setParameter(8, c.ui_size);
        open(468, c.height);
        EXPECT_EQ(editor->get_panel_x_offset(), c.panel_x) << c.ui_size;
        EXPECT_FLOAT_EQ(editor->get_magnification(), c.magnification);
        const Window child = x.children(host).at(0);
        int wx, wy, ww, wh;
        ASSERT_TRUE(x.geometry(child, &wx, &wy, &ww, &wh));
        EXPECT_EQ(ww, 468);
        EXPECT_EQ(wh, c.height);
        editor->close();
        x.destroy(host);
        host = 0;
    }
}

TEST_F(EditorCycle, EditorSizeFromTheHostWaitsForTheNextOpenAndIsClamped)
{
    open();
    const Window child = x.children(host).at(0);
    int wx, wy, ww, wh;
    plug->setParameter(8, 1.0f);  // host automation while open
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(x.geometry(child, &wx, &wy, &ww, &wh));
    EXPECT_EQ(wh, 510);

    // Applied by the editor itself, clamped to the largest and smallest size.
    editor->control_update_ui_size(1.7f);
    editor->control_redraw_ui_size();
    EXPECT_TRUE(wait_until([&] { return x.geometry(child, &wx, &wy, &ww, &wh) && wh == 1020; }));
    EXPECT_EQ(editor->get_panel_x_offset(), 90);
    editor->control_update_ui_size(-0.2f);
    editor->control_redraw_ui_size();
    EXPECT_TRUE(wait_until([&] { return x.geometry(child, &wx, &wy, &ww, &wh) && wh == 510; }));
    EXPECT_EQ(ww, 468);
    EXPECT_EQ(editor->get_panel_x_offset(), 162);
}

TEST_F(EditorCycle, NotificationsFormatTheTextsOfTheUpdateTable)
{
    open();
    // Gains: 40 dB across the knob; the detent frame reads exactly 0.0.
    EXPECT_EQ(after(1, 0.5f), "LF Gain 0.0 dB");
    EXPECT_EQ(after(1, 0.52f), "LF Gain 0.8 dB");
    EXPECT_EQ(after(1, 0.505f), "LF Gain 0.0 dB");  // 0.2 dB, but on the middle frame
    EXPECT_EQ(after(0, 1.0f), "HF Gain 20.0 dB");
    EXPECT_EQ(after(3, 0.0f), "Mid Gain -20.0 dB");
    // Frequencies on the logarithmic law; the mid band switches to kHz at 1 kHz.
    EXPECT_EQ(after(2, 0.0f), "Mid Freq 200.0 Hz");
    EXPECT_EQ(after(2, 1.0f), "Mid Freq 4.00 kHz");
    EXPECT_EQ(after(2, 0.5f), "Mid Freq 894.4 Hz");  // sqrt(200 x 4000)
    EXPECT_EQ(after(2, 0.7f), "Mid Freq 1.63 kHz");  // 200 x 20^0.7 = 1628.6
    EXPECT_EQ(after(5, 1.0f), "HF Freq 8.00 kHz");
    EXPECT_EQ(after(5, 0.5f), "HF Freq 5.66 kHz");
    EXPECT_EQ(after(4, 0.5f), "LF Freq 141.4 Hz");
    EXPECT_EQ(after(4, 0.0f), "LF Freq 100.0 Hz");
    EXPECT_EQ(after(6, 0.5f), "Mid B/W 1.25 Oct");
    EXPECT_EQ(after(6, 1.0f), "Mid B/W 2.00 Oct");
    // The switch reads the value as reported.
    EXPECT_EQ(after(7, 0.5f), " Effect Out");
    EXPECT_EQ(after(7, 0.51f), " Effect In ");
    // Out-of-range values are clamped by the knob before the text is made.
    EXPECT_EQ(after(0, 3.0f), "HF Gain 20.0 dB");
    // Indices outside 0..8 change nothing.
    editor->setParameter(9, 0.0f);
    editor->setParameter(-1, 0.0f);
    EXPECT_EQ(text(), "HF Gain 20.0 dB");
}

TEST_F(EditorCycle, TextTimerShowsProgramNameThenVersionThenBlank)
{
    open();
    G_GUI_engine->set_gui_update_interval(1);  // a tick every 2 ms instead of 51
    plug->setProgram(5);
    char name[64] = {0};
    plug->getProgramName(name);
    EXPECT_STREQ(name, "06 Presence");
    EXPECT_EQ(text(), name);
    EXPECT_TRUE(editor->get_program_name_shown());

    EXPECT_TRUE(wait_until([&] { return editor->get_text_display_countdown() <= 450; }));
    EXPECT_EQ(text(), "ZE710 V2.3.1");
    EXPECT_FALSE(editor->get_program_name_shown());
    EXPECT_TRUE(wait_until([&] { return editor->get_text_display_countdown() <= 50; }));
    EXPECT_EQ(text(), "                ");
    EXPECT_TRUE(wait_until([&] { return editor->get_text_display_countdown() == 0; }));
    EXPECT_EQ(text(), "                ");
    G_GUI_engine->set_gui_update_interval(CEditorGUI::kGuiUpdateIntervalMs);
}

// The host's threads write texts and widget values while the GUI thread ticks
// every 2 ms, repaints and renders the banner; under ThreadSanitizer any
// unguarded access shows as a reported race.
TEST_F(EditorCycle, NotificationsRaceTheGuiThreadSafely)
{
    open();
    G_GUI_engine->set_gui_update_interval(1);
    std::atomic<bool> stop{false};
    std::thread programs([&] {
        for (int i = 0; !stop; ++i) {
            plug->setProgram(i % CPlug::kNumPrograms);
            std::this_thread::sleep_for(3ms);
        }
    });
    for (int i = 0; i < 3000; ++i) {
        plug->setParameter(i % 9, static_cast<float>(i % 101) / 100.0f);
        if (i % 50 == 0)
            plug->dispatcher(effSetBypass, 0, (i / 50) % 2, nullptr, 0.0f);
        if (i % 100 == 0)
            editor->control_redraw_parameter_display();
    }
    stop = true;
    programs.join();
    const std::string t = text();
    EXPECT_LT(t.size(), static_cast<size_t>(CEditorGUI::kParameterTextBound));
    G_GUI_engine->set_gui_update_interval(CEditorGUI::kGuiUpdateIntervalMs);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new editor_test::private_display);
    ::testing::AddGlobalTestEnvironment(new gui_thread_environment);
    return RUN_ALL_TESTS();
}
