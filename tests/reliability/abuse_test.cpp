// Audio under abuse, through the entry point: full-scale square waves,
// denormals, NaN and infinities at every standard rate from 8 kHz to 384 kHz
// (and the two above it that the plug-in accepts, 705.6 and 768 kHz),
// with every band at its extremes (each gain and frequency at 0 or 1, the
// bandwidth at both ends: 128 settings per rate). The output stays finite and
// bounded for finite input, and after non-finite input it is finite again at
// most one 64-frame chunk after the last bad sample. No output sample is ever
// subnormal, and subnormal input into cleared filters gives exact zeros.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tools/host/vst_host.h"

namespace {

// The standard rates, and the two highest the plug-in accepts.
constexpr float kRates[] = {8000.0f,   11025.0f,  16000.0f,  22050.0f,  32000.0f,
                            44100.0f,  48000.0f,  88200.0f,  96000.0f,  176400.0f,
                            192000.0f, 352800.0f, 384000.0f, 705600.0f, 768000.0f};
constexpr int kNumRates = sizeof kRates / sizeof kRates[0];
// The seven continuous parameters: HF dB, LF dB, Mid Hz, Mid dB, LF Hz, HF Hz, Mid BW.
constexpr int kContinuous[] = {0, 1, 2, 3, 4, 5, 6};
constexpr int kEffect = 7;
constexpr int kSettings = 1 << 7;
constexpr int kHostBlock = 512;
constexpr long kRecoveryFrames = 64;  // one chunk
// Three bands at +20 dB each stack to at most 60 dB; a square wave's ringing
// adds a little. Anything past this is a filter running away.
constexpr float kBound = 1e4f;

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

std::unique_ptr<vsthost::VstPlugin> load()
{
    std::string error;
    auto p = vsthost::VstPlugin::load(ZE710_PLUGIN_PATH, &error);
    EXPECT_TRUE(p) << error;
    return p;
}

// Full-scale square wave with the given period in frames (2: Nyquist).
std::vector<float> square(size_t n, int period)
{
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = (static_cast<int>(i % static_cast<size_t>(period)) < period / 2) ? 1.0f : -1.0f;
    return v;
}

// Subnormal floats of both signs, down to the smallest one.
std::vector<float> denormals(size_t n)
{
    std::vector<float> v(n);
    const float smallest = std::numeric_limits<float>::denorm_min();
    for (size_t i = 0; i < n; ++i)
        v[i] = (i % 2 ? -1.0f : 1.0f) * smallest * static_cast<float>(1 + (i * 7919) % 8000000);
    return v;
}

std::vector<float> noise(size_t n, uint32_t seed)
{
    std::vector<float> v(n);
    for (float& s : v) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
    }
    return v;
}

struct Outcome {
    long frames = 0;
    long bad_for_finite_input = 0;  // non-finite, subnormal or beyond kBound where the input was finite
    long first_bad = -1;
    float peak = 0.0f;
};

// Runs the two channels through processReplacing in host blocks; output frame i
// counts as bad when the input was finite from frame i - kRecoveryFrames on
// (on both channels) and the output is not finite or not bounded.
Outcome run(vsthost::VstPlugin& p, const std::vector<float>& in_l, const std::vector<float>& in_r)
{
    Outcome o;
    const size_t n = in_l.size();
    std::vector<float> out_l(n), out_r(n);
    for (size_t pos = 0; pos < n; pos += kHostBlock) {
        const int frames = static_cast<int>(std::min<size_t>(kHostBlock, n - pos));
        float* ins[2] = {const_cast<float*>(&in_l[pos]), const_cast<float*>(&in_r[pos])};
        float* outs[2] = {&out_l[pos], &out_r[pos]};
        p.process(ins, outs, frames);
    }
    long last_non_finite_input = -1000000;
    for (size_t i = 0; i < n; ++i) {
        if (!std::isfinite(in_l[i]) || !std::isfinite(in_r[i]))
            last_non_finite_input = static_cast<long>(i);
        if (static_cast<long>(i) - last_non_finite_input <= kRecoveryFrames)
            continue;
        for (float y : {out_l[i], out_r[i]}) {
            // Subnormal output would slow down whatever the host runs next.
            const bool ok = std::isfinite(y) && std::fabs(y) <= kBound && std::fpclassify(y) != FP_SUBNORMAL;
            if (!ok && o.first_bad < 0)
                o.first_bad = static_cast<long>(i);
            o.bad_for_finite_input += !ok;
            if (std::isfinite(y))
                o.peak = std::max(o.peak, std::fabs(y));
        }
    }
    o.frames = static_cast<long>(n);
    return o;
}

