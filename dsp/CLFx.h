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
// chunk of N frames (1..64): lx_recalc(N), then exactly N calls of lx_prc,
// or one lx_prc_block over the N frames: the same output bit for bit, and
// cheaper, because the filter memories stay in registers for the chunk.

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

    // Any thread, never blocking; stored as targets, picked up by the next
    // lx_recalc. Non-finite values are ignored.
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
    // A rate that is not a positive number is ignored.
    void lx_srate(float fs_hz);
    // Every value jumps to its target, sections and trims reset, crossfades
    // settle at the equaliser-in state last asked for (lxs_eq_in_value).
    void lx_init();
    // Every value jumps to its target, sections and trims reset and set.
    void lx_init_flts();
    // Sections reset and redesigned from the smoothed values; glides,
    // trims and crossfades continue (suspend/stop).
    void lx_clear();

    // Audio thread, once before each chunk of n frames (1..64); ramps set
    // up here end after exactly n frames (n < 1: designs apply at once).
    void lx_recalc(int n);
    // Audio thread, once per frame.
    inline void lx_prc(float in_l, float in_r, float* out_l, float* out_r);
    // Audio thread: n consecutive frames, exactly as n calls of lx_prc, with
    // the filter state held in registers across the block. In and out may
    // be the same buffers.
    inline void lx_prc_block(const float* in_l, const float* in_r, float* out_l, float* out_r, int n);

    // One glide step from current towards target; increments *counter when
    // the value moves. Uses no member data.
    float parameter_interp(float target, float current, int* counter);

private:
    // x through low shelf, mid band and high shelf on the given packed
    // section memories; returns the high shelf's output. When `chained`, a
    // section's input memory is the previous section's output memory (the
    // same variable) and is shifted once, as the previous section's.
    // `ramps`: some section may be ramping (steps them after the sample).
    template <bool chained, bool ramps>
    inline __m128 lx_sections(__m128& low_xm, __m128& low_ym, __m128& mid_xm, __m128& mid_ym, __m128& high_xm,
                              __m128& high_ym, __m128 x);

    // One frame through the engine on the given packed section memories:
    // the sections' own fields (lx_prc) or local copies that lx_prc_block
    // keeps in registers (`chained` as for lx_sections). Coefficients and
    // ramps are always the engine's own.
    template <bool chained>
    inline void lx_frame(__m128& low_xm, __m128& low_ym, __m128& mid_xm, __m128& mid_ym, __m128& high_xm,
                         __m128& high_ym, lx_gain_smoother& gin_l, lx_gain_smoother& gin_r, lx_gain_smoother& gout_l,
                         lx_gain_smoother& gout_r, lx_mix_smoother& fade_l, lx_mix_smoother& fade_r, float in_l,
                         float in_r, float* out_l, float* out_r);

    // One frame while trims and crossfade are at rest (at_rest): their
    // values are the constants rest_*, and the operations are those of
    // lx_frame without its bookkeeping. `ramps`: some section may be
    // ramping. `unity`: trims and crossfade weight are exactly 1, so the
    // multiplications by them are left out (they would not change a bit).
    template <bool chained, bool ramps, bool unity>
    inline void lx_frame_at_rest(__m128& low_xm, __m128& low_ym, __m128& mid_xm, __m128& mid_ym, __m128& high_xm,
                                 __m128& high_ym, __m128 g_in, __m128 g_out, __m128 mix, __m128 dry_weight,
                                 float in_l, float in_r, float* out_l, float* out_r);
    template <bool ramps, bool unity>
    inline void lx_block_at_rest(const float* in_l, const float* in_r, float* out_l, float* out_r, int n);

    static void store_target(std::atomic<float>& target, float value);
    void design_all_set();
    void apply_eq_in_request();
    void update_rest();

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

    // True while no trim ramps and the crossfade is settled on the processed
    // signal. Such a rest lasts at least until the next lx_recalc, so it is
    // worked out there and wherever else trims or crossfades are set; while
    // it holds, lx_prc uses the stereo constants below.
    bool at_rest;
    bool rest_unity;        // at rest with every trim and weight exactly 1
    __m128 rest_g_in;       // input trims, left and right
    __m128 rest_g_out;      // output trims
    __m128 rest_mix;        // crossfade weights of the processed signal
    __m128 rest_dry;        // 1 - rest_mix

    friend struct CLFxProbe;  // white-box access for the engine's tests
};

