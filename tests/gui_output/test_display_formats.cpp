// Pixel buffers reach the screen in every supported format: each test runs
// on a private Xvfb of depth 24, 16 or 15, converts buffers into engine
// images (copy, alpha blend, Catmull-Rom resampling, texture, monochrome),
// puts them on the server and reads the pixels back with XGetImage. Expected
// values are quantised to the visual's masks by bit repetition.

#include <gtest/gtest.h>

#include "gui_engine/AFX_engine.h"
#include "tests/gui_output/catrom_reference.h"
#include "tests/gui_output/output_test_support.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

using namespace output_test;
using catrom_reference::canvas;
using catrom_reference::reference;
using catrom_reference::source_image;

constexpr int screen_width = 320;
constexpr int screen_height = 240;

class DisplayFormat : public testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        const std::string screen = std::to_string(screen_width) + "x" +
                                   std::to_string(screen_height) + "x" + std::to_string(GetParam());
        server = std::make_unique<xvfb_server>(screen);
        ASSERT_TRUE(server->running());
        setenv("DISPLAY", server->display_name().c_str(), 1);
        ASSERT_TRUE(engine.open_display_connection());
        client = XOpenDisplay(nullptr);
        ASSERT_NE(client, nullptr);
        Visual* visual = DefaultVisual(client, DefaultScreen(client));
        rm = visual->red_mask;
        gm = visual->green_mask;
        bm = visual->blue_mask;
        ASSERT_EQ(DefaultDepth(client, DefaultScreen(client)), GetParam());
    }
    void TearDown() override
    {
        for (_XImage* img : images)
            engine.afx_pixmap_destroy(img);
        if (pixmap)
            XFreePixmap(client, pixmap);
        if (client)
            XCloseDisplay(client);
        engine.close_display_connection();
    }

    _XImage* image(int width, int height)
    {
        _XImage* img = engine.afx_pixmap_create_fixed(width, height);
        images.push_back(img);
        return img;
    }
    // The image's pixels as the server stores them, through a pixmap.
    std::vector<rgb> on_server(_XImage* img)
    {
        if (pixmap)
            XFreePixmap(client, pixmap);
        pixmap = XCreatePixmap(client, DefaultRootWindow(client), static_cast<unsigned>(img->width),
                               static_cast<unsigned>(img->height),
                               static_cast<unsigned>(DefaultDepth(client, 0)));
        XSync(client, False);
        engine.afx_draw_drawable(static_cast<int>(pixmap), img, 0, 0, 0, 0, img->width,
                                 img->height);
        test_support::sync_engine(engine);
        return read_back(client, pixmap, 0, 0, img->width, img->height);
    }
    rgb stored(int r, int g, int b) const { return {quantise(r, rm), quantise(g, gm), quantise(b, bm)}; }

    AFX_engine engine;
    std::unique_ptr<xvfb_server> server;
    Display* client = nullptr;
    Pixmap pixmap = 0;
    unsigned long rm = 0, gm = 0, bm = 0;
    std::vector<_XImage*> images;
};

// A buffer whose channels sweep the whole 0..255 range.
struct sweep_buffer {
    afx_pixbuf* pb;
    sweep_buffer(int width, int height)
        : pb(AFX_engine::afx_pixbuf_new_with_allocation(width, height, -1))
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                unsigned char* p = pb->pixels + y * pb->rowstride + 4 * x;
                p[0] = static_cast<unsigned char>((x * 7 + y * 3) & 255);
                p[1] = static_cast<unsigned char>((x * 13 + y * 5 + 50) & 255);
                p[2] = static_cast<unsigned char>((255 - x * 3 - y * 11) & 255);
                p[3] = static_cast<unsigned char>((x * 29 + y * 31) & 255);
            }
    }
    ~sweep_buffer() { AFX_engine::afx_pixbuf_destroy_with_allocation(pb); }
    const unsigned char* at(int x, int y) const { return pb->pixels + y * pb->rowstride + 4 * x; }
};

TEST_P(DisplayFormat, BlitStoresEveryChannelThroughTheMasks)
{
    const sweep_buffer src(64, 40);
    _XImage* img = image(80, 50);
    ASSERT_NE(img, nullptr);
    engine.afx_blit_pixbuf_fixed(img, src.pb, 4, 2, 10, 5, 50, 30);
    const std::vector<rgb> back = on_server(img);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 80; ++x) {
            const bool inside = x >= 10 && x < 60 && y >= 5 && y < 35;
            const unsigned char* s = inside ? src.at(x - 10 + 4, y - 5 + 2) : nullptr;
            const rgb expected = inside ? stored(s[0], s[1], s[2]) : rgb{0, 0, 0};
            ASSERT_EQ(back[y * 80 + x], expected) << x << "," << y;
        }
}

