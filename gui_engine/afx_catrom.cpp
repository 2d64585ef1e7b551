// Catmull-Rom resampling in integer arithmetic (see afx_catrom.h).
//
// The fast path rests on two facts. The weights depend only on the fraction
// f, so the four weights, their sum and a reciprocal for each of the 256
// fractions are tabulated once per process. And for a positive sum S the
// prescribed normalisation, q = trunc(sum(s * w * 256) / S), then 0 for q < 0,
// 255 for q > 65280, else q >> 8, equals min(255, floor(A / S)) for
// A = sum(s * w) > 0 and 0 otherwise; floor(A / S) is one multiplication by
// ceil(2^32 / S) and a shift, exact because A < 2^17 (255 times the positive
// weights, at most 288) while S > 128. The tests compare both paths pixel for
// pixel.

#include "gui_engine/afx_catrom.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

constexpr int fraction_steps = 256;  // 1/256 pixel per step of f
constexpr int taps = 4;              // k = -1, 0, 1, 2
constexpr int channels = 3;          // the intermediate buffer keeps red, green, blue
constexpr int max_channel_fixed = 65280;  // 255 << 8

// Source index and fraction of a destination offset (X - origin).
struct source_position {
    int index;
    int fraction;
};

source_position map_to_source(int offset, int32_t inverse)
{
    // Products stay below 2^31 for every image the editor draws; 64 bits keep
    // absurd scales from overflowing.
    const int64_t product = static_cast<int64_t>(offset) * inverse;
    return {static_cast<int>(product >> 16), static_cast<int>((product >> 8) & 255)};
}

int clamp_int(int v, int lo, int hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

// ---------------------------------------------------------------------------
// Plain transcription: weights, sums and a division per channel and pixel.

void plain_weights(int fraction, int weights[taps], int* sum)
{
    *sum = 0;
    for (int k = -1; k <= 2; ++k) {
        weights[k + 1] = afx_catrom_weight(std::abs(k * 256 - fraction));
        *sum += weights[k + 1];
    }
}

unsigned char plain_normalise(int numerator, int sum)
{
    if (sum == 0)
        return 0;
    const int q = numerator / sum;
    if (q < 0)
        return 0;
    if (q > max_channel_fixed)
        return 255;
    return static_cast<unsigned char>(q >> 8);
}

// ---------------------------------------------------------------------------
// Fast path tables.

struct fraction_weights {
    int w[taps];
    uint64_t reciprocal;  // ceil(2^32 / sum)
};

struct weight_table {
    fraction_weights entries[fraction_steps];
    weight_table()
    {
        for (int f = 0; f < fraction_steps; ++f) {
            int sum = 0;
            plain_weights(f, entries[f].w, &sum);
            // The sum lies within a few units of 256 for every f (the tests
            // check it); a sum that is not positive could not be tabulated.
            entries[f].reciprocal = sum > 0 ? ((uint64_t{1} << 32) + sum - 1) / sum : 0;
        }
    }
};

const weight_table& weights()
{
    static const weight_table table;
    return table;
}

// Branch-free so that the compiler can vectorise the passes.
inline unsigned char fast_normalise(int accumulator, uint64_t reciprocal)
{
    const uint64_t positive = static_cast<uint64_t>(accumulator > 0 ? accumulator : 0);
    const uint64_t q = (positive * reciprocal) >> 32;
    return static_cast<unsigned char>(q < 255 ? q : 255);
}

} // namespace

int afx_catrom_weight(int t)
{
    const int t2 = (t * t) >> 8;
    const int t3 = (t2 * t) >> 8;
    if (t >= 0 && t <= 255)
        return ((384 * t3) >> 8) + ((-640 * t2) >> 8) + 256;
    if (t >= 256 && t <= 511)
        return ((-1024 * t) >> 8) + ((640 * t2) >> 8) + 512 + ((-128 * t3) >> 8);
    return 0;
}

