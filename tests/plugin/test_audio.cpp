// Audio through processReplacing: chunks of at most 64 frames, in-place and
// separate buffers, calls that must do nothing, the host's bypass together
// with "Effect", suspend and stop clearing the filters but not the settings,
// sample rates taken and refused, and abuse: every band at its extremes at
// every rate from 8 to 768 kHz under full-scale squares, denormals, NaN and
// infinities, and parameter values a host should never send.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "tests/support/support.h"
#include "tools/host/response.h"

using namespace test_support;

namespace {

bool identical(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// A fresh instance whose LF gain just moved from 0 to +20 dB: every chunk
// boundary changes the sound while the glide runs.
std::vector<float> gliding(const std::vector<float>& in, const std::vector<int>& calls)
{
    auto p = load(48000.0f);
    p->set_parameter(1, 1.0f);
    return process(*p, in, {}, calls);
}

TEST(PluginAudio, CallsAreCutIntoChunksOfSixtyFour)
{
    const std::vector<float> in = noise(300, 7), first(in.begin(), in.begin() + 128);
    EXPECT_TRUE(identical(gliding(in, {150}), gliding(in, {64, 64, 22})));
    EXPECT_FALSE(identical(gliding(in, {150}), gliding(in, {75})));
    EXPECT_FALSE(identical(gliding(first, {64}), gliding(first, {32})));
}

// In place equals separate buffers; no frames, a negative count or a null
// channel pointer process nothing and change nothing.
TEST(PluginAudio, BuffersInPlaceAndCallsThatDoNothing)
{
    auto a = load(48000.0f), b = load(48000.0f);
    a->dispatch(effSetProgram, 0, 6), b->dispatch(effSetProgram, 0, 6);
    std::vector<float> l = noise(3000, 11), r = noise(3000, 12), io_l = l, io_r = r, sentinel(64, -7.0f);
    float* io[2] = {io_l.data(), io_r.data()};
    float* ins[2] = {l.data(), r.data()};
    float* outs[2] = {sentinel.data(), sentinel.data()};
    float* half[2] = {l.data(), nullptr};
    b->process(ins, outs, 0), b->process(ins, outs, -5), b->process(nullptr, outs, 64), b->process(ins, nullptr, 64);
    b->process(half, outs, 64), b->process(ins, half, 64);
    EXPECT_EQ(sentinel, std::vector<float>(64, -7.0f));
    std::vector<float> out_r;
    const std::vector<float> out_l = process(*a, l, r, {1, 63, 64, 65, 200, 512, 95, 2000}, &out_r);
    for (size_t pos = 0, k = 0, calls[] = {1, 63, 64, 65, 200, 512, 95, 2000}; k < 8; pos += calls[k++]) {
        float* at[2] = {io[0] + pos, io[1] + pos};
        b->process(at, at, static_cast<VstInt32>(calls[k]));
    }
    EXPECT_TRUE(identical(out_l, io_l) && identical(out_r, io_r));
    EXPECT_FALSE(identical(out_l, l));
}

// The host's bypass and "Effect" must both be on for the equaliser to be
// heard; after the 20 ms crossfade the output is the input bit for bit.
// Neither switch moves the other. Switched out before the start, the
// plug-in is the input bit for bit from the first frame.
TEST(PluginAudio, HostBypassAndEffectMustBothBeOn)
{
    auto cold = load();
    cold->set_parameter(1, 1.0f), cold->set_parameter(7, 0.0f);
    cold->start(48000.0f, 512);
    const std::vector<float> low = noise(4000, 3);
    EXPECT_TRUE(identical(process(*cold, low), low)) << "Effect out from the start still let the EQ through";

    auto p = load(48000.0f);
    p->set_parameter(1, 0.8f);
    const std::vector<float> in = noise(6000, 5);
    auto dry = [&] {
        const std::vector<float> out = process(*p, in);
        return std::equal(in.begin() + 2000, in.end(), out.begin() + 2000);
    };
    const struct {
        VstIntPtr bypass;
        float effect;
        bool dry;
    } steps[] = {{0, 1.0f, false}, {1, 1.0f, true}, {0, 1.0f, false}, {0, 0.5f, true}, {1, 0.5f, true}, {0, 0.5f, true}};
    for (const auto& s : steps) {
        EXPECT_EQ(p->dispatch(effSetBypass, 0, s.bypass), 1);
        p->set_parameter(7, s.effect);
        EXPECT_EQ(dry(), s.dry) << "bypass " << s.bypass << ", Effect " << s.effect;
        EXPECT_EQ(p->get_parameter(7), s.effect);
    }
}

// Suspend (mains off and on) and stop clear the filters' memories: the tail
// of a loud signal stops at once, while the settings stay.
TEST(PluginAudio, SuspendAndStopClearTheFiltersButKeepTheSettings)
{
    auto p = load(48000.0f);
    p->set_parameter(1, 0.8f);
    const std::vector<float> loud = noise(4000, 9), silence(512, 0.0f);
    process(*p, loud);
    EXPECT_NE(process(*p, silence), silence) << "without a suspend the filters ring on";
    for (VstInt32 op : {effMainsChanged, effStopProcess}) {
        process(*p, loud);
        p->dispatch(op, 0, 0), p->dispatch(op == effMainsChanged ? effMainsChanged : effStartProcess, 0, 1);
        EXPECT_EQ(process(*p, silence), silence) << "opcode " << op;
    }
    std::vector<float> impulse(24000, 0.0f);
    impulse[0] = 1.0f;
    EXPECT_NEAR(vsthost::magnitude_db(process(*p, impulse), 0.0, 48000), 12.0, 0.05);
}

// A new rate redesigns the bands (the mid boost stays at 894 Hz); a rate
// outside 8 to 768 kHz, or none at all, is ignored: the audio stays that of
// the rate in force, bit for bit.
TEST(PluginAudio, SampleRatesTakenAndRefused)
{
    auto p = load(48000.0f);
    p->set_parameter(3, 0.8f);
    p->dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    std::vector<float> impulse(96000, 0.0f);
    impulse[0] = 1.0f;
    process(*p, std::vector<float>(48000, 0.0f));
    EXPECT_NEAR(vsthost::magnitude_db(process(*p, impulse), 894.43, 96000.0), 12.0, 0.1);
    const std::vector<float> in = noise(4096, 21);
    for (float bad : {0.0f, -0.0f, -48000.0f, INFINITY, NAN, std::numeric_limits<float>::denorm_min(), 1.0f,
                      7999.0f, 768001.0f, FLT_MAX}) {
        auto a = load(48000.0f), b = load(48000.0f);
        a->set_parameter(0, 0.9f), b->set_parameter(0, 0.9f);
        EXPECT_EQ(a->dispatch(effSetSampleRate, 0, 0, nullptr, bad), 0);
        EXPECT_TRUE(identical(process(*a, in), process(*b, in))) << bad;
    }
}

// Output sample i is bad when the input was finite from 64 frames before it
// on and the output is not finite, beyond 1e4 (three +20 dB bands add 60 dB)
// or subnormal.
long bad_outputs(const std::vector<float>& in_l, const std::vector<float>& in_r, const std::vector<float>& out_l,
                 const std::vector<float>& out_r)
{
    long bad = 0, last_bad_input = -1000;
    for (size_t i = 0; i < in_l.size(); ++i) {
        if (!std::isfinite(in_l[i]) || !std::isfinite(in_r[i]))
            last_bad_input = static_cast<long>(i);
        for (float y : {out_l[i], out_r[i]})
            bad += static_cast<long>(i) - last_bad_input > 64 &&
                   !(std::isfinite(y) && std::fabs(y) <= 1e4f && std::fpclassify(y) != FP_SUBNORMAL);
    }
    return bad;
}

// Every rate the plug-in accepts, every band at its ends (128 settings, each
// gliding from the last while the programme plays): full-scale squares at
// Nyquist and at 100 Hz, denormals, bursts of NaN and infinities. The output
// stays finite and bounded, recovers within a chunk, is never subnormal;
// suspended, subnormal input gives exact zeros.
TEST(PluginAbuse, EveryRateEveryExtremeSetting)
{
    for (float rate : {8000.0f, 22050.0f, 44100.0f, 96000.0f, 384000.0f, 768000.0f}) {
        auto p = load(rate);
        std::vector<float> l, r;
        auto add = [&](std::vector<float> a, std::vector<float> b) {
            l.insert(l.end(), a.begin(), a.end()), r.insert(r.end(), b.begin(), b.end());
        };
        auto square = [](int period) {
            std::vector<float> v(2048);
            for (size_t i = 0; i < v.size(); ++i)
                v[i] = static_cast<int>(i) % period < period / 2 ? 1.0f : -1.0f;
            return v;
        };
        std::vector<float> tiny(777);
        for (size_t i = 0; i < tiny.size(); ++i)
            tiny[i] = (i % 2 ? -1.0f : 1.0f) * std::numeric_limits<float>::denorm_min() * static_cast<float>(1 + i * 7919 % 8000000);
        add(square(2), square(std::max(2, static_cast<int>(rate / 100))));
        add(tiny, tiny);
        for (auto [bad_l, bad_r] : {std::pair<float, float>{NAN, NAN}, {INFINITY, -INFINITY}, {NAN, 0.25f}}) {
            std::vector<float> a = noise(1000, 7), b = noise(1000, 8);
            std::fill(a.begin() + 300, a.begin() + 413, bad_l), std::fill(b.begin() + 300, b.begin() + 413, bad_r);
            add(a, b);
        }
        add(square(std::max(2, static_cast<int>(rate / 100))), square(2));
        for (int setting = 0; setting < 128; ++setting) {
            const int gray = setting ^ (setting >> 1);
            for (int b = 0; b < 7; ++b)
                p->set_parameter(b, static_cast<float>((gray >> b) & 1));
            std::vector<float> out_r, out_l = process(*p, l, r, {512}, &out_r);
            ASSERT_EQ(bad_outputs(l, r, out_l, out_r), 0) << "rate " << rate << ", setting " << gray;
            p->dispatch(effMainsChanged, 0, 0), p->dispatch(effMainsChanged, 0, 1);
            out_l = process(*p, tiny, tiny, {512}, &out_r);
            ASSERT_TRUE(std::all_of(out_l.begin(), out_l.end(), [](float y) { return y == 0.0f; })) << rate;
        }
    }
}

// NaN and infinities change nothing; values outside 0..1 are stored as
// given, but the sound is that of the nearest end, bit for bit.
TEST(PluginAbuse, ParameterValuesOutsideTheHostRange)
{
    const std::vector<float> in = noise(4096, 2);
    for (int index = 0; index < 7; ++index) {
        auto p = load(48000.0f);
        p->set_parameter(index, 0.75f);
        for (float v : {NAN, INFINITY, -INFINITY}) {
            p->set_parameter(index, v);
            EXPECT_EQ(p->get_parameter(index), 0.75f);
        }
        for (float v : {3.0f, -2.0f, FLT_MAX, -FLT_MAX}) {
            auto a = load(48000.0f), b = load(48000.0f);
            a->set_parameter(index, v), b->set_parameter(index, v > 0 ? 1.0f : 0.0f);
            EXPECT_EQ(a->get_parameter(index), v);
            EXPECT_TRUE(identical(process(*a, in), process(*b, in))) << "index " << index << " value " << v;
        }
    }
}

} // namespace