TEST_P(DisplayFormat, BlitClipsARectangleReachingPastBufferAndImage)
{
    const sweep_buffer src(20, 20);
    _XImage* img = image(30, 30);
    ASSERT_NE(img, nullptr);
    // Starts left of the buffer and runs past the image on the right and bottom.
    engine.afx_blit_pixbuf_fixed(img, src.pb, -5, 0, 15, 15, 40, 40);
    const std::vector<rgb> back = on_server(img);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            // Buffer column sx = x - 20 (the rectangle's first 5 columns lay
            // left of the buffer), row sy = y - 15.
            const bool inside = x >= 20 && y >= 15;
            const unsigned char* s = inside ? src.at(x - 20, y - 15) : nullptr;
            const rgb expected = inside ? stored(s[0], s[1], s[2]) : rgb{0, 0, 0};
            ASSERT_EQ(back[y * 30 + x], expected) << x << "," << y;
        }
}

TEST_P(DisplayFormat, DrawBlendsByAlphaAndSkipsNearlyTransparentPixels)
{
    const sweep_buffer background(48, 32);
    const sweep_buffer overlay(48, 32);
    // Overlay colours differ from the background's; alpha sweeps 0..255.
    for (int i = 0; i < 48 * 32; ++i) {
        overlay.pb->pixels[4 * i] = static_cast<unsigned char>(255 - overlay.pb->pixels[4 * i]);
        overlay.pb->pixels[4 * i + 3] = static_cast<unsigned char>(i % 256);
    }
    _XImage* img = image(48, 32);
    ASSERT_NE(img, nullptr);
    engine.afx_blit_pixbuf_fixed(img, background.pb, 0, 0, 0, 0, 48, 32);
    engine.afx_draw_pixbuf_fixed(img, overlay.pb, 0, 0, 0, 0, 48, 32);
    const std::vector<rgb> back = on_server(img);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) {
            const unsigned char* b = background.at(x, y);
            const unsigned char* o = overlay.at(x, y);
            const rgb before = stored(b[0], b[1], b[2]);
            rgb expected = before;
            const int alpha = o[3];
            if (alpha >= 16) {
                auto mix = [alpha](int d, int s) { return d + static_cast<int>(std::floor((s - d) * alpha / 256.0)); };
                expected = stored(mix(before.r, o[0]), mix(before.g, o[1]), mix(before.b, o[2]));
            }
            ASSERT_EQ(back[y * 48 + x], expected) << x << "," << y << " alpha " << alpha;
        }
}

TEST_P(DisplayFormat, ResampleMatchesTheKernelReferenceAtTwoOneAndAHalfAndOne)
{
    for (float scale : {2.0f, 1.5f, 1.0f}) {
        const source_image s(41, 27, 11);
        const int w = 100, h = 60;
        _XImage* img = image(w, h);
        ASSERT_NE(img, nullptr);
        engine.afx_stretch_blit_pixbuf_CATROM2(const_cast<afx_pixbuf*>(&s.pb), img, 0, 0, w, h, 3, 2, scale);
        const std::vector<rgb> back = on_server(img);
        const canvas ref = reference(s, w, h, 3, 2, scale);
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const rgb expected = ref.written(x, y)
                                         ? stored(ref.at(x, y, 0), ref.at(x, y, 1), ref.at(x, y, 2))
                                         : rgb{0, 0, 0};
                wrong += !(back[y * w + x] == expected);
            }
        EXPECT_EQ(wrong, 0) << "scale " << scale;
        if (scale == 1.0f) {
            for (int y = 2; y < 29; ++y)
                for (int x = 3; x < 44; ++x) {
                    const unsigned char* p = s.pb.pixels + (y - 2) * s.pb.rowstride + 4 * (x - 3);
                    ASSERT_EQ(back[y * w + x], stored(p[0], p[1], p[2])) << x << "," << y;
                }
        }
        if (GetParam() == 24 && scale == 2.0f) {
            EXPECT_TRUE(write_png(specimen_path("resampled-2x.png"), w, h, back));
            // The source beside it at the same magnification, nearest neighbour.
            std::vector<rgb> nearest(static_cast<size_t>(w) * h, rgb{0, 0, 0});
            for (int y = 2; y < h; ++y)
                for (int x = 3; x < w; ++x) {
                    const int sx = (x - 3) / 2, sy = (y - 2) / 2;
                    if (sx < s.pb.width && sy < s.pb.height) {
                        const unsigned char* p = s.pb.pixels + sy * s.pb.rowstride + 4 * sx;
                        nearest[y * w + x] = {p[0], p[1], p[2]};
                    }
                }
            EXPECT_TRUE(write_png(specimen_path("resampled-2x-nearest.png"), w, h, nearest));
        }
    }
}

