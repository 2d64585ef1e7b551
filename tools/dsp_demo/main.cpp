// ze710-dsp-demo: runs the equaliser engine on a generated stereo signal
// (four sine tones over quiet noise, 48 kHz) the way the plug-in drives it
// (lx_recalc per 64-frame chunk, lx_prc per frame) and prints the settings
// and each tone's level before and after.

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "dsp/CLFx.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double rate_hz = 48000.0;
constexpr size_t frames = 2 * 48000;
constexpr double tone_amplitude = 0.1;
constexpr double tones_hz[] = {60.0, 1000.0, 2000.0, 12000.0};
constexpr double noise_rms = 0.003;

// The equaliser settings of the demo.
constexpr float low_fc_hz = 150.0f, low_gain_db = 9.0f;
constexpr float mid_hz = 1000.0f, mid_gain_db = -10.0f, mid_bw_oct = 1.0f;
constexpr float high_fc_hz = 8000.0f, high_gain_db = 0.0f;

// Level of the tone at f_hz in dB re full scale (amplitude 1), by a least-
// squares fit of a sine and a cosine over the second half of the signal.
double tone_db(const std::vector<float>& s, double f_hz)
{
    double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0;
    for (size_t i = s.size() / 2; i < s.size(); ++i) {
        const double ph = 2.0 * pi * f_hz * double(i) / rate_hz;
        const double sv = std::sin(ph), cv = std::cos(ph);
        ss += sv * sv;
        cc += cv * cv;
        sc += sv * cv;
        xs += s[i] * sv;
        xc += s[i] * cv;
    }
    const double det = ss * cc - sc * sc;
    return 20.0 * std::log10(std::hypot((xs * cc - xc * sc) / det, (xc * ss - xs * sc) / det));
}

}  // namespace

int main()
{
    std::vector<float> in(frames), out_l(frames), out_r(frames);
    std::mt19937 rng(710);
    std::normal_distribution<float> noise(0.0f, static_cast<float>(noise_rms));
    for (size_t i = 0; i < frames; ++i) {
        double v = 0.0;
        for (double f : tones_hz)
            v += tone_amplitude * std::sin(2.0 * pi * f * double(i) / rate_hz);
        in[i] = static_cast<float>(v) + noise(rng);
    }

    CLFx eq;
    eq.lx_srate(static_cast<float>(rate_hz));
    eq.lxs_low_eq_fc(low_fc_hz);
    eq.lxs_low_eq_gain(low_gain_db);
    eq.lxs_mid_freq(mid_hz);
    eq.lxs_mid_gain(mid_gain_db);
    eq.lxs_mid_bandwidth(mid_bw_oct);
    eq.lxs_high_eq_fc(high_fc_hz);
    eq.lxs_high_eq_gain(high_gain_db);
    eq.lxs_eq_in_value(true);
    eq.lx_init();

    for (size_t pos = 0; pos < frames; pos += lx_max_chunk) {
        const int n = static_cast<int>(std::min<size_t>(lx_max_chunk, frames - pos));
        eq.lx_recalc(n);
        for (int i = 0; i < n; ++i)
            eq.lx_prc(in[pos + i], in[pos + i], &out_l[pos + i], &out_r[pos + i]);
    }

    std::printf("ZE710 equaliser engine demo: %.0f Hz, %zu stereo frames in %d-frame chunks\n", rate_hz, frames,
                lx_max_chunk);
    std::printf("signal: tones at %.0f, %.0f, %.0f and %.0f Hz (each %.1f dBFS) over noise at %.1f dBFS rms\n",
                tones_hz[0], tones_hz[1], tones_hz[2], tones_hz[3], 20.0 * std::log10(tone_amplitude),
                20.0 * std::log10(noise_rms));
    std::printf("settings: low shelf %+.1f dB at %.0f Hz; mid band %+.1f dB at %.0f Hz, %.2f octave;\n"
                "          high shelf %+.1f dB at %.0f Hz; equaliser in\n",
                low_gain_db, low_fc_hz, mid_gain_db, mid_hz, mid_bw_oct, high_gain_db, high_fc_hz);
    std::printf("%10s %12s %12s %12s\n", "tone Hz", "before dB", "after dB", "change dB");
    for (double f : tones_hz) {
        const double before = tone_db(in, f);
        const double after = tone_db(out_l, f);
        std::printf("%10.0f %12.2f %12.2f %+12.2f\n", f, before, after, after - before);
    }
    std::printf("left and right outputs %s\n", out_l == out_r ? "identical" : "DIFFER");
    return out_l == out_r ? 0 : 1;
}
