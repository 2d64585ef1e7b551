// Audio entry: chunks of at most 64 frames, in-place processing, the host
// bypass together with "Effect", suspend and stop clearing the filter
// memories but not the settings, sample-rate changes and the inputs that
// must be refused (bad rates, null channel pointers).
#include <cmath>
#include <limits>

#include "plugin_harness.h"

using namespace ze710test;

class Audio : public PluginTest {
protected:
    // A fresh instance at 48 kHz with a glide in progress: LF gain just
    // moved from 0 to +20 dB, so every chunk boundary changes the sound.
    std::unique_ptr<vsthost::VstPlugin> gliding_instance()
    {
        std::unique_ptr<vsthost::VstPlugin> p = load_ze710();
        p->start(kRate, 512);
        p->set_parameter(1, 1.0f);
        return p;
    }
    // Runs `in` through p with the given call sizes, returns the left output.
    static std::vector<float> run_calls(vsthost::VstPlugin& p, const std::vector<float>& in,
                                        const std::vector<int>& calls)
    {
        std::vector<float> out(in.size(), 0.0f), out_r(in.size(), 0.0f);
        size_t pos = 0;
        for (int n : calls) {
            float* ins[2] = {const_cast<float*>(&in[pos]), const_cast<float*>(&in[pos])};
            float* outs[2] = {&out[pos], &out_r[pos]};
            p.process(ins, outs, n);
            pos += static_cast<size_t>(n);
        }
        return out;
    }
    static bool identical(const std::vector<float>& a, const std::vector<float>& b)
    {
        return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
    }
    static double rms(const std::vector<float>& v, size_t from, size_t to)
    {
        double s = 0;
        for (size_t i = from; i < to; ++i)
            s += static_cast<double>(v[i]) * v[i];
        return std::sqrt(s / static_cast<double>(to - from));
    }
};

TEST_F(Audio, BlocksAreCutIntoChunksOfSixtyFour)
{
    const std::vector<float> in = noise(300, 7);
    // 150 frames in one call must sound exactly like calls of 64, 64 and 22
    // (the engine's glide advances once per chunk), and unlike 75 + 75.
    auto a = gliding_instance(), b = gliding_instance(), c = gliding_instance();
    const std::vector<float> one_call = run_calls(*a, in, {150, 150});
    const std::vector<float> by_64 = run_calls(*b, in, {64, 64, 22, 64, 64, 22});
    const std::vector<float> by_75 = run_calls(*c, in, {75, 75, 75, 75});
    EXPECT_TRUE(identical(one_call, by_64));
    EXPECT_FALSE(identical(one_call, by_75));

    // 64 frames are one chunk: unlike two calls of 32.
    auto d = gliding_instance(), e = gliding_instance();
    const std::vector<float> sixty_four = run_calls(*d, std::vector<float>(in.begin(), in.begin() + 128), {64, 64});
    const std::vector<float> by_32 = run_calls(*e, std::vector<float>(in.begin(), in.begin() + 128), {32, 32, 32, 32});
    EXPECT_FALSE(identical(sixty_four, by_32));
}

TEST_F(Audio, ZeroFramesWriteNothingAndChangeNothing)
{
    auto a = gliding_instance(), b = gliding_instance();
    float sentinel = -123.0f;
    float in_l = 0.5f, in_r = 0.5f, out_l = sentinel, out_r = sentinel;
    float* ins[2] = {&in_l, &in_r};
    float* outs[2] = {&out_l, &out_r};
    a->process(ins, outs, 0);
    a->process(ins, outs, -5);
    EXPECT_EQ(out_l, sentinel);
    EXPECT_EQ(out_r, sentinel);
    const std::vector<float> in = noise(500, 3);
    EXPECT_TRUE(identical(run_calls(*a, in, {500}), run_calls(*b, in, {500})));
}

TEST_F(Audio, InPlaceEqualsSeparateBuffers)
{
    auto a = load_ze710(), b = load_ze710();
    for (auto* p : {a.get(), b.get()}) {
        p->start(kRate, 512);
        p->dispatch(effSetProgram, 0, 6);
    }
    std::vector<float> l = noise(3000, 11), r = noise(3000, 12);
    std::vector<float> out_l(l.size()), out_r(r.size());
    std::vector<float> io_l = l, io_r = r;
    size_t pos = 0;
    for (int n : {1, 63, 64, 65, 200, 512, 95, 2000}) {
        float* ins[2] = {&l[pos], &r[pos]};
        float* outs[2] = {&out_l[pos], &out_r[pos]};
        a->process(ins, outs, n);
        float* io[2] = {&io_l[pos], &io_r[pos]};
        b->process(io, io, n);
        pos += static_cast<size_t>(n);
    }
    ASSERT_EQ(pos, l.size());
    EXPECT_TRUE(identical(out_l, io_l));
    EXPECT_TRUE(identical(out_r, io_r));
    EXPECT_FALSE(identical(out_l, l)) << "the preset must actually change the signal";
}

