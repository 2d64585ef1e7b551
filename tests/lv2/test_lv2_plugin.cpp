// The LV2 module driven as a host drives it (lv2_descriptor, its state
// interface, its atom ports), against the VST 2 plug-in: the bank it saves
// is the VST 2 bank chunk of the same edits, byte for byte, the controls'
// values in the current program even before run() has seen them; a restore
// puts back a bank whole, or only the program a bundle preset names, and
// refuses a damaged state whole; a restore beside run() never tears the bank; the
// host's enable and Effect must both be on; a start with either off is dry
// from the first frame; and deactivate/activate renders as a VST 2
// suspend/resume, mid-glide and mid-crossfade.
#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/state/state.h>

#include <cstring>
#include <map>
#include <thread>

#include "lv2/ze710_lv2_ports.h"
#include "model/eq_programs.h"
#include "plugin_interface/vst_interface.h"
#include "tests/support/chunk_cases.h"
#include "tests/support/lv2_host.h"
#include "tests/support/support.h"

using namespace test_support;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr const char* kBankUri = ZE710_LV2_BANK_URI;
constexpr const char* kProgramUri = ZE710_LV2_PROGRAM_URI;

// One instance of the built module at 48 kHz, its ports as a host holds them.
struct lv2_plugin {
    urid_map& m;
    const LV2_Descriptor* d = nullptr;
    LV2_Handle h = nullptr;
    std::vector<float> in = noise(4096, 21), out = std::vector<float>(4096), out_r = std::vector<float>(4096);
    float control[kEqNumParams + 1];  // the nine parameters, then lv2:enabled
    atom_port control_in, notify;

    explicit lv2_plugin(urid_map& map) : m(map)
    {
        void* module = dlopen(ZE710_LV2_PATH, RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(module, nullptr) << dlerror();
        d = reinterpret_cast<const LV2_Descriptor* (*)(uint32_t)>(dlsym(module, "lv2_descriptor"))(0);
        const LV2_Feature* features[] = {m.feature(), nullptr};
        h = d->instantiate(d, 48000.0, ZE710_LV2_BUNDLE, features);
        for (int p = 0; p < kEqNumParams; ++p)
            control[p] = eq_physical_of(p, eq_default_of(p));
        control[kEqNumParams] = 1.0f;
        float* audio[] = {in.data(), in.data(), out.data(), out_r.data()};
        for (uint32_t p = 0; p < kLv2NumPorts; ++p)
            d->connect_port(h, p, p < kLv2FirstControl ? audio[p] : p <= kLv2Enabled ? &control[p - kLv2FirstControl]
                                  : p == kLv2ControlIn ? static_cast<void*>(control_in.bytes) : notify.bytes);
        control_in.input(m);
    }
    ~lv2_plugin() { d->cleanup(h); }
    // One period of n frames, with these messages from the UI; the
    // messages the plug-in sent.
    std::vector<patch_message> run(uint32_t n = 256, const std::vector<Bytes>& messages = {})
    {
        control_in.input(m, messages);
        notify.output(m);
        d->run(h, n);
        return notify.messages(m);
    }
    const LV2_State_Interface* state() const
    {
        return static_cast<const LV2_State_Interface*>(d->extension_data(LV2_STATE__interface));
    }
    Bytes save()
    {
        Bytes saved;
        auto store = [](LV2_State_Handle to, uint32_t, const void* value, size_t size, uint32_t, uint32_t) {
            const auto* b = static_cast<const uint8_t*>(value);
            static_cast<Bytes*>(to)->assign(b, b + size);
            return LV2_STATE_SUCCESS;
        };
        EXPECT_EQ(state()->save(h, store, &saved, 0, nullptr), LV2_STATE_SUCCESS);
        return saved;
    }
    // A state of properties (key URI -> type URI, bytes).
    using properties = std::map<std::string, std::pair<std::string, Bytes>>;
    LV2_State_Status restore(const properties& props)
    {
        struct view {
            urid_map& m;
            const properties& props;
            uint32_t type;
        } v{m, props, 0};
        auto retrieve = [](LV2_State_Handle from, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) -> const void* {
            auto* s = static_cast<view*>(from);
            for (const auto& p : s->props)
                if (s->m.map(p.first.c_str()) == key) {
                    *size = p.second.second.size(), *type = s->m.map(p.second.first.c_str());
                    *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
                    return p.second.second.data();
                }
            return nullptr;
        };
        return state()->restore(h, retrieve, &v, 0, nullptr);
    }
};

Bytes vst_bank(vsthost::VstPlugin& p)
{
    void* data = nullptr;
    const VstIntPtr n = p.dispatch(effGetChunk, 0, 0, &data);
    return Bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + n);
}

