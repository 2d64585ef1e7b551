#include "clap/clap_params.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "model/eq_display.h"

namespace {

// Names as the LV2 edition shows them; the VST 2 short names ("HF dB")
// were made for an 8-byte field that CLAP does not have.
const char* const kNames[kClapNumSlots] = {
    "HF Gain", "LF Gain", "Mid Freq", "Mid Gain", "LF Freq", "HF Freq", "Mid BW", "Effect", "Bypass",
};

float clamp01(float v) { return v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : v); }

constexpr size_t kVst2DisplayBytes = 24;  // a VST 2 host's display text, terminator included

// "Bypassed" or "Active" (any case, spaces around), or a number: 1 above 0.5.
bool bypass_of_text(const char* text, float* v)
{
    char word[16] = {0};
    char rest = 0;
    if (std::sscanf(text, " %15s %c", word, &rest) == 1 && (!strcasecmp(word, "Bypassed") || !strcasecmp(word, "Active"))) {
        *v = strcasecmp(word, "Active") ? 1.0f : 0.0f;
        return true;
    }
    char* end = nullptr;
    const double number = std::strtod(text, &end);
    while (end != text && *end == ' ')
        ++end;
    if (end == text || *end != 0 || !std::isfinite(number))
        return false;
    *v = number > 0.5 ? 1.0f : 0.0f;
    return true;
}

}  // namespace

int clap_slot_of(clap_id id)
{
    if (id < static_cast<clap_id>(kEqNumSoundParams))
        return static_cast<int>(id);
    return id == kClapBypassId ? kClapBypassSlot : -1;
}

clap_id clap_id_of(int slot)
{
    return slot == kClapBypassSlot ? kClapBypassId : static_cast<clap_id>(slot);
}

bool clap_param_info_of(uint32_t index, clap_param_info_t* info)
{
    if (index >= static_cast<uint32_t>(kClapNumSlots) || !info)
        return false;
    const int slot = static_cast<int>(index);
    std::memset(info, 0, sizeof *info);
    info->id = clap_id_of(slot);
    info->flags = CLAP_PARAM_IS_AUTOMATABLE;
    if (slot == kEqEffect)
        info->flags |= CLAP_PARAM_IS_STEPPED;
    if (slot == kClapBypassSlot)
        info->flags |= CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_BYPASS;
    std::snprintf(info->name, sizeof info->name, "%s", kNames[slot]);
    if (slot == kClapBypassSlot) {
        info->min_value = 0.0;
        info->max_value = 1.0;
        info->default_value = 0.0;
    } else {
        info->min_value = eq_physical_of(slot, 0.0f);
        info->max_value = eq_physical_of(slot, 1.0f);
        info->default_value = eq_physical_of(slot, eq_default_of(slot));
    }
    return true;
}

bool clap_plain_in_range(int slot, double plain, float* held)
{
    if (slot < 0 || slot >= kClapNumSlots || !std::isfinite(plain))
        return false;
    // Held in double first: a huge double is no float at all. No text
    // work here: the audio thread calls this for every event.
    const double lo = slot == kClapBypassSlot ? 0.0 : eq_physical_of(slot, 0.0f);
    const double hi = slot == kClapBypassSlot ? 1.0 : eq_physical_of(slot, 1.0f);
    const double v = plain < lo ? lo : (plain > hi ? hi : plain);
    *held = slot == kClapBypassSlot ? (v > 0.5 ? 1.0f : 0.0f) : static_cast<float>(v);
    return true;
}

float clap_normalised_of(int slot, float plain)
{
    return slot == kClapBypassSlot ? plain : clamp01(eq_normalised_of(slot, plain));
}

float clap_plain_of(int slot, float normalised)
{
    return slot == kClapBypassSlot ? normalised : eq_physical_of(slot, clamp01(normalised));
}

bool clap_text_of(int slot, double plain, char* out, uint32_t capacity)
{
    float v;
    if (!out || capacity == 0 || !clap_plain_in_range(slot, plain, &v))
        return false;
    // Formatted within the VST 2 display buffer's bound, so that the text
    // is the VST 2 one whatever room the host offers.
    char text[kVst2DisplayBytes];
    if (slot == kClapBypassSlot)
        std::snprintf(text, sizeof text, "%s", v > 0.5f ? "Bypassed" : "Active");
    else
        eq_display_text(slot, clap_normalised_of(slot, v), text, sizeof text);
    std::snprintf(out, capacity, "%s", text);
    return true;
}

bool clap_value_of_text(int slot, const char* text, double* plain)
{
    if (slot < 0 || slot >= kClapNumSlots || !text || !plain)
        return false;
    float v;
    if (slot == kClapBypassSlot) {
        if (!bypass_of_text(text, &v))
            return false;
    } else if (eq_value_of_text(slot, text, &v)) {
        v = clap_plain_of(slot, v);
    } else {
        return false;
    }
    float held;
    clap_plain_in_range(slot, v, &held);
    *plain = held;
    return true;
}
