// State chunks through the entry point: a bank or program chunk taken from
// one instance restores a fresh one exactly and without automation, and a
// damaged or hostile chunk changes nothing (the whole state, compared through
// the bank chunk) and crashes nothing.
#include <cstring>
#include <limits>

#include "plugin_interface/vst_interface.h"
#include "tests/support/chunk_cases.h"
#include "tests/support/support.h"

using namespace test_support;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes chunk_of(vsthost::VstPlugin& p, int index)
{
    void* data = nullptr;
    const VstIntPtr n = p.dispatch(effGetChunk, index, 0, &data);
    return n > 0 && data ? Bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + n) : Bytes();
}

// From a heap copy of exactly the bytes given: AddressSanitizer sees any
// read past them.
VstIntPtr set_chunk(vsthost::VstPlugin& p, int index, const Bytes& b, VstIntPtr size = -1)
{
    std::unique_ptr<uint8_t[]> copy(b.empty() ? nullptr : new uint8_t[b.size()]);
    std::copy(b.begin(), b.end(), copy.get());
    return p.dispatch(effSetChunk, index, size < 0 ? static_cast<VstIntPtr>(b.size()) : size, copy.get());
}

}  // namespace

TEST(Chunks, BankAndProgramRestoreAFreshInstanceWithoutAutomation)
{
    auto a = load(), b = load(), c = load();
    a->dispatch(effSetProgram, 0, 1);
    a->set_parameter(1, 0.9f);  // program 2's edit
    a->dispatch(effSetProgram, 0, 6);
    char name[] = "My Vocal";
    a->dispatch(effSetProgramName, 0, 0, name);
    a->set_parameter(0, 0.25f);
    a->set_parameter(8, 0.5f);
    const Bytes bank = chunk_of(*a, 0), program = chunk_of(*a, 1);

    ASSERT_EQ(set_chunk(*b, 0, bank), 1);
    EXPECT_TRUE(b->recorder().calls().empty());  // no automation, no edit gesture
    EXPECT_EQ(b->dispatch(effGetProgram), 6);
    EXPECT_EQ(chunk_of(*b, 0), bank);  // every program with its name, the editor size
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(b->get_parameter(i), a->get_parameter(i)) << i;
    b->dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(b->get_parameter(1), 0.9f);

    // A program chunk goes into the current program, whichever it is.
    c->dispatch(effSetProgram, 0, 3);
    c->recorder().clear();
    ASSERT_EQ(set_chunk(*c, 1, program), 1);
    EXPECT_TRUE(c->recorder().calls().empty());
    EXPECT_EQ(c->dispatch(effGetProgram), 3);
    EXPECT_EQ(chunk_of(*c, 1), program);  // the values and the name "My Vocal"
    EXPECT_EQ(c->get_parameter(0), 0.25f);
}

TEST(Chunks, DamagedOrHostileChunksChangeNothing)
{
    auto src = load(), p = load();
    src->dispatch(effSetProgram, 0, 3);
    src->set_parameter(1, 0.9f);
    src->set_parameter(8, 1.0f);
    const Bytes bank = chunk_of(*src, 0), program = chunk_of(*src, 1);
    ASSERT_EQ(bank.size(), 528u);  // header 12, count, current, size, 9 records of 56 from 24
    const VstIntPtr n = 528;
    struct Case {
        const char* what;
        int index;
        Bytes bytes;
        VstIntPtr size;
    };
    // The shared table of damaged bytes, and the sizes only VST 2 passes.
    std::vector<Case> cases = {
        {"size far beyond the buffer", 0, bank, 1 << 30},
        {"size beyond 32 bits", 0, bank, (VstIntPtr(1) << 32) + n},
        {"null pointer", 0, Bytes(), n},
    };
    for (const damaged_chunk& d : damaged_chunks(bank, program))
        cases.push_back({d.what, d.program ? 1 : 0, d.bytes, -1});
    const Bytes before = chunk_of(*p, 0);  // all of the state a restore could change
    for (const auto& c : cases) {
        EXPECT_EQ(set_chunk(*p, c.index, c.bytes, c.size), 0) << c.what;
        EXPECT_EQ(chunk_of(*p, 0), before) << c.what;
    }
    EXPECT_EQ(p->dispatch(effGetChunk, 0, 0, nullptr), 0);
    EXPECT_TRUE(p->recorder().calls().empty());
    EXPECT_EQ(set_chunk(*p, 0, bank), 1);  // the undamaged chunk still applies
}
