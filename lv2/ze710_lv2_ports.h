// The LV2 edition's contract with hosts and saved sessions (never changes):
// the plug-in URI and the port order. The control ports follow the VST 2
// parameter order (model/eq_params.h) and carry physical values.
#pragma once

#include "model/eq_params.h"

#define ZE710_LV2_URI "http://kestrelwood.com/plugins/ze710"
#define ZE710_LV2_UI_URI ZE710_LV2_URI "#ui"

enum Ze710Lv2Port {
    kLv2InL = 0,
    kLv2InR,
    kLv2OutL,
    kLv2OutR,
    kLv2FirstControl,  // hf_gain; parameter p is port kLv2FirstControl + p
    kLv2NumPorts = kLv2FirstControl + kEqNumParams,
};

// Symbol of each control port, by parameter index.
constexpr const char* kZe710Lv2ControlSymbols[kEqNumParams] = {
    "hf_gain", "lf_gain", "mid_freq", "mid_gain", "lf_freq", "hf_freq", "mid_bw", "effect", "ui_size",
};
