// The state chunk: the plug-in's own byte format for effGetChunk and
// effSetChunk, the way a host saves and restores the programs, the current
// program and the editor size with its session or a preset file.
//
// Little-endian, written and read byte by byte. A 12-byte header (tag,
// format major and minor, payload size) and the payload:
//   bank ("ZE7B"):    program count, current program, editor size, then
//                     one record per program;
//   program ("ZE7P"): one record, the current program's.
// A record is the eight normalised values in slot order (f32 each) and the
// 24-byte name field. The byte table and the compatibility rule stand in
// the README ("State chunk format").
//
// Pure functions on caller-owned memory; no lock, no allocation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/CPlugProgram.h"

struct CPlugBank {
    static constexpr int kNumPrograms = 9;
    CPlugProgram programs[kNumPrograms];
    int current_program = 0;
    float ui_size = 0.0f;  // the "UI Size" parameter, 0..1
};

namespace chunk_format {

constexpr uint16_t kMajor = 1;  // readers refuse any other major
constexpr uint16_t kMinor = 0;  // minors only append to the payload
constexpr size_t kHeaderBytes = 12;
constexpr size_t kNameBytes = kVstMaxProgNameLen;                            // 24
constexpr size_t kRecordBytes = 4 * CPlugProgram::kNumValues + kNameBytes;   // 56
constexpr size_t kBankFieldsBytes = 12;  // count, current program, editor size
constexpr size_t kBankBytes =
    kHeaderBytes + kBankFieldsBytes + CPlugBank::kNumPrograms * kRecordBytes;  // 528
constexpr size_t kProgramBytes = kHeaderBytes + kRecordBytes;                  // 68

}  // namespace chunk_format

// Write a whole chunk into out (kBankBytes or kProgramBytes) and return its
// size. Values outside 0..1 (a host may set any) are written clamped, so
// that every chunk written can be read back.
size_t chunk_write_bank(const CPlugBank& bank, uint8_t* out);
size_t chunk_write_program(const CPlugProgram& program, uint8_t* out);

// Read a chunk of exactly `size` bytes, touching no byte past data + size.
// True only for a whole, valid chunk (tag, major, payload size, program
// count and number, every value finite and within 0..1, every name
// terminated within its field); *out is written only then.
bool chunk_read_bank(const uint8_t* data, size_t size, CPlugBank* out);
bool chunk_read_program(const uint8_t* data, size_t size, CPlugProgram* out);
