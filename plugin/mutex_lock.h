// Scoped lock for the effect's POSIX instance mutex.
#pragma once

#include <pthread.h>

class MutexLock {
public:
    explicit MutexLock(pthread_mutex_t& m) : m(m) { pthread_mutex_lock(&m); }
    ~MutexLock() { pthread_mutex_unlock(&m); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    pthread_mutex_t& m;
};
