#include "lv2/Ze710Lv2.h"

#include <sched.h>

#include <cmath>
#include <cstring>
#include <new>

#include "model/eq_driver.h"

namespace {

// A state restore or save that finds run() writing the slot tries again;
// run() writes once a period at most, so a few tries do.
constexpr int kSlotTries = 100000;

float clamp01(float v) { return v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : v); }

const LV2_URID_Map* find_map(const LV2_Feature* const* features)
{
    for (const LV2_Feature* const* f = features; f && *f; ++f)
        if (!std::strcmp((*f)->URI, LV2_URID__map))
            return static_cast<const LV2_URID_Map*>((*f)->data);
    return nullptr;
}

// The slot's bank, decoded; false when run() kept writing all along.
bool read_slot(const Lv2BankSlot& slot, EqBank* out, uint32_t* version)
{
    uint8_t bytes[eq_chunk::kBankBytes];
    for (int i = 0; i < kSlotTries; ++i) {
        if (slot.try_read(bytes, version))
            return eq_chunk_read_bank(bytes, sizeof bytes, out);
        sched_yield();
    }
    return false;
}

}  // namespace

Ze710Lv2* Ze710Lv2::create(double rate_hz, const LV2_Feature* const* features)
{
    const float rate = static_cast<float>(rate_hz);
    if (!eq_sample_rate_ok(rate))
        return nullptr;
    return new (std::nothrow) Ze710Lv2(rate, find_map(features));
}

Ze710Lv2::Ze710Lv2(float rate_hz, const LV2_URID_Map* map) : bank(eq_factory_bank())
{
    eq_prime(dsp, rate_hz);
    for (int p = 0; p < kEqNumParams; ++p) {
        applied[p] = folded[p] = eq_physical_of(p, eq_default_of(p));
        seen[p].store(applied[p], std::memory_order_relaxed);
    }
    if (urids.map_all(map))
        lv2_atom_forge_init(&forge, const_cast<LV2_URID_Map*>(map));
}

void Ze710Lv2::connect_port(uint32_t port, void* data)
{
    switch (port) {
    case kLv2InL:
    case kLv2InR: in[port - kLv2InL] = static_cast<const float*>(data); break;
    case kLv2OutL:
    case kLv2OutR: out[port - kLv2OutL] = static_cast<float*>(data); break;
    case kLv2Enabled: enabled_port = static_cast<const float*>(data); break;
    case kLv2ControlIn: control_in = static_cast<const LV2_Atom_Sequence*>(data); break;
    case kLv2NotifyOut: notify_out = static_cast<LV2_Atom_Sequence*>(data); break;
    default:
        if (port >= kLv2FirstControl && port < kLv2Enabled)
            control[port - kLv2FirstControl] = static_cast<const float*>(data);
        break;
    }
}

void Ze710Lv2::apply_ports()
{
    // Above 0 enabled, as lv2:enabled defines it (below 0 is reserved and
    // means bypassed today).
    bool effect_due = false;
    if (enabled_port && std::isfinite(*enabled_port)) {
        const float enable = *enabled_port > 0.0f ? 1.0f : 0.0f;
        effect_due = enable != host_enable;
        host_enable = enable;
    }
    // ui_size is the editor's alone: only the sound parameters.
    for (int p = 0; p < kEqNumSoundParams; ++p) {
        if (!control[p])
            continue;
        const float value = *control[p];
        if (value == applied[p] || !std::isfinite(value))
            continue;
        applied[p] = value;
        seen[p].store(value, std::memory_order_relaxed);
        if (p == kEqEffect)
            effect_due = true;
        else
            eq_apply(dsp, p, eq_engine_value_of_physical(p, value));
    }
    // As the VST 2 effect does with its host's bypass: the product of the
    // two switches.
    if (effect_due)
        eq_apply(dsp, kEqEffect, eq_engine_value_of_physical(kEqEffect, applied[kEqEffect]) * host_enable);
    if (control[kEqUiSize] && std::isfinite(*control[kEqUiSize]))
        applied[kEqUiSize] = *control[kEqUiSize];
}

void Ze710Lv2::activate()
{
    if (started)
        return;
    started = true;
    // As the VST 2 plug-in starts: values set, then the engine settled on
    // them (lx_init also clears the filter memories).
    apply_ports();
    dsp.lx_init();
}

void Ze710Lv2::deactivate()
{
    dsp.lx_clear();
}

void Ze710Lv2::run(uint32_t frames)
{
    apply_ports();
    if (urids.mapped())
        exchange_bank();
    if (frames == 0 || !in[0] || !in[1] || !out[0] || !out[1])
        return;
    eq_process(dsp, in[0], in[1], out[0], out[1], static_cast<long>(frames));
}

