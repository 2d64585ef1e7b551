// The VST3 edition through its entry points, driven by the tests' own VST3
// host (tools/vst3_host) and measured against the VST 2 plug-in: the same
// identity, parameters, texts and programs; renders equal bit for bit, with
// the host's parameter points applied at their frames as VST 2 blocks cut
// there; one state chunk for both formats, damaged streams refused; the
// reference counts back to zero; and process() free of blocking calls.
#include <cmath>
#include <cstring>
#include <thread>

#include "tests/support/chunk_cases.h"
#include "tests/support/rig.h"
#include "tools/vst3_host/vst3_host.h"

using namespace test_support;
using namespace vst3;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr ParamID kBypass = 100, kProgram = 101;

struct Instance {
    std::unique_ptr<vst3host::Module> module;
    std::unique_ptr<vst3host::Plugin> plugin;
    vst3host::Plugin* operator->() { return plugin.get(); }
};

Instance load3(double rate = 0.0)
{
    std::string error;
    Instance i;
    i.module = vst3host::Module::load(ZE710_VST3_BUNDLE, &error);
    i.plugin = i.module ? i.module->create(&error) : nullptr;
    EXPECT_TRUE(i.plugin) << error;
    if (i.plugin && rate > 0) {
        EXPECT_TRUE(i.plugin->start(rate, 4096));
    }
    return i;
}

bool identical(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

}  // namespace

TEST(Vst3Module, IdentityBusesParametersAndProgramsAsVst2)
{
    Instance p = load3();
    ASSERT_TRUE(p.plugin);
    auto v2 = load();
    void* obj = nullptr;
    ASSERT_EQ(p.module->factory()->queryInterface(IPluginFactory2::iid.bytes, &obj), kResultOk);
    PClassInfo2 info{};
    ASSERT_EQ(static_cast<IPluginFactory2*>(obj)->getClassInfo2(0, &info), kResultOk);
    char cid[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(cid + 2 * i, 3, "%02X", static_cast<unsigned char>(info.cid[i]));
    EXPECT_STREQ(cid, "85E2DE2212375EEFB92E9E9EF0A4D882");  // the README's class id, for good
    EXPECT_EQ(std::string(info.name) + "|" + info.vendor + "|" + info.subCategories + "|" + info.version,
              "ZE710|Kestrelwood|Fx|EQ|2.3.1");

    // Stereo in and out, 32-bit only, no latency, no tail.
    IComponent* c = p->component();
    IAudioProcessor* a = p->processor();
    BusInfo bus{};
    EXPECT_EQ(c->getBusCount(kAudio, kInput) * 10 + c->getBusCount(kAudio, kOutput), 11);
    EXPECT_EQ(c->getBusCount(kEvent, kInput) + c->getBusCount(kEvent, kOutput), 0);
    ASSERT_EQ(c->getBusInfo(kAudio, kOutput, 0, bus), kResultOk);
    EXPECT_EQ(bus.channelCount, 2);
    SpeakerArrangement stereo = kStereo, mono = kSpeakerL;
    EXPECT_EQ(a->setBusArrangements(&stereo, 1, &stereo, 1), kResultTrue);
    EXPECT_EQ(a->setBusArrangements(&mono, 1, &mono, 1), kResultFalse);
    EXPECT_EQ(a->canProcessSampleSize(kSample64), kResultFalse);
    ProcessSetup doubles{kRealtime, kSample64, 512, 48000.0}, too_slow{kRealtime, kSample32, 512, 4000.0};
    EXPECT_EQ(a->setupProcessing(doubles), kResultFalse);
    EXPECT_EQ(a->setupProcessing(too_slow), kResultFalse);
    EXPECT_EQ(a->getLatencySamples() + a->getTailSamples(), 0u);

    // The eight sound parameters under their VST 2 index, names and texts;
    // the texts read back; then the bypass and the program list.
    IEditController* e = p->controller();
    ASSERT_EQ(e->getParameterCount(), 10);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(p->parameter_title(i), v2->parameter_name(i));
        for (float v : {0.0f, 0.3f, 0.5f, 1.0f}) {
            v2->set_parameter(i, v);
            const std::string text = p->parameter_text(static_cast<ParamID>(i), v);
            EXPECT_EQ(text, v2->parameter_display(i)) << i << " at " << v;
            String128 wide{};
            for (size_t k = 0; k < text.size(); ++k)
                wide[k] = static_cast<char16>(text[k]);
            ParamValue back = -1;
            ASSERT_EQ(e->getParamValueByString(static_cast<ParamID>(i), wide, back), kResultOk) << text;
            EXPECT_EQ(p->parameter_text(static_cast<ParamID>(i), back), text);
        }
    }
    ParameterInfo bypass{}, program{};
    e->getParameterInfo(8, bypass), e->getParameterInfo(9, program);
    EXPECT_TRUE(bypass.id == kBypass && (bypass.flags & ParameterInfo::kIsBypass) && bypass.stepCount == 1);
    EXPECT_TRUE(program.id == kProgram && (program.flags & ParameterInfo::kIsProgramChange) &&
                (program.flags & ParameterInfo::kIsList) && program.stepCount == 8);
    ASSERT_EQ(e->queryInterface(IUnitInfo::iid.bytes, &obj), kResultOk);
    auto* units = static_cast<IUnitInfo*>(obj);
    UnitInfo unit{};
    ProgramListInfo list{};
    ASSERT_EQ(units->getUnitInfo(0, unit), kResultOk);
    ASSERT_EQ(units->getProgramListInfo(0, list), kResultOk);
    EXPECT_EQ(unit.programListId, list.id);
    EXPECT_EQ(list.programCount, 9);
    for (int i = 0; i < 9; ++i) {
        String128 name{};
        ASSERT_EQ(units->getProgramName(list.id, i, name), kResultOk);
        EXPECT_EQ(vst3host::text_of(name), v2->program_name(i));
        EXPECT_EQ(p->parameter_text(kProgram, i / 8.0), v2->program_name(i));
    }
    units->release();
}

