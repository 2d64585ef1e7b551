// Ardour's calls, in Ardour's order, through our own host library: so the
// order Ardour 7 uses keeps working where Ardour is not installed.
//
// ardour7_calls.txt holds the calls Debian 12's Ardour 7.3 makes, with the
// plug-in's answers, recorded by ardour_call_order.sh through
// call_logger.cpp (that test also checks that Ardour still makes them).
// RecordedCallsGetTheRecordedAnswers replays the file call by call; the
// other cases follow the same orders and listen to the audio in between:
//  - its VST scanner: open, VST version, effect name, vendor, category,
//    three "receive" and three "send" canDo queries, mains off, close;
//  - inserting a new instance: open, VST version, sample rate, block size,
//    can-be-automated for every parameter, then for each parameter its
//    properties (refused, so Ardour falls back to the name and 0..1), name,
//    value and name again, canDo "bypass" (answered yes: Ardour emulates a
//    bypass control and clears the plug-in's bypass), mains on, then
//    processing in blocks of the engine's size; the VST version and the
//    program names when Ardour first lists the presets; a preset is a
//    program change between begin-set- and end-set-program, made from the
//    process thread;
//  - restoring a saved session (ardour7-export; the Lua tool reads each
//    value before and after setting it): as above without reading the
//    values, then the saved values of parameters 0 to 6, bypass off, mains
//    on, all nine values again, the program names, processing; a session
//    saved with the state chunk instead selects the saved program and hands
//    the chunk back (replayed in RecordedCallsGetTheRecordedAnswers).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tools/host/vst_host.h"

namespace {

using vsthost::VstPlugin;

constexpr float kRate = 48000.0f;
constexpr VstInt32 kBlock = 1024;  // Ardour's engine period with its Dummy backend
constexpr int kParams = 9;

const char* const kNames[kParams] = {"HF dB", "LF dB", "Mid Hz", "Mid dB", "LF Hz",
                                     "HF Hz", "Mid BW", "Effect", "UI Size"};
const float kDefaults[kParams] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 1.0f, 0.0f};
const char* const kPrograms[kParams] = {"01 User Preset 1", "02 User Preset 2",
                                        "03 User Preset 3", "04 User Preset 4",
                                        "05 Low End Boost", "06 Presence",
                                        "07 Vocal Air",     "08 Loudness",
                                        "09 Hollow Mid"};

std::unique_ptr<VstPlugin> load()
{
    std::string error;
    std::unique_ptr<VstPlugin> p = VstPlugin::load(ZE710_PLUGIN_PATH, &error);
    EXPECT_TRUE(p) << error;
    return p;
}

VstIntPtr can_do(VstPlugin& p, const char* what)
{
    return p.dispatch(effCanDo, 0, 0, const_cast<char*>(what));
}

// Stereo test signal, one vector a channel.
struct Stereo {
    std::vector<float> l, r;
    size_t size() const { return l.size(); }
};

Stereo noise(size_t frames, uint32_t seed)
{
    Stereo s{std::vector<float>(frames), std::vector<float>(frames)};
    uint32_t x = seed;
    auto next = [&x] {
        x = x * 1664525u + 1013904223u;
        return static_cast<float>(x >> 8) / 16777216.0f - 0.5f;
    };
    for (size_t i = 0; i < frames; ++i) {
        s.l[i] = 0.5f * next();
        s.r[i] = 0.5f * next();
    }
    return s;
}

Stereo sine(size_t frames, double hz)
{
    Stereo s{std::vector<float>(frames), std::vector<float>(frames)};
    for (size_t i = 0; i < frames; ++i)
        s.l[i] = s.r[i] = static_cast<float>(0.25 * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / kRate));
    return s;
}

// Runs the signal through in Ardour's block size, returns the output.
Stereo run(VstPlugin& p, const Stereo& in)
{
    Stereo out{std::vector<float>(in.size()), std::vector<float>(in.size())};
    for (size_t pos = 0; pos < in.size(); pos += kBlock) {
        const VstInt32 n = static_cast<VstInt32>(std::min<size_t>(kBlock, in.size() - pos));
        float* ins[2] = {const_cast<float*>(&in.l[pos]), const_cast<float*>(&in.r[pos])};
        float* outs[2] = {&out.l[pos], &out.r[pos]};
        p.process(ins, outs, n);
    }
    return out;
}

