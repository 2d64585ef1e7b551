// The state chunk: ZE710's own byte format for a saved state, the same in
// every plug-in format (VST 2 effGetChunk/effSetChunk, LV2 state, CLAP
// state, VST3 getState/setState), so one saved state serves them all.
//
// Little-endian, written and read byte by byte. A 12-byte header (tag,
// format major and minor, payload size) and the payload:
//   bank ("ZE7B"):    program count, current program, editor size, then
//                     one record per program;
//   program ("ZE7P"): one record, the current program's.
// A record is the eight normalised values in the VST 2 slot order (HF dB,
// LF dB, Mid dB, HF Hz, LF Hz, Mid Hz, Mid BW, Effect; f32 each) and the
// 24-byte name field. The byte table and the compatibility rule stand in
// the README ("State chunk format").
//
// Pure functions on caller-owned memory; no lock, no allocation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/eq_params.h"
#include "model/eq_programs.h"

constexpr size_t kEqProgramNameBytes = 24;  // the name field, terminator included

// One program: the eight sound values, normalised, in parameter index order
// (eq_params.h), and its name, terminated within the field.
struct EqProgram {
    float value[kEqNumSoundParams];
    char name[kEqProgramNameBytes];
};

// The whole state a host saves: every program, the current one and the
// editor size.
struct EqBank {
    EqProgram programs[kEqNumPrograms];
    int current_program = 0;
    float ui_size = 0.0f;  // the "UI Size" parameter, 0..1
};

// Copies at most 23 bytes of text and zeroes the rest of the field; a null
// text leaves the name as it is.
void eq_program_set_name(EqProgram* program, const char* text);
// The bank a new instance starts with: the nine programs of eq_programs.h,
// program 0 current, the smallest editor.
EqBank eq_factory_bank();

namespace eq_chunk {

constexpr uint16_t kMajor = 1;  // readers refuse any other major
constexpr uint16_t kMinor = 0;  // minors only append to the payload
constexpr size_t kHeaderBytes = 12;
constexpr size_t kRecordBytes = 4 * kEqNumSoundParams + kEqProgramNameBytes;  // 56
constexpr size_t kBankFieldsBytes = 12;  // count, current program, editor size
constexpr size_t kBankBytes = kHeaderBytes + kBankFieldsBytes + kEqNumPrograms * kRecordBytes;  // 528
constexpr size_t kProgramBytes = kHeaderBytes + kRecordBytes;                                    // 68

}  // namespace eq_chunk

// Write a whole chunk into out (kBankBytes or kProgramBytes) and return its
// size. Values outside 0..1 (a host may set any) are written clamped, so
// that every chunk written can be read back.
size_t eq_chunk_write_bank(const EqBank& bank, uint8_t* out);
size_t eq_chunk_write_program(const EqProgram& program, uint8_t* out);

// Read a chunk of exactly `size` bytes, touching no byte past data + size.
// True only for a whole, valid chunk (tag, major, payload size, program
// count and number, every value finite and within 0..1, every name
// terminated within its field); *out is written only then.
bool eq_chunk_read_bank(const uint8_t* data, size_t size, EqBank* out);
bool eq_chunk_read_program(const uint8_t* data, size_t size, EqProgram* out);
