// Throughput of the plug-in's audio path at 48 kHz with 512-frame host
// blocks and all three bands at non-zero gain: through the exported entry
// point and processReplacing (as a host calls it), next to the bare engine
// driven with the same 64-frame chunking, so the cost of the framework
// shows as the difference.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "dsp/CLFx.h"
#include "tools/host/vst_host.h"

namespace {

constexpr float kRate = 48000.0f;
constexpr int kBlock = 512;

std::vector<float> noise(size_t n, uint32_t seed)
{
    std::vector<float> v(n);
    for (float& s : v) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<float>(seed >> 8) / 33554432.0f - 0.25f;
    }
    return v;
}

void BM_ProcessReplacing(benchmark::State& state)
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
    plugin->start(kRate, kBlock);
    std::vector<float> l = noise(kBlock, 1), r = noise(kBlock, 2), ol(kBlock), orr(kBlock);
    float* ins[2] = {l.data(), r.data()};
    float* outs[2] = {ol.data(), orr.data()};
    for (auto _ : state) {
        plugin->process(ins, outs, kBlock);
        benchmark::DoNotOptimize(ol.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.counters["ns_per_frame"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kBlock,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ProcessReplacing)->Unit(benchmark::kMicrosecond);

void BM_EngineChunked(benchmark::State& state)
{
    CLFx fx;
    fx.lx_srate(kRate);
    fx.lxs_high_eq_gain(12.0f);
    fx.lxs_low_eq_gain(8.0f);
    fx.lxs_mid_gain(-8.0f);
    fx.lx_init();
    std::vector<float> l = noise(kBlock, 1), r = noise(kBlock, 2), ol(kBlock), orr(kBlock);
    for (auto _ : state) {
        for (int pos = 0; pos < kBlock; pos += lx_max_chunk) {
            fx.lx_recalc(lx_max_chunk);
            fx.lx_prc_block(&l[pos], &r[pos], &ol[pos], &orr[pos], lx_max_chunk);
        }
        benchmark::DoNotOptimize(ol.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.counters["ns_per_frame"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kBlock,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EngineChunked)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