bool afx_catrom_clip(const afx_pixbuf* src, int image_width, int image_height, int x, int y,
                     int width, int height, int origin_x, int origin_y, float scale,
                     afx_catrom_area* area)
{
    if (!src || !src->pixels || src->width < 1 || src->height < 1 || !(scale > 0.0f))
        return false;
    const float inverse_f = 65536.0f / scale;
    if (!(inverse_f >= 1.0f && inverse_f < 2147483648.0f))
        return false;
    const int32_t inverse = static_cast<int32_t>(inverse_f);

    // A negative start is cut off together with the part of the rectangle
    // left of (above) the image, so nothing right of (below) its own far edge
    // is ever drawn.
    // 64-bit while clipping: a caller's "to the end" of INT_MAX must not wrap.
    int64_t w = width;
    int64_t h = height;
    if (x < 0) {
        w += x;
        x = 0;
    }
    if (y < 0) {
        h += y;
        y = 0;
    }
    if (x > image_width - 1 || y > image_height - 1 || origin_x > image_width - 1 ||
        origin_y > image_height - 1)
        return false;
    width = static_cast<int>(std::min<int64_t>(w, image_width - x));
    height = static_cast<int>(std::min<int64_t>(h, image_height - y));
    if (x < origin_x) {
        width -= origin_x - x;
        x = origin_x;
    }
    if (y < origin_y) {
        height -= origin_y - y;
        y = origin_y;
    }
    if (width < 1 || height < 1)
        return false;

    const int first_source = map_to_source(x - origin_x, inverse).index;
    const int last_source = map_to_source(x - origin_x + width - 1, inverse).index;
    if (first_source > src->width - 1 || map_to_source(y - origin_y, inverse).index > src->height - 1)
        return false;

    area->x = x;
    area->y = y;
    area->width = width;
    area->height = height;
    area->inverse = inverse;
    area->first_column = std::max(0, first_source - 1);
    area->last_column = std::min(src->width - 1, last_source + 3);
    return true;
}

bool afx_catrom_resample_plain(const afx_pixbuf* src, int image_width, int image_height, int x,
                               int y, int width, int height, int origin_x, int origin_y,
                               float scale, afx_catrom_row_sink sink, void* context)
{
    afx_catrom_area a;
    if (!afx_catrom_clip(src, image_width, image_height, x, y, width, height, origin_x, origin_y,
                         scale, &a))
        return false;
    const int c0 = a.first_column;
    const int c1 = a.last_column;
    const int mid_stride = (c1 - c0 + 4) * channels;
    std::vector<unsigned char> mid(static_cast<size_t>(a.height + 8) * mid_stride);
    std::vector<unsigned char> row_out(static_cast<size_t>(a.width) * channels);

    // Vertical pass: source rows into the intermediate buffer.
    int rows = 0;
    for (int j = 0; j < a.height; ++j) {
        const source_position p = map_to_source(a.y + j - origin_y, a.inverse);
        if (p.index > src->height - 1)
            break;
        int w[taps];
        int sum = 0;
        plain_weights(p.fraction, w, &sum);
        for (int c = c0; c <= c1; ++c) {
            for (int ch = 0; ch < channels; ++ch) {
                int numerator = 0;
                for (int k = -1; k <= 2; ++k) {
                    const int r = clamp_int(p.index + k, 0, src->height - 1);
                    const unsigned char s = src->pixels[r * src->rowstride + 4 * c + ch];
                    numerator += s * (w[k + 1] * 256);
                }
                mid[j * mid_stride + (c - c0) * channels + ch] = plain_normalise(numerator, sum);
            }
        }
        ++rows;
    }

    // Horizontal pass: intermediate columns into the destination.
    for (int j = 0; j < rows; ++j) {
        int count = 0;
        for (int i = 0; i < a.width; ++i) {
            const source_position p = map_to_source(a.x + i - origin_x, a.inverse);
            if (p.index > src->width - 1)
                break;
            int w[taps];
            int sum = 0;
            plain_weights(p.fraction, w, &sum);
            for (int ch = 0; ch < channels; ++ch) {
                int numerator = 0;
                for (int k = -1; k <= 2; ++k) {
                    const int m = clamp_int(p.index - c0 + k, 0, c1 - c0);
                    numerator += mid[j * mid_stride + m * channels + ch] * (w[k + 1] * 256);
                }
                row_out[i * channels + ch] = plain_normalise(numerator, sum);
            }
            ++count;
        }
        if (count > 0)
            sink(context, a.y + j, a.x, count, row_out.data());
    }
    return true;
}

