#include "widgets/CFrontPanelObject.h"

#include "widgets/widget_paint.h"

CFrontPanelObject::CFrontPanelObject(AFX_engine* engine) : m_engine(engine) {}

void CFrontPanelObject::draw_front_panel(afx_pixbuf* target)
{
    ze710_widgets::copy_block(m_panel, target, 0, 0, m_offset_x, m_offset_y, m_width, m_height);
}
