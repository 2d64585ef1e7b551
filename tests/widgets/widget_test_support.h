#pragma once
// Helpers for the widget tests: synthetic panels and film strips whose
// pixels say where they came from, and the toolkit's blend rule worked out
// independently with floating point. Pixel access and owned buffers come
// from the shared test support.

#include "tests/support/image_support.h"

#include <cmath>
#include <string>

namespace widget_test {

using namespace test_support;

// Panel pixel (x, y) reads (x, y, 255 - x, 255) for coordinates below 256, so
// a background cut from the wrong place shows at once.
inline rgba panel_colour(int x, int y)
{
    return {x & 255, y & 255, (255 - x) & 255, 255};
}

inline owned_pixbuf new_panel(int width, int height)
{
    owned_pixbuf pb = new_pixbuf(width, height, {0, 0, 0, 255});
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            set_pixel(pb.get(), x, y, panel_colour(x, y));
    return pb;
}

// Frame f of a synthetic strip: one flat colour per frame, all distinct and
// within 0..255 for up to 42 frames.
inline rgba frame_colour(int f, int alpha)
{
    return {40 + 3 * f, 230 - 2 * f, 6 * f, alpha};
}

inline owned_pixbuf new_strip(int width, int frame_height, int frames, int alpha)
{
    owned_pixbuf pb = new_pixbuf(width, frame_height * frames, {0, 0, 0, 0});
    for (int f = 0; f < frames; ++f)
        for (int y = 0; y < frame_height; ++y)
            for (int x = 0; x < width; ++x)
                set_pixel(pb.get(), x, f * frame_height + y, frame_colour(f, alpha));
    return pb;
}

// Which synthetic frame colour c is (c being frame_colour(f) blended at
// alpha 255 over anything, so each channel may be one short), -1 if none.
inline int frame_of_colour(rgba c, int frames)
{
    for (int f = 0; f < frames; ++f) {
        const rgba e = frame_colour(f, 255);
        if (std::abs(c.r - e.r) <= 1 && std::abs(c.g - e.g) <= 1 && std::abs(c.b - e.b) <= 1)
            return f;
    }
    return -1;
}

// One channel of source s over destination d at coverage a (0..255):
// d + floor((s - d) * a / 256).
inline int blend(int d, int s, int a)
{
    return d + static_cast<int>(std::floor((s - d) * a / 256.0));
}

inline rgba blend(rgba d, rgba s)
{
    return {blend(d.r, s.r, s.a), blend(d.g, s.g, s.a), blend(d.b, s.b, s.a), d.a};
}

// Where hit(x, y) disagrees with the rectangle x0..x1, y0..y1 taken with all
// four edges: its corners must hit, a point one pixel beyond each edge must
// not. Empty when it agrees.
template <typename Hit>
std::string hit_rectangle_faults(Hit hit, int x0, int y0, int x1, int y1)
{
    std::string faults;
    const auto check = [&](int x, int y, bool inside) {
        if (hit(x, y) != inside)
            faults += "(" + std::to_string(x) + "," + std::to_string(y) + (inside ? ") missed " : ") hit ");
    };
    const int mid_x = (x0 + x1) / 2, mid_y = (y0 + y1) / 2;
    for (int x : {x0, x1})
        for (int y : {y0, y1})
            check(x, y, true);
    check(x0 - 1, mid_y, false);
    check(x1 + 1, mid_y, false);
    check(mid_x, y0 - 1, false);
    check(mid_x, y1 + 1, false);
    return faults;
}

} // namespace widget_test
