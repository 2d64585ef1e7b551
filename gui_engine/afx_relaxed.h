#pragma once
// A word that several threads read and write without a lock (window record
// fields, callback slots, flags). Relaxed atomic loads and stores: no ordering
// is implied; where ordering matters the display mutex provides it.

#include <atomic>

template <typename T>
class afx_relaxed {
public:
    afx_relaxed() : m_value(T{}) {}
    afx_relaxed(T value) : m_value(value) {}
    afx_relaxed(const afx_relaxed&) = delete;
    afx_relaxed& operator=(const afx_relaxed&) = delete;

    operator T() const { return m_value.load(std::memory_order_relaxed); }
    afx_relaxed& operator=(T value)
    {
        m_value.store(value, std::memory_order_relaxed);
        return *this;
    }

private:
    std::atomic<T> m_value;
};
