#include "widgets/CBannerObject.h"

#include "widgets/widget_paint.h"

#include <algorithm>

namespace {

constexpr int text_column = 8;         // pen column of the text in the text buffer
constexpr int shadow_column = 9;       // pen column of the bold shadow
constexpr int view_column_offset = 6;  // buffer column shown at the banner's left edge at scroll 0
constexpr float shadow_divisor = 2.5f;  // shadow colour = text colour / 2.5, rounded
constexpr int opaque = 255;

int shadow_component(int c)
{
    return static_cast<int>(static_cast<float>(c) / shadow_divisor + 0.5f);
}

} // namespace

CBannerObject::CBannerObject(AFX_engine* engine, AFX_font_engine* font_engine)
    : m_engine(engine), m_font_engine(font_engine)
{
}

CBannerObject::~CBannerObject()
{
    AFX_engine::afx_pixbuf_destroy_with_allocation(m_text_buffer);
}

void CBannerObject::set_frame_colour(int r, int g, int b)
{
    m_frame_r = r;
    m_frame_g = g;
    m_frame_b = b;
}

void CBannerObject::set_colour(int r, int g, int b)
{
    m_text_r = r;
    m_text_g = g;
    m_text_b = b;
    if (m_font_engine)
        m_font_engine->set_foreground_rgb(r, g, b);
}

void CBannerObject::init_banner(int window)
{
    // The buffer is sized once: a later call with other settings must not
    // let the scroll range outgrow the pixels behind it.
    if (m_initialised || !m_font_engine)
        return;

    // Room for max chars of the widest glyph, and never less than one glyph
    // more than the window, so that there is always something to scroll.
    const int glyph_width = static_cast<int>(m_font_engine->get_glyph_max_width());
    const int glyph_height = static_cast<int>(m_font_engine->get_glyph_max_height());
    if (glyph_width * m_max_chars <= m_x_size)
        m_text_width = glyph_width + m_x_size;
    else
        m_text_width = glyph_width * m_max_chars;

    if (!m_text_buffer)
        m_text_buffer =
            AFX_engine::afx_pixbuf_new_with_allocation(m_text_width, 2 * glyph_height, window);

    m_baseline = glyph_height;
    m_source_row = glyph_height - static_cast<int>(m_font_engine->get_glyphs_top());
    AFX_engine::afx_pixbuf_init(m_text_buffer);
    m_initialised = true;
}

void CBannerObject::set_text(const char* text)
{
    if (!m_initialised || !m_text_buffer || !text)
        return;
    AFX_engine::afx_pixbuf_init(m_text_buffer);

    if (m_bold) {
        m_font_engine->set_foreground_rgb(shadow_component(m_text_r), shadow_component(m_text_g),
                                          shadow_component(m_text_b));
        m_font_engine->draw_string(m_text_buffer, text, shadow_column, m_baseline, m_max_chars);
    }
    // The font engine's colour is shared: another user may have changed it
    // since set_colour.
    m_font_engine->set_foreground_rgb(m_text_r, m_text_g, m_text_b);
    m_font_engine->draw_string(m_text_buffer, text, text_column, m_baseline, m_max_chars);

    if (m_frame_enabled)
        draw_frame();
}

// A box around the window's area of the buffer (columns 0..x size - 1, rows
// source row onwards) with corners in half the frame colour, softening them.
void CBannerObject::draw_frame()
{
    const int top = m_source_row;
    // The box stays inside the buffer whatever the window's height.
    const int height = std::min(m_y_size, m_text_buffer->height - top);
    const int width = std::min(m_x_size, m_text_buffer->width);
    if (top < 0 || width < 2 || height < 2)
        return;
    const int bottom = top + height - 1;
    const int right = width - 1;
    afx_pixbuf* pb = m_text_buffer;
    AFX_engine::draw_horiz_line_to_pixbuf(pb, 1, top, right - 1, top, m_frame_r, m_frame_g,
                                          m_frame_b, opaque);
    AFX_engine::draw_vert_line_to_pixbuf(pb, 0, top + 1, 0, bottom - 1, m_frame_r, m_frame_g,
                                         m_frame_b, opaque);
    AFX_engine::draw_horiz_line_to_pixbuf(pb, 1, bottom, right - 1, bottom, m_frame_r, m_frame_g,
                                          m_frame_b, opaque);
    AFX_engine::draw_vert_line_to_pixbuf(pb, right, top + 1, right, bottom - 1, m_frame_r,
                                         m_frame_g, m_frame_b, opaque);
    const int cr = m_frame_r >> 1;
    const int cg = m_frame_g >> 1;
    const int cb = m_frame_b >> 1;
    AFX_engine::plot_pixel_to_pixbuf(pb, 0, top, cr, cg, cb, opaque, false);
    AFX_engine::plot_pixel_to_pixbuf(pb, right, top, cr, cg, cb, opaque, false);
    AFX_engine::plot_pixel_to_pixbuf(pb, 0, bottom, cr, cg, cb, opaque, false);
    AFX_engine::plot_pixel_to_pixbuf(pb, right, bottom, cr, cg, cb, opaque, false);
}

void CBannerObject::update_right()
{
    if (m_value + m_x_size < m_text_width)
        ++m_value;
}

void CBannerObject::update_left()
{
    if (m_value > 0)
        --m_value;
}

void CBannerObject::update_banner_position(int dx)
{
    m_value -= dx;
    if (m_value < 0)
        m_value = 0;
    if (m_value + m_x_size > m_text_width)
        m_value = m_text_width - m_x_size;
    // Before init_banner the text width is 0: stay at the start.
    if (m_value < 0)
        m_value = 0;
}

bool CBannerObject::test_banner_clicked(int x, int y) const
{
    const int x0 = m_offset_x + m_x_pos;
    const int y0 = m_offset_y + m_y_pos;
    return x >= x0 && x <= x0 + m_x_size && y >= y0 && y <= y0 + m_y_size;
}

void CBannerObject::get_invalid_area(int* x, int* y, int* w, int* h) const
{
    *x = m_offset_x + m_x_pos;
    *y = m_offset_y + m_y_pos;
    *w = m_x_size;
    *h = m_y_size;
}

void CBannerObject::queue_banner(int window)
{
    if (!m_engine)
        return;
    int x, y, w, h;
    get_invalid_area(&x, &y, &w, &h);
    m_engine->afx_queue_afx_draw_area_fixed(window, x, y, w, h);
}

void CBannerObject::undraw_banner(afx_pixbuf* target)
{
    ze710_widgets::copy_block(m_panel, target, m_x_pos, m_y_pos, m_offset_x + m_x_pos,
                              m_offset_y + m_y_pos, m_x_size, m_y_size);
}

void CBannerObject::draw_banner(afx_pixbuf* target)
{
    // At the right end of the scroll range the window reaches 6 columns past
    // the text buffer; those columns keep the background rather than reading
    // into the next row (or past the buffer's end).
    ze710_widgets::combine_block(m_text_buffer, target, m_value + view_column_offset, m_source_row,
                                 m_offset_x + m_x_pos, m_offset_y + m_y_pos, m_x_size, m_y_size);
}
