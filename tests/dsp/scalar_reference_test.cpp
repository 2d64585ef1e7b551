// The SSE engine, frame by frame and in blocks, against a plain scalar
// transcription of the processing
// rules (one section per channel, one channel after the other, every step in
// the prescribed order): over long random sessions of glides, ramps of every
// chunk length, trims, crossfades, clears and rate changes, every output
// sample must be bit for bit the same.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include "dsp/CLFx.h"
#include "dsp/lx_designs.h"

namespace {

float flushed(float v)
{
    return std::fabs(static_cast<double>(v)) < 1e-32 ? 0.0f : v;
}

struct ref_section {
    float fb1, fb2, b0, b1, b2;
    float x1, x2, y1, y2;
    float fb1_tgt, fb2_tgt, b0_tgt, b1_tgt, b2_tgt;
    float fb1_inc, fb2_inc, b0_inc, b1_inc, b2_inc;
    int ramp_left;

    void reset() { *this = ref_section{}; }
    void set(const lx_coefs& c)
    {
        fb1 = fb1_tgt = c.fb1;
        fb2 = fb2_tgt = c.fb2;
        b0 = b0_tgt = c.b0;
        b1 = b1_tgt = c.b1;
        b2 = b2_tgt = c.b2;
        ramp_left = 0;
    }
    void ramp(const lx_coefs& c, int n)
    {
        fb1_tgt = c.fb1;
        fb2_tgt = c.fb2;
        b0_tgt = c.b0;
        b1_tgt = c.b1;
        b2_tgt = c.b2;
        fb1_inc = (fb1_tgt - fb1) / float(n);
        fb2_inc = (fb2_tgt - fb2) / float(n);
        b0_inc = (b0_tgt - b0) / float(n);
        b1_inc = (b1_tgt - b1) / float(n);
        b2_inc = (b2_tgt - b2) / float(n);
        ramp_left = n;
    }
    float run(float x)
    {
        float y = b0 * x;
        y = y + b1 * x1;
        y = y + b2 * x2;
        y = y + fb1 * y1;
        y = y + fb2 * y2;
        y = flushed(y);
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        if (ramp_left != 0) {
            fb1 += fb1_inc;
            fb2 += fb2_inc;
            b0 += b0_inc;
            b1 += b1_inc;
            b2 += b2_inc;
            if (--ramp_left == 0) {
                fb1 = fb1_tgt;
                fb2 = fb2_tgt;
                b0 = b0_tgt;
                b1 = b1_tgt;
                b2 = b2_tgt;
            }
        }
        return y;
    }
};

struct ref_gain {
    float value = 1, target = 1, inc = 0;
    int left = 0;
    float step()
    {
        const float g = value;
        if (left != 0) {
            value += inc;
            if (--left == 0)
                value = target;
        }
        return g;
    }
};

struct ref_mix {
    float rise, fall, value = 1, target = 1;
    bool settled = true;
    void step()
    {
        if (target > 0.5f)
            value = value + rise * (1.0f - value);
        else
            value = value - fall * value;
        if (std::fabs(value - target) < 0.05f) {
            value = target;
            settled = true;
        }
    }
};

float interp(float target, float current, int* counter)
{
    if (current == target)
        return target;
    ++*counter;
    const float step = (target - current) * 0.1f;
    if (std::fabs(static_cast<double>(step)) < 0.001)
        return target;
    return current + step;
}

struct ref_engine {
    float srate = 44100;
    // Smoothed values and targets: high gain, low gain, high fc, low fc,
    // mid gain, mid freq, mid bandwidth, input, output.
    float v[9] = {0, 0, 8000, 100, 0, 2500, 1.25f, 0, 0};
    float t[9] = {0, 0, 8000, 100, 0, 2500, 1.25f, 0, 0};
    enum { HG, LG, HF, LF, MG, MF, MB, IN, OUT };
    ref_section low_l{}, high_l{}, mid_l{}, low_r{}, high_r{}, mid_r{};
    ref_gain in_l, in_r, out_l, out_r;
    ref_mix mix_l, mix_r;
    bool eq_in = true, eq_in_request = true;

