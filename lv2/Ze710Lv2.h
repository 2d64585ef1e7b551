// One LV2 instance of the equaliser: the host's ports in, CLFx driven
// through the engine driver the VST 2 plug-in uses (model/eq_driver.h), and
// the program bank that the VST 2 effect keeps, saved with the host's state.
//
// The bank (nine programs with their names, the current program, the editor
// size) lives in run()'s hands as an EqBank, and is shared with the other
// threads through a Lv2BankSlot (lv2_bank_slot.h): run() publishes it there
// after every change, state save reads it from there, state restore writes
// a new one there, which run() takes up at its next call. The control ports
// stay the truth for the live values: run() folds every change of a sound
// control into the current program, as the VST 2 effect stores every
// parameter change into its current program, and state save and restore
// take them from the ports themselves. The UI learns the bank, and
// sends its own after it selects a program or resizes the editor, as patch
// messages on the two atom ports (ze710_lv2_messages.h).
//
// Threads, as LV2 defines them: instantiate, activate, deactivate, cleanup
// and state save come from the host's instantiation class, never
// concurrent with run; connect_port and run from the audio class. restore
// is safe beside run (state:threadSafeRestore): it touches nothing of run's
// but the slot. run() allocates nothing, takes no lock and makes no system
// call.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>

#include <atomic>

#include "dsp/CLFx.h"
#include "lv2/lv2_bank_slot.h"
#include "lv2/ze710_lv2_messages.h"
#include "lv2/ze710_lv2_ports.h"
#include "model/eq_chunk.h"

// The descriptor that lv2_descriptor(0) hands to hosts.
extern const LV2_Descriptor ze710_lv2_descriptor;

class Ze710Lv2 {
public:
    // Null when the rate is one the engine does not accept (the same
    // range as the VST 2 plug-in) or memory is short. Without urid:map the
    // instance runs, but keeps no state and exchanges no messages.
    static Ze710Lv2* create(double rate_hz, const LV2_Feature* const* features);

    void connect_port(uint32_t port, void* data);
    // The first activation starts the engine as the VST 2 plug-in starts at
    // its sample rate: the control values the host set before it apply at
    // once, without a glide, Effect and the host's enable included, and the
    // filter memories start cleared. Later ones change nothing: as a
    // VST 2 resume, after the suspend that deactivate() is.
    void activate();
    // As a VST 2 suspend: the filter memories are cleared; glides, settings
    // and a running crossfade go on at the next activation.
    void deactivate();
    void run(uint32_t frames);

    // state:interface. save: the bank as ze710:bank. restore: a ze710:bank
    // replaces the bank, a ze710:program (the bundle's presets) makes that
    // program current; a state with a damaged or mistyped value is refused
    // whole and changes nothing.
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

private:
    Ze710Lv2(float rate_hz, const LV2_URID_Map* map);
    // Hands each control whose port value changed since the last call (and
    // is finite) to the engine.
    void apply_ports();
    // run()'s part of the bank: a restored bank taken up, the UI's
    // messages, the controls' changes folded into the current program, the
    // bank published, and sent to the UI when it asked or a restore came.
    void exchange_bank();
    void read_messages();
    void publish_bank();
    // The live values that the control ports hold and run() has not seen
    // yet, into the bank's current program (save, and restore before the
    // current program changes): a host may set controls and save, or load
    // a preset, before it runs the plug-in again. Reads the ports only.
    void fold_ports_into(EqBank& into) const;

    CLFx dsp;
    const float* in[2] = {nullptr, nullptr};
    float* out[2] = {nullptr, nullptr};
    const float* control[kEqNumParams] = {};
    const float* enabled_port = nullptr;
    const LV2_Atom_Sequence* control_in = nullptr;
    LV2_Atom_Sequence* notify_out = nullptr;

    float applied[kEqNumParams];  // physical value last handed on, per parameter
    std::atomic<float> seen[kEqNumParams];  // the same, for the state functions
    float host_enable = 1.0f;     // 1 while the host has the plug-in enabled, else 0
    bool started = false;         // the first activation has run

    // ---- the bank (audio thread, apart from the slot) ----
    Ze710Urids urids;
    LV2_Atom_Forge forge;
    Lv2BankSlot slot;
    EqBank bank;                      // as of slot version bank_version, plus changes
    uint32_t bank_version = 0;
    bool bank_dirty = false;          // changed here, not yet in the slot
    bool announce = false;            // the UI is to hear the bank
    float folded[kEqNumParams];       // physical value last folded into the bank
    uint8_t chunk[eq_chunk::kBankBytes];
    // A state with a bank has been restored: from then on the legacy
    // ui_size port no longer speaks for the editor size.
    std::atomic<bool> bank_restored{false};
};
