// CEditorGUI: the widgets, their images and geometry, and the window's size.
//
// Panel space is 144 x 510: rows 0 to 15 are the top strip with the three
// small buttons, the 144 x 494 front panel image fills rows 16 to 509. Every
// widget on the front panel therefore carries the offset (0, 16); the top
// strip buttons carry (0, 0) and cut their background from the panel image's
// own top rows.
#include "editor/CEditorGUI.h"

#include <cstdio>
#include <new>

#include "editor/editor_globals.h"
#include "model/ze710_version.h"
#include "editor/images/ze710_images.h"
#include "widgets/CBannerObject.h"
#include "widgets/CFrontPanelObject.h"
#include "widgets/CPushButtonLatchingObject.h"
#include "widgets/CRotaryControlObject.h"

namespace {

constexpr int kPanelImageWidth = 144;
constexpr int kPanelImageHeight = 494;
constexpr int kPanelOffsetY = 16;  // height of the top strip
constexpr float kWidgetFullScale = 99.0f;  // widget value of a normalised 1.0
constexpr float kKnobDetent = 49.5f;       // the middle frame, 19 of 39

struct KnobPlace {
    int x, y;  // centre on the panel image
};
constexpr int kKnobSize = 48;
constexpr int kKnobFrames = 39;
constexpr int kKnobClickSize = 40;
constexpr int kSwitchWidth = 44, kSwitchHeight = 20;
constexpr int kButtonWidth = 32, kButtonHeight = 16;

// Window drawable: grey 112 with a dotted texture and a resize grip, all in
// device pixels derived from the display scale.
constexpr int kBackgroundGrey = 112;
constexpr float kGripSize = 20.0f;
constexpr float kGripInset = 1.0f;
constexpr float kDotPitch = 8.0f;
constexpr float kDotSize = 1.0f;

template <typename T>
T* make_if_missing(T*& object, int& result)
{
    if (!object)
        object = new (std::nothrow) T(G_GUI_engine);
    if (!object)
        result = -1;
    return object;
}

void place_knob(CRotaryControlObject* knob, afx_pixbuf* strip, afx_pixbuf* panel, KnobPlace at,
                float value)
{
    knob->set_front_panel_pixbuf(panel);
    knob->set_rotary_control_pixbuf(strip);
    knob->set_rotary_control_value(value);
    knob->set_rotary_control_size_x(kKnobSize);
    knob->set_rotary_control_size_y(kKnobSize);
    knob->set_rotary_control_pos_x(at.x);
    knob->set_rotary_control_pos_y(at.y);
    knob->set_rotary_control_pad_left(0);
    knob->set_rotary_control_pad_right(0);
    knob->set_rotary_control_pad_top(0);
    knob->set_rotary_control_pad_bottom(0);
    knob->set_rotary_control_nframes(kKnobFrames);
    knob->set_rotary_control_has_focus(false);
    knob->set_rotary_control_focus_x(kKnobClickSize);
    knob->set_rotary_control_focus_y(kKnobClickSize);
    knob->set_detent_value(kKnobDetent);
    knob->set_offset_x(0);
    knob->set_offset_y(kPanelOffsetY);
}

void place_button(CPushButtonLatchingObject* button, afx_pixbuf* strip, afx_pixbuf* panel, int x,
                  int y, int width, int height, int offset_y, float value)
{
    button->set_front_panel_pixbuf(panel);
    button->set_pushbutton_latching_pixbuf(strip);
    button->set_pushbutton_latching_value(value);
    button->set_pushbutton_latching_size_x(width);
    button->set_pushbutton_latching_size_y(height);
    button->set_pushbutton_latching_pos_x(x);
    button->set_pushbutton_latching_pos_y(y);
    button->set_pushbutton_latching_pad_left(0);
    button->set_pushbutton_latching_pad_right(0);
    button->set_pushbutton_latching_pad_top(0);
    button->set_pushbutton_latching_pad_bottom(0);
    button->set_pushbutton_latching_nframes(2);
    button->set_pushbutton_latching_has_focus(false);
    button->set_pushbutton_latching_focus_x(width);
    button->set_pushbutton_latching_focus_y(height);
    button->set_offset_x(0);
    button->set_offset_y(offset_y);
}

}  // namespace

int CEditorGUI::create_gui_objects()
{
    if (!G_GUI_engine)
        return -1;
    // The host's other threads notify the editor (setParameter, setProgram)
    // while it opens: they find the widgets and images under widget_mutex.
    pthread_mutex_lock(&widget_mutex);
    const int result = create_gui_objects_locked();
    pthread_mutex_unlock(&widget_mutex);
    return result;
}

