// The engine driven as the effect drives it: measured responses, glide
// lengths, coefficient ramps, the in/out crossfade and bypass, flushing of
// tiny values, clear and sample-rate changes, stability at every rate and
// recovery from a non-finite input sample.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "dsp/CLFx.h"
#include "dsp/lx_designs.h"
#include "dsp_test_util.h"

namespace {

constexpr float fs = 44100.0f;

bool same_coefs(const lx_coefs& a, const lx_coefs& b)
{
    return a.fb1 == b.fb1 && a.fb2 == b.fb2 && a.b0 == b.b0 && a.b1 == b.b1 && a.b2 == b.b2;
}

void start(CLFx& e, float rate = fs)
{
    e.lx_srate(rate);
    e.lx_init();
}

// Runs 500 chunks of 64 silent frames (far longer than any glide); returns
// how many of them set up a redesign of the given band.
template <typename Band>
int chunks_with_redesign(CLFx& e, Band band)
{
    int ramps = 0;
    float l, r;
    for (int c = 0; c < 500; ++c) {
        e.lx_recalc(lx_max_chunk);
        if (band(e).ramp_left == lx_max_chunk)
            ++ramps;
        for (int i = 0; i < lx_max_chunk; ++i)
            e.lx_prc(0.0f, 0.0f, &l, &r);
    }
    return ramps;
}

// Sines through the whole engine come out with the gain the three designs
// give together, and left equals right.
TEST(EngineResponse, MeasuredSinesMatchTheDesign)
{
    const lx_coefs low = lx_low_shelf_coefs(100, 12, fs);
    const lx_coefs mid = lx_peq_coefs(1000, -9, 1, fs);
    const lx_coefs high = lx_high_shelf_coefs(6000, 6, fs);
    for (double f : {30.0, 100.0, 700.0, 1000.0, 3000.0, 6000.0, 15000.0}) {
        CLFx run;
        run.lxs_low_eq_gain(12);
        run.lxs_mid_freq(1000);
        run.lxs_mid_gain(-9);
        run.lxs_mid_bandwidth(1);
        run.lxs_high_eq_gain(6);
        run.lxs_high_eq_fc(6000);
        start(run);
        std::vector<float> right;
        const std::vector<float> out = run_signal(run, sine(f, fs, 44100), &right);
        const double expected = response_db(low, f, fs) + response_db(mid, f, fs) + response_db(high, f, fs);
        const double input = 20.0 * std::log10(0.5);
        EXPECT_NEAR(sine_level_db(out, f, fs, 22050) - input, expected, 0.01) << f << " Hz";
        EXPECT_EQ(out, right);
    }
}

TEST(EngineResponse, FlatSettingsOnlyAddTheMidDeadZone)
{
    const double input = 20.0 * std::log10(0.5);
    for (double f : {50.0, 1000.0, 2500.0, 12000.0}) {
        CLFx e;
        start(e);
        const std::vector<float> out = run_signal(e, sine(f, fs, 22050));
        const double gain = sine_level_db(out, f, fs, 4410) - input;
        EXPECT_GE(gain, -0.0005) << f << " Hz";
        EXPECT_LE(gain, 0.0255) << f << " Hz";
        if (f == 2500.0) {
            EXPECT_NEAR(gain, 0.025, 0.0005);
        }
    }
}

TEST(EngineGlide, ChunkCountsOfTheGlideLaw)
{
    {
        CLFx e;
        start(e);
        e.lxs_low_eq_gain(1);
        EXPECT_EQ(chunks_with_redesign(e, CLFxProbe::low), 45);
        EXPECT_EQ(CLFxProbe::low_eq_gain(e), 1.0f);
    }
    {
        CLFx e;
        start(e);
        e.lxs_mid_gain(12);
        EXPECT_EQ(chunks_with_redesign(e, CLFxProbe::mid), 69);
    }
    {
        CLFx e;
        e.lxs_high_eq_gain(-20);
        start(e);
        e.lxs_high_eq_gain(20);
        EXPECT_EQ(chunks_with_redesign(e, CLFxProbe::high), 80);
    }
    {
        CLFx e;
        start(e);
        e.lxs_low_eq_fc(200);
        EXPECT_EQ(chunks_with_redesign(e, CLFxProbe::low), 89);
        EXPECT_EQ(CLFxProbe::low_eq_fc(e), 200.0f);
    }
}

TEST(EngineGlide, RedesignOnlyWhenAValueMoved)
{
    CLFx e;
    e.lxs_low_eq_gain(6);
    start(e);
    e.lxs_low_eq_gain(6);  // the value it already has
    e.lxs_mid_freq(2500);
    EXPECT_EQ(chunks_with_redesign(e, CLFxProbe::low), 0);
    EXPECT_EQ(chunks_with_redesign(e, CLFxProbe::mid), 0);
    EXPECT_EQ(chunks_with_redesign(e, CLFxProbe::high), 0);
    // A glide of one band leaves the others alone.
    e.lxs_mid_gain(3);
    EXPECT_EQ(chunks_with_redesign(e, CLFxProbe::low), 0);
}

// A gain change just before a chunk: its first frame still uses the old set,
// the ramp targets the design after one glide step and is fully in force
// from the next chunk's first frame.
TEST(EngineRamp, ChunkStartsWithTheOldSet)
{
    CLFx changed, steady;
    start(changed);
    start(steady);
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    std::vector<float> in(4 * 64);
    for (float& v : in)
        v = noise(rng);
    std::vector<float> a(in.size()), b(in.size()), dummy(in.size());
    run_chunk(changed, &in[0], &in[0], &a[0], &dummy[0], 64);
    run_chunk(steady, &in[0], &in[0], &b[0], &dummy[0], 64);

    changed.lxs_low_eq_gain(12);
    run_chunk(changed, &in[64], &in[64], &a[64], &dummy[64], 64);
    run_chunk(steady, &in[64], &in[64], &b[64], &dummy[64], 64);
    EXPECT_EQ(a[64], b[64]);
    EXPECT_NE(a[65], b[65]);
    const lx_coefs one_step = lx_low_shelf_coefs(100, 1.2f, fs);
    EXPECT_TRUE(same_coefs(lx_flt_coefs(CLFxProbe::low(changed)), one_step));
    EXPECT_EQ(CLFxProbe::low(changed).ramp_left, 0);
}

TEST(EngineRamp, SingleFrameAndOverlappingRamps)
{
    CLFx e;
    start(e);
    float l, r;
    e.lxs_low_eq_gain(10);
    e.lx_recalc(1);
    e.lx_prc(0.1f, 0.1f, &l, &r);
    EXPECT_TRUE(same_coefs(lx_flt_coefs(CLFxProbe::low(e)), lx_low_shelf_coefs(100, 1.0f, fs)));

    // A second ramp half-way through the first starts from the partly ramped
    // set and ends on its own target after its own length.
    e.lx_recalc(64);
    const lx_coefs first_target = lx_low_shelf_coefs(100, 1.9f, fs);
    for (int i = 0; i < 32; ++i)
        e.lx_prc(0.1f, 0.1f, &l, &r);
    const lx_coefs halfway = lx_flt_coefs(CLFxProbe::low(e));
    EXPECT_FALSE(same_coefs(halfway, first_target));
    e.lx_recalc(16);
    const lx_coefs second_target = lx_low_shelf_coefs(100, 2.71f, fs);
    const lx_flt& f = CLFxProbe::low(e);
    EXPECT_EQ(f.b0_inc[0], (second_target.b0 - halfway.b0) / 16.0f);
    EXPECT_EQ(f.fb12_inc[2], (second_target.fb2 - halfway.fb2) / 16.0f);
    for (int i = 0; i < 15; ++i)
        e.lx_prc(0.1f, 0.1f, &l, &r);
    EXPECT_FALSE(same_coefs(lx_flt_coefs(f), second_target));
    e.lx_prc(0.1f, 0.1f, &l, &r);
    EXPECT_TRUE(same_coefs(lx_flt_coefs(f), second_target));
}

// The output trim glides in dB from chunk to chunk and moves linearly in
// amplitude within each chunk, from the gain in force to the new one.
TEST(EngineTrim, OutputTrimGlidesInDbAndRampsLinearly)
{
    CLFx e, reference;
    start(e);
    start(reference);
    const std::vector<float> in = sine(700, fs, 3 * 64);
    std::vector<float> out(in.size()), ref(in.size()), dummy(in.size());
    e.lxs_output_gain(-6);
    double previous_db = 0.0;
    for (int c = 0; c < 3; ++c) {
        const size_t pos = size_t(c) * 64;
        run_chunk(e, &in[pos], &in[pos], &out[pos], &dummy[pos], 64);
        run_chunk(reference, &in[pos], &in[pos], &ref[pos], &dummy[pos], 64);
        // One glide step: 10 % of the remaining distance in dB.
        const double now_db = previous_db + 0.1 * (-6.0 - previous_db);
        const double from = std::pow(10.0, previous_db / 20.0), to = std::pow(10.0, now_db / 20.0);
        for (int i = 0; i < 64; ++i) {
            if (std::fabs(ref[pos + i]) < 0.05f)
                continue;
            const double gain = double(out[pos + i]) / ref[pos + i];
            EXPECT_NEAR(gain, from + (to - from) * i / 64.0, 2e-6) << "chunk " << c << " frame " << i;
        }
        EXPECT_NEAR(CLFxProbe::out_gain_l_value(e), to, 1e-6);
        EXPECT_NEAR(CLFxProbe::output_gain(e), now_db, 1e-5);
        previous_db = now_db;
    }
}

// At 44100 Hz a fade out lasts 880 frames, after which the output is the
// input bit for bit and the filter memories stop changing.
TEST(EngineCrossfade, FadeOutThenExactBypass)
{
    CLFx e;
    e.lxs_low_eq_gain(12);
    start(e);
    std::vector<float> in = sine(50, fs, 44100);
    run_signal(e, std::vector<float>(in.begin(), in.begin() + 4410));
    e.lxs_eq_in_value(false);
    std::vector<float> out_r;
    std::vector<float> tail(in.begin() + 4410, in.end());
    const std::vector<float> out = run_signal(e, tail, &out_r);
    for (int i = 0; i < 879; ++i) {
        if (out[i] == tail[i] && tail[i] != 0.0f)
            ADD_FAILURE() << "dry already at frame " << i;
    }
    for (size_t i = 879; i < out.size(); ++i) {
        ASSERT_EQ(out[i], tail[i]) << i;
        ASSERT_EQ(out_r[i], tail[i]) << i;
    }
    const lx_flt frozen = CLFxProbe::low(e);
    run_signal(e, sine(300, fs, 2000));
    EXPECT_TRUE(same_memories(frozen, CLFxProbe::low(e)));
}

TEST(EngineCrossfade, ReversalMidFadeKeepsState)
{
    CLFx e;
    e.lxs_low_eq_gain(12);
    start(e);
    run_signal(e, sine(50, fs, 4410));
    e.lxs_eq_in_value(false);
    run_signal(e, sine(50, fs, 320));
    const float weight = CLFxProbe::mix_l(e).value;
    EXPECT_GT(weight, 0.3f);
    EXPECT_LT(weight, 0.5f);
    e.lxs_eq_in_value(true);
    e.lx_recalc(1);
    EXPECT_FALSE(memories_zero(CLFxProbe::low(e)));
    // The fade turns round from where it stood: it snaps above 0.95 after
    // ln(0.05 / (1 - w)) / ln(1 - c) frames, not after a full fade's 880.
    const double c = 3.0 / (0.02 * fs);
    const int expected = int(std::ceil(std::log(0.05 / (1.0 - weight)) / std::log(1.0 - c)));
    float l, r;
    int frames = 0;
    while (!CLFxProbe::mix_l(e).settled && frames < 2000) {
        e.lx_prc(0.1f, 0.1f, &l, &r);
        ++frames;
    }
    EXPECT_EQ(CLFxProbe::mix_l(e).value, 1.0f);
    EXPECT_NEAR(frames, expected, 1);
    EXPECT_LT(frames, 870);
}

TEST(EngineCrossfade, LeavingBypassResetsAndJumpsGlides)
{
    CLFx e;
    start(e);
    e.lxs_eq_in_value(false);
    run_signal(e, sine(50, fs, 44100));
    // While bypassed the glide advances and a ramp stays pending.
    e.lxs_low_eq_gain(-12);
    e.lx_recalc(64);
    EXPECT_EQ(CLFxProbe::low(e).ramp_left, 64);
    e.lxs_eq_in_value(true);
    e.lx_recalc(64);
    EXPECT_EQ(CLFxProbe::low_eq_gain(e), -12.0f);
    EXPECT_TRUE(memories_zero(CLFxProbe::low(e)));
    EXPECT_TRUE(memories_zero(CLFxProbe::mid(e)));
    EXPECT_EQ(CLFxProbe::low(e).ramp_left, 0);
    EXPECT_TRUE(same_coefs(lx_flt_coefs(CLFxProbe::low(e)), lx_low_shelf_coefs(100, -12, fs)));
    // The fade in lasts a full 880 frames.
    float l, r;
    for (int i = 0; i < 879; ++i)
        e.lx_prc(0.1f, 0.1f, &l, &r);
    EXPECT_FALSE(CLFxProbe::mix_l(e).settled);
    e.lx_prc(0.1f, 0.1f, &l, &r);
    EXPECT_TRUE(CLFxProbe::mix_l(e).settled);
}

TEST(EngineFlush, TinyInputsGiveExactZeros)
{
    const float below = std::nextafter(1e-32f, 0.0f);
    for (bool bypassed : {false, true}) {
        CLFx e;
        e.lxs_low_eq_gain(20);
        e.lxs_mid_gain(20);
        e.lxs_high_eq_gain(20);
        if (bypassed) {
            // The switch takes effect at a chunk; lx_init then settles the
            // crossfade at "out" at once.
            e.lxs_eq_in_value(false);
            e.lx_recalc(64);
        }
        start(e);
        float l, r;
        for (int c = 0; c < 40; ++c) {
            e.lx_recalc(64);
            for (int i = 0; i < 64; ++i) {
                const float v = (i % 2 ? 1.0f : -1.0f) * (i % 3 ? below : 1e-35f);
                e.lx_prc(v, -v, &l, &r);
                ASSERT_EQ(l, 0.0f);
                ASSERT_EQ(r, 0.0f);
                ASSERT_FALSE(std::signbit(l));
            }
        }
        // 1e-32 itself is not flushed.
        e.lx_recalc(1);
        e.lx_prc(1e-32f, -1e-32f, &l, &r);
        EXPECT_NE(l, 0.0f);
        EXPECT_NE(r, 0.0f);
    }
}

// After a signal stops, outputs and memories never hold a denormal: every
// value is exactly 0.0 or at least 1e-32 in magnitude. With the shelves
// alone the decay ends in exact zeros; a narrow low-frequency mid boost may
// instead settle into a rounding limit cycle far below 1e-29.
TEST(EngineFlush, SilenceDecaysWithoutDenormals)
{
    const auto no_denormals = [](const lx_flt& f) {
        for (int i = 0; i < 4; ++i) {
            for (float v : {f.xm[i], f.ym[i]}) {
                if (v != 0.0f && std::fabs(v) < 1e-32f)
                    return false;
            }
        }
        return true;
    };
    for (bool narrow_mid : {false, true}) {
        CLFx e;
        e.lxs_low_eq_gain(20);
        e.lxs_low_eq_fc(200);
        e.lxs_high_eq_gain(-20);
        if (narrow_mid) {
            e.lxs_mid_gain(20);
            e.lxs_mid_bandwidth(0.5f);
            e.lxs_mid_freq(200);
        }
        start(e);
        run_signal(e, sine(200, fs, 4410));
        float l, r;
        for (int c = 0; c < 3 * 44100 / 64; ++c) {
            e.lx_recalc(64);
            for (int i = 0; i < 64; ++i) {
                e.lx_prc(0.0f, 0.0f, &l, &r);
                ASSERT_TRUE(l == 0.0f || std::fabs(l) >= 1e-32f) << l;
            }
            ASSERT_TRUE(no_denormals(CLFxProbe::low(e)) && no_denormals(CLFxProbe::mid(e)) &&
                        no_denormals(CLFxProbe::high(e)));
        }
        if (narrow_mid) {
            EXPECT_LT(std::fabs(l), 1e-29f);
        } else {
            EXPECT_EQ(l, 0.0f);
            EXPECT_TRUE(memories_zero(CLFxProbe::low(e)));
            EXPECT_TRUE(memories_zero(CLFxProbe::high(e)));
        }
    }
}

TEST(EngineLifecycle, ClearKeepsGlides)
{
    CLFx e, reference;
    start(e);
    start(reference);
    e.lxs_low_eq_gain(12);
    reference.lxs_low_eq_gain(12);
    run_signal(e, sine(50, fs, 20 * 64));
    run_signal(reference, sine(50, fs, 20 * 64));
    e.lx_clear();
    EXPECT_TRUE(memories_zero(CLFxProbe::low(e)));
    EXPECT_EQ(CLFxProbe::low(e).ramp_left, 0);
    EXPECT_EQ(CLFxProbe::low_eq_gain(e), CLFxProbe::low_eq_gain(reference));
    EXPECT_TRUE(same_coefs(lx_flt_coefs(CLFxProbe::low(e)),
                           lx_low_shelf_coefs(100, CLFxProbe::low_eq_gain(reference), fs)));
    // The glide goes on from where it stood: 69 - 20 redesigns remain.
    EXPECT_EQ(chunks_with_redesign(e, CLFxProbe::low), 49);
}

TEST(EngineLifecycle, RateChangeTakesEffectAtInit)
{
    CLFx e;
    e.lxs_low_eq_gain(12);
    start(e);
    e.lx_srate(96000);
    e.lx_recalc(64);
    EXPECT_TRUE(same_coefs(lx_flt_coefs(CLFxProbe::low(e)), lx_low_shelf_coefs(100, 12, 44100)));
    e.lx_init();
    EXPECT_TRUE(same_coefs(lx_flt_coefs(CLFxProbe::low(e)), lx_low_shelf_coefs(100, 12, 96000)));
    // The fade is still 20 ms long: snap below 0.05 after ln(0.05)/ln(1 - 3/1920) frames.
    const int expected = int(std::ceil(std::log(0.05) / std::log(1.0 - 3.0 / (0.02 * 96000))));
    e.lxs_eq_in_value(false);
    e.lx_recalc(64);
    float l, r;
    int frames = 0;
    while (!CLFxProbe::mix_l(e).settled) {
        e.lx_prc(0.1f, 0.1f, &l, &r);
        ++frames;
    }
    EXPECT_EQ(frames, expected);
    EXPECT_GT(frames, 1900);
}

// Every band at its extremes, gliding between them, at every rate from 8 to
// 384 kHz: the output stays finite and within the 60 dB the three bands can
// add at most.
TEST(EngineStability, ExtremesAtEveryRate)
{
    for (float rate : {8000.0f, 11025.0f, 22050.0f, 44100.0f, 192000.0f, 384000.0f}) {
        for (int corner = 0; corner < 4; ++corner) {
            const bool hi = corner & 1, boost = corner & 2;
            const float g = boost ? 20.0f : -20.0f;
            CLFx e;
            e.lxs_low_eq_gain(g);
            e.lxs_high_eq_gain(g);
            e.lxs_mid_gain(g);
            e.lxs_low_eq_fc(hi ? 200.0f : 100.0f);
            e.lxs_high_eq_fc(hi ? 8000.0f : 4000.0f);
            e.lxs_mid_freq(hi ? 4000.0f : 200.0f);
            e.lxs_mid_bandwidth(hi ? 2.0f : 0.5f);
            start(e, rate);
            std::mt19937 rng(corner);
            std::uniform_real_distribution<float> uni(-1.0f, 1.0f);
            std::vector<float> in(size_t(rate / 2));
            for (size_t i = 0; i < in.size(); ++i)
                in[i] = 0.5f * uni(rng) + 0.5f * float(std::sin(2 * test_pi * 0.45 * i * ((i / 64) % 2)));
            double peak = 0;
            for (int pass = 0; pass < 3; ++pass) {
                if (pass == 1) {
                    e.lxs_mid_freq(hi ? 200.0f : 4000.0f);
                    e.lxs_high_eq_fc(hi ? 4000.0f : 8000.0f);
                    e.lxs_mid_gain(-g);
                }
                std::vector<float> right;
                const std::vector<float> out = run_signal(e, in, &right);
                for (size_t i = 0; i < out.size(); ++i) {
                    ASSERT_TRUE(std::isfinite(out[i]) && std::isfinite(right[i])) << rate << " " << corner;
                    peak = std::max(peak, double(std::fabs(out[i])));
                }
            }
            EXPECT_LT(peak, 1000.0) << rate << " Hz, case " << corner;
        }
    }
}

TEST(EngineRecovery, NonFiniteSampleClearsOnlyThatChannel)
{
    CLFx e, clean;
    e.lxs_mid_gain(12);
    clean.lxs_mid_gain(12);
    start(e);
    start(clean);
    const std::vector<float> in = sine(440, fs, 690 * 64);
    std::vector<float> el(in.size()), er(in.size()), cl(in.size()), cr(in.size());
    std::vector<float> poisoned = in;
    poisoned[6400 + 10] = std::nanf("");
    poisoned[12800 + 3] = INFINITY;
    for (size_t pos = 0; pos < in.size(); pos += 64) {
        run_chunk(e, &poisoned[pos], &in[pos], &el[pos], &er[pos], 64);
        run_chunk(clean, &in[pos], &in[pos], &cl[pos], &cr[pos], 64);
    }
    EXPECT_EQ(er, cr);  // the right channel never noticed
    EXPECT_TRUE(std::isnan(el[6410]));
    for (size_t i = 6400 + 64; i < 12800; ++i)
        ASSERT_TRUE(std::isfinite(el[i])) << i;
    for (size_t i = 12800 + 64; i < el.size(); ++i)
        ASSERT_TRUE(std::isfinite(el[i])) << i;
    // Restarted from silence history, the left channel soon matches again.
    for (size_t i = el.size() - 1000; i < el.size(); ++i)
        ASSERT_NEAR(el[i], cl[i], 1e-4) << i;
}


uint32_t bits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// lx_prc_block after a section's memories were cleared alone (its input
// memories then differ from the previous section's outputs) still gives
// exactly what frame-by-frame processing gives.
TEST(EngineRecovery, BlocksMatchFramesAcrossRecovery)
{
    CLFx frames, blocks;
    for (CLFx* e : {&frames, &blocks}) {
        e->lxs_mid_gain(20);
        e->lxs_high_eq_gain(20);
        start(*e);
    }
    std::vector<float> in = sine(3000, fs, 40 * 64, 0.9);
    // Finite input that overflows the boosted high shelf only.
    for (int i = 0; i < 8; ++i)
        in[640 + i] = (i % 2 ? -1.0f : 1.0f) * 3e37f;
    std::vector<float> fl(in.size()), fr(in.size()), bl(in.size()), br(in.size());
    bool unchained = false;
    for (size_t pos = 0; pos < in.size(); pos += 64) {
        run_chunk(frames, &in[pos], &in[pos], &fl[pos], &fr[pos], 64);
        blocks.lx_recalc(64);
        unchained = unchained || !lx_flt_chained(CLFxProbe::low(blocks), CLFxProbe::mid(blocks)) ||
                    !lx_flt_chained(CLFxProbe::mid(blocks), CLFxProbe::high(blocks));
        blocks.lx_prc_block(&in[pos], &in[pos], &bl[pos], &br[pos], 64);
    }
    EXPECT_TRUE(unchained);
    bool any_nonfinite = false;
    for (size_t i = 0; i < in.size(); ++i) {
        ASSERT_EQ(bits(fl[i]), bits(bl[i])) << i;
        ASSERT_EQ(bits(fr[i]), bits(br[i])) << i;
        any_nonfinite = any_nonfinite || !std::isfinite(fl[i]);
    }
    EXPECT_TRUE(any_nonfinite);
    EXPECT_TRUE(std::isfinite(fl.back()));
}


// Setters on another thread while the audio thread processes: every value
// the engine picks up is one that was set, so the output stays finite and
// the glides end on the last targets.
TEST(EngineThreads, SettersRaceWithProcessing)
{
    CLFx e;
    start(e);
    std::thread control([&e] {
        for (int i = 0; i < 20000; ++i) {
            const float t = float(i % 100) / 99.0f;
            e.lxs_low_eq_gain(-20.0f + 40.0f * t);
            e.lxs_mid_freq(200.0f + 3800.0f * t);
            e.lxs_mid_bandwidth(0.5f + 1.5f * t);
            e.lxs_high_eq_fc(4000.0f + 4000.0f * t);
            e.lxs_eq_in_value(i % 7 != 0);
        }
        e.lxs_low_eq_gain(6.0f);
        e.lxs_mid_freq(1000.0f);
        e.lxs_eq_in_value(true);
    });
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    float in[64], out_l[64], out_r[64];
    for (int c = 0; c < 3000; ++c) {
        for (float& v : in)
            v = noise(rng);
        run_chunk(e, in, in, out_l, out_r, 64);
        for (int i = 0; i < 64; ++i)
            ASSERT_TRUE(std::isfinite(out_l[i]) && std::isfinite(out_r[i]));
    }
    control.join();
    for (int c = 0; c < 200; ++c)
        run_chunk(e, in, in, out_l, out_r, 64);
    EXPECT_EQ(CLFxProbe::low_eq_gain(e), 6.0f);
    EXPECT_TRUE(same_coefs(lx_flt_coefs(CLFxProbe::low(e)), lx_low_shelf_coefs(100, 6, fs)));
    EXPECT_EQ(CLFxProbe::mix_l(e).value, 1.0f);
}


// Values no caller should send get a bounded answer instead of silencing
// the engine for good.
TEST(EngineGuards, NonFiniteTargetsAndRatesAreIgnored)
{
    CLFx e, reference;
    for (CLFx* x : {&e, &reference}) {
        x->lxs_low_eq_gain(6);
        x->lxs_mid_gain(-4);
        start(*x);
    }
    e.lxs_low_eq_gain(std::nanf(""));
    e.lxs_mid_freq(INFINITY);
    e.lxs_mid_bandwidth(-INFINITY);
    e.lxs_output_gain(std::nanf(""));
    e.lx_srate(0.0f);
    e.lx_srate(-48000.0f);
    e.lx_srate(std::nanf(""));
    e.lx_init();
    const std::vector<float> in = sine(440, fs, 64 * 40);
    EXPECT_EQ(run_signal(e, in), run_signal(reference, in));
}

TEST(EngineGuards, EmptyChunkAppliesDesignsAtOnce)
{
    CLFx e;
    start(e);
    e.lxs_low_eq_gain(12);
    e.lxs_output_gain(-6);
    e.lx_recalc(0);
    EXPECT_EQ(CLFxProbe::low(e).ramp_left, 0);
    EXPECT_TRUE(same_coefs(lx_flt_coefs(CLFxProbe::low(e)), lx_low_shelf_coefs(100, 1.2f, fs)));
    EXPECT_EQ(CLFxProbe::out_gain_l_value(e), std::pow(10.0f, -0.6f / 20.0f));
    float l, r;
    e.lx_prc(0.5f, 0.5f, &l, &r);
    EXPECT_TRUE(std::isfinite(l) && std::isfinite(r));
}

}  // namespace
