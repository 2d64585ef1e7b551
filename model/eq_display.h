// The texts a parameter shows a host, as the VST 2 plug-in has always shown
// them ("%.2f dB", "%.2f Hz", "%.2f Oct", "In " or "Out", "X %.2f" for the
// editor size), and the reading of such a text back into a value. Every
// format's host texts come from here. Pure functions, any thread.
#pragma once

#include <cstddef>

// Writes the text of parameter `param` (eq_params.h) at `normalised` into
// out, at most size bytes with the terminator (VST 2 gives 24). A number
// whose "%.2f" form would not fit (only values far outside 0..1 make one)
// is written in three significant digits. Nothing is written for an
// unknown parameter, a null out or a size of 0.
void eq_display_text(int param, float normalised, char* out, size_t size);

// Reads a text of the kind eq_display_text writes, or a bare number in the
// parameter's unit (dB, Hz, octaves; for the Effect switch "In", "Out", 1
// or 0), into a normalised value held within 0..1. False, and *normalised
// untouched, for an unknown parameter or a text that is not a finite number.
bool eq_value_of_text(int param, const char* text, float* normalised);
