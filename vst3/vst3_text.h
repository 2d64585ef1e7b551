// Text between ZE710's byte strings (ASCII in practice) and the UTF-16
// strings of the VST3 ABI. Pure functions, any thread.
#pragma once

#include <cstddef>

#include "vst3/vst3_base.h"

namespace vst3 {

// Copies text into out (size code units with the terminator), each byte
// widened; text that does not fit is cut.
void utf16_from_bytes(char16* out, size_t size, const char* text);
// Copies at most in_size code units of a UTF-16 string into out (size
// bytes with the terminator); a code unit above 0x7F becomes '?'.
void bytes_from_utf16(char* out, size_t size, const char16* in, size_t in_size);
// Copies text into a fixed byte field, zero-filled after the terminator.
void bytes_to_field(char* out, size_t size, const char* text);

}  // namespace vst3
