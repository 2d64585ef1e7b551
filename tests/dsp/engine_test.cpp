// The equaliser engine driven as the effect drives it, against expectations
// of its own: the designs at their defining points, sines measured through
// the chain, one section's exact summation order, blocks against frames bit
// for bit, glide and ramp timing, and the crossfade.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "dsp/CLFx.h"
#include "dsp/lx_designs.h"

// White-box view of an engine (declared a friend by CLFx).
struct CLFxProbe {
    static const lx_flt& low(const CLFx& e) { return e.low_flt; }
    static const lx_flt& mid(const CLFx& e) { return e.mid_flt; }
    static const lx_flt& high(const CLFx& e) { return e.high_flt; }
    static const lx_mix_smoother& mix(const CLFx& e) { return e.mix_l; }
    static float low_gain(const CLFx& e) { return e.low_eq_gain; }
};

namespace {

using P = CLFxProbe;
constexpr double kPi = 3.14159265358979323846;
constexpr float fs = 44100.0f;

void start(CLFx& e, float rate = fs)
{
    e.lx_srate(rate);
    e.lx_init();
}

// One chunk of n frames, as the effect runs it.
void chunk(CLFx& e, const float* in_l, const float* in_r, float* out_l, float* out_r, int n)
{
    e.lx_recalc(n);
    for (int i = 0; i < n; ++i)
        e.lx_prc(in_l[i], in_r[i], &out_l[i], &out_r[i]);
}

// A whole signal on both channels in 64-frame chunks; the left output.
std::vector<float> run(CLFx& e, const std::vector<float>& in, std::vector<float>* right = nullptr)
{
    std::vector<float> l(in.size()), r(in.size());
    for (size_t pos = 0; pos < in.size(); pos += lx_max_chunk)
        chunk(e, &in[pos], &in[pos], &l[pos], &r[pos], static_cast<int>(std::min<size_t>(64, in.size() - pos)));
    if (right)
        *right = r;
    return l;
}

std::vector<float> sine(double f, size_t frames, double rate = fs)
{
    std::vector<float> s(frames);
    for (size_t i = 0; i < frames; ++i)
        s[i] = static_cast<float>(0.5 * std::sin(2.0 * kPi * f * static_cast<double>(i) / rate));
    return s;
}

// Gain in dB of a steady sine of amplitude 0.5 at f from frame `from` on:
// the amplitude by least squares against sine and cosine.
double gain_db(const std::vector<float>& s, double f, size_t from, double rate)
{
    double ss = 0, sc = 0, cc = 0, xs = 0, xc = 0;
    for (size_t i = from; i < s.size(); ++i) {
        const double ph = 2.0 * kPi * f * static_cast<double>(i) / rate, sv = std::sin(ph), cv = std::cos(ph);
        ss += sv * sv, cc += cv * cv, sc += sv * cv, xs += s[i] * sv, xc += s[i] * cv;
    }
    const double det = ss * cc - sc * sc;
    return 20.0 * std::log10(std::hypot((xs * cc - xc * sc) / det, (xc * ss - xs * sc) / det) / 0.5);
}

bool same(const lx_coefs& a, const lx_coefs& b)
{
    return a.fb1 == b.fb1 && a.fb2 == b.fb2 && a.b0 == b.b0 && a.b1 == b.b1 && a.b2 == b.b2;
}

// Sines through the whole engine at the points that define each band: a
// shelf's full gain at one end, half of it in dB at the corner, none at the
// other end; the mid band's gain at its centre and half of it an octave
// apart; corners and centres held below 0.45 of the rate; the mid gain's
// 0.025 dB dead zone at the defaults. All three bands together give the sum
// of their gains in dB, equally on both channels.
TEST(Engine, MeasuredSinesThroughTheChain)
{
    using setting = std::function<void(CLFx&)>;
    const setting low = [](CLFx& e) { e.lxs_low_eq_gain(12); }, cut = [](CLFx& e) { e.lxs_low_eq_gain(-12); },
                  mid = [](CLFx& e) { e.lxs_mid_freq(1000), e.lxs_mid_gain(-9), e.lxs_mid_bandwidth(1); },
                  high = [](CLFx& e) { e.lxs_high_eq_fc(6000), e.lxs_high_eq_gain(6); },
                  top = [](CLFx& e) { e.lxs_high_eq_gain(12), e.lxs_mid_freq(4000), e.lxs_mid_gain(12); },
                  flat = [](CLFx&) {};
    auto measure = [](std::vector<setting> settings, double f, float rate = fs) {
        CLFx e;
        for (auto& set : settings)
            set(e);
        start(e, rate);
        std::vector<float> right;
        const std::vector<float> out = run(e, sine(f, 22050, rate), &right);
        EXPECT_EQ(out, right);
        return gain_db(out, f, 4410, rate);
    };
    const struct {
        setting band;
        float rate;
        double f, db, tolerance;
    } rows[] = {{low, fs, 100, 6, 0.02},       {low, fs, 15, 12, 0.3},         {low, fs, 10000, 0, 0.02},
                {cut, fs, 100, -6, 0.02},      {mid, fs, 1000, -9, 0.02},      {mid, fs, 707.1, -4.5, 0.15},
                {mid, fs, 1414.2, -4.5, 0.15}, {mid, fs, 30, 0, 0.01},         {high, fs, 6000, 3, 0.02},
                {high, fs, 20, 0, 0.02},       {top, 8000, 3600, 18, 0.1},     {flat, fs, 2500, 0.025, 0.0005},
                {flat, fs, 50, 0, 0.001}};
    for (const auto& r : rows)
        EXPECT_NEAR(measure({r.band}, r.f, r.rate), r.db, r.tolerance) << r.f << " Hz at " << r.rate;
    for (double f : {100.0, 1000.0, 6000.0})
        EXPECT_NEAR(measure({low, mid, high}, f), measure({low}, f) + measure({mid}, f) + measure({high}, f), 0.01)
            << f << " Hz";
}

// One section exactly as the engine must compute it, single precision:
// y = b0 x + b1 x1 + b2 x2 + fb1 y1 + fb2 y2 summed left to right, then
// magnitudes below 1e-32 flushed to 0.
struct scalar_section {
    lx_coefs k;
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    float run(float x)
    {
        float y = k.b0 * x;
        y = y + k.b1 * x1;
        y = y + k.b2 * x2;
        y = y + k.fb1 * y1;
        y = y + k.fb2 * y2;
        y = std::fabs(static_cast<double>(y)) < 1e-32 ? 0.0f : y;
        x2 = x1, x1 = x, y2 = y1, y1 = y;
        return y;
    }
};

TEST(Engine, SettledChainIsThreeSectionsInTheirExactOrder)
{
    CLFx e;
    e.lxs_low_eq_gain(9), e.lxs_mid_gain(-7), e.lxs_mid_freq(300), e.lxs_high_eq_gain(5);
    start(e);
    scalar_section low{lx_low_shelf_coefs(100, 9, fs)}, mid{lx_peq_coefs(300, -7, 1.25f, fs)},
        high{lx_high_shelf_coefs(8000, 5, fs)};
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    float l, r;
    for (int i = 0; i < 64 * 200; ++i) {
        if (i % 64 == 0)
            e.lx_recalc(64);
        const float x = i % 1000 < 900 ? noise(rng) : 1e-33f * noise(rng);
        e.lx_prc(x, x, &l, &r);
        ASSERT_EQ(l, high.run(mid.run(low.run(x)))) << "frame " << i;
    }
}

// lx_prc_block against lx_prc over a random session: glides of every band,
// chunks of every length, trims, crossfades, clears, rate changes and a
// finite overflow that clears one section alone.
TEST(Engine, BlocksEqualFramesBitForBit)
{
    CLFx frames, blocks;
    start(frames), start(blocks);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> uni(0.0f, 1.0f);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    const std::function<void(CLFx&, float)> changes[] = {
        [](CLFx& e, float v) { e.lxs_low_eq_gain(40 * v - 20); }, [](CLFx& e, float v) { e.lxs_low_eq_fc(100 + 100 * v); },
        [](CLFx& e, float v) { e.lxs_high_eq_gain(40 * v - 20); }, [](CLFx& e, float v) { e.lxs_high_eq_fc(4000 + 4000 * v); },
        [](CLFx& e, float v) { e.lxs_mid_gain(v < 0.2f ? 0 : 40 * v - 20); }, [](CLFx& e, float v) { e.lxs_mid_freq(200 + 3800 * v); },
        [](CLFx& e, float v) { e.lxs_mid_bandwidth(0.5f + 1.5f * v); }, [](CLFx& e, float v) { e.lxs_output_gain(24 * v - 12); },
        [](CLFx& e, float v) { e.lxs_eq_in_value(v < 0.5f); }, [](CLFx& e, float) { e.lx_clear(); },
        [](CLFx& e, float v) { e.lx_srate(v < 0.5f ? 8000.0f : 96000.0f), e.lx_init(); }};
    float in_l[64], in_r[64], fl[64], fr[64], bl[64], br[64];
    for (int c = 0; c < 8000; ++c) {
        if (uni(rng) < 0.25f) {
            const size_t which = rng() % 11;
            const float v = uni(rng);
            changes[which](frames, v), changes[which](blocks, v);
        }
        const int n = uni(rng) < 0.5f ? 64 : 1 + static_cast<int>(rng() % 64);
        for (int i = 0; i < n; ++i) {
            in_l[i] = c % 50 == 0 && i < 4 ? 3e37f : noise(rng);
            in_r[i] = c % 7 == 0 ? 0.0f : noise(rng);
        }
        chunk(frames, in_l, in_r, fl, fr, n);
        blocks.lx_recalc(n);
        blocks.lx_prc_block(in_l, in_r, bl, br, n);
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(std::memcmp(&fl[i], &bl[i], 4), 0) << "left, chunk " << c << " frame " << i;
            ASSERT_EQ(std::memcmp(&fr[i], &br[i], 4), 0) << "right, chunk " << c << " frame " << i;
        }
    }
}

