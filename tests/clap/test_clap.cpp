// The CLAP edition through clap_entry, in the small host of tools/clap_host:
// what a host reads of it (identity, ports, parameters and their texts,
// which are the VST 2 plug-in's), its sound against the VST 2 plug-in's bit
// for bit (values set before activation; changes at sample offsets against
// VST 2 blocks cut at the same frames), and its state, which is the VST 2
// bank chunk: it moves between the editions in any pieces, and a damaged
// state changes nothing.
#include <cmath>
#include <cstring>

#include "plugin_interface/vst_interface.h"
#include "tests/support/chunk_cases.h"
#include "tests/clap/clap_rig.h"

using namespace clap_test;
using test_support::noise;
using Bytes = std::vector<uint8_t>;

namespace {

bool identical(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

Bytes vst2_chunk(vsthost::VstPlugin& p, int index)
{
    void* data = nullptr;
    const VstIntPtr n = p.dispatch(effGetChunk, index, 0, &data);
    return Bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + n);
}

}  // namespace

TEST(Clap, IdentityPortsParametersAndTheVst2Texts)
{
    auto c = load_clap();
    ASSERT_TRUE(c);
    const clap_plugin_descriptor_t* d = c->descriptor();
    std::string features;
    for (const char* const* f = d->features; *f; ++f)
        features += std::string(*f) + " ";
    EXPECT_EQ(std::string(d->id) + "|" + d->name + "|" + d->vendor + "|" + d->version + "|" + features,
              "com.kestrelwood.ze710|ZE710|Kestrelwood|2.3.1|audio-effect equalizer stereo ");
    const auto* ports = c->extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
    for (bool input : {true, false}) {
        clap_audio_port_info_t info{};
        ASSERT_TRUE(ports->count(c->plugin(), input) == 1 && ports->get(c->plugin(), 0, input, &info));
        EXPECT_TRUE(info.channel_count == 2 && info.flags == CLAP_AUDIO_PORT_IS_MAIN && info.in_place_pair == 0 &&
                    std::string(info.port_type) == "stereo");
    }
    EXPECT_EQ(c->extension<clap_plugin_latency_t>(CLAP_EXT_LATENCY)->get(c->plugin()), 0u);

    const struct {
        clap_id id;
        const char* name;
        double min, max, def;
        uint32_t flags;
    } expected[] = {
        {0, "HF Gain", -20, 20, 0, 0},          {1, "LF Gain", -20, 20, 0, 0},
        {2, "Mid Freq", 200, 4000, 894.43, 0},  {3, "Mid Gain", -20, 20, 0, 0},
        {4, "LF Freq", 100, 200, 141.42, 0},    {5, "HF Freq", 4000, 8000, 5656.85, 0},
        {6, "Mid BW", 0.5, 2, 1.25, 0},         {7, "Effect", 0, 1, 1, CLAP_PARAM_IS_STEPPED},
        {kBypass, "Bypass", 0, 1, 0, CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_BYPASS},
    };
    const std::vector<clap_param_info_t> params = c->params();
    ASSERT_EQ(params.size(), 9u);
    for (size_t i = 0; i < params.size(); ++i) {
        const auto& e = expected[i];
        const clap_param_info_t& p = params[i];
        EXPECT_TRUE(p.id == e.id && p.name == std::string(e.name) && p.flags == (CLAP_PARAM_IS_AUTOMATABLE | e.flags))
            << i << " " << p.name;
        EXPECT_NEAR(p.min_value, e.min, 1e-3) << i;
        EXPECT_NEAR(p.max_value, e.max, 1e-3) << i;
        EXPECT_NEAR(p.default_value, e.def, 5e-3) << i;
        EXPECT_EQ(c->value(p.id), p.default_value) << i;
    }

    // value_to_text is VST 2's getParameterDisplay; text_to_value reads it
    // back with or without its unit.
    auto vst2 = test_support::load();
    const auto* ext = c->extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    for (clap_id id = 0; id < 8; ++id) {
        for (float n : {0.0f, 0.13f, 0.5f, 0.8f, 1.0f}) {
            vst2->set_parameter(static_cast<VstInt32>(id), n);
            const std::string text = c->text(id, plain(id, n));
            EXPECT_EQ(text, vst2->parameter_display(static_cast<VstInt32>(id))) << id << " at " << n;
            for (std::string t : {text, text.substr(0, text.find(' '))}) {
                double back = -1e9;
                EXPECT_TRUE(ext->text_to_value(c->plugin(), id, t.c_str(), &back)) << t;
                EXPECT_NEAR(back, id == 7 ? (n > 0.5f) : plain(id, n), 0.006) << t;
            }
        }
    }
    double v = 0;
    EXPECT_TRUE(c->text(kBypass, 1) == "Bypassed" && c->text(kBypass, 0) == "Active");
    EXPECT_TRUE(ext->text_to_value(c->plugin(), kBypass, " bypassed ", &v) && v == 1);
    EXPECT_TRUE(ext->text_to_value(c->plugin(), 0, "99 dB", &v) && v == 20);  // held within the range
    EXPECT_FALSE(ext->text_to_value(c->plugin(), 2, "loud", &v) ||
                 ext->text_to_value(c->plugin(), 8, "0", &v) || ext->text_to_value(c->plugin(), 3, "nan dB", &v));
    EXPECT_TRUE(c->text(8, 0).empty() && c->text(0, NAN).empty() && std::isnan(c->value(8)));
}

