#pragma once
// The display pixel formats the engine converts to, recognised by the OR of
// an image's red, green and blue masks, with their packing of 8-bit red,
// green and blue and the expansion of a stored pixel back to 8 bits. The
// packing assumes red in the high bits; a visual whose masks OR to one of
// these values with red low gets its channels masked away.

#include <cstdint>

enum class afx_pixel_format {
    unsupported,
    rgb565,  // masks OR to 0xFFFF
    rgb888,  // 0xFFFFFF (24- and 32-bit pixels)
    rgb555,  // 0x7FFF
};

struct afx_pixel_packer {
    afx_pixel_format format = afx_pixel_format::unsupported;
    unsigned long red_mask = 0;
    unsigned long green_mask = 0;
    unsigned long blue_mask = 0;

    afx_pixel_packer() = default;
    afx_pixel_packer(unsigned long red, unsigned long green, unsigned long blue)
        : red_mask(red), green_mask(green), blue_mask(blue)
    {
        switch (red | green | blue) {
        case 0xFFFF:
            format = afx_pixel_format::rgb565;
            break;
        case 0xFFFFFF:
            format = afx_pixel_format::rgb888;
            break;
        case 0x7FFF:
            format = afx_pixel_format::rgb555;
            break;
        default:
            format = afx_pixel_format::unsupported;
            break;
        }
    }

    bool supported() const { return format != afx_pixel_format::unsupported; }

    // r, g, b in 0..255.
    unsigned long pack(unsigned r, unsigned g, unsigned b) const
    {
        switch (format) {
        case afx_pixel_format::rgb565:
            return ((r << 8) & red_mask) | ((g << 3) & green_mask) | ((b >> 3) & blue_mask);
        case afx_pixel_format::rgb888:
            return ((static_cast<unsigned long>(r) << 16) & red_mask) |
                   ((static_cast<unsigned long>(g) << 8) & green_mask) | (b & blue_mask);
        case afx_pixel_format::rgb555:
            return ((r << 7) & red_mask) | ((g << 2) & green_mask) | ((b >> 3) & blue_mask);
        default:
            return 0;
        }
    }

    // The low bits of each 8-bit channel repeat its high bits, so full
    // intensity expands to 255.
    void expand(unsigned long p, unsigned* r, unsigned* g, unsigned* b) const
    {
        switch (format) {
        case afx_pixel_format::rgb565:
            *r = static_cast<unsigned>(((p >> 8) & 0xF8) | ((p >> 13) & 7));
            *g = static_cast<unsigned>(((p >> 3) & 0xFC) | ((p >> 9) & 3));
            *b = static_cast<unsigned>(((p << 3) & 0xF8) | ((p >> 2) & 7));
            break;
        case afx_pixel_format::rgb888:
            *r = static_cast<unsigned>((p >> 16) & 255);
            *g = static_cast<unsigned>((p >> 8) & 255);
            *b = static_cast<unsigned>(p & 255);
            break;
        case afx_pixel_format::rgb555:
            *r = static_cast<unsigned>(((p & 0x7C00) >> 7) | ((p & 0x7000) >> 12));
            *g = static_cast<unsigned>(((p & 0x3E0) >> 2) | ((p & 0x380) >> 7));
            *b = static_cast<unsigned>(((p << 3) & 0xF8) | ((p & 0x1C) >> 2));
            break;
        default:
            *r = *g = *b = 0;
            break;
        }
    }
};
