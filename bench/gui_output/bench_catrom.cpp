// afx_stretch_blit_pixbuf_CATROM2 for the editor's 144 x 510 panel buffer
// into its window image at magnifications 1.5, 2 and 4, and for one knob's
// 48 x 48 rectangle at magnification 4; the plain per-pixel transcription of
// the kernel arithmetic at magnification 4 for comparison. The counter
// "per_pixel" is the time per output pixel.
//
// Run: xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/gui_output/bench_gui_output

#include <benchmark/benchmark.h>

#include "gui_engine/AFX_engine.h"
#include "gui_engine/afx_catrom.h"

#include <memory>
#include <random>

namespace {

constexpr int panel_width = 144;
constexpr int panel_height = 510;
constexpr int knob_size = 48;
constexpr int knob_x = 48;  // a knob in the middle column of the panel
constexpr int knob_y = 200;

struct fixture {
    AFX_engine engine;
    afx_pixbuf* panel = nullptr;
    bool ready = false;
    fixture()
    {
        ready = engine.open_display_connection();
        panel = AFX_engine::afx_pixbuf_new_with_allocation(panel_width, panel_height, -1);
        std::mt19937 rng(1);
        for (int i = 0; i < panel_width * panel_height * 4; ++i)
            panel->pixels[i] = static_cast<unsigned char>(rng() & 255);
    }
    ~fixture() { AFX_engine::afx_pixbuf_destroy_with_allocation(panel); }
};

fixture& shared()
{
    static fixture f;
    return f;
}

void set_per_pixel(benchmark::State& state, double pixels)
{
    state.counters["per_pixel"] = benchmark::Counter(
        pixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_panel(benchmark::State& state, float scale)
{
    fixture& f = shared();
    if (!f.ready) {
        state.SkipWithError("no X display");
        return;
    }
    const int w = static_cast<int>(panel_width * scale + 0.5f);
    const int h = static_cast<int>(panel_height * scale + 0.5f);
    _XImage* img = f.engine.afx_pixmap_create_fixed(w, h);
    for (auto _ : state)
        f.engine.afx_stretch_blit_pixbuf_CATROM2(f.panel, img, 0, 0, w, h, 0, 0, scale);
    set_per_pixel(state, static_cast<double>(w) * h);
    f.engine.afx_pixmap_destroy(img);
}

void BM_knob(benchmark::State& state)
{
    fixture& f = shared();
    if (!f.ready) {
        state.SkipWithError("no X display");
        return;
    }
    const float scale = 4.0f;
    _XImage* img = f.engine.afx_pixmap_create_fixed(panel_width * 4, panel_height * 4);
    const int side = knob_size * 4;
    for (auto _ : state)
        f.engine.afx_stretch_blit_pixbuf_CATROM2(f.panel, img, knob_x * 4, knob_y * 4, side, side,
                                                 0, 0, scale);
    set_per_pixel(state, static_cast<double>(side) * side);
    f.engine.afx_pixmap_destroy(img);
}

void discard_row(void*, int, int, int, const unsigned char* rgb)
{
    benchmark::DoNotOptimize(rgb);
}

// Both resampler cores into a sink that only reads the row: the kernel
// arithmetic without the image's pixel writes.
void BM_core(benchmark::State& state, bool plain)
{
    fixture& f = shared();
    const float scale = 4.0f;
    const int w = panel_width * 4;
    const int h = panel_height * 4;
    for (auto _ : state) {
        if (plain)
            afx_catrom_resample_plain(f.panel, w, h, 0, 0, w, h, 0, 0, scale, discard_row, nullptr);
        else
            afx_catrom_resample(f.panel, w, h, 0, 0, w, h, 0, 0, scale, discard_row, nullptr);
    }
    set_per_pixel(state, static_cast<double>(w) * h);
}

BENCHMARK_CAPTURE(BM_panel, x1_5, 1.5f)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_panel, x2, 2.0f)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_panel, x4, 4.0f)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_knob)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_core, fast_x4, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_core, plain_x4, true)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