// Values set before audio starts (controller, then activation) give the
// VST 2 render bit for bit, whatever the block sizes.
TEST(Vst3Audio, RendersEqualVst2BitForBit)
{
    const std::vector<float> l = noise(6000, 3), r = noise(6000, 4);
    const struct {
        const char* what;
        int program;
        std::vector<std::pair<int, float>> values;
        bool bypass;
    } cases[] = {
        {"defaults", 0, {}, false},
        {"program 05 with both shelves up", 4, {{0, 1.0f}, {1, 1.0f}}, false},
        {"every band moved", 0, {{0, 0.1f}, {1, 0.9f}, {2, 0.2f}, {3, 0.8f}, {4, 0.3f}, {5, 0.7f}, {6, 0.0f}}, false},
        {"bypassed by the host", 7, {}, true},
        {"Effect out", 6, {{7, 0.0f}}, false},
    };
    for (const auto& c : cases) {
        auto v2 = load();
        Instance v3 = load3();
        v2->dispatch(effSetProgram, 0, c.program);
        v3->controller()->setParamNormalized(kProgram, c.program / 8.0);
        for (auto [index, value] : c.values) {
            v2->set_parameter(index, value);
            v3->controller()->setParamNormalized(static_cast<ParamID>(index), value);
        }
        v2->dispatch(effSetBypass, 0, c.bypass);
        v3->controller()->setParamNormalized(kBypass, c.bypass);
        v2->start(48000.0f, 4096);
        ASSERT_TRUE(v3->start(48000.0, 4096));
        std::vector<float> r2, r3;
        const std::vector<int> calls = {1, 63, 64, 65, 200, 512, 95, 2000};
        const std::vector<float> l2 = process(*v2, l, r, calls, &r2), l3 = v3->render(l, r, {4096}, &r3);
        EXPECT_TRUE(identical(l2, l3) && identical(r2, r3)) << c.what;
        if (c.program == 4) {
            EXPECT_FALSE(identical(l3, l));
        }
    }
}

