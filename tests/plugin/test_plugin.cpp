// The plug-in through its entry point, as a host loads it: the module's
// exports and dependencies, every dispatcher row, parameter texts and the
// bound on what is written into a host's buffer, the parameter laws
// measured in the sound, and programs. (The effect's locking is tested by
// the reliability tests, under ThreadSanitizer.)
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <set>
#include <sstream>

#include "tests/support/support.h"
#include "tools/host/response.h"

using namespace test_support;

namespace {

TEST(PluginModule, ExportsOnlyItsEntryPointAndNeedsOnlyX11AndTheRuntime)
{
    const run_result symbols = run({"nm", "-D", "--defined-only", ZE710_PLUGIN_PATH});
    std::set<std::string> names, addresses;
    std::istringstream lines(symbols.out);
    for (std::string address, type, name; lines >> address >> type >> name;)
        names.insert(name), addresses.insert(address);
    EXPECT_EQ(names, (std::set<std::string>{"main", "VSTPluginMain"}));
    EXPECT_EQ(addresses.size(), 1u) << "main is VSTPluginMain under a second name";
    std::istringstream dynamic(run({"readelf", "-d", ZE710_PLUGIN_PATH}).out);
    std::set<std::string> needed;
    for (std::string line; std::getline(dynamic, line);)
        if (const size_t at = line.find("Shared library: ["); at != std::string::npos)
            needed.insert(line.substr(at + 17, line.find(']') - at - 17));
    EXPECT_FALSE(needed.empty());
    for (const std::string& lib : needed)
        EXPECT_TRUE((std::set<std::string>{"libX11.so.6", "libstdc++.so.6", "libm.so.6", "libgcc_s.so.1", "libc.so.6",
                                           "ld-linux-x86-64.so.2", "libtsan.so.2", "libasan.so.8", "libubsan.so.1"})
                        .count(lib))
            << lib;
}

// Every opcode with a null pointer (the texts are never written through
// it), unknown opcodes, and program numbers clamped without wrapping.
TEST(PluginDispatcher, EveryRowAnswersAsDocumented)
{
    auto p = load(48000.0f);
    ASSERT_TRUE(p);
    const struct {
        VstInt32 opcode, index;
        VstIntPtr value;
        float opt;
        VstIntPtr expected;
    } rows[] = {{effOpen, 0, 0, 0, 0},           {effGetProgram, 0, 0, 0, 0},        {effGetVu, 0, 0, 0, 0},
                {effSetSampleRate, 0, 0, 44100, 0}, {effSetBlockSize, 0, 256, 0, 0},  {effMainsChanged, 0, 1, 0, 0},
                {effEditDraw, 0, 0, 0, 0},       {effEditMouse, 0, 0, 0, 0},         {effEditKey, 0, 0, 0, 0},
                {effEditIdle, 0, 0, 0, 0},       {effEditTop, 0, 0, 0, 0},           {effEditSleep, 0, 0, 0, 0},
                {effIdentify, 7, -3, 2.5f, 0x4E764566}, {effGetChunk, 0, 0, 0, 0},   {effSetChunk, 0, 0, 0, 0},
                {effProcessEvents, 0, 0, 0, 1},  {effCanBeAutomated, 0, 0, 0, 1},    {effCanBeAutomated, 100, 0, 0, 1},
                {effString2Parameter, 0, 0, 0, 0}, {effGetPlugCategory, 0, 0, 0, 0}, {effGetTailSize, 0, 0, 0, 0},
                {effGetParameterProperties, 0, 0, 0, 0}, {effStartProcess, 0, 0, 0, 0}, {effSetBypass, 0, 0, 0, 1},
                {effGetVendorVersion, 0, 0, 0, 2310}, {effGetVstVersion, 0, 0, 0, 2400}, {effEditKeyDown, 'a', 0, 0, 0},
                {effEditKeyUp, 'a', 0, 0, 0},    {effSetEditKnobMode, 0, 2, 0, 0},   {effGetMidiProgramName, 0, 0, 0, 0},
                {effSetProcessPrecision, 0, 0, 0, 0}, {effGetNumMidiInputChannels, 0, 0, 0, 0},
                {effStopProcess, 0, 0, 0, 1},    {effEditOpen, 0, 0, 0, 1},          {effEditClose, 0, 0, 0, 1},
                {effSetProgramName, 0, 0, 0, 1}, {effGetProgramName, 0, 0, 0, 1},    {effGetParamDisplay, 0, 0, 0, 0},
                {effGetEffectName, 0, 0, 0, 1},  {effEditGetRect, 0, 0, 0, 1},       {effCanDo, 0, 0, 0, 0},
                {80, 0, 0, 0, 0},                {INT_MAX, 0, 0, 0, 0},              {-1, 0, 0, 0, 0},
                {INT_MIN, 0, 0, 0, 0},           {effSetProgram, 0, 12, 0, 1},       {effGetProgram, 0, 0, 0, 8},
                {effSetProgram, 0, -1, 0, 1},    {effGetProgram, 0, 0, 0, 0},        {effSetProgram, 0, (VstIntPtr{1} << 32) + 4, 0, 1},
                {effGetProgram, 0, 0, 0, 8}};
    for (const auto& r : rows)
        EXPECT_EQ(p->dispatch(r.opcode, r.index, r.value, nullptr, r.opt), r.expected) << "opcode " << r.opcode;
    char bypass[] = "bypass", bypass_x[] = "bypassX";
    EXPECT_TRUE(p->dispatch(effCanDo, 0, 0, bypass) == 1 && p->dispatch(effCanDo, 0, 0, bypass_x) == 0);
    EXPECT_EQ(p->current_program_name(), "09 Hollow Mid") << "a null name is never read";
}

// Name and display text of each parameter at 0, 0.5 and 1; values outside
// 0..1 are stored and shown as given (the editor size's text clamps), and
// no text, however large the value, writes past 24 bytes.
TEST(PluginParameters, NamesDisplaysAndTheirBounds)
{
    auto p = load(48000.0f);
    ASSERT_TRUE(p);
    const char* rows[][4] = {{"HF dB", "-20.00 dB", "0.00 dB", "20.00 dB"},     {"LF dB", "-20.00 dB", "0.00 dB", "20.00 dB"},
                             {"Mid Hz", "200.00 Hz", "894.43 Hz", "4000.00 Hz"}, {"Mid dB", "-20.00 dB", "0.00 dB", "20.00 dB"},
                             {"LF Hz", "100.00 Hz", "141.42 Hz", "200.00 Hz"},   {"HF Hz", "4000.00 Hz", "5656.85 Hz", "8000.00 Hz"},
                             {"Mid BW", "0.50 Oct", "1.25 Oct", "2.00 Oct"},     {"Effect", "Out", "Out", "In "},
                             {"UI Size", "X 1.00", "X 1.50", "X 2.00"}};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(p->parameter_name(i), rows[i][0]);
        for (int k = 0; k < 3; ++k)
        {
            p->set_parameter(i, 0.5f * k);
            EXPECT_EQ(p->parameter_display(i), rows[i][k + 1]) << i;
        }
    }
    const struct {
        int index;
        float value;
        const char* text;
    } outside[] = {{0, 1.5f, "40.00 dB"}, {6, -1.0f, "-1.00 Oct"}, {8, 1.5f, "X 2.00"}, {8, -1.0f, "X 1.00"}, {1, 1e30f, "4e+31 dB"}};
    for (const auto& o : outside) {
        p->set_parameter(o.index, o.value);
        EXPECT_EQ(p->get_parameter(o.index), o.value);
        EXPECT_EQ(p->parameter_display(o.index), o.text);
    }
    for (int index = 0; index < 9; ++index)
        for (float v : {1e30f, -1e30f, FLT_MAX, -FLT_MAX, 1e7f, INFINITY, -INFINITY, NAN}) {
            p->set_parameter(index, v);
            char text[64];
            std::memset(text, '#', sizeof text);
            p->dispatch(effGetParamDisplay, index, 0, text);
            ASSERT_TRUE(std::memchr(text, 0, 24) && text[24] == '#' && text[63] == '#') << index << " " << v;
        }
    p->set_parameter(9, 0.9f), p->set_parameter(-1, 0.9f);
    EXPECT_EQ(p->get_parameter(9), 0.0f);
    EXPECT_EQ(p->get_parameter(-1), 0.0f);
}

