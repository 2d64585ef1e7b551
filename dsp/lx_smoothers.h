#pragma once

// The engine's two smoother kinds: a linear gain ramp across a chunk (input
// and output trims) and the exponential equaliser-in crossfade. Both are
// stepped once per processed frame on the audio thread.

#include <cmath>
#include <cstdint>

// Linear trim: the frame is scaled by `value`; a ramp started by lx_recalc
// ends exactly on `target` after `left` frames.
struct lx_gain_smoother {
    float value;   // linear gain for the next frame
    float target;  // linear gain the ramp ends on
    float inc;     // per-frame increment while ramping
    int32_t left;  // frames left in the ramp, 0 when steady
};

// Returns the gain for this frame, then advances the ramp.
inline float lx_gain_step(lx_gain_smoother& g)
{
    const float applied = g.value;
    if (g.left != 0) {
        g.value += g.inc;
        if (--g.left == 0)
            g.value = g.target;
    }
    return applied;
}

// Sets the gain at once (linear), no ramp.
inline void lx_gain_set(lx_gain_smoother& g, float gain)
{
    g = lx_gain_smoother{};
    g.value = gain;
    g.target = gain;
}

// Ramps to `target` (linear) over n frames; at once when n < 1.
inline void lx_gain_ramp(lx_gain_smoother& g, float target, int n)
{
    if (n < 1) {
        lx_gain_set(g, target);
        return;
    }
    g.target = target;
    g.inc = (target - g.value) / static_cast<float>(n);
    g.left = n;
}

// Where a fade snaps onto its target: the per-frame coefficient 3/(0.02 fs)
// brings the value within e^-3 ~ 0.0498 of it after 20 ms.
constexpr float lx_mix_snap = 0.05f;
constexpr float lx_mix_fade_seconds = 0.02f;

// Equaliser-in crossfade: weight of the processed signal, 0 (dry) to 1.
struct lx_mix_smoother {
    float rise;    // approach coefficient while target > 0.5
    float fall;    // approach coefficient otherwise
    float value;   // weight of the processed signal
    float target;  // 1.0 or 0.0
    bool settled;  // value has snapped onto target
};

// Per-frame approach coefficient for a fade of lx_mix_fade_seconds at fs_hz.
inline float lx_mix_coefficient(float fs_hz)
{
    return 3.0f * (1.0f / (lx_mix_fade_seconds * fs_hz));
}

// One frame of the fade; call only while not settled.
inline void lx_mix_step(lx_mix_smoother& m)
{
    if (m.target > 0.5f)
        m.value = m.value + m.rise * (1.0f - m.value);
    else
        m.value = m.value - m.fall * m.value;
    if (std::fabs(m.value - m.target) < lx_mix_snap) {
        m.value = m.target;
        m.settled = true;
    }
}

// Settled at `weight` (1.0 or 0.0) with coefficients for fs_hz.
inline void lx_mix_settle(lx_mix_smoother& m, float fs_hz, float weight)
{
    m.rise = m.fall = lx_mix_coefficient(fs_hz);
    m.value = weight;
    m.target = weight;
    m.settled = true;
}

// Starts a fade towards `weight` from the current value.
inline void lx_mix_start(lx_mix_smoother& m, float fs_hz, float weight)
{
    m.rise = m.fall = lx_mix_coefficient(fs_hz);
    m.target = weight;
    m.settled = false;
}
