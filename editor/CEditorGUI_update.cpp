// CEditorGUI: the redraw and update cycle.
//
// Notifications from the effect (any thread, the host's audio thread
// included) only store the value in the mirror, mark it pending and raise
// the gui update flag; they never wait. The tick (or the input handler that
// made the change) moves the pending widgets, marks them dirty and formats
// the banner text into the text display buffer. Every 50 ms the engine calls
// the tick on the GUI thread: it runs the banner's text timer and repaints
// the dirty widgets into the panel buffer, queueing each changed widget's
// window rectangle. The engine's next redraw pass hands those rectangles to
// the expose handler, which scales the panel buffer into the window drawable
// and puts the rectangle on the screen.
//
// Texts: the text display buffer is written and rendered under
// widget_mutex; the GUI thread never sees a half-written text.
#include "editor/CEditorGUI.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "editor/editor_globals.h"
#include "model/ze710_version.h"
#include "widgets/CBannerObject.h"
#include "widgets/CFrontPanelObject.h"
#include "widgets/CPushButtonLatchingObject.h"
#include "widgets/CRotaryControlObject.h"

namespace {

constexpr float kWidgetFullScale = 99.0f;
constexpr const char* kBlankText = "                ";  // 16 spaces

// Frequency ranges of the three bands' knobs, Hz.
constexpr float kLfLoHz = 100.0f, kLfHiHz = 200.0f;
constexpr float kMidLoHz = 200.0f, kMidHiHz = 4000.0f;
constexpr float kHfLoHz = 4000.0f, kHfHiHz = 8000.0f;
constexpr float kKhzFrom = 1000.0f;  // the mid frequency reads in kHz from here

// Mirror slot of each parameter index 0 to 7.
constexpr int kMirrorSlot[CEditorGUI::kNumMirroredParams] = {0, 1, 5, 2, 4, 3, 6, 7};

class widget_lock {
public:
    explicit widget_lock(pthread_mutex_t* m) : m_mutex(m) { pthread_mutex_lock(m_mutex); }
    ~widget_lock() { pthread_mutex_unlock(m_mutex); }
    widget_lock(const widget_lock&) = delete;
    widget_lock& operator=(const widget_lock&) = delete;

private:
    pthread_mutex_t* m_mutex;
};

float gain_db_of_knob(float k) { return k / kWidgetFullScale * 40.0f - 20.0f; }
float bandwidth_oct_of_knob(float k) { return k / kWidgetFullScale * 1.5f + 0.5f; }

}  // namespace

float get_freq_from_knob_fract(float lo_hz, float hi_hz, float fraction)
{
    const float a = std::log10(lo_hz);
    const float b = std::log10(hi_hz);
    return std::pow(10.0f, a + (b - a) * fraction);
}

// ---- notifications ------------------------------------------------------------------

void CEditorGUI::format_knob_text(int index)
{
    char text[kParameterTextBound];
    CRotaryControlObject* knobs[7] = {hf_gain_knob, lf_gain_knob, mid_freq_knob, mid_gain_knob,
                                      lf_freq_knob, hf_freq_knob, mid_bw_knob};
    CRotaryControlObject* knob = knobs[index];
    const float k = knob->get_rotary_control_value();
    const bool detent = knob->get_detent_flag();
    // At the detent the knob shows its middle frame; the text gives the
    // exact centre value to match, even a hair off centre.
    const float fraction = detent ? 0.5f : k / kWidgetFullScale;
    const double gain = detent ? 0.0 : static_cast<double>(gain_db_of_knob(k));
    switch (index) {
    case 0: std::snprintf(text, sizeof text, "HF Gain %.1f dB", gain); break;
    case 1: std::snprintf(text, sizeof text, "LF Gain %.1f dB", gain); break;
    case 3: std::snprintf(text, sizeof text, "Mid Gain %.1f dB", gain); break;
    case 2: {
        const float f = get_freq_from_knob_fract(kMidLoHz, kMidHiHz, fraction);
        if (f < kKhzFrom)
            std::snprintf(text, sizeof text, "Mid Freq %.1f Hz", static_cast<double>(f));
        else
            std::snprintf(text, sizeof text, "Mid Freq %1.2f kHz", static_cast<double>(f / 1000.0f));
        break;
    }
    case 4:
        std::snprintf(text, sizeof text, "LF Freq %.1f Hz",
                      static_cast<double>(get_freq_from_knob_fract(kLfLoHz, kLfHiHz, fraction)));
        break;
    case 5:
        std::snprintf(text, sizeof text, "HF Freq %1.2f kHz",
                      static_cast<double>(get_freq_from_knob_fract(kHfLoHz, kHfHiHz, fraction) /
                                          1000.0f));
        break;
    default:
        std::snprintf(text, sizeof text, "Mid B/W %1.2f Oct",
                      detent ? 1.25 : static_cast<double>(bandwidth_oct_of_knob(k)));
        break;
    }
    set_text_display(text);
}