bool afx_catrom_resampler::prepare(const afx_pixbuf* src, int image_width, int image_height,
                                   int x, int y, int width, int height, int origin_x,
                                   int origin_y, float scale)
{
    m_ready = afx_catrom_clip(src, image_width, image_height, x, y, width, height, origin_x,
                              origin_y, scale, &m_area);
    if (!m_ready)
        return false;
    m_src = src;
    m_origin_y = origin_y;
    weights();  // builds the table on first use, outside the caller's lock

    // Destination columns: tap base in the padded row and fraction, up to the
    // first column that maps past the source.
    const afx_catrom_area& a = m_area;
    m_column_base.resize(a.width);
    m_column_fraction.resize(a.width);
    m_out_columns = 0;
    for (; m_out_columns < a.width; ++m_out_columns) {
        const source_position p = map_to_source(a.x + m_out_columns - origin_x, a.inverse);
        if (p.index > src->width - 1)
            break;
        m_column_base[m_out_columns] = (p.index - a.first_column) * channels;
        m_column_fraction[m_out_columns] = static_cast<unsigned char>(p.fraction);
    }
    // Intermediate rows carry one repeated edge pixel before column c0 and
    // two after c1, so the horizontal taps need no clamping: padded index
    // s - c0 + k + 1 for tap k.
    const int columns = a.last_column - a.first_column + 1;
    m_mid.resize(static_cast<size_t>(a.height) * (columns + 3) * channels);
    m_row_out.resize(static_cast<size_t>(a.width) * channels);
    return true;
}

void afx_catrom_resampler::run(afx_catrom_row_sink sink, void* context)
{
    if (!m_ready)
        return;
    const afx_pixbuf* src = m_src;
    const afx_catrom_area& a = m_area;
    const fraction_weights* table = weights().entries;
    const int c0 = a.first_column;
    const int columns = a.last_column - c0 + 1;
    const int mid_stride = (columns + 3) * channels;
    unsigned char* mid_rows = m_mid.data();

    int rows = 0;
    for (int j = 0; j < a.height; ++j) {
        const source_position p = map_to_source(a.y + j - m_origin_y, a.inverse);
        if (p.index > src->height - 1)
            break;
        const fraction_weights& fw = table[p.fraction];
        const int last_row = src->height - 1;
        auto row_at = [&](int r) {
            return src->pixels + clamp_int(r, 0, last_row) * src->rowstride + 4 * c0;
        };
        const unsigned char* s0 = row_at(p.index - 1);
        const unsigned char* s1 = row_at(p.index);
        const unsigned char* s2 = row_at(p.index + 1);
        const unsigned char* s3 = row_at(p.index + 2);
        unsigned char* row = mid_rows + static_cast<size_t>(j) * mid_stride;
        unsigned char* out = row + channels;
        const int w0 = fw.w[0], w1 = fw.w[1], w2 = fw.w[2], w3 = fw.w[3];
        const uint64_t reciprocal = fw.reciprocal;
        for (int c = 0; c < columns; ++c) {
            for (int ch = 0; ch < channels; ++ch) {
                const int o = 4 * c + ch;
                const int acc = s0[o] * w0 + s1[o] * w1 + s2[o] * w2 + s3[o] * w3;
                out[channels * c + ch] = fast_normalise(acc, reciprocal);
            }
        }
        for (int ch = 0; ch < channels; ++ch) {
            row[ch] = row[channels + ch];
            row[(columns + 1) * channels + ch] = row[columns * channels + ch];
            row[(columns + 2) * channels + ch] = row[columns * channels + ch];
        }
        ++rows;
    }

    // Local copies: stores through unsigned char pointers may alias any
    // member, which would make the compiler reload them per pixel.
    const int out_columns = m_out_columns;
    const int* column_base = m_column_base.data();
    const unsigned char* column_fraction = m_column_fraction.data();
    const unsigned char* mid = m_mid.data();
    unsigned char* out = m_row_out.data();
    if (out_columns == 0)
        return;
    for (int j = 0; j < rows; ++j) {
        const unsigned char* row = mid + static_cast<size_t>(j) * mid_stride;
        for (int i = 0; i < out_columns; ++i) {
            const fraction_weights& fw = table[column_fraction[i]];
            const unsigned char* p = row + column_base[i];
            for (int ch = 0; ch < channels; ++ch) {
                const int acc = p[ch] * fw.w[0] + p[3 + ch] * fw.w[1] + p[6 + ch] * fw.w[2] +
                                p[9 + ch] * fw.w[3];
                out[channels * i + ch] = fast_normalise(acc, fw.reciprocal);
            }
        }
        sink(context, a.y + j, a.x, out_columns, out);
    }
}

bool afx_catrom_resample(const afx_pixbuf* src, int image_width, int image_height, int x, int y,
                         int width, int height, int origin_x, int origin_y, float scale,
                         afx_catrom_row_sink sink, void* context)
{
    afx_catrom_resampler resampler;
    if (!resampler.prepare(src, image_width, image_height, x, y, width, height, origin_x, origin_y,
                           scale))
        return false;
    resampler.run(sink, context);
    return true;
}
