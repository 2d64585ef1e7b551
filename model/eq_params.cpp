#include "model/eq_params.h"

#include <cmath>

namespace {

float clamp01(float v) { return v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : v); }

}  // namespace

float eq_freq_of_fraction(float min_hz, float max_hz, float fraction)
{
    const float a = std::log10(min_hz);
    const float b = std::log10(max_hz);
    return std::pow(10.0f, a + (b - a) * fraction);
}

float eq_fraction_of_freq(float min_hz, float max_hz, float hz)
{
    const float a = std::log10(min_hz);
    const float b = std::log10(max_hz);
    const double lf = std::log10(static_cast<double>(hz));
    return static_cast<float>((lf - a) / (static_cast<double>(b) - a));
}

float eq_gain_db_of(float v) { return 40.0f * v - 20.0f; }
float eq_bandwidth_oct_of(float v) { return 1.5f * v + 0.5f; }

float eq_physical_of(int param, float v)
{
    switch (param) {
    case kEqHfGain:
    case kEqLfGain:
    case kEqMidGain: return eq_gain_db_of(v);
    case kEqMidFreq: return eq_freq_of_fraction(kEqMidMinHz, kEqMidMaxHz, v);
    case kEqLfFreq: return eq_freq_of_fraction(kEqLfMinHz, kEqLfMaxHz, v);
    case kEqHfFreq: return eq_freq_of_fraction(kEqHfMinHz, kEqHfMaxHz, v);
    case kEqMidBw: return eq_bandwidth_oct_of(v);
    default: return v;
    }
}

float eq_normalised_of(int param, float physical)
{
    switch (param) {
    case kEqHfGain:
    case kEqLfGain:
    case kEqMidGain: return (physical + 20.0f) / 40.0f;
    case kEqMidFreq: return eq_fraction_of_freq(kEqMidMinHz, kEqMidMaxHz, physical);
    case kEqLfFreq: return eq_fraction_of_freq(kEqLfMinHz, kEqLfMaxHz, physical);
    case kEqHfFreq: return eq_fraction_of_freq(kEqHfMinHz, kEqHfMaxHz, physical);
    case kEqMidBw: return (physical - 0.5f) / 1.5f;
    default: return physical;
    }
}

float eq_default_of(int param)
{
    return param == kEqEffect ? 1.0f : (param == kEqUiSize ? 0.0f : 0.5f);
}

float eq_engine_value(int param, float v)
{
    return eq_physical_of(param, clamp01(v));
}

float eq_engine_value_of_physical(int param, float physical)
{
    const float lo = eq_physical_of(param, 0.0f);
    const float hi = eq_physical_of(param, 1.0f);
    return physical < lo ? lo : (physical > hi ? hi : physical);
}