// Points in the host's queues take effect at their frames: one 2048-frame
// call with changes of a shelf, the Effect switch, the bypass and the
// program equals VST 2 blocks cut at those frames with each change between
// them. A point out of order applies at once; a call without audio still
// applies its changes.
TEST(Vst3Audio, QueuePointsApplyAtTheirFramesAsVst2BlocksCutThere)
{
    const std::vector<float> l = noise(4096, 8), r = noise(4096, 9);
    auto v2 = load(48000.0f);
    Instance v3 = load3(48000.0);
    vst3host::ParameterChanges changes;
    changes.add(1, 100, 1.0);        // LF +20 dB at 100
    changes.add(0, 300, 0.2);        // HF -12 dB at 300
    changes.add(1, 700, 0.25);       // LF again at 700
    changes.add(1, 650, 0.75);       //   and a point out of order: at once (700)
    changes.add(kBypass, 1000, 1.0); // bypassed at 1000
    changes.add(kBypass, 1400, 0.0);
    changes.add(7, 1400, 0.0);       // Effect out at 1400, same frame
    changes.add(kProgram, 1800, 0.5);  // program 5 at 1800
    std::vector<float> l3(4096), r3(4096);
    ASSERT_EQ(v3->process(l.data(), r.data(), l3.data(), r3.data(), 2048, &changes), kResultOk);
    vst3host::ParameterChanges later;
    later.add(3, 0, 1.0);  // with no audio: Mid +20 dB
    ASSERT_EQ(v3->process(nullptr, nullptr, nullptr, nullptr, 0, &later), kResultOk);
    v3->process(&l[2048], &r[2048], &l3[2048], &r3[2048], 2048);

    std::vector<float> l2, r2;
    auto run = [&](size_t to) {
        std::vector<float> a(l.begin() + l2.size(), l.begin() + to), b(r.begin() + r2.size(), r.begin() + to), rr;
        const std::vector<float> ll = process(*v2, a, b, {static_cast<int>(a.size())}, &rr);
        l2.insert(l2.end(), ll.begin(), ll.end()), r2.insert(r2.end(), rr.begin(), rr.end());
    };
    run(100), v2->set_parameter(1, 1.0f);
    run(300), v2->set_parameter(0, 0.2f);
    run(700), v2->set_parameter(1, 0.25f), v2->set_parameter(1, 0.75f);
    run(1000), v2->dispatch(effSetBypass, 0, 1);
    run(1400), v2->dispatch(effSetBypass, 0, 0), v2->set_parameter(7, 0.0f);
    run(1800), v2->dispatch(effSetProgram, 0, 4);
    run(2048), v2->set_parameter(3, 1.0f);
    run(4096);
    EXPECT_TRUE(identical(l2, l3) && identical(r2, r3));
    // A block that ignored the frames (all changes at 0) sounds different.
    Instance early = load3(48000.0);
    vst3host::ParameterChanges at_once;
    at_once.add(1, 0, 1.0);
    std::vector<float> le(2048), re(2048);
    early->process(l.data(), r.data(), le.data(), re.data(), 2048, &at_once);
    EXPECT_NE(0, std::memcmp(le.data(), l3.data(), 2048 * sizeof(float)));
}

// The component's state is the VST 2 bank chunk: the same bytes for the
// same edits, taken by a fresh instance (read in small pieces) and by the
// VST 2 plug-in; the controller follows. Damaged or foreign streams change
// nothing.
TEST(Vst3State, OneChunkForBothFormatsAndDamagedStreamsRefused)
{
    auto v2 = load();
    Instance a = load3();
    v2->dispatch(effSetProgram, 0, 1), a->set(kProgram, 1 / 8.0);
    v2->set_parameter(1, 0.9f), a->set(1, 0.9f);  // program 2's edit
    v2->dispatch(effSetProgram, 0, 6), a->set(kProgram, 6 / 8.0);
    v2->set_parameter(0, 0.25f), a->set(0, 0.25f);
    void* chunk = nullptr;
    const VstIntPtr n = v2->dispatch(effGetChunk, 0, 0, &chunk);
    const Bytes state = a->state();
    ASSERT_EQ(state.size(), 528u);
    EXPECT_EQ(state, Bytes(static_cast<uint8_t*>(chunk), static_cast<uint8_t*>(chunk) + n));

    Instance b = load3();
    ASSERT_EQ(b->set_state(state, 7), kResultOk);
    EXPECT_TRUE(b->handler().calls().empty());  // a restore is no edit
    EXPECT_EQ(b->state(), state);
    EXPECT_EQ(b->controller()->getParamNormalized(kProgram), 6 / 8.0);
    EXPECT_EQ(b->controller()->getParamNormalized(0), 0.25f);
    b->controller()->setParamNormalized(kProgram, 1 / 8.0);
    EXPECT_EQ(b->controller()->getParamNormalized(1), 0.9f);

    // Refused: the shared table, program chunks, nothing, a bare header, a
    // header announcing 2 GiB.
    v2->dispatch(effGetChunk, 1, 0, &chunk);
    const Bytes program(static_cast<uint8_t*>(chunk), static_cast<uint8_t*>(chunk) + 68);
    std::vector<damaged_chunk> cases;
    for (const damaged_chunk& d : damaged_chunks(state, program))
        if (!d.program)  // those are VST 2's program chunks; one stands below
            cases.push_back(d);
    Bytes huge(state.begin(), state.begin() + 12);
    huge[11] = 0x7f;
    cases.push_back({"a valid program chunk", program, false});
    cases.push_back({"an empty stream", Bytes(), false});
    cases.push_back({"a header only", Bytes(state.begin(), state.begin() + 12), false});
    cases.push_back({"a payload of 2 GiB announced", huge, false});
    Instance c = load3();
    const Bytes before = c->state();
    for (const damaged_chunk& d : cases) {
        vst3host::MemoryStream stream(d.bytes, 5);
        EXPECT_EQ(c->component()->setState(&stream), kResultFalse) << d.what;
        vst3host::MemoryStream again(d.bytes);
        EXPECT_EQ(c->controller()->setComponentState(&again), kResultFalse) << d.what;
        EXPECT_EQ(c->state(), before) << d.what;
    }
    EXPECT_EQ(c->set_state(state), kResultOk);  // the undamaged chunk still applies
}

