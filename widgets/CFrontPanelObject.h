#pragma once
// The front panel: the editor's background image, painted whole into the
// editor's panel buffer at an offset. Every other widget cuts its own
// background from the same image when it repaints.
//
// Passive and unlocked like every widget: the editor calls it on its GUI
// thread. The image is not owned.

#include "gui_engine/AFX_engine.h"

class CFrontPanelObject {
public:
    explicit CFrontPanelObject(AFX_engine* engine);
    ~CFrontPanelObject() = default;
    CFrontPanelObject(const CFrontPanelObject&) = delete;
    CFrontPanelObject& operator=(const CFrontPanelObject&) = delete;

    // Area of the panel image to paint, from its top-left corner (pixels).
    void set_front_panel_width(int width) { m_width = width; }
    void set_front_panel_height(int height) { m_height = height; }
    // Where the panel's corner goes in the target buffer.
    void set_front_panel_offset_x(int x) { m_offset_x = x; }
    void set_front_panel_offset_y(int y) { m_offset_y = y; }
    void set_front_panel_pixbuf(afx_pixbuf* panel) { m_panel = panel; }

    // Copies width x height pixels from the image's corner to the offset in
    // target (all four bytes, no blending).
    void draw_front_panel(afx_pixbuf* target);

private:
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_offset_x = 0;
    int32_t m_offset_y = 0;
    afx_pixbuf* m_panel = nullptr;
    [[maybe_unused]] AFX_engine* m_engine;  // owner's engine; the panel draws without it
};
