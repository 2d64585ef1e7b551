// The whole editor panel at its default values, painted by the widgets from
// the compiled-in images into the 144 x 510 panel buffer: saved as
// panel_default.png in the build folder for review and compared with the
// reference picture reference/panel_default.png (and a 3x copy beside it), so that an unintended change
// of the picture is caught. A few facts of the layout are checked on their
// own: the unpainted top strip stays black, and every knob's pointer stands
// straight up over its centre.
//
// After an intended change of the artwork or the widgets, look at the new
// picture and make it the reference:
//   ZE710_UPDATE_WIDGET_REFERENCE=1 build/tests/widgets/test_widgets_render

// GoogleTest before the engine header: Xlib defines macros (None) that clash
// with GoogleTest's own names.
#include <gtest/gtest.h>

#include "editor/images/ze710_images.h"
#include "gui_engine/AFX_font_engine.h"
#include "tests/widgets/widget_test_support.h"
#include "widgets/CBannerObject.h"
#include "widgets/CFrontPanelObject.h"
#include "widgets/CPushButtonLatchingObject.h"
#include "widgets/CRotaryControlObject.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace widget_test;

constexpr int panel_width = 144, panel_height = 510, top_strip = 16;

struct inline_deleter {
    void operator()(afx_pixbuf* pb) const { AFX_engine::afx_pixbuf_destroy(pb); }
};
using wrapped_pixbuf = std::unique_ptr<afx_pixbuf, inline_deleter>;

wrapped_pixbuf decode(const unsigned char* data)
{
    return wrapped_pixbuf(AFX_engine::afx_pixbuf_new_from_inline(data, 0));
}

struct knob_place {
    int x, y;  // centre on the front panel
};

// HF gain, HF freq, mid gain, mid bandwidth, mid freq, LF gain, LF freq.
const knob_place knob_places[] = {{101, 100}, {44, 140}, {73, 192}, {73, 244},
                                  {73, 296},  {101, 348}, {44, 388}};

// Everything the editor builds, at its default values.
class DefaultPanel : public testing::Test {
protected:
    void SetUp() override
    {
        for (auto* img : {&front_image, &knob_image, &bypass_image, &status_image, &left_image,
                          &right_image})
            ASSERT_NE(*img, nullptr);
        front.set_front_panel_pixbuf(front_image.get());
        front.set_front_panel_width(144);
        front.set_front_panel_height(494);
        front.set_front_panel_offset_x(0);
        front.set_front_panel_offset_y(top_strip);

        place_button(bypass, bypass_image.get(), 72, 421, 44, 20, top_strip, 99.0f);
        place_button(status, status_image.get(), 54, 8, 32, 16, 0, 0.0f);
        place_button(left, left_image.get(), 90, 8, 32, 16, 0, 0.0f);
        place_button(right, right_image.get(), 124, 8, 32, 16, 0, 0.0f);

        for (int i = 0; i < 7; ++i) {
            knobs.emplace_back(new CRotaryControlObject(nullptr));
            CRotaryControlObject& k = *knobs.back();
            k.set_rotary_control_pixbuf(knob_image.get());
            k.set_front_panel_pixbuf(front_image.get());
            k.set_rotary_control_value(0.5f * 99.0f);
            k.set_rotary_control_size_x(48);
            k.set_rotary_control_size_y(48);
            k.set_rotary_control_pos_x(knob_places[i].x);
            k.set_rotary_control_pos_y(knob_places[i].y);
            k.set_rotary_control_nframes(39);
            k.set_rotary_control_focus_x(40);
            k.set_rotary_control_focus_y(40);
            k.set_detent_value(49.5f);
            k.set_offset_x(0);
            k.set_offset_y(top_strip);
        }

        banner.set_value(0);
        banner.set_offset_x(0);
        banner.set_offset_y(top_strip);
        banner.set_x_pos(18);
        banner.set_y_pos(42);
        banner.set_x_size(108);
        banner.set_y_size(16);
        banner.set_max_chars(64);
        banner.enable_frame(false);
        banner.set_bold(false);
        banner.set_colour(218, 120, 4);
        banner.set_front_panel_pixbuf(front_image.get());
        banner.init_banner(0);
        banner.set_text("ZE710 V2.3.1");
    }

    void place_button(CPushButtonLatchingObject& b, afx_pixbuf* strip, int x, int y, int w, int h,
                      int offset_y, float value)
    {
        b.set_pushbutton_latching_pixbuf(strip);
        b.set_front_panel_pixbuf(front_image.get());
        b.set_pushbutton_latching_value(value);
        b.set_pushbutton_latching_size_x(w);
        b.set_pushbutton_latching_size_y(h);
        b.set_pushbutton_latching_pos_x(x);
        b.set_pushbutton_latching_pos_y(y);
        b.set_pushbutton_latching_nframes(2);
        b.set_pushbutton_latching_focus_x(w);
        b.set_pushbutton_latching_focus_y(h);
        b.set_offset_x(0);
        b.set_offset_y(offset_y);
    }

    // The first full paint: panel, then every widget over it.
    void paint(afx_pixbuf* target)
    {
        front.draw_front_panel(target);
        for (CPushButtonLatchingObject* b : {&bypass, &status, &left, &right})
            b->redraw_pushbutton_latching(target);
        for (auto& k : knobs)
            k->draw_rotary_control(target);
        banner.draw_banner(target);
    }

