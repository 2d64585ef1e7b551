#include "dsp/CLFx.h"

#include <cmath>

#include "dsp/lx_designs.h"

namespace {

constexpr std::memory_order relaxed = std::memory_order_relaxed;

// A freshly constructed engine: 44.1 kHz, every band flat (0 dB) at its
// default corner or centre.
constexpr float default_srate = 44100.0f;
constexpr float default_high_fc_hz = 8000.0f;
constexpr float default_low_fc_hz = 100.0f;
constexpr float default_mid_hz = 2500.0f;
constexpr float default_mid_bw_oct = 1.25f;

// Glide law: each chunk closes this fraction of the remaining distance...
constexpr float glide_fraction = 0.1f;
// ...and a step smaller than this (in the parameter's own unit) snaps onto
// the target.
constexpr double glide_snap = 0.001;

// Linear amplitude of a trim in dB, single precision.
float trim_gain(float gain_db)
{
    return ::powf(10.0f, gain_db / 20.0f);
}

}  // namespace

CLFx::CLFx()
    : srate(default_srate),
      high_eq_gain(0.0f),
      low_eq_gain(0.0f),
      high_eq_fc(default_high_fc_hz),
      low_eq_fc(default_low_fc_hz),
      mid_gain(0.0f),
      mid_freq(default_mid_hz),
      mid_bandwidth(default_mid_bw_oct),
      input_gain(0.0f),
      output_gain(0.0f),
      high_eq_gain_target(high_eq_gain),
      low_eq_gain_target(low_eq_gain),
      high_eq_fc_target(high_eq_fc),
      low_eq_fc_target(low_eq_fc),
      mid_gain_target(mid_gain),
      mid_freq_target(mid_freq),
      mid_bandwidth_target(mid_bandwidth),
      input_gain_target(input_gain),
      output_gain_target(output_gain),
      low_flt(),
      high_flt(),
      mid_flt(),
      in_gain_l(),
      in_gain_r(),
      out_gain_l(),
      out_gain_r(),
      mix_l(),
      mix_r(),
      eq_in(true),
      eq_in_request(true),
      at_rest(false),
      rest_unity(false),
      rest_g_in(),
      rest_g_out(),
      rest_mix(),
      rest_dry()
{
    design_all_set();
    lx_gain_set(in_gain_l, 1.0f);
    lx_gain_set(in_gain_r, 1.0f);
    lx_gain_set(out_gain_l, 1.0f);
    lx_gain_set(out_gain_r, 1.0f);
    lx_mix_settle(mix_l, default_srate, 1.0f);
    lx_mix_settle(mix_r, default_srate, 1.0f);
    mix_l.rise = mix_l.fall = mix_r.rise = mix_r.fall = 3.0f / (lx_mix_fade_seconds * default_srate);
    update_rest();
}

void CLFx::update_rest()
{
    const bool trims_steady = in_gain_l.left == 0 && in_gain_r.left == 0 && out_gain_l.left == 0 &&
                              out_gain_r.left == 0;
    const bool bypassed = mix_l.value < 0.5f && mix_r.value < 0.5f;
    at_rest = trims_steady && mix_l.settled && mix_r.settled && !bypassed;
    rest_g_in = _mm_setr_ps(in_gain_l.value, in_gain_r.value, 0.0f, 0.0f);
    rest_g_out = _mm_setr_ps(out_gain_l.value, out_gain_r.value, 0.0f, 0.0f);
    rest_mix = _mm_setr_ps(mix_l.value, mix_r.value, 0.0f, 0.0f);
    rest_dry = _mm_sub_ps(_mm_set1_ps(1.0f), rest_mix);
    rest_unity = at_rest && in_gain_l.value == 1.0f && in_gain_r.value == 1.0f && out_gain_l.value == 1.0f &&
                 out_gain_r.value == 1.0f && mix_l.value == 1.0f && mix_r.value == 1.0f;
}

CLFx::~CLFx() = default;

// A non-finite target would glide every later value of its band to NaN
// and silence the output for good, so such a value is ignored and the
// previous target stays.
void CLFx::store_target(std::atomic<float>& target, float value)
{
    if (std::isfinite(value))
        target.store(value, relaxed);
}

void CLFx::lxs_eq_in_value(bool on) { eq_in_request.store(on, relaxed); }
void CLFx::lxs_low_eq_gain(float gain_db) { store_target(low_eq_gain_target, gain_db); }
void CLFx::lxs_high_eq_gain(float gain_db) { store_target(high_eq_gain_target, gain_db); }
void CLFx::lxs_low_eq_fc(float fc_hz) { store_target(low_eq_fc_target, fc_hz); }
void CLFx::lxs_high_eq_fc(float fc_hz) { store_target(high_eq_fc_target, fc_hz); }
void CLFx::lxs_mid_freq(float f_hz) { store_target(mid_freq_target, f_hz); }
void CLFx::lxs_mid_gain(float gain_db) { store_target(mid_gain_target, gain_db); }
void CLFx::lxs_mid_bandwidth(float bw_oct) { store_target(mid_bandwidth_target, bw_oct); }
void CLFx::lxs_output_gain(float gain_db) { store_target(output_gain_target, gain_db); }

// Every design divides by the rate; a rate that is not a positive number is
// ignored and the previous one stays.
void CLFx::lx_srate(float fs_hz)
{
    if (std::isfinite(fs_hz) && fs_hz > 0.0f)
        srate = fs_hz;
}