Bytes int32(int32_t v) { return Bytes(reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 4); }

}  // namespace

TEST(Lv2State, TheVst2BankChunkSavedRestoredWholeOrRefusedWhole)
{
    urid_map m;
    lv2_plugin a(m);
    auto vst = load(48000.0f);
    // LF +20 dB in program 0; program 2 selected (the UI sends its bank
    // first, then the program's values); HF +12 dB there.
    a.control[kEqLfGain] = 20.0f, vst->set_parameter(kEqLfGain, 1.0f);
    a.d->activate(a.h), a.run();
    vst->dispatch(effSetProgram, 0, 2);
    a.run(256, {patch_put_bank(m, vst_bank(*vst))});
    a.control[kEqLfGain] = 0.0f, a.run();
    a.control[kEqHfGain] = 12.0f, vst->set_parameter(kEqHfGain, 0.8f);
    EXPECT_TRUE(a.run().empty()) << "the plug-in spoke unasked";
    const Bytes saved = a.save();
    ASSERT_EQ(saved, vst_bank(*vst)) << "not the VST 2 bank chunk of the same edits";

    // Into a fresh instance, the state and then the controls, as a host
    // restores a session: the same bank back, and the UI hears of it.
    lv2_plugin b(m);
    const lv2_plugin::properties whole = {{kBankUri, {LV2_ATOM__Chunk, saved}}};
    ASSERT_EQ(b.restore(whole), LV2_STATE_SUCCESS);
    b.control[kEqHfGain] = 12.0f;
    EXPECT_EQ(b.save(), saved);
    const std::vector<patch_message> told = b.run();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].bank, saved);
    EXPECT_EQ(b.run(256, {patch_get(m)}).at(0).bank, saved) << "a patch:Get is answered with the bank";

    // Damaged (the chunk cases every format refuses) or mistyped: refused,
    // nothing changes, nothing is announced.
    Bytes tag = saved;
    tag[3] = 'b';
    std::vector<std::pair<std::string, lv2_plugin::properties>> damaged = {
        {"bank not a chunk", {{kBankUri, {LV2_ATOM__String, saved}}}},
        {"program 9", {{kProgramUri, {LV2_ATOM__Int, int32(9)}}}},
        {"program as a float", {{kProgramUri, {LV2_ATOM__Float, int32(0x40800000)}}}},
        {"good program, bad bank", {{kProgramUri, {LV2_ATOM__Int, int32(1)}}, {kBankUri, {LV2_ATOM__Chunk, tag}}}},
    };
    void* program = nullptr;
    const VstIntPtr n = vst->dispatch(effGetChunk, 1, 0, &program);
    for (const damaged_chunk& c : damaged_chunks(saved, Bytes(static_cast<uint8_t*>(program), static_cast<uint8_t*>(program) + n)))
        if (!c.program)
            damaged.push_back({c.what, {{kBankUri, {LV2_ATOM__Chunk, c.bytes}}}});
    for (const auto& c : damaged) {
        EXPECT_NE(b.restore(c.second), LV2_STATE_SUCCESS) << c.first;
        EXPECT_EQ(b.save(), saved) << c.first;
        EXPECT_TRUE(b.run().empty()) << c.first;
    }

    // An edit, a bundle preset (its program only, then its values on the
    // controls), another edit, and a save, all before run() sees any of it:
    // the bank is the VST 2 plug-in's after the same edits and selecting
    // program 5, the first edit kept in program 3.
    b.control[kEqLfGain] = 20.0f, vst->set_parameter(kEqLfGain, 1.0f);
    ASSERT_EQ(b.restore({{kProgramUri, {LV2_ATOM__Int, int32(4)}}}), LV2_STATE_SUCCESS);
    vst->dispatch(effSetProgram, 0, 4);
    for (int p = 0; p < kEqNumSoundParams; ++p)
        b.control[p] = eq_physical_of(p, vst->get_parameter(p));
    b.control[kEqMidGain] = 10.0f, vst->set_parameter(kEqMidGain, 0.75f);
    EXPECT_EQ(b.save(), vst_bank(*vst));
}

