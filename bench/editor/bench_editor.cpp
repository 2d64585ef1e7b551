// The editor inside the effect with the engine and its event thread made as
// the plug-in module makes them at load, opened into a host window.
//
// BM_full_window_expose: one expose of the whole window (Catmull-Rom scaling
// of the panel into the window image and the transfer to the server, waited
// for), at magnification 1 (editor size 0, scale 1), 2 (size 1, scale 1) and
// 4 (size 1, scale 2).
// BM_gui_thread_load: CPU time of the GUI event thread over 3 s of wall time,
// as a share of one core, with the editor idle and with a host thread setting
// all eight audio parameters every 10 ms; for comparison, the engine's loop
// with no editor open.
#include <benchmark/benchmark.h>

#include <X11/Xlib.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "editor/CEditorGUI.h"
#include "plugin/CPlugEditor.h"
#include "editor/editor_globals.h"
#include "plugin/CPlug.h"

namespace {

// One editor open in a host window, with its own engine at the given scale
// (the engine reads the scale once).
class open_editor {
public:
    open_editor(float ui_size, const char* dpi, bool open = true)
    {
        setenv("ZOKA_UI_DPI", dpi, 1);
        G_GUI_engine = new AFX_engine();
        G_FONT_engine = new AFX_font_engine(G_GUI_engine);
        loop = std::thread([] { G_GUI_engine->run_engine(); });
        // A server that resets when its last client leaves refuses
        // connections for a moment: wait for it.
        for (int i = 0; i < 200 && !(client = XOpenDisplay(nullptr)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!client) {
            std::fputs("bench_editor: no X display\n", stderr);
            std::exit(1);
        }
        plug = std::make_unique<CPlug>(nullptr, CPlug::kNumPrograms, CPlug::kNumParams);
        editor = static_cast<CPlugEditor*>(plug->getEditor())->gui();
        plug->setParameter(8, ui_size);
        ERect* rect = nullptr;
        plug->getEditor()->getRect(&rect);
        host = XCreateSimpleWindow(client, DefaultRootWindow(client), 0, 0,
                                   static_cast<unsigned>(rect->right),
                                   static_cast<unsigned>(rect->bottom), 0, 0, 0);
        XMapWindow(client, host);
        XSync(client, False);
        if (open)
            editor->open(reinterpret_cast<void*>(host));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    ~open_editor()
    {
        editor->close();
        plug.reset();
        XDestroyWindow(client, host);
        XCloseDisplay(client);
        G_GUI_engine->stop_engine();
        loop.join();
        delete G_GUI_engine;
        delete G_FONT_engine;
        G_GUI_engine = nullptr;
        G_FONT_engine = nullptr;
    }
    open_editor(const open_editor&) = delete;
    open_editor& operator=(const open_editor&) = delete;

    double gui_thread_cpu_seconds()
    {
        clockid_t clock;
        pthread_getcpuclockid(loop.native_handle(), &clock);
        timespec t{};
        clock_gettime(clock, &t);
        return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
    }

    std::unique_ptr<CPlug> plug;
    CEditorGUI* editor = nullptr;
    Display* client = nullptr;
    Window host = 0;

private:
    std::thread loop;
};

void BM_full_window_expose(benchmark::State& state)
{
    const float ui_size = state.range(0) / 100.0f;
    const char* dpi = state.range(1) == 2 ? "192" : "96";
    open_editor e(ui_size, dpi);
    const int w = e.editor->get_window_width();
    const int h = e.editor->get_window_height();
    for (auto _ : state) {
        e.editor->expose_handler(0, 0, w, h, e.editor->get_window_index());
        G_GUI_engine->afx_lock_display();
        XSync(G_GUI_engine->get_xdisplay(), False);
        G_GUI_engine->afx_unlock_display();
    }
    state.counters["magnification"] = e.editor->get_magnification();
    state.counters["width"] = w;
    state.counters["height"] = h;
}
BENCHMARK(BM_full_window_expose)
    ->Args({0, 1})
    ->Args({100, 1})
    ->Args({100, 2})
    ->Unit(benchmark::kMillisecond);

void BM_gui_thread_load(benchmark::State& state)
{
    // 0: editor idle, 1: host automation, 2: the loop alone, no editor open.
    const bool automate = state.range(0) == 1;
    open_editor e(0.0f, "96", state.range(0) != 2);
    double share = 0.0;
    for (auto _ : state) {
        const double cpu0 = e.gui_thread_cpu_seconds();
        const auto t0 = std::chrono::steady_clock::now();
        const auto end = t0 + std::chrono::seconds(3);
        for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
            if (automate)
                for (int p = 0; p < 8; ++p)
                    e.plug->setParameter(p, static_cast<float>((i + 7 * p) % 100) / 99.0f);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        share = (e.gui_thread_cpu_seconds() - cpu0) / wall;
    }
    state.counters["gui_thread_core_percent"] = share * 100.0;
}
BENCHMARK(BM_gui_thread_load)->Arg(0)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