template <bool chained, bool ramps>
inline __m128 CLFx::lx_sections(__m128& low_xm, __m128& low_ym, __m128& mid_xm, __m128& mid_ym, __m128& high_xm,
                                __m128& high_ym, __m128 x)
{
    // Each ramp steps after its section's sample; memories shift once all
    // three outputs are known, so shared memories are read before written.
    const __m128 yl = lx_flt_out(low_flt, x, low_xm, low_ym);
    if (ramps)
        lx_flt_step_ramp(low_flt);
    const __m128 ym = lx_flt_out(mid_flt, yl, mid_xm, mid_ym);
    if (ramps)
        lx_flt_step_ramp(mid_flt);
    const __m128 yh = lx_flt_out(high_flt, ym, high_xm, high_ym);
    if (ramps)
        lx_flt_step_ramp(high_flt);
    low_xm = lx_flt_shift(x, low_xm);
    low_ym = lx_flt_shift(yl, low_ym);
    if (!chained)
        mid_xm = lx_flt_shift(yl, mid_xm);
    mid_ym = lx_flt_shift(ym, mid_ym);
    if (!chained)
        high_xm = lx_flt_shift(ym, high_xm);
    high_ym = lx_flt_shift(yh, high_ym);
    return yh;
}

template <bool chained>
inline void CLFx::lx_frame(__m128& low_xm, __m128& low_ym, __m128& mid_xm, __m128& mid_ym, __m128& high_xm,
                           __m128& high_ym, lx_gain_smoother& gin_l, lx_gain_smoother& gin_r,
                           lx_gain_smoother& gout_l, lx_gain_smoother& gout_r, lx_mix_smoother& fade_l,
                           lx_mix_smoother& fade_r, float in_l, float in_r, float* out_l, float* out_r)
{
    // Dry signal: the flushed input pair, left in lane 0, right in lane 1.
    const __m128 dry = lx_flush(_mm_unpacklo_ps(_mm_set_ss(in_l), _mm_set_ss(in_r)));

    if (!fade_l.settled)
        lx_mix_step(fade_l);
    if (!fade_r.settled)
        lx_mix_step(fade_r);
    if (fade_l.settled && fade_l.value < 0.5f && fade_r.settled && fade_r.value < 0.5f) {
        // Fully bypassed: nothing else is stepped, ramps stay pending.
        _mm_store_ss(out_l, dry);
        _mm_store_ss(out_r, _mm_shuffle_ps(dry, dry, _MM_SHUFFLE(1, 1, 1, 1)));
        return;
    }

    const float g_in_l = lx_gain_step(gin_l);
    const float g_in_r = lx_gain_step(gin_r);
    const __m128 x = _mm_mul_ps(dry, _mm_unpacklo_ps(_mm_set_ss(g_in_l), _mm_set_ss(g_in_r)));
    const __m128 yh = lx_sections<chained, true>(low_xm, low_ym, mid_xm, mid_ym, high_xm, high_ym, x);

    const float g_out_l = lx_gain_step(gout_l);
    const float g_out_r = lx_gain_step(gout_r);
    const __m128 g_out = _mm_unpacklo_ps(_mm_set_ss(g_out_l), _mm_set_ss(g_out_r));
    const __m128 mix = _mm_unpacklo_ps(_mm_set_ss(fade_l.value), _mm_set_ss(fade_r.value));
    const __m128 wet = _mm_mul_ps(_mm_mul_ps(yh, g_out), mix);
    const __m128 out = _mm_add_ps(wet, _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(1.0f), mix), dry));
    _mm_store_ss(out_l, out);
    _mm_store_ss(out_r, _mm_shuffle_ps(out, out, _MM_SHUFFLE(1, 1, 1, 1)));
}

template <bool chained, bool ramps, bool unity>
inline void CLFx::lx_frame_at_rest(__m128& low_xm, __m128& low_ym, __m128& mid_xm, __m128& mid_ym, __m128& high_xm,
                                   __m128& high_ym, __m128 g_in, __m128 g_out, __m128 mix, __m128 dry_weight,
                                   float in_l, float in_r, float* out_l, float* out_r)
{
    const __m128 dry = lx_flush(_mm_unpacklo_ps(_mm_set_ss(in_l), _mm_set_ss(in_r)));
    const __m128 x = unity ? dry : _mm_mul_ps(dry, g_in);
    const __m128 yh = lx_sections<chained, ramps>(low_xm, low_ym, mid_xm, mid_ym, high_xm, high_ym, x);
    const __m128 wet = unity ? yh : _mm_mul_ps(_mm_mul_ps(yh, g_out), mix);
    const __m128 out = _mm_add_ps(wet, _mm_mul_ps(dry_weight, dry));
    _mm_store_ss(out_l, out);
    _mm_store_ss(out_r, _mm_shuffle_ps(out, out, _MM_SHUFFLE(1, 1, 1, 1)));
}