int CEditorGUI::create_gui_objects_locked()
{
    int result = 0;
    make_if_missing(front_panel, result);
    make_if_missing(bypass_switch, result);
    make_if_missing(status_button, result);
    make_if_missing(left_button, result);
    make_if_missing(right_button, result);
    make_if_missing(lf_gain_knob, result);
    make_if_missing(lf_freq_knob, result);
    make_if_missing(hf_gain_knob, result);
    make_if_missing(hf_freq_knob, result);
    make_if_missing(mid_gain_knob, result);
    make_if_missing(mid_freq_knob, result);
    make_if_missing(mid_bw_knob, result);
    if (!text_banner)
        text_banner = new (std::nothrow) CBannerObject(G_GUI_engine, G_FONT_engine);
    if (!text_banner)
        result = -1;

    // Decoded once, re-targeted to the current window on every later open.
    struct Image {
        afx_pixbuf** pb;
        const unsigned char* data;
    };
    const Image images[] = {
        {&bypass_strip, ze710_img_bypass_strip},  {&status_strip, ze710_img_status_strip},
        {&left_strip, ze710_img_left_strip},      {&right_strip, ze710_img_right_strip},
        {&lf_gain_strip, ze710_img_knob_strip},   {&mid_freq_strip, ze710_img_knob_strip},
        {&hf_gain_strip, ze710_img_knob_strip},   {&mid_gain_strip, ze710_img_knob_strip},
        {&lf_freq_strip, ze710_img_knob_strip},   {&hf_freq_strip, ze710_img_knob_strip},
        {&mid_bw_strip, ze710_img_knob_strip},    {&panel_image, ze710_img_front_panel},
    };
    const int idx = window_index;
    for (const Image& image : images) {
        if (*image.pb)
            AFX_engine::afx_pixbuf_reparent(*image.pb, idx);
        else
            *image.pb = AFX_engine::afx_pixbuf_new_from_inline(image.data, idx);
        if (!*image.pb)
            result = -1;
    }
    return result;
}

void CEditorGUI::init_editor()
{
    pthread_mutex_lock(&widget_mutex);
    afx_pixbuf* panel = panel_image;

    front_panel->set_front_panel_pixbuf(panel);
    front_panel->set_front_panel_width(kPanelImageWidth);
    front_panel->set_front_panel_height(kPanelImageHeight);
    front_panel->set_front_panel_offset_x(0);
    front_panel->set_front_panel_offset_y(kPanelOffsetY);

    // Mirror slots: HF gain 0, LF gain 1, mid gain 2, HF freq 3, LF freq 4,
    // mid freq 5, mid bandwidth 6, bypass 7.
    place_button(bypass_switch, bypass_strip, panel, 72, 421, kSwitchWidth, kSwitchHeight,
                 kPanelOffsetY, parameter_mirror[7] * kWidgetFullScale);
    place_knob(hf_gain_knob, hf_gain_strip, panel, {101, 100}, parameter_mirror[0] * kWidgetFullScale);
    place_knob(lf_gain_knob, lf_gain_strip, panel, {101, 348}, parameter_mirror[1] * kWidgetFullScale);
    place_knob(mid_freq_knob, mid_freq_strip, panel, {73, 296}, parameter_mirror[5] * kWidgetFullScale);
    place_knob(mid_gain_knob, mid_gain_strip, panel, {73, 192}, parameter_mirror[2] * kWidgetFullScale);
    place_knob(lf_freq_knob, lf_freq_strip, panel, {44, 388}, parameter_mirror[4] * kWidgetFullScale);
    place_knob(hf_freq_knob, hf_freq_strip, panel, {44, 140}, parameter_mirror[3] * kWidgetFullScale);
    place_knob(mid_bw_knob, mid_bw_strip, panel, {73, 244}, parameter_mirror[6] * kWidgetFullScale);
    place_button(status_button, status_strip, panel, 54, 8, kButtonWidth, kButtonHeight, 0, 0.0f);
    place_button(left_button, left_strip, panel, 90, 8, kButtonWidth, kButtonHeight, 0, 0.0f);
    place_button(right_button, right_strip, panel, 124, 8, kButtonWidth, kButtonHeight, 0, 0.0f);

    // The banner: 108 x 16 at (18, 42) on the panel image, amber text.
    std::snprintf(text_display, sizeof text_display, "ZE710 V%s", ZE710_VERSION_STRING);
    text_banner->set_front_panel_pixbuf(panel);
    text_banner->set_value(0);
    text_banner->set_offset_x(0);
    text_banner->set_offset_y(kPanelOffsetY);
    text_banner->set_x_pos(18);
    text_banner->set_y_pos(42);
    text_banner->set_x_size(108);
    text_banner->set_y_size(16);
    text_banner->set_max_chars(64);
    text_banner->enable_frame(false);
    text_banner->set_bold(false);
    pthread_mutex_lock(&G_font_mutex);
    text_banner->set_colour(218, 120, 4);
    text_banner->init_banner(window_index);
    text_banner->set_text(text_display);
    pthread_mutex_unlock(&G_font_mutex);
    text_display_countdown = kTextHoldTicks;
    pthread_mutex_unlock(&widget_mutex);
}