// ---- the bank, on the audio thread ----------------------------------------------

void Ze710Lv2::exchange_bank()
{
    // 1. A bank written by a restore since run() last published: it wins
    // over what run() has not published yet. A write in progress is taken
    // up at a later call.
    uint32_t version = slot.version();
    if (version != bank_version && !(version & 1u) && slot.try_read(chunk, &version) &&
        eq_chunk_read_bank(chunk, sizeof chunk, &bank)) {
        bank_version = version;
        bank_dirty = false;
        announce = true;
    }

    // 2. The UI's messages, before the controls: a UI that selects a
    // program sends its bank first and the new values after it.
    read_messages();

    // 3. Control changes go into the current program.
    EqProgram& current = bank.programs[bank.current_program];
    for (int p = 0; p < kEqNumSoundParams; ++p) {
        if (applied[p] == folded[p])
            continue;
        folded[p] = applied[p];
        current.value[p] = clamp01(eq_normalised_of(p, applied[p]));
        bank_dirty = true;
    }
    // A value set on the ui_size port by the host: the editor size of a
    // session saved before the size lived in the state.
    if (applied[kEqUiSize] != folded[kEqUiSize]) {
        folded[kEqUiSize] = applied[kEqUiSize];
        if (!bank_restored.load(std::memory_order_relaxed)) {
            bank.ui_size = clamp01(applied[kEqUiSize]);
            bank_dirty = true;
        }
    }

    if (bank_dirty)
        publish_bank();

    // 4. The notify port: an empty sequence, or the bank.
    if (!notify_out)
        return;
    const uint32_t capacity = notify_out->atom.size;
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<uint8_t*>(notify_out), capacity);
    LV2_Atom_Forge_Frame sequence;
    if (!lv2_atom_forge_sequence_head(&forge, &sequence, 0))
        return;
    if (announce) {
        eq_chunk_write_bank(bank, chunk);
        // A port too small for the bank never gets it; the UI keeps its own.
        if (lv2_atom_forge_frame_time(&forge, 0))
            ze710_write_bank(&forge, urids, chunk);
        announce = false;
    }
    lv2_atom_forge_pop(&forge, &sequence);
}

void Ze710Lv2::read_messages()
{
    if (!control_in || control_in->atom.type != urids.atom_Sequence)
        return;
    const uint32_t size = control_in->atom.size;
    if (size < sizeof(LV2_Atom_Sequence_Body))
        return;
    // Events one after the other, each wholly inside the sequence.
    const auto* at = reinterpret_cast<const uint8_t*>(&control_in->body + 1);
    const auto* end = reinterpret_cast<const uint8_t*>(&control_in->body) + size;
    while (end - at >= static_cast<ptrdiff_t>(sizeof(LV2_Atom_Event))) {
        const auto* event = reinterpret_cast<const LV2_Atom_Event*>(at);
        const size_t room = static_cast<size_t>(end - at) - sizeof(LV2_Atom_Event);
        if (event->body.size > room)
            return;
        const uint8_t* bytes = nullptr;
        switch (ze710_read_message(&event->body, sizeof(LV2_Atom) + event->body.size, urids, &bytes)) {
        case Ze710Message::kGet: announce = true; break;
        case Ze710Message::kBank:
            if (eq_chunk_read_bank(bytes, eq_chunk::kBankBytes, &bank))
                bank_dirty = true;
            break;
        case Ze710Message::kOther: break;
        }
        at += lv2_atom_pad_size(static_cast<uint32_t>(sizeof(LV2_Atom_Event) + event->body.size));
    }
}

void Ze710Lv2::publish_bank()
{
    eq_chunk_write_bank(bank, chunk);
    // Fails while a restore writes: then its bank wins at the next call.
    if (slot.try_write(chunk, bank_version, &bank_version))
        bank_dirty = false;
}

// ---- state, on the host's other threads -------------------------------------------

void Ze710Lv2::fold_ports_into(EqBank& into) const
{
    EqProgram& current = into.programs[into.current_program];
    for (int p = 0; p < kEqNumSoundParams; ++p) {
        if (!control[p])
            continue;
        // The host owns the port and may write it meanwhile: one aligned
        // float, read whole.
        float value;
        __atomic_load(control[p], &value, __ATOMIC_RELAXED);
        // Only a value run() has not seen: some hosts (Ardour) fill the
        // ports only when they run the plug-in, and a port they have not
        // filled yet says nothing of the live value. A value the port holds
        // as stored keeps its stored bits (the laws do not invert exactly).
        if (std::isfinite(value) && value != seen[p].load(std::memory_order_relaxed) &&
            value != eq_physical_of(p, current.value[p]))
            current.value[p] = clamp01(eq_normalised_of(p, eq_engine_value_of_physical(p, value)));
    }
}

