#pragma once

// Helpers shared by the engine's tests: an independent evaluation of a
// section's response, white-box access to the engine and signal measures.

#include <cmath>
#include <complex>
#include <vector>

#include "dsp/CLFx.h"
#include "dsp/lx_coefs.h"

constexpr double test_pi = 3.14159265358979323846;

// |H(e^jw)| in dB of y = b0 x + b1 x1 + b2 x2 + fb1 y1 + fb2 y2, in double.
inline double response_db(const lx_coefs& k, double f_hz, double fs_hz)
{
    const std::complex<double> z1 = std::polar(1.0, -2.0 * test_pi * f_hz / fs_hz);
    const std::complex<double> z2 = z1 * z1;
    const std::complex<double> num = double(k.b0) + double(k.b1) * z1 + double(k.b2) * z2;
    const std::complex<double> den = 1.0 - double(k.fb1) * z1 - double(k.fb2) * z2;
    return 20.0 * std::log10(std::abs(num / den));
}

// Largest pole magnitude of 1 - fb1 z^-1 - fb2 z^-2.
inline double pole_radius(const lx_coefs& k)
{
    const std::complex<double> disc = double(k.fb1) * k.fb1 + 4.0 * k.fb2;
    const std::complex<double> root = std::sqrt(disc);
    return std::max(std::abs((double(k.fb1) + root) / 2.0), std::abs((double(k.fb1) - root) / 2.0));
}

// White-box view of an engine's state (declared a friend by CLFx).
struct CLFxProbe {
    static const lx_flt& low(const CLFx& e) { return e.low_flt; }
    static const lx_flt& mid(const CLFx& e) { return e.mid_flt; }
    static const lx_flt& high(const CLFx& e) { return e.high_flt; }
    static const lx_mix_smoother& mix_l(const CLFx& e) { return e.mix_l; }
    static float low_eq_gain(const CLFx& e) { return e.low_eq_gain; }
    static float low_eq_fc(const CLFx& e) { return e.low_eq_fc; }
    static float mid_gain(const CLFx& e) { return e.mid_gain; }
    static float output_gain(const CLFx& e) { return e.output_gain; }
    static float out_gain_l_value(const CLFx& e) { return e.out_gain_l.value; }
};

inline bool same_vector(__m128 a, __m128 b)
{
    for (int i = 0; i < 4; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

inline bool same_memories(const lx_flt& a, const lx_flt& b)
{
    return same_vector(a.xm, b.xm) && same_vector(a.ym, b.ym);
}

// Both channels' memories (x[n-1], x[n-2], y[n-1], y[n-2]) are zero.
inline bool memories_zero(const lx_flt& f)
{
    return same_vector(f.xm, _mm_setzero_ps()) && same_vector(f.ym, _mm_setzero_ps());
}

// Runs one chunk of n frames through the engine the way the effect does.
inline void run_chunk(CLFx& e, const float* in_l, const float* in_r, float* out_l, float* out_r, int n)
{
    e.lx_recalc(n);
    for (int i = 0; i < n; ++i)
        e.lx_prc(in_l[i], in_r[i], &out_l[i], &out_r[i]);
}

// Runs a whole signal (same on both channels) in 64-frame chunks; returns
// the left output.
inline std::vector<float> run_signal(CLFx& e, const std::vector<float>& in, std::vector<float>* right = nullptr)
{
    std::vector<float> out_l(in.size()), out_r(in.size());
    for (size_t pos = 0; pos < in.size(); pos += lx_max_chunk) {
        const int n = static_cast<int>(std::min<size_t>(lx_max_chunk, in.size() - pos));
        run_chunk(e, &in[pos], &in[pos], &out_l[pos], &out_r[pos], n);
    }
    if (right)
        *right = out_r;
    return out_l;
}

inline std::vector<float> sine(double f_hz, double fs_hz, size_t frames, double amplitude = 0.5)
{
    std::vector<float> s(frames);
    for (size_t i = 0; i < frames; ++i)
        s[i] = static_cast<float>(amplitude * std::sin(2.0 * test_pi * f_hz * double(i) / fs_hz));
    return s;
}

// Level of a steady sine in dB relative to amplitude 1, from the samples
// [from, end): amplitude by least squares against sine and cosine at f_hz.
inline double sine_level_db(const std::vector<float>& s, double f_hz, double fs_hz, size_t from)
{
    double ss = 0, sc = 0, cc = 0, xs = 0, xc = 0;
    for (size_t i = from; i < s.size(); ++i) {
        const double ph = 2.0 * test_pi * f_hz * double(i) / fs_hz;
        const double sv = std::sin(ph), cv = std::cos(ph);
        ss += sv * sv;
        cc += cv * cv;
        sc += sv * cv;
        xs += s[i] * sv;
        xc += s[i] * cv;
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det;
    const double b = (xc * ss - xs * sc) / det;
    return 20.0 * std::log10(std::hypot(a, b));
}