void CEditorGUI::control_update_ui_size(float value)
{
    // NaN counts as the smallest size.
    ui_size = value > 1.0f ? 1.0f : (value >= 0.0f ? value : 0.0f);
}

void CEditorGUI::create_window_drawable_locked()
{
    const float s = display_scale;
    if (window_drawable)
        G_GUI_engine->afx_pixmap_destroy(window_drawable);
    window_drawable = G_GUI_engine->afx_pixmap_create_fixed(
        window_width, window_height, kBackgroundGrey, kBackgroundGrey, kBackgroundGrey,
        static_cast<int>(kGripSize * s), static_cast<int>(kGripInset * s),
        static_cast<int>(kDotPitch * s), static_cast<int>(kDotSize * s));
}

void CEditorGUI::resize_window()
{
    const float stored = ui_size;
    const float limit = fit_limit;
    apply_geometry(editor_geometry(stored < limit ? stored : limit, display_scale));
    if (!G_GUI_engine)
        return;
    const int width = window_width;
    const int height = window_height;

    pthread_mutex_lock(&drawable_mutex);
    const bool have_drawable = window_drawable != nullptr;
    if (have_drawable) {
        hint_window_size(width, height);
        G_GUI_engine->afx_window_resize(window_index, width, height);
        create_window_drawable_locked();
    }
    pthread_mutex_unlock(&drawable_mutex);

    if (have_drawable && editor_running_flag)
        NeedsRedrawInRect(0, 0, width, height);
}

void CEditorGUI::control_redraw_ui_size()
{
    // The host gets the whole new size and time to follow it.
    fit_limit = 1.0f;
    fit_check_countdown = kFitCheckTicks;
    resize_window();
    if (!G_GUI_engine)
        return;
    host().sizeWindow(window_width, window_height);
}

void CEditorGUI::follow_ui_size()
{
    if (!editor_running_flag || !G_GUI_engine)
        return;
    const CEditorGeometry g = editor_geometry(ui_size, display_scale);
    if (g.window_width == window_width && g.window_height == window_height)
        return;
    // The host hears of the size from this thread; the tick, which runs
    // under the engine's procs mutex, must not call into the host.
    fit_limit = 1.0f;
    resize_pending = true;
    hint_window_size(g.window_width, g.window_height);
    host().sizeWindow(g.window_width, g.window_height);
}

void CEditorGUI::hint_window_size(int width, int height)
{
    // Before the host hears of a new size: hosts that embed the window
    // (suil among them) hold it within these hints, and hints left at the
    // old size would crop the editor to it.
    if (G_GUI_engine && window_is_ours())
        G_GUI_engine->set_afx_window_fixed_size(window_index, width, height);
}

void CEditorGUI::fit_to_host()
{
    int left, top, right, bottom, x, y;
    if (!G_GUI_engine || G_GUI_engine->afx_get_visible_area(window_index, &left, &top, &right, &bottom, &x, &y) != 0)
        return;
    const long long seen_width = static_cast<long long>(right) - left;  // huge: nothing cuts
    const long long seen_height = static_cast<long long>(bottom) - top;
    // The largest size whose window the host shows whole; the smallest
    // when none is (the editor cannot get smaller than that).
    const float s = display_scale;
    const CEditorGeometry smallest = editor_geometry(0.0f, s);
    float limit = 0.0f;
    if (seen_width >= smallest.window_width && seen_height >= smallest.window_height) {
        limit = static_cast<float>(seen_height) / (kPanelHeight * s) - 1.0f;
        limit = limit > 1.0f ? 1.0f : limit;
        // The rule rounds the height: step down until it fits.
        while (limit > 0.0f && editor_geometry(limit, s).window_height > seen_height)
            limit -= 1.0f / kPanelHeight;
        limit = limit < 0.0f ? 0.0f : limit;
    }
    fit_limit = limit;
    const float stored = ui_size;
    const CEditorGeometry g = editor_geometry(stored < limit ? stored : limit, s);
    if (g.window_width != window_width || g.window_height != window_height)
        resize_window();
    // And into view: a host that centres the window in a smaller frame
    // cuts its top; the top-left corner first, then as much as fits.
    int dx = 0, dy = 0;
    if (g.window_width <= seen_width)
        dx = 0 < left ? left : (g.window_width > right ? right - g.window_width : 0);
    else if (left > 0)
        dx = left;
    if (g.window_height <= seen_height)
        dy = 0 < top ? top : (g.window_height > bottom ? bottom - g.window_height : 0);
    else if (top > 0)
        dy = top;
    if (dx != 0 || dy != 0)
        G_GUI_engine->afx_window_move(window_index, x + dx, y + dy);
}
