// The editor's background: an image of dark dots on black with a resize grip
// in its lower-right corner, generated at the window's device size so that it
// stays crisp at every scale (the caller scales pitch, dot and grip sizes).
//
// The grip is a triangle of cells (grip size / 5 pixels): each cell holds a
// square of the base colour, half a cell wide, on the medium colour, and the
// cells fill the part of the grip square below its diagonal.

#include "gui_engine/AFX_engine.h"

#include "gui_engine/afx_locks.h"
#include "gui_engine/afx_pixel_format.h"

namespace {

constexpr int dark_divisor = 896;    // dark level = component * 256 / 896 (112 -> 32)
constexpr int medium_divisor = 597;  // medium level = component * 256 / 597 (112 -> 48)
constexpr int grip_cells = 5;        // cells along each side of the grip square

int level(int component, int divisor)
{
    return component * 256 / divisor;
}

int channel(int component)
{
    return component < 0 ? 0 : (component > 255 ? 255 : component);
}

} // namespace

_XImage* AFX_engine::afx_pixmap_create_fixed(int width, int height, int red, int green, int blue,
                                             int grip_size, int grip_inset, int dot_pitch,
                                             int dot_size)
{
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    if (!dpy)
        return nullptr;
    XImage* img = create_image_locked(dpy, width, height);
    if (!img)
        return nullptr;
    const afx_pixel_packer packer(img->red_mask, img->green_mask, img->blue_mask);
    if (!packer.supported())
        return img;  // stays black

    red = channel(red);
    green = channel(green);
    blue = channel(blue);
    const unsigned long base = packer.pack(red, green, blue);
    const unsigned long dark = packer.pack(level(red, dark_divisor), level(green, dark_divisor),
                                           level(blue, dark_divisor));
    const unsigned long medium = packer.pack(
        level(red, medium_divisor), level(green, medium_divisor), level(blue, medium_divisor));

    // Dots: both phases below the dot size. A pitch below 1 draws no dots.
    if (dot_pitch > 0 && dot_size > 0) {
        for (int y = 0, row_phase = 0; y < height; ++y) {
            if (row_phase < dot_size) {
                for (int x = 0, column_phase = 0; x < width; ++x) {
                    if (column_phase < dot_size)
                        XPutPixel(img, x, y, dark);
                    if (++column_phase == dot_pitch)
                        column_phase = 0;
                }
            }
            if (++row_phase == dot_pitch)
                row_phase = 0;
        }
    }

    // Grip: u, v count from its lower-right corner. Fewer than five pixels
    // make no cells, so no grip.
    const int cell = grip_size / grip_cells;
    if (cell < 1)
        return img;
    const int half = cell / 2;
    const int right = width - 1 - grip_inset;
    const int bottom = height - 1 - grip_inset;
    for (int y = bottom - grip_size + 1; y <= bottom; ++y) {
        if (y < 0 || y >= height)
            continue;
        const int v = bottom - y;
        for (int x = right - grip_size + 1; x <= right; ++x) {
            if (x < 0 || x >= width)
                continue;
            const int u = right - x;
            if (u + v >= grip_size)
                continue;
            const bool base_cell = u % cell < half && v % cell < half;
            XPutPixel(img, x, y, base_cell ? base : medium);
        }
    }
    return img;
}
