#pragma once
// Helpers for the widget tests: pixel access, owned buffers, synthetic
// panels and film strips whose pixels say where they came from, and the
// toolkit's blend rule worked out independently with floating point.

#include "gui_engine/AFX_engine.h"

#include <cmath>
#include <memory>
#include <ostream>

namespace widget_test {

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

} // namespace widget_test
