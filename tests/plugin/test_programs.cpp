// Programs: the names and factory values after construction, clamping,
// recall of edited values, the automation a program change sends to the
// host, and renaming.
#include "plugin_harness.h"

using namespace ze710test;

class Programs : public PluginTest {};

TEST_F(Programs, NamesAfterConstruction)
{
    EXPECT_EQ(dispatch(effGetProgram), 0);
    const char* names[] = {"01 User Preset 1", "02 User Preset 2", "03 User Preset 3",
                           "04 User Preset 4", "05 Low End Boost", "06 Presence",
                           "07 Vocal Air",     "08 Loudness",      "09 Hollow Mid"};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(plugin->program_name(i), names[i]);
    EXPECT_EQ(plugin->current_program_name(), names[0]);
}

TEST_F(Programs, FactoryPresetsShowTheirValues)
{
    struct Row {
        int program;
        const char* texts[8];  // displays of parameters 0 to 7
    };
    const Row rows[] = {
        {0, {"0.00 dB", "0.00 dB", "894.43 Hz", "0.00 dB", "141.42 Hz", "5656.85 Hz", "1.25 Oct", "In "}},
        {4, {"-4.20 dB", "9.50 dB", "205.00 Hz", "-7.40 dB", "136.36 Hz", "5656.85 Hz", "2.00 Oct", "In "}},
        {5, {"2.11 dB", "5.26 dB", "2492.49 Hz", "5.26 dB", "141.42 Hz", "5656.85 Hz", "2.00 Oct", "In "}},
        {6, {"5.26 dB", "2.10 dB", "3416.53 Hz", "6.32 dB", "141.42 Hz", "5656.85 Hz", "2.00 Oct", "In "}},
        {7, {"4.21 dB", "6.32 dB", "894.42 Hz", "0.00 dB", "102.00 Hz", "4005.00 Hz", "1.25 Oct", "In "}},
        {8, {"0.00 dB", "7.36 dB", "515.09 Hz", "-6.32 dB", "141.42 Hz", "5656.85 Hz", "2.00 Oct", "In "}},
    };
    for (const Row& row : rows) {
        dispatch(effSetProgram, 0, row.program);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(display(i), row.texts[i]) << "program " << row.program << " parameter " << i;
    }
}

TEST_F(Programs, SelectedPresetIsWhatIsHeard)
{
    // "05 Low End Boost": +9.50 dB low shelf, -4.20 dB high shelf.
    dispatch(effSetProgram, 0, 4);
    const std::vector<float> h = impulse_response();
    EXPECT_NEAR(gain_db(h, 0.0), 9.5, 0.05);
    EXPECT_NEAR(gain_db(h, 24000.0), -4.2, 0.1);
}

TEST_F(Programs, IndicesAreClamped)
{
    dispatch(effSetProgram, 0, -3);
    EXPECT_EQ(dispatch(effGetProgram), 0);
    dispatch(effSetProgram, 0, 9);
    EXPECT_EQ(dispatch(effGetProgram), 8);
    EXPECT_EQ(plugin->current_program_name(), "09 Hollow Mid");
}

TEST_F(Programs, EditedValuesAreRecalled)
{
    dispatch(effSetProgram, 0, 6);
    plugin->set_parameter(1, 0.9f);  // "LF dB" to +16 dB
    dispatch(effSetProgram, 0, 7);
    EXPECT_EQ(display(1), "6.32 dB");
    dispatch(effSetProgram, 0, 6);
    EXPECT_FLOAT_EQ(plugin->get_parameter(1), 0.9f);
    EXPECT_EQ(display(1), "16.00 dB");
    // User slots are independent: program 1 kept its defaults.
    dispatch(effSetProgram, 0, 0);
    plugin->set_parameter(0, 0.1f);
    dispatch(effSetProgram, 0, 1);
    EXPECT_FLOAT_EQ(plugin->get_parameter(0), 0.5f);
}

TEST_F(Programs, UiSizeIsNotPartOfAProgram)
{
    plugin->set_parameter(8, 0.7f);
    dispatch(effSetProgram, 0, 5);
    dispatch(effSetProgram, 0, 0);
    EXPECT_FLOAT_EQ(plugin->get_parameter(8), 0.7f);
}

TEST_F(Programs, SelectionSendsEightAutomationEventsInOrder)
{
    plugin->recorder().clear();
    dispatch(effSetProgram, 0, 4);
    const std::vector<vsthost::HostCall> events = plugin->recorder().calls_of(audioMasterAutomate);
    ASSERT_EQ(events.size(), 8u);
    // HF gain, LF gain, mid gain, HF freq, LF freq, mid freq, mid BW, Effect.
    const int order[8] = {0, 1, 3, 5, 4, 2, 6, 7};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(events[i].index, order[i]);
        EXPECT_FLOAT_EQ(events[i].opt, plugin->get_parameter(order[i]));
    }
    EXPECT_FLOAT_EQ(events[0].opt, 0.395f);
    EXPECT_FLOAT_EQ(events[1].opt, 0.7375f);
    EXPECT_FLOAT_EQ(events[2].opt, 0.315f);
    EXPECT_FLOAT_EQ(events[6].opt, 1.0f);
    // A direct parameter change from the host is not echoed back to it.
    plugin->recorder().clear();
    plugin->set_parameter(2, 0.3f);
    EXPECT_EQ(plugin->recorder().count_of(audioMasterAutomate), 0u);
}

TEST_F(Programs, RenamingKeepsTwentyThreeCharacters)
{
    dispatch(effSetProgram, 0, 3);
    char name[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234";  // 30 characters
    EXPECT_EQ(dispatch(effSetProgramName, 0, 0, name), 1);
    char text[64];
    std::memset(text, '#', sizeof text);
    dispatch(effGetProgramName, 0, 0, text);
    EXPECT_STREQ(text, "ABCDEFGHIJKLMNOPQRSTUVW");
    EXPECT_EQ(text[24], '#') << "a read never writes beyond the 24-byte name";
    EXPECT_EQ(plugin->program_name(3), "ABCDEFGHIJKLMNOPQRSTUVW");
    EXPECT_EQ(plugin->program_name(2), "03 User Preset 3");
}

TEST_F(Programs, IndexedNameOutOfRangeLeavesTheBuffer)
{
    char text[32];
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(dispatch(effGetProgramNameIndexed, 9, 0, text), 1);
    EXPECT_EQ(text[0], '#');
    EXPECT_EQ(dispatch(effGetProgramNameIndexed, -1, 0, text), 1);
    EXPECT_EQ(text[0], '#');
}
