// CEditorOutbox: calls to a host that the host wants on a thread of its own
// (its UI thread), made by the editor's input handlers on the GUI thread and
// kept here until the host's thread collects them (LV2 idle, a VST3 run-loop
// timer). A format's adapter owns one and says what a call is.
//
// Any thread. One mutex, a leaf: never held while a call is handed on, so
// the host may answer a call at once with a call into the adapter.
#pragma once

#include <mutex>

template <typename Call, int Capacity>
class CEditorOutbox {
public:
    // Queues a call, or makes it replace the last one queued when
    // replaces(last, call) says it is a newer form of it (a later value of
    // the same parameter). A full outbox drops the call.
    template <typename Replaces>
    void push(const Call& call, Replaces replaces)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (count > 0 && replaces(calls[count - 1], call)) {
            calls[count - 1] = call;
            return;
        }
        if (count < Capacity)
            calls[count++] = call;
    }

    // Takes every queued call and hands each on, in order, outside the lock.
    template <typename Deliver>
    void drain(Deliver deliver)
    {
        Call taken[Capacity];
        int taken_count;
        {
            std::lock_guard<std::mutex> lock(mutex);
            taken_count = count;
            for (int i = 0; i < count; ++i)
                taken[i] = calls[i];
            count = 0;
        }
        for (int i = 0; i < taken_count; ++i)
            deliver(taken[i]);
    }

private:
    std::mutex mutex;
    Call calls[Capacity];  // mutex
    int count = 0;         // mutex
};