// Every reference a host takes comes back: the instance goes with the last
// release, a view keeps it alive until the view goes too.
TEST(Vst3Life, ReferenceCountsBackToZero)
{
    Instance p = load3();
    IComponent* c = p->component();
    void* obj = nullptr;
    ASSERT_EQ(c->queryInterface(IUnitInfo::iid.bytes, &obj), kResultOk);
    EXPECT_EQ(static_cast<IUnitInfo*>(obj)->release(), 3u);  // component, processor, controller
    EXPECT_EQ(c->queryInterface(IPlugView::iid.bytes, &obj), kNoInterface);
    IPlugView* view = p->controller()->createView("editor");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(p->controller()->createView("editor"), nullptr);  // one at a time
    EXPECT_EQ(p->controller()->createView("other"), nullptr);
    EXPECT_EQ(p->handler().references(), 1u);  // the instance holds the host's handler
    EXPECT_EQ(p->release_all(), 1u);           // the view holds the instance
    EXPECT_EQ(p->handler().references(), 0u);
    EXPECT_EQ(view->release(), 0u);

    Instance q = load3();
    q->controller()->createView("editor")->release();
    EXPECT_EQ(q->release_all(), 0u);
}

// process() on an audio thread with every kind of queue point, blocks of 0
// to 4096 frames and values out of range: no blocking call, finite output.
TEST(Vst3Realtime, ProcessMakesNoBlockingCall)
{
    const rt_probe probe;
    ASSERT_RT_PROBE_READY(probe);
    Instance p = load3(48000.0);
    long non_finite = 0;
    std::thread([&] {
        std::vector<float> l(4096), r(4096);
        vst3host::ParameterChanges changes;
        const int sizes[] = {4096, 0, 1, 31, 64, 65, 1000};
        for (int round = 0; round < 400; ++round) {
            changes.clear();
            const int n = sizes[round % 7];
            for (ParamID id : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 100u, 101u, 555u})
                changes.add(id, (round * 37 + static_cast<int>(id)) % (n + 1), ((round * 7 + id) % 13) / 10.0 - 0.1);
            for (size_t i = 0; i < l.size(); ++i)
                r[i] = -(l[i] = static_cast<float>((round * 7919 + i * 104729) % 2000) / 4000 - 0.25f);
            {
                rt_region region(probe);
                p->process(l.data(), r.data(), l.data(), r.data(), n, &changes);
            }
            for (int i = 0; i < n; ++i)
                non_finite += !std::isfinite(l[i]) + !std::isfinite(r[i]);
        }
    }).join();
    char report[512] = "";
    EXPECT_EQ(probe.blocking_calls(report, sizeof report), 0u) << report;
    EXPECT_EQ(non_finite, 0);
}
