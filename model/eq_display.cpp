#include "model/eq_display.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "model/eq_params.h"

namespace {

float clamp01(float v) { return v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : v); }

// The unit a value text carries after its number.
const char* unit_of(int param)
{
    switch (param) {
    case kEqHfGain:
    case kEqLfGain:
    case kEqMidGain: return " dB";
    case kEqMidFreq:
    case kEqLfFreq:
    case kEqHfFreq: return " Hz";
    case kEqMidBw: return " Oct";
    default: return nullptr;
    }
}

void copy_bounded(char* out, size_t size, const char* text)
{
    const size_t n = strnlen(text, size - 1);
    std::memcpy(out, text, n);
    out[n] = 0;
}

}  // namespace

void eq_display_text(int param, float normalised, char* out, size_t size)
{
    if (!out || size == 0 || param < 0 || param >= kEqNumParams)
        return;
    char buf[128];
    if (const char* unit = unit_of(param)) {
        const double shown = static_cast<double>(eq_physical_of(param, normalised));
        const int n = std::snprintf(buf, sizeof buf, "%.2f%s", shown, unit);
        if (n < 0 || static_cast<size_t>(n) >= size)
            std::snprintf(buf, sizeof buf, "%.3g%s", shown, unit);
    } else if (param == kEqEffect) {
        std::snprintf(buf, sizeof buf, "%s", normalised > 0.5f ? "In " : "Out");
    } else {
        std::snprintf(buf, sizeof buf, "X %.2f", static_cast<double>(1.0f + clamp01(normalised)));
    }
    copy_bounded(out, size, buf);
}

bool eq_value_of_text(int param, const char* text, float* normalised)
{
    if (!text || !normalised || param < 0 || param >= kEqNumParams)
        return false;
    while (*text == ' ')
        ++text;
    if (param == kEqEffect && (!strncasecmp(text, "in", 2) || !strncasecmp(text, "out", 3))) {
        *normalised = (text[0] == 'i' || text[0] == 'I') ? 1.0f : 0.0f;
        return true;
    }
    if (param == kEqUiSize && (text[0] == 'X' || text[0] == 'x'))
        ++text;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || !std::isfinite(value))
        return false;
    float v;
    if (param == kEqEffect)
        v = value > 0.5 ? 1.0f : 0.0f;
    else if (param == kEqUiSize)
        v = static_cast<float>(value) - 1.0f;
    else
        v = eq_normalised_of(param, static_cast<float>(value));
    if (!std::isfinite(v))
        return false;
    *normalised = clamp01(v);
    return true;
}