// The resampler stores rows of the machine's own byte order itself; an image
// of the other byte order goes through Xlib's put-pixel. Both must hold the
// same pixel values.
TEST_P(DisplayFormat, ResampledPixelsAreTheSameInEitherByteOrder)
{
    const source_image s(30, 20, 9);
    _XImage* native = image(70, 45);
    _XImage* swapped = image(70, 45);
    ASSERT_NE(native, nullptr);
    ASSERT_NE(swapped, nullptr);
    swapped->byte_order = native->byte_order == LSBFirst ? MSBFirst : LSBFirst;
    ASSERT_NE(XInitImage(swapped), 0);
    for (_XImage* img : {native, swapped})
        engine.afx_stretch_blit_pixbuf_CATROM2(const_cast<afx_pixbuf*>(&s.pb), img, 0, 0, 70, 45, 1, 1, 2.0f);
    int differ = 0, lit = 0;
    for (int y = 0; y < 45; ++y)
        for (int x = 0; x < 70; ++x) {
            differ += XGetPixel(native, x, y) != XGetPixel(swapped, x, y);
            lit += XGetPixel(native, x, y) != 0;
        }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(lit, 1000);
    // And the swapped image's bytes really are in the other order.
    EXPECT_NE(std::memcmp(native->data, swapped->data, static_cast<size_t>(native->bytes_per_line) * 45), 0);
}

// Clipped rectangles draw exactly the reference's pixels inside the clipped
// area and leave the rest of the image as it was (white here).
TEST_P(DisplayFormat, ResampledRectanglesStopAtImageSourceAndOrigin)
{
    struct rect_case {
        const char* what;
        int x, y, width, height, ox, oy;
        float scale;
        int src_w, src_h;
        int x0, y0, x1, y1;  // expected drawn area, exclusive ends
    };
    const int w = 60, h = 50;
    const rect_case cases[] = {
        {"reaches the right and bottom edges", 40, 30, 30, 30, 0, 0, 2.0f, 40, 40, 40, 30, 60, 50},
        {"runs past the source's last column", 0, 0, 60, 50, 0, 0, 2.0f, 12, 40, 0, 0, 24, 50},
        {"runs past the source's last row", 0, 0, 60, 50, 0, 0, 1.5f, 40, 10, 0, 0, 60, 16},
        {"starts left of and above the origin", 5, 4, 20, 15, 12, 10, 1.5f, 40, 40, 12, 10, 25, 19},
        {"starts left of the image", -6, 0, 16, 8, 0, 0, 2.0f, 40, 40, 0, 0, 10, 8},
    };
    for (const rect_case& c : cases) {
        const source_image s(c.src_w, c.src_h, 5);
        const sweep_buffer white(w, h);
        for (int i = 0; i < w * h * 4; ++i)
            white.pb->pixels[i] = 255;
        _XImage* img = image(w, h);
        ASSERT_NE(img, nullptr);
        engine.afx_blit_pixbuf_fixed(img, white.pb, 0, 0, 0, 0, w, h);
        engine.afx_stretch_blit_pixbuf_CATROM2(const_cast<afx_pixbuf*>(&s.pb), img, c.x, c.y, c.width,
                                                c.height, c.ox, c.oy, c.scale);
        const std::vector<rgb> back = on_server(img);
        const canvas ref = reference(s, w, h, c.ox, c.oy, c.scale);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool drawn = x >= c.x0 && x < c.x1 && y >= c.y0 && y < c.y1;
                ASSERT_EQ(ref.written(x, y) || !drawn, true) << c.what;
                const rgb expected = drawn ? stored(ref.at(x, y, 0), ref.at(x, y, 1), ref.at(x, y, 2))
                                           : stored(255, 255, 255);
                ASSERT_EQ(back[y * w + x], expected) << c.what << " at " << x << "," << y;
            }
    }
}