// A host that restores while run() goes on (state:threadSafeRestore): run
// keeps taking UI banks and folding a moving control into its current
// program, restores alternate between two banks that differ in every
// record; every bank saved meanwhile is one of them whole, apart from the
// current program run() writes into.
TEST(Lv2State, RestoreBesideRunNeverTearsTheBank)
{
    urid_map m;
    lv2_plugin p(m);
    auto x = load(), y = load();
    for (int program = 0; program < kEqNumPrograms; ++program) {
        x->dispatch(effSetProgram, 0, program), y->dispatch(effSetProgram, 0, program);
        for (int k = 0; k < kEqNumSoundParams; ++k)
            x->set_parameter(k, 0.25f), y->set_parameter(k, 0.75f);
    }
    const Bytes bx = vst_bank(*x), by = vst_bank(*y);  // both with program 8 current
    p.d->activate(p.h);
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        for (int i = 0; !stop; ++i) {
            const float gain = static_cast<float>(i % 40 - 20);  // the host's writes: whole floats
            __atomic_store(&p.control[kEqMidGain], &gain, __ATOMIC_RELAXED);
            p.run(64, {patch_put_bank(m, i % 2 ? bx : by)});
        }
    });
    long torn = 0;
    for (int i = 0; i < 400; ++i) {
        ASSERT_EQ(p.restore({{kBankUri, {LV2_ATOM__Chunk, i % 2 ? by : bx}}}), LV2_STATE_SUCCESS);
        const Bytes s = p.save();
        // Everything before program 8's record (24 + 8 x 56) is one bank's.
        torn += !std::equal(s.begin(), s.begin() + 472, bx.begin()) && !std::equal(s.begin(), s.begin() + 472, by.begin());
    }
    stop = true;
    audio.join();
    EXPECT_EQ(torn, 0);
    for (int k = 0; k < kEqNumSoundParams; ++k)  // program 9's values, as the host restores them
        p.control[k] = eq_physical_of(k, 0.25f);
    ASSERT_EQ(p.restore({{kBankUri, {LV2_ATOM__Chunk, bx}}}), LV2_STATE_SUCCESS);
    EXPECT_EQ(p.save(), bx);
}

// The host's enable (lv2:enabled) and Effect both on for the equaliser;
// switched off before the start, dry from the first frame. Deactivate and
// activate as the VST 2 plug-in's suspend and resume: mid-glide and
// mid-crossfade, the two render alike, bit for bit.
TEST(Lv2Audio, HostEnableAStartOutAndActivationAsAResume)
{
    urid_map m;
    for (const bool effect_off : {false, true}) {
        lv2_plugin off(m);
        off.control[kEqLfGain] = 20.0f;
        (effect_off ? off.control[kEqEffect] : off.control[kEqNumParams]) = 0.0f;
        off.d->activate(off.h), off.run(4096);
        EXPECT_EQ(off.out, off.in) << (effect_off ? "Effect" : "the host's enable") << " off at the start";
        off.control[kEqNumParams] = 1.0f, off.control[kEqEffect] = 1.0f;
        off.run(4096), off.run(4096);
        EXPECT_NE(off.out, off.in) << "both back on: the equaliser is heard";
    }

    lv2_plugin lv2(m);
    auto vst = load(48000.0f, 512);
    std::vector<float> lv2_out, vst_out;
    auto period = [&] {
        lv2.run(512);
        lv2_out.insert(lv2_out.end(), lv2.out.begin(), lv2.out.begin() + 512);
        const std::vector<float> in(lv2.in.begin(), lv2.in.begin() + 512), o = process(*vst, in);
        vst_out.insert(vst_out.end(), o.begin(), o.end());
    };
    lv2.d->activate(lv2.h);
    period(), period();
    lv2.control[kEqLfGain] = 20.0f, vst->set_parameter(kEqLfGain, 1.0f);
    lv2.control[kEqEffect] = 0.0f, vst->set_parameter(kEqEffect, 0.0f);
    period();  // 512 frames into a 20 ms fade and a 70-chunk glide
    lv2.d->deactivate(lv2.h), lv2.d->activate(lv2.h);
    vst->dispatch(effMainsChanged, 0, 0), vst->dispatch(effMainsChanged, 0, 1);
    lv2.control[kEqEffect] = 1.0f, vst->set_parameter(kEqEffect, 1.0f);
    for (int k = 0; k < 8; ++k)
        period();
    EXPECT_TRUE(lv2_out == vst_out) << "activation differs from a VST 2 resume";
}
