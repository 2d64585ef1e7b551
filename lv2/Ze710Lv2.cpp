#include "lv2/Ze710Lv2.h"

#include <cmath>
#include <new>

#include "model/eq_driver.h"

Ze710Lv2* Ze710Lv2::create(double rate_hz)
{
    const float rate = static_cast<float>(rate_hz);
    if (!eq_sample_rate_ok(rate))
        return nullptr;
    return new (std::nothrow) Ze710Lv2(rate);
}

Ze710Lv2::Ze710Lv2(float rate_hz)
{
    eq_prime(dsp, rate_hz);
    for (int p = 0; p < kEqNumParams; ++p)
        applied[p] = eq_physical_of(p, eq_default_of(p));
}

void Ze710Lv2::connect_port(uint32_t port, void* data)
{
    switch (port) {
    case kLv2InL:
    case kLv2InR: in[port - kLv2InL] = static_cast<const float*>(data); break;
    case kLv2OutL:
    case kLv2OutR: out[port - kLv2OutL] = static_cast<float*>(data); break;
    default:
        if (port >= kLv2FirstControl && port < kLv2NumPorts)
            control[port - kLv2FirstControl] = static_cast<const float*>(data);
        break;
    }
}

void Ze710Lv2::apply_ports()
{
    // ui_size is the editor's alone: only the sound parameters.
    for (int p = 0; p < kEqNumSoundParams; ++p) {
        if (!control[p])
            continue;
        const float value = *control[p];
        if (value == applied[p] || !std::isfinite(value))
            continue;
        applied[p] = value;
        eq_apply(dsp, p, eq_engine_value_of_physical(p, value));
    }
}

void Ze710Lv2::activate()
{
    // As the VST 2 plug-in starts: values set, then the engine settled on
    // them (lx_init also clears the filter memories, as a suspend does).
    apply_ports();
    dsp.lx_init();
}

void Ze710Lv2::run(uint32_t frames)
{
    apply_ports();
    if (frames == 0 || !in[0] || !in[1] || !out[0] || !out[1])
        return;
    eq_process(dsp, in[0], in[1], out[0], out[1], static_cast<long>(frames));
}

// ---- the descriptor's C entry points ----------------------------------------

namespace {

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const*)
{
    return Ze710Lv2::create(rate);
}

void connect_port(LV2_Handle instance, uint32_t port, void* data)
{
    static_cast<Ze710Lv2*>(instance)->connect_port(port, data);
}

void activate(LV2_Handle instance)
{
    static_cast<Ze710Lv2*>(instance)->activate();
}

void deactivate(LV2_Handle)
{
    // Nothing held between runs: the next activate starts afresh.
}

void run(LV2_Handle instance, uint32_t frames)
{
    static_cast<Ze710Lv2*>(instance)->run(frames);
}

void cleanup(LV2_Handle instance)
{
    delete static_cast<Ze710Lv2*>(instance);
}

const void* extension_data(const char*)
{
    return nullptr;
}

}  // namespace

const LV2_Descriptor ze710_lv2_descriptor = {
    ZE710_LV2_URI, instantiate, connect_port, activate, run, deactivate, cleanup, extension_data,
};
