// Display output: client-side X images in the display's own pixel format,
// pixel buffers converted into them (copied, blended or resampled with the
// Catmull-Rom kernel of afx_catrom.cpp), images put into windows in colour or
// in monochrome, the user-interface scale factor and icon pixmaps.
//
// The editor's images are filled by the event thread in its expose callback
// and replaced by host threads when the editor opens or resizes, so every
// operation that touches an image holds the display mutex for its whole run.
// Rectangles are clipped to the buffer and the image: a wrong rectangle must
// not write outside the image's memory.

#include "gui_engine/AFX_engine.h"

#include "gui_engine/afx_catrom.h"
#include "gui_engine/afx_locks.h"
#include "gui_engine/afx_pixel_format.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr float reference_dpi = 96.0f;  // scale 1.0
constexpr float min_ui_scale = 1.0f;
constexpr float max_ui_scale = 2.0f;
constexpr float ui_scale_steps = 8.0f;  // the scale is a multiple of 1/8
constexpr float mm_per_inch = 25.4f;
constexpr int icon_size = 32;
constexpr int min_visible_alpha = 16;  // alpha & 0xF0 == 0 counts as transparent

afx_pixel_packer packer_of(const XImage* img)
{
    return afx_pixel_packer(img->red_mask, img->green_mask, img->blue_mask);
}

void report_unsupported_format(const char* operation, const XImage* img)
{
    const char* prefix = "*** Error *** ZOKA-UI - AFX_engine";
    std::printf("%s %s - Image / display colour depth is not supported\n", prefix, operation);
    std::printf("%s %s - bits per pixel is %d\n", prefix, operation, img->bits_per_pixel);
    std::printf("%s %s - red_mask is %04lX\n", prefix, operation, img->red_mask);
    std::printf("%s %s - green_mask is %04lX\n", prefix, operation, img->green_mask);
    std::printf("%s %s - blue_mask is %04lX\n\n", prefix, operation, img->blue_mask);
    std::fflush(stdout);
}

// Clips a width x height block at (sx, sy) of a source_w x source_h source,
// going to (dx, dy) of a dest_w x dest_h destination, to both. False when
// nothing is left.
bool clip_block(int source_w, int source_h, int dest_w, int dest_h, int* sx, int* sy, int* dx,
                int* dy, int* width, int* height)
{
    const int shift_x = std::max({0, -*sx, -*dx});
    *sx += shift_x;
    *dx += shift_x;
    *width -= shift_x;
    const int shift_y = std::max({0, -*sy, -*dy});
    *sy += shift_y;
    *dy += shift_y;
    *height -= shift_y;
    *width = std::min({*width, source_w - *sx, dest_w - *dx});
    *height = std::min({*height, source_h - *sy, dest_h - *dy});
    return *width > 0 && *height > 0;
}

// Display mutex held by the caller.
void blit_block(XImage* img, const afx_pixbuf* pb, int sx, int sy, int dx, int dy, int width,
                int height)
{
    const afx_pixel_packer packer = packer_of(img);
    if (!packer.supported()) {
        report_unsupported_format("afx_blit_pixbuf", img);
        return;
    }
    if (!clip_block(pb->width, pb->height, img->width, img->height, &sx, &sy, &dx, &dy, &width,
                    &height))
        return;
    for (int j = 0; j < height; ++j) {
        const unsigned char* s = pb->pixels + (sy + j) * pb->rowstride + 4 * sx;
        for (int i = 0; i < width; ++i, s += 4)
            XPutPixel(img, dx + i, dy + j, packer.pack(s[0], s[1], s[2]));
    }
}

// Display mutex held by the caller.
void draw_block(XImage* img, const afx_pixbuf* pb, int sx, int sy, int dx, int dy, int width,
                int height)
{
    const afx_pixel_packer packer = packer_of(img);
    if (!packer.supported()) {
        report_unsupported_format("afx_draw_pixbuf_fixed", img);
        return;
    }
    if (!clip_block(pb->width, pb->height, img->width, img->height, &sx, &sy, &dx, &dy, &width,
                    &height))
        return;
    for (int j = 0; j < height; ++j) {
        const unsigned char* s = pb->pixels + (sy + j) * pb->rowstride + 4 * sx;
        for (int i = 0; i < width; ++i, s += 4) {
            const int alpha = s[3];
            if (alpha < min_visible_alpha)
                continue;
            unsigned d[3];
            packer.expand(XGetPixel(img, dx + i, dy + j), &d[0], &d[1], &d[2]);
            for (int ch = 0; ch < 3; ++ch) {
                const int old = static_cast<int>(d[ch]);
                d[ch] = static_cast<unsigned>(old + (((s[ch] - old) * alpha) >> 8)) & 255u;
            }
            XPutPixel(img, dx + i, dy + j, packer.pack(d[0], d[1], d[2]));
        }
    }
}