// Level of `out` over `in`, both channels, from frame `from` on (after glides).
double gain_db(const Stereo& in, const Stereo& out, size_t from)
{
    double pi = 0.0, po = 0.0;
    for (size_t i = from; i < in.size(); ++i) {
        pi += double(in.l[i]) * in.l[i] + double(in.r[i]) * in.r[i];
        po += double(out.l[i]) * out.l[i] + double(out.r[i]) * out.r[i];
    }
    return 10.0 * std::log10(po / pi);
}

bool identical(const Stereo& a, const Stereo& b)
{
    return a.size() == b.size() && std::memcmp(a.l.data(), b.l.data(), a.size() * sizeof(float)) == 0 &&
           std::memcmp(a.r.data(), b.r.data(), a.size() * sizeof(float)) == 0;
}

// The part of Ardour's start-up shared by a new insert and a restore, up to
// and including the bypass handshake; `read_values` as for a new insert.
void ardour_setup(VstPlugin& p, bool read_values)
{
    EXPECT_EQ(p.dispatch(effGetVstVersion), 2400);
    p.dispatch(effSetSampleRate, 0, 0, nullptr, kRate);
    p.dispatch(effSetBlockSize, 0, kBlock);
    for (int i = 0; i < kParams; ++i)
        EXPECT_EQ(p.dispatch(effCanBeAutomated, i), 1) << "parameter " << i;
    for (int i = 0; i < kParams; ++i) {
        // Refused properties make Ardour fall back to the name and 0..1.
        unsigned char properties[256] = {};
        EXPECT_EQ(p.dispatch(effGetParameterProperties, i, 0, properties), 0) << "parameter " << i;
        EXPECT_EQ(p.parameter_name(i), kNames[i]);
        if (read_values) {
            EXPECT_FLOAT_EQ(p.get_parameter(i), kDefaults[i]) << kNames[i];
        }
        EXPECT_EQ(p.parameter_name(i), kNames[i]);
    }
    EXPECT_EQ(can_do(p, "bypass"), 1);
    EXPECT_EQ(p.dispatch(effSetBypass, 0, 0), 1);
}

void ardour_preset_list(VstPlugin& p)
{
    EXPECT_EQ(p.dispatch(effGetVstVersion), 2400);
    for (int i = 0; i < kParams; ++i)
        EXPECT_EQ(p.program_name(i), kPrograms[i]);
}

