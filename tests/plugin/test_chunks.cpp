// State chunks through the entry point: a bank or program chunk taken from
// one instance restores a fresh one exactly and without automation, and a
// damaged or hostile chunk changes nothing (the whole state, compared through
// the bank chunk and the nine values) and crashes nothing.
#include <cmath>
#include <limits>

#include "plugin_harness.h"

using namespace ze710test;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes chunk_of(vsthost::VstPlugin& p, int index)
{
    void* data = nullptr;
    const VstIntPtr n = p.dispatch(effGetChunk, index, 0, &data);
    EXPECT_GT(n, 0);
    const uint8_t* b = static_cast<const uint8_t*>(data);
    return n > 0 && b ? Bytes(b, b + n) : Bytes();
}

// From a heap copy of exactly the bytes given, so that AddressSanitizer
// sees any read past them.
VstIntPtr set_chunk(vsthost::VstPlugin& p, int index, const Bytes& bytes, VstIntPtr size)
{
    std::unique_ptr<uint8_t[]> copy(bytes.empty() ? nullptr : new uint8_t[bytes.size()]);
    if (copy)
        std::memcpy(copy.get(), bytes.data(), bytes.size());
    return p.dispatch(effSetChunk, index, size, copy.get());
}
VstIntPtr set_chunk(vsthost::VstPlugin& p, int index, const Bytes& bytes)
{
    return set_chunk(p, index, bytes, static_cast<VstIntPtr>(bytes.size()));
}

Bytes with_f32(Bytes b, size_t at, float v)
{
    uint32_t u;
    std::memcpy(&u, &v, 4);
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(u >> (8 * i));
    return b;
}
Bytes with_byte(Bytes b, size_t at, uint8_t v)
{
    b[at] = v;
    return b;
}

std::vector<float> values_of(vsthost::VstPlugin& p)
{
    std::vector<float> v;
    for (int i = 0; i < 9; ++i)
        v.push_back(p.get_parameter(i));
    return v;
}

constexpr size_t kBankRecords = 24, kRecord = 56, kName = 32;  // offsets in a bank chunk

}  // namespace

TEST(Chunks, BankAndProgramRestoreAFreshInstanceWithoutAutomation)
{
    auto a = load_ze710();
    ASSERT_TRUE(a);
    a->dispatch(effSetProgram, 0, 1);
    a->set_parameter(1, 0.9f);  // program 2's edit
    a->dispatch(effSetProgram, 0, 6);
    char name[] = "My Vocal";
    a->dispatch(effSetProgramName, 0, 0, name);
    a->set_parameter(0, 0.25f);
    a->set_parameter(8, 0.5f);
    const Bytes bank = chunk_of(*a, 0), program = chunk_of(*a, 1);

    auto b = load_ze710();
    ASSERT_EQ(set_chunk(*b, 0, bank), 1);
    EXPECT_TRUE(b->recorder().calls().empty());  // no automation, no edit gesture
    EXPECT_EQ(b->dispatch(effGetProgram), 6);
    EXPECT_EQ(b->current_program_name(), "My Vocal");
    EXPECT_EQ(values_of(*b), values_of(*a));  // current values and the editor size
    EXPECT_EQ(chunk_of(*b, 0), bank);        // every program and name
    b->dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(b->get_parameter(1), 0.9f);

    // A program chunk goes into the current program, whichever it is.
    auto c = load_ze710();
    c->dispatch(effSetProgram, 0, 3);
    c->recorder().clear();
    ASSERT_EQ(set_chunk(*c, 1, program), 1);
    EXPECT_TRUE(c->recorder().calls().empty());
    EXPECT_EQ(c->dispatch(effGetProgram), 3);
    EXPECT_EQ(c->current_program_name(), "My Vocal");
    EXPECT_EQ(c->get_parameter(0), 0.25f);
    EXPECT_EQ(c->program_name(6), "07 Vocal Air");

    // A later minor version appends to the payload: still read.
    Bytes later = bank;
    later.insert(later.end(), {1, 2, 3, 4});
    later = with_byte(with_byte(later, 6, 1), 8, static_cast<uint8_t>(bank[8] + 4));
    auto d = load_ze710();
    ASSERT_EQ(set_chunk(*d, 0, later), 1);
    EXPECT_EQ(chunk_of(*d, 0), bank);
}

