// VST 2 preset files that carry a plug-in's opaque state chunk, as hosts
// exchange them: a bank (.fxb, 'FBCh') or one program (.fxp, 'FPCh'). The
// header is big-endian:
//
//   'CcnK', byteSize (bytes after this field), fxMagic, version, fxID,
//   fxVersion, numPrograms (bank) or numParams (program), then
//   prgName[28] (program) or future[128] (bank; version 2 holds the current
//   program in its first four bytes), chunkSize, chunk.
//
// Files of parameter values ('FxCk', 'FxBk') are recognised and refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vsthost {

struct PresetFile {
    bool bank = true;               // .fxb; false: .fxp
    int32_t fx_id = 0;              // the plug-in's unique ID
    int32_t fx_version = 0;         // the plug-in's version
    int32_t count = 0;              // numPrograms (bank) or numParams (program)
    int32_t current_program = 0;    // bank: written into future[0..3]
    std::string program_name;       // program: at most 27 characters are kept
    std::vector<uint8_t> chunk;
};

// Larger files are refused before they are read.
constexpr size_t kMaxPresetFileBytes = 64u << 20;

// A preset file's bytes; throws HostError for a file that cannot be read or
// is larger than kMaxPresetFileBytes.
std::vector<uint8_t> read_preset_bytes(const std::string& path);
std::vector<uint8_t> encode_preset(const PresetFile& preset);
// Throws HostError with a one-line reason naming `path` for anything but a
// whole, consistent chunk file.
PresetFile decode_preset(const std::vector<uint8_t>& bytes, const std::string& path);

}  // namespace vsthost
