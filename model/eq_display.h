// The parameters' texts as hosts show them ("6.00 dB", "894.43 Hz",
// "1.25 Oct", "In "/"Out", "X 1.50"), one rule for every plug-in format, and
// the reading of such a text back into a value. Pure functions, any thread.
#pragma once

#include <cstddef>

// Bytes of a parameter text, terminator included: the display buffer a
// VST 2 host hands over, and the bound of the text in every format.
constexpr size_t kEqDisplayTextBytes = 24;

// The text of parameter `param` (eq_params.h) at a physical value (dB, Hz,
// octaves; 0..1 for the Effect switch and the UI size): "%.2f" and the
// unit, or, for a value too large for that within the bound, three
// significant digits and the unit. Writes a terminated text of at most
// kEqDisplayTextBytes bytes; an unknown index writes "".
void eq_display_text(int param, float physical, char text[kEqDisplayTextBytes]);

// Reads such a text, with or without its unit (any case, spaces around),
// into the physical value, unclamped: a number for the gains, frequencies
// and bandwidth; "In"/"Out" (or a number, in above 0.5) for the Effect
// switch, as 1 or 0. False, *physical untouched, for anything else or a
// value that is not finite.
bool eq_physical_of_text(int param, const char* text, float* physical);
