// Throughput of LV2 equalisers at 48 kHz in 512-frame blocks, three bands at
// non-zero gain each, in ns per stereo frame: ZE710's LV2 run() (loaded from
// the build's bundle), ZE710's VST 2 processReplacing and VST3 process()
// through their entry points, ZE710's CLAP process() through clap_entry
// (tools/clap_host), and the LV2 equalisers Debian packages in /usr/lib/lv2: x42's fil4,
// Ardour's a-EQ (mono: two instances for a stereo signal) and LSP's
// parametric equaliser. A peer that is not installed, or that needs a host
// feature this bench does not offer, is reported as skipped.
//
//   bench_lv2 [--benchmark_repetitions=N ...]
//
// Peers are looked up in /usr/lib/lv2 only (where Debian installs them), so
// that a ZE710 bundle installed in ~/.lv2 never stands in for the build's.
#include <benchmark/benchmark.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/clap_host/clap_host.h"
#include "tools/host/vst_host.h"
#include "tools/vst3_host/vst3_host.h"

namespace {

constexpr double kRate = 48000.0;
constexpr uint32_t kBlock = 512;
constexpr uint32_t kAtomCapacity = 8192;

std::vector<float> noise(size_t n, uint32_t seed)
{
    std::vector<float> v(n);
    for (float& s : v)
        s = static_cast<float>((seed = seed * 1664525u + 1013904223u) >> 8) / 33554432.0f - 0.25f;
    return v;
}

struct Peer {
    const char* name;
    const char* uri;
    int instances;  // 2 for a mono plug-in on a stereo signal
    std::map<std::string, float> controls;  // by port symbol, real units
};

const Peer kPeers[] = {
    {"ZE710 LV2", "http://kestrelwood.com/plugins/ze710", 1, {{"hf_gain", 12}, {"lf_gain", 8}, {"mid_gain", -8}}},
    {"x42 fil4 stereo", "http://gareus.org/oss/lv2/fil4#stereo", 1,
     {{"LSgain", 8}, {"freq2", 1000}, {"gain2", -8}, {"HSgain", 12}, {"sec1", 0}, {"sec3", 0}, {"sec4", 0}}},
    {"Ardour a-EQ (mono x2)", "urn:ardour:a-eq", 2,
     {{"gl", 8}, {"freq2", 1000}, {"g2", -8}, {"gh", 12}, {"filtog1", 0}, {"filtog3", 0}, {"filtog4", 0}}},
    {"LSP Parametric Equalizer x16 Stereo (3 bands)", "http://lsp-plug.in/plugins/lv2/para_equalizer_x16_stereo", 1,
     {{"ft_0", 5}, {"f_0", 150}, {"g_0", 2.512f}, {"q_0", 0.7f}, {"ft_1", 1}, {"f_1", 1000}, {"g_1", 0.398f},
      {"q_1", 0.7f}, {"ft_2", 3}, {"f_2", 6000}, {"g_2", 3.981f}, {"q_2", 0.7f}}},
};

// The host side every instance shares: URIDs, options and the features.
struct Host {
    Host()
    {
        setenv("LV2_PATH", "/usr/lib/lv2", 1);
        world = lilv_world_new();
        lilv_world_load_all(world);
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, ZE710_LV2_BUNDLE);
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);

        map = {this, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<Host*>(h)->urid(uri); }};
        const LV2_URID int_type = urid(LV2_ATOM__Int), float_type = urid(LV2_ATOM__Float);
        options = {
            {LV2_OPTIONS_INSTANCE, 0, urid(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t), int_type, &min_block},
            {LV2_OPTIONS_INSTANCE, 0, urid(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), int_type, &max_block},
            {LV2_OPTIONS_INSTANCE, 0, urid(LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t), int_type, &max_block},
            {LV2_OPTIONS_INSTANCE, 0, urid(LV2_PARAMETERS__sampleRate), sizeof(float), float_type, &rate},
            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
        };
        feature_list = {{LV2_URID__map, &map}, {LV2_OPTIONS__options, options.data()},
                        {LV2_BUF_SIZE__boundedBlockLength, nullptr}};
        for (LV2_Feature& f : feature_list)
            features.push_back(&f);
        features.push_back(nullptr);
    }
    ~Host() { lilv_world_free(world); }

    LV2_URID urid(const char* uri)
    {
        auto [it, added] = urids.emplace(uri, static_cast<LV2_URID>(urids.size() + 1));
        return it->second;
    }
    bool offers(const char* feature) const
    {
        for (const LV2_Feature& f : feature_list)
            if (std::strcmp(f.URI, feature) == 0)
                return true;
        return false;
    }

    LilvWorld* world;
    std::map<std::string, LV2_URID> urids;
    LV2_URID_Map map;
    int32_t min_block = 1, max_block = kBlock;
    float rate = static_cast<float>(kRate);
    std::vector<LV2_Options_Option> options;
    std::vector<LV2_Feature> feature_list;
    std::vector<const LV2_Feature*> features;
};

