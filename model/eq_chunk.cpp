#include "model/eq_chunk.h"

#include <cmath>
#include <cstring>

namespace {

using namespace eq_chunk;

// The record's value order: the VST 2 slot order, by parameter index.
constexpr int kSlotOfParam[kEqNumSoundParams] = {0, 1, 5, 2, 4, 3, 6, 7};

constexpr uint8_t kBankTag[4] = {'Z', 'E', '7', 'B'};
constexpr uint8_t kProgramTag[4] = {'Z', 'E', '7', 'P'};

float clamp01(float v) { return v > 1.0f ? 1.0f : (v >= 0.0f ? v : 0.0f); }  // NaN -> 0

void put_u16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put_u32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void put_f32(uint8_t* p, float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);  // IEEE 754 binary32
    put_u32(p, bits);
}

uint16_t get_u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t get_u32(const uint8_t* p)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

float get_f32(const uint8_t* p)
{
    const uint32_t bits = get_u32(p);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void put_header(uint8_t* p, const uint8_t tag[4], size_t payload)
{
    std::memcpy(p, tag, 4);
    put_u16(p + 4, kMajor);
    put_u16(p + 6, kMinor);
    put_u32(p + 8, static_cast<uint32_t>(payload));
}

// The payload of a chunk with this tag and a major this reader knows, or
// null. A later minor may carry more payload than `min_payload`; the bytes
// past the fields read here are skipped.
const uint8_t* payload_of(const uint8_t* data, size_t size, const uint8_t tag[4],
                          size_t min_payload)
{
    if (!data || size < kHeaderBytes)
        return nullptr;
    if (std::memcmp(data, tag, 4) != 0 || get_u16(data + 4) != kMajor)
        return nullptr;
    const uint32_t payload = get_u32(data + 8);
    if (payload < min_payload || payload != size - kHeaderBytes)
        return nullptr;
    return data + kHeaderBytes;
}

void put_record(uint8_t* p, const EqProgram& program)
{
    for (int param = 0; param < kEqNumSoundParams; ++param)
        put_f32(p + 4 * kSlotOfParam[param], clamp01(program.value[param]));
    uint8_t* name = p + 4 * kEqNumSoundParams;
    const size_t n = strnlen(program.name, kEqProgramNameBytes - 1);
    std::memset(name, 0, kEqProgramNameBytes);
    std::memcpy(name, program.name, n);
}

bool get_record(const uint8_t* p, EqProgram* out)
{
    EqProgram program;
    for (int param = 0; param < kEqNumSoundParams; ++param) {
        const float v = get_f32(p + 4 * kSlotOfParam[param]);
        if (!std::isfinite(v) || v < 0.0f || v > 1.0f)
            return false;
        program.value[param] = v;
    }
    const uint8_t* name = p + 4 * kEqNumSoundParams;
    if (!std::memchr(name, 0, kEqProgramNameBytes))
        return false;
    std::memcpy(program.name, name, kEqProgramNameBytes);
    *out = program;
    return true;
}

}  // namespace

size_t eq_chunk_write_bank(const EqBank& bank, uint8_t* out)
{
    put_header(out, kBankTag, kBankBytes - kHeaderBytes);
    uint8_t* p = out + kHeaderBytes;
    put_u32(p, kEqNumPrograms);
    put_u32(p + 4, static_cast<uint32_t>(bank.current_program));
    put_f32(p + 8, clamp01(bank.ui_size));
    p += kBankFieldsBytes;
    for (const EqProgram& program : bank.programs) {
        put_record(p, program);
        p += kRecordBytes;
    }
    return kBankBytes;
}

size_t eq_chunk_write_program(const EqProgram& program, uint8_t* out)
{
    put_header(out, kProgramTag, kRecordBytes);
    put_record(out + kHeaderBytes, program);
    return kProgramBytes;
}

bool eq_chunk_read_bank(const uint8_t* data, size_t size, EqBank* out)
{
    const uint8_t* p = payload_of(data, size, kBankTag, kBankBytes - kHeaderBytes);
    if (!p || !out)
        return false;
    EqBank bank;
    const uint32_t count = get_u32(p);
    const uint32_t current = get_u32(p + 4);
    bank.ui_size = get_f32(p + 8);
    if (count != kEqNumPrograms || current >= count || !std::isfinite(bank.ui_size) ||
        bank.ui_size < 0.0f || bank.ui_size > 1.0f)
        return false;
    bank.current_program = static_cast<int>(current);
    p += kBankFieldsBytes;
    for (EqProgram& program : bank.programs) {
        if (!get_record(p, &program))
            return false;
        p += kRecordBytes;
    }
    *out = bank;
    return true;
}

bool eq_chunk_read_program(const uint8_t* data, size_t size, EqProgram* out)
{
    const uint8_t* p = payload_of(data, size, kProgramTag, kRecordBytes);
    return p && out && get_record(p, out);
}

void eq_program_set_name(EqProgram* program, const char* text)
{
    if (!program || !text)
        return;
    const size_t n = strnlen(text, kEqProgramNameBytes - 1);
    std::memset(program->name, 0, kEqProgramNameBytes);
    std::memcpy(program->name, text, n);
}

EqBank eq_factory_bank()
{
    EqBank bank;
    for (int i = 0; i < kEqNumPrograms; ++i) {
        EqProgramValues values;
        char name[kEqProgramNameBytes];
        eq_program(i, &values, name, sizeof name);
        for (int param = 0; param < kEqNumSoundParams; ++param)
            bank.programs[i].value[param] = values.v[param];
        eq_program_set_name(&bank.programs[i], name);
    }
    return bank;
}
