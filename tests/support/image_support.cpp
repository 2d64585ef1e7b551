#include "tests/support/image_support.h"

#include <png.h>

#include <cstdio>

namespace test_support {

namespace {

int mask_shift(unsigned long mask)
{
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

int mask_bits(unsigned long mask)
{
    int bits = 0;
    for (; mask; mask >>= 1)
        bits += static_cast<int>(mask & 1);
    return bits;
}

int widen(unsigned long stored, int bits)
{
    int value = static_cast<int>(stored) << (8 - bits);
    for (int have = bits; have < 8; have += bits)
        value |= value >> bits;
    return value & 255;
}

// libpng reports errors by longjmp: the FILE stays with the callers below,
// outside the jump's reach. `row(y)` gives row y in the colour type's layout.
template <typename Row>
bool write_png_rows(FILE* file, int width, int height, int colour_type, Row row)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 colour_type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, row(y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

template <typename Row>
bool write_png_file(const std::string& path, int width, int height, int colour_type, Row row)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = write_png_rows(file, width, height, colour_type, row);
    return std::fclose(file) == 0 && written;
}

bool read_png_rgba_rows(FILE* file, int* width, int* height, std::vector<unsigned char>* pixels)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    const bool rgba8 = png_get_color_type(png, info) == PNG_COLOR_TYPE_RGBA &&
                       png_get_bit_depth(png, info) == 8;
    if (rgba8) {
        *width = static_cast<int>(png_get_image_width(png, info));
        *height = static_cast<int>(png_get_image_height(png, info));
        pixels->resize(static_cast<size_t>(4) * *width * *height);
        for (int y = 0; y < *height; ++y)
            png_read_row(png, pixels->data() + static_cast<size_t>(4) * *width * y, nullptr);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return rgba8;
}

} // namespace

int quantise(int value, unsigned long mask)
{
    const int bits = mask_bits(mask);
    return widen(static_cast<unsigned long>(value) >> (8 - bits), bits);
}

rgb expand(unsigned long pixel, unsigned long red_mask, unsigned long green_mask,
           unsigned long blue_mask)
{
    auto channel = [pixel](unsigned long mask) {
        return widen((pixel & mask) >> mask_shift(mask), mask_bits(mask));
    };
    return {channel(red_mask), channel(green_mask), channel(blue_mask)};
}

std::vector<rgb> read_back(Display* dpy, Drawable drawable, int x, int y, int width, int height)
{
    std::vector<rgb> pixels;
    XImage* img = XGetImage(dpy, drawable, x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!img)
        return pixels;
    // XGetImage on a pixmap or window of the root depth: take the masks from
    // the default visual when the image carries none.
    Visual* visual = DefaultVisual(dpy, DefaultScreen(dpy));
    const unsigned long rm = img->red_mask ? img->red_mask : visual->red_mask;
    const unsigned long gm = img->green_mask ? img->green_mask : visual->green_mask;
    const unsigned long bm = img->blue_mask ? img->blue_mask : visual->blue_mask;
    pixels.reserve(static_cast<size_t>(width) * height);
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i)
            pixels.push_back(expand(XGetPixel(img, i, j), rm, gm, bm));
    XDestroyImage(img);
    return pixels;
}

bool write_png(const std::string& path, int width, int height, const std::vector<rgb>& pixels)
{
    std::vector<png_byte> row(static_cast<size_t>(width) * 3);
    return write_png_file(path, width, height, PNG_COLOR_TYPE_RGB, [&](int y) {
        for (int i = 0; i < width; ++i) {
            const rgb& p = pixels[static_cast<size_t>(y) * width + i];
            row[3 * i] = static_cast<png_byte>(p.r);
            row[3 * i + 1] = static_cast<png_byte>(p.g);
            row[3 * i + 2] = static_cast<png_byte>(p.b);
        }
        return row.data();
    });
}

bool write_png(const std::string& path, const afx_pixbuf* pb)
{
    return write_png_file(path, pb->width, pb->height, PNG_COLOR_TYPE_RGBA,
                          [pb](int y) { return pb->pixels + y * pb->rowstride; });
}

bool read_png_rgba(const std::string& path, int* width, int* height,
                   std::vector<unsigned char>* pixels)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    const bool read = read_png_rgba_rows(file, width, height, pixels);
    std::fclose(file);
    if (!read)
        pixels->clear();
    return read;
}

} // namespace test_support
