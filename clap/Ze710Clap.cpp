// Ze710Clap: lifecycle, audio and parameters. State is Ze710Clap_state.cpp,
// the editor Ze710Clap_gui.cpp.
#include "clap/Ze710Clap.h"

#include <cstring>

#include "editor/CEditorGUI.h"
#include "model/eq_driver.h"

namespace {

bool bit_set(uint32_t bits, int slot) { return (bits >> slot) & 1u; }

}  // namespace

// The host's parameter events within one block, as eq_process_events reads
// them: value events of the core space for our ids with finite values; the
// rest is passed over.
class Ze710Clap::EventCursor final : public EqEventCursor {
public:
    EventCursor(Ze710Clap& fx, const clap_input_events_t* in, bool engine)
        : fx(fx), in(in && in->size && in->get ? in : nullptr), count(this->in ? in->size(in) : 0), engine(engine)
    {
    }

    long next_frame() override
    {
        for (; at < count; ++at) {
            const clap_event_header_t* h = in->get(in, at);
            if (!h || h->space_id != CLAP_CORE_EVENT_SPACE_ID || h->type != CLAP_EVENT_PARAM_VALUE ||
                h->size < sizeof(clap_event_param_value_t))
                continue;
            const auto* e = reinterpret_cast<const clap_event_param_value_t*>(h);
            slot = clap_slot_of(e->param_id);
            if (clap_plain_in_range(slot, e->value, &value))
                return static_cast<long>(h->time);
        }
        return kNoEvent;
    }

    void apply_next(CLFx&) override
    {
        if (next_frame() == kNoEvent)
            return;
        fx.apply_host_value(slot, value, engine);
        ++at;
    }

private:
    Ze710Clap& fx;
    const clap_input_events_t* in;
    uint32_t count;
    uint32_t at = 0;
    bool engine;
    int slot = -1;  // of the event at `at`, once next_frame found it
    float value = 0.0f;
};

// ---- life (main thread) -------------------------------------------------------------

Ze710Clap::Ze710Clap(const clap_host_t* host, const clap_plugin_t& functions)
    : plugin(functions), host(host), main_thread(pthread_self())
{
    plugin.desc = &ze710_clap_descriptor;
    plugin.plugin_data = this;
    for (int slot = 0; slot < kClapNumSlots; ++slot)
        plain[slot].store(clap_plain_of(slot, slot == kClapBypassSlot ? 0.0f : bank.value(slot)));
    // Until activation gives the rate; only the engine's settled start counts.
    eq_prime(dsp, 48000.0f);
    editor_gui = new CEditorGUI(this);
}

Ze710Clap::~Ze710Clap()
{
    delete editor_gui;
}

bool Ze710Clap::init()
{
    auto extension = [this](const char* id) { return host->get_extension ? host->get_extension(host, id) : nullptr; };
    host_params = static_cast<const clap_host_params_t*>(extension(CLAP_EXT_PARAMS));
    host_gui = static_cast<const clap_host_gui_t*>(extension(CLAP_EXT_GUI));
    host_state = static_cast<const clap_host_state_t*>(extension(CLAP_EXT_STATE));
    host_timers = static_cast<const clap_host_timer_support_t*>(extension(CLAP_EXT_TIMER_SUPPORT));
    if (host_timers && (!host_timers->register_timer || !host_timers->unregister_timer))
        host_timers = nullptr;
    return true;
}

void Ze710Clap::destroy()
{
    stop_main_thread_timer();
    {
        std::lock_guard<std::mutex> lock(host_call_mutex);
        retiring = true;
    }
    editor_gui->retire(dispose, this);
}

void Ze710Clap::dispose(void* self)
{
    delete static_cast<Ze710Clap*>(self);
}

bool Ze710Clap::activate(double rate_hz)
{
    const float rate = static_cast<float>(rate_hz);
    if (!eq_sample_rate_ok(rate))
        return false;
    // Taken first: a change made while the values are read is handed on
    // again by the first block.
    to_engine.exchange(0);
    float values[kEqNumSoundParams];
    for (int slot = 0; slot < kEqNumSoundParams; ++slot)
        values[slot] = eq_engine_value_of_physical(slot, plain[slot].load());
    if (plain[kClapBypassSlot].load() > 0.5f)
        values[kEqEffect] = 0.0f;
    eq_start(dsp, rate, values);
    active.store(true);
    return true;
}

void Ze710Clap::deactivate()
{
    active.store(false);
}

