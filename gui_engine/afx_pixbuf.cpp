// Pixel buffers: creation from compiled-in "GdkP" images or fresh memory,
// copies, alpha composition and the drawing primitives. No engine state, no
// lock, no X call; coordinates are the caller's responsibility.

#include "gui_engine/AFX_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t inline_magic = 0x47646B50;  // "GdkP"
constexpr int inline_header_bytes = 24;
constexpr int bytes_per_pixel = 4;
constexpr unsigned char opaque = 255;

uint32_t read_be32(unsigned char const* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

// new = old + ((colour - old) * alpha) >> 8, arithmetic shift: alpha 255
// reaches the colour going down but stops one short going up.
inline unsigned char blend(int old_value, int colour, int alpha)
{
    return static_cast<unsigned char>(old_value + (((colour - old_value) * alpha) >> 8));
}

inline void blend_pixel(unsigned char* p, int r, int g, int b, int alpha)
{
    p[0] = blend(p[0], r, alpha);
    p[1] = blend(p[1], g, alpha);
    p[2] = blend(p[2], b, alpha);
}

void fill_opaque_black(afx_pixbuf* pb)
{
    const size_t row_bytes = static_cast<size_t>(pb->width) * bytes_per_pixel;
    for (int y = 0; y < pb->height; ++y) {
        unsigned char* p = pb->pixels + static_cast<size_t>(y) * row_bytes;
        for (int x = 0; x < pb->width; ++x, p += bytes_per_pixel) {
            p[0] = 0;
            p[1] = 0;
            p[2] = 0;
            p[3] = opaque;
        }
    }
}

} // namespace

afx_pixbuf* AFX_engine::afx_pixbuf_new_from_inline(unsigned char const* data, int parent)
{
    if (!data || read_be32(data) != inline_magic) {
        std::fputs("afx_pixbuf_new_from_inline - pixbuf is not a pixbuf test failed\n", stdout);
        std::fflush(stdout);
        return nullptr;
    }
    afx_pixbuf* pb = new afx_pixbuf;
    pb->rowstride = static_cast<int32_t>(read_be32(data + 12));
    pb->width = static_cast<int32_t>(read_be32(data + 16));
    pb->height = static_cast<int32_t>(read_be32(data + 20));
    // Wrapped in place: the buffer must never be drawn on.
    pb->pixels = const_cast<unsigned char*>(data + inline_header_bytes);
    pb->parent_window = parent;
    return pb;
}

afx_pixbuf* AFX_engine::afx_pixbuf_new_with_allocation(int width, int height, int parent)
{
    afx_pixbuf* pb = new afx_pixbuf;
    pb->width = std::max(0, width);
    pb->height = std::max(0, height);
    pb->rowstride = pb->width * bytes_per_pixel;
    pb->pixels = nullptr;
    pb->parent_window = parent;
    afx_pixbuf_init(pb);
    return pb;
}

void AFX_engine::afx_pixbuf_init(afx_pixbuf* pb)
{
    if (!pb)
        return;
    if (!pb->pixels) {
        const size_t bytes = static_cast<size_t>(std::max(0, pb->height)) *
                             static_cast<size_t>(std::max(0, pb->width)) * bytes_per_pixel;
        pb->pixels = static_cast<unsigned char*>(std::calloc(std::max<size_t>(bytes, 1), 1));
    }
    fill_opaque_black(pb);
}

void AFX_engine::afx_pixbuf_destroy(afx_pixbuf* pb)
{
    delete pb;
}

void AFX_engine::afx_pixbuf_destroy_with_allocation(afx_pixbuf* pb)
{
    if (!pb)
        return;
    std::free(pb->pixels);
    delete pb;
}

void AFX_engine::afx_pixbuf_reparent(afx_pixbuf* pb, int parent)
{
    if (pb)
        pb->parent_window = parent;
}

void AFX_engine::afx_pixbuf_copy(afx_pixbuf* src, afx_pixbuf* dst, int sx, int sy, int dx, int dy,
                                 int width, int height)
{
    if (width < 1 || height < 1)
        return;
    const size_t row_bytes = static_cast<size_t>(width) * bytes_per_pixel;
    for (int row = 0; row < height; ++row) {
        const unsigned char* s = src->pixels + static_cast<ptrdiff_t>(sy + row) * src->rowstride +
                                 static_cast<ptrdiff_t>(sx) * bytes_per_pixel;
        unsigned char* d = dst->pixels + static_cast<ptrdiff_t>(dy + row) * dst->rowstride +
                           static_cast<ptrdiff_t>(dx) * bytes_per_pixel;
        std::memmove(d, s, row_bytes);
    }
}

void AFX_engine::afx_combine_pixbuf_fixed(afx_pixbuf* src, afx_pixbuf* dst, int sx, int sy, int dx,
                                          int dy, int width, int height)
{
    for (int row = 0; row < height; ++row) {
        const unsigned char* s = src->pixels + static_cast<ptrdiff_t>(sy + row) * src->rowstride +
                                 static_cast<ptrdiff_t>(sx) * bytes_per_pixel;
        unsigned char* d = dst->pixels + static_cast<ptrdiff_t>(dy + row) * dst->rowstride +
                           static_cast<ptrdiff_t>(dx) * bytes_per_pixel;
        for (int x = 0; x < width; ++x, s += bytes_per_pixel, d += bytes_per_pixel)
            blend_pixel(d, s[0], s[1], s[2], s[3]);
    }
}

void AFX_engine::plot_pixel_to_pixbuf(afx_pixbuf* pb, int x, int y, int r, int g, int b, int alpha,
                                      bool)
{
    blend_pixel(pb->pixels + static_cast<ptrdiff_t>(y) * pb->rowstride +
                    static_cast<ptrdiff_t>(x) * bytes_per_pixel,
                r, g, b, alpha);
}

void AFX_engine::draw_horiz_line_to_pixbuf(afx_pixbuf* pb, int x1, int y1, int x2, int, int r,
                                           int g, int b, int alpha)
{
    const int first = std::min(x1, x2);
    const int last = std::max(x1, x2);
    unsigned char* p = pb->pixels + static_cast<ptrdiff_t>(y1) * pb->rowstride +
                       static_cast<ptrdiff_t>(first) * bytes_per_pixel;
    for (int x = first; x <= last; ++x, p += bytes_per_pixel)
        blend_pixel(p, r, g, b, alpha);
}

void AFX_engine::draw_vert_line_to_pixbuf(afx_pixbuf* pb, int x1, int y1, int, int y2, int r,
                                          int g, int b, int alpha)
{
    const int first = std::min(y1, y2);
    const int last = std::max(y1, y2);
    unsigned char* p = pb->pixels + static_cast<ptrdiff_t>(first) * pb->rowstride +
                       static_cast<ptrdiff_t>(x1) * bytes_per_pixel;
    for (int y = first; y <= last; ++y, p += pb->rowstride)
        blend_pixel(p, r, g, b, alpha);
}
