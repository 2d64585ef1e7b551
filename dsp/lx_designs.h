#pragma once

#include "dsp/lx_coefs.h"

// The three band designs: pure functions of the physical values, called from
// CLFx::lx_recalc (audio thread, at most once per band per chunk) and from the
// initialisation operations. No allocation, no lock, no state.
//
// Precision is part of the design: the shelves compute in single precision
// (the angle is formed in double and rounded); the mid band evaluates pow,
// sinh and its square roots in double, rounding each result to single, and
// tan in single.

// Highest design frequency as a fraction of the sample rate. At fs/2 the
// shelves degenerate to a double pole at z = -1 (in single precision just
// outside the unit circle: the section grows without bound) and the mid
// band's ratios divide by zero. The range the effect hands in reaches this
// only at rates of about 9 kHz and less (mid band at 4 kHz) or 18 kHz and
// less (high shelf at 8 kHz).
constexpr float lx_max_design_fraction = 0.45f;

// Lowest shelf corner, Hz.
constexpr float lx_min_shelf_fc = 1.0f;

// The mid band's gain dead zone, dB: |g| below this is designed as +/- this,
// which keeps the peak gain away from 1, where the design divides by zero.
constexpr float lx_peq_min_gain_db = 0.025f;

// Shelf corner clamped to [lx_min_shelf_fc, lx_max_design_fraction * fs], Hz.
float lx_shelf_corner(float fc_hz, float fs_hz);

// Mid centre frequency clamped to at most lx_max_design_fraction * fs, Hz.
float lx_peq_freq(float f_hz, float fs_hz);

// Mid gain after the dead zone, dB.
float lx_peq_gain(float gain_db);

// Low shelf, Audio EQ Cookbook, shelf slope 1: gain_db at DC, half of it (in
// dB) at the corner, 0 dB at Nyquist.
lx_coefs lx_low_shelf_coefs(float fc_hz, float gain_db, float fs_hz);

// High shelf, Audio EQ Cookbook, shelf slope 1: 0 dB at DC, half the gain at
// the corner, gain_db at Nyquist.
lx_coefs lx_high_shelf_coefs(float fc_hz, float gain_db, float fs_hz);

// Mid peaking band after Orfanidis (JAES 45(6), 1997): unity at DC, gain_db at
// f_hz, the analogue constant-Q prototype's gain at Nyquist, bw_oct octaves
// wide between the half-gain (in dB) points.
lx_coefs lx_peq_coefs(float f_hz, float gain_db, float bw_oct, float fs_hz);