TEST(Chunks, DamagedOrHostileChunksChangeNothing)
{
    auto src = load_ze710();
    ASSERT_TRUE(src);
    src->dispatch(effSetProgram, 0, 3);
    src->set_parameter(1, 0.9f);
    src->set_parameter(8, 1.0f);
    const Bytes bank = chunk_of(*src, 0), program = chunk_of(*src, 1);
    ASSERT_EQ(bank.size(), 528u);
    ASSERT_EQ(program.size(), 68u);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Bytes unterminated = bank, unterminated_program = program;
    std::memset(&unterminated[kBankRecords + 4 * kRecord + kName], 'A', 24);
    std::memset(&unterminated_program[12 + kName], 'A', 24);

    struct Case {
        const char* what;
        int index;
        Bytes bytes;
        VstIntPtr size;
    };
    const VstIntPtr n = static_cast<VstIntPtr>(bank.size());
    const Case cases[] = {
        {"truncated by one byte", 0, Bytes(bank.begin(), bank.end() - 1), n - 1},
        {"header only", 0, Bytes(bank.begin(), bank.begin() + 12), 12},
        {"tag flipped", 0, with_byte(bank, 0, bank[0] ^ 0xff), n},
        {"major flipped", 0, with_byte(bank, 4, bank[4] ^ 0xff), n},
        {"major 0", 1, with_byte(program, 4, 0), 68},
        {"payload size flipped", 0, with_byte(bank, 8, bank[8] ^ 0xff), n},
        {"payload size beyond", 1, with_byte(program, 8, program[8] + 1), 68},
        {"bank as program", 1, bank, n},
        {"program as bank", 0, program, 68},
        {"program count 8", 0, with_byte(bank, 12, 8), n},
        {"current program 9", 0, with_byte(bank, 16, 9), n},
        {"editor size NaN", 0, with_f32(bank, 20, nan), n},
        {"editor size 1.5", 0, with_f32(bank, 20, 1.5f), n},
        {"value NaN", 0, with_f32(bank, kBankRecords, nan), n},
        {"value -0.1 in the last record", 0, with_f32(bank, kBankRecords + 8 * kRecord + 28, -0.1f), n},
        {"value infinite", 1, with_f32(program, 12, std::numeric_limits<float>::infinity()), 68},
        {"value 1.01", 1, with_f32(program, 12 + 4, 1.01f), 68},
        {"name unterminated", 0, unterminated, n},
        {"program name unterminated", 1, unterminated_program, 68},
        {"size far beyond the buffer", 0, bank, 1 << 30},
        {"size beyond 32 bits", 0, bank, (static_cast<VstIntPtr>(1) << 32) + n},
        {"negative size", 0, bank, -n},
        {"null pointer", 0, Bytes(), n},
    };
    auto p = load_ze710();
    ASSERT_TRUE(p);
    const Bytes before = chunk_of(*p, 0);
    const std::vector<float> values = values_of(*p);
    for (const Case& c : cases) {
        EXPECT_EQ(set_chunk(*p, c.index, c.bytes, c.size), 0) << c.what;
        EXPECT_EQ(chunk_of(*p, 0), before) << c.what;
        EXPECT_EQ(values_of(*p), values) << c.what;
    }
    void* none = nullptr;
    EXPECT_EQ(p->dispatch(effGetChunk, 0, 0, nullptr), 0);
    EXPECT_EQ(p->dispatch(effSetChunk, 0, 0, &none), 0);
    EXPECT_TRUE(p->recorder().calls().empty());
    // The same instance still takes the undamaged chunk.
    EXPECT_EQ(set_chunk(*p, 0, bank), 1);
    EXPECT_EQ(chunk_of(*p, 0), bank);
}
