#pragma once

// A band's pair of second-order sections, left and right, with the
// per-sample arithmetic done for both channels in one SSE register.
//
// The two channels of a band always receive the same coefficient set (every
// design is applied to left and right together and both are stepped on the
// same frames), so the set in use, its target, increments and ramp counter
// are held once. The set in use and the increments are stored broadcast to
// all four lanes so the per-sample code reads them as vector operands;
// memories are per channel: lane 0 left, lane 1 right, lanes 2 and 3 unused
// and always zero. Each lane performs exactly the scalar section's
// operations in the scalar order, so the result is bit for bit that of a
// plain single-precision section per channel.
//
// Thread: everything here runs on the audio thread (or before processing
// starts); no allocation, no lock.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <xmmintrin.h>
#include <emmintrin.h>

#include "dsp/lx_coefs.h"

// Magnitudes below 1e-32 are replaced by 0.0 so that silence decays to exact
// zeros, never to denormals. The test is "|v| < 1e-32 in double precision";
// 1e-32f is the smallest float not below 1e-32 (double), so the single-
// precision test |v| < 1e-32f gives the same answer for every float. On the
// bit pattern of |v| (sign cleared) the order of non-negative floats is the
// integer order, and NaN patterns lie above every finite one, so NaN passes.
constexpr float lx_flush_threshold = 1e-32f;
constexpr int32_t lx_flush_threshold_bits = 0x0a4fb11f;  // bit pattern of 1e-32f

inline __m128 lx_flush(__m128 v)
{
    const __m128i bits = _mm_castps_si128(v);
    const __m128i mag = _mm_and_si128(bits, _mm_set1_epi32(0x7fffffff));
    const __m128i keep = _mm_cmpgt_epi32(mag, _mm_set1_epi32(lx_flush_threshold_bits - 1));
    return _mm_castsi128_ps(_mm_and_si128(bits, keep));
}

// Lanes of a stereo vector.
enum lx_lane : int { lx_lane_left = 0, lx_lane_right = 1, lx_lanes_used = 2 };

struct lx_flt {
    // Set in use for the next sample, all lanes equal.
    __m128 fb1, fb2, b0, b1, b2;
    // Memories per channel: x[n-1], x[n-2], y[n-1], y[n-2].
    __m128 x1, x2, y1, y2;
    // Per-sample increments while a ramp runs, all lanes equal.
    __m128 fb1_inc, fb2_inc, b0_inc, b1_inc, b2_inc;
    // Target set: the most recent design.
    float fb1_tgt, fb2_tgt, b0_tgt, b1_tgt, b2_tgt;
    // Samples left in the ramp; 0 when steady (then the set in use equals
    // the target set exactly).
    int32_t ramp_left;
};

// Full reset: every field zero.
inline void lx_flt_reset(lx_flt& f)
{
    std::memset(&f, 0, sizeof f);
}

// Clears the memories of one channel; coefficients and ramp stay.
inline void lx_flt_clear_memories(lx_flt& f, int lane)
{
    f.x1[lane] = 0.0f;
    f.x2[lane] = 0.0f;
    f.y1[lane] = 0.0f;
    f.y2[lane] = 0.0f;
}

inline bool lx_flt_memories_finite(const lx_flt& f, int lane)
{
    return std::isfinite(f.x1[lane]) && std::isfinite(f.x2[lane]) && std::isfinite(f.y1[lane]) &&
           std::isfinite(f.y2[lane]);
}

// Applies a set at once: set in use and target set; no ramp. Memories stay.
inline void lx_flt_set(lx_flt& f, const lx_coefs& c)
{
    f.fb1 = _mm_set1_ps(c.fb1);
    f.fb2 = _mm_set1_ps(c.fb2);
    f.b0 = _mm_set1_ps(c.b0);
    f.b1 = _mm_set1_ps(c.b1);
    f.b2 = _mm_set1_ps(c.b2);
    f.fb1_tgt = c.fb1;
    f.fb2_tgt = c.fb2;
    f.b0_tgt = c.b0;
    f.b1_tgt = c.b1;
    f.b2_tgt = c.b2;
    f.ramp_left = 0;
}