struct image_row_sink {
    XImage* img;
    afx_pixel_packer packer;
    int native_bytes;  // 4 or 2 when rows can be stored directly, else 0
};

// Xlib's put-pixel for a Z-pixmap image whose byte order is the machine's
// own is a plain store of the pixel word; the resampler writes whole rows,
// so it stores 32- and 16-bit pixels of that layout itself (a third of its
// time otherwise goes into the per-pixel calls). Every other layout goes
// through XPutPixel.
int native_pixel_bytes(const XImage* img)
{
    const uint16_t probe = 1;
    const bool little_endian = *reinterpret_cast<const unsigned char*>(&probe) == 1;
    if (img->format != ZPixmap || img->xoffset != 0 ||
        img->byte_order != (little_endian ? LSBFirst : MSBFirst))
        return 0;
    if (img->bits_per_pixel == 32)
        return 4;
    if (img->bits_per_pixel == 16)
        return 2;
    return 0;
}

void put_image_row(void* context, int y, int x, int count, const unsigned char* rgb)
{
    const image_row_sink& sink = *static_cast<const image_row_sink*>(context);
    char* row = sink.img->data + static_cast<ptrdiff_t>(y) * sink.img->bytes_per_line;
    if (sink.native_bytes == 4) {
        for (int i = 0; i < count; ++i, rgb += 3) {
            const uint32_t p = static_cast<uint32_t>(sink.packer.pack(rgb[0], rgb[1], rgb[2]));
            std::memcpy(row + 4 * (x + i), &p, 4);
        }
    } else if (sink.native_bytes == 2) {
        for (int i = 0; i < count; ++i, rgb += 3) {
            const uint16_t p = static_cast<uint16_t>(sink.packer.pack(rgb[0], rgb[1], rgb[2]));
            std::memcpy(row + 2 * (x + i), &p, 2);
        }
    } else {
        for (int i = 0; i < count; ++i, rgb += 3)
            XPutPixel(sink.img, x + i, y, sink.packer.pack(rgb[0], rgb[1], rgb[2]));
    }
}

// Clips a block of img to the image; false when nothing is left.
bool clip_to_image(const XImage* img, int* sx, int* sy, int* dx, int* dy, int* width, int* height)
{
    const int shift_x = std::max(0, -*sx);
    *sx += shift_x;
    *dx += shift_x;
    *width -= shift_x;
    const int shift_y = std::max(0, -*sy);
    *sy += shift_y;
    *dy += shift_y;
    *height -= shift_y;
    *width = std::min(*width, img->width - *sx);
    *height = std::min(*height, img->height - *sy);
    return *width > 0 && *height > 0;
}

// Display mutex held.
void put_image(Display* dpy, Drawable drawable, XImage* img, int sx, int sy, int dx, int dy,
               int width, int height)
{
    if (!clip_to_image(img, &sx, &sy, &dx, &dy, &width, &height))
        return;
    GC gc = XCreateGC(dpy, drawable, 0, nullptr);
    XPutImage(dpy, drawable, gc, img, sx, sy, dx, dy, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    XFreeGC(dpy, gc);
}

} // namespace

// ---------------------------------------------------------------------------
// Images

_XImage* AFX_engine::create_image_locked(Display* dpy, int width, int height)
{
    if (width < 1 || height < 1)
        return nullptr;
    XImage* img = XCreateImage(dpy, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                               static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!img)
        return nullptr;
    // XDestroyImage releases the data with free().
    img->data = static_cast<char*>(
        std::calloc(static_cast<size_t>(height), static_cast<size_t>(img->bytes_per_line)));
    if (!img->data) {
        XDestroyImage(img);
        return nullptr;
    }
    return img;
}

_XImage* AFX_engine::afx_pixmap_create_fixed(int width, int height)
{
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    return dpy ? create_image_locked(dpy, width, height) : nullptr;
}

void AFX_engine::afx_pixmap_destroy(_XImage* img)
{
    if (!img)
        return;
    afx_display_guard display_lock(this);
    // Images belong to the connection's visual; after the display has gone
    // the engine no longer knows they are valid, and leaves them.
    if (live_display())
        XDestroyImage(img);
}

// ---------------------------------------------------------------------------
// Buffer to image