void Ze710Clap::on_main_thread()
{
    sync_from_engine();
    const uint64_t size = wanted_size.exchange(0);
    if (size && host_gui && host_gui->request_resize)
        host_gui->request_resize(host, static_cast<uint32_t>(size >> 32), static_cast<uint32_t>(size));
    if (state_dirty.exchange(false) && host_state && host_state->mark_dirty)
        host_state->mark_dirty(host);
}

void Ze710Clap::sync_from_engine()
{
    const uint32_t changed = from_engine.exchange(0);
    for (int slot = 0; slot < kEqNumSoundParams; ++slot)
        if (bit_set(changed, slot))
            bank.set_value(slot, clap_normalised_of(slot, plain[slot].load()));
}

// ---- audio ---------------------------------------------------------------------------

void Ze710Clap::apply_host_value(int slot, float plain_value, bool engine)
{
    plain[slot].store(plain_value);
    if (engine)
        hand_to_engine(slot);
    // The editor's notifications are lock-free and never wait: the knobs
    // follow from here, whether or not the host calls its main thread back.
    if (slot == kClapBypassSlot)
        editor_gui->setHostEffEnable(plain_value > 0.5f ? 0.0f : 1.0f);
    else
        editor_gui->setParameter(slot, clap_normalised_of(slot, plain_value));
    // The current program follows on the main thread; one call for a run
    // of changes, the main thread takes them all.
    if (slot < kEqNumSoundParams && from_engine.fetch_or(1u << slot) == 0 && engine && host->request_callback)
        host->request_callback(host);
}

void Ze710Clap::hand_to_engine(int slot)
{
    if (slot == kEqEffect || slot == kClapBypassSlot) {
        const bool bypassed = plain[kClapBypassSlot].load() > 0.5f;
        eq_apply(dsp, kEqEffect, bypassed ? 0.0f : eq_engine_value_of_physical(kEqEffect, plain[kEqEffect].load()));
    } else {
        eq_apply(dsp, slot, eq_engine_value_of_physical(slot, plain[slot].load()));
    }
}

void Ze710Clap::take_changes_for_engine()
{
    // A plain load first: most blocks have nothing to take, and the
    // exchange is a locked instruction.
    if (to_engine.load(std::memory_order_relaxed) == 0)
        return;
    const uint32_t changed = to_engine.exchange(0);
    for (int slot = 0; slot < kClapNumSlots; ++slot)
        if (bit_set(changed, slot))
            hand_to_engine(slot);
}

void Ze710Clap::stop_processing()
{
    dsp.lx_clear();
}

void Ze710Clap::reset()
{
    dsp.lx_clear();
}

clap_process_status Ze710Clap::process(const clap_process_t* p)
{
    if (!p)
        return CLAP_PROCESS_ERROR;
    take_changes_for_engine();
    outbox.drain(p->out_events);

    const long frames = static_cast<long>(p->frames_count);
    const clap_audio_buffer_t* in = p->audio_inputs_count > 0 ? p->audio_inputs : nullptr;
    const clap_audio_buffer_t* out = p->audio_outputs_count > 0 ? p->audio_outputs : nullptr;
    const bool audio = in && out && in->data32 && out->data32 && in->channel_count >= 2 &&
                       out->channel_count >= 2 && in->data32[0] && in->data32[1] && out->data32[0] &&
                       out->data32[1];
    EventCursor events(*this, p->in_events, true);
    if (!audio) {
        // The parameter changes still count; there is no audio to make.
        eq_process_events(dsp, nullptr, nullptr, nullptr, nullptr, 0, events);
        return frames == 0 ? CLAP_PROCESS_CONTINUE : CLAP_PROCESS_ERROR;
    }
    eq_process_events(dsp, in->data32[0], in->data32[1], out->data32[0], out->data32[1], frames, events);
    return CLAP_PROCESS_CONTINUE;
}

// ---- parameters ---------------------------------------------------------------------------

bool Ze710Clap::get_value(clap_id id, double* out) const
{
    const int slot = clap_slot_of(id);
    if (slot < 0 || !out)
        return false;
    *out = plain[slot].load();
    return true;
}

void Ze710Clap::flush(const clap_input_events_t* in, const clap_output_events_t* out)
{
    const bool engine = active.load();
    if (engine)
        take_changes_for_engine();
    EventCursor events(*this, in, engine);
    while (events.next_frame() != EqEventCursor::kNoEvent)
        events.apply_next(dsp);
    outbox.drain(out);
    // Inactive, the host calls from its main thread: the bank follows at once.
    if (!engine)
        sync_from_engine();
}

static_assert(kClapNumSlots <= 32, "slot bits fit a word");
