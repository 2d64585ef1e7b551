// One program: the eight normalised equaliser values in slot order and a
// name. "UI Size" is not part of a program.
#pragma once

#include "plugin_interface/vst_interface.h"

class CPlugProgram {
public:
    CPlugProgram();

    // Copies name into the name field: at most 23 characters, the rest of
    // the field zero, so the field always ends in a terminator. A null name
    // leaves the field as it is.
    void set_name(const char* text);

    // Slot order, shared with CPlug::params.
    float hf_gain;
    float lf_gain;
    float mid_gain;
    float hf_freq;        // knob fraction of 4000 to 8000 Hz
    float lf_freq;        // knob fraction of 100 to 200 Hz
    float mid_freq;       // knob fraction of 200 to 4000 Hz
    float mid_bw;
    float bypass_switch;  // the "Effect" parameter
    char name[kVstMaxProgNameLen];

    static constexpr int kNumValues = 8;
    // The values by slot, 0 to 7; the caller keeps slot in range.
    float& value(int slot) { return this->*kSlotField[slot]; }
    float value(int slot) const { return this->*kSlotField[slot]; }

private:
    static constexpr float CPlugProgram::*kSlotField[kNumValues] = {
        &CPlugProgram::hf_gain, &CPlugProgram::lf_gain, &CPlugProgram::mid_gain,
        &CPlugProgram::hf_freq, &CPlugProgram::lf_freq, &CPlugProgram::mid_freq,
        &CPlugProgram::mid_bw,  &CPlugProgram::bypass_switch};
};
