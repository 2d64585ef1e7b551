// The equaliser's parameters as both plug-in formats expose them: the index
// order (VST 2 parameter index, LV2 control port order), the laws from a
// normalised value (0..1) to the physical value the engine takes (dB, Hz,
// octaves), and the defaults. Pure functions, no state, any thread.
#pragma once

enum EqParam {
    kEqHfGain = 0,  // dB, -20..20
    kEqLfGain,      // dB, -20..20
    kEqMidFreq,     // Hz, 200..4000, logarithmic
    kEqMidGain,     // dB, -20..20
    kEqLfFreq,      // Hz, 100..200, logarithmic
    kEqHfFreq,      // Hz, 4000..8000, logarithmic
    kEqMidBw,       // octaves, 0.5..2
    kEqEffect,      // equaliser in above 0.5
    kEqUiSize,      // editor scale 1 + v; no sound
    kEqNumParams,
};
// The eight parameters that shape the sound (and make up a program).
constexpr int kEqNumSoundParams = kEqUiSize;

// Band ranges of the frequency law, Hz.
constexpr float kEqLfMinHz = 100.0f, kEqLfMaxHz = 200.0f;
constexpr float kEqMidMinHz = 200.0f, kEqMidMaxHz = 4000.0f;
constexpr float kEqHfMinHz = 4000.0f, kEqHfMaxHz = 8000.0f;

// Frequency law, logarithmic between min_hz and max_hz, in single precision
// (the inverse in double, rounded once); neither direction clamps.
float eq_freq_of_fraction(float min_hz, float max_hz, float fraction);
float eq_fraction_of_freq(float min_hz, float max_hz, float hz);

float eq_gain_db_of(float v);        // 40 v - 20
float eq_bandwidth_oct_of(float v);  // 1.5 v + 0.5

// The physical value of parameter `param` at normalised v, unclamped: dB,
// Hz or octaves; v itself for the Effect switch and the UI size.
float eq_physical_of(int param, float v);
// The inverse: the normalised value of parameter `param` at a physical
// value, unclamped (an LV2 port value read back into the editor).
float eq_normalised_of(int param, float physical);
// Normalised value of a parameter at its default.
float eq_default_of(int param);

// What the engine receives. The engine is designed and proved stable for
// the normalised range 0..1 only (a gain of 40 v - 20 dB overflows the
// shelf design for large v, and far outside the range the sections' poles
// reach the unit circle), so a value outside it is held at the nearest
// end: from a normalised value (VST 2) ...
float eq_engine_value(int param, float v);
// ... or from a physical one (LV2), held between the physical values of
// 0 and 1. The laws are monotonic, so both give the same float for the
// same physical value. A NaN passes through: callers drop non-finite input.
float eq_engine_value_of_physical(int param, float physical);
