#include "model/eq_driver.h"

#include <cmath>

#include "dsp/CLFx.h"
#include "model/eq_params.h"

bool eq_sample_rate_ok(float rate_hz)
{
    return std::isfinite(rate_hz) && rate_hz >= kEqMinSampleRate && rate_hz <= kEqMaxSampleRate;
}

void eq_apply(CLFx& dsp, int param, float value)
{
    switch (param) {
    case kEqHfGain: dsp.lxs_high_eq_gain(value); break;
    case kEqLfGain: dsp.lxs_low_eq_gain(value); break;
    case kEqMidFreq: dsp.lxs_mid_freq(value); break;
    case kEqMidGain: dsp.lxs_mid_gain(value); break;
    case kEqLfFreq: dsp.lxs_low_eq_fc(value); break;
    case kEqHfFreq: dsp.lxs_high_eq_fc(value); break;
    case kEqMidBw: dsp.lxs_mid_bandwidth(value); break;
    case kEqEffect: dsp.lxs_eq_in_value(value > 0.5f); break;
    default: break;
    }
}

void eq_prime(CLFx& dsp, float rate_hz)
{
    dsp.lx_srate(rate_hz);
    dsp.lxs_eq_in_value(true);
    dsp.lxs_high_eq_gain(0.0f);
    dsp.lxs_low_eq_gain(0.0f);
    dsp.lxs_mid_gain(0.0f);
    dsp.lxs_mid_bandwidth(1.25f);
    dsp.lxs_low_eq_fc(eq_physical_of(kEqLfFreq, eq_default_of(kEqLfFreq)));
    dsp.lxs_high_eq_fc(eq_physical_of(kEqHfFreq, eq_default_of(kEqHfFreq)));
    dsp.lxs_mid_freq(eq_physical_of(kEqMidFreq, eq_default_of(kEqMidFreq)));
    dsp.lx_init();
}

void eq_start(CLFx& dsp, float rate_hz, const float engine_values[kEqNumSoundParams])
{
    eq_prime(dsp, rate_hz);
    for (int param = 0; param < kEqNumSoundParams; ++param)
        eq_apply(dsp, param, engine_values[param]);
    dsp.lx_init();
}

void eq_process(CLFx& dsp, const float* in_l, const float* in_r, float* out_l, float* out_r, long frames)
{
    long done = 0;
    while (done < frames) {
        const long chunk = frames - done < lx_max_chunk ? frames - done : lx_max_chunk;
        dsp.lx_recalc(static_cast<int>(chunk));
        // Exactly `chunk` frames, with the filter state kept in registers.
        dsp.lx_prc_block(in_l + done, in_r + done, out_l + done, out_r + done, static_cast<int>(chunk));
        done += chunk;
    }
}

void eq_process_events(CLFx& dsp, const float* in_l, const float* in_r, float* out_l, float* out_r,
                       long frames, EqEventCursor& events)
{
    long done = 0;
    while (done < frames) {
        long at = events.next_frame();
        for (; at <= done; at = events.next_frame())
            events.apply_next(dsp);
        const long until = at < frames ? at : frames;
        eq_process(dsp, in_l + done, in_r + done, out_l + done, out_r + done, until - done);
        done = until;
    }
    while (events.next_frame() != EqEventCursor::kNoEvent)
        events.apply_next(dsp);
}