    ref_engine()
    {
        design_set();
        mix_l.rise = mix_l.fall = mix_r.rise = mix_r.fall = 3.0f / (0.02f * 44100.0f);
    }
    void design_set()
    {
        for (ref_section* s : {&low_l, &high_l, &mid_l, &low_r, &high_r, &mid_r})
            s->reset();
        low_l.set(lx_low_shelf_coefs(v[LF], v[LG], srate));
        high_l.set(lx_high_shelf_coefs(v[HF], v[HG], srate));
        mid_l.set(lx_peq_coefs(v[MF], v[MG], v[MB], srate));
        low_r.set(lx_low_shelf_coefs(v[LF], v[LG], srate));
        high_r.set(lx_high_shelf_coefs(v[HF], v[HG], srate));
        mid_r.set(lx_peq_coefs(v[MF], v[MG], v[MB], srate));
    }
    void init_flts()
    {
        std::memcpy(v, t, sizeof v);
        design_set();
        for (ref_gain* g : {&in_l, &in_r})
            *g = ref_gain{std::pow(10.0f, v[IN] / 20.0f), std::pow(10.0f, v[IN] / 20.0f), 0, 0};
        for (ref_gain* g : {&out_l, &out_r})
            *g = ref_gain{std::pow(10.0f, v[OUT] / 20.0f), std::pow(10.0f, v[OUT] / 20.0f), 0, 0};
    }
    void init()
    {
        init_flts();
        for (ref_mix* m : {&mix_l, &mix_r}) {
            m->rise = m->fall = 3.0f * (1.0f / (0.02f * srate));
            m->value = m->target = eq_in ? 1.0f : 0.0f;
            m->settled = true;
        }
    }
    void recalc(int n)
    {
        int c = 0;
        v[LF] = interp(t[LF], v[LF], &c);
        v[LG] = interp(t[LG], v[LG], &c);
        if (c) {
            low_l.ramp(lx_low_shelf_coefs(v[LF], v[LG], srate), n);
            low_r.ramp(lx_low_shelf_coefs(v[LF], v[LG], srate), n);
        }
        c = 0;
        v[HF] = interp(t[HF], v[HF], &c);
        v[HG] = interp(t[HG], v[HG], &c);
        if (c) {
            high_l.ramp(lx_high_shelf_coefs(v[HF], v[HG], srate), n);
            high_r.ramp(lx_high_shelf_coefs(v[HF], v[HG], srate), n);
        }
        c = 0;
        v[MF] = interp(t[MF], v[MF], &c);
        v[MG] = interp(t[MG], v[MG], &c);
        v[MB] = interp(t[MB], v[MB], &c);
        if (c) {
            mid_l.ramp(lx_peq_coefs(v[MF], v[MG], v[MB], srate), n);
            mid_r.ramp(lx_peq_coefs(v[MF], v[MG], v[MB], srate), n);
        }
        const auto trim = [&](int k, ref_gain& gl, ref_gain& gr) {
            int moved = 0;
            v[k] = interp(t[k], v[k], &moved);
            if (!moved)
                return;
            for (ref_gain* g : {&gl, &gr}) {
                g->target = std::pow(10.0f, v[k] / 20.0f);
                g->inc = (g->target - g->value) / float(n);
                g->left = n;
            }
        };
        trim(OUT, out_l, out_r);
        trim(IN, in_l, in_r);
        if (eq_in_request == eq_in)
            return;
        if (eq_in_request && mix_l.settled && mix_l.value < 0.5f && mix_r.settled && mix_r.value < 0.5f)
            init_flts();
        eq_in = eq_in_request;
        for (ref_mix* m : {&mix_l, &mix_r}) {
            m->rise = m->fall = 3.0f * (1.0f / (0.02f * srate));
            m->target = eq_in ? 1.0f : 0.0f;
            m->settled = false;
        }
    }
    void prc(float il, float ir, float* ol, float* or_)
    {
        il = flushed(il);
        ir = flushed(ir);
        if (!mix_l.settled)
            mix_l.step();
        if (!mix_r.settled)
            mix_r.step();
        if (mix_l.settled && mix_l.value < 0.5f && mix_r.settled && mix_r.value < 0.5f) {
            *ol = il;
            *or_ = ir;
            return;
        }
        float xl = il * in_l.value;
        in_l.step();
        const float yl = high_l.run(mid_l.run(low_l.run(xl)));
        float xr = ir * in_r.value;
        in_r.step();
        const float yr = high_r.run(mid_r.run(low_r.run(xr)));
        const float gl = out_l.step();
        const float gr = out_r.step();
        *ol = (yl * gl) * mix_l.value + (1.0f - mix_l.value) * il;
        *or_ = (yr * gr) * mix_r.value + (1.0f - mix_r.value) * ir;
    }
};

uint32_t bits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Drives both engines through one random session and counts mismatches.
void run_session(unsigned seed, int chunks)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> uni(0.0f, 1.0f);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    CLFx e;
    ref_engine r;
    const float rates[] = {44100.0f, 48000.0f, 8000.0f, 96000.0f};
    e.lx_srate(44100.0f);
    r.srate = 44100.0f;
    e.lx_init();
    r.init();