void CEditorGUI::setParameter(int index, float value)
{
    if (index == kUiSizeIndex) {
        control_update_ui_size(value);
        return;
    }
    if (index < 0 || index >= kNumMirroredParams)
        return;
    // Lock-free: hosts automate from their audio thread, and the GUI thread
    // may hold widget_mutex for a whole repaint. The widgets take the value
    // at the next tick, or in the input handler that made the change.
    parameter_mirror[kMirrorSlot[index]] = value;
    last_pending_parameter = index;
    pending_parameters.fetch_or(1u << index, std::memory_order_release);
    signal_gui_update();
}

void CEditorGUI::take_parameter_changes()
{
    widget_lock lock(&widget_mutex);
    const unsigned pending = pending_parameters.exchange(0, std::memory_order_acquire);
    if (!pending)
        return;
    CRotaryControlObject* knobs[7] = {hf_gain_knob,  lf_gain_knob, mid_freq_knob, mid_gain_knob,
                                      lf_freq_knob, hf_freq_knob, mid_bw_knob};
    // Each changed widget moves; the banner buffer gets the text of the
    // latest change, as the effect reported them.
    const int latest = last_pending_parameter;
    int shown = -1;
    for (int index = 0; index < kNumMirroredParams; ++index) {
        if (!(pending & (1u << index)))
            continue;
        const float value = parameter_mirror[kMirrorSlot[index]];
        if (index == 7) {
            if (!bypass_switch)
                continue;
            bypass_switch->set_pushbutton_latching_value(value * kWidgetFullScale);
            bypass_switch->set_control_dirty(true);
        } else {
            if (!knobs[index])
                continue;
            knobs[index]->set_rotary_control_value(value * kWidgetFullScale);
            knobs[index]->set_control_dirty(true);
        }
        if (shown != latest)
            shown = index;
    }
    if (shown == 7)
        set_text_display(parameter_mirror[7] > 0.5f ? " Effect In " : " Effect Out");
    else if (shown >= 0)
        format_knob_text(shown);
}

void CEditorGUI::setProgram(int index)
{
    current_program = index;
    {
        widget_lock lock(&widget_mutex);
        if (!panel_buffer)
            return;
    }
    // Outside the lock: the effect takes its own mutex to read the name.
    char name[kTextDisplaySize] = {0};
    host().getProgramName(name, kTextDisplaySize);
    name[kTextDisplaySize - 1] = 0;

    {
        widget_lock lock(&widget_mutex);
        std::snprintf(text_display, kParameterTextBound, "%s", name);
        if (!text_banner)
            return;
        banner_show_text_display();
        text_banner->set_control_dirty(true);
        text_display_countdown = kTextHoldTicks;
        program_name_shown_flag = true;
    }
    // The effect's parameter updates for the new program raised the flag
    // already, but a tick may have taken it since; the banner must not wait
    // for the next unrelated change.
    signal_gui_update();
}

void CEditorGUI::setHostEffEnable(float value)
{
    host_bypass_changed_flag = true;
    host_bypass_flag = !(value > 0.5f);
    signal_gui_update();
}

void CEditorGUI::get_text_display(char* out, int size)
{
    if (!out || size <= 0)
        return;
    widget_lock lock(&widget_mutex);
    std::snprintf(out, static_cast<size_t>(size), "%s", text_display);
}

void CEditorGUI::set_text_display(const char* text)
{
    std::snprintf(text_display, sizeof text_display, "%s", text);
}

void CEditorGUI::banner_show_text_display()
{
    pthread_mutex_lock(&G_font_mutex);
    text_banner->set_text(text_display);
    pthread_mutex_unlock(&G_font_mutex);
}

// ---- parameter texts from the knobs ------------------------------------------------

void CEditorGUI::parameter_show_hf_gain() { if (hf_gain_knob) format_knob_text(0); }
void CEditorGUI::parameter_show_lf_gain() { if (lf_gain_knob) format_knob_text(1); }
void CEditorGUI::parameter_show_mid_freq() { if (mid_freq_knob) format_knob_text(2); }
void CEditorGUI::parameter_show_mid_gain() { if (mid_gain_knob) format_knob_text(3); }
void CEditorGUI::parameter_show_lf_freq() { if (lf_freq_knob) format_knob_text(4); }
void CEditorGUI::parameter_show_hf_freq() { if (hf_freq_knob) format_knob_text(5); }
void CEditorGUI::parameter_show_mid_bw() { if (mid_bw_knob) format_knob_text(6); }

