#include "widgets/CRotaryControlObject.h"

#include "widgets/widget_paint.h"

#include <cmath>

using ze710_widgets::film_strip_frame;

namespace {

constexpr float max_value = 99.0f;      // top of the widget value scale
constexpr float detent_damping = 0.01f;  // velocity kept per event on the detent frame

} // namespace

CRotaryControlObject::CRotaryControlObject(AFX_engine* engine) : m_engine(engine) {}

void CRotaryControlObject::set_rotary_control_value(float value)
{
    // NaN (a host's garbage parameter) counts as the bottom of the range.
    if (value > max_value)
        m_value = max_value;
    else if (value >= 0.0f)
        m_value = value;
    else
        m_value = 0.0f;
}

float CRotaryControlObject::get_rotary_control_value() const
{
    // A one-frame strip has no second frame to quantise towards.
    if (!m_is_switch || m_frames < 2)
        return m_value;
    return static_cast<float>(film_strip_frame(m_value, m_frames)) /
           static_cast<float>(m_frames - 1) * max_value;
}

int CRotaryControlObject::get_rotary_control_update_x() const
{
    return m_pos_x - m_size_x / 2 - m_pad_left;
}

int CRotaryControlObject::get_rotary_control_update_y() const
{
    return m_pos_y - m_size_y / 2 - m_pad_top;
}

bool CRotaryControlObject::get_detent_flag() const
{
    return film_strip_frame(m_detent_value, m_frames) == film_strip_frame(m_value, m_frames);
}

bool CRotaryControlObject::test_rotary_control_clicked(int x, int y)
{
    const int x0 = m_offset_x + m_pos_x - m_focus_x / 2 - m_pad_left;
    const int y0 = m_offset_y + m_pos_y - m_focus_y / 2 - m_pad_top;
    const bool hit = x >= x0 && x <= x0 + m_focus_x && y >= y0 && y <= y0 + m_focus_y;
    if (hit)
        m_velocity = 0.0f;
    return hit;
}

void CRotaryControlObject::update_rotary_control_value(int, int dy)
{
    const float d = static_cast<float>(dy);

    // Detent damping, whether or not this event moves the pointer.
    if (m_detent_value != 0.0f &&
        film_strip_frame(m_value, m_frames) == film_strip_frame(m_detent_value, m_frames))
        m_velocity *= detent_damping;

    if (!m_inertia_enabled) {
        // Direct drag: the knob follows the pointer.
        m_velocity = d;
        m_value += m_velocity;
    } else {
        // No vertical movement leaves value and velocity alone.
        if (d == 0.0f)
            return;
        // A reversal starts again from rest.
        if ((d < 0.0f && m_velocity > 0.0f) || (d > 0.0f && m_velocity < 0.0f))
            m_velocity = 0.0f;
        if (std::fabs(d) > std::fabs(m_velocity)) {
            // Accelerate by a share of the gap.
            m_velocity = m_velocity + (d - m_velocity) * m_inertia_coefficient;
        } else {
            // Slowing down follows the pointer at once.
            m_velocity = d;
        }
        m_value += m_velocity;
    }

    if (m_value > max_value)
        m_value = max_value;
    else if (m_value < 0.0f)
        m_value = 0.0f;
}

void CRotaryControlObject::step_control(int step)
{
    if (step < -1 || step > 1 || m_frames < 2)
        return;
    int frame = film_strip_frame(m_value, m_frames) + step;
    if (frame >= m_frames)
        frame = m_frames - 1;
    if (frame < 0)
        frame = 0;
    m_value = static_cast<float>(frame) / static_cast<float>(m_frames - 1) * max_value;
}

void CRotaryControlObject::get_invalid_area(int* x, int* y, int* w, int* h) const
{
    *x = m_offset_x + get_rotary_control_update_x();
    *y = m_offset_y + get_rotary_control_update_y();
    *w = m_size_x;
    *h = m_size_y;
}

void CRotaryControlObject::queue_rotary_control(int window)
{
    if (!m_engine)
        return;
    int x, y, w, h;
    get_invalid_area(&x, &y, &w, &h);
    m_engine->afx_queue_afx_draw_area_fixed(window, x, y, w, h);
}

void CRotaryControlObject::undraw_rotary_control(afx_pixbuf* target)
{
    const int px = get_rotary_control_update_x();
    const int py = get_rotary_control_update_y();
    ze710_widgets::copy_block(m_panel, target, px, py, px + m_offset_x, py + m_offset_y, m_size_x,
                              m_size_y);
}

int CRotaryControlObject::strip_row() const
{
    return film_strip_frame(m_value, m_frames) * m_size_y;
}

void CRotaryControlObject::combine_frame(afx_pixbuf* target, int row)
{
    ze710_widgets::combine_block(m_strip, target, 0, row,
                                 m_offset_x + get_rotary_control_update_x(),
                                 m_offset_y + get_rotary_control_update_y(), m_size_x, m_size_y);
}

void CRotaryControlObject::draw_rotary_control(afx_pixbuf* target)
{
    const int row = strip_row();
    m_last_source_row = row;
    combine_frame(target, row);
}

bool CRotaryControlObject::redraw_rotary_control(afx_pixbuf* target)
{
    const int row = strip_row();
    if (row == m_last_source_row)
        return false;
    undraw_rotary_control(target);
    combine_frame(target, row);
    m_last_source_row = row;
    return true;
}