TEST(ArdourOrder, ScannerQueriesAnswerTheIdentityAndNoMidi)
{
    std::unique_ptr<VstPlugin> p = load();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(p->effect_name(), "ZE710");
    EXPECT_EQ(p->vendor_string(), "Kestrelwood");
    EXPECT_EQ(p->dispatch(effGetPlugCategory), 0);  // "Unknown" in Ardour's cache
    for (const char* q : {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstMidiEvents"})
        EXPECT_EQ(can_do(*p, q), 0) << q;
    EXPECT_EQ(p->dispatch(effGetVstVersion), 2400);
    for (const char* q : {"sendVstEvents", "sendVstMidiEvent", "sendVstMidiEvents"})
        EXPECT_EQ(can_do(*p, q), 0) << q;
    // What the scanner reads from the record itself.
    const AEffect* e = p->effect();
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->uniqueID, 0x5A453731);
    EXPECT_EQ(e->flags & (effFlagsHasEditor | effFlagsCanReplacing | effFlagsIsSynth),
              effFlagsHasEditor | effFlagsCanReplacing);
    p->dispatch(effMainsChanged, 0, 0);
    // effClose by the destructor.
}

TEST(ArdourOrder, NewInsertPassesAudioAtTheDefaultsAndTakesAPresetFromTheProcessThread)
{
    std::unique_ptr<VstPlugin> p = load();
    ASSERT_TRUE(p);
    ardour_setup(*p, true);
    p->dispatch(effMainsChanged, 0, 1);
    ardour_preset_list(*p);

    // At the defaults the signal passes at its level, bypass handshake and all.
    const Stereo in = noise(48 * kBlock, 11);
    EXPECT_NEAR(gain_db(in, run(*p, in), 0), 0.0, 0.1);

    // A preset: Ardour's process thread changes the program between
    // begin- and end-set-program and learns the new values from the
    // automation callbacks.
    p->recorder().clear();
    EXPECT_EQ(p->dispatch(effBeginSetProgram), 0);
    EXPECT_EQ(p->dispatch(effSetProgram, 0, 4), 1);
    EXPECT_EQ(p->dispatch(effEndSetProgram), 0);
    EXPECT_EQ(p->dispatch(effGetProgram), 4);
    EXPECT_EQ(p->recorder().count_of(audioMasterAutomate), 8u);
    EXPECT_FLOAT_EQ(p->get_parameter(1), 0.7375f);  // "LF dB" +9.50 dB
    EXPECT_FLOAT_EQ(p->get_parameter(3), 0.315f);   // "Mid dB" -7.40 dB

    // "05 Low End Boost": a low shelf of +9.50 dB at 136 Hz and a mid band
    // of -7.40 dB at 205 Hz, two octaves wide. Sines after a second of glide.
    const size_t settle = static_cast<size_t>(kRate);
    const Stereo low = sine(2 * settle, 30.0);
    const double low_db = gain_db(low, run(*p, low), settle);
    EXPECT_GT(low_db, 6.0);
    EXPECT_LT(low_db, 11.0);
    const Stereo mid = sine(2 * settle, 250.0);
    EXPECT_LT(gain_db(mid, run(*p, mid), settle), -3.0);
}

TEST(ArdourOrder, PresetThroughBeginAndEndSetProgramSoundsLikeAPlainProgramChange)
{
    std::unique_ptr<VstPlugin> ardour = load(), plain = load();
    ASSERT_TRUE(ardour && plain);
    ardour_setup(*ardour, true);
    ardour->dispatch(effMainsChanged, 0, 1);
    ardour_preset_list(*ardour);
    plain->start(kRate, kBlock);

    const Stereo in = noise(24 * kBlock, 5);
    ASSERT_TRUE(identical(run(*ardour, in), run(*plain, in)));
    ardour->dispatch(effBeginSetProgram);
    ardour->dispatch(effSetProgram, 0, 4);
    ardour->dispatch(effEndSetProgram);
    plain->dispatch(effSetProgram, 0, 4);
    EXPECT_TRUE(identical(run(*ardour, in), run(*plain, in)));
}

TEST(ArdourOrder, RestoredSessionKeepsItsValuesAndTheEffectSwitchOverTheBypassHandshake)
{
    // A saved session with both shelves at +20 dB but "Effect" Out and a
    // larger editor: Ardour restores 0 to 6, clears the bypass again (the
    // equaliser must stay out: "Effect" is off), switches on, then sets all.
    const float saved[kParams] = {1.0f, 1.0f, 0.3f, 0.65f, 0.8f, 0.2f, 0.35f, 0.0f, 0.75f};
    std::unique_ptr<VstPlugin> p = load();
    ASSERT_TRUE(p);
    ardour_setup(*p, false);
    for (int i = 0; i <= 6; ++i)
        p->set_parameter(i, saved[i]);
    EXPECT_EQ(p->dispatch(effSetBypass, 0, 0), 1);
    p->dispatch(effMainsChanged, 0, 1);
    for (int i = 0; i < kParams; ++i)
        p->set_parameter(i, saved[i]);
    ardour_preset_list(*p);

    for (int i = 0; i < kParams; ++i)
        EXPECT_FLOAT_EQ(p->get_parameter(i), saved[i]) << kNames[i];
    EXPECT_EQ(p->parameter_display(7), "Out");
    EXPECT_EQ(p->parameter_display(8), "X 1.75");
    EXPECT_EQ(p->parameter_display(0), "20.00 dB");

    // "Effect" Out: the +20 dB shelves are not heard (after the crossfade).
    const Stereo in = noise(48 * kBlock, 23);
    EXPECT_NEAR(gain_db(in, run(*p, in), 24 * kBlock), 0.0, 0.1);
    // Switched in through the parameter, as Ardour's control does it.
    p->set_parameter(7, 1.0f);
    const Stereo more = noise(48 * kBlock, 29);
    EXPECT_GT(gain_db(more, run(*p, more), 24 * kBlock), 6.0);
}

}  // namespace

