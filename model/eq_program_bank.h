// The programs of one instance, as the formats without a framework of their
// own keep them (CLAP, VST3, the LV2 plug-in and its UI): the nine programs
// with their names, the current one, the editor size, and the live values,
// which are always the current program's (an edit goes into the current
// program, a program selected makes its values live).
//
// Threads: any but the audio thread. One internal mutex, a leaf: never held
// while anything outside this class runs. value() is lock-free.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "model/eq_chunk.h"

class EqProgramBank {
public:
    EqProgramBank();  // eq_factory_bank(): program 0 current, its values live
    EqProgramBank(const EqProgramBank&) = delete;
    EqProgramBank& operator=(const EqProgramBank&) = delete;

    // Live value of parameter 0..8 (kEqUiSize: the editor size), normalised
    // as it was stored; 0 for another index. Lock-free.
    float value(int param) const;
    // Stores a live value, and for a sound parameter into the current
    // program. False, and nothing stored, for an unknown index or a value
    // that is not finite.
    bool set_value(int param, float v);

    // Makes `program` (clamped to 0..8) current and its values live; the
    // program is copied to *out when out is not null. Returns the index.
    int select_program(int program, EqProgram* out = nullptr);
    int current_program() const;
    EqProgram program(int index) const;  // clamped to 0..8
    void set_program_name(int index, const char* name);

    EqBank bank() const;
    // Replaces everything with a valid bank (see eq_chunk_read_bank) and
    // makes its current program's values live.
    void set_bank(const EqBank& bank);

    // The state chunk (eq_chunk.h): the bank, or with program_only the
    // current program; out holds eq_chunk::kBankBytes. Returns the size.
    size_t write_chunk(bool program_only, uint8_t* out) const;
    // Applies a whole, valid chunk of exactly `size` bytes (a program chunk
    // goes into the current program) and makes the current program's values
    // live; anything else answers false and changes nothing.
    bool read_chunk(const uint8_t* data, size_t size, bool program_only);

private:
    void make_live_locked();

    mutable std::mutex mutex;
    EqBank state;  // mutex
    std::atomic<float> live[kEqNumParams];
};
