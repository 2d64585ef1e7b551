/* Realtime-safety probe, loaded with LD_PRELOAD in front of the C library.
 *
 * It interposes the allocation functions, the POSIX mutex, condition,
 * read-write-lock and semaphore waits, the sleeps, the blocking file and
 * polling calls, syscall() and the stdio output calls. Each forwards to the
 * real function; while the calling thread is inside a region opened with
 * ze710_rt_enter() (a thread-local depth, so other threads are never
 * counted) the call is also counted under its name. A test opens the region
 * around processReplacing and expects every count to stay zero.
 *
 * The hooks themselves allocate nothing, lock nothing and print nothing: the
 * counters are relaxed atomics and the allocation functions forward to the
 * C library's __libc_* entry points, so no dlsym call (which may allocate)
 * sits on the allocation path. The other functions are looked up once with
 * dlsym(RTLD_NEXT) on first use.
 *
 * Built only into sanitizer-free test builds: the sanitizer runtimes insist
 * on interposing the same functions themselves. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

/* ---- counters -------------------------------------------------------------- */

enum {
#define HOOK(name) K_##name,
#include "rt_shim_hooks.def"
#undef HOOK
    K_COUNT
};

static const char* const kHookNames[K_COUNT] = {
#define HOOK(name) #name,
#include "rt_shim_hooks.def"
#undef HOOK
};

static unsigned long counts[K_COUNT];
static __thread int rt_depth __attribute__((tls_model("initial-exec")));

static inline void note(int kind)
{
    if (__builtin_expect(rt_depth > 0, 0))
        __atomic_fetch_add(&counts[kind], 1, __ATOMIC_RELAXED);
}

EXPORT void ze710_rt_enter(void) { ++rt_depth; }
EXPORT void ze710_rt_leave(void) { --rt_depth; }

EXPORT unsigned long ze710_rt_total(void)
{
    unsigned long total = 0;
    for (int i = 0; i < K_COUNT; ++i)
        total += __atomic_load_n(&counts[i], __ATOMIC_RELAXED);
    return total;
}

EXPORT void ze710_rt_reset(void)
{
    for (int i = 0; i < K_COUNT; ++i)
        __atomic_store_n(&counts[i], 0, __ATOMIC_RELAXED);
}

/* Count of one hooked function by name; -1 for a name that is not hooked. */
EXPORT long ze710_rt_count_of(const char* name)
{
    for (int i = 0; i < K_COUNT; ++i)
        if (strcmp(kHookNames[i], name) == 0)
            return (long)__atomic_load_n(&counts[i], __ATOMIC_RELAXED);
    return -1;
}

/* "name=count" for every non-zero count, blank-separated, into buf. */
EXPORT void ze710_rt_report(char* buf, size_t size)
{
    size_t used = 0;
    if (size == 0)
        return;
    buf[0] = 0;
    for (int i = 0; i < K_COUNT && used + 1 < size; ++i) {
        const unsigned long n = __atomic_load_n(&counts[i], __ATOMIC_RELAXED);
        if (n == 0)
            continue;
        int w = snprintf(buf + used, size - used, "%s%s=%lu", used ? " " : "", kHookNames[i], n);
        if (w < 0)
            break;
        used += (size_t)w;
    }
}

/* ---- allocation: straight to the C library's own entry points -------------- */

extern void* __libc_malloc(size_t);
extern void* __libc_calloc(size_t, size_t);
extern void* __libc_realloc(void*, size_t);
extern void __libc_free(void*);
extern void* __libc_memalign(size_t, size_t);
extern void* __libc_valloc(size_t);
extern void* __libc_pvalloc(size_t);

EXPORT void* malloc(size_t n)
{
    note(K_malloc);
    return __libc_malloc(n);
}

EXPORT void* calloc(size_t n, size_t size)
{
    note(K_calloc);
    return __libc_calloc(n, size);
}

EXPORT void* realloc(void* p, size_t n)
{
    note(K_realloc);
    return __libc_realloc(p, n);
}

EXPORT void free(void* p)
{
    note(K_free);
    __libc_free(p);
}

