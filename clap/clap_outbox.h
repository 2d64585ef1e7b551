// What the editor tells the host, waiting for the host's next process() or
// params.flush(): gesture begin, value and gesture end events, in the order
// they were made. CLAP only takes a plug-in's parameter events there.
//
// Threads: any number of producers (the editor's GUI thread; pushes are
// serialised by producer_mutex, which only producers take) and one consumer
// at a time (process() on the audio thread, or flush() on the audio or the
// main thread; the host never runs them concurrently). The consumer takes
// no lock and allocates nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "clap/clap_abi.h"

class ClapOutbox {
public:
    enum Kind : uint16_t {
        kBegin = CLAP_EVENT_PARAM_GESTURE_BEGIN,
        kValue = CLAP_EVENT_PARAM_VALUE,
        kEnd = CLAP_EVENT_PARAM_GESTURE_END,
    };
    static constexpr uint32_t kCapacity = 1024;  // events; a power of two
    // Slots only gesture events may take: a host that stops taking events
    // loses values of a long drag, never the end of a gesture.
    static constexpr uint32_t kGestureReserve = 64;

    // Producer. False, nothing queued, when there is no room.
    bool push(Kind kind, clap_id param, double value = 0.0);
    // Consumer: every queued event to `out` at frame 0, oldest first; what
    // the host refuses stays queued for the next call.
    void drain(const clap_output_events_t* out);

private:
    struct Entry {
        Kind kind;
        clap_id param;
        double value;  // kValue: the plain value
    };
    Entry entries[kCapacity];  // written by a producer at head, read by the consumer at tail
    std::atomic<uint32_t> head{0};  // free-running counters; count = head - tail
    std::atomic<uint32_t> tail{0};
    std::mutex producer_mutex;
};
