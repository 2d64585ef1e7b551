/* Realtime-safety probe, preloaded (LD_PRELOAD) into the tests that measure
 * the audio thread, and into no others.
 *
 * It interposes allocation, the POSIX locks, waits and sleeps, blocking I/O
 * and polling, syscall() and stdio output. Each forwards to the real
 * function; while the calling thread is inside a region opened with
 * ze710_rt_enter() (a thread-local depth: other threads are never counted)
 * the call is also counted under its name.
 *
 * The hooks allocate, lock and print nothing. Allocation forwards to the C
 * library's __libc_* entry points; every other real function is looked up
 * in the constructor, before main, on the only thread there is then (or by
 * the first hook that some library's own initialiser calls even earlier).
 * Looked up lazily, dlsym could run on a thread that needs the loader's lock
 * while another holds it (dlclose waiting for the plug-in's GUI thread): a hang.
 *
 * Built only without sanitizers, whose runtimes interpose the same functions. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

/* Forwarded as they are: return type, name, parameters, arguments. */
#define FORWARDED(X)                                                                                     \
    X(int, pthread_mutex_lock, (pthread_mutex_t * m), (m))                                               \
    X(int, pthread_mutex_trylock, (pthread_mutex_t * m), (m))                                            \
    X(int, pthread_mutex_timedlock, (pthread_mutex_t * m, const struct timespec* t), (m, t))             \
    X(int, pthread_cond_wait, (pthread_cond_t * c, pthread_mutex_t* m), (c, m))                          \
    X(int, pthread_cond_timedwait, (pthread_cond_t * c, pthread_mutex_t* m, const struct timespec* t), (c, m, t)) \
    X(int, pthread_rwlock_rdlock, (pthread_rwlock_t * l), (l))                                           \
    X(int, pthread_rwlock_wrlock, (pthread_rwlock_t * l), (l))                                           \
    X(int, sem_wait, (sem_t * s), (s))                                                                   \
    X(int, nanosleep, (const struct timespec* t, struct timespec* r), (t, r))                            \
    X(int, clock_nanosleep, (clockid_t c, int f, const struct timespec* t, struct timespec* r), (c, f, t, r)) \
    X(int, usleep, (useconds_t us), (us))                                                                \
    X(int, sched_yield, (void), ())                                                                      \
    X(ssize_t, read, (int fd, void* b, size_t n), (fd, b, n))                                            \
    X(ssize_t, write, (int fd, const void* b, size_t n), (fd, b, n))                                     \
    X(int, poll, (struct pollfd * f, nfds_t n, int t), (f, n, t))                                        \
    X(int, select, (int n, fd_set* r, fd_set* w, fd_set* e, struct timeval* t), (n, r, w, e, t))         \
    X(FILE*, fopen, (const char* p, const char* m), (p, m))                                              \
    X(size_t, fwrite, (const void* p, size_t s, size_t n, FILE* f), (p, s, n, f))                        \
    X(int, fputs, (const char* s, FILE* f), (s, f))                                                      \
    X(int, puts, (const char* s), (s))
/* Counted under their own names, forwarded by hand below. */
#define BY_HAND(X) X(malloc) X(calloc) X(realloc) X(free) X(posix_memalign) X(aligned_alloc) X(printf) X(fprintf) X(syscall)

#define KIND(ret, name, ...) K_##name,
#define HAND_KIND(name) K_##name,
#define NAME(ret, name, ...) #name,
#define HAND_NAME(name) #name,
enum { FORWARDED(KIND) BY_HAND(HAND_KIND) K_COUNT };
static const char* const names[K_COUNT] = {FORWARDED(NAME) BY_HAND(HAND_NAME)};
static unsigned long counts[K_COUNT];
static __thread int depth __attribute__((tls_model("initial-exec")));
#define NOTE(kind) (void)(depth > 0 && __atomic_fetch_add(&counts[kind], 1, __ATOMIC_RELAXED))

EXPORT void ze710_rt_enter(void) { ++depth; }
EXPORT void ze710_rt_leave(void) { --depth; }
EXPORT void ze710_rt_reset(void) { memset(counts, 0, sizeof counts); }

