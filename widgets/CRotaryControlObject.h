#pragma once
// The film-strip knob: value 0..99, turned by vertical mouse movement through
// an inertia law, stepped a frame at a time by the wheel, held briefly at a
// centre detent, and painted as the strip frame trunc(value / 100 x frames).
//
// Placement, offsets, click rectangle and queueing follow the latching button
// (CPushButtonLatchingObject.h): position is the centre on the panel image,
// the corner is pos - size / 2 - pad left/top, the offset moves panel
// coordinates into the target buffer.
//
// Inertia: each motion event closes a quarter (the inertia coefficient) of the
// gap between the pointer's movement and the knob's velocity, so a drag
// speeds up over a few events; slowing down or reversing follows at once.
// While the knob shows its detent frame, every event cuts the velocity to 1 %,
// so the knob lingers there until the drag builds speed again.
//
// Passive and unlocked: the editor calls it on its GUI thread. The engine and
// both images are the editor's.

#include "gui_engine/AFX_engine.h"

class CRotaryControlObject {
public:
    explicit CRotaryControlObject(AFX_engine* engine);
    ~CRotaryControlObject() = default;
    CRotaryControlObject(const CRotaryControlObject&) = delete;
    CRotaryControlObject& operator=(const CRotaryControlObject&) = delete;

    // Frame size in the strip (pixels).
    void set_rotary_control_size_x(int size) { m_size_x = size; }
    void set_rotary_control_size_y(int size) { m_size_y = size; }
    // Centre on the panel image.
    void set_rotary_control_pos_x(int pos) { m_pos_x = pos; }
    void set_rotary_control_pos_y(int pos) { m_pos_y = pos; }
    void set_rotary_control_pad_left(int pad) { m_pad_left = pad; }
    void set_rotary_control_pad_right(int pad) { m_pad_right = pad; }
    void set_rotary_control_pad_top(int pad) { m_pad_top = pad; }
    void set_rotary_control_pad_bottom(int pad) { m_pad_bottom = pad; }
    void set_rotary_control_nframes(int frames) { m_frames = frames; }
    void set_rotary_control_has_focus(bool focus) { m_has_focus = focus; }
    // Clickable rectangle, centred like the frame.
    void set_rotary_control_focus_x(int width) { m_focus_x = width; }
    void set_rotary_control_focus_y(int height) { m_focus_y = height; }
    void set_rotary_control_pixbuf(afx_pixbuf* strip) { m_strip = strip; }
    void set_front_panel_pixbuf(afx_pixbuf* panel) { m_panel = panel; }
    // Value (0..99) of the detent; 0 means no detent.
    void set_detent_value(float value) { m_detent_value = value; }
    void set_offset_x(int x) { m_offset_x = x; }
    void set_offset_y(int y) { m_offset_y = y; }
    void set_control_dirty(bool dirty) { m_dirty = dirty; }
    // A switch reports its value quantised to the exact value of its frame.
    void set_control_is_switch(bool is_switch) { m_is_switch = is_switch; }
    void enable_inertia(bool enabled) { m_inertia_enabled = enabled; }

    // Clamped to 0..99; NaN gives 0.
    void set_rotary_control_value(float value);
    // The value; for a switch, frame(value) / (frames - 1) x 99.
    float get_rotary_control_value() const;

    int get_rotary_control_pos_x() const { return m_pos_x; }
    int get_rotary_control_pos_y() const { return m_pos_y; }
    int get_rotary_control_size_x() const { return m_size_x; }
    int get_rotary_control_size_y() const { return m_size_y; }
    bool get_rotary_control_focus() const { return m_has_focus; }
    bool get_control_dirty() const { return m_dirty; }
    // The knob's corner in panel coordinates (no offset).
    int get_rotary_control_update_x() const;
    int get_rotary_control_update_y() const;
    // True while the knob shows the detent's frame (with no detent set: frame 0).
    bool get_detent_flag() const;

    // Inclusive click test in target-buffer coordinates. A hit also stops the
    // knob (velocity 0), so every grab starts without inertia.
    bool test_rotary_control_clicked(int x, int y);
    // One motion event; dy is the pointer's upward movement in pixels, one
    // pixel being one value unit. dx is not used.
    void update_rotary_control_value(int dx, int dy);
    // Moves by one frame (step -1 or 1; 0 snaps to the current frame's value)
    // and lands exactly on that frame's value. Other steps are ignored.
    void step_control(int step);

    // The knob's rectangle in the target buffer.
    void get_invalid_area(int* x, int* y, int* w, int* h) const;
    // Queues that rectangle as a synthetic expose of the engine window.
    void queue_rotary_control(int window);
    // Restores the knob's rectangle from the panel image.
    void undraw_rotary_control(afx_pixbuf* target);
    // Alpha-combines the value's frame over the target and remembers it.
    void draw_rotary_control(afx_pixbuf* target);
    // Repaints (background, then frame) only when the value's frame differs
    // from the one last painted; returns whether it painted.
    bool redraw_rotary_control(afx_pixbuf* target);

private:
    int strip_row() const;
    void combine_frame(afx_pixbuf* target, int row);

    float m_value = 0.0f;
    float m_detent_value = 0.0f;
    float m_velocity = 0.0f;             // value units per motion event
    float m_inertia_coefficient = 0.25f;  // share of the gap closed per event
    int32_t m_pad_left = 0;
    int32_t m_pad_right = 0;
    int32_t m_pad_top = 0;
    int32_t m_pad_bottom = 0;
    int32_t m_pos_x = 0;
    int32_t m_pos_y = 0;
    int32_t m_size_x = 0;
    int32_t m_size_y = 0;
    int32_t m_frames = 1;
    int32_t m_focus_x = 0;
    int32_t m_focus_y = 0;
    int32_t m_last_source_row = -1;  // strip row last painted; -1 before the first paint
    int32_t m_offset_x = 0;
    int32_t m_offset_y = 0;
    bool m_has_focus = false;
    bool m_dirty = false;
    bool m_is_switch = false;
    bool m_inertia_enabled = true;
    AFX_engine* m_engine;
    afx_pixbuf* m_strip = nullptr;
    afx_pixbuf* m_panel = nullptr;
};
