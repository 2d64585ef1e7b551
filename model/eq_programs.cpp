#include "model/eq_programs.h"

#include <cstdio>

namespace {

struct FactoryPreset {
    const char* name_format;  // formatted with the program's number, 1..9
    float hf_gain, lf_gain, mid_gain;  // normalised
    float hf_hz, lf_hz, mid_hz;        // stored as knob fractions of their bands
    float mid_bw, effect;              // normalised
};

const FactoryPreset kFactory[kEqNumPrograms - kEqNumUserPrograms] = {
    {"%02d Low End Boost", 0.395f, 0.7375f, 0.315f, 5656.85f, 136.36f, 205.0f, 1.0f, 1.0f},
    {"%02d Presence", 0.55275f, 0.6315f, 0.6315f, 5656.85f, 141.42f, 2492.49f, 1.0f, 1.0f},
    {"%02d Vocal Air", 0.6315f, 0.5525f, 0.658f, 5656.85f, 141.42f, 3416.53f, 1.0f, 1.0f},
    {"%02d Loudness", 0.60525f, 0.658f, 0.5f, 4005.0f, 102.0f, 894.42f, 0.5f, 1.0f},
    {"%02d Hollow Mid", 0.5f, 0.684f, 0.342f, 5656.85f, 141.42f, 515.09f, 1.0f, 1.0f},
};

}  // namespace

bool eq_program(int program, EqProgramValues* values, char* name, size_t name_size)
{
    if (program < 0 || program >= kEqNumPrograms)
        return false;
    if (program < kEqNumUserPrograms) {
        for (int p = 0; p < kEqNumSoundParams; ++p)
            values->v[p] = eq_default_of(p);
        std::snprintf(name, name_size, "%02d User Preset %d", program + 1, program + 1);
        return true;
    }
    const FactoryPreset& f = kFactory[program - kEqNumUserPrograms];
    values->v[kEqHfGain] = f.hf_gain;
    values->v[kEqLfGain] = f.lf_gain;
    values->v[kEqMidGain] = f.mid_gain;
    values->v[kEqHfFreq] = eq_fraction_of_freq(kEqHfMinHz, kEqHfMaxHz, f.hf_hz);
    values->v[kEqLfFreq] = eq_fraction_of_freq(kEqLfMinHz, kEqLfMaxHz, f.lf_hz);
    values->v[kEqMidFreq] = eq_fraction_of_freq(kEqMidMinHz, kEqMidMaxHz, f.mid_hz);
    values->v[kEqMidBw] = f.mid_bw;
    values->v[kEqEffect] = f.effect;
    std::snprintf(name, name_size, f.name_format, program + 1);
    return true;
}