// Frequency where the impulse response's smooth magnitude crosses target_db
// between lo and hi, by bisection on a log scale.
double crossing(const std::vector<float>& h, double lo, double hi, double target_db)
{
    const bool rising = vsthost::magnitude_db(h, lo, 48000) < target_db;
    for (int i = 0; i < 40; ++i)
        (vsthost::magnitude_db(h, std::sqrt(lo * hi), 48000) < target_db) == rising ? lo = std::sqrt(lo * hi)
                                                                                      : hi = std::sqrt(lo * hi);
    return std::sqrt(lo * hi);
}

// The parameter laws as they reach the sound, measured from the impulse
// response: gains in dB over -20..+20, corner and centre frequencies on a
// logarithmic law (min * (max / min) ^ v), bandwidth in octaves 0.5..2
// between the half-gain points.
TEST(PluginParameters, LawsMeasuredInTheSound)
{
    const struct {
        std::vector<std::pair<int, float>> settings;
        double lo, hi, db, hz;  // where the response crosses db, or its value at lo when hz is 0
    } rows[] = {{{{1, 0.75f}}, 0, 0, 10, 0},                    {{{0, 0.2f}}, 24000, 0, -12, 0},
                {{{3, 0.95f}}, 894.43, 0, 18, 0},               {{{1, 0.8f}, {4, 0.0f}}, 20, 2000, 6, 100},
                {{{1, 0.8f}, {4, 0.3f}}, 20, 2000, 6, 123.1},   {{{1, 0.8f}, {4, 1.0f}}, 20, 2000, 6, 200},
                {{{0, 0.2f}, {5, 0.6f}}, 500, 23000, -6, 6062.9}, {{{0, 0.2f}, {5, 1.0f}}, 500, 23000, -6, 8000},
                {{{3, 0.8f}, {6, 0.0f}}, 894.43, 20000, 6, 894.43 * std::pow(2.0, 0.25)},
                {{{3, 0.8f}, {6, 1.0f}}, 894.43, 20000, 6, 894.43 * 2},
                {{{3, 0.8f}, {2, 0.25f}}, 200 * std::pow(20.0, 0.25), 0, 12, 0}};
    for (const auto& r : rows) {
        auto p = load(48000.0f);
        for (auto [index, value] : r.settings)
            p->set_parameter(index, value);
        process(*p, std::vector<float>(24000, 0.0f));  // the glides end
        std::vector<float> impulse(48000, 0.0f);
        impulse[0] = 1.0f;
        const std::vector<float> h = process(*p, impulse);
        const double measured = r.hz == 0 ? vsthost::magnitude_db(h, r.lo, 48000) - r.db
                                          : crossing(h, r.lo, r.hi, r.db) / r.hz - 1.0;
        EXPECT_NEAR(measured, 0.0, r.hz == 0 ? 0.1 : 0.02) << r.lo << " Hz, " << r.hz << " Hz";
    }
}

