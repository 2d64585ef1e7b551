// One LV2 instance of the equaliser: the host's ports in, CLFx driven
// through the engine driver the VST 2 plug-in uses (model/eq_driver.h).
//
// Threads, as LV2 defines them: instantiate, activate, deactivate and
// cleanup come from the host's instantiation class, never concurrent with
// run; connect_port and run come from the audio class. run() allocates
// nothing, takes no lock and makes no system call.
#pragma once

#include <lv2/core/lv2.h>

#include "dsp/CLFx.h"
#include "lv2/ze710_lv2_ports.h"

// The descriptor that lv2_descriptor(0) hands to hosts.
extern const LV2_Descriptor ze710_lv2_descriptor;

class Ze710Lv2 {
public:
    // Null when the rate is one the engine does not accept (the same
    // range as the VST 2 plug-in) or memory is short.
    static Ze710Lv2* create(double rate_hz);

    void connect_port(uint32_t port, void* data);
    // The control values the host set before activation take effect at
    // once, without a glide, and the filter memories start cleared.
    void activate();
    void run(uint32_t frames);

private:
    explicit Ze710Lv2(float rate_hz);
    // Hands each sound parameter whose port value changed since the last
    // call (and is finite) to the engine.
    void apply_ports();

    CLFx dsp;
    const float* in[2] = {nullptr, nullptr};
    float* out[2] = {nullptr, nullptr};
    const float* control[kEqNumParams] = {};
    float applied[kEqNumParams];  // physical value last handed on, per parameter
};
