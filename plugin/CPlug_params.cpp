// CPlug's parameter model: the nine parameters, their laws and texts, and
// the path of one change into the engine, the current program and the editor.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "editor/CEditorGUI.h"
#include "model/eq_display.h"
#include "model/eq_driver.h"
#include "plugin/CPlug.h"
#include "plugin/mutex_lock.h"

namespace {

const char* const kParamNames[CPlug::kNumParams] = {
    "HF dB", "LF dB", "Mid Hz", "Mid dB", "LF Hz", "HF Hz", "Mid BW", "Effect", "UI Size",
};

}  // namespace

// ---- frequency law ----------------------------------------------------------

float CPlug::get_freq_from_knob_fract(float min_hz, float max_hz, float fraction)
{
    return eq_freq_of_fraction(min_hz, max_hz, fraction);
}

float CPlug::get_knob_fract_from_freq(float min_hz, float max_hz, float hz)
{
    return eq_fraction_of_freq(min_hz, max_hz, hz);
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
    eq_display_text(index, getParameter(index), text, kDisplayBound);
}

// ---- one parameter, mutex held --------------------------------------------------

void CPlug::store_slot(int slot, float v)
{
    params[slot].store(v, std::memory_order_relaxed);
    programs[cur_program.load(std::memory_order_relaxed)].value(slot) = v;
}

void CPlug::notify_editor(int index, float v)
{
    editor_gui->setParameter(index, v);
}

// params and the program keep v as given; the engine gets it held within
// 0..1 (eq_engine_value).
void CPlug::control_update_hf_gain(float v)
{
    eq_apply(*dsp, kHfGain, eq_engine_value(kHfGain, v));
    store_slot(kSlotHfGain, v);
    notify_editor(kHfGain, v);
}

void CPlug::control_update_lf_gain(float v)
{
    eq_apply(*dsp, kLfGain, eq_engine_value(kLfGain, v));
    store_slot(kSlotLfGain, v);
    notify_editor(kLfGain, v);
}

void CPlug::control_update_mid_freq(float v)
{
    eq_apply(*dsp, kMidFreq, eq_engine_value(kMidFreq, v));
    store_slot(kSlotMidFreq, v);
    notify_editor(kMidFreq, v);
}

void CPlug::control_update_mid_gain(float v)
{
    eq_apply(*dsp, kMidGain, eq_engine_value(kMidGain, v));
    store_slot(kSlotMidGain, v);
    notify_editor(kMidGain, v);
}

void CPlug::control_update_lf_freq(float v)
{
    eq_apply(*dsp, kLfFreq, eq_engine_value(kLfFreq, v));
    store_slot(kSlotLfFreq, v);
    notify_editor(kLfFreq, v);
}

void CPlug::control_update_hf_freq(float v)
{
    eq_apply(*dsp, kHfFreq, eq_engine_value(kHfFreq, v));
    store_slot(kSlotHfFreq, v);
    notify_editor(kHfFreq, v);
}

void CPlug::control_update_mid_bw(float v)
{
    eq_apply(*dsp, kMidBw, eq_engine_value(kMidBw, v));
    store_slot(kSlotMidBw, v);
    notify_editor(kMidBw, v);
}

void CPlug::control_update_bypass_switch(float v)
{
    // The equaliser runs only while both the "Effect" switch and the host's
    // enable are on.
    const float host = host_eff_enable.load(std::memory_order_relaxed);
    eq_apply(*dsp, kEqEffect, host * v);
    store_slot(kSlotBypassSwitch, v);
    notify_editor(kBypassSwitch, v);
}

void CPlug::control_update_ui_size(float v)
{
    ui_size.store(v, std::memory_order_relaxed);
    notify_editor(kUiSize, v);
}
