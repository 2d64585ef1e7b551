#pragma once
// A latching push button drawn from a film strip: value 0..99, frame
// trunc(value / 100 x frames), so a two-frame strip shows frame 0 below 50
// and frame 1 from 50. The editor stores only 0 and 99 and toggles on click.
//
// Coordinates: position is the button's centre on the front panel image; its
// corner is (pos - size / 2 - pad left/top), halves truncated. The offset
// shifts the button from panel coordinates into the target buffer, the same
// shift the panel itself was painted with. Right and bottom pads are kept but
// move nothing.
//
// Passive and unlocked: the editor calls it on its GUI thread. The engine and
// both images are the editor's.

#include "gui_engine/AFX_engine.h"

class CPushButtonLatchingObject {
public:
    explicit CPushButtonLatchingObject(AFX_engine* engine);
    ~CPushButtonLatchingObject() = default;
    CPushButtonLatchingObject(const CPushButtonLatchingObject&) = delete;
    CPushButtonLatchingObject& operator=(const CPushButtonLatchingObject&) = delete;

    // Frame size in the strip (pixels).
    void set_pushbutton_latching_size_x(int size) { m_size_x = size; }
    void set_pushbutton_latching_size_y(int size) { m_size_y = size; }
    // Centre on the panel image.
    void set_pushbutton_latching_pos_x(int pos) { m_pos_x = pos; }
    void set_pushbutton_latching_pos_y(int pos) { m_pos_y = pos; }
    void set_pushbutton_latching_pad_left(int pad) { m_pad_left = pad; }
    void set_pushbutton_latching_pad_right(int pad) { m_pad_right = pad; }
    void set_pushbutton_latching_pad_top(int pad) { m_pad_top = pad; }
    void set_pushbutton_latching_pad_bottom(int pad) { m_pad_bottom = pad; }
    void set_pushbutton_latching_nframes(int frames) { m_frames = frames; }
    void set_pushbutton_latching_has_focus(bool focus) { m_has_focus = focus; }
    // Clickable rectangle, centred like the frame.
    void set_pushbutton_latching_focus_x(int width) { m_focus_x = width; }
    void set_pushbutton_latching_focus_y(int height) { m_focus_y = height; }
    void set_pushbutton_latching_pixbuf(afx_pixbuf* strip) { m_strip = strip; }
    void set_front_panel_pixbuf(afx_pixbuf* panel) { m_panel = panel; }
    void set_offset_x(int x) { m_offset_x = x; }
    void set_offset_y(int y) { m_offset_y = y; }
    void set_control_dirty(bool dirty) { m_dirty = dirty; }

    // Clamped to 0..99; NaN gives 0.
    void set_pushbutton_latching_value(float value);

    float get_pushbutton_latching_value() const { return m_value; }
    int get_pushbutton_latching_pos_x() const { return m_pos_x; }
    int get_pushbutton_latching_pos_y() const { return m_pos_y; }
    int get_pushbutton_latching_size_x() const { return m_size_x; }
    int get_pushbutton_latching_size_y() const { return m_size_y; }
    bool get_pushbutton_latching_focus() const { return m_has_focus; }
    bool get_control_dirty() const { return m_dirty; }
    // The button's corner in panel coordinates (no offset).
    int get_pushbutton_latching_update_x() const;
    int get_pushbutton_latching_update_y() const;

    // Toggles: a value below 50 becomes 99, anything else 0.
    void update_pushbutton_latching_value();
    // Whether (x, y) in target-buffer coordinates lies in the click rectangle,
    // all four edges included (a 20-wide rectangle answers for 21 columns).
    bool test_pushbutton_latching_clicked(int x, int y) const;

    // The button's rectangle in the target buffer.
    void get_invalid_area(int* x, int* y, int* w, int* h) const;
    // Queues that rectangle as a synthetic expose of the engine window.
    void queue_pushbutton_latching(int window);
    // Restores the button's rectangle from the panel image.
    void undraw_pushbutton_latching(afx_pixbuf* target);
    // Alpha-combines the value's frame over whatever the target holds.
    void draw_pushbutton_latching(afx_pixbuf* target);
    // undraw, then draw.
    void redraw_pushbutton_latching(afx_pixbuf* target);

private:
    float m_value = 0.0f;
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
    int32_t m_offset_x = 0;
    int32_t m_offset_y = 0;
    bool m_has_focus = false;
    bool m_dirty = false;
    AFX_engine* m_engine;
    afx_pixbuf* m_strip = nullptr;
    afx_pixbuf* m_panel = nullptr;
};
