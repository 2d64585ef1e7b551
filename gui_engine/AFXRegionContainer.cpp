#include "gui_engine/AFXRegionContainer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr int32_t first_capacity = 8;

// Inclusive on every edge: equal rectangles contain each other.
bool contains(const AFXRect& outer, const AFXRect& inner)
{
    return outer.left <= inner.left && inner.right <= outer.right && outer.top <= inner.top &&
           inner.bottom <= outer.bottom;
}

bool disjoint(const AFXRect& a, const AFXRect& b)
{
    return a.right <= b.left || b.right <= a.left || a.bottom <= b.top || a.top >= b.bottom;
}

} // namespace

AFXRegionContainer::~AFXRegionContainer()
{
    delete[] m_data;
}

int AFXRegionContainer::size() const
{
    return m_data ? m_count : 0;
}

int AFXRegionContainer::capacity() const
{
    return m_capacity;
}

AFXRect* AFXRegionContainer::regions()
{
    return m_data;
}

AFXRect AFXRegionContainer::sanitize(AFXRect r)
{
    if (r.bottom < r.top)
        std::swap(r.top, r.bottom);
    if (r.right < r.left)
        std::swap(r.left, r.right);
    return r;
}

void AFXRegionContainer::push_back(AFXRect r)
{
    if (m_count == m_capacity) {
        const int32_t grown = m_capacity == 0 ? first_capacity : m_capacity * 2;
        AFXRect* data = new AFXRect[grown];
        if (m_count > 0)
            std::memcpy(data, m_data, sizeof(AFXRect) * static_cast<size_t>(m_count));
        delete[] m_data;
        m_data = data;
        m_capacity = grown;
    }
    m_data[m_count++] = r;
}

AFXRect AFXRegionContainer::pop_back()
{
    if (m_count <= 0 || !m_data)
        return AFXRect{0, 0, 0, 0};
    return m_data[--m_count];
}

int AFXRegionContainer::erase(int i)
{
    if (i < 0 || i >= m_count)
        return i;
    std::memmove(m_data + i, m_data + i + 1, sizeof(AFXRect) * static_cast<size_t>(m_count - i - 1));
    --m_count;
    return i;
}

void AFXRegionContainer::swap(AFXRegionContainer& other)
{
    std::swap(m_count, other.m_count);
    std::swap(m_capacity, other.m_capacity);
    std::swap(m_data, other.m_data);
}

void AFXRegionContainer::shrink()
{
    delete[] m_data;
    m_data = nullptr;
    m_count = 0;
    m_capacity = 0;
}

void AFXRegionContainer::add(AFXRect r)
{
    const AFXRect n = sanitize(r);
    if (n.empty())
        return;
    if (!m_data) {
        push_back(n);
        return;
    }

    int i = 0;
    while (i < m_count) {
        const AFXRect e = m_data[i];
        if (e.empty()) {
            ++i;
            continue;
        }
        if (contains(e, n))
            return;
        if (contains(n, e)) {
            erase(i);
            continue;
        }
        if (disjoint(n, e)) {
            ++i;
            continue;
        }
        // Keep the parts of e outside n. The pieces go to the end of the list,
        // lie outside n and are passed over when the walk reaches them.
        if (n.top > e.top)
            push_back(AFXRect{e.top, e.left, n.top, e.right});
        if (n.bottom < e.bottom)
            push_back(AFXRect{n.bottom, e.left, e.bottom, e.right});
        const int32_t middle_top = std::max(e.top, n.top);
        const int32_t middle_bottom = std::min(e.bottom, n.bottom);
        if (e.left < n.left)
            push_back(AFXRect{middle_top, e.left, middle_bottom, n.left});
        if (n.right < e.right)
            push_back(AFXRect{middle_top, n.right, middle_bottom, e.right});
        erase(i);
    }
    push_back(n);
}
