// The nine programs: four neutral user slots, then the five factory
// presets. One table for the VST 2 programs and the LV2 presets, so the
// two cannot drift apart. Pure functions, any thread.
#pragma once

#include <cstddef>

#include "model/eq_params.h"

constexpr int kEqNumPrograms = 9;
constexpr int kEqNumUserPrograms = 4;

struct EqProgramValues {
    float v[kEqNumSoundParams];  // normalised, in parameter index order
};

// Program `program` (0..8) as the plug-in starts with it: the normalised
// values (frequencies as knob fractions of their bands) and the name,
// "05 Low End Boost" and so on, written into name (at most name_size bytes
// with the terminator). False, and nothing written, outside 0..8.
bool eq_program(int program, EqProgramValues* values, char* name, size_t name_size);