// Runs 500 silent chunks (far longer than any glide); returns how many set
// up a redesign of the band.
int redesigns(CLFx& e, const lx_flt& (*band)(const CLFx&))
{
    int ramps = 0;
    const std::vector<float> silence(64, 0.0f);
    std::vector<float> l(64), r(64);
    for (int c = 0; c < 500; ++c) {
        e.lx_recalc(64);
        ramps += band(e).ramp_left == 64;
        e.lx_prc_block(silence.data(), silence.data(), l.data(), r.data(), 64);
    }
    return ramps;
}

// A change reaches its band as a ramp across each chunk until the glide
// ends: a chunk closes a tenth of the remaining distance and a step below
// 0.001 snaps onto the target, so a glide takes a known number of chunks.
// The first frame after a change still uses the set in force; the chunk
// ends exactly on the design one step along. A value set again changes nothing.
TEST(Engine, GlidesRampEveryBandChunkByChunk)
{
    const std::function<void(CLFx&)> none = [](CLFx&) {};
    const struct {
        std::function<void(CLFx&)> before, change;
        const lx_flt& (*band)(const CLFx&);
        int chunks;
        lx_coefs one_step;
    } rows[] = {{none, [](CLFx& e) { e.lxs_low_eq_gain(1); }, P::low, 45, lx_low_shelf_coefs(100, 0.1f, fs)},
                {none, [](CLFx& e) { e.lxs_mid_gain(12); }, P::mid, 69, lx_peq_coefs(2500, 1.2f, 1.25f, fs)},
                {[](CLFx& e) { e.lxs_high_eq_gain(-20); }, [](CLFx& e) { e.lxs_high_eq_gain(20); }, P::high, 80,
                 lx_high_shelf_coefs(8000, -16, fs)},
                {[](CLFx& e) { e.lxs_low_eq_gain(12); }, [](CLFx& e) { e.lxs_low_eq_fc(200); }, P::low, 89,
                 lx_low_shelf_coefs(110, 12, fs)},
                {[](CLFx& e) { e.lxs_low_eq_gain(6); }, [](CLFx& e) { e.lxs_low_eq_gain(6); }, P::low, 0,
                 lx_low_shelf_coefs(100, 6, fs)}};
    const std::vector<float> in = sine(3000, 64);
    for (const auto& r : rows) {
        CLFx e, steady;
        r.before(e), r.before(steady), start(e), start(steady);
        r.change(e);
        std::vector<float> a(64), b(64), dummy(64);
        chunk(e, in.data(), in.data(), a.data(), dummy.data(), 64);
        chunk(steady, in.data(), in.data(), b.data(), dummy.data(), 64);
        EXPECT_EQ(a[0], b[0]);
        EXPECT_EQ(a[1] != b[1], r.chunks > 0);
        EXPECT_TRUE(same(lx_flt_coefs(r.band(e)), r.one_step));
        EXPECT_EQ(redesigns(e, r.band), std::max(r.chunks - 1, 0));
    }
}

