// The CLAP edition's parameters, a contract with hosts and saved projects
// (never changes): ids 0 to 7 are the sound parameters in the VST 2 index
// order (model/eq_params.h), in plain units with the LV2 ports' ranges (dB,
// Hz, octaves, the Effect switch 0/1); id 8 is left free (the VST 2 editor
// size, kept with the state here, not a parameter); id 9 is the host's
// bypass (CLAP_PARAM_IS_BYPASS: 1 bypassed), which mutes the equaliser
// through its own crossfade as the VST 2 effSetBypass does.
//
// Inside the edition a parameter is a slot: 0..7 the sound parameters (slot
// = id = eq_params index), kClapBypassSlot the bypass. Pure functions, any
// thread.
#pragma once

#include <cstdint>

#include "clap/clap_abi.h"
#include "model/eq_params.h"

constexpr clap_id kClapBypassId = 9;
constexpr int kClapBypassSlot = kEqNumSoundParams;  // 8
constexpr int kClapNumSlots = kEqNumSoundParams + 1;
constexpr uint32_t kClapSoundSlotBits = (1u << kEqNumSoundParams) - 1;  // slots 0..7 as bits

// The slot of a parameter id, -1 for an id that is not ours.
int clap_slot_of(clap_id id);
clap_id clap_id_of(int slot);

// The host's view of parameter `index` (0..8: the eight sound parameters,
// then the bypass); false past the end.
bool clap_param_info_of(uint32_t index, clap_param_info_t* info);

// A plain value held within the slot's range; false for a value that is not
// finite (the caller then leaves everything as it was). Audio thread too.
bool clap_plain_in_range(int slot, double plain, float* held);
// Plain value <-> the normalised value the editor, the programs and the
// state chunk hold (eq_params.h laws; normalised clamped to 0..1).
float clap_normalised_of(int slot, float plain);
float clap_plain_of(int slot, float normalised);

// The VST 2 display text of a plain value (model/eq_display.h) into a
// host buffer of `capacity` bytes, terminated, cut to fit; the bypass's
// "Bypassed" or "Active".
bool clap_text_of(int slot, double plain, char* out, uint32_t capacity);
// A text (with or without unit; model/eq_display.h) to a plain value held
// within the range; the bypass reads "Bypassed", "Active" or a number.
bool clap_value_of_text(int slot, const char* text, double* plain);
