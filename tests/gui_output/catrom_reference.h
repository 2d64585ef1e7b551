#pragma once
// Shared by the resampler tests: source buffers, an in-memory destination
// and the reference resampler written here from the kernel formula, pixel by
// pixel in 64-bit arithmetic (independent of gui_engine/afx_catrom.cpp).

#include "gui_engine/afx_pixbuf.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

namespace catrom_reference {

// A source buffer of random or patterned pixels that owns its memory.
struct source_image {
    std::vector<unsigned char> bytes;
    afx_pixbuf pb{};
    source_image(int width, int height, unsigned seed)
    {
        bytes.resize(static_cast<size_t>(width) * height * 4);
        std::mt19937 rng(seed);
        for (unsigned char& b : bytes)
            b = static_cast<unsigned char>(rng() & 255);
        pb.width = width;
        pb.height = height;
        pb.rowstride = 4 * width;
        pb.pixels = bytes.data();
        pb.parent_window = -1;
    }
    int at(int x, int y, int ch) const { return bytes[(static_cast<size_t>(y) * pb.width + x) * 4 + ch]; }
};

// Destination image in memory: -1 marks pixels the resampler never wrote.
struct canvas {
    int width, height;
    std::vector<int> rgb;
    canvas(int w, int h) : width(w), height(h), rgb(static_cast<size_t>(w) * h * 3, -1) {}
    int at(int x, int y, int ch) const { return rgb[(static_cast<size_t>(y) * width + x) * 3 + ch]; }
    bool written(int x, int y) const { return at(x, y, 0) >= 0; }
};

inline void sink_into(void* context, int y, int x, int count, const unsigned char* rgb)
{
    canvas& c = *static_cast<canvas*>(context);
    for (int i = 0; i < count * 3; ++i)
        c.rgb[(static_cast<size_t>(y) * c.width + x) * 3 + i] = rgb[i];
}

// The kernel formula, evaluated with 64-bit intermediates and floor shifts.
inline int64_t kernel(int64_t t)
{
    auto sh = [](int64_t v) { return v >= 0 ? v / 256 : -((-v + 255) / 256); };  // floor(v / 256)
    const int64_t t2 = sh(t * t);
    const int64_t t3 = sh(t2 * t);
    if (t < 256)
        return sh(384 * t3) + sh(-640 * t2) + 256;
    if (t < 512)
        return sh(-1024 * t) + sh(640 * t2) + 512 + sh(-128 * t3);
    return 0;
}

// Four taps at fraction f over values v[-1..2], normalised and clamped.
inline int filter(const int v[4], int f)
{
    int64_t acc = 0;
    int64_t sum = 0;
    for (int k = -1; k <= 2; ++k) {
        const int64_t w = kernel(std::llabs(256 * k - f));
        acc += v[k + 1] * w * 256;
        sum += w;
    }
    if (sum == 0)
        return 0;
    const int64_t q = acc / sum;  // truncates toward zero
    return q < 0 ? 0 : (q > 65280 ? 255 : static_cast<int>(q >> 8));
}

// Reference: every destination pixel right of and below the origin whose
// source position lies inside the source, by the kernel formula directly;
// taps beyond the source repeat its edge.
inline canvas reference(const source_image& s, int image_w, int image_h, int ox, int oy, float scale)
{
    canvas c(image_w, image_h);
    const int64_t inv = static_cast<int64_t>(65536.0f / scale);
    for (int Y = oy; Y < image_h; ++Y) {
        const int64_t py = (Y - oy) * inv;
        const int r = static_cast<int>(py >> 16), fy = static_cast<int>((py >> 8) & 255);
        if (r >= s.pb.height)
            break;
        for (int X = ox; X < image_w; ++X) {
            const int64_t px = (X - ox) * inv;
            const int col = static_cast<int>(px >> 16), fx = static_cast<int>((px >> 8) & 255);
            if (col >= s.pb.width)
                break;
            for (int ch = 0; ch < 3; ++ch) {
                int vertical[4];
                for (int k = -1; k <= 2; ++k) {
                    const int cc = std::clamp(col + k, 0, s.pb.width - 1);
                    int column[4];
                    for (int m = -1; m <= 2; ++m)
                        column[m + 1] = s.at(cc, std::clamp(r + m, 0, s.pb.height - 1), ch);
                    vertical[k + 1] = filter(column, fy);
                }
                c.rgb[(static_cast<size_t>(Y) * image_w + X) * 3 + ch] = filter(vertical, fx);
            }
        }
    }
    return c;
}

} // namespace catrom_reference
