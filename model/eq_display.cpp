#include "model/eq_display.h"

#include <strings.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "model/eq_params.h"

namespace {

float clamp01(float v) { return v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : v); }

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

// "%.2f" plus unit; the values are not limited, so "%.2f" of an extreme one
// could run to dozens of digits: such a value gets three significant digits.
void format_number(char* text, float value, const char* unit)
{
    char buf[128];
    const double shown = static_cast<double>(value);
    const int n = std::snprintf(buf, sizeof buf, "%.2f%s", shown, unit);
    if (n < 0 || n >= static_cast<int>(kEqDisplayTextBytes))
        std::snprintf(buf, sizeof buf, "%.3g%s", shown, unit);
    const size_t len = strnlen(buf, kEqDisplayTextBytes - 1);
    std::memcpy(text, buf, len);
    text[len] = 0;
}

const char* skip_spaces(const char* s)
{
    while (std::isspace(static_cast<unsigned char>(*s)))
        ++s;
    return s;
}

// Whether s, after spaces, is `word` (any case) and then only spaces.
bool is_word(const char* s, const char* word)
{
    s = skip_spaces(s);
    const size_t n = std::strlen(word);
    return strncasecmp(s, word, n) == 0 && *skip_spaces(s + n) == 0;
}

// A finite number, then nothing, or the unit (without its leading space).
bool read_number(const char* text, const char* unit, float* out)
{
    const char* start = skip_spaces(text);
    char* end = nullptr;
    const double v = std::strtod(start, &end);
    if (end == start || !std::isfinite(v) || std::fabs(v) > 3.0e38)
        return false;
    if (*skip_spaces(end) != 0 && !(unit && is_word(end, unit + 1)))
        return false;
    *out = static_cast<float>(v);
    return true;
}

}  // namespace

void eq_display_text(int param, float physical, char text[kEqDisplayTextBytes])
{
    if (const char* unit = unit_of(param)) {
        format_number(text, physical, unit);
    } else if (param == kEqEffect) {
        std::strcpy(text, physical > 0.5f ? "In " : "Out");
    } else if (param == kEqUiSize) {
        std::snprintf(text, kEqDisplayTextBytes, "X %.2f", static_cast<double>(1.0f + clamp01(physical)));
    } else {
        text[0] = 0;
    }
}

bool eq_physical_of_text(int param, const char* text, float* physical)
{
    if (!text || !physical)
        return false;
    if (const char* unit = unit_of(param))
        return read_number(text, unit, physical);
    if (param != kEqEffect)
        return false;
    float v;
    if (is_word(text, "in"))
        v = 1.0f;
    else if (is_word(text, "out"))
        v = 0.0f;
    else if (read_number(text, nullptr, &v))
        v = v > 0.5f ? 1.0f : 0.0f;
    else
        return false;
    *physical = v;
    return true;
}