namespace {

// One line of ardour7_calls.txt.
struct RecordedCall {
    int line = 0;
    std::string kind;  // "main", "dispatch", "setParameter", "getParameter"
    VstInt32 opcode = 0, index = 0;
    VstIntPtr value = 0, result = 0;
    float opt = 0.0f, number = 0.0f;  // number: the parameter value
    bool has_ask = false, has_text = false;
    std::string ask, text;
};

// The quoted text after `marker` in `line`, if there is one.
bool quoted_after(const std::string& line, const std::string& marker, std::string* out)
{
    const size_t at = line.find(marker);
    if (at == std::string::npos)
        return false;
    const size_t open = at + marker.size();
    const size_t close = line.rfind('"');
    if (close == std::string::npos || close < open)
        return false;
    *out = line.substr(open, close - open);
    return true;
}

std::vector<RecordedCall> read_recorded_calls(const char* path)
{
    std::vector<RecordedCall> calls;
    FILE* f = std::fopen(path, "r");
    EXPECT_NE(f, nullptr) << path;
    if (!f)
        return calls;
    char buf[1024];
    for (int n = 1; std::fgets(buf, sizeof buf, f); ++n) {
        std::string line = buf;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        RecordedCall c;
        c.line = n;
        long value = 0, result = 0;
        if (line == "main") {
            c.kind = "main";
        } else if (std::sscanf(line.c_str(), "dispatch %d index=%d value=%ld opt=%f = %ld", &c.opcode,
                               &c.index, &value, &c.opt, &result) == 5) {
            c.kind = "dispatch";
            c.value = value;
            c.result = result;
            c.has_ask = quoted_after(line, " ask \"", &c.ask);
            c.has_text = quoted_after(line, " -> \"", &c.text);
        } else if (std::sscanf(line.c_str(), "setParameter %d %f", &c.index, &c.number) == 2) {
            c.kind = "setParameter";
        } else if (std::sscanf(line.c_str(), "getParameter %d = %f", &c.index, &c.number) == 2) {
            c.kind = "getParameter";
        } else {
            ADD_FAILURE() << path << ":" << n << ": cannot read '" << line << "'";
            continue;
        }
        calls.push_back(c);
    }
    std::fclose(f);
    return calls;
}

TEST(ArdourOrder, RecordedCallsGetTheRecordedAnswers)
{
    const std::vector<RecordedCall> calls = read_recorded_calls(ZE710_ARDOUR_CALLS);
    ASSERT_GT(calls.size(), 100u);
    std::unique_ptr<VstPlugin> p;
    bool opened_by_load = false;
    int instances = 0;
    std::vector<char> saved_chunk;
    for (const RecordedCall& c : calls) {
        SCOPED_TRACE("ardour7_calls.txt:" + std::to_string(c.line));
        if (c.kind == "main") {
            p.reset();
            p = load();
            ASSERT_TRUE(p);
            opened_by_load = true;  // our loader sends effOpen itself
            ++instances;
            continue;
        }
        ASSERT_TRUE(p) << "a call before main";
        if (c.kind == "setParameter") {
            p->set_parameter(c.index, c.number);
        } else if (c.kind == "getParameter") {
            EXPECT_EQ(p->get_parameter(c.index), c.number) << "parameter " << c.index;
        } else if (c.opcode == effOpen && opened_by_load) {
            opened_by_load = false;
        } else if (c.opcode == effClose) {
            p.reset();  // the host library's destructor sends effClose
        } else {
            char buffer[512] = {};
            void* ptr = nullptr;
            void* chunk = nullptr;
            if (c.opcode == effGetChunk) {
                ptr = &chunk;
            } else if (c.opcode == effSetChunk) {
                ptr = saved_chunk.data();  // the chunk the last save took
            } else if (c.has_ask) {
                std::strncpy(buffer, c.ask.c_str(), sizeof buffer - 1);
                ptr = buffer;
            } else if (c.has_text || c.opcode == effGetParameterProperties) {
                ptr = buffer;
            }
            const VstIntPtr result = p->dispatch(c.opcode, c.index, c.value, ptr, c.opt);
            EXPECT_EQ(result, c.result) << "opcode " << c.opcode << " index " << c.index;
            if (chunk && result > 0)
                saved_chunk.assign(static_cast<char*>(chunk), static_cast<char*>(chunk) + result);
            if (c.has_text) {
                EXPECT_STREQ(buffer, c.text.c_str()) << "opcode " << c.opcode << " index " << c.index;
            }
        }
    }
    EXPECT_EQ(instances, 3);  // scan, new session, reopened snapshot
}

}  // namespace
