// The engine driver both plug-in formats share, so that the same values
// give the same sound by construction: how a parameter reaches CLFx, how
// the engine is primed, and how host blocks are cut into the engine's
// chunks.
#pragma once

class CLFx;

// Sample rates the engine accepts, Hz. Far below, the in/out crossfade's
// per-frame step passes 1 and diverges (about 150 Hz); far above, the low
// shelf's poles sit within rounding of z = 1.
constexpr float kEqMinSampleRate = 8000.0f;
constexpr float kEqMaxSampleRate = 768000.0f;
bool eq_sample_rate_ok(float rate_hz);

// Any thread (CLFx's setters are lock-free): hands one engine value (see
// eq_engine_value) of a sound parameter to the engine's setter; for the
// Effect switch the equaliser is in when the value is above 0.5. Other
// indices do nothing.
void eq_apply(CLFx& dsp, int param, float engine_value);

// Start-up: the rate, every parameter at its default, settled (no glide).
void eq_prime(CLFx& dsp, float rate_hz);

// Audio thread: no allocation, no lock, no system call. Replacing; the
// frames are cut into chunks of at most 64, each one lx_recalc and then
// the chunk's frames. Both inputs of a frame are read before its outputs
// are written, so in and out may be the same buffers.
void eq_process(CLFx& dsp, const float* in_l, const float* in_r, float* out_l, float* out_r, long frames);
