#include "widgets/CPushButtonLatchingObject.h"

#include "widgets/widget_paint.h"

using ze710_widgets::film_strip_frame;

namespace {

constexpr float max_value = 99.0f;  // top of the widget value scale

} // namespace

CPushButtonLatchingObject::CPushButtonLatchingObject(AFX_engine* engine) : m_engine(engine) {}

void CPushButtonLatchingObject::set_pushbutton_latching_value(float value)
{
    // NaN (a host's garbage parameter) counts as the bottom of the range.
    if (value > max_value)
        m_value = max_value;
    else if (value >= 0.0f)
        m_value = value;
    else
        m_value = 0.0f;
}

int CPushButtonLatchingObject::get_pushbutton_latching_update_x() const
{
    return m_pos_x - m_size_x / 2 - m_pad_left;
}

int CPushButtonLatchingObject::get_pushbutton_latching_update_y() const
{
    return m_pos_y - m_size_y / 2 - m_pad_top;
}

void CPushButtonLatchingObject::update_pushbutton_latching_value()
{
    // value / 100 + value / 100 reaches 1 exactly at 50: the lower half latches on.
    const float half = m_value / 100.0f;
    m_value = static_cast<int>(half + half) == 0 ? max_value : 0.0f;
}

bool CPushButtonLatchingObject::test_pushbutton_latching_clicked(int x, int y) const
{
    const int x0 = m_offset_x + m_pos_x - m_focus_x / 2 - m_pad_left;
    const int y0 = m_offset_y + m_pos_y - m_focus_y / 2 - m_pad_top;
    return x >= x0 && x <= x0 + m_focus_x && y >= y0 && y <= y0 + m_focus_y;
}

void CPushButtonLatchingObject::get_invalid_area(int* x, int* y, int* w, int* h) const
{
    *x = m_offset_x + get_pushbutton_latching_update_x();
    *y = m_offset_y + get_pushbutton_latching_update_y();
    *w = m_size_x;
    *h = m_size_y;
}

void CPushButtonLatchingObject::queue_pushbutton_latching(int window)
{
    if (!m_engine)
        return;
    int x, y, w, h;
    get_invalid_area(&x, &y, &w, &h);
    m_engine->afx_queue_afx_draw_area_fixed(window, x, y, w, h);
}

void CPushButtonLatchingObject::undraw_pushbutton_latching(afx_pixbuf* target)
{
    const int px = get_pushbutton_latching_update_x();
    const int py = get_pushbutton_latching_update_y();
    ze710_widgets::copy_block(m_panel, target, px, py, px + m_offset_x, py + m_offset_y, m_size_x,
                              m_size_y);
}

void CPushButtonLatchingObject::draw_pushbutton_latching(afx_pixbuf* target)
{
    const int strip_row = film_strip_frame(m_value, m_frames) * m_size_y;
    ze710_widgets::combine_block(m_strip, target, 0, strip_row,
                                 m_offset_x + get_pushbutton_latching_update_x(),
                                 m_offset_y + get_pushbutton_latching_update_y(), m_size_x,
                                 m_size_y);
}

void CPushButtonLatchingObject::redraw_pushbutton_latching(afx_pixbuf* target)
{
    undraw_pushbutton_latching(target);
    draw_pushbutton_latching(target);
}