// Applies a set as a linear ramp over n samples (n >= 1), starting from the
// set in use, also when an earlier ramp has not finished. The ramp is stepped
// by lx_flt_run after each sample; the step that ends it snaps to the target.
inline void lx_flt_ramp(lx_flt& f, const lx_coefs& c, int n)
{
    const float nf = static_cast<float>(n);
    f.fb1_tgt = c.fb1;
    f.fb2_tgt = c.fb2;
    f.b0_tgt = c.b0;
    f.b1_tgt = c.b1;
    f.b2_tgt = c.b2;
    f.fb1_inc = _mm_set1_ps((c.fb1 - _mm_cvtss_f32(f.fb1)) / nf);
    f.fb2_inc = _mm_set1_ps((c.fb2 - _mm_cvtss_f32(f.fb2)) / nf);
    f.b0_inc = _mm_set1_ps((c.b0 - _mm_cvtss_f32(f.b0)) / nf);
    f.b1_inc = _mm_set1_ps((c.b1 - _mm_cvtss_f32(f.b1)) / nf);
    f.b2_inc = _mm_set1_ps((c.b2 - _mm_cvtss_f32(f.b2)) / nf);
    f.ramp_left = n;
}

// The set in use, read from the left lane.
inline lx_coefs lx_flt_coefs(const lx_flt& f)
{
    return lx_coefs{_mm_cvtss_f32(f.fb1), _mm_cvtss_f32(f.fb2), _mm_cvtss_f32(f.b0), _mm_cvtss_f32(f.b1),
                    _mm_cvtss_f32(f.b2)};
}

// One sample's output of both channels' sections: x holds left in lane 0
// and right in lane 1, x1 x2 y1 y2 the section's memories. Computes
// y = b0 x + b1 x1 + b2 x2 + fb1 y1 + fb2 y2 summed left to right, then
// flushes it. The memories are passed by value: the caller shifts them, so
// that a chain of sections may share the memories that are one section's
// output and the next one's input.
inline __m128 lx_flt_out(const lx_flt& f, __m128 x, __m128 x1, __m128 x2, __m128 y1, __m128 y2)
{
    __m128 y = _mm_mul_ps(f.b0, x);
    y = _mm_add_ps(y, _mm_mul_ps(f.b1, x1));
    y = _mm_add_ps(y, _mm_mul_ps(f.b2, x2));
    y = _mm_add_ps(y, _mm_mul_ps(f.fb1, y1));
    y = _mm_add_ps(y, _mm_mul_ps(f.fb2, y2));
    return lx_flush(y);
}

// Steps the ramp once, after a sample has been computed with the set in use.
inline void lx_flt_step_ramp(lx_flt& f)
{
    if (f.ramp_left == 0)
        return;
    if (--f.ramp_left == 0) {
        f.fb1 = _mm_set1_ps(f.fb1_tgt);
        f.fb2 = _mm_set1_ps(f.fb2_tgt);
        f.b0 = _mm_set1_ps(f.b0_tgt);
        f.b1 = _mm_set1_ps(f.b1_tgt);
        f.b2 = _mm_set1_ps(f.b2_tgt);
    } else {
        f.fb1 = _mm_add_ps(f.fb1, f.fb1_inc);
        f.fb2 = _mm_add_ps(f.fb2, f.fb2_inc);
        f.b0 = _mm_add_ps(f.b0, f.b0_inc);
        f.b1 = _mm_add_ps(f.b1, f.b1_inc);
        f.b2 = _mm_add_ps(f.b2, f.b2_inc);
    }
}

// Whether b's input memories are bit for bit a's output memories, as they are whenever
// both sections have been stepped together since their last reset.
inline bool lx_flt_chained(const lx_flt& a, const lx_flt& b)
{
    const __m128i eq1 = _mm_cmpeq_epi32(_mm_castps_si128(a.y1), _mm_castps_si128(b.x1));
    const __m128i eq2 = _mm_cmpeq_epi32(_mm_castps_si128(a.y2), _mm_castps_si128(b.x2));
    return _mm_movemask_epi8(_mm_and_si128(eq1, eq2)) == 0xffff;
}
