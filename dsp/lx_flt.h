#pragma once

// A band's pair of second-order sections, left and right, computed for both
// channels in one SSE register.
//
// The two channels of a band always receive the same coefficient set (every
// design is applied to left and right together and both are stepped on the
// same frames), so the set in use, its target, increments and ramp counter
// are held once. Signals are stereo vectors: lane 0 left, lane 1 right.
// Memories and the coefficients that multiply them are packed two to a
// register, so one multiply serves both delays:
//   xm = {x1 left, x1 right, x2 left, x2 right}   b12  = {b1, b1, b2, b2}
//   ym = {y1 left, y1 right, y2 left, y2 right}   fb12 = {fb1, fb1, fb2, fb2}
// Lanes 0 and 1 of every result perform exactly the scalar section's
// operations in the scalar order, so the output is bit for bit that of a
// plain single-precision section per channel; lanes 2 and 3 of a section's
// output carry by-products that are never stored.
//
// Thread: everything here runs on the audio thread (or before processing
// starts); no allocation, no lock.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <emmintrin.h>
#include <xmmintrin.h>

#include "dsp/lx_coefs.h"
#include "dsp/lx_flush.h"

// Channels, as lanes of a stereo vector; the second delay of a packed
// memory sits two lanes higher.
enum lx_lane : int { lx_lane_left = 0, lx_lane_right = 1, lx_lanes_used = 2, lx_delay2 = 2 };

struct lx_flt {
    // Set in use for the next sample: b0 in every lane, b12 and fb12 packed.
    __m128 b0, b12, fb12;
    // Memories, packed: xm = {x1 L, x1 R, x2 L, x2 R}, ym likewise for y.
    __m128 xm, ym;
    // Per-sample increments while a ramp runs, packed like the set.
    __m128 b0_inc, b12_inc, fb12_inc;
    // Target set: the most recent design.
    float fb1_tgt, fb2_tgt, b0_tgt, b1_tgt, b2_tgt;
    // Samples left in the ramp; 0 when steady (then the set in use equals
    // the target set exactly).
    int32_t ramp_left;
};

// {lo, lo, hi, hi}
inline __m128 lx_pack(float lo, float hi)
{
    return _mm_setr_ps(lo, lo, hi, hi);
}

// Full reset: every field zero.
inline void lx_flt_reset(lx_flt& f)
{
    std::memset(&f, 0, sizeof f);
}

// Clears the memories of one channel; coefficients and ramp stay.
inline void lx_flt_clear_memories(lx_flt& f, int lane)
{
    f.xm[lane] = f.xm[lane + lx_delay2] = 0.0f;
    f.ym[lane] = f.ym[lane + lx_delay2] = 0.0f;
}

inline bool lx_flt_memories_finite(const lx_flt& f, int lane)
{
    return std::isfinite(f.xm[lane]) && std::isfinite(f.xm[lane + lx_delay2]) && std::isfinite(f.ym[lane]) &&
           std::isfinite(f.ym[lane + lx_delay2]);
}

// Applies a set at once: set in use and target set; no ramp. Memories stay.
inline void lx_flt_set(lx_flt& f, const lx_coefs& c)
{
    f.b0 = _mm_set1_ps(c.b0);
    f.b12 = lx_pack(c.b1, c.b2);
    f.fb12 = lx_pack(c.fb1, c.fb2);
    f.fb1_tgt = c.fb1;
    f.fb2_tgt = c.fb2;
    f.b0_tgt = c.b0;
    f.b1_tgt = c.b1;
    f.b2_tgt = c.b2;
    f.ramp_left = 0;
}

// The set in use.
inline lx_coefs lx_flt_coefs(const lx_flt& f)
{
    return lx_coefs{f.fb12[0], f.fb12[lx_delay2], f.b0[0], f.b12[0], f.b12[lx_delay2]};
}

// Applies a set as a linear ramp over n samples, starting from the
// set in use, also when an earlier ramp has not finished. The ramp is stepped
// after each sample (lx_flt_step_ramp); the step that ends it snaps to the
// target.
inline void lx_flt_ramp(lx_flt& f, const lx_coefs& c, int n)
{
    if (n < 1) {
        // No sample left to ramp over.
        lx_flt_set(f, c);
        return;
    }
    const float nf = static_cast<float>(n);
    const lx_coefs now = lx_flt_coefs(f);
    f.fb1_tgt = c.fb1;
    f.fb2_tgt = c.fb2;
    f.b0_tgt = c.b0;
    f.b1_tgt = c.b1;
    f.b2_tgt = c.b2;
    f.b0_inc = _mm_set1_ps((c.b0 - now.b0) / nf);
    f.b12_inc = lx_pack((c.b1 - now.b1) / nf, (c.b2 - now.b2) / nf);
    f.fb12_inc = lx_pack((c.fb1 - now.fb1) / nf, (c.fb2 - now.fb2) / nf);
    f.ramp_left = n;
}

// One sample's output of both channels' sections: x holds left in lane 0
// and right in lane 1, xm and ym the section's packed memories. Computes
// y = b0 x + b1 x1 + b2 x2 + fb1 y1 + fb2 y2 summed left to right, then
// flushes it. The memories are passed by value and shifted by the caller
// (lx_flt_shift), so that a chain of sections may share the memories that
// are one section's output and the next one's input.
inline __m128 lx_flt_out(const lx_flt& f, __m128 x, __m128 xm, __m128 ym)
{
    const __m128 bx = _mm_mul_ps(f.b12, xm);   // {b1 x1, b1 x1, b2 x2, b2 x2}
    const __m128 fy = _mm_mul_ps(f.fb12, ym);  // {fb1 y1, fb1 y1, fb2 y2, fb2 y2}
    __m128 y = _mm_mul_ps(f.b0, x);
    y = _mm_add_ps(y, bx);
    y = _mm_add_ps(y, _mm_movehl_ps(bx, bx));
    y = _mm_add_ps(y, fy);
    y = _mm_add_ps(y, _mm_movehl_ps(fy, fy));
    return lx_flush(y);
}

// Shifts a packed memory: the new first delay is v (lanes 0 and 1), the old
// first delay becomes the second.
inline __m128 lx_flt_shift(__m128 v, __m128 m)
{
    return _mm_movelh_ps(v, m);
}

// Steps the ramp once, after a sample has been computed with the set in use.
inline void lx_flt_step_ramp(lx_flt& f)
{
    if (f.ramp_left == 0)
        return;
    if (--f.ramp_left == 0) {
        f.b0 = _mm_set1_ps(f.b0_tgt);
        f.b12 = lx_pack(f.b1_tgt, f.b2_tgt);
        f.fb12 = lx_pack(f.fb1_tgt, f.fb2_tgt);
    } else {
        f.b0 = _mm_add_ps(f.b0, f.b0_inc);
        f.b12 = _mm_add_ps(f.b12, f.b12_inc);
        f.fb12 = _mm_add_ps(f.fb12, f.fb12_inc);
    }
}

// Whether b's input memories are bit for bit a's output memories, as they
// are whenever both sections have been stepped together since their last
// reset.
inline bool lx_flt_chained(const lx_flt& a, const lx_flt& b)
{
    const __m128i eq = _mm_cmpeq_epi32(_mm_castps_si128(a.ym), _mm_castps_si128(b.xm));
    return _mm_movemask_epi8(eq) == 0xffff;
}