std::string setting_text(int setting)
{
    static const char* const names[] = {"HF dB", "LF dB", "Mid Hz", "Mid dB", "LF Hz", "HF Hz", "Mid BW"};
    std::string s;
    for (int b = 0; b < 7; ++b)
        s += std::string(names[b]) + "=" + ((setting >> b) & 1 ? "1 " : "0 ");
    return s;
}

void apply_setting(vsthost::VstPlugin& p, int setting)
{
    for (int b = 0; b < 7; ++b)
        p.set_parameter(kContinuous[b], static_cast<float>((setting >> b) & 1));
    p.set_parameter(kEffect, 1.0f);
}

// The abuse programme: square waves, denormals, then NaN, +inf, -inf and a
// mixed burst, each followed by finite audio, then square waves again.
struct Programme {
    std::vector<float> l, r;
    void append(const std::vector<float>& a, const std::vector<float>& b)
    {
        l.insert(l.end(), a.begin(), a.end());
        r.insert(r.end(), b.begin(), b.end());
    }
};

Programme abuse_programme(float rate)
{
    Programme p;
    const int low_period = std::max(2, static_cast<int>(rate / 100.0f));  // 100 Hz
    p.append(square(2048, 2), square(2048, 2));
    p.append(square(2048, low_period), square(2048, 3));
    p.append(denormals(777), denormals(777));
    const float bad_values[][2] = {{kNaN, kNaN}, {kInf, kInf}, {-kInf, -kInf}, {kNaN, 0.25f}, {0.5f, -kInf}};
    for (const auto& bad : bad_values) {
        std::vector<float> l = noise(1000, 7), r = noise(1000, 8);
        // A burst that starts and ends inside a chunk and a host block.
        for (int i = 300; i < 413; ++i) {
            l[static_cast<size_t>(i)] = bad[0];
            r[static_cast<size_t>(i)] = bad[1];
        }
        p.append(l, r);
    }
    // A single bad sample right at a block end.
    std::vector<float> l = noise(1024, 9), r = noise(1024, 10);
    l[511] = kNaN;
    p.append(l, r);
    p.append(square(2048, low_period), square(2048, 2));
    return p;
}

}  // namespace

