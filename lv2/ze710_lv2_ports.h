// The LV2 edition's contract with hosts and saved sessions (never changes):
// the plug-in URI, the port order and the state's property URIs. The
// control ports 4..12 follow the VST 2 parameter order (model/eq_params.h)
// and carry physical values; ports added later come after them.
#pragma once

#include "model/eq_params.h"

#define ZE710_LV2_URI "http://kestrelwood.com/plugins/ze710"
#define ZE710_LV2_UI_URI ZE710_LV2_URI "#ui"

// State properties (LV2 State), also the properties of the patch messages
// between the UI and the plug-in:
//   bank     atom:Chunk, the state chunk of the whole bank (model/eq_chunk.h,
//            528 bytes): nine programs, the current one, the editor size
//   program  atom:Int, 0..8: a program to make current (the bundle's
//            presets carry it)
#define ZE710_LV2_BANK_URI ZE710_LV2_URI "#bank"
#define ZE710_LV2_PROGRAM_URI ZE710_LV2_URI "#program"

enum Ze710Lv2Port {
    kLv2InL = 0,
    kLv2InR,
    kLv2OutL,
    kLv2OutR,
    kLv2FirstControl,  // hf_gain; parameter p is port kLv2FirstControl + p
    // The host's bypass (lv2:enabled): above 0 the plug-in runs; the
    // equaliser is in while this and "Effect" are both on.
    kLv2Enabled = kLv2FirstControl + kEqNumParams,
    kLv2ControlIn,  // atom sequence: patch messages from the UI
    kLv2NotifyOut,  // atom sequence: patch messages to the UI
    kLv2NumPorts,
};

// Symbol of each control port, by parameter index.
constexpr const char* kZe710Lv2ControlSymbols[kEqNumParams] = {
    "hf_gain", "lf_gain", "mid_freq", "mid_gain", "lf_freq", "hf_freq", "mid_bw", "effect", "ui_size",
};

// Bytes an atom port needs at least: a patch:Put with the bank chunk and
// the sequence around it, with room to spare (rsz:minimumSize in the Turtle).
constexpr unsigned kZe710Lv2AtomPortBytes = 2048;
