// The editor's compiled-in images: each decodes through the toolkit's inline
// reader with the size, rowstride and type the editor's layout needs; the
// knob strip's pointer really turns, frame by frame, through 300 degrees with
// frame 19 pointing straight up and mirror-symmetric; knob frames are
// transparent in their corners so the panel's scale shows between knobs; the
// two-frame strips change between their frames.

// GoogleTest before the engine header: Xlib defines macros (None) that clash
// with GoogleTest's own names.
#include <gtest/gtest.h>

#include "editor/images/ze710_images.h"
#include "tests/widgets/widget_test_support.h"

#include <cmath>
#include <cstdint>
#include <string>

namespace {

using namespace widget_test;

struct image_case {
    const char* name;
    const unsigned char* data;
    unsigned int length;
    int width, height;
};

const image_case images[] = {
    {"front_panel", ze710_img_front_panel, ze710_img_front_panel_length, 144, 494},
    {"knob_strip", ze710_img_knob_strip, ze710_img_knob_strip_length, 48, 1872},
    {"bypass_strip", ze710_img_bypass_strip, ze710_img_bypass_strip_length, 44, 40},
    {"status_strip", ze710_img_status_strip, ze710_img_status_strip_length, 32, 32},
    {"left_strip", ze710_img_left_strip, ze710_img_left_strip_length, 32, 32},
    {"right_strip", ze710_img_right_strip, ze710_img_right_strip_length, 32, 32},
    {"window_icon", ze710_img_window_icon, ze710_img_window_icon_length, 32, 32},
};

uint32_t be32(const unsigned char* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

struct inline_deleter {
    void operator()(afx_pixbuf* pb) const { AFX_engine::afx_pixbuf_destroy(pb); }
};
using wrapped_pixbuf = std::unique_ptr<afx_pixbuf, inline_deleter>;

wrapped_pixbuf decode(const unsigned char* data)
{
    return wrapped_pixbuf(AFX_engine::afx_pixbuf_new_from_inline(data, 0));
}

TEST(EditorImages, EveryImageDecodesWithItsSize)
{
    for (const image_case& img : images) {
        SCOPED_TRACE(img.name);
        wrapped_pixbuf pb = decode(img.data);
        ASSERT_NE(pb, nullptr);
        EXPECT_EQ(pb->width, img.width);
        EXPECT_EQ(pb->height, img.height);
        EXPECT_EQ(pb->rowstride, 4 * img.width);
        EXPECT_EQ(pb->pixels, img.data + 24);  // wrapped in place, not copied
        EXPECT_EQ(be32(img.data + 8), 0x01010002u);  // raw 8-bit RGBA
        const unsigned int bytes = 24u + 4u * static_cast<unsigned>(img.width * img.height);
        EXPECT_EQ(be32(img.data + 4), bytes);
        EXPECT_EQ(img.length, bytes);
    }
}

constexpr int knob_size = 48;
constexpr int knob_frames = 39;

rgba knob_pixel(const afx_pixbuf* strip, int frame, int x, int y)
{
    return pixel(strip, x, frame * knob_size + y);
}

// Direction of the knob's pointer in degrees clockwise from straight up: the
// centroid of the bright pixels (the white and orange pointer line) between
// radius 5 and 22 around the frame's centre. NaN when there are none.
double pointer_angle(const afx_pixbuf* strip, int frame)
{
    double sx = 0.0, sy = 0.0;
    int n = 0;
    for (int y = 0; y < knob_size; ++y)
        for (int x = 0; x < knob_size; ++x) {
            const rgba c = knob_pixel(strip, frame, x, y);
            const double dx = x + 0.5 - knob_size / 2.0, dy = y + 0.5 - knob_size / 2.0;
            const double r = std::hypot(dx, dy);
            if (c.a > 200 && std::max(c.r, std::max(c.g, c.b)) > 180 && r > 5.0 && r < 22.0) {
                sx += dx;
                sy += dy;
                ++n;
            }
        }
    if (n == 0)
        return std::nan("");
    return std::atan2(sx, -sy) * 180.0 / M_PI;
}

TEST(EditorImages, KnobPointerTurnsThroughThreeHundredDegrees)
{
    wrapped_pixbuf strip = decode(ze710_img_knob_strip);
    ASSERT_NE(strip, nullptr);
    for (int f = 0; f < knob_frames; ++f) {
        const double expected = -150.0 + 300.0 * f / (knob_frames - 1);
        const double angle = pointer_angle(strip.get(), f);
        ASSERT_FALSE(std::isnan(angle)) << "no pointer in frame " << f;
        EXPECT_NEAR(angle, expected, 2.0) << "frame " << f;
    }
}

TEST(EditorImages, EveryKnobFrameDiffersFromItsNeighbours)
{
    wrapped_pixbuf strip = decode(ze710_img_knob_strip);
    ASSERT_NE(strip, nullptr);
    for (int f = 1; f < knob_frames; ++f) {
        int changed = 0;
        for (int y = 0; y < knob_size; ++y)
            for (int x = 0; x < knob_size; ++x) {
                const rgba a = knob_pixel(strip.get(), f - 1, x, y);
                const rgba b = knob_pixel(strip.get(), f, x, y);
                if (std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) > 30)
                    ++changed;
            }
        // The pointer line moves by 8 degrees: dozens of pixels change.
        EXPECT_GT(changed, 20) << "frames " << f - 1 << " and " << f;
    }
}

TEST(EditorImages, CentreFrameIsMirrorSymmetric)
{
    wrapped_pixbuf strip = decode(ze710_img_knob_strip);
    ASSERT_NE(strip, nullptr);
    int worst = 0;
    for (int y = 0; y < knob_size; ++y)
        for (int x = 0; x < knob_size / 2; ++x) {
            const rgba a = knob_pixel(strip.get(), 19, x, y);
            const rgba b = knob_pixel(strip.get(), 19, knob_size - 1 - x, y);
            worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g),
                              std::abs(a.b - b.b), std::abs(a.a - b.a)});
        }
    EXPECT_LE(worst, 8);
    // A pointer off centre by one frame is far from symmetric.
    int neighbour_worst = 0;
    for (int y = 0; y < knob_size; ++y)
        for (int x = 0; x < knob_size / 2; ++x) {
            const rgba a = knob_pixel(strip.get(), 20, x, y);
            const rgba b = knob_pixel(strip.get(), 20, knob_size - 1 - x, y);
            neighbour_worst = std::max(neighbour_worst, std::abs(a.r - b.r));
        }
    EXPECT_GT(neighbour_worst, 60);
}

