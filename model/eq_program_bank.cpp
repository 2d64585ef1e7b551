#include "model/eq_program_bank.h"

#include <cmath>

namespace {

int clamp_program(int program)
{
    return program < 0 ? 0 : (program >= kEqNumPrograms ? kEqNumPrograms - 1 : program);
}

}  // namespace

EqProgramBank::EqProgramBank() : state(eq_factory_bank())
{
    make_live_locked();
}

void EqProgramBank::make_live_locked()
{
    const EqProgram& current = state.programs[state.current_program];
    for (int param = 0; param < kEqNumSoundParams; ++param)
        live[param].store(current.value[param], std::memory_order_relaxed);
    live[kEqUiSize].store(state.ui_size, std::memory_order_relaxed);
}

float EqProgramBank::value(int param) const
{
    return param >= 0 && param < kEqNumParams ? live[param].load(std::memory_order_relaxed) : 0.0f;
}

bool EqProgramBank::set_value(int param, float v)
{
    if (param < 0 || param >= kEqNumParams || !std::isfinite(v))
        return false;
    std::lock_guard<std::mutex> lock(mutex);
    live[param].store(v, std::memory_order_relaxed);
    if (param == kEqUiSize)
        state.ui_size = v;
    else
        state.programs[state.current_program].value[param] = v;
    return true;
}

int EqProgramBank::select_program(int program, EqProgram* out)
{
    program = clamp_program(program);
    std::lock_guard<std::mutex> lock(mutex);
    state.current_program = program;
    make_live_locked();
    if (out)
        *out = state.programs[program];
    return program;
}

int EqProgramBank::current_program() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return state.current_program;
}

EqProgram EqProgramBank::program(int index) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return state.programs[clamp_program(index)];
}

void EqProgramBank::set_program_name(int index, const char* name)
{
    std::lock_guard<std::mutex> lock(mutex);
    eq_program_set_name(&state.programs[clamp_program(index)], name);
}

EqBank EqProgramBank::bank() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return state;
}

void EqProgramBank::set_bank(const EqBank& bank)
{
    std::lock_guard<std::mutex> lock(mutex);
    state = bank;
    state.current_program = clamp_program(state.current_program);
    make_live_locked();
}

size_t EqProgramBank::write_chunk(bool program_only, uint8_t* out) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return program_only ? eq_chunk_write_program(state.programs[state.current_program], out)
                        : eq_chunk_write_bank(state, out);
}

bool EqProgramBank::read_chunk(const uint8_t* data, size_t size, bool program_only)
{
    // Read and checked whole before anything changes.
    EqBank bank;
    EqProgram program;
    if (program_only ? !eq_chunk_read_program(data, size, &program)
                     : !eq_chunk_read_bank(data, size, &bank))
        return false;
    std::lock_guard<std::mutex> lock(mutex);
    if (program_only)
        state.programs[state.current_program] = program;
    else
        state = bank;
    make_live_locked();
    return true;
}