/* Count of one hooked function by name; -1 for a name that is not hooked. */
EXPORT long ze710_rt_count_of(const char* name)
{
    for (int i = 0; i < K_COUNT; ++i)
        if (strcmp(names[i], name) == 0)
            return (long)__atomic_load_n(&counts[i], __ATOMIC_RELAXED);
    return -1;
}

/* "name=count" for every non-zero count, blank-separated; returns their sum. */
EXPORT unsigned long ze710_rt_report(char* buf, size_t size)
{
    unsigned long total = 0;
    size_t used = 0;
    buf[0] = 0;
    for (int i = 0; i < K_COUNT; ++i) {
        const unsigned long n = __atomic_load_n(&counts[i], __ATOMIC_RELAXED);
        total += n;
        if (n && used + 1 < size)
            used += (size_t)snprintf(buf + used, size - used, "%s%s=%lu", used ? " " : "", names[i], n);
    }
    return total;
}

static void resolve(void);
#define REAL(name) (real_##name ? real_##name : (resolve(), real_##name))
#define DEFINE(ret, name, params, args)                                                                  \
    static ret(*real_##name) params;                                                                     \
    EXPORT ret name params                                                                               \
    {                                                                                                    \
        NOTE(K_##name);                                                                                  \
        return REAL(name) args;                                                                          \
    }
FORWARDED(DEFINE)
static int (*real_vprintf)(const char*, va_list);
static int (*real_vfprintf)(FILE*, const char*, va_list);
static long (*real_syscall)(long, ...);

__attribute__((constructor)) static void resolve(void)
{
#define RESOLVE(ret, name, params, args) real_##name = (ret(*) params)dlsym(RTLD_NEXT, #name);
    FORWARDED(RESOLVE)
    RESOLVE(int, vprintf, (const char*, va_list), )
    RESOLVE(int, vfprintf, (FILE*, const char*, va_list), )
    RESOLVE(long, syscall, (long, ...), )
}

extern void* __libc_malloc(size_t);
extern void* __libc_calloc(size_t, size_t);
extern void* __libc_realloc(void*, size_t);
extern void __libc_free(void*);
extern void* __libc_memalign(size_t, size_t);

EXPORT void* malloc(size_t n) { return NOTE(K_malloc), __libc_malloc(n); }
EXPORT void* calloc(size_t n, size_t size) { return NOTE(K_calloc), __libc_calloc(n, size); }
EXPORT void* realloc(void* p, size_t n) { return NOTE(K_realloc), __libc_realloc(p, n); }
EXPORT void free(void* p) { NOTE(K_free), __libc_free(p); }
EXPORT void* aligned_alloc(size_t align, size_t n) { return NOTE(K_aligned_alloc), __libc_memalign(align, n); }
EXPORT int posix_memalign(void** out, size_t align, size_t n)
{
    NOTE(K_posix_memalign);
    if (align == 0 || (align & (align - 1)) != 0 || align % sizeof(void*) != 0)
        return EINVAL;
    return (*out = __libc_memalign(align, n)) ? 0 : ENOMEM;
}

/* futex and every other raw system call a library makes through syscall(). */
EXPORT long syscall(long number, ...)
{
    va_list ap;
    long a[6];
    NOTE(K_syscall);
    va_start(ap, number);
    for (int i = 0; i < 6; ++i)
        a[i] = va_arg(ap, long);
    va_end(ap);
    return REAL(syscall)(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

/* printf and fprintf, and the fortified forms that -D_FORTIFY_SOURCE builds call. */
#define PRINT(kind, call) \
    va_list ap;           \
    NOTE(kind);           \
    va_start(ap, format); \
    const int n = call;   \
    va_end(ap);           \
    return n;
EXPORT int printf(const char* format, ...) { PRINT(K_printf, REAL(vprintf)(format, ap)) }
EXPORT int fprintf(FILE* f, const char* format, ...) { PRINT(K_fprintf, REAL(vfprintf)(f, format, ap)) }
EXPORT int __printf_chk(int flag, const char* format, ...) { (void)flag; PRINT(K_printf, REAL(vprintf)(format, ap)) }
EXPORT int __fprintf_chk(FILE* f, int flag, const char* format, ...) { (void)flag; PRINT(K_fprintf, REAL(vfprintf)(f, format, ap)) }
