#pragma once
// Scoped holders for the engine's pthread mutexes (internal to gui_engine/).

#include <pthread.h>

// Holds a normal mutex for a scope.
class afx_lock_guard {
public:
    explicit afx_lock_guard(pthread_mutex_t* mutex) : m_mutex(mutex) { pthread_mutex_lock(m_mutex); }
    ~afx_lock_guard() { pthread_mutex_unlock(m_mutex); }
    afx_lock_guard(const afx_lock_guard&) = delete;
    afx_lock_guard& operator=(const afx_lock_guard&) = delete;

private:
    pthread_mutex_t* m_mutex;
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