    long checked = 0;
    for (int c = 0; c < chunks; ++c) {
        const float p = uni(rng);
        if (p < 0.04f) {
            const float g = -20.0f + 40.0f * uni(rng);
            e.lxs_low_eq_gain(g);
            r.t[ref_engine::LG] = g;
        } else if (p < 0.06f) {
            const float f = 100.0f * std::pow(2.0f, uni(rng));
            e.lxs_low_eq_fc(f);
            r.t[ref_engine::LF] = f;
        } else if (p < 0.09f) {
            const float g = -20.0f + 40.0f * uni(rng);
            e.lxs_high_eq_gain(g);
            r.t[ref_engine::HG] = g;
        } else if (p < 0.11f) {
            const float f = 4000.0f * std::pow(2.0f, uni(rng));
            e.lxs_high_eq_fc(f);
            r.t[ref_engine::HF] = f;
        } else if (p < 0.15f) {
            const float g = uni(rng) < 0.2f ? 0.0f : -20.0f + 40.0f * uni(rng);
            e.lxs_mid_gain(g);
            r.t[ref_engine::MG] = g;
        } else if (p < 0.17f) {
            const float f = 200.0f * std::pow(20.0f, uni(rng));
            e.lxs_mid_freq(f);
            r.t[ref_engine::MF] = f;
        } else if (p < 0.19f) {
            const float b = 0.5f + 1.5f * uni(rng);
            e.lxs_mid_bandwidth(b);
            r.t[ref_engine::MB] = b;
        } else if (p < 0.21f) {
            const float g = -12.0f + 24.0f * uni(rng);
            e.lxs_output_gain(g);
            r.t[ref_engine::OUT] = g;
        } else if (p < 0.235f) {
            const bool on = !r.eq_in_request;
            e.lxs_eq_in_value(on);
            r.eq_in_request = on;
        } else if (p < 0.24f) {
            e.lx_clear();
            r.design_set();
        } else if (p < 0.242f) {
            const float fs = rates[rng() % 4];
            e.lx_srate(fs);
            r.srate = fs;
            if (uni(rng) < 0.7f) {
                e.lx_init();
                r.init();
            }
        }

        const int n = uni(rng) < 0.5f ? lx_max_chunk : 1 + int(rng() % lx_max_chunk);
        // Mostly noise; stretches of silence and of values around the flush
        // threshold so that decays to exact zero are compared too.
        const int kind = int(rng() % 8);
        // Half the chunks go through lx_prc_block, the rest frame by frame.
        const bool block = rng() % 2 == 0;
        float in_l[lx_max_chunk], in_r[lx_max_chunk], el[lx_max_chunk], er[lx_max_chunk];
        for (int i = 0; i < n; ++i) {
            if (kind == 0) {
                in_l[i] = in_r[i] = 0.0f;
            } else if (kind == 1) {
                in_l[i] = 1e-32f * (uni(rng) * 2.0f - 0.5f);
                in_r[i] = std::nextafter(1e-32f, uni(rng) < 0.5f ? 0.0f : 1.0f);
            } else {
                in_l[i] = noise(rng);
                in_r[i] = noise(rng);
            }
        }
        e.lx_recalc(n);
        r.recalc(n);
        if (block) {
            e.lx_prc_block(in_l, in_r, el, er, n);
        } else {
            for (int i = 0; i < n; ++i)
                e.lx_prc(in_l[i], in_r[i], &el[i], &er[i]);
        }
        for (int i = 0; i < n; ++i) {
            float rl, rr;
            r.prc(in_l[i], in_r[i], &rl, &rr);
            ASSERT_EQ(bits(el[i]), bits(rl)) << "left, chunk " << c << " frame " << i << (block ? " block" : "");
            ASSERT_EQ(bits(er[i]), bits(rr)) << "right, chunk " << c << " frame " << i << (block ? " block" : "");
            ++checked;
        }
    }
    EXPECT_GT(checked, chunks * 20L);
}

TEST(ScalarReference, RandomSessionsBitExact)
{
    for (unsigned seed : {1u, 2u, 3u, 4u})
        run_session(seed, 6000);
}

}  // namespace