    wrapped_pixbuf front_image = decode(ze710_img_front_panel);
    wrapped_pixbuf knob_image = decode(ze710_img_knob_strip);
    wrapped_pixbuf bypass_image = decode(ze710_img_bypass_strip);
    wrapped_pixbuf status_image = decode(ze710_img_status_strip);
    wrapped_pixbuf left_image = decode(ze710_img_left_strip);
    wrapped_pixbuf right_image = decode(ze710_img_right_strip);
    AFX_font_engine font{nullptr};
    CFrontPanelObject front{nullptr};
    CPushButtonLatchingObject bypass{nullptr}, status{nullptr}, left{nullptr}, right{nullptr};
    std::vector<std::unique_ptr<CRotaryControlObject>> knobs;
    CBannerObject banner{nullptr, &font};
};

TEST_F(DefaultPanel, MatchesTheReferencePicture)
{
    owned_pixbuf buffer(AFX_engine::afx_pixbuf_new_with_allocation(panel_width, panel_height, 0));
    paint(buffer.get());

    const std::string out = std::string(ZE710_WIDGETS_OUTPUT_DIR) + "/panel_default.png";
    ASSERT_TRUE(write_png(out, buffer.get())) << out;
    // A 3x copy (each pixel a 3 x 3 block) to look at.
    owned_pixbuf big = new_pixbuf(3 * panel_width, 3 * panel_height, {0, 0, 0, 255});
    for (int y = 0; y < big->height; ++y)
        for (int x = 0; x < big->width; ++x)
            set_pixel(big.get(), x, y, pixel(buffer.get(), x / 3, y / 3));
    ASSERT_TRUE(write_png(std::string(ZE710_WIDGETS_OUTPUT_DIR) + "/panel_default_3x.png",
                          big.get()));
    std::printf("panel picture: %s (and _3x)\n", out.c_str());

    const std::string ref_path = std::string(ZE710_WIDGETS_REFERENCE_DIR) + "/panel_default.png";
    const char* update = std::getenv("ZE710_UPDATE_WIDGET_REFERENCE");
    if (update && *update == '1') {
        ASSERT_TRUE(write_png(ref_path, buffer.get())) << ref_path;
        GTEST_SKIP() << "reference written: " << ref_path;
    }

    int w = 0, h = 0;
    std::vector<unsigned char> ref;
    ASSERT_TRUE(read_png_rgba(ref_path, &w, &h, &ref)) << "no 8-bit RGBA reference at " << ref_path;
    ASSERT_EQ(w, panel_width);
    ASSERT_EQ(h, panel_height);

    // Small tolerance for rounding differences; a moved widget, another
    // frame or a changed image breaks it by far.
    constexpr int tolerance = 2;
    int differing = 0, worst = 0, first_x = -1, first_y = -1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned char* r = ref.data() + (static_cast<size_t>(y) * w + x) * 4;
            const rgba p = pixel(buffer.get(), x, y);
            const int d = std::max({std::abs(p.r - r[0]), std::abs(p.g - r[1]),
                                    std::abs(p.b - r[2]), std::abs(p.a - r[3])});
            worst = std::max(worst, d);
            if (d > tolerance) {
                if (differing++ == 0) {
                    first_x = x;
                    first_y = y;
                }
            }
        }
    EXPECT_EQ(differing, 0) << "largest difference " << worst << ", first at (" << first_x
                            << ", " << first_y << "); picture: " << out;
}

TEST_F(DefaultPanel, TopStripOutsideTheButtonsStaysBlack)
{
    owned_pixbuf buffer(AFX_engine::afx_pixbuf_new_with_allocation(panel_width, panel_height, 0));
    paint(buffer.get());
    // The status button starts at column 54 - 16 = 38.
    for (int y = 0; y < top_strip; ++y)
        for (int x = 0; x < 38; ++x)
            ASSERT_EQ(pixel(buffer.get(), x, y), (rgba{0, 0, 0, 255})) << x << "," << y;
    // The panel image starts right below the strip.
    EXPECT_EQ(pixel(buffer.get(), 0, top_strip),
              pixel(front_image.get(), 0, 0));
}

TEST_F(DefaultPanel, EveryKnobPointsStraightUpOverItsCentre)
{
    owned_pixbuf buffer(AFX_engine::afx_pixbuf_new_with_allocation(panel_width, panel_height, 0));
    paint(buffer.get());
    // Compare each knob's area with the bare panel: the pointer is the set of
    // bright pixels (white and orange line) within 22 pixels of the centre.
    for (const knob_place& k : knob_places) {
        const int cx = k.x, cy = k.y + top_strip;
        double sx = 0.0, sy = 0.0;
        int n = 0;
        for (int y = cy - 22; y < cy + 22; ++y)
            for (int x = cx - 22; x < cx + 22; ++x) {
                const rgba c = pixel(buffer.get(), x, y);
                const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                if (std::max({c.r, c.g, c.b}) > 180 && std::hypot(dx, dy) > 5.0 &&
                    std::hypot(dx, dy) < 21.0) {
                    sx += dx;
                    sy += dy;
                    ++n;
                }
            }
        ASSERT_GT(n, 10) << "knob at " << k.x << "," << k.y;
        EXPECT_NEAR(sx / n, 0.0, 1.0) << "knob at " << k.x << "," << k.y;
        EXPECT_LT(sy / n, -8.0) << "knob at " << k.x << "," << k.y;
    }
}

} // namespace
