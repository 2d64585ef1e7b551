// Pixel buffers: allocation gives opaque black, inline "GdkP" images are
// wrapped in place, copies move all four bytes, and blending follows
// d + floor((s - d) * a / 256) with the destination alpha untouched. Expected
// values are worked out by hand below each case.

// GoogleTest before the engine header: Xlib defines macros (None) that clash
// with GoogleTest's own names.
#include <gtest/gtest.h>

#include "gui_engine/AFX_engine.h"
#include "tests/support/image_support.h"

#include <cstring>
#include <vector>

namespace {

using namespace test_support;

void put_be32(std::vector<unsigned char>& v, uint32_t x)
{
    v.push_back(static_cast<unsigned char>(x >> 24));
    v.push_back(static_cast<unsigned char>(x >> 16));
    v.push_back(static_cast<unsigned char>(x >> 8));
    v.push_back(static_cast<unsigned char>(x));
}

std::vector<unsigned char> inline_image(uint32_t magic, uint32_t type, int width, int height)
{
    std::vector<unsigned char> data;
    put_be32(data, magic);
    put_be32(data, static_cast<uint32_t>(24 + 4 * width * height));
    put_be32(data, type);
    put_be32(data, static_cast<uint32_t>(4 * width));
    put_be32(data, static_cast<uint32_t>(width));
    put_be32(data, static_cast<uint32_t>(height));
    for (int i = 0; i < width * height; ++i) {
        data.push_back(static_cast<unsigned char>(10 * i));
        data.push_back(static_cast<unsigned char>(10 * i + 1));
        data.push_back(static_cast<unsigned char>(10 * i + 2));
        data.push_back(static_cast<unsigned char>(10 * i + 3));
    }
    return data;
}

TEST(Pixbuf, AllocatedBufferIsOpaqueBlack)
{
    afx_pixbuf* pb = AFX_engine::afx_pixbuf_new_with_allocation(7, 5, 3);
    ASSERT_NE(pb, nullptr);
    EXPECT_EQ(pb->width, 7);
    EXPECT_EQ(pb->height, 5);
    EXPECT_EQ(pb->rowstride, 28);
    EXPECT_EQ(pb->parent_window, 3);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(pixel(pb, x, y), (rgba{0, 0, 0, 255}));
    AFX_engine::afx_pixbuf_reparent(pb, 9);
    EXPECT_EQ(pb->parent_window, 9);
    AFX_engine::afx_pixbuf_destroy_with_allocation(pb);

    // A record that comes without pixels gets them from init.
    afx_pixbuf* bare = new afx_pixbuf{3, 2, 12, nullptr, -1};
    AFX_engine::afx_pixbuf_init(bare);
    ASSERT_NE(bare->pixels, nullptr);
    EXPECT_EQ(pixel(bare, 2, 1), (rgba{0, 0, 0, 255}));
    AFX_engine::afx_pixbuf_destroy_with_allocation(bare);
    AFX_engine::afx_pixbuf_destroy(nullptr);
    AFX_engine::afx_pixbuf_destroy_with_allocation(nullptr);
}

TEST(Pixbuf, InlineImageIsWrappedInPlace)
{
    const std::vector<unsigned char> data = inline_image(0x47646B50, 0x01010002, 3, 2);
    afx_pixbuf* pb = AFX_engine::afx_pixbuf_new_from_inline(data.data(), 4);
    ASSERT_NE(pb, nullptr);
    EXPECT_EQ(pb->width, 3);
    EXPECT_EQ(pb->height, 2);
    EXPECT_EQ(pb->rowstride, 12);
    EXPECT_EQ(pb->parent_window, 4);
    EXPECT_EQ(pb->pixels, data.data() + 24);
    EXPECT_EQ(pixel(pb, 1, 1), (rgba{40, 41, 42, 43}));  // pixel number 4
    AFX_engine::afx_pixbuf_destroy(pb);

    // A run-length-encoded type is not decoded: wrapped as if raw.
    const std::vector<unsigned char> rle = inline_image(0x47646B50, 0x02010002, 2, 2);
    afx_pixbuf* wrapped = AFX_engine::afx_pixbuf_new_from_inline(rle.data(), 0);
    ASSERT_NE(wrapped, nullptr);
    EXPECT_EQ(wrapped->pixels, rle.data() + 24);
    AFX_engine::afx_pixbuf_destroy(wrapped);
}

TEST(Pixbuf, InlineDataWithoutTheMagicIsRejected)
{
    const std::vector<unsigned char> data = inline_image(0x47646B51, 0x01010002, 2, 2);
    testing::internal::CaptureStdout();
    afx_pixbuf* pb = AFX_engine::afx_pixbuf_new_from_inline(data.data(), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(pb, nullptr);
    EXPECT_EQ(out, "afx_pixbuf_new_from_inline - pixbuf is not a pixbuf test failed\n");
}

TEST(Pixbuf, CopyMovesAllFourBytesBetweenStrides)
{
    afx_pixbuf* src = AFX_engine::afx_pixbuf_new_with_allocation(3, 3, 0);
    afx_pixbuf* dst = AFX_engine::afx_pixbuf_new_with_allocation(5, 4, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            set_pixel(src, x, y, {x, y, 100 + x + 10 * y, 7 * x + y});
    AFX_engine::afx_pixbuf_copy(src, dst, 1, 0, 2, 1, 2, 3);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            if (x >= 2 && x < 4 && y >= 1 && y < 4) {
                const int sx = x - 1;
                const int sy = y - 1;
                EXPECT_EQ(pixel(dst, x, y), (rgba{sx, sy, 100 + sx + 10 * sy, 7 * sx + sy}));
            } else {
                EXPECT_EQ(pixel(dst, x, y), (rgba{0, 0, 0, 255}));
            }
        }
    }
    fill(dst, {1, 2, 3, 4});
    AFX_engine::afx_pixbuf_copy(src, dst, 0, 0, 0, 0, 3, 0);  // height 0: nothing
    AFX_engine::afx_pixbuf_copy(src, dst, 0, 0, 0, 0, 3, -2);
    EXPECT_EQ(pixel(dst, 0, 0), (rgba{1, 2, 3, 4}));
    AFX_engine::afx_pixbuf_destroy_with_allocation(src);
    AFX_engine::afx_pixbuf_destroy_with_allocation(dst);
}

TEST(Pixbuf, CombineBlendsWithSourceAlphaAndKeepsDestinationAlpha)
{
    afx_pixbuf* src = AFX_engine::afx_pixbuf_new_with_allocation(4, 1, 0);
    afx_pixbuf* dst = AFX_engine::afx_pixbuf_new_with_allocation(4, 1, 0);
    set_pixel(src, 0, 0, {255, 255, 255, 0});    // fully transparent
    set_pixel(src, 1, 0, {0, 0, 0, 255});        // black, opaque
    set_pixel(src, 2, 0, {255, 255, 255, 255});  // white, opaque
    set_pixel(src, 3, 0, {200, 100, 0, 77});
    set_pixel(dst, 0, 0, {12, 34, 56, 78});
    set_pixel(dst, 1, 0, {255, 255, 255, 90});
    set_pixel(dst, 2, 0, {0, 0, 0, 91});
    set_pixel(dst, 3, 0, {100, 200, 255, 92});
    AFX_engine::afx_combine_pixbuf_fixed(src, dst, 0, 0, 0, 0, 4, 1);
    EXPECT_EQ(pixel(dst, 0, 0), (rgba{12, 34, 56, 78}));  // alpha 0 changes nothing
    EXPECT_EQ(pixel(dst, 1, 0), (rgba{0, 0, 0, 90}));     // 255 - floor(255 * 255 / 256) = 255 - 255
    EXPECT_EQ(pixel(dst, 2, 0), (rgba{254, 254, 254, 91}));  // floor(255 * 255 / 256) = 254
    // 100 + floor(100 * 77 / 256) = 100 + 30; 200 + floor(-100 * 77 / 256) = 200 - 31;
    // 255 + floor(-255 * 77 / 256) = 255 - 77
    EXPECT_EQ(pixel(dst, 3, 0), (rgba{130, 169, 178, 92}));
    AFX_engine::afx_pixbuf_destroy_with_allocation(src);
    AFX_engine::afx_pixbuf_destroy_with_allocation(dst);
}

TEST(Pixbuf, PlotBlendsOnePixelOnly)
{
    afx_pixbuf* pb = AFX_engine::afx_pixbuf_new_with_allocation(3, 3, 0);
    fill(pb, {40, 40, 40, 255});
    AFX_engine::plot_pixel_to_pixbuf(pb, 1, 2, 240, 0, 40, 128, false);
    // 40 + floor(200 * 128 / 256) = 140; 40 + floor(-40 * 128 / 256) = 20
    EXPECT_EQ(pixel(pb, 1, 2), (rgba{140, 20, 40, 255}));
    EXPECT_EQ(pixel(pb, 0, 2), (rgba{40, 40, 40, 255}));
    EXPECT_EQ(pixel(pb, 2, 2), (rgba{40, 40, 40, 255}));
    EXPECT_EQ(pixel(pb, 1, 1), (rgba{40, 40, 40, 255}));
    AFX_engine::afx_pixbuf_destroy_with_allocation(pb);
}

// The pixels a line touched, as a string of '#' and '.' per row.
std::string touched(const afx_pixbuf* pb)
{
    std::string s;
    for (int y = 0; y < pb->height; ++y) {
        for (int x = 0; x < pb->width; ++x)
            s += pixel(pb, x, y).r != 0 ? '#' : '.';
        s += '\n';
    }
    return s;
}

TEST(Pixbuf, LinesIncludeBothEndsInEitherOrder)
{
    afx_pixbuf* forward = AFX_engine::afx_pixbuf_new_with_allocation(6, 4, 0);
    afx_pixbuf* backward = AFX_engine::afx_pixbuf_new_with_allocation(6, 4, 0);
    AFX_engine::draw_horiz_line_to_pixbuf(forward, 1, 2, 4, 0, 255, 0, 0, 255);
    AFX_engine::draw_horiz_line_to_pixbuf(backward, 4, 2, 1, 3, 255, 0, 0, 255);  // y2 unused
    const std::string expected_row = "......\n......\n.####.\n......\n";
    EXPECT_EQ(touched(forward), expected_row);
    EXPECT_EQ(touched(backward), expected_row);
    EXPECT_EQ(pixel(forward, 4, 2), (rgba{254, 0, 0, 255}));

    afx_pixbuf* down = AFX_engine::afx_pixbuf_new_with_allocation(4, 5, 0);
    afx_pixbuf* up = AFX_engine::afx_pixbuf_new_with_allocation(4, 5, 0);
    AFX_engine::draw_vert_line_to_pixbuf(down, 2, 0, 2, 3, 255, 0, 0, 255);
    AFX_engine::draw_vert_line_to_pixbuf(up, 2, 3, 0, 0, 255, 0, 0, 255);  // x2 unused
    const std::string expected_column = "..#.\n..#.\n..#.\n..#.\n....\n";
    EXPECT_EQ(touched(down), expected_column);
    EXPECT_EQ(touched(up), expected_column);

    afx_pixbuf* dot = AFX_engine::afx_pixbuf_new_with_allocation(3, 1, 0);
    AFX_engine::draw_horiz_line_to_pixbuf(dot, 1, 0, 1, 0, 255, 0, 0, 255);
    EXPECT_EQ(touched(dot), ".#.\n");

    for (afx_pixbuf* pb : {forward, backward, down, up, dot})
        AFX_engine::afx_pixbuf_destroy_with_allocation(pb);
}

} // namespace