// Resets all six sections and designs them from the smoothed values.
void CLFx::design_all_set()
{
    lx_flt_reset(low_flt);
    lx_flt_reset(high_flt);
    lx_flt_reset(mid_flt);
    lx_flt_set(low_flt, lx_low_shelf_coefs(low_eq_fc, low_eq_gain, srate));
    lx_flt_set(high_flt, lx_high_shelf_coefs(high_eq_fc, high_eq_gain, srate));
    lx_flt_set(mid_flt, lx_peq_coefs(mid_freq, mid_gain, mid_bandwidth, srate));
}

void CLFx::lx_init_flts()
{
    high_eq_gain = high_eq_gain_target.load(relaxed);
    low_eq_gain = low_eq_gain_target.load(relaxed);
    high_eq_fc = high_eq_fc_target.load(relaxed);
    low_eq_fc = low_eq_fc_target.load(relaxed);
    mid_gain = mid_gain_target.load(relaxed);
    mid_freq = mid_freq_target.load(relaxed);
    mid_bandwidth = mid_bandwidth_target.load(relaxed);
    input_gain = input_gain_target.load(relaxed);
    output_gain = output_gain_target.load(relaxed);

    design_all_set();

    lx_gain_set(in_gain_l, trim_gain(input_gain));
    lx_gain_set(in_gain_r, trim_gain(input_gain));
    lx_gain_set(out_gain_l, trim_gain(output_gain));
    lx_gain_set(out_gain_r, trim_gain(output_gain));
    update_rest();
}

void CLFx::lx_init()
{
    lx_init_flts();
    // The state asked for, not the one in force: an engine told "out" before
    // it starts passes its input untouched from the first frame, instead of
    // fading out of an equalised start for 20 ms.
    eq_in = eq_in_request.load(relaxed);
    const float weight = eq_in ? 1.0f : 0.0f;
    lx_mix_settle(mix_l, srate, weight);
    lx_mix_settle(mix_r, srate, weight);
    update_rest();
}

void CLFx::lx_clear()
{
    design_all_set();
}

float CLFx::parameter_interp(float target, float current, int* counter)
{
    if (current == target)
        return target;
    ++*counter;
    const float step = (target - current) * glide_fraction;
    if (std::fabs(static_cast<double>(step)) < glide_snap)
        return target;
    return current + step;
}

void CLFx::lx_recalc(int n)
{
    // A non-finite value (an input sample, or an overflow of an extreme
    // one) would otherwise stay in a section's memories for good and
    // silence that channel; clear that section's memories of that channel
    // so the output recovers from this chunk on. Coefficients and ramps are
    // untouched; with ordinary input nothing changes.
    lx_flt* const sections[] = {&low_flt, &mid_flt, &high_flt};
    for (lx_flt* f : sections) {
        for (int lane = lx_lane_left; lane < lx_lanes_used; ++lane) {
            if (!lx_flt_memories_finite(*f, lane))
                lx_flt_clear_memories(*f, lane);
        }
    }

    int counter = 0;
    low_eq_fc = parameter_interp(low_eq_fc_target.load(relaxed), low_eq_fc, &counter);
    low_eq_gain = parameter_interp(low_eq_gain_target.load(relaxed), low_eq_gain, &counter);
    if (counter != 0)
        lx_flt_ramp(low_flt, lx_low_shelf_coefs(low_eq_fc, low_eq_gain, srate), n);

    counter = 0;
    high_eq_fc = parameter_interp(high_eq_fc_target.load(relaxed), high_eq_fc, &counter);
    high_eq_gain = parameter_interp(high_eq_gain_target.load(relaxed), high_eq_gain, &counter);
    if (counter != 0)
        lx_flt_ramp(high_flt, lx_high_shelf_coefs(high_eq_fc, high_eq_gain, srate), n);

    counter = 0;
    mid_freq = parameter_interp(mid_freq_target.load(relaxed), mid_freq, &counter);
    mid_gain = parameter_interp(mid_gain_target.load(relaxed), mid_gain, &counter);
    mid_bandwidth = parameter_interp(mid_bandwidth_target.load(relaxed), mid_bandwidth, &counter);
    if (counter != 0)
        lx_flt_ramp(mid_flt, lx_peq_coefs(mid_freq, mid_gain, mid_bandwidth, srate), n);

    counter = 0;
    output_gain = parameter_interp(output_gain_target.load(relaxed), output_gain, &counter);
    if (counter != 0) {
        lx_gain_ramp(out_gain_l, trim_gain(output_gain), n);
        lx_gain_ramp(out_gain_r, trim_gain(output_gain), n);
    }

    counter = 0;
    input_gain = parameter_interp(input_gain_target.load(relaxed), input_gain, &counter);
    if (counter != 0) {
        lx_gain_ramp(in_gain_l, trim_gain(input_gain), n);
        lx_gain_ramp(in_gain_r, trim_gain(input_gain), n);
    }

    apply_eq_in_request();
    update_rest();
}

// The in/out switch: a fade starts from wherever the crossfade stands; only
// leaving the fully bypassed state resets the filters first, so processing
// never resumes from stale memories or half-finished glides.
void CLFx::apply_eq_in_request()
{
    const bool request = eq_in_request.load(relaxed);
    if (request == eq_in)
        return;
    if (request && mix_l.settled && mix_l.value < 0.5f && mix_r.settled && mix_r.value < 0.5f)
        lx_init_flts();
    eq_in = request;
    const float weight = request ? 1.0f : 0.0f;
    lx_mix_start(mix_l, srate, weight);
    lx_mix_start(mix_r, srate, weight);
}
