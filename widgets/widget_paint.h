#pragma once
// Painting helpers shared by the widgets: the film-strip frame of a value and
// the two block operations (copy, alpha-combine) trimmed to the buffers.
//
// The toolkit's afx_pixbuf_copy and afx_combine_pixbuf_fixed do not clip; a
// widget placed partly outside its target, or a strip shorter than its frame
// count promises, would otherwise write past the end of a pixel block. The
// trimmed forms paint exactly what the plain ones would for every rectangle
// that lies inside both buffers, and only the inside part of any other.
// No lock, no X call: they run on whichever thread owns the target (the
// editor's GUI thread).

#include "gui_engine/AFX_engine.h"

#include <algorithm>

namespace ze710_widgets {

// Frame shown for a widget value v (0..99) on a strip of `frames` frames:
// trunc(v / 100 * frames), in single precision as the strips were laid out.
// NaN and values past either end (which the value setters never store) give
// the first or the last frame instead of an out-of-range integer conversion.
inline int film_strip_frame(float value, int frames)
{
    const float position = value / 100.0f * static_cast<float>(frames);
    if (!(position >= 0.0f))
        return 0;
    if (position >= static_cast<float>(frames))
        return frames > 0 ? frames - 1 : 0;
    return static_cast<int>(position);
}

// Trims the w x h block at (sx, sy) in src, placed at (dx, dy) in dst, to the
// part inside both buffers. False when nothing is left or a buffer is missing.
inline bool clip_block(const afx_pixbuf* src, const afx_pixbuf* dst, int& sx, int& sy, int& dx,
                       int& dy, int& w, int& h)
{
    if (!src || !dst || !src->pixels || !dst->pixels)
        return false;
    const int skip_x = std::max({0, -sx, -dx});
    const int skip_y = std::max({0, -sy, -dy});
    sx += skip_x;
    dx += skip_x;
    w -= skip_x;
    sy += skip_y;
    dy += skip_y;
    h -= skip_y;
    w = std::min({w, src->width - sx, dst->width - dx});
    h = std::min({h, src->height - sy, dst->height - dy});
    return w > 0 && h > 0;
}

inline void copy_block(afx_pixbuf* src, afx_pixbuf* dst, int sx, int sy, int dx, int dy, int w,
                       int h)
{
    if (clip_block(src, dst, sx, sy, dx, dy, w, h))
        AFX_engine::afx_pixbuf_copy(src, dst, sx, sy, dx, dy, w, h);
}

inline void combine_block(afx_pixbuf* src, afx_pixbuf* dst, int sx, int sy, int dx, int dy, int w,
                          int h)
{
    if (clip_block(src, dst, sx, sy, dx, dy, w, h))
        AFX_engine::afx_combine_pixbuf_fixed(src, dst, sx, sy, dx, dy, w, h);
}

} // namespace ze710_widgets