void AFX_engine::afx_blit_pixbuf_fixed(_XImage* img, afx_pixbuf* pb, int sx, int sy, int dx,
                                       int dy, int width, int height)
{
    if (!img || !pb || !pb->pixels)
        return;
    afx_display_guard display_lock(this);
    blit_block(img, pb, sx, sy, dx, dy, width, height);
}

void AFX_engine::afx_draw_pixbuf_fixed(_XImage* img, afx_pixbuf* pb, int sx, int sy, int dx,
                                       int dy, int width, int height)
{
    if (!img || !pb || !pb->pixels)
        return;
    afx_display_guard display_lock(this);
    draw_block(img, pb, sx, sy, dx, dy, width, height);
}

void AFX_engine::afx_stretch_blit_pixbuf_CATROM2(afx_pixbuf* src, _XImage* img, int x, int y,
                                                 int width, int height, int origin_x,
                                                 int origin_y, float scale)
{
    if (!img || !src || !src->pixels)
        return;
    image_row_sink sink{img, packer_of(img), native_pixel_bytes(img)};
    // Clipping, tables and buffers before the lock; an image's size and
    // format never change after creation.
    afx_catrom_resampler resampler;
    const bool drawing = sink.packer.supported() &&
                         resampler.prepare(src, img->width, img->height, x, y, width, height,
                                           origin_x, origin_y, scale);
    afx_display_guard display_lock(this);
    if (!sink.packer.supported()) {
        report_unsupported_format("afx_blit_pixbuf_scaled", img);
        return;
    }
    if (drawing)
        resampler.run(put_image_row, &sink);
}

// ---------------------------------------------------------------------------
// Image to window

void AFX_engine::afx_draw_afx_drawable(int idx, _XImage* img, int sx, int sy, int dx, int dy,
                                       int width, int height)
{
    if (!img)
        return;
    afx_display_guard display_lock(this);
    if (Window window = open_sys_window_locked(idx))
        put_image(live_display(), window, img, sx, sy, dx, dy, width, height);
}

void AFX_engine::afx_draw_drawable(int drawable, _XImage* img, int sx, int sy, int dx, int dy,
                                   int width, int height)
{
    if (!img)
        return;
    afx_display_guard display_lock(this);
    if (Display* dpy = live_display())
        put_image(dpy, static_cast<Drawable>(static_cast<unsigned>(drawable)), img, sx, sy, dx,
                  dy, width, height);
}

void AFX_engine::afx_draw_afx_drawable_mono(int idx, _XImage* img, int sx, int sy, int dx, int dy,
                                            int width, int height, float scale)
{
    if (!img)
        return;
    afx_display_guard display_lock(this);
    if (!clip_to_image(img, &sx, &sy, &dx, &dy, &width, &height))
        return;
    const afx_pixel_packer packer = packer_of(img);
    const Window window = open_sys_window_locked(idx);
    if (!packer.supported()) {
        if (window)
            put_image(live_display(), window, img, sx, sy, dx, dy, width, height);
        return;
    }

    // Bands two logical pixels high: the 16.16 row counter advances by the
    // inverse scale (low 8 bits cleared) per device row, and bit 1 of its
    // integer part marks the plain rows. Counted from the image's top row so
    // that partial exposes line up with the rest of the window.
    const float safe_scale = scale > 0.0f ? scale : 1.0f;
    const int64_t step = static_cast<int64_t>(256.0f / safe_scale) * 256;
    std::vector<unsigned long> saved(static_cast<size_t>(width) * height);
    for (int j = 0; j < height; ++j) {
        const int row = sy + j;
        const bool bright = ((static_cast<int64_t>(row) * step) >> 16) & 2;
        for (int i = 0; i < width; ++i) {
            const unsigned long p = XGetPixel(img, sx + i, row);
            saved[static_cast<size_t>(j) * width + i] = p;
            unsigned r, g, b;
            packer.expand(p, &r, &g, &b);
            unsigned luma = (r >> 2) + (g >> 1) + (b >> 3);
            if (!bright)
                luma -= luma >> 3;
            XPutPixel(img, sx + i, row, packer.pack(luma, luma, luma));
        }
    }
    if (window)
        put_image(live_display(), window, img, sx, sy, dx, dy, width, height);
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i)
            XPutPixel(img, sx + i, sy + j, saved[static_cast<size_t>(j) * width + i]);
}

// ---------------------------------------------------------------------------
// Scale

