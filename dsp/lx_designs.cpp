#include "dsp/lx_designs.h"

#include <cmath>

namespace {

constexpr double two_pi = 6.283185307179586;

// ln(2)/2: turns a bandwidth in octaves into the sinh argument of the
// analogue constant-Q relation Q = 1 / (2 sinh(ln2/2 * bw)).
constexpr double half_ln2 = 0.3465736;

// pi squared as the single-precision constant of the Nyquist-gain formula.
constexpr float pi_squared = 9.869604f;

// Rounds a double-precision square root of a (double) quotient to single.
float sqrt_ratio(float num, float den)
{
    return static_cast<float>(std::sqrt(static_cast<double>(num) / static_cast<double>(den)));
}

float sqrt_product(float a, float b)
{
    return static_cast<float>(std::sqrt(static_cast<double>(a) * static_cast<double>(b)));
}

float sqrt_d(float v)
{
    return static_cast<float>(std::sqrt(static_cast<double>(v)));
}

float angle(float f_hz, float fs_hz)
{
    return static_cast<float>(two_pi * static_cast<double>(f_hz) / static_cast<double>(fs_hz));
}

struct shelf_terms {
    float A;     // amplitude factor, 10^(gain/40)
    float cosw;  // cos(w0)
    float beta;  // 2 sqrt(A) alpha for shelf slope 1
};

shelf_terms shelf(float fc_hz, float gain_db, float fs_hz)
{
    shelf_terms t;
    const float w0 = angle(lx_shelf_corner(fc_hz, fs_hz), fs_hz);
    float sinw;
    ::sincosf(w0, &sinw, &t.cosw);
    t.A = ::powf(10.0f, gain_db * 0.025f);
    const float Am1 = t.A - 1.0f;
    // Equals sin(w0) * sqrt(2A); kept in this form for its rounding.
    t.beta = sinw * ::sqrtf((t.A * t.A + 1.0f) - Am1 * Am1);
    return t;
}

}  // namespace

float lx_shelf_corner(float fc_hz, float fs_hz)
{
    const float ceiling = lx_max_design_fraction * fs_hz;
    if (fc_hz < lx_min_shelf_fc)
        return lx_min_shelf_fc;
    if (fc_hz > ceiling)
        return ceiling;
    return fc_hz;
}

float lx_peq_freq(float f_hz, float fs_hz)
{
    const float ceiling = lx_max_design_fraction * fs_hz;
    return f_hz > ceiling ? ceiling : f_hz;
}

float lx_peq_gain(float gain_db)
{
    if (gain_db >= 0.0f && gain_db < lx_peq_min_gain_db)
        return lx_peq_min_gain_db;
    if (gain_db < 0.0f && gain_db > -lx_peq_min_gain_db)
        return -lx_peq_min_gain_db;
    return gain_db;
}

lx_coefs lx_low_shelf_coefs(float fc_hz, float gain_db, float fs_hz)
{
    const shelf_terms t = shelf(fc_hz, gain_db, fs_hz);
    const float A = t.A, c = t.cosw, beta = t.beta;
    const float a0 = (A + 1.0f) + (A - 1.0f) * c + beta;
    lx_coefs k;
    k.b0 = A * ((A + 1.0f) - (A - 1.0f) * c + beta) / a0;
    k.b1 = 2.0f * A * ((A - 1.0f) - (A + 1.0f) * c) / a0;
    k.b2 = A * ((A + 1.0f) - (A - 1.0f) * c - beta) / a0;
    k.fb1 = 2.0f * ((A - 1.0f) + (A + 1.0f) * c) / a0;
    k.fb2 = -((A + 1.0f) + (A - 1.0f) * c - beta) / a0;
    return k;
}

lx_coefs lx_high_shelf_coefs(float fc_hz, float gain_db, float fs_hz)
{
    const shelf_terms t = shelf(fc_hz, gain_db, fs_hz);
    const float A = t.A, c = t.cosw, beta = t.beta;
    const float a0 = (A + 1.0f) - (A - 1.0f) * c + beta;
    lx_coefs k;
    k.b0 = A * ((A + 1.0f) + (A - 1.0f) * c + beta) / a0;
    k.b1 = -2.0f * A * ((A - 1.0f) + (A + 1.0f) * c) / a0;
    k.b2 = A * ((A + 1.0f) + (A - 1.0f) * c - beta) / a0;
    k.fb1 = -2.0f * ((A - 1.0f) - (A + 1.0f) * c) / a0;
    k.fb2 = -((A + 1.0f) - (A - 1.0f) * c - beta) / a0;
    return k;
}

lx_coefs lx_peq_coefs(float f_hz, float gain_db, float bw_oct, float fs_hz)
{
    // 1-4: peak gain, angle and analogue Q.
    const float g = lx_peq_gain(gain_db);
    const float G = static_cast<float>(std::pow(10.0, static_cast<double>(g) * 0.05));
    const float w0 = angle(lx_peq_freq(f_hz, fs_hz), fs_hz);
    const float Q = 1.0f / (2.0f * static_cast<float>(std::sinh(half_ln2 * static_cast<double>(bw_oct))));

    // 5-6: Nyquist gain of the analogue prototype; bandwidth gain GB^2 = G G1.
    const float w02 = w0 * w0;
    const float Q2 = Q * Q;
    const float dn = w02 - pi_squared;
    const float dn2 = dn * dn;
    const float G1 = sqrt_ratio(G * w02 * pi_squared / Q2 + dn2, w02 * pi_squared / (Q2 * G) + dn2);
    const float G2 = G * G;
    const float GB2 = G * G1;
    const float G12 = G1 * G1;

    // 7: magnitudes.
    const float G00 = std::fabs(G2 - 1.0f);
    const float F = std::fabs(G2 - GB2);
    const float F00 = std::fabs(GB2 - 1.0f);
    const float G11 = std::fabs(G2 - G12);
    const float F11 = std::fabs(GB2 - G12);
    const float G01 = std::fabs(G2 - G1);
    const float F01 = std::fabs(GB2 - G1);

    // 8-10: prewarped centre and bandwidth.
    const float tw = ::tanf(w0 * 0.5f);
    const float W2 = sqrt_ratio(G11, G00) * (tw * tw);
    const float dw = (w0 / (Q * sqrt_d(G))) * sqrt_ratio(GB2 - G2, 1.0f - GB2);
    const float DW = (1.0f + sqrt_ratio(F00, F11) * W2) * ::tanf(dw * 0.5f);

    // 11-12.
    const float C = F11 * (DW * DW) - 2.0f * W2 * (F01 - sqrt_product(F00, F11));
    const float D = 2.0f * W2 * (G01 - sqrt_product(G00, G11));
    const float Aq = sqrt_ratio(C + D, F);
    const float Bq = sqrt_ratio(G2 * C + GB2 * D, F);

    // 13.
    const float n = 1.0f / (1.0f + W2 + Aq);
    lx_coefs k;
    k.b0 = (G1 + W2 + Bq) * n;
    k.b1 = -2.0f * (G1 - W2) * n;
    k.b2 = (G1 + W2 - Bq) * n;
    k.fb1 = 2.0f * (1.0f - W2) * n;
    k.fb2 = (Aq - 1.0f - W2) * n;
    return k;
}
