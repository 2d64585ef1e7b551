// The realtime-safety probe (rt_shim.c) as a test sees it. The shim is
// preloaded into the test process by ctest in sanitizer-free builds; its
// entry points are found at run time, so the same test binary also runs
// without it (under the sanitizers, whose runtimes own malloc and the
// pthread calls) and then only reports that nothing was counted.
#pragma once

#include <dlfcn.h>

#include <string>

namespace ze710test {

class RtProbe {
public:
    RtProbe()
    {
        enter_fn = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "ze710_rt_enter"));
        leave_fn = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "ze710_rt_leave"));
        total_fn = reinterpret_cast<unsigned long (*)()>(dlsym(RTLD_DEFAULT, "ze710_rt_total"));
        reset_fn = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "ze710_rt_reset"));
        count_fn = reinterpret_cast<long (*)(const char*)>(dlsym(RTLD_DEFAULT, "ze710_rt_count_of"));
        report_fn = reinterpret_cast<void (*)(char*, size_t)>(dlsym(RTLD_DEFAULT, "ze710_rt_report"));
        if (!(enter_fn && leave_fn && total_fn && reset_fn && count_fn && report_fn))
            enter_fn = leave_fn = nullptr;
    }

    bool loaded() const { return enter_fn != nullptr; }

    // Opens and closes the counted region on the calling thread. No-ops
    // without the shim; cheap enough to sit around every process call.
    void enter() const
    {
        if (enter_fn)
            enter_fn();
    }
    void leave() const
    {
        if (leave_fn)
            leave_fn();
    }

    unsigned long total() const { return loaded() ? total_fn() : 0; }
    void reset() const
    {
        if (loaded())
            reset_fn();
    }
    // Count of one hooked function by name, -1 when it is not hooked.
    long count_of(const char* name) const { return loaded() ? count_fn(name) : -1; }
    // "name=count ..." for every non-zero count.
    std::string report() const
    {
        if (!loaded())
            return "probe not loaded";
        char buf[1024];
        report_fn(buf, sizeof buf);
        return buf[0] ? buf : "none";
    }

private:
    void (*enter_fn)() = nullptr;
    void (*leave_fn)() = nullptr;
    unsigned long (*total_fn)() = nullptr;
    void (*reset_fn)() = nullptr;
    long (*count_fn)(const char*) = nullptr;
    void (*report_fn)(char*, size_t) = nullptr;
};

// Scoped region: everything the calling thread does inside is counted.
class RtRegion {
public:
    explicit RtRegion(const RtProbe& p) : probe(p) { probe.enter(); }
    ~RtRegion() { probe.leave(); }
    RtRegion(const RtRegion&) = delete;
    RtRegion& operator=(const RtRegion&) = delete;

private:
    const RtProbe& probe;
};

}  // namespace ze710test