float AFX_engine::get_optimum_scale_factor()
{
    // Any thread; two first callers may both measure, with the same result.
    if (const float cached = optimum_scale_factor; cached != 0.0f)
        return cached;

    // A connection of its own: the engine's display may not be open yet when
    // the editor asks for its size.
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        optimum_scale_factor = 1.0f;
        return 1.0f;
    }
    const int screen = DefaultScreen(dpy);
    const int w = DisplayWidth(dpy, screen);
    const int h = DisplayHeight(dpy, screen);
    const int wmm = DisplayWidthMM(dpy, screen);
    const int hmm = DisplayHeightMM(dpy, screen);
    XCloseDisplay(dpy);
    const float diagonal_px = std::sqrt(static_cast<float>(w * w + h * h));
    const float diagonal_mm = std::sqrt(static_cast<float>(wmm * wmm + hmm * hmm));

    int dpi = 0;
    if (const char* text = std::getenv("ZOKA_UI_DPI")) {
        const long value = std::strtol(text, nullptr, 10);
        dpi = static_cast<int>(std::max(-1000000L, std::min(value, 1000000L)));
    } else if (diagonal_mm > 0.0f) {
        dpi = static_cast<int>(diagonal_px / (diagonal_mm / mm_per_inch));
    } else {
        dpi = static_cast<int>(reference_dpi);  // a screen that reports no physical size
    }
    std::printf("ZOKA-UI: UI dpi %d\n", dpi);

    const float s = static_cast<float>(dpi) / reference_dpi;
    float scale;
    if (s < min_ui_scale)
        scale = min_ui_scale;
    else if (s > max_ui_scale)
        scale = max_ui_scale;
    else
        scale = std::floor(s * ui_scale_steps) / ui_scale_steps;
    std::printf("ZOKA-UI: UI scale %.01f %%\n", static_cast<double>(scale * 100.0f));
    std::fflush(stdout);
    optimum_scale_factor = scale;
    return scale;
}

float AFX_engine::afx_get_scale_factor(int idx)
{
    return valid_index(idx) ? static_cast<float>(windows[idx].scale_factor) : 1.0f;
}

void AFX_engine::set_afx_window_scale_factor(int idx, float scale)
{
    if (!valid_index(idx) || !(scale > 0.0f))
        return;
    windows[idx].scale_factor = scale;
    windows[idx].inverse_scale = static_cast<int32_t>(65536.0f / scale);
}

int AFX_engine::get_dpi(int* vertical, int* horizontal)
{
    Display* dpy = live_display();
    if (!dpy)
        return 0;
    const int screen = DefaultScreen(dpy);
    const float hmm = static_cast<float>(DisplayHeightMM(dpy, screen));
    const float wmm = static_cast<float>(DisplayWidthMM(dpy, screen));
    if (vertical)
        *vertical = hmm > 0.0f
                        ? static_cast<int>(static_cast<float>(DisplayHeight(dpy, screen)) /
                                           (hmm / mm_per_inch))
                        : 0;
    if (horizontal)
        *horizontal = wmm > 0.0f
                          ? static_cast<int>(static_cast<float>(DisplayWidth(dpy, screen)) /
                                             (wmm / mm_per_inch))
                          : 0;
    return ScreenCount(dpy);
}

// ---------------------------------------------------------------------------
// Icons

Pixmap AFX_engine::icon_pixmap_locked(Display* dpy, afx_pixbuf* pb, Window window)
{
    if (!pb || !pb->pixels || pb->width < icon_size || pb->height < icon_size)
        return 0;
    XImage* img = create_image_locked(dpy, pb->width, pb->height);
    if (!img)
        return 0;
    draw_block(img, pb, 0, 0, 0, 0, icon_size, icon_size);
    const Pixmap pixmap =
        XCreatePixmap(dpy, window, icon_size, icon_size, static_cast<unsigned>(depth));
    put_image(dpy, pixmap, img, 0, 0, 0, 0, icon_size, icon_size);
    XDestroyImage(img);
    return pixmap;
}

unsigned long AFX_engine::afx_icon_pixmap_create_from_pixbuf(afx_pixbuf* pb, int idx)
{
    afx_display_guard display_lock(this);
    const Window window = open_sys_window_locked(idx);
    return window ? icon_pixmap_locked(live_display(), pb, window) : 0;
}

void AFX_engine::afx_icon_pixmap_destroy(unsigned long pixmap)
{
    afx_display_guard display_lock(this);
    Display* dpy = live_display();
    if (!dpy || !pixmap)
        return;
    XFreePixmap(dpy, pixmap);
    XFlush(dpy);
}