TEST_P(DisplayFormat, WindowShowsTheImageInColourOrInGreyBandsAndTheImageStays)
{
    const int w = 40, h = 24;
    const int idx = engine.create_new_afx_window(0, 0, w, h, 1.0f, nullptr);
    ASSERT_GE(idx, 0);
    engine.show_afx_window(idx);
    const Window window = engine.get_SYS_window_idx_for_afx_window(idx);
    XSync(client, False);

    const sweep_buffer src(w, h);
    for (int i = 0; i < w * 4 * 8; ++i)  // the top eight rows white
        src.pb->pixels[i] = 255;
    _XImage* img = image(w, h);
    ASSERT_NE(img, nullptr);
    engine.afx_blit_pixbuf_fixed(img, src.pb, 0, 0, 0, 0, w, h);
    std::vector<unsigned long> before;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            before.push_back(XGetPixel(img, x, y));

    for (float scale : {1.0f, 2.0f}) {
        engine.afx_draw_afx_drawable_mono(idx, img, 0, 0, 0, 0, w, h, scale);
        test_support::sync_engine(engine);
        const std::vector<rgb> back = read_back(client, window, 0, 0, w, h);
        ASSERT_EQ(back.size(), static_cast<size_t>(w * h));
        for (int y = 0; y < h; ++y) {
            // Bands two logical pixels high, the first one darker.
            const bool darker = (y / static_cast<int>(2 * scale)) % 2 == 0;
            for (int x = 0; x < w; ++x) {
                const unsigned char* p = src.at(x, y);
                const rgb shown = stored(p[0], p[1], p[2]);
                int grey = (shown.r >> 2) + (shown.g >> 1) + (shown.b >> 3);
                if (darker)
                    grey -= grey >> 3;
                ASSERT_EQ(back[y * w + x], stored(grey, grey, grey))
                    << x << "," << y << " scale " << scale;
            }
        }
        // White: 221 on plain rows, 194 on darker ones.
        EXPECT_EQ(back[0], stored(194, 194, 194));
        EXPECT_EQ(back[static_cast<int>(2 * scale) * w], stored(221, 221, 221));
        size_t i = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x, ++i)
                ASSERT_EQ(XGetPixel(img, x, y), before[i]) << x << "," << y;
    }

    // The colour put brings the image's own pixels back to the window; a
    // block reaching past the image is cut at its edge.
    engine.afx_draw_afx_drawable(idx, img, 0, 0, 0, 0, w + 30, h + 30);
    test_support::sync_engine(engine);
    const std::vector<rgb> colour = read_back(client, window, 0, 0, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = src.at(x, y);
            ASSERT_EQ(colour[y * w + x], stored(p[0], p[1], p[2])) << x << "," << y;
        }
    engine.destroy_afx_window(idx);
    engine.afx_draw_afx_drawable(idx, img, 0, 0, 0, 0, w, h);  // closed record: nothing
}

TEST_P(DisplayFormat, TextureHasDotsAndAGripInTheCorner)
{
    const int w = 64, h = 48;
    // Editor values at scale 1: grip 20, inset 1, pitch 8, dot 1.
    _XImage* img = engine.afx_pixmap_create_fixed(w, h, 112, 112, 112, 20, 1, 8, 1);
    images.push_back(img);
    ASSERT_NE(img, nullptr);
    const std::vector<rgb> back = on_server(img);
    const rgb black{0, 0, 0}, dark = stored(32, 32, 32), medium = stored(48, 48, 48),
              base = stored(112, 112, 112);
    int dots = 0, grip_base = 0, grip_medium = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            // Grip square: the 20 x 20 pixels ending one pixel short of the
            // corner; the triangle below its diagonal holds cells of 4 pixels
            // whose top-left 2 x 2 (counted from the corner) is the base colour.
            const int u = (w - 2) - x, v = (h - 2) - y;
            rgb expected = (x % 8 == 0 && y % 8 == 0) ? dark : black;
            if (u >= 0 && v >= 0 && u < 20 && v < 20 && u + v < 20)
                expected = (u % 4 < 2 && v % 4 < 2) ? base : medium;
            ASSERT_EQ(back[y * w + x], expected) << x << "," << y;
            dots += expected == dark;
            grip_base += expected == base;
            grip_medium += expected == medium;
        }
    EXPECT_GT(dots, 30);
    EXPECT_GT(grip_base, 20);
    EXPECT_GT(grip_medium, 60);
    if (GetParam() == 24) {
        EXPECT_TRUE(write_png(specimen_path("texture-grip.png"), w, h, back));
    }
}

