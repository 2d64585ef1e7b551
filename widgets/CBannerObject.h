#pragma once
// The text banner: one line of text in the built-in bitmap font, shown
// through a window of x size x y size pixels that scrolls horizontally.
//
// The text is rendered once per set_text into a text buffer of its own (wider
// than the window, 2 x the font's tallest glyph high) and thereafter only a
// window of it is alpha-combined onto the target: columns value + 6 onwards
// from source row = tallest glyph - glyphs top. Text starts at column 8 of the
// buffer, so at scroll 0 it shows 2 pixels inside the banner's left edge.
//
// Unlike buttons and knobs the position is the banner's top-left corner on
// the panel image; the offset moves it into the target buffer.
//
// Passive and unlocked: the editor calls it on its GUI thread. The font
// engine's foreground colour is shared process state: set_colour and set_text
// set it (set_text to the banner's own colour before it draws), so no other
// thread may draw text while a banner renders. The text buffer is owned; the
// engines and the panel image are not.

#include "gui_engine/AFX_engine.h"
#include "gui_engine/AFX_font_engine.h"

class CBannerObject {
public:
    CBannerObject(AFX_engine* engine, AFX_font_engine* font_engine);
    ~CBannerObject();
    CBannerObject(const CBannerObject&) = delete;
    CBannerObject& operator=(const CBannerObject&) = delete;

    // Top-left corner on the panel image.
    void set_x_pos(int x) { m_x_pos = x; }
    void set_y_pos(int y) { m_y_pos = y; }
    // Visible window (pixels).
    void set_x_size(int width) { m_x_size = width; }
    void set_y_size(int height) { m_y_size = height; }
    void set_offset_x(int x) { m_offset_x = x; }
    void set_offset_y(int y) { m_offset_y = y; }
    // Horizontal scroll position in pixels, taken as given; the update_
    // operations keep it within 0..text width - x size.
    void set_value(int value) { m_value = value; }
    // Most characters drawn; longer texts end in an ellipsis. Sizes the text
    // buffer at init_banner.
    void set_max_chars(int chars) { m_max_chars = chars; }
    // Draw a darker copy one pixel right of the text.
    void set_bold(bool bold) { m_bold = bold; }
    void enable_frame(bool enabled) { m_frame_enabled = enabled; }
    void set_frame_colour(int r, int g, int b);
    void set_front_panel_pixbuf(afx_pixbuf* panel) { m_panel = panel; }
    void set_banner_has_focus(bool focus) { m_has_focus = focus; }
    void set_control_dirty(bool dirty) { m_dirty = dirty; }

    int get_value() const { return m_value; }
    bool get_banner_has_focus() const { return m_has_focus; }
    bool get_control_dirty() const { return m_dirty; }

    // Text colour (0..255 each); also made the font engine's foreground.
    void set_colour(int r, int g, int b);
    // Sizes and allocates the text buffer for the window. Only the first call
    // allocates and sizes; later calls leave the buffer and its width alone.
    void init_banner(int window);
    // Renders text (at most max chars characters) into the text buffer; the
    // scroll position is kept. Does nothing before init_banner.
    void set_text(const char* text);

    // Scroll by one pixel, never past either end of the text buffer.
    void update_right();
    void update_left();
    // Drag: a pointer movement of dx pixels to the right scrolls dx pixels
    // left, clamped to 0..text width - x size.
    void update_banner_position(int dx);

    // Inclusive click test in target-buffer coordinates.
    bool test_banner_clicked(int x, int y) const;
    // The banner's rectangle in the target buffer.
    void get_invalid_area(int* x, int* y, int* w, int* h) const;
    // Queues that rectangle as a synthetic expose of the engine window.
    void queue_banner(int window);
    // Restores the banner's rectangle from the panel image.
    void undraw_banner(afx_pixbuf* target);
    // Alpha-combines the visible window of the text buffer onto the target.
    void draw_banner(afx_pixbuf* target);

private:
    void draw_frame();

    AFX_engine* m_engine;
    AFX_font_engine* m_font_engine;
    afx_pixbuf* m_text_buffer = nullptr;  // owned
    afx_pixbuf* m_panel = nullptr;
    int32_t m_x_pos = 0;
    int32_t m_y_pos = 0;
    int32_t m_x_size = 0;
    int32_t m_y_size = 0;
    int32_t m_offset_x = 0;
    int32_t m_offset_y = 0;
    int32_t m_text_width = 0;  // width of the text buffer; 0 until init_banner
    int32_t m_baseline = 14;   // text-buffer row of the baseline
    int32_t m_source_row = 0;  // first text-buffer row shown
    int32_t m_text_r = 255;
    int32_t m_text_g = 255;
    int32_t m_text_b = 255;
    int32_t m_frame_r = 95;
    int32_t m_frame_g = 95;
    int32_t m_frame_b = 95;
    int32_t m_value = 0;  // scroll position, pixels
    int32_t m_max_chars = 0;
    bool m_initialised = false;
    bool m_has_focus = false;
    bool m_dirty = false;
    bool m_frame_enabled = true;
    bool m_bold = false;
};