// Values a host sets before activation sound as the VST 2 plug-in's set
// before resume, bit for bit, in separate buffers and in place; the host's
// bypass as effSetBypass.
TEST(Clap, RendersAsTheVst2PluginBitForBit)
{
    const std::vector<float> l = noise(20000, 1), r = noise(20000, 2);
    const std::vector<int> calls = {512, 100, 1, 1000, 64};
    const struct {
        float values[8];
        bool bypass, in_place;
    } rows[] = {
        {{0.8f, 0.3f, 0.7f, 0.15f, 0.9f, 0.2f, 0.6f, 1.0f}, false, false},
        {{0.05f, 1.0f, 0.0f, 0.95f, 0.0f, 1.0f, 0.0f, 1.0f}, false, true},
        {{0.8f, 0.3f, 0.7f, 0.15f, 0.9f, 0.2f, 0.6f, 0.0f}, false, false},
        {{0.8f, 0.3f, 0.7f, 0.15f, 0.9f, 0.2f, 0.6f, 1.0f}, true, false},
    };
    for (const auto& row : rows) {
        auto vst2 = test_support::load();
        std::vector<InEvent> set;
        for (clap_id id = 0; id < 8; ++id) {
            vst2->set_parameter(static_cast<VstInt32>(id), row.values[id]);
            set.push_back({0, id, plain(id, row.values[id])});
        }
        set.push_back({0, kBypass, row.bypass ? 1.0 : 0.0});
        vst2->dispatch(effSetBypass, 0, row.bypass);
        vst2->start(48000.0f, 1000);
        std::vector<float> vst2_r, clap_r;
        const std::vector<float> vst2_l = test_support::process(*vst2, l, r, calls, &vst2_r);

        auto c = load_clap();
        ASSERT_TRUE(c);
        c->flush(set);
        ASSERT_TRUE(c->activate(48000.0, 1000));
        const std::vector<float> clap_l = render(*c, l, r, calls, &clap_r, {}, row.in_place);
        EXPECT_TRUE(identical(clap_l, vst2_l) && identical(clap_r, vst2_r)) << "row " << &row - rows;
        EXPECT_TRUE(row.bypass || row.values[7] < 0.5f || !identical(clap_l, l));
    }
}