TEST_F(Audio, HostBypassAndEffectMustBothBeOn)
{
    plugin->set_parameter(1, 0.8f);  // LF +12 dB makes "in" audible
    const std::vector<float> in = noise(6000, 5);
    std::vector<float> out_l, out_r;
    auto passes_dry = [&] {
        run(in, in, out_l, out_r);
        // After the 20 ms crossfade the output is the input, bit for bit.
        return std::equal(in.begin() + 2000, in.end(), out_l.begin() + 2000);
    };

    EXPECT_FALSE(passes_dry());
    EXPECT_EQ(dispatch(effSetBypass, 0, 1), 1);
    EXPECT_TRUE(passes_dry());
    // The host's bypass leaves "Effect" as it was.
    EXPECT_FLOAT_EQ(plugin->get_parameter(7), 1.0f);
    EXPECT_EQ(display(7), "In ");
    // Switching "Effect" on under the host's bypass keeps the equaliser out.
    plugin->set_parameter(7, 1.0f);
    EXPECT_TRUE(passes_dry());
    EXPECT_EQ(dispatch(effSetBypass, 0, 0), 1);
    EXPECT_FALSE(passes_dry());

    // "Effect" at exactly 0.5 is out; the host's enable cannot bring it in.
    plugin->set_parameter(7, 0.5f);
    EXPECT_EQ(display(7), "Out");
    EXPECT_TRUE(passes_dry());
    dispatch(effSetBypass, 0, 1);
    dispatch(effSetBypass, 0, 0);
    EXPECT_TRUE(passes_dry());
}

TEST_F(Audio, SuspendClearsMemoriesButKeepsTargets)
{
    plugin->set_parameter(1, 0.8f);  // LF +12 dB: a long ringing tail
    const std::vector<float> loud = noise(4000, 9);
    const std::vector<float> silence(512, 0.0f);
    std::vector<float> out_l, out_r;

    run(loud, loud, out_l, out_r);
    run(silence, silence, out_l, out_r);
    EXPECT_GT(rms(out_l, 0, 64), 1e-4) << "without a suspend the filters ring on";

    run(loud, loud, out_l, out_r);
    EXPECT_EQ(dispatch(effMainsChanged, 0, 0), 0);
    EXPECT_EQ(dispatch(effMainsChanged, 0, 1), 0);
    run(silence, silence, out_l, out_r);
    EXPECT_EQ(rms(out_l, 0, 512), 0.0);
    EXPECT_EQ(rms(out_r, 0, 512), 0.0);

    // Targets survive: the boost is still there.
    EXPECT_NEAR(gain_db(impulse_response(), 0.0), 12.0, 0.05);

    // effStopProcess clears the memories the same way.
    run(loud, loud, out_l, out_r);
    EXPECT_EQ(dispatch(effStopProcess), 1);
    run(silence, silence, out_l, out_r);
    EXPECT_EQ(rms(out_l, 0, 512), 0.0);
}

TEST_F(Audio, SampleRateChangesRedesignTheBands)
{
    plugin->set_parameter(3, 0.8f);  // mid +12 dB at 894.43 Hz
    dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    const std::vector<float> h = impulse_response(96000, 96000.0f);
    // Measured against the new rate, the boost stays at 894 Hz.
    EXPECT_NEAR(gain_db(h, 894.43, 96000.0), 12.0, 0.1);
}

TEST_F(Audio, InvalidSampleRatesAreIgnored)
{
    auto reference = load_ze710();
    reference->start(kRate, 512);
    for (auto* p : {plugin.get(), reference.get()})
        p->set_parameter(0, 0.9f);
    for (float bad : {0.0f, -48000.0f, std::numeric_limits<float>::infinity(),
                      std::numeric_limits<float>::quiet_NaN(), -0.0f})
        EXPECT_EQ(dispatch(effSetSampleRate, 0, 0, nullptr, bad), 0);

    const std::vector<float> in = noise(4096, 21);
    std::vector<float> out_l, out_r, ref_l(in.size()), ref_r(in.size());
    run(in, in, out_l, out_r);
    float* ins[2] = {const_cast<float*>(in.data()), const_cast<float*>(in.data())};
    float* outs[2] = {ref_l.data(), ref_r.data()};
    for (size_t pos = 0; pos < in.size(); pos += 512) {
        float* i2[2] = {ins[0] + pos, ins[1] + pos};
        float* o2[2] = {outs[0] + pos, outs[1] + pos};
        reference->process(i2, o2, 512);
    }
    for (float v : out_l)
        ASSERT_TRUE(std::isfinite(v));
    EXPECT_TRUE(identical(out_l, ref_l));
}

TEST_F(Audio, NullChannelPointersProcessNothing)
{
    float l[64], r[64], ol[64], orr[64];
    std::fill(std::begin(l), std::end(l), 0.25f);
    std::fill(std::begin(r), std::end(r), 0.25f);
    std::fill(std::begin(ol), std::end(ol), -7.0f);
    std::fill(std::begin(orr), std::end(orr), -7.0f);
    float* ins[2] = {l, r};
    float* outs[2] = {ol, orr};
    float* half_in[2] = {l, nullptr};
    float* half_out[2] = {nullptr, orr};
    plugin->process(nullptr, outs, 64);
    plugin->process(ins, nullptr, 64);
    plugin->process(half_in, outs, 64);
    plugin->process(ins, half_out, 64);
    EXPECT_EQ(ol[0], -7.0f);
    EXPECT_EQ(orr[63], -7.0f);
    // And the instance still works.
    plugin->process(ins, outs, 64);
    EXPECT_NE(ol[63], -7.0f);
}
