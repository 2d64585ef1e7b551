#pragma once

#include <cstdint>
#include <emmintrin.h>
#include <xmmintrin.h>

// Magnitudes below 1e-32 are replaced by 0.0 so that silence decays to exact
// zeros, never to denormals. The test is "|v| < 1e-32 in double precision";
// 1e-32f is the smallest float not below 1e-32 (double), so the single-
// precision test |v| < 1e-32f gives the same answer for every float. On the
// bit pattern of |v| (sign cleared) the order of non-negative floats is the
// integer order, and NaN patterns lie above every finite one, so NaN passes.
constexpr int32_t lx_flush_threshold_bits = 0x0a4fb11f;  // bit pattern of 1e-32f

inline __m128 lx_flush(__m128 v)
{
    const __m128i bits = _mm_castps_si128(v);
    const __m128i mag = _mm_and_si128(bits, _mm_set1_epi32(0x7fffffff));
    const __m128i keep = _mm_cmpgt_epi32(mag, _mm_set1_epi32(lx_flush_threshold_bits - 1));
    return _mm_castsi128_ps(_mm_and_si128(bits, keep));
}
