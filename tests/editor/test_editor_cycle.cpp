// The editor inside the effect, linked directly, with the GUI engine and its
// event thread made here as the module makes them when it is loaded: the
// banner texts the effect's notifications produce, and notifications from
// host threads racing the GUI thread (run under ThreadSanitizer as well).
#include "tests/support/support.h"

#include "editor/CEditorGUI.h"
#include "editor/editor_globals.h"
#include "plugin/CPlug.h"
#include "plugin/CPlugEditor.h"

using namespace test_support;

namespace {

class EditorCycle : public testing::Test {
protected:
    void SetUp() override
    {
        setenv("ZOKA_UI_DPI", "96", 1);
        G_GUI_engine = new AFX_engine();
        G_FONT_engine = new AFX_font_engine(G_GUI_engine);
        gui = std::thread([] { G_GUI_engine->run_engine(); });
        host = x.host_window(468, 510);
        editor->open(reinterpret_cast<void*>(host));
        ASSERT_TRUE(editor->is_editor_running());
        G_GUI_engine->set_gui_update_interval(1);  // ticks every 2 ms instead of 51
    }
    void TearDown() override
    {
        editor->close();
        plug.reset();
        G_GUI_engine->stop_engine();
        gui.join();
        delete G_FONT_engine, delete G_GUI_engine;
    }
    // The banner buffer once the next tick has taken the change (or, for
    // a change that is ignored, as it stands).
    std::string after(int index, float value, const std::string& expected)
    {
        plug->setParameter(index, value);
        std::string text;
        wait_until([&] {
            char buffer[CEditorGUI::kTextDisplaySize];
            editor->get_text_display(buffer, sizeof buffer);
            text = buffer;
            return text == expected;
        }, 500ms);
        return text;
    }

    x_client x;
    Window host = 0;
    std::thread gui;
    std::unique_ptr<CPlug> plug = std::make_unique<CPlug>(nullptr, CPlug::kNumPrograms, CPlug::kNumParams);
    CEditorGUI* editor = static_cast<CPlugEditor*>(plug->getEditor())->gui();
};

// 40 dB across a gain knob, exactly 0.0 on the detent frame; frequencies on
// their logarithmic laws, the mid band in kHz from 1 kHz; the switch as
// reported; values beyond the range as the knob clamps them.
TEST_F(EditorCycle, NotificationsFormatTheBannerTexts)
{
    const struct {
        int index;
        float value;
        const char* text;
    } rows[] = {{1, 0.5f, "LF Gain 0.0 dB"},       {1, 0.52f, "LF Gain 0.8 dB"},     {1, 0.505f, "LF Gain 0.0 dB"},
                {0, 1.0f, "HF Gain 20.0 dB"},      {3, 0.0f, "Mid Gain -20.0 dB"},   {2, 0.0f, "Mid Freq 200.0 Hz"},
                {2, 0.5f, "Mid Freq 894.4 Hz"},    {2, 0.7f, "Mid Freq 1.63 kHz"},   {2, 1.0f, "Mid Freq 4.00 kHz"},
                {5, 0.5f, "HF Freq 5.66 kHz"},     {4, 0.5f, "LF Freq 141.4 Hz"},    {6, 1.0f, "Mid B/W 2.00 Oct"},
                {7, 0.5f, " Effect Out"},          {7, 0.51f, " Effect In "},        {0, 3.0f, "HF Gain 20.0 dB"},
                {9, 0.0f, "HF Gain 20.0 dB"}};
    for (const auto& r : rows)
        EXPECT_EQ(after(r.index, r.value, r.text), r.text) << r.index << " " << r.value;
}

// Host threads write texts and widget values while the GUI thread ticks,
// repaints and renders the banner.
TEST_F(EditorCycle, NotificationsRaceTheGuiThread)
{
    std::atomic<bool> stop{false};
    std::thread programs([&] {
        for (int i = 0; !stop; ++i)
            plug->setProgram(i % CPlug::kNumPrograms), std::this_thread::sleep_for(3ms);
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
    EXPECT_EQ(after(0, 0.5f, "HF Gain 0.0 dB"), "HF Gain 0.0 dB");
}

} // namespace
