#include "clap/clap_outbox.h"

bool ClapOutbox::push(Kind kind, clap_id param, double value)
{
    std::lock_guard<std::mutex> lock(producer_mutex);
    const uint32_t at = head.load(std::memory_order_relaxed);
    const uint32_t used = at - tail.load(std::memory_order_acquire);
    const uint32_t room = kCapacity - used;
    if (room == 0 || (kind == kValue && room <= kGestureReserve))
        return false;
    entries[at % kCapacity] = {kind, param, value};
    head.store(at + 1, std::memory_order_release);
    return true;
}

void ClapOutbox::drain(const clap_output_events_t* out)
{
    if (!out || !out->try_push)
        return;
    uint32_t at = tail.load(std::memory_order_relaxed);
    const uint32_t end = head.load(std::memory_order_acquire);
    if (at == end)
        return;
    for (; at != end; ++at) {
        const Entry& e = entries[at % kCapacity];
        bool taken;
        if (e.kind == kValue) {
            clap_event_param_value_t ev{};
            ev.header = {sizeof ev, 0, CLAP_CORE_EVENT_SPACE_ID, kValue, 0};
            ev.param_id = e.param;
            ev.note_id = -1;
            ev.port_index = ev.channel = ev.key = -1;
            ev.value = e.value;
            taken = out->try_push(out, &ev.header);
        } else {
            clap_event_param_gesture_t ev{};
            ev.header = {sizeof ev, 0, CLAP_CORE_EVENT_SPACE_ID, e.kind, 0};
            ev.param_id = e.param;
            taken = out->try_push(out, &ev.header);
        }
        if (!taken)
            break;
    }
    tail.store(at, std::memory_order_release);
}