// ---- repaint -----------------------------------------------------------------------------

void CEditorGUI::signal_gui_update()
{
    gui_update_flag = 1;
}

void CEditorGUI::NeedsRedrawInRect(int x, int y, int w, int h)
{
    if (G_GUI_engine)
        G_GUI_engine->afx_queue_afx_draw_area_fixed(window_index, x, y, w, h);
}

void CEditorGUI::queue_panel_area(int x, int y, int w, int h)
{
    const float m = magnification;
    NeedsRedrawInRect(static_cast<int>(x * m + 0.5f) + panel_x_offset,
                      static_cast<int>(y * m + 0.5f) + panel_y_offset,
                      static_cast<int>(w * m + 0.5f), static_cast<int>(h * m + 0.5f));
}

void CEditorGUI::redraw_knob(CRotaryControlObject* knob)
{
    if (!knob)
        return;
    widget_lock lock(&widget_mutex);
    knob->set_control_dirty(false);
    // Only a knob that moved to another frame costs a repaint.
    if (panel_buffer && editor_running_flag && knob->redraw_rotary_control(panel_buffer)) {
        int x, y, w, h;
        knob->get_invalid_area(&x, &y, &w, &h);
        queue_panel_area(x, y, w, h);
    }
}

void CEditorGUI::redraw_button(CPushButtonLatchingObject* button)
{
    if (!button)
        return;
    widget_lock lock(&widget_mutex);
    button->set_control_dirty(false);
    if (panel_buffer && editor_running_flag) {
        button->redraw_pushbutton_latching(panel_buffer);
        int x, y, w, h;
        button->get_invalid_area(&x, &y, &w, &h);
        queue_panel_area(x, y, w, h);
    }
}

void CEditorGUI::control_redraw_lf_gain() { redraw_knob(lf_gain_knob); }
void CEditorGUI::control_redraw_hf_gain() { redraw_knob(hf_gain_knob); }
void CEditorGUI::control_redraw_mid_freq() { redraw_knob(mid_freq_knob); }
void CEditorGUI::control_redraw_mid_gain() { redraw_knob(mid_gain_knob); }
void CEditorGUI::control_redraw_lf_freq() { redraw_knob(lf_freq_knob); }
void CEditorGUI::control_redraw_hf_freq() { redraw_knob(hf_freq_knob); }
void CEditorGUI::control_redraw_mid_bw() { redraw_knob(mid_bw_knob); }
void CEditorGUI::control_redraw_bypass_switch() { redraw_button(bypass_switch); }
void CEditorGUI::control_redraw_status_button() { redraw_button(status_button); }
void CEditorGUI::control_redraw_left_button() { redraw_button(left_button); }
void CEditorGUI::control_redraw_right_button() { redraw_button(right_button); }

void CEditorGUI::control_redraw_text_banner()
{
    widget_lock lock(&widget_mutex);
    redraw_banner_locked();
}

void CEditorGUI::redraw_banner_locked()
{
    // Unlike knobs and buttons the banner stays dirty while it cannot be
    // painted: a text set while the editor was closed shows after the open.
    if (!text_banner || !panel_buffer || !editor_running_flag)
        return;
    text_banner->undraw_banner(panel_buffer);
    text_banner->draw_banner(panel_buffer);
    text_banner->set_control_dirty(false);
    int x, y, w, h;
    text_banner->get_invalid_area(&x, &y, &w, &h);
    queue_panel_area(x, y, w, h);
}

void CEditorGUI::control_redraw_parameter_display()
{
    {
        widget_lock lock(&widget_mutex);
        if (text_banner) {
            banner_show_text_display();
            text_banner->set_value(0);
            text_banner->set_control_dirty(true);
        }
        text_display_countdown = kTextHoldTicks;
        program_name_shown_flag = false;
    }
    signal_gui_update();
}

void CEditorGUI::revert_text_display1()
{
    widget_lock lock(&widget_mutex);
    std::snprintf(text_display, sizeof text_display, "ZE710 V%s", ZE710_VERSION_STRING);
    if (text_banner) {
        banner_show_text_display();
        redraw_banner_locked();
    }
    program_name_shown_flag = false;
}

