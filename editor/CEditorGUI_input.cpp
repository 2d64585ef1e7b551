// CEditorGUI: pointer input, on the GUI event thread through the trampolines
// registered at open. Coordinates arrive in window device pixels; widget hit
// tests work in panel pixels (window_to_panel), the size grip and the
// pointer deltas in window pixels.
//
// Every change goes to the effect through its format's adapter
// (CEditorHost: beginEdit, setParameterAutomated, endEdit, setProgram).
// The effect applies it under its own mutex and reports it back through
// setParameter, which only records it; the handler then lets the widgets
// take it (take_parameter_changes, which formats the banner text) and puts
// that text on the banner. Hence the locking rule here:
// widget_mutex is held only around widget reads and writes and is always
// released before calling into the effect.
//
// Gestures as the host sees them:
//   knob drag       beginEdit(i), one automation per motion event, on release
//                   endEdit of 0, 5, 1, 4, 2, 3, 6, 7
//   knob wheel      beginEdit(i), one automation, endEdit(i); the release
//                   then ends all eight as above
//   knob reset      (double click) beginEdit(i), automation 0.5, endEdit(i)
//   bypass toggle   beginEdit(7), automation 0 or 1, the eight endEdits on release
//   size drag       automation of parameter 8 every second counted motion event
//   size reset      (double click on the background) automation 8 = 0
#include "editor/CEditorGUI.h"

#include <pthread.h>

#include <cmath>
#include <cstdio>

#include "editor/editor_globals.h"
#include "model/ze710_version.h"
#include "widgets/CBannerObject.h"
#include "widgets/CPushButtonLatchingObject.h"
#include "widgets/CRotaryControlObject.h"

namespace {

constexpr float kWidgetFullScale = 99.0f;  // widget value of a normalised 1.0
constexpr float kKnobCentre = 49.5f;       // detent frame, normalised 0.5
constexpr float kButtonHeld = 99.0f;
constexpr float kButtonReleased = 0.0f;
constexpr float kButtonOnAbove = 0.5f;     // normalised; status button shows the version

constexpr unsigned int kLeftButton = 1;
constexpr unsigned int kWheelUp = 4;
constexpr unsigned int kWheelDown = 5;

// The window background draws its resize grip within 20 pixels of the
// bottom-right corner, 1 pixel in, both times the display scale; a press
// within this many pixels (times the scale) of the corner starts a size
// drag. At scale 1 that is x >= width - 19 and y >= height - 19.
constexpr float kGripReach = 19.0f;
// The size follows every second counted motion event: half the host
// traffic and window rebuilds of following each event.
constexpr int kSizeDragEventsPerStep = 2;

constexpr int kProgramNameBound = 64;  // bytes, terminator included
constexpr int kVersionTicks = 100;     // status button: 2.5 s to the blank banner
constexpr int kProgramTicks = 500;

// End of every gesture: the eight audio parameters in this order. The editor
// size (8) is never begun, so it is never ended.
constexpr int kEndEditOrder[] = {0, 5, 1, 4, 2, 3, 6, 7};
constexpr int kBypassIndex = 7;

class widget_lock {
public:
    explicit widget_lock(pthread_mutex_t* m) : m_mutex(m) { pthread_mutex_lock(m_mutex); }
    ~widget_lock() { pthread_mutex_unlock(m_mutex); }
    widget_lock(const widget_lock&) = delete;
    widget_lock& operator=(const widget_lock&) = delete;

private:
    pthread_mutex_t* m_mutex;
};

float clamp01(float v) { return v > 1.0f ? 1.0f : (v >= 0.0f ? v : 0.0f); }

}  // namespace

// One knob in knob order: its widget, its parameter and its two operations.
struct CEditorGUI::KnobSlot {
    CRotaryControlObject* knob;
    int index;
    void (CEditorGUI::*show)();
    void (CEditorGUI::*redraw)();
};

// What the handlers reach once the editor's owner is going away (retire):
// nothing. A handler that was inside a host call then finishes its own work
// on the editor, which lives until it has returned, and calls no one.
class CEditorGUI::DetachedHost final : public CEditorHost {
public:
    float getParameter(int) override { return 0.0f; }
    void beginEdit(int) override {}
    void endEdit(int) override {}
    void setParameterAutomated(int, float) override {}
    int getNumPrograms() override { return 1; }
    void setProgram(int) override {}
    void getProgramName(char* text, int size) override
    {
        if (text && size > 0)
            text[0] = 0;
    }
    void sizeWindow(int, int) override {}
};

CEditorHost& CEditorGUI::host()
{
    static DetachedHost detached;
    CEditorHost* fx = effect;
    return retired.load() || !fx ? detached : *fx;
}

bool CEditorGUI::input_active()
{
    return input_enabled.load() && editor_running_flag && !retired.load();
}