// Program names and the factory presets' values as the host shows them;
// selecting a program tells the host its eight values in a fixed order
// (never echoing the host's own changes), edits are recalled, the editor
// size belongs to no program, and a rename keeps 23 characters.
TEST(PluginPrograms, PresetsSelectionRecallAndRenaming)
{
    auto p = load(48000.0f);
    ASSERT_TRUE(p);
    const char* rows[][9] = {
        {"01 User Preset 1", "0.00 dB", "0.00 dB", "894.43 Hz", "0.00 dB", "141.42 Hz", "5656.85 Hz", "1.25 Oct", "In "},
        {"05 Low End Boost", "-4.20 dB", "9.50 dB", "205.00 Hz", "-7.40 dB", "136.36 Hz", "5656.85 Hz", "2.00 Oct", "In "},
        {"06 Presence", "2.11 dB", "5.26 dB", "2492.49 Hz", "5.26 dB", "141.42 Hz", "5656.85 Hz", "2.00 Oct", "In "},
        {"07 Vocal Air", "5.26 dB", "2.10 dB", "3416.53 Hz", "6.32 dB", "141.42 Hz", "5656.85 Hz", "2.00 Oct", "In "},
        {"08 Loudness", "4.21 dB", "6.32 dB", "894.42 Hz", "0.00 dB", "102.00 Hz", "4005.00 Hz", "1.25 Oct", "In "},
        {"09 Hollow Mid", "0.00 dB", "7.36 dB", "515.09 Hz", "-6.32 dB", "141.42 Hz", "5656.85 Hz", "2.00 Oct", "In "}};
    for (int program : {0, 4, 5, 6, 7, 8}) {
        p->dispatch(effSetProgram, 0, program);
        const char* const* row = rows[program == 0 ? 0 : program - 3];
        EXPECT_EQ(p->program_name(program), row[0]);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(p->parameter_display(i), row[i + 1]) << "program " << program << " parameter " << i;
    }
    for (int program : {1, 2, 3})
        EXPECT_EQ(p->program_name(program), "0" + std::to_string(program + 1) + " User Preset " + std::to_string(program + 1));
    p->recorder().clear();
    p->dispatch(effSetProgram, 0, 4);
    const std::vector<vsthost::HostCall> events = p->recorder().calls_of(audioMasterAutomate);
    const int order[8] = {0, 1, 3, 5, 4, 2, 6, 7};
    ASSERT_EQ(events.size(), 8u);
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(events[i].index == order[i] && events[i].opt == p->get_parameter(order[i])) << i;
    p->set_parameter(1, 0.9f), p->set_parameter(8, 0.7f);
    EXPECT_EQ(p->recorder().count_of(audioMasterAutomate), 8u);
    p->dispatch(effSetProgram, 0, 7);
    p->dispatch(effSetProgram, 0, 4);
    EXPECT_EQ(p->parameter_display(1), "16.00 dB");
    EXPECT_EQ(p->get_parameter(8), 0.7f);
    char name[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234", text[64];
    p->dispatch(effSetProgramName, 0, 0, name);
    std::memset(text, '#', sizeof text);
    p->dispatch(effGetProgramName, 0, 0, text);
    EXPECT_STREQ(text, "ABCDEFGHIJKLMNOPQRSTUVW");
    EXPECT_EQ(text[24], '#');
    EXPECT_EQ(p->program_name(3), "04 User Preset 4");
}

} // namespace