EXPORT int posix_memalign(void** out, size_t align, size_t n)
{
    note(K_posix_memalign);
    if (align == 0 || (align & (align - 1)) != 0 || align % sizeof(void*) != 0)
        return EINVAL;
    void* p = __libc_memalign(align, n);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}

EXPORT void* aligned_alloc(size_t align, size_t n)
{
    note(K_aligned_alloc);
    return __libc_memalign(align, n);
}

EXPORT void* memalign(size_t align, size_t n)
{
    note(K_memalign);
    return __libc_memalign(align, n);
}

EXPORT void* valloc(size_t n)
{
    note(K_valloc);
    return __libc_valloc(n);
}

EXPORT void* pvalloc(size_t n)
{
    note(K_pvalloc);
    return __libc_pvalloc(n);
}

/* ---- everything else: the next definition, found once ---------------------- */

static void* next_symbol(void** cache, const char* name)
{
    void* f = __atomic_load_n(cache, __ATOMIC_ACQUIRE);
    if (!f) {
        f = dlsym(RTLD_NEXT, name);
        __atomic_store_n(cache, f, __ATOMIC_RELEASE);
    }
    return f;
}

#define REAL(ret, name, params)                                   \
    static void* name##_cache;                                    \
    typedef ret(*name##_fn) params;                               \
    static inline name##_fn real_##name(void)                     \
    {                                                             \
        return (name##_fn)next_symbol(&name##_cache, #name);      \
    }

REAL(int, pthread_mutex_lock, (pthread_mutex_t*))
REAL(int, pthread_mutex_trylock, (pthread_mutex_t*))
REAL(int, pthread_mutex_unlock, (pthread_mutex_t*))
REAL(int, pthread_mutex_timedlock, (pthread_mutex_t*, const struct timespec*))
REAL(int, pthread_cond_wait, (pthread_cond_t*, pthread_mutex_t*))
REAL(int, pthread_cond_timedwait, (pthread_cond_t*, pthread_mutex_t*, const struct timespec*))
REAL(int, pthread_cond_signal, (pthread_cond_t*))
REAL(int, pthread_cond_broadcast, (pthread_cond_t*))
REAL(int, pthread_rwlock_rdlock, (pthread_rwlock_t*))
REAL(int, pthread_rwlock_wrlock, (pthread_rwlock_t*))
REAL(int, pthread_rwlock_unlock, (pthread_rwlock_t*))
REAL(int, pthread_spin_lock, (pthread_spinlock_t*))
REAL(int, pthread_join, (pthread_t, void**))
REAL(int, sem_wait, (sem_t*))
REAL(int, sem_timedwait, (sem_t*, const struct timespec*))
REAL(int, sem_post, (sem_t*))
REAL(int, nanosleep, (const struct timespec*, struct timespec*))
REAL(int, clock_nanosleep, (clockid_t, int, const struct timespec*, struct timespec*))
REAL(int, usleep, (useconds_t))
REAL(unsigned, sleep, (unsigned))
REAL(int, sched_yield, (void))
REAL(ssize_t, read, (int, void*, size_t))
REAL(ssize_t, write, (int, const void*, size_t))
REAL(int, open, (const char*, int, ...))
REAL(int, open64, (const char*, int, ...))
REAL(int, openat, (int, const char*, int, ...))
REAL(int, close, (int))
REAL(int, poll, (struct pollfd*, nfds_t, int))
REAL(int, ppoll, (struct pollfd*, nfds_t, const struct timespec*, const sigset_t*))
REAL(int, select, (int, fd_set*, fd_set*, fd_set*, struct timeval*))
REAL(int, pselect, (int, fd_set*, fd_set*, fd_set*, const struct timespec*, const sigset_t*))
REAL(int, epoll_wait, (int, struct epoll_event*, int, int))
REAL(void*, mmap, (void*, size_t, int, int, int, off_t))
REAL(int, munmap, (void*, size_t))
REAL(long, syscall, (long, ...))
REAL(FILE*, fopen, (const char*, const char*))
REAL(size_t, fwrite, (const void*, size_t, size_t, FILE*))
REAL(int, fputs, (const char*, FILE*))
REAL(int, puts, (const char*))
REAL(int, fflush, (FILE*))
REAL(int, vprintf, (const char*, va_list))
REAL(int, vfprintf, (FILE*, const char*, va_list))

EXPORT int pthread_mutex_lock(pthread_mutex_t* m)
{
    note(K_pthread_mutex_lock);
    return real_pthread_mutex_lock()(m);
}

EXPORT int pthread_mutex_trylock(pthread_mutex_t* m)
{
    note(K_pthread_mutex_trylock);
    return real_pthread_mutex_trylock()(m);
}

EXPORT int pthread_mutex_unlock(pthread_mutex_t* m)
{
    note(K_pthread_mutex_unlock);
    return real_pthread_mutex_unlock()(m);
}

EXPORT int pthread_mutex_timedlock(pthread_mutex_t* m, const struct timespec* t)
{
    note(K_pthread_mutex_timedlock);
    return real_pthread_mutex_timedlock()(m, t);
}

EXPORT int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m)
{
    note(K_pthread_cond_wait);
    return real_pthread_cond_wait()(c, m);
}

EXPORT int pthread_cond_timedwait(pthread_cond_t* c, pthread_mutex_t* m, const struct timespec* t)
{
    note(K_pthread_cond_timedwait);
    return real_pthread_cond_timedwait()(c, m, t);
}

EXPORT int pthread_cond_signal(pthread_cond_t* c)
{
    note(K_pthread_cond_signal);
    return real_pthread_cond_signal()(c);
}

EXPORT int pthread_cond_broadcast(pthread_cond_t* c)
{
    note(K_pthread_cond_broadcast);
    return real_pthread_cond_broadcast()(c);
}

EXPORT int pthread_rwlock_rdlock(pthread_rwlock_t* l)
{
    note(K_pthread_rwlock_rdlock);
    return real_pthread_rwlock_rdlock()(l);
}

EXPORT int pthread_rwlock_wrlock(pthread_rwlock_t* l)
{
    note(K_pthread_rwlock_wrlock);
    return real_pthread_rwlock_wrlock()(l);
}

EXPORT int pthread_rwlock_unlock(pthread_rwlock_t* l)
{
    note(K_pthread_rwlock_unlock);
    return real_pthread_rwlock_unlock()(l);
}

EXPORT int pthread_spin_lock(pthread_spinlock_t* l)
{
    note(K_pthread_spin_lock);
    return real_pthread_spin_lock()(l);
}

EXPORT int pthread_join(pthread_t t, void** result)
{
    note(K_pthread_join);
    return real_pthread_join()(t, result);
}

EXPORT int sem_wait(sem_t* s)
{
    note(K_sem_wait);
    return real_sem_wait()(s);
}

EXPORT int sem_timedwait(sem_t* s, const struct timespec* t)
{
    note(K_sem_timedwait);
    return real_sem_timedwait()(s, t);
}

EXPORT int sem_post(sem_t* s)
{
    note(K_sem_post);
    return real_sem_post()(s);
}

EXPORT int nanosleep(const struct timespec* t, struct timespec* rem)
{
    note(K_nanosleep);
    return real_nanosleep()(t, rem);
}

EXPORT int clock_nanosleep(clockid_t c, int flags, const struct timespec* t, struct timespec* rem)
{
    note(K_clock_nanosleep);
    return real_clock_nanosleep()(c, flags, t, rem);
}

EXPORT int usleep(useconds_t us)
{
    note(K_usleep);
    return real_usleep()(us);
}

EXPORT unsigned sleep(unsigned s)
{
    note(K_sleep);
    return real_sleep()(s);
}

EXPORT int sched_yield(void)
{
    note(K_sched_yield);
    return real_sched_yield()();
}

EXPORT ssize_t read(int fd, void* buf, size_t n)
{
    note(K_read);
    return real_read()(fd, buf, n);
}

EXPORT ssize_t write(int fd, const void* buf, size_t n)
{
    note(K_write);
    return real_write()(fd, buf, n);
}

static mode_t mode_arg(int flags, va_list ap)
{
    return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(ap, int) : 0;
}

EXPORT int open(const char* path, int flags, ...)
{
    note(K_open);
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_arg(flags, ap);
    va_end(ap);
    return real_open()(path, flags, mode);
}

EXPORT int open64(const char* path, int flags, ...)
{
    note(K_open);
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_arg(flags, ap);
    va_end(ap);
    return real_open64()(path, flags, mode);
}

EXPORT int openat(int dir, const char* path, int flags, ...)
{
    note(K_open);
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_arg(flags, ap);
    va_end(ap);
    return real_openat()(dir, path, flags, mode);
}

EXPORT int close(int fd)
{
    note(K_close);
    return real_close()(fd);
}

EXPORT int poll(struct pollfd* fds, nfds_t n, int timeout_ms)
{
    note(K_poll);
    return real_poll()(fds, n, timeout_ms);
}

EXPORT int ppoll(struct pollfd* fds, nfds_t n, const struct timespec* t, const sigset_t* mask)
{
    note(K_poll);
    return real_ppoll()(fds, n, t, mask);
}

EXPORT int select(int n, fd_set* r, fd_set* w, fd_set* e, struct timeval* t)
{
    note(K_select);
    return real_select()(n, r, w, e, t);
}

EXPORT int pselect(int n, fd_set* r, fd_set* w, fd_set* e, const struct timespec* t, const sigset_t* mask)
{
    note(K_select);
    return real_pselect()(n, r, w, e, t, mask);
}

EXPORT int epoll_wait(int fd, struct epoll_event* ev, int n, int timeout_ms)
{
    note(K_epoll_wait);
    return real_epoll_wait()(fd, ev, n, timeout_ms);
}

EXPORT void* mmap(void* addr, size_t n, int prot, int flags, int fd, off_t off)
{
    note(K_mmap);
    return real_mmap()(addr, n, prot, flags, fd, off);
}

EXPORT int munmap(void* addr, size_t n)
{
    note(K_munmap);
    return real_munmap()(addr, n);
}

/* futex and every other raw system call a library makes through syscall(). */
EXPORT long syscall(long number, ...)
{
    note(K_syscall);
    va_list ap;
    va_start(ap, number);
    long a[6];
    for (int i = 0; i < 6; ++i)
        a[i] = va_arg(ap, long);
    va_end(ap);
    return real_syscall()(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

EXPORT FILE* fopen(const char* path, const char* mode)
{
    note(K_fopen);
    return real_fopen()(path, mode);
}

EXPORT size_t fwrite(const void* p, size_t size, size_t n, FILE* f)
{
    note(K_stdio);
    return real_fwrite()(p, size, n, f);
}

EXPORT int fputs(const char* s, FILE* f)
{
    note(K_stdio);
    return real_fputs()(s, f);
}

EXPORT int puts(const char* s)
{
    note(K_stdio);
    return real_puts()(s);
}

EXPORT int fflush(FILE* f)
{
    note(K_stdio);
    return real_fflush()(f);
}

EXPORT int printf(const char* format, ...)
{
    note(K_stdio);
    va_list ap;
    va_start(ap, format);
    const int n = real_vprintf()(format, ap);
    va_end(ap);
    return n;
}

EXPORT int fprintf(FILE* f, const char* format, ...)
{
    note(K_stdio);
    va_list ap;
    va_start(ap, format);
    const int n = real_vfprintf()(f, format, ap);
    va_end(ap);
    return n;
}

/* The fortified forms that -D_FORTIFY_SOURCE builds call instead. */
EXPORT int __printf_chk(int flag, const char* format, ...)
{
    (void)flag;
    note(K_stdio);
    va_list ap;
    va_start(ap, format);
    const int n = real_vprintf()(format, ap);
    va_end(ap);
    return n;
}

EXPORT int __fprintf_chk(FILE* f, int flag, const char* format, ...)
{
    (void)flag;
    note(K_stdio);
    va_list ap;
    va_start(ap, format);
    const int n = real_vfprintf()(f, format, ap);
    va_end(ap);
    return n;
}