void CEditorGUI::knob_slots(KnobSlot out[7])
{
    out[0] = {lf_gain_knob, 1, &CEditorGUI::parameter_show_lf_gain, &CEditorGUI::control_redraw_lf_gain};
    out[1] = {hf_gain_knob, 0, &CEditorGUI::parameter_show_hf_gain, &CEditorGUI::control_redraw_hf_gain};
    out[2] = {mid_freq_knob, 2, &CEditorGUI::parameter_show_mid_freq,
              &CEditorGUI::control_redraw_mid_freq};
    out[3] = {mid_gain_knob, 3, &CEditorGUI::parameter_show_mid_gain,
              &CEditorGUI::control_redraw_mid_gain};
    out[4] = {lf_freq_knob, 4, &CEditorGUI::parameter_show_lf_freq, &CEditorGUI::control_redraw_lf_freq};
    out[5] = {hf_freq_knob, 5, &CEditorGUI::parameter_show_hf_freq, &CEditorGUI::control_redraw_hf_freq};
    out[6] = {mid_bw_knob, 6, &CEditorGUI::parameter_show_mid_bw, &CEditorGUI::control_redraw_mid_bw};
}

// ---- button press --------------------------------------------------------------------------

void CEditorGUI::button_press_handler(int x, int y, unsigned int button)
{
    if (!input_active() || !G_GUI_engine)
        return;

    // 1. The widgets at the values the host set last, then panel
    // coordinates for the widget hit tests.
    take_parameter_changes();
    const float m = magnification;
    const int px = static_cast<int>((x - panel_x_offset) / m + 0.5f);
    const int py = static_cast<int>((y - panel_y_offset) / m + 0.5f);

    KnobSlot knobs[7];
    knob_slots(knobs);

    // 2. The wheel steps a knob by one frame, or scrolls the banner by a pixel.
    if (button == kWheelUp || button == kWheelDown) {
        const int step = button == kWheelUp ? 1 : -1;
        for (const KnobSlot& slot : knobs) {
            {
                widget_lock lock(&widget_mutex);
                if (!slot.knob || !slot.knob->test_rotary_control_clicked(px, py))
                    continue;
            }
            host().beginEdit(slot.index);
            float value;
            {
                widget_lock lock(&widget_mutex);
                slot.knob->set_rotary_control_has_focus(true);
                slot.knob->step_control(step);
                value = slot.knob->get_rotary_control_value() / kWidgetFullScale;
            }
            host().setParameterAutomated(slot.index, value);
            take_parameter_changes();
            control_redraw_parameter_display();
            (this->*slot.redraw)();
            host().endEdit(slot.index);
        }
        bool scroll = false;
        {
            widget_lock lock(&widget_mutex);
            if (text_banner && text_banner->test_banner_clicked(px, py)) {
                text_banner->set_banner_has_focus(true);
                if (button == kWheelUp)
                    text_banner->update_right();
                else
                    text_banner->update_left();
                scroll = true;
            }
        }
        if (scroll)
            control_redraw_text_banner();
        return;
    }
    if (button != kLeftButton)
        return;

    // 3. The left button: each test on its own.
    // a. A knob grabbed: the drag starts and the banner shows its value.
    for (const KnobSlot& slot : knobs) {
        {
            widget_lock lock(&widget_mutex);
            if (!slot.knob || !slot.knob->test_rotary_control_clicked(px, py))
                continue;
        }
        host().beginEdit(slot.index);
        {
            widget_lock lock(&widget_mutex);
            slot.knob->set_rotary_control_has_focus(true);
            (this->*slot.show)();
        }
        control_redraw_parameter_display();
    }

    // b. The banner grabbed: the scroll drag starts.
    {
        widget_lock lock(&widget_mutex);
        if (text_banner && text_banner->test_banner_clicked(px, py))
            text_banner->set_banner_has_focus(true);
    }

    // c. The bypass switch toggles at once; the effect formats its text.
    bool bypass_hit;
    {
        widget_lock lock(&widget_mutex);
        bypass_hit = bypass_switch && bypass_switch->test_pushbutton_latching_clicked(px, py);
    }
    if (bypass_hit) {
        host().beginEdit(kBypassIndex);
        float value;
        {
            widget_lock lock(&widget_mutex);
            bypass_switch->set_pushbutton_latching_has_focus(true);
            bypass_switch->update_pushbutton_latching_value();
            value = bypass_switch->get_pushbutton_latching_value() / kWidgetFullScale;
        }
        host().setParameterAutomated(kBypassIndex, value);
        take_parameter_changes();
        control_redraw_parameter_display();
        control_redraw_bypass_switch();
    }

    // d. The status button toggles the version text.
    bool status_hit = false;
    {
        widget_lock lock(&widget_mutex);
        if (status_button && status_button->test_pushbutton_latching_clicked(px, py)) {
            status_button->set_pushbutton_latching_has_focus(true);
            status_button->update_pushbutton_latching_value();
            status_hit = true;
        }
    }
    if (status_hit) {
        control_update_status_button();
        control_redraw_status_button();
    }

    // e, f. The program buttons stay down until the release.
    bool left_hit = false;
    bool right_hit = false;
    {
        widget_lock lock(&widget_mutex);
        if (left_button && left_button->test_pushbutton_latching_clicked(px, py)) {
            left_button->set_pushbutton_latching_has_focus(true);
            left_button->set_pushbutton_latching_value(kButtonHeld);
            left_hit = true;
        }
        if (right_button && right_button->test_pushbutton_latching_clicked(px, py)) {
            right_button->set_pushbutton_latching_has_focus(true);
            right_button->set_pushbutton_latching_value(kButtonHeld);
            right_hit = true;
        }
    }
    if (left_hit) {
        control_update_left_button();
        control_redraw_left_button();
    }
    if (right_hit) {
        control_update_right_button();
        control_redraw_right_button();
    }

    // g. The resize grip, in window pixels. A drag starts from nothing: a
    // half step left over from the last drag does not carry into this one.
    // Scaled with the display, so the whole grip drawn at scale 2 answers.
    const int reach = static_cast<int>(kGripReach * display_scale);
    if (x >= window_width - reach && y >= window_height - reach) {
        size_drag_flag = true;
        size_drag_step_counter = 0;
        size_drag_accumulator = 0.0f;
    }

    // h. Motion deltas count from here.
    G_GUI_engine->init_mouse(x, y);
}

