#include "vst3/vst3_text.h"

namespace vst3 {

void utf16_from_bytes(char16* out, size_t size, const char* text)
{
    if (!out || size == 0)
        return;
    size_t n = 0;
    for (; text && text[n] && n + 1 < size; ++n)
        out[n] = static_cast<char16>(static_cast<unsigned char>(text[n]));
    out[n] = 0;
}

void bytes_from_utf16(char* out, size_t size, const char16* in, size_t in_size)
{
    if (!out || size == 0)
        return;
    size_t n = 0;
    for (; in && n < in_size && in[n] && n + 1 < size; ++n)
        out[n] = in[n] < 0x80 ? static_cast<char>(in[n]) : '?';
    out[n] = 0;
}

void bytes_to_field(char* out, size_t size, const char* text)
{
    size_t n = 0;
    for (; text && text[n] && n + 1 < size; ++n)
        out[n] = text[n];
    for (; n < size; ++n)
        out[n] = 0;
}

}  // namespace vst3
