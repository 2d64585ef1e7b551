#pragma once

// CLFx: the equaliser's DSP engine, one per plug-in instance.
//
// Stereo signal path per frame: input trim, low shelf, mid band, high shelf,
// output trim, then the equaliser-in crossfade against the dry input.
// Setters only record targets; lx_recalc, once per chunk of at most 64
// frames, moves every smoothed value one glide step (10 % of the remaining
// distance), redesigns the bands whose values moved as coefficient ramps
// spanning the coming chunk, ramps the trims and handles the in/out switch.
//
// Threads: the lxs_* setters may run on any thread at any time (lock-free
// relaxed atomics, never blocking). Everything else rewrites state of the
// audio path and must not run concurrently with itself: lx_recalc and lx_prc
// on the audio thread, lx_srate, lx_init and lx_clear from start-up,
// sample-rate, suspend and stop handlers. None of them allocates, locks or
// makes a system call.
//
// Calling order: construct; lx_srate; the setters; lx_init. Then for each
// chunk of N frames (1..64): lx_recalc(N), then exactly N calls of lx_prc.

#include <atomic>
#include <xmmintrin.h>

#include "dsp/lx_flt.h"
#include "dsp/lx_smoothers.h"

// Largest chunk the engine is driven with, frames.
constexpr int lx_max_chunk = 64;

class CLFx {
public:
    CLFx();
    ~CLFx();
    CLFx(const CLFx&) = delete;
    CLFx& operator=(const CLFx&) = delete;

    // Any thread; stored as targets, picked up by the next lx_recalc.
    void lxs_eq_in_value(bool on);
    void lxs_low_eq_gain(float gain_db);
    void lxs_high_eq_gain(float gain_db);
    void lxs_low_eq_fc(float fc_hz);
    void lxs_high_eq_fc(float fc_hz);
    void lxs_mid_freq(float f_hz);
    void lxs_mid_gain(float gain_db);
    void lxs_mid_bandwidth(float bw_oct);
    void lxs_output_gain(float gain_db);

    // Stores the rate only; designs, crossfade and trims follow at lx_init.
    void lx_srate(float fs_hz);
    // Every value jumps to its target, sections and trims reset, crossfades
    // settle at the equaliser-in state in force.
    void lx_init();
    // Every value jumps to its target, sections and trims reset and set.
    void lx_init_flts();
    // Sections reset and redesigned from the smoothed values; glides,
    // trims and crossfades continue (suspend/stop).
    void lx_clear();

    // Audio thread, once before each chunk of n frames (1..64).
    void lx_recalc(int n);
    // Audio thread, once per frame.
    inline void lx_prc(float in_l, float in_r, float* out_l, float* out_r);

    // One glide step from current towards target; increments *counter when
    // the value moves. Uses no member data.
    float parameter_interp(float target, float current, int* counter);

private:
    void design_all_set();
    void apply_eq_in_request();

    float srate;

    // Smoothed values (audio thread).
    float high_eq_gain;   // dB
    float low_eq_gain;    // dB
    float high_eq_fc;     // Hz
    float low_eq_fc;      // Hz
    float mid_gain;       // dB
    float mid_freq;       // Hz
    float mid_bandwidth;  // octaves
    float input_gain;     // dB
    float output_gain;    // dB

    // Targets, written by the setters on any thread.
    std::atomic<float> high_eq_gain_target;
    std::atomic<float> low_eq_gain_target;
    std::atomic<float> high_eq_fc_target;
    std::atomic<float> low_eq_fc_target;
    std::atomic<float> mid_gain_target;
    std::atomic<float> mid_freq_target;
    std::atomic<float> mid_bandwidth_target;
    std::atomic<float> input_gain_target;  // no setter: stays 0 dB
    std::atomic<float> output_gain_target;

    // Left and right sections of each band (lanes 0 and 1).
    lx_flt low_flt;
    lx_flt high_flt;
    lx_flt mid_flt;

    lx_gain_smoother in_gain_l;
    lx_gain_smoother in_gain_r;
    lx_gain_smoother out_gain_l;
    lx_gain_smoother out_gain_r;

    lx_mix_smoother mix_l;
    lx_mix_smoother mix_r;

    bool eq_in;
    std::atomic<bool> eq_in_request;

    friend struct CLFxProbe;  // white-box access for the engine's tests
};

inline void CLFx::lx_prc(float in_l, float in_r, float* out_l, float* out_r)
{
    // Dry signal: the flushed input pair, left in lane 0, right in lane 1.
    const __m128 dry = lx_flush(_mm_unpacklo_ps(_mm_set_ss(in_l), _mm_set_ss(in_r)));

    if (!mix_l.settled)
        lx_mix_step(mix_l);
    if (!mix_r.settled)
        lx_mix_step(mix_r);
    if (mix_l.settled && mix_l.value < 0.5f && mix_r.settled && mix_r.value < 0.5f) {
        // Fully bypassed: nothing else is stepped, ramps stay pending.
        _mm_store_ss(out_l, dry);
        _mm_store_ss(out_r, _mm_shuffle_ps(dry, dry, _MM_SHUFFLE(1, 1, 1, 1)));
        return;
    }

    const float gin_l = lx_gain_step(in_gain_l);
    const float gin_r = lx_gain_step(in_gain_r);
    __m128 x = _mm_mul_ps(dry, _mm_unpacklo_ps(_mm_set_ss(gin_l), _mm_set_ss(gin_r)));
    x = lx_flt_run(low_flt, x);
    x = lx_flt_run(mid_flt, x);
    x = lx_flt_run(high_flt, x);

    const float gout_l = lx_gain_step(out_gain_l);
    const float gout_r = lx_gain_step(out_gain_r);
    const __m128 gout = _mm_unpacklo_ps(_mm_set_ss(gout_l), _mm_set_ss(gout_r));
    const __m128 mix = _mm_unpacklo_ps(_mm_set_ss(mix_l.value), _mm_set_ss(mix_r.value));
    const __m128 wet = _mm_mul_ps(_mm_mul_ps(x, gout), mix);
    const __m128 out = _mm_add_ps(wet, _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(1.0f), mix), dry));
    _mm_store_ss(out_l, out);
    _mm_store_ss(out_r, _mm_shuffle_ps(out, out, _MM_SHUFFLE(1, 1, 1, 1)));
}
