// CPlug's parameter model: the nine parameters, their laws and texts, and
// the path of one change into the engine, the current program and the editor.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "dsp/CLFx.h"
#include "editor/CEditorGUI.h"
#include "plugin/CPlug.h"
#include "plugin/mutex_lock.h"

namespace {

const char* const kParamNames[CPlug::kNumParams] = {
    "HF dB", "LF dB", "Mid Hz", "Mid dB", "LF Hz", "HF Hz", "Mid BW", "Effect", "UI Size",
};

float gain_db_of(float v) { return 40.0f * v - 20.0f; }      // -20 to +20 dB at 0..1
float bandwidth_oct_of(float v) { return 1.5f * v + 0.5f; }  // 0.5 to 2.0 octaves at 0..1
float clamp01(float v) { return v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : v); }

// The engine is designed and proved stable for the host's range 0..1 only:
// a gain of 40 v - 20 dB overflows the shelf design for large v, and far
// outside the range the sections' poles reach the unit circle. A value out
// of range is stored and shown as given, but the engine gets the nearest end.
float engine_norm(float v) { return clamp01(v); }

// "%.2f" plus unit, as long as it fits a host's display buffer. Values are not
// limited, so "%.2f" of an extreme one could run to dozens of digits; such a
// value is shown in three significant digits instead.
void format_display(char* text, float value, const char* unit)
{
    char buf[128];
    const double shown = static_cast<double>(value);
    int n = std::snprintf(buf, sizeof buf, "%.2f%s", shown, unit);
    if (n < 0 || n >= CPlug::kDisplayBound)
        std::snprintf(buf, sizeof buf, "%.3g%s", shown, unit);
    const size_t len = strnlen(buf, CPlug::kDisplayBound - 1);
    std::memcpy(text, buf, len);
    text[len] = 0;
}

}  // namespace

// ---- frequency law ----------------------------------------------------------

float CPlug::get_freq_from_knob_fract(float min_hz, float max_hz, float fraction)
{
    const float a = std::log10(min_hz);
    const float b = std::log10(max_hz);
    return std::pow(10.0f, a + (b - a) * fraction);
}

float CPlug::get_knob_fract_from_freq(float min_hz, float max_hz, float hz)
{
    const float a = std::log10(min_hz);
    const float b = std::log10(max_hz);
    const double lf = std::log10(static_cast<double>(hz));
    return static_cast<float>((lf - a) / (static_cast<double>(b) - a));
}

// ---- host-facing operations ---------------------------------------------------

void CPlug::setParameter(VstInt32 index, float value)
{
    // NaN or an infinity would enter the engine's glide and stay there for
    // good, silencing the band; like an unknown index it changes nothing.
    if (!std::isfinite(value))
        return;
    MutexLock lock(mutex);
    switch (index) {
    case kHfGain: control_update_hf_gain(value); break;
    case kLfGain: control_update_lf_gain(value); break;
    case kMidFreq: control_update_mid_freq(value); break;
    case kMidGain: control_update_mid_gain(value); break;
    case kLfFreq: control_update_lf_freq(value); break;
    case kHfFreq: control_update_hf_freq(value); break;
    case kMidBw: control_update_mid_bw(value); break;
    case kBypassSwitch: control_update_bypass_switch(value); break;
    case kUiSize: control_update_ui_size(value); break;
    default: break;
    }
}

float CPlug::getParameter(VstInt32 index)
{
    if (index >= 0 && index < kNumSlots)
        return params[kSlotOfIndex[index]].load(std::memory_order_relaxed);
    if (index == kUiSize)
        return ui_size.load(std::memory_order_relaxed);
    return 0.0f;
}

void CPlug::getParameterName(VstInt32 index, char* text)
{
    if (!text || index < 0 || index >= kNumParams)
        return;
    std::strcpy(text, kParamNames[index]);  // at most 8 bytes with the terminator
}