LV2_State_Status Ze710Lv2::save(LV2_State_Store_Function store, LV2_State_Handle handle)
{
    if (!urids.mapped())
        return LV2_STATE_ERR_NO_FEATURE;
    EqBank saved;
    uint32_t version;
    if (!read_slot(slot, &saved, &version))
        return LV2_STATE_ERR_UNKNOWN;
    fold_ports_into(saved);
    uint8_t bytes[eq_chunk::kBankBytes];
    eq_chunk_write_bank(saved, bytes);
    return store(handle, urids.bank, bytes, sizeof bytes, urids.atom_Chunk,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Ze710Lv2::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle)
{
    if (!urids.mapped())
        return LV2_STATE_ERR_NO_FEATURE;
    // 1. Everything read and checked before anything changes.
    size_t size = 0;
    uint32_t type = 0, flags = 0;
    EqBank restored;
    const void* bank_value = retrieve(handle, urids.bank, &size, &type, &flags);
    if (bank_value && type != urids.atom_Chunk)
        return LV2_STATE_ERR_BAD_TYPE;
    if (bank_value && !eq_chunk_read_bank(static_cast<const uint8_t*>(bank_value), size, &restored))
        return LV2_STATE_ERR_UNKNOWN;
    int64_t program = -1;
    if (const void* value = retrieve(handle, urids.program, &size, &type, &flags)) {
        if (type == urids.atom_Int && size == sizeof(int32_t))
            program = *static_cast<const int32_t*>(value);
        else if (type == urids.atom_Long && size == sizeof(int64_t))
            program = *static_cast<const int64_t*>(value);
        else
            return LV2_STATE_ERR_BAD_TYPE;
        if (program < 0 || program >= kEqNumPrograms)
            return LV2_STATE_ERR_UNKNOWN;
    }
    if (!bank_value && program < 0)
        return LV2_STATE_SUCCESS;

    // 2. Into the slot, over the bank as it stands now; if run() published
    // meanwhile, again over that.
    uint8_t bytes[eq_chunk::kBankBytes];
    for (int i = 0; i < kSlotTries; ++i) {
        EqBank next;
        uint32_t version;
        if (!read_slot(slot, &next, &version))
            return LV2_STATE_ERR_UNKNOWN;
        if (bank_value)
            next = restored;
        if (program >= 0 && !bank_value) {
            // The program left keeps the values it had: the host sets the
            // new program's values on the ports after this.
            fold_ports_into(next);
        }
        if (program >= 0)
            next.current_program = static_cast<int>(program);
        eq_chunk_write_bank(next, bytes);
        if (slot.try_write(bytes, version, &version)) {
            if (bank_value)
                bank_restored.store(true, std::memory_order_relaxed);
            return LV2_STATE_SUCCESS;
        }
        sched_yield();
    }
    return LV2_STATE_ERR_UNKNOWN;
}

// ---- the descriptor's C entry points ----------------------------------------

namespace {

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features)
{
    return Ze710Lv2::create(rate, features);
}

void connect_port(LV2_Handle instance, uint32_t port, void* data)
{
    static_cast<Ze710Lv2*>(instance)->connect_port(port, data);
}

void activate(LV2_Handle instance)
{
    static_cast<Ze710Lv2*>(instance)->activate();
}

void deactivate(LV2_Handle instance)
{
    static_cast<Ze710Lv2*>(instance)->deactivate();
}

void run(LV2_Handle instance, uint32_t frames)
{
    static_cast<Ze710Lv2*>(instance)->run(frames);
}

void cleanup(LV2_Handle instance)
{
    delete static_cast<Ze710Lv2*>(instance);
}

LV2_State_Status save(LV2_Handle instance, LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t,
                      const LV2_Feature* const*)
{
    return static_cast<Ze710Lv2*>(instance)->save(store, handle);
}

LV2_State_Status restore(LV2_Handle instance, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                         uint32_t, const LV2_Feature* const*)
{
    return static_cast<Ze710Lv2*>(instance)->restore(retrieve, handle);
}

const LV2_State_Interface kStateInterface = {save, restore};

const void* extension_data(const char* uri)
{
    return uri && !std::strcmp(uri, LV2_STATE__interface) ? &kStateInterface : nullptr;
}

}  // namespace

const LV2_Descriptor ze710_lv2_descriptor = {
    ZE710_LV2_URI, instantiate, connect_port, activate, run, deactivate, cleanup, extension_data,
};
