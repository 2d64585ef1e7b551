#pragma once
// Pixels for tests: engine pixel buffers read and written by coordinate,
// pixels read back from the X server and expanded to 8-bit channels from the
// visual's masks alone, and PNG files (specimens to look at, references to
// compare with).

#include "gui_engine/AFX_engine.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace test_support {

// 8-bit red, green, blue, alpha of a pixel buffer.
struct rgba {
    int r, g, b, a;
    bool operator==(const rgba& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
    bool operator!=(const rgba& o) const { return !(*this == o); }
};

inline std::ostream& operator<<(std::ostream& os, const rgba& c)
{
    return os << "(" << c.r << "," << c.g << "," << c.b << "," << c.a << ")";
}

inline rgba pixel(const afx_pixbuf* pb, int x, int y)
{
    const unsigned char* p = pb->pixels + y * pb->rowstride + 4 * x;
    return {p[0], p[1], p[2], p[3]};
}

inline void set_pixel(afx_pixbuf* pb, int x, int y, rgba c)
{
    unsigned char* p = pb->pixels + y * pb->rowstride + 4 * x;
    p[0] = static_cast<unsigned char>(c.r);
    p[1] = static_cast<unsigned char>(c.g);
    p[2] = static_cast<unsigned char>(c.b);
    p[3] = static_cast<unsigned char>(c.a);
}

inline void fill(afx_pixbuf* pb, rgba c)
{
    for (int y = 0; y < pb->height; ++y)
        for (int x = 0; x < pb->width; ++x)
            set_pixel(pb, x, y, c);
}

// A buffer the engine allocated, freed by the engine.
struct pixbuf_deleter {
    void operator()(afx_pixbuf* pb) const { AFX_engine::afx_pixbuf_destroy_with_allocation(pb); }
};
using owned_pixbuf = std::unique_ptr<afx_pixbuf, pixbuf_deleter>;

inline owned_pixbuf new_pixbuf(int width, int height, rgba c)
{
    owned_pixbuf pb(AFX_engine::afx_pixbuf_new_with_allocation(width, height, 0));
    fill(pb.get(), c);
    return pb;
}

// 8-bit red, green, blue as read back from the server.
struct rgb {
    int r, g, b;
    bool operator==(const rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

// Channel value as stored by a mask of n bits and read back with its high
// bits repeated in the low ones (n = 8 keeps it).
int quantise(int value, unsigned long mask);
// Stored pixel to 8-bit channels by bit repetition from the masks.
rgb expand(unsigned long pixel, unsigned long red_mask, unsigned long green_mask,
           unsigned long blue_mask);

// The pixels of a drawable's rectangle as the server holds them (XGetImage),
// expanded.
std::vector<rgb> read_back(Display* dpy, Drawable drawable, int x, int y, int width, int height);

// Writes 8-bit RGB pixels, row by row, as a PNG; false on failure.
bool write_png(const std::string& path, int width, int height, const std::vector<rgb>& pixels);
// Writes a pixel buffer as an 8-bit RGBA PNG; false on failure.
bool write_png(const std::string& path, const afx_pixbuf* pb);
// Reads an 8-bit RGBA PNG into 4-byte pixels; false on any other format or
// an error.
bool read_png_rgba(const std::string& path, int* width, int* height,
                   std::vector<unsigned char>* pixels);

} // namespace test_support