TEST_P(DisplayFormat, IconTurnsTransparentPixelsBlack)
{
    const int idx = engine.create_new_afx_window(0, 0, 50, 50, 1.0f, nullptr);
    ASSERT_GE(idx, 0);
    afx_pixbuf* icon = AFX_engine::afx_pixbuf_new_with_allocation(40, 40, idx);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            unsigned char* p = icon->pixels + y * icon->rowstride + 4 * x;
            p[0] = 200;
            p[1] = 120;
            p[2] = 40;
            p[3] = x < 16 ? 255 : 0;  // left half opaque, right half transparent
        }
    EXPECT_EQ(engine.afx_icon_pixmap_create_from_pixbuf(icon, 254), 0u);  // not open
    const unsigned long pixmap = engine.afx_icon_pixmap_create_from_pixbuf(icon, idx);
    ASSERT_NE(pixmap, 0u);
    test_support::sync_engine(engine);
    const std::vector<rgb> back = read_back(client, pixmap, 0, 0, 32, 32);
    ASSERT_EQ(back.size(), 32u * 32u);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const unsigned char* p = icon->pixels + y * icon->rowstride + 4 * x;
            const rgb expected = x < 16 ? stored(p[0] * 255 / 256, p[1] * 255 / 256, p[2] * 255 / 256)
                                        : rgb{0, 0, 0};
            ASSERT_EQ(back[y * 32 + x], expected) << x << "," << y;
        }
    engine.afx_icon_pixmap_destroy(pixmap);
    AFX_engine::afx_pixbuf_destroy_with_allocation(icon);
    engine.destroy_afx_window(idx);
}

INSTANTIATE_TEST_SUITE_P(Depths, DisplayFormat, testing::Values(24, 16, 15),
                         [](const testing::TestParamInfo<int>& info) {
                             return "depth" + std::to_string(info.param);
                         });

// An image whose masks match no supported format is left alone, with five
// lines naming the operation and the masks.
TEST(UnsupportedFormat, EveryConversionReportsTheMasks)
{
    xvfb_server server("64x64x24");
    ASSERT_TRUE(server.running());
    setenv("DISPLAY", server.display_name().c_str(), 1);
    AFX_engine engine;
    ASSERT_TRUE(engine.open_display_connection());
    _XImage* img = engine.afx_pixmap_create_fixed(8, 8);
    ASSERT_NE(img, nullptr);
    img->red_mask = 0x3F0000;  // as a visual with 6 bits per channel would have
    img->green_mask = 0x3F00;
    img->blue_mask = 0x3F;
    afx_pixbuf* pb = AFX_engine::afx_pixbuf_new_with_allocation(8, 8, -1);
    for (int i = 0; i < 8 * 8 * 4; ++i)
        pb->pixels[i] = 255;

    auto lines = [](const char* op) {
        const std::string p = std::string("*** Error *** ZOKA-UI - AFX_engine ") + op + " - ";
        return p + "Image / display colour depth is not supported\n" + p + "bits per pixel is 32\n" + p +
               "red_mask is 3F0000\n" + p + "green_mask is 3F00\n" + p + "blue_mask is 003F\n\n";
    };
    testing::internal::CaptureStdout();
    engine.afx_blit_pixbuf_fixed(img, pb, 0, 0, 0, 0, 8, 8);
    engine.afx_draw_pixbuf_fixed(img, pb, 0, 0, 0, 0, 8, 8);
    engine.afx_stretch_blit_pixbuf_CATROM2(pb, img, 0, 0, 8, 8, 0, 0, 2.0f);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, lines("afx_blit_pixbuf") + lines("afx_draw_pixbuf_fixed") + lines("afx_blit_pixbuf_scaled"));
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(XGetPixel(img, x, y), 0u);
    }
    AFX_engine::afx_pixbuf_destroy_with_allocation(pb);
    engine.afx_pixmap_destroy(img);
    engine.close_display_connection();
}

} // namespace