Host& host()
{
    static Host h;
    return h;
}

// One plug-in instance with every port connected: audio channel `channel`
// (and the next one, for a stereo plug-in), controls at their defaults
// unless set, atom and CV ports on buffers of their own.
class Instance {
public:
    Instance(const LilvPlugin* plugin, const Peer& peer, float** in, float** out, std::string* error)
    {
        Host& h = host();
        LilvNodes* required = lilv_plugin_get_required_features(plugin);
        LILV_FOREACH (nodes, i, required) {
            const char* feature = lilv_node_as_uri(lilv_nodes_get(required, i));
            if (!h.offers(feature))
                *error = std::string("needs ") + feature;
        }
        lilv_nodes_free(required);
        if (!error->empty())
            return;
        instance = lilv_plugin_instantiate(plugin, kRate, h.features.data());
        if (!instance) {
            *error = "cannot be instantiated";
            return;
        }
        const uint32_t n = lilv_plugin_get_num_ports(plugin);
        values.assign(n, 0.0f);
        std::vector<float> defaults(n);
        lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
        LilvNode* audio = lilv_new_uri(h.world, LV2_CORE__AudioPort);
        LilvNode* control = lilv_new_uri(h.world, LV2_CORE__ControlPort);
        LilvNode* input = lilv_new_uri(h.world, LV2_CORE__InputPort);
        LilvNode* atom = lilv_new_uri(h.world, LV2_ATOM__AtomPort);
        int audio_in = 0, audio_out = 0;
        for (uint32_t p = 0; p < n; ++p) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
            const bool is_input = lilv_port_is_a(plugin, port, input);
            void* data = nullptr;
            if (lilv_port_is_a(plugin, port, audio)) {
                data = is_input ? in[audio_in++] : out[audio_out++];
            } else if (lilv_port_is_a(plugin, port, control)) {
                const auto set = peer.controls.find(lilv_node_as_string(lilv_port_get_symbol(plugin, port)));
                values[p] = set != peer.controls.end() ? set->second : (std::isnan(defaults[p]) ? 0.0f : defaults[p]);
                data = &values[p];
            } else {  // atom ports get an empty sequence, anything else silence
                buffers.emplace_back(kAtomCapacity / sizeof(uint64_t), 0);
                data = buffers.back().data();
                if (lilv_port_is_a(plugin, port, atom)) {
                    auto* seq = static_cast<LV2_Atom_Sequence*>(data);
                    seq->atom.type = h.urid(is_input ? LV2_ATOM__Sequence : LV2_ATOM__Chunk);
                    seq->atom.size = is_input ? sizeof(LV2_Atom_Sequence_Body) : kAtomCapacity - sizeof(LV2_Atom);
                    if (!is_input)
                        atom_outputs.push_back(seq);
                }
            }
            lilv_instance_connect_port(instance, p, data);
        }
        for (LilvNode* node : {audio, control, input, atom})
            lilv_node_free(node);
        lilv_instance_activate(instance);
    }
    ~Instance()
    {
        if (instance) {
            lilv_instance_deactivate(instance);
            lilv_instance_free(instance);
        }
    }
    void run()
    {
        for (LV2_Atom_Sequence* seq : atom_outputs)  // the plug-in's capacity again
            seq->atom.size = kAtomCapacity - sizeof(LV2_Atom);
        lilv_instance_run(instance, kBlock);
    }

private:
    LilvInstance* instance = nullptr;
    std::vector<float> values;
    std::vector<std::vector<uint64_t>> buffers;
    std::vector<LV2_Atom_Sequence*> atom_outputs;
};