TEST(AudioAbuse, EveryRateEveryExtremeSettingStaysFiniteAndRecovers)
{
    long configurations = 0, frames = 0, failures = 0;
    float loudest = 0.0f;
    for (float rate : kRates) {
        auto p = load();
        ASSERT_TRUE(p);
        p->start(rate, kHostBlock);
        const Programme programme = abuse_programme(rate);
        for (int setting = 0; setting < kSettings; ++setting) {
            // Parameters first, then the rate: the engine settles on the
            // setting at once instead of gliding to it.
            apply_setting(*p, setting);
            p->dispatch(effSetSampleRate, 0, 0, nullptr, rate);
            Outcome o = run(*p, programme.l, programme.r);
            // Suspended and resumed (filters cleared), subnormal input is
            // silence, exactly.
            p->dispatch(effMainsChanged, 0, 0);
            p->dispatch(effMainsChanged, 0, 1);
            const std::vector<float> tiny = denormals(300);
            std::vector<float> quiet_l(tiny.size(), 1.0f), quiet_r(tiny.size(), 1.0f);
            float* ins[2] = {const_cast<float*>(tiny.data()), const_cast<float*>(tiny.data())};
            float* outs[2] = {quiet_l.data(), quiet_r.data()};
            p->process(ins, outs, static_cast<VstInt32>(tiny.size()));
            for (size_t i = 0; i < tiny.size(); ++i)
                o.bad_for_finite_input += (quiet_l[i] != 0.0f) + (quiet_r[i] != 0.0f);
            ++configurations;
            frames += o.frames;
            loudest = std::max(loudest, o.peak);
            if (o.bad_for_finite_input > 0 && ++failures <= 10)
                ADD_FAILURE() << "rate " << rate << ", " << setting_text(setting) << ": "
                              << o.bad_for_finite_input << " bad output samples, the first at frame "
                              << o.first_bad;
        }
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(configurations, kNumRates * kSettings);
    std::printf("%ld configurations, %ld frames each channel, loudest finite output %.1f\n", configurations,
                frames, static_cast<double>(loudest));
}

// The same extremes reached by gliding while a full-scale square wave plays:
// every coefficient ramp between opposite corners stays stable.
TEST(AudioAbuse, GlidingBetweenExtremesWhileFullScaleSquaresPlay)
{
    for (float rate : kRates) {
        auto p = load();
        ASSERT_TRUE(p);
        p->start(rate, kHostBlock);
        const int low_period = std::max(2, static_cast<int>(rate / 100.0f));
        const std::vector<float> l = square(8192, 2), r = square(8192, low_period);
        long bad = 0;
        // Gray-code order: each step flips one parameter between its ends, and
        // every setting is followed by its complement once.
        for (int step = 0; step < kSettings; ++step) {
            const int gray = step ^ (step >> 1);
            apply_setting(*p, gray);
            bad += run(*p, l, r).bad_for_finite_input;
            apply_setting(*p, ~gray & (kSettings - 1));
            bad += run(*p, l, r).bad_for_finite_input;
        }
        EXPECT_EQ(bad, 0) << "rate " << rate;
    }
}

// The host's bypass and the "Effect" switch toggled in the middle of non-finite
// bursts: the crossfade and the reset on leaving bypass recover as well.
TEST(AudioAbuse, NonFiniteInputAcrossBypassTransitions)
{
    for (float rate : {8000.0f, 48000.0f, 384000.0f}) {
        auto p = load();
        ASSERT_TRUE(p);
        p->start(rate, kHostBlock);
        apply_setting(*p, kSettings - 1);
        std::vector<float> l = noise(4096, 3), r = noise(4096, 4);
        for (int i = 1000; i < 1100; ++i)
            l[static_cast<size_t>(i)] = r[static_cast<size_t>(i)] = kNaN;
        long bad = 0;
        for (int round = 0; round < 8; ++round) {
            p->dispatch(effSetBypass, 0, round % 2);
            p->set_parameter(kEffect, round % 3 ? 1.0f : 0.0f);
            bad += run(*p, l, r).bad_for_finite_input;
        }
        EXPECT_EQ(bad, 0) << "rate " << rate;
    }
}

// Values a host should never send: NaN and infinities change nothing; values
// outside 0..1 are stored as given, but the audio is that of the nearest end
// of the range, bit for bit, and stays finite and bounded.
TEST(AudioAbuse, ParameterValuesOutsideTheHostRange)
{
    const float non_numbers[] = {kNaN, kInf, -kInf};
    const float beyond[] = {3.0f, -2.0f, 1e30f, -1e30f, std::numeric_limits<float>::max(),
                            -std::numeric_limits<float>::max()};
    const std::vector<float> l = square(4096, 2), r = square(4096, 480);
    for (int index : kContinuous) {
        for (float rate : {8000.0f, 48000.0f, 384000.0f}) {
            auto p = load();
            ASSERT_TRUE(p);
            p->start(rate, kHostBlock);
            p->set_parameter(index, 0.75f);
            for (float v : non_numbers) {
                p->set_parameter(index, v);
                EXPECT_EQ(p->get_parameter(index), 0.75f) << "index " << index << " value " << v;
            }
            for (float v : beyond) {
                auto reference = load();
                ASSERT_TRUE(reference);
                reference->start(rate, kHostBlock);
                p->set_parameter(index, v);
                reference->set_parameter(index, v > 0.0f ? 1.0f : 0.0f);
                EXPECT_EQ(p->get_parameter(index), v);
                p->dispatch(effSetSampleRate, 0, 0, nullptr, rate);
                reference->dispatch(effSetSampleRate, 0, 0, nullptr, rate);

                std::vector<float> a_l = l, a_r = r, b_l = l, b_r = r;
                float* a[2] = {a_l.data(), a_r.data()};
                float* b[2] = {b_l.data(), b_r.data()};
                p->process(a, a, 4096);
                reference->process(b, b, 4096);
                EXPECT_EQ(a_l, b_l) << "index " << index << " value " << v << " rate " << rate;
                EXPECT_EQ(a_r, b_r) << "index " << index << " value " << v << " rate " << rate;
                for (float y : a_l)
                    ASSERT_TRUE(std::isfinite(y) && std::fabs(y) <= kBound);
            }
        }
    }
}

// A rate outside 8 kHz to 768 kHz (subnormal, tiny, enormous) is ignored: the
// audio stays that of the rate in force, bit for bit.
TEST(AudioAbuse, SampleRatesOutsideTheAcceptedRangeAreIgnored)
{
    const std::vector<float> l = square(4096, 2), r = noise(4096, 5);
    for (float bad : {std::numeric_limits<float>::denorm_min(), 1e-20f, 1.0f, 149.0f, 7999.0f, 768001.0f,
                      1e9f, std::numeric_limits<float>::max()}) {
        auto p = load(), reference = load();
        ASSERT_TRUE(p && reference);
        for (auto* q : {p.get(), reference.get()}) {
            q->start(48000.0f, kHostBlock);
            apply_setting(*q, kSettings - 1);
        }
        p->dispatch(effSetSampleRate, 0, 0, nullptr, bad);
        std::vector<float> a_l = l, a_r = r, b_l = l, b_r = r;
        float* a[2] = {a_l.data(), a_r.data()};
        float* b[2] = {b_l.data(), b_r.data()};
        p->process(a, a, 4096);
        reference->process(b, b, 4096);
        EXPECT_EQ(a_l, b_l) << "rate " << bad;
        EXPECT_EQ(a_r, b_r) << "rate " << bad;
    }
}
