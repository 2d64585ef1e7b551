#pragma once
// Scoped holders for the engine's pthread mutexes (internal to gui_engine/).

#include "gui_engine/AFX_engine.h"

#include <pthread.h>

// Holds the engine's display mutex for a scope. Released on a thread other
// than the event thread, it wakes the loop (AFX_engine::afx_unlock_display).
class afx_display_guard {
public:
    explicit afx_display_guard(AFX_engine* engine) : m_engine(engine) { m_engine->afx_lock_display(); }
    ~afx_display_guard() { m_engine->afx_unlock_display(); }
    afx_display_guard(const afx_display_guard&) = delete;
    afx_display_guard& operator=(const afx_display_guard&) = delete;

private:
    AFX_engine* m_engine;
};

// Holds the error-checking procs mutex unless the calling thread already
// does (the lock then fails with EDEADLK): an expose or gui update callback
// that destroys a window runs inside the redraw pass or the timers, which
// hold it. Only a lock actually taken is released.
class afx_procs_guard {
public:
    explicit afx_procs_guard(pthread_mutex_t* mutex)
        : m_mutex(mutex), m_taken(pthread_mutex_lock(mutex) == 0)
    {
    }
    ~afx_procs_guard()
    {
        if (m_taken)
            pthread_mutex_unlock(m_mutex);
    }
    afx_procs_guard(const afx_procs_guard&) = delete;
    afx_procs_guard& operator=(const afx_procs_guard&) = delete;

private:
    pthread_mutex_t* m_mutex;
    bool m_taken;
};