void report_per_frame(benchmark::State& state)
{
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.counters["ns_per_stereo_frame"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kBlock, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Lv2Run(benchmark::State& state, const Peer* peer)
{
    Host& h = host();
    LilvNode* uri = lilv_new_uri(h.world, peer->uri);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(h.world), uri);
    lilv_node_free(uri);
    if (!plugin) {
        state.SkipWithError("not installed");
        return;
    }
    std::vector<float> l = noise(kBlock, 1), r = noise(kBlock, 2), out_l(kBlock), out_r(kBlock);
    float* ins[] = {l.data(), r.data()};
    float* outs[] = {out_l.data(), out_r.data()};
    std::vector<std::unique_ptr<Instance>> instances;
    for (int k = 0; k < peer->instances; ++k) {
        std::string error;
        instances.push_back(std::make_unique<Instance>(plugin, *peer, ins + k, outs + k, &error));
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    for (auto _ : state) {
        for (auto& instance : instances)
            instance->run();
        benchmark::DoNotOptimize(out_l.data());
        benchmark::DoNotOptimize(out_r.data());
        benchmark::ClobberMemory();
    }
    report_per_frame(state);
}

void BM_Vst2ProcessReplacing(benchmark::State& state)
{
    std::string error;
    std::unique_ptr<vsthost::VstPlugin> plugin = vsthost::VstPlugin::load(ZE710_PLUGIN_PATH, &error);
    if (!plugin) {
        state.SkipWithError(error.c_str());
        return;
    }
    plugin->set_parameter(0, 0.8f);  // HF +12 dB
    plugin->set_parameter(1, 0.7f);  // LF +8 dB
    plugin->set_parameter(3, 0.3f);  // Mid -8 dB
    plugin->start(static_cast<float>(kRate), kBlock);
    std::vector<float> l = noise(kBlock, 1), r = noise(kBlock, 2), out_l(kBlock), out_r(kBlock);
    float* ins[] = {l.data(), r.data()};
    float* outs[] = {out_l.data(), out_r.data()};
    for (auto _ : state) {
        plugin->process(ins, outs, kBlock);
        benchmark::DoNotOptimize(out_l.data());
        benchmark::ClobberMemory();
    }
    report_per_frame(state);
}

// The same settings through the VST3 edition's controller before it starts,
// the host's usual empty parameter changes with every block.
void BM_Vst3Process(benchmark::State& state)
{
    std::string error;
    std::unique_ptr<vst3host::Module> module = vst3host::Module::load(ZE710_VST3_BUNDLE, &error);
    std::unique_ptr<vst3host::Plugin> plugin = module ? module->create(&error) : nullptr;
    if (!plugin) {
        state.SkipWithError(error.c_str());
        return;
    }
    plugin->controller()->setParamNormalized(0, 0.8);  // HF +12 dB
    plugin->controller()->setParamNormalized(1, 0.7);  // LF +8 dB
    plugin->controller()->setParamNormalized(3, 0.3);  // Mid -8 dB
    if (!plugin->start(kRate, kBlock)) {
        state.SkipWithError("the plug-in refuses 48 kHz");
        return;
    }
    std::vector<float> l = noise(kBlock, 1), r = noise(kBlock, 2), out_l(kBlock), out_r(kBlock);
    vst3host::ParameterChanges none;
    for (auto _ : state) {
        plugin->process(l.data(), r.data(), out_l.data(), out_r.data(), kBlock, &none);
        benchmark::DoNotOptimize(out_l.data());
        benchmark::ClobberMemory();
    }
    report_per_frame(state);
}

// The same settings in plain units before activation, through the CLAP
// edition's params.flush, and no events with the blocks.
void BM_ClapProcess(benchmark::State& state)
{
    std::string error;
    std::unique_ptr<claphost::ClapPlugin> plugin = claphost::ClapPlugin::load(ZE710_CLAP_PATH, &error);
    if (!plugin) {
        state.SkipWithError(error.c_str());
        return;
    }
    plugin->flush({{0, 0, 12.0}, {0, 1, 8.0}, {0, 3, -8.0}});  // HF +12, LF +8, Mid -8 dB
    if (!plugin->activate(kRate, kBlock)) {
        state.SkipWithError("the plug-in refuses 48 kHz");
        return;
    }
    std::vector<float> l = noise(kBlock, 1), r = noise(kBlock, 2), out_l(kBlock), out_r(kBlock);
    float* const ins[] = {l.data(), r.data()};
    float* const outs[] = {out_l.data(), out_r.data()};
    const std::vector<claphost::InEvent> none;
    for (auto _ : state) {
        plugin->process(ins, outs, kBlock, none);
        benchmark::DoNotOptimize(out_l.data());
        benchmark::ClobberMemory();
    }
    report_per_frame(state);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::RegisterBenchmark("ZE710 VST2 processReplacing", BM_Vst2ProcessReplacing)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("ZE710 VST3 process", BM_Vst3Process)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("ZE710 CLAP process", BM_ClapProcess)->Unit(benchmark::kMicrosecond);
    for (const Peer& peer : kPeers)
        benchmark::RegisterBenchmark(peer.name, BM_Lv2Run, &peer)->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
