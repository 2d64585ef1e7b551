// The instance: its life and reference count, the interfaces it answers,
// the state stream and what the two faces share.
#include "vst3/Ze710Vst3.h"

#include <cmath>
#include <new>
#include <vector>

#include "model/eq_driver.h"
#include "vst3/Ze710Vst3View.h"

using namespace vst3;

namespace {

// Payloads beyond this are no chunk of ours (a bank's is 516 bytes; later
// minors only append a little to it).
constexpr uint32 kMaxPayloadBytes = 1u << 16;

float clamp01(double v) { return v > 1.0 ? 1.0f : (v < 0.0 ? 0.0f : static_cast<float>(v)); }

// Reads exactly n bytes however the stream cuts them; false at its end or
// on an error.
bool read_exact(IBStream* stream, uint8_t* out, uint32 n)
{
    uint32 done = 0;
    while (done < n) {
        int32 got = 0;
        if (stream->read(out + done, static_cast<int32>(n - done), &got) != kResultOk || got <= 0 ||
            static_cast<uint32>(got) > n - done)
            return false;
        done += static_cast<uint32>(got);
    }
    return true;
}

}  // namespace

// ---- life ------------------------------------------------------------------------------

Ze710Vst3* Ze710Vst3::create()
{
    return new (std::nothrow) Ze710Vst3();
}

Ze710Vst3::Ze710Vst3()
{
    publish_programs();
    eq_prime(dsp, rate_hz);
}

Ze710Vst3::~Ze710Vst3()
{
    if (component_handler)
        component_handler->release();
}

tresult Ze710Vst3::query(const TUID iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    if (FUnknown::iid == iid || IPluginBase::iid == iid || IComponent::iid == iid)
        *obj = static_cast<IComponent*>(&component);
    else if (IAudioProcessor::iid == iid)
        *obj = static_cast<IAudioProcessor*>(&component);
    else if (IEditController::iid == iid)
        *obj = static_cast<IEditController*>(&controller);
    else if (IUnitInfo::iid == iid)
        *obj = static_cast<IUnitInfo*>(&controller);
    else {
        *obj = nullptr;
        return kNoInterface;
    }
    add_ref();
    return kResultOk;
}

uint32 Ze710Vst3::add_ref()
{
    return refs.fetch_add(1) + 1;
}

uint32 Ze710Vst3::release()
{
    const uint32 left = refs.fetch_sub(1) - 1;
    if (left == 0)
        delete this;
    return left;
}

// ---- the bank and the audio's copy of it --------------------------------------------------

void Ze710Vst3::publish_programs()
{
    const EqBank all = bank.bank();
    for (int p = 0; p < kEqNumPrograms; ++p)
        for (int v = 0; v < kEqNumSoundParams; ++v)
            program_values[p][v].store(all.programs[p].value[v], std::memory_order_relaxed);
}

bool Ze710Vst3::edit_value(int param, float v)
{
    if (!bank.set_value(param, v))
        return false;
    if (param < kEqNumSoundParams)
        program_values[bank.current_program()][param].store(v, std::memory_order_relaxed);
    return true;
}

int Ze710Vst3::edit_program(int program)
{
    return bank.select_program(program);
}

bool Ze710Vst3::read_bank(IBStream* stream, EqBank* out)
{
    // The header first, for the payload size; then exactly the payload, so
    // that nothing after the chunk is read.
    uint8_t header[eq_chunk::kHeaderBytes];
    if (!stream || !read_exact(stream, header, sizeof header))
        return false;
    const uint32 payload = static_cast<uint32>(header[8]) | static_cast<uint32>(header[9]) << 8 |
                           static_cast<uint32>(header[10]) << 16 | static_cast<uint32>(header[11]) << 24;
    if (payload > kMaxPayloadBytes)
        return false;
    std::vector<uint8_t> chunk(sizeof header + payload);
    std::copy(header, header + sizeof header, chunk.begin());
    return read_exact(stream, chunk.data() + sizeof header, payload) &&
           eq_chunk_read_bank(chunk.data(), chunk.size(), out);
}

void Ze710Vst3::apply_bank(const EqBank& state, bool to_engine)
{
    bank.set_bank(state);
    publish_programs();
    if (to_engine && active.load())
        for (int p = 0; p < kEqNumSoundParams; ++p)
            apply_to_engine(static_cast<ParamID>(p), bank.value(p));
    if (Ze710Vst3View* open = acquire_view()) {
        CEditorGUI& editor = open->editor();
        for (int p = 0; p < kEqNumParams; ++p)
            editor.setParameter(p, bank.value(p));
        editor.setProgram(bank.current_program());
        editor.follow_ui_size();
        open->release();
    }
}

// ---- the host's handler and the open view --------------------------------------------------

IComponentHandler* Ze710Vst3::handler()
{
    std::lock_guard<std::mutex> lock(link_mutex);
    if (component_handler)
        component_handler->addRef();
    return component_handler;
}

Ze710Vst3View* Ze710Vst3::acquire_view()
{
    std::lock_guard<std::mutex> lock(link_mutex);
    return view && view->try_add_ref() ? view : nullptr;
}

void Ze710Vst3::detach_view(Ze710Vst3View* leaving)
{
    std::lock_guard<std::mutex> lock(link_mutex);
    if (view == leaving)
        view = nullptr;
}

// ---- the engine ------------------------------------------------------------------------------

void Ze710Vst3::apply_to_engine(ParamID id, double value)
{
    if (!std::isfinite(value))
        return;
    const float v = clamp01(value);
    if (id == kEqEffect) {
        engine_effect.store(v, std::memory_order_relaxed);
        apply_effect();
    } else if (id < static_cast<ParamID>(kEqNumSoundParams)) {
        eq_apply(dsp, static_cast<int>(id), eq_engine_value(static_cast<int>(id), v));
    } else if (id == kBypassId) {
        engine_bypass.store(v, std::memory_order_relaxed);
        apply_effect();
    } else if (id == kProgramId) {
        const int program = static_cast<int>(std::lround(v * (kEqNumPrograms - 1)));
        for (int p = 0; p < kEqNumSoundParams; ++p)
            apply_to_engine(static_cast<ParamID>(p), program_values[program][p].load(std::memory_order_relaxed));
    }
}

void Ze710Vst3::apply_effect()
{
    // As the VST 2 plug-in forms it: "Effect" times the host's enable.
    const float enable = engine_bypass.load(std::memory_order_relaxed) > 0.5f ? 0.0f : 1.0f;
    eq_apply(dsp, kEqEffect, engine_effect.load(std::memory_order_relaxed) * enable);
}