template <bool ramps, bool unity>
inline void CLFx::lx_block_at_rest(const float* in_l, const float* in_r, float* out_l, float* out_r, int n)
{
    // Local copies: the output stores cannot alias them, so the compiler
    // keeps the four memories in registers from frame to frame instead of
    // going through memory on every sample's feedback path.
    __m128 xm = low_flt.xm, lm = low_flt.ym, mm = mid_flt.ym, hm = high_flt.ym;
    const __m128 g_in = rest_g_in, g_out = rest_g_out, mix = rest_mix, dry_weight = rest_dry;
    for (int i = 0; i < n; ++i)
        lx_frame_at_rest<true, ramps, unity>(xm, lm, lm, mm, mm, hm, g_in, g_out, mix, dry_weight, in_l[i], in_r[i],
                                             &out_l[i], &out_r[i]);
    low_flt.xm = xm;
    low_flt.ym = mid_flt.xm = lm;
    mid_flt.ym = high_flt.xm = mm;
    high_flt.ym = hm;
}

inline void CLFx::lx_prc(float in_l, float in_r, float* out_l, float* out_r)
{
    if (rest_unity) {
        lx_frame_at_rest<false, true, true>(low_flt.xm, low_flt.ym, mid_flt.xm, mid_flt.ym, high_flt.xm,
                                            high_flt.ym, rest_g_in, rest_g_out, rest_mix, rest_dry, in_l, in_r,
                                            out_l, out_r);
        return;
    }
    if (at_rest) {
        lx_frame_at_rest<false, true, false>(low_flt.xm, low_flt.ym, mid_flt.xm, mid_flt.ym, high_flt.xm,
                                             high_flt.ym, rest_g_in, rest_g_out, rest_mix, rest_dry, in_l, in_r,
                                             out_l, out_r);
        return;
    }
    lx_frame<false>(low_flt.xm, low_flt.ym, mid_flt.xm, mid_flt.ym, high_flt.xm, high_flt.ym, in_gain_l, in_gain_r,
                    out_gain_l, out_gain_r, mix_l, mix_r, in_l, in_r, out_l, out_r);
}

inline void CLFx::lx_prc_block(const float* in_l, const float* in_r, float* out_l, float* out_r, int n)
{
    // A section's input memory equals the previous section's output memory,
    // except right after lx_recalc has cleared one section's non-finite
    // memories alone; then run frame by frame.
    if (!lx_flt_chained(low_flt, mid_flt) || !lx_flt_chained(mid_flt, high_flt)) {
        for (int i = 0; i < n; ++i)
            lx_prc(in_l[i], in_r[i], &out_l[i], &out_r[i]);
        return;
    }
    if (at_rest) {
        // Ramps start only in lx_recalc, so none runs in this block when
        // none is running at its start.
        const bool ramps = low_flt.ramp_left != 0 || mid_flt.ramp_left != 0 || high_flt.ramp_left != 0;
        if (ramps)
            lx_block_at_rest<true, false>(in_l, in_r, out_l, out_r, n);
        else if (rest_unity)
            lx_block_at_rest<false, true>(in_l, in_r, out_l, out_r, n);
        else
            lx_block_at_rest<false, false>(in_l, in_r, out_l, out_r, n);
        return;
    }
    // Trims ramping, fading or bypassed: trims and crossfades step per
    // frame, on local copies like the memories.
    __m128 xm = low_flt.xm, lm = low_flt.ym, mm = mid_flt.ym, hm = high_flt.ym;
    lx_gain_smoother gin_l = in_gain_l, gin_r = in_gain_r, gout_l = out_gain_l, gout_r = out_gain_r;
    lx_mix_smoother fade_l = mix_l, fade_r = mix_r;
    for (int i = 0; i < n; ++i)
        lx_frame<true>(xm, lm, lm, mm, mm, hm, gin_l, gin_r, gout_l, gout_r, fade_l, fade_r, in_l[i], in_r[i],
                       &out_l[i], &out_r[i]);
    in_gain_l = gin_l;
    in_gain_r = gin_r;
    out_gain_l = gout_l;
    out_gain_r = gout_r;
    mix_l = fade_l;
    mix_r = fade_r;
    low_flt.xm = xm;
    low_flt.ym = mid_flt.xm = lm;
    mid_flt.ym = high_flt.xm = mm;
    high_flt.ym = hm;
}