void CEditorGUI::revert_text_display2()
{
    widget_lock lock(&widget_mutex);
    set_text_display(kBlankText);
    if (text_banner) {
        banner_show_text_display();
        redraw_banner_locked();
    }
    program_name_shown_flag = false;
    if (status_button) {
        status_button->set_pushbutton_latching_value(0.0f);
        status_button->set_control_dirty(true);
        signal_gui_update();
    }
}

void CEditorGUI::gui_update_handler()
{
    widget_lock lock(&widget_mutex);

    // 1. The text timer stands still while the user holds the banner.
    if (text_banner && !text_banner->get_banner_has_focus() && text_display_countdown > 0) {
        const int left = text_display_countdown - 1;
        text_display_countdown = left;
        if (left == kRevertToVersionAt)
            revert_text_display1();
        else if (left == kBlankAt)
            revert_text_display2();
    }

    // 2. A size restored from a chunk (follow_ui_size); the resize queues
    // the whole window. A change of the host's bypass recolours it.
    if (resize_pending) {
        resize_pending = false;
        fit_check_countdown = kFitCheckTicks;
        resize_window();
    }
    if (!size_drag_flag && --fit_check_countdown <= 0) {
        fit_check_countdown = kFitCheckTicks;
        fit_to_host();
    }
    if (host_bypass_changed_flag) {
        host_bypass_changed_flag = false;
        NeedsRedrawInRect(0, 0, window_width, window_height);
    }

    // 3. Dirty widgets. The flag is taken before painting, so a change that
    // arrives meanwhile gets a pass of its own.
    if (!gui_update_flag)
        return;
    gui_update_flag = 0;
    take_parameter_changes();
    CRotaryControlObject* knobs[] = {mid_bw_knob,   hf_freq_knob, lf_freq_knob, mid_gain_knob,
                                     mid_freq_knob, hf_gain_knob, lf_gain_knob};
    for (CRotaryControlObject* knob : knobs)
        if (knob && knob->get_control_dirty())
            redraw_knob(knob);
    if (bypass_switch && bypass_switch->get_control_dirty())
        redraw_button(bypass_switch);
    if (status_button && status_button->get_control_dirty())
        redraw_button(status_button);
    if (text_banner && text_banner->get_control_dirty())
        redraw_banner_locked();
}

// ---- to the screen ------------------------------------------------------------------------

void CEditorGUI::expose_handler(int x, int y, int w, int h, int window)
{
    AFX_engine* engine = G_GUI_engine;
    if (!engine)
        return;
    pthread_mutex_lock(&drawable_mutex);
    if (window_drawable && panel_buffer) {
        const float m = magnification;
        const int ox = panel_x_offset;
        const int oy = panel_y_offset;
        if (m > 1.0f || ox != 0 || oy != 0)
            engine->afx_stretch_blit_pixbuf_CATROM2(panel_buffer, window_drawable, x, y, w, h, ox,
                                                    oy, m);
        else
            engine->afx_blit_pixbuf_fixed(window_drawable, panel_buffer, x, y, x, y, w, h);
        if (host_bypass_flag)
            engine->afx_draw_afx_drawable_mono(window, window_drawable, x, y, x, y, w, h,
                                               display_scale);
        else
            engine->afx_draw_afx_drawable(window, window_drawable, x, y, x, y, w, h);
    }
    pthread_mutex_unlock(&drawable_mutex);
}

void CEditorGUI::draw_editor_window_contents()
{
    if (!G_GUI_engine)
        return;
    pthread_mutex_lock(&drawable_mutex);
    create_window_drawable_locked();
    pthread_mutex_unlock(&drawable_mutex);

    widget_lock lock(&widget_mutex);
    if (!panel_buffer)
        panel_buffer = AFX_engine::afx_pixbuf_new_with_allocation(kPanelWidth, kPanelHeight,
                                                                  window_index);
    if (!panel_buffer)
        return;
    front_panel->draw_front_panel(panel_buffer);
    bypass_switch->draw_pushbutton_latching(panel_buffer);
    CRotaryControlObject* knobs[] = {lf_gain_knob,  mid_freq_knob, hf_gain_knob, mid_gain_knob,
                                     lf_freq_knob, hf_freq_knob,  mid_bw_knob};
    for (CRotaryControlObject* knob : knobs)
        knob->draw_rotary_control(panel_buffer);
    status_button->draw_pushbutton_latching(panel_buffer);
    left_button->draw_pushbutton_latching(panel_buffer);
    right_button->draw_pushbutton_latching(panel_buffer);
    text_banner->draw_banner(panel_buffer);
}