// Frames a crossfade takes until it snaps onto its end.
int fade_frames(CLFx& e)
{
    float l, r;
    int frames = 0;
    for (; !P::mix(e).settled && frames < 10000; ++frames)
        e.lx_prc(0.1f, 0.1f, &l, &r);
    return frames;
}

// "Effect" out fades for 20 ms (880 frames at 44.1 kHz, 1916 at 96 kHz),
// then the output is the input bit for bit and the sections rest. Back in,
// the sections start from silence with every glide at its target. An engine
// told "out" before it starts passes its input from the first frame.
TEST(Engine, CrossfadeThenExactBypassAndAFreshStart)
{
    CLFx cold;
    cold.lxs_low_eq_gain(20);
    cold.lxs_eq_in_value(false);
    start(cold);
    const std::vector<float> low = sine(50, 2000);
    EXPECT_EQ(run(cold, low), low) << "an engine started out must not fade out of an equalised start";

    CLFx e;
    e.lxs_low_eq_gain(12);
    start(e);
    run(e, sine(50, 4410));
    e.lxs_eq_in_value(false);
    e.lx_recalc(64);
    EXPECT_EQ(fade_frames(e), 880);
    const std::vector<float> in = sine(300, 4000);
    EXPECT_EQ(run(e, in), in);
    const lx_flt rested = P::low(e);
    e.lxs_low_eq_gain(-12);
    e.lx_recalc(64);
    EXPECT_EQ(std::memcmp(&rested.xm, &P::low(e).xm, sizeof rested.xm), 0);
    e.lxs_eq_in_value(true);
    e.lx_recalc(64);
    EXPECT_EQ(P::low_gain(e), -12.0f);
    EXPECT_EQ(P::low(e).ramp_left, 0);
    EXPECT_EQ(P::low(e).ym[0], 0.0f);
    EXPECT_TRUE(same(lx_flt_coefs(P::low(e)), lx_low_shelf_coefs(100, -12, fs)));
    EXPECT_EQ(fade_frames(e), 880);

    e.lx_srate(96000);
    e.lx_init();
    e.lxs_eq_in_value(false);
    e.lx_recalc(64);
    EXPECT_EQ(fade_frames(e), static_cast<int>(std::ceil(std::log(0.05) / std::log(1.0 - 3.0 / 1920.0))));
}

} // namespace