void CPlug::getParameterDisplay(VstInt32 index, char* text)
{
    if (!text || index < 0 || index >= kNumParams)
        return;
    const float v = getParameter(index);
    switch (index) {
    case kHfGain:
    case kLfGain:
    case kMidGain:
        format_display(text, gain_db_of(v), " dB");
        break;
    case kMidFreq:
        format_display(text, get_freq_from_knob_fract(kMidMinHz, kMidMaxHz, v), " Hz");
        break;
    case kLfFreq:
        format_display(text, get_freq_from_knob_fract(kLfMinHz, kLfMaxHz, v), " Hz");
        break;
    case kHfFreq:
        format_display(text, get_freq_from_knob_fract(kHfMinHz, kHfMaxHz, v), " Hz");
        break;
    case kMidBw:
        format_display(text, bandwidth_oct_of(v), " Oct");
        break;
    case kBypassSwitch:
        std::strcpy(text, v > 0.5f ? "In " : "Out");
        break;
    case kUiSize: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "X %.2f", static_cast<double>(1.0f + clamp01(v)));
        std::strcpy(text, buf);
        break;
    }
    default:
        break;
    }
}

// ---- one parameter, mutex held --------------------------------------------------

void CPlug::store_slot(int slot, float v)
{
    params[slot].store(v, std::memory_order_relaxed);
    programs[cur_program.load(std::memory_order_relaxed)].value(slot) = v;
}

void CPlug::notify_editor(int index, float v)
{
    static_cast<CEditorGUI*>(editor)->setParameter(index, v);
}

void CPlug::control_update_hf_gain(float v)
{
    dsp->lxs_high_eq_gain(gain_db_of(engine_norm(v)));
    store_slot(kSlotHfGain, v);
    notify_editor(kHfGain, v);
}

void CPlug::control_update_lf_gain(float v)
{
    dsp->lxs_low_eq_gain(gain_db_of(engine_norm(v)));
    store_slot(kSlotLfGain, v);
    notify_editor(kLfGain, v);
}

void CPlug::control_update_mid_freq(float v)
{
    dsp->lxs_mid_freq(get_freq_from_knob_fract(kMidMinHz, kMidMaxHz, engine_norm(v)));
    store_slot(kSlotMidFreq, v);
    notify_editor(kMidFreq, v);
}

void CPlug::control_update_mid_gain(float v)
{
    dsp->lxs_mid_gain(gain_db_of(engine_norm(v)));
    store_slot(kSlotMidGain, v);
    notify_editor(kMidGain, v);
}

void CPlug::control_update_lf_freq(float v)
{
    dsp->lxs_low_eq_fc(get_freq_from_knob_fract(kLfMinHz, kLfMaxHz, engine_norm(v)));
    store_slot(kSlotLfFreq, v);
    notify_editor(kLfFreq, v);
}

void CPlug::control_update_hf_freq(float v)
{
    dsp->lxs_high_eq_fc(get_freq_from_knob_fract(kHfMinHz, kHfMaxHz, engine_norm(v)));
    store_slot(kSlotHfFreq, v);
    notify_editor(kHfFreq, v);
}

void CPlug::control_update_mid_bw(float v)
{
    dsp->lxs_mid_bandwidth(bandwidth_oct_of(engine_norm(v)));
    store_slot(kSlotMidBw, v);
    notify_editor(kMidBw, v);
}

void CPlug::control_update_bypass_switch(float v)
{
    // The equaliser runs only while both the "Effect" switch and the host's
    // enable are on.
    const float host = host_eff_enable.load(std::memory_order_relaxed);
    dsp->lxs_eq_in_value(host * v > 0.5f);
    store_slot(kSlotBypassSwitch, v);
    notify_editor(kBypassSwitch, v);
}

void CPlug::control_update_ui_size(float v)
{
    ui_size.store(v, std::memory_order_relaxed);
    notify_editor(kUiSize, v);
}
