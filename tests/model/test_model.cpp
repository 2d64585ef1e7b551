// The shared model on its own: a block split at its changes' frames sounds
// as a host's blocks cut at the same frames with the change between them,
// and the program bank keeps edits, selections and whole-or-nothing state.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "dsp/CLFx.h"
#include "model/eq_display.h"
#include "model/eq_driver.h"
#include "model/eq_program_bank.h"

namespace {

constexpr float kRate = 48000.0f;

struct Change {
    long frame;
    int param;
    float engine_value;
};

class ListCursor final : public EqEventCursor {
public:
    explicit ListCursor(std::vector<Change> changes) : list(std::move(changes)) {}
    long next_frame() override { return next < list.size() ? list[next].frame : kNoEvent; }
    void apply_next(CLFx& dsp) override
    {
        eq_apply(dsp, list[next].param, list[next].engine_value);
        ++next;
    }

private:
    std::vector<Change> list;
    size_t next = 0;
};

std::vector<float> noise(size_t n)
{
    std::vector<float> v(n);
    uint32_t s = 12345;
    for (float& x : v) {
        s = s * 1664525u + 1013904223u;
        x = static_cast<float>(s >> 8) / 16777216.0f - 0.5f;
    }
    return v;
}

}  // namespace

TEST(EventSplit, SoundsAsBlocksCutAtTheChangesAndKeepsNoChangeUnapplied)
{
    const std::vector<float> in = noise(1000);
    const float defaults[kEqNumSoundParams] = {0, 0, 894.43f, 0, 141.42f, 5656.85f, 1.25f, 1};
    // Frames 0 (before any audio), 100 (mid chunk), 100 again, 613, and one
    // past the block, which takes effect after its audio.
    const std::vector<Change> changes = {{0, kEqHfGain, 12.0f},  {100, kEqLfGain, -9.0f},
                                         {100, kEqMidFreq, 2500}, {613, kEqEffect, 0.0f},
                                         {1000, kEqMidGain, 6.0f}};
    CLFx split, cut;
    eq_start(split, kRate, defaults);
    eq_start(cut, kRate, defaults);

    std::vector<float> split_l(in.size()), split_r(in.size()), cut_l(in.size()), cut_r(in.size());
    ListCursor cursor(changes);
    eq_process_events(split, in.data(), in.data(), split_l.data(), split_r.data(), 1000, cursor);
    EXPECT_EQ(cursor.next_frame(), EqEventCursor::kNoEvent);

    long done = 0;
    for (const Change& c : changes) {
        const long until = c.frame < 1000 ? c.frame : 1000;
        eq_process(cut, in.data() + done, in.data() + done, cut_l.data() + done, cut_r.data() + done, until - done);
        done = until;
        eq_apply(cut, c.param, c.engine_value);
    }
    EXPECT_EQ(split_l, cut_l);
    EXPECT_EQ(split_r, cut_r);
    EXPECT_NE(split_l, in);  // the changes shaped the sound

    // The change after the block reached the engine: the next blocks agree too.
    std::vector<float> a(256), b(256);
    eq_process(split, in.data(), in.data(), a.data(), a.data(), 256);
    eq_process(cut, in.data(), in.data(), b.data(), b.data(), 256);
    EXPECT_EQ(a, b);
}

TEST(ProgramBank, EditsGoIntoTheCurrentProgramAndStateIsWholeOrNothing)
{
    EqProgramBank bank;
    EXPECT_EQ(bank.current_program(), 0);
    bank.select_program(4);  // "05 Low End Boost"
    EXPECT_STREQ(bank.program(4).name, "05 Low End Boost");
    EXPECT_EQ(bank.value(kEqLfGain), 0.7375f);
    EXPECT_TRUE(bank.set_value(kEqLfGain, 0.9f));
    EXPECT_FALSE(bank.set_value(kEqLfGain, NAN));
    EXPECT_FALSE(bank.set_value(kEqNumParams, 0.2f));
    EXPECT_TRUE(bank.set_value(kEqUiSize, 0.5f));
    bank.set_program_name(4, "My Low End, a name far too long for the field");
    EqProgram selected;
    EXPECT_EQ(bank.select_program(11, &selected), 8);  // clamped
    EXPECT_EQ(bank.value(kEqLfGain), 0.684f);
    EXPECT_EQ(bank.program(4).value[kEqLfGain], 0.9f);
    EXPECT_STREQ(bank.program(4).name, "My Low End, a name far ");
    EXPECT_STREQ(selected.name, "09 Hollow Mid");

    uint8_t chunk[eq_chunk::kBankBytes];
    ASSERT_EQ(bank.write_chunk(false, chunk), eq_chunk::kBankBytes);
    EqProgramBank copy;
    ASSERT_TRUE(copy.read_chunk(chunk, sizeof chunk, false));
    EXPECT_EQ(copy.current_program(), 8);
    EXPECT_EQ(copy.value(kEqUiSize), 0.5f);
    EXPECT_EQ(copy.program(4).value[kEqLfGain], 0.9f);

    // A damaged chunk (one value beyond 1) changes nothing, nor does one cut short.
    uint8_t program[eq_chunk::kProgramBytes];
    ASSERT_EQ(bank.write_chunk(true, program), eq_chunk::kProgramBytes);
    const float beyond = 1.5f;
    std::memcpy(program + eq_chunk::kHeaderBytes, &beyond, 4);
    EqProgramBank fresh;
    EXPECT_FALSE(fresh.read_chunk(program, sizeof program, true));
    EXPECT_FALSE(fresh.read_chunk(chunk, sizeof chunk - 1, false));
    uint8_t untouched[eq_chunk::kBankBytes], factory[eq_chunk::kBankBytes];
    fresh.write_chunk(false, untouched);
    EqProgramBank().write_chunk(false, factory);
    EXPECT_EQ(0, std::memcmp(untouched, factory, sizeof factory));
}

// Host texts: within the bound given (three significant digits when "%.2f"
// would not fit), read back to the value they show; texts that are no
// number are refused, numbers beyond a range held at its end.
TEST(DisplayText, FitsItsBoundAndReadsBack)
{
    char text[24];
    eq_display_text(kEqMidFreq, 1e30f, text, sizeof text);
    EXPECT_LT(std::strlen(text), sizeof text);
    EXPECT_STREQ(text + std::strlen(text) - 3, " Hz");
    eq_display_text(kEqMidBw, 0.5f, text, 6);
    EXPECT_STREQ(text, "1.25 ");  // cut to the bound, terminated
    const struct {
        int param;
        const char* text;
        bool ok;
        float value;
    } reads[] = {
        {kEqHfGain, "6.00 dB", true, 0.65f}, {kEqLfGain, " -40 dB", true, 0.0f}, {kEqMidBw, "2", true, 1.0f},
        {kEqEffect, "Out", true, 0.0f},      {kEqEffect, "in ", true, 1.0f},   {kEqUiSize, "X 1.50", true, 0.5f},
        {kEqLfFreq, "-5 Hz", false, 0.0f},   {kEqHfGain, "loud", false, 0.0f}, {kEqHfGain, "nan dB", false, 0.0f},
        {kEqNumParams, "1", false, 0.0f},
    };
    for (const auto& r : reads) {
        float v = -1.0f;
        EXPECT_EQ(eq_value_of_text(r.param, r.text, &v), r.ok) << r.text;
        EXPECT_NEAR(v, r.ok ? r.value : -1.0f, 1e-6f) << r.text;  // untouched when refused
    }
}
