// Cost of the equaliser engine per stereo frame, driven as the effect drives
// it: one lx_recalc per 64-frame chunk, then one lx_prc per frame (engine_*)
// or one lx_prc_block for the chunk (engine_block_*).
//   steady:  all three bands at non-zero gain, equaliser in, nothing moving.
//   gliding: a new target for every band on every chunk, so each chunk
//            redesigns all three bands and every frame steps their ramps.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "dsp/CLFx.h"

namespace {

constexpr int chunk = lx_max_chunk;
constexpr int signal_frames = 64 * chunk;

struct stereo_signal {
    std::vector<float> l, r;
    stereo_signal() : l(signal_frames), r(signal_frames)
    {
        std::mt19937 rng(1);
        std::normal_distribution<float> noise(0.0f, 0.25f);
        for (int i = 0; i < signal_frames; ++i) {
            l[i] = noise(rng);
            r[i] = noise(rng);
        }
    }
};

void configure(CLFx& e)
{
    e.lx_srate(48000.0f);
    e.lxs_low_eq_gain(6.0f);
    e.lxs_low_eq_fc(120.0f);
    e.lxs_mid_freq(1200.0f);
    e.lxs_mid_gain(-4.0f);
    e.lxs_mid_bandwidth(1.0f);
    e.lxs_high_eq_gain(3.0f);
    e.lxs_high_eq_fc(6000.0f);
    e.lx_init();
}

void run(benchmark::State& state, bool gliding, bool block)
{
    static const stereo_signal in;
    std::vector<float> out_l(signal_frames), out_r(signal_frames);
    CLFx e;
    configure(e);
    int pos = 0;
    bool up = false;
    for (auto _ : state) {
        if (gliding) {
            // Opposite targets in turn: the glides never settle.
            up = !up;
            e.lxs_low_eq_gain(up ? 8.0f : -8.0f);
            e.lxs_mid_gain(up ? 10.0f : -10.0f);
            e.lxs_high_eq_gain(up ? -6.0f : 6.0f);
        }
        e.lx_recalc(chunk);
        if (block) {
            e.lx_prc_block(&in.l[pos], &in.r[pos], &out_l[pos], &out_r[pos], chunk);
        } else {
            for (int i = pos; i < pos + chunk; ++i)
                e.lx_prc(in.l[i], in.r[i], &out_l[i], &out_r[i]);
        }
        benchmark::DoNotOptimize(out_l.data());
        benchmark::DoNotOptimize(out_r.data());
        benchmark::ClobberMemory();
        pos = (pos + chunk) % signal_frames;
    }
    state.counters["per_frame"] =
        benchmark::Counter(double(chunk), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_engine_steady(benchmark::State& state) { run(state, false, false); }
void BM_engine_gliding(benchmark::State& state) { run(state, true, false); }
void BM_engine_block_steady(benchmark::State& state) { run(state, false, true); }
void BM_engine_block_gliding(benchmark::State& state) { run(state, true, true); }

}  // namespace

BENCHMARK(BM_engine_steady);
BENCHMARK(BM_engine_gliding);
BENCHMARK(BM_engine_block_steady);
BENCHMARK(BM_engine_block_gliding);

BENCHMARK_MAIN();