// Value events take effect at their frame: one CLAP call equals VST 2
// calls cut at the events' frames with the change between them. Events that
// are not ours (unknown id, other space or type, NaN) change nothing.
TEST(Clap, ValueEventsTakeEffectAtTheirFrame)
{
    const std::vector<float> l = noise(3000, 3), r = noise(3000, 4);
    auto vst2 = test_support::load(48000.0f, 3000);
    std::vector<float> out_l, out_r, part_r;
    auto play = [&](int from, int to) {
        const std::vector<float> a(l.begin() + from, l.begin() + to), b(r.begin() + from, r.begin() + to);
        const std::vector<float> pl = test_support::process(*vst2, a, b, {to - from}, &part_r);
        out_l.insert(out_l.end(), pl.begin(), pl.end());
        out_r.insert(out_r.end(), part_r.begin(), part_r.end());
    };
    vst2->set_parameter(0, 0.9f);
    play(0, 100);
    vst2->set_parameter(1, 0.1f), vst2->set_parameter(2, 0.7f);
    play(100, 613);
    vst2->dispatch(effSetBypass, 0, 1);
    play(613, 1700);
    vst2->dispatch(effSetBypass, 0, 0), vst2->set_parameter(6, 1.0f);
    play(1700, 3000);

    const std::vector<InEvent> events = {
        {0, 0, plain(0, 0.9f)},
        {50, 8, 1.0},                                          // not a parameter
        {60, 3, NAN},                                          // not a value
        {70, 3, 10.0, CLAP_EVENT_NOTE_ON},                     // not a value event
        {80, 3, 10.0, CLAP_EVENT_PARAM_MOD},                   // modulation is not offered
        {90, 3, 10.0, CLAP_EVENT_PARAM_VALUE, 1},              // another event space
        {100, 1, plain(1, 0.1f)}, {100, 2, plain(2, 0.7f)},
        {613, kBypass, 1.0},
        {1700, kBypass, 0.0}, {1700, 6, 7.0},                  // beyond the range: held at 2 octaves
    };
    auto c = load_clap();
    ASSERT_TRUE(c && c->activate(48000.0, 4096));
    std::vector<float> clap_r;
    const std::vector<float> clap_l = render(*c, l, r, {3000}, &clap_r, events);
    EXPECT_TRUE(identical(clap_l, out_l) && identical(clap_r, out_r));
    EXPECT_TRUE(c->value(3) == 0 && c->value(6) == 2 && c->value(kBypass) == 0 && c->value(0) == plain(0, 0.9f));
}

// The state is the VST 2 bank chunk: a VST 2 bank restores a CLAP instance
// read in one-byte pieces and is written back the same in five-byte pieces,
// restores a fresh instance, and a CLAP change goes back into VST 2.
// Damaged states (the chunk tests' table, and streams too short, too long or
// failing) are refused and change nothing.
TEST(Clap, StateIsTheVst2BankChunkAndDamagedStatesChangeNothing)
{
    auto vst2 = test_support::load();
    vst2->dispatch(effSetProgram, 0, 1);
    vst2->set_parameter(1, 0.9f);
    vst2->dispatch(effSetProgram, 0, 6);
    char name[] = "My Vocal";
    vst2->dispatch(effSetProgramName, 0, 0, name);
    vst2->set_parameter(0, 0.25f);
    vst2->set_parameter(8, 0.5f);
    const Bytes bank = vst2_chunk(*vst2, 0), program = vst2_chunk(*vst2, 1);

    auto x = load_clap(), y = load_clap(), z = load_clap();
    ASSERT_TRUE(x && y && z);
    ASSERT_TRUE(x->load(bank, 1));
    EXPECT_TRUE(x->out_events().empty() && x->requests().rescan == 1);
    EXPECT_EQ(x->save(5), bank);
    EXPECT_EQ(x->value(0), -10.0);
    ASSERT_TRUE(y->load(x->save(), 7));
    EXPECT_EQ(y->save(), bank);
    y->flush({{0, 1, -3.0}});
    ASSERT_EQ(vst2->dispatch(effSetChunk, 0, static_cast<VstIntPtr>(bank.size()), y->save().data()), 1);
    EXPECT_TRUE(vst2->get_parameter(1) == 0.425f && vst2->dispatch(effGetProgram) == 6);

    z->flush({{0, 1, 6.0}});
    const Bytes before = z->save();
    struct Case {
        std::string what;
        Bytes bytes;
        size_t fail_at;
    };
    Bytes longer = bank;
    longer.push_back(0);
    std::vector<Case> cases = {{"a program chunk", program, SIZE_MAX}, {"one byte too many", longer, SIZE_MAX},
                               {"empty", {}, SIZE_MAX},                 {"a read error at 300", bank, 300},
                               {"a read error at the end", bank, bank.size()}};
    for (const test_support::damaged_chunk& d : test_support::damaged_chunks(bank, program))
        if (!d.program)
            cases.push_back({d.what, d.bytes, SIZE_MAX});
    for (const Case& k : cases) {
        EXPECT_FALSE(z->load(k.bytes, 64, k.fail_at)) << k.what;
        EXPECT_TRUE(z->save() == before && z->value(1) == 6.0) << k.what;
    }
    EXPECT_TRUE(z->load(bank, 64));
}