// ---- motion ------------------------------------------------------------------------------------

void CEditorGUI::motion_notify_handler(int x, int y)
{
    if (!input_active() || !G_GUI_engine)
        return;

    take_parameter_changes();
    // 1. Window pixels; upward and rightward are positive.
    const int dy = G_GUI_engine->get_mouse_delta_y(y);
    const int dx = G_GUI_engine->get_mouse_delta_x(x);

    // 2. A held knob follows the drag law: one pixel up is one unit of 99,
    // at every editor size.
    KnobSlot knobs[7];
    knob_slots(knobs);
    for (const KnobSlot& slot : knobs) {
        float value;
        {
            widget_lock lock(&widget_mutex);
            if (!slot.knob || !slot.knob->get_rotary_control_focus())
                continue;
            slot.knob->update_rotary_control_value(dx, dy);
            value = slot.knob->get_rotary_control_value() / kWidgetFullScale;
        }
        host().setParameterAutomated(slot.index, value);
        take_parameter_changes();
        control_redraw_parameter_display();
        (this->*slot.redraw)();
    }

    // 3. A held banner scrolls with the pointer.
    bool scrolled = false;
    {
        widget_lock lock(&widget_mutex);
        if (text_banner && text_banner->get_banner_has_focus()) {
            text_banner->update_banner_position(dx);
            scrolled = true;
        }
    }
    if (scrolled)
        control_redraw_text_banner();

    // 4. The size drag: down and right enlarge, up and left shrink, by the
    // distance travelled relative to the current window width.
    if (!size_drag_flag)
        return;
    const float fdx = static_cast<float>(dx);
    const float fdy = static_cast<float>(dy);
    float d = std::sqrt(fdx * fdx + fdy * fdy);
    if (d < 1.0f)
        return;
    if (dy > 0 || dx < 0)
        d = -d;
    size_drag_accumulator += d;
    if (++size_drag_step_counter < kSizeDragEventsPerStep)
        return;
    const float width = static_cast<float>(window_width);
    const float u =
        clamp01((size_drag_accumulator + width) / width * (ui_size + 1.0f) - 1.0f);
    size_drag_step_counter = 0;
    size_drag_accumulator = 0.0f;
    ui_size = u;
    host().setParameterAutomated(kUiSizeIndex, u);
    // The host may have closed the editor while it handled the automation.
    if (input_enabled.load())
        control_redraw_ui_size();
}

// ---- button release -----------------------------------------------------------------------------

