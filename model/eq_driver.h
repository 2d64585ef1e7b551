// The engine driver every plug-in format shares, so that the same values
// give the same sound by construction: how a parameter reaches CLFx, how
// the engine is primed, and how host blocks are cut into the engine's
// chunks.
#pragma once

#include <climits>

#include "model/eq_params.h"

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
// Start-up at `rate_hz` with the given values settled (no glide, filter
// memories clear): the engine as the VST 2 plug-in has it after a host set
// these values and then the sample rate. `engine_values` are what
// eq_engine_value gives, in parameter index order; for the Effect switch
// the value the engine is to follow (the host's bypass already applied).
void eq_start(CLFx& dsp, float rate_hz, const float engine_values[kEqNumSoundParams]);

// Audio thread: no allocation, no lock, no system call. Replacing; the
// frames are cut into chunks of at most 64, each one lx_recalc and then
// the chunk's frames. Both inputs of a frame are read before its outputs
// are written, so in and out may be the same buffers.
void eq_process(CLFx& dsp, const float* in_l, const float* in_r, float* out_l, float* out_r, long frames);

// A format's parameter changes within one block, as eq_process_events reads
// them: in frame order (a change out of order takes effect at once).
class EqEventCursor {
public:
    static constexpr long kNoEvent = LONG_MAX;
    // Frame of the next change within the block, kNoEvent when none is left.
    virtual long next_frame() = 0;
    // Hands that change to the engine (eq_apply) and moves past it.
    virtual void apply_next(CLFx& dsp) = 0;

protected:
    ~EqEventCursor() = default;
};

// Audio thread: no allocation, no lock, no system call. eq_process with
// sample-accurate changes: the frames up to a change's frame, the change,
// on from there, each stretch cut into chunks from its own start as
// eq_process cuts a block. A change at frame 0 applies before any audio; a
// change at or past `frames` applies after the block's audio.
void eq_process_events(CLFx& dsp, const float* in_l, const float* in_r, float* out_l, float* out_r,
                       long frames, EqEventCursor& events);
