#pragma once
// Catmull-Rom resampling of an afx_pixbuf, in integer arithmetic, without any
// X call (the engine's afx_stretch_blit_pixbuf_CATROM2 feeds the rows into an
// X image under the display mutex).
//
// Geometry: a destination coordinate X maps to the source position
// (X - origin) * inv / 65536 with inv = trunc(65536 / scale) (16.16); the
// integer part is the source index, bits 8-15 of the product the fraction
// f (0..255). Each pass sums four taps k = -1, 0, 1, 2 at distances
// |256 k - f| (1/256 pixel), weights from afx_catrom_weight, divides by the
// weights' sum and clamps to 0..255. Taps beyond the source repeat its edge
// pixel; no pixel outside the source is read. The resampler is separable:
// a vertical pass into a three-byte intermediate buffer covering only the
// needed source columns, then a horizontal pass.
//
// Two implementations give identical results: afx_catrom_resampler /
// afx_catrom_resample (tables of weights and exact reciprocal
// multiplications, the one the engine uses) and afx_catrom_resample_plain
// (weights, sums and divisions per pixel, kept as the reference the fast one
// is tested against). No lock, no X call; call them from any thread that
// owns the source.

#include "gui_engine/afx_pixbuf.h"

#include <cstdint>
#include <vector>

// Catmull-Rom (a = -0.5) weight times 256 for a distance t in 1/256 pixel;
// 0 beyond two pixels. weight(0) = 256, weight(256) = 0.
int afx_catrom_weight(int t);

// The clipped destination rectangle and the source columns it needs.
struct afx_catrom_area {
    int x = 0, y = 0;           // first destination column and row drawn
    int width = 0, height = 0;  // of the clipped rectangle (rows/columns may still stop
                                // early where the source ends)
    int32_t inverse = 0;        // 16.16, trunc(65536 / scale)
    int first_column = 0;       // c0: first source column read
    int last_column = 0;        // c1: last source column read
};

// Clips (x, y, width, height) to the image and to the part right of and below
// the origin. False when nothing is to be drawn (also for a scale that is not
// positive or an empty source).
bool afx_catrom_clip(const afx_pixbuf* src, int image_width, int image_height, int x, int y,
                     int width, int height, int origin_x, int origin_y, float scale,
                     afx_catrom_area* area);

// Receives one finished destination row: `count` pixels from column x of row
// y, three bytes (red, green, blue) each.
typedef void (*afx_catrom_row_sink)(void* context, int y, int x, int count,
                                    const unsigned char* rgb);

// The fast path in two steps, so that a caller can clip, tabulate and
// allocate before it takes a lock and run the passes under it. One
// resampler serves one call; it owns its buffers.
class afx_catrom_resampler {
public:
    // False when nothing is to be drawn (run then does nothing).
    bool prepare(const afx_pixbuf* src, int image_width, int image_height, int x, int y, int width,
                 int height, int origin_x, int origin_y, float scale);
    // Both passes; the source must be unchanged since prepare.
    void run(afx_catrom_row_sink sink, void* context);

private:
    const afx_pixbuf* m_src = nullptr;
    afx_catrom_area m_area;
    int m_origin_y = 0;
    bool m_ready = false;
    int m_out_columns = 0;
    std::vector<int> m_column_base;                // byte offset of tap -1 in a padded row
    std::vector<unsigned char> m_column_fraction;  // 0..255
    std::vector<unsigned char> m_mid;              // intermediate rows, padded
    std::vector<unsigned char> m_row_out;          // one finished row
};

// Resample src into the rectangle (x, y, width, height) of an image of
// image_width x image_height, with source pixel (0, 0) at (origin_x,
// origin_y). Returns false when nothing was drawn. Alpha is ignored.
bool afx_catrom_resample(const afx_pixbuf* src, int image_width, int image_height, int x, int y,
                         int width, int height, int origin_x, int origin_y, float scale,
                         afx_catrom_row_sink sink, void* context);
bool afx_catrom_resample_plain(const afx_pixbuf* src, int image_width, int image_height, int x,
                               int y, int width, int height, int origin_x, int origin_y,
                               float scale, afx_catrom_row_sink sink, void* context);