TEST(EditorImages, KnobCornersAreTransparentAndTheKnobOpaque)
{
    wrapped_pixbuf strip = decode(ze710_img_knob_strip);
    ASSERT_NE(strip, nullptr);
    for (int f = 0; f < knob_frames; ++f) {
        SCOPED_TRACE("frame " + std::to_string(f));
        EXPECT_EQ(knob_pixel(strip.get(), f, 0, 0).a, 0);
        EXPECT_EQ(knob_pixel(strip.get(), f, 47, 0).a, 0);
        EXPECT_EQ(knob_pixel(strip.get(), f, 0, 47).a, 0);
        EXPECT_EQ(knob_pixel(strip.get(), f, 47, 47).a, 0);
        EXPECT_EQ(knob_pixel(strip.get(), f, 24, 24).a, 255);
    }
}

TEST(EditorImages, TwoFrameStripsChangeBetweenTheirFrames)
{
    const image_case* strips[] = {&images[2], &images[3], &images[4], &images[5]};
    for (const image_case* img : strips) {
        SCOPED_TRACE(img->name);
        wrapped_pixbuf pb = decode(img->data);
        ASSERT_NE(pb, nullptr);
        const int frame_height = img->height / 2;
        int changed = 0;
        for (int y = 0; y < frame_height; ++y)
            for (int x = 0; x < img->width; ++x)
                if (pixel(pb.get(), x, y) != pixel(pb.get(), x, y + frame_height))
                    ++changed;
        EXPECT_GT(changed, img->width * frame_height / 10);
    }
    // The Effect switch's two top rows lie under the LF freq knob's rectangle
    // and must stay transparent, or a knob repaint would cut into them.
    wrapped_pixbuf bypass = decode(ze710_img_bypass_strip);
    for (int frame = 0; frame < 2; ++frame)
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 44; ++x)
                ASSERT_EQ(pixel(bypass.get(), x, frame * 20 + y).a, 0) << x << "," << y;
}

} // namespace