void CEditorGUI::button_release_handler(int, int, unsigned int)
{
    if (!input_active())
        return;

    // 1. Every grab ends with any release.
    bool left_held = false;
    bool right_held = false;
    {
        widget_lock lock(&widget_mutex);
        KnobSlot knobs[7];
        knob_slots(knobs);
        for (const KnobSlot& slot : knobs)
            if (slot.knob)
                slot.knob->set_rotary_control_has_focus(false);
        CPushButtonLatchingObject* buttons[] = {bypass_switch, status_button};
        for (CPushButtonLatchingObject* b : buttons)
            if (b)
                b->set_pushbutton_latching_has_focus(false);
        if (text_banner)
            text_banner->set_banner_has_focus(false);

        // 3. The program buttons pop up.
        if (left_button && left_button->get_pushbutton_latching_focus()) {
            left_button->set_pushbutton_latching_has_focus(false);
            left_button->set_pushbutton_latching_value(kButtonReleased);
            left_held = true;
        }
        if (right_button && right_button->get_pushbutton_latching_focus()) {
            right_button->set_pushbutton_latching_has_focus(false);
            right_button->set_pushbutton_latching_value(kButtonReleased);
            right_held = true;
        }
    }

    // 2. The size drag ends at the size it reached.
    if (size_drag_flag) {
        size_drag_flag = false;
        control_redraw_ui_size();
    }
    if (left_held)
        control_redraw_left_button();
    if (right_held)
        control_redraw_right_button();

    // 4. The host hears the end of whatever gesture there was.
    for (int index : kEndEditOrder)
        host().endEdit(index);
}

// ---- double click --------------------------------------------------------------------------------

void CEditorGUI::double_click_handler(int x, int y, unsigned int button)
{
    if (!input_active())
        return;

    take_parameter_changes();
    const float m = magnification;
    const int px = static_cast<int>((x - panel_x_offset) / m + 0.5f);
    const int py = static_cast<int>((y - panel_y_offset) / m + 0.5f);

    // 2. A knob returns to its centre.
    KnobSlot knobs[7];
    knob_slots(knobs);
    for (const KnobSlot& slot : knobs) {
        float value;
        {
            widget_lock lock(&widget_mutex);
            if (!slot.knob || !slot.knob->test_rotary_control_clicked(px, py))
                continue;
            slot.knob->set_rotary_control_value(kKnobCentre);
            value = slot.knob->get_rotary_control_value() / kWidgetFullScale;
        }
        host().beginEdit(slot.index);
        host().setParameterAutomated(slot.index, value);
        host().endEdit(slot.index);
        take_parameter_changes();
        control_redraw_parameter_display();
        (this->*slot.redraw)();
        return;
    }

    // 3. The background (bare panel, banner, window margin, grip) returns the
    // editor to its smallest size.
    bool on_button;
    {
        widget_lock lock(&widget_mutex);
        CPushButtonLatchingObject* buttons[] = {bypass_switch, left_button, right_button,
                                                status_button};
        on_button = false;
        for (CPushButtonLatchingObject* b : buttons)
            on_button = on_button || (b && b->test_pushbutton_latching_clicked(px, py));
    }
    if (!on_button) {
        ui_size = 0.0f;
        host().setParameterAutomated(kUiSizeIndex, 0.0f);
        if (input_enabled.load())
            control_redraw_ui_size();
        return;
    }

    // 4. On a button the second press counts as a press of its own.
    button_press_handler(x, y, button);
}

// ---- the top-strip buttons -------------------------------------------------------------------------

void CEditorGUI::control_update_status_button()
{
    {
        widget_lock lock(&widget_mutex);
        if (!status_button)
            return;
        status_button->set_control_dirty(true);
        if (status_button->get_pushbutton_latching_value() / kWidgetFullScale > kButtonOnAbove)
            std::snprintf(text_display, sizeof text_display, "ZE710 V%s", ZE710_VERSION_STRING);
        else
            std::snprintf(text_display, sizeof text_display, "%s", "                ");
    }
    control_redraw_parameter_display();
    // The timer blanks the banner and releases the button 2.5 s from now.
    text_display_countdown = kVersionTicks;
    signal_gui_update();
}

void CEditorGUI::control_update_left_button()
{
    {
        widget_lock lock(&widget_mutex);
        if (left_button)
            left_button->set_control_dirty(true);
    }
    step_program(-1);
}

void CEditorGUI::control_update_right_button()
{
    {
        widget_lock lock(&widget_mutex);
        if (right_button)
            right_button->set_control_dirty(true);
    }
    step_program(1);
}

// The first press shows the current program's name; presses while a name is
// on the banner step through the programs, wrapping at both ends.
void CEditorGUI::step_program(int step)
{
    if (program_name_shown_flag) {
        const int programs = host().getNumPrograms();
        const int count = programs > 0 ? programs : 1;
        const int next = ((current_program + step) % count + count) % count;
        host().setProgram(next);
        take_parameter_changes();
    }
    char name[kTextDisplaySize] = {0};
    host().getProgramName(name, kTextDisplaySize);
    name[kTextDisplaySize - 1] = 0;
    {
        widget_lock lock(&widget_mutex);
        std::snprintf(text_display, kProgramNameBound, "%s", name);
    }
    control_redraw_parameter_display();
    text_display_countdown = kProgramTicks;
    program_name_shown_flag = true;
}
