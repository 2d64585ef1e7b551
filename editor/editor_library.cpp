// The plug-in module's load and unload functions. Compiled into the module
// only: a program that links the editor library directly must not get a GUI
// thread it did not ask for.
//
// init (dlopen, the loader's thread): the engine, the font engine and the
// one GUI event thread of the process. Without a display the thread's loop
// only idles; the first editor to open connects.
// fini (dlclose): stops the loop and waits for the thread, so that no thread
// runs the module's code once the host has unmapped it; then frees both
// engines.

#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "editor/editor_globals.h"
#include "editor/editor_x_errors.h"

namespace {

constexpr useconds_t kFiniPauseUs = 1000;
// A loop that left because the X connection broke is started again after
// this pause; the next open connects afresh.
constexpr useconds_t kLoopRestartPauseUs = 10000;

std::atomic<bool> gui_thread_quit{false};
bool gui_thread_started = false;  // the loader's thread only

void* start_ui_thread(void*)
{
    while (!gui_thread_quit.load()) {
        G_GUI_engine->run_engine();
        if (!gui_thread_quit.load())
            usleep(kLoopRestartPauseUs);
    }
    return nullptr;
}

__attribute__((constructor)) void init()
{
    if (!G_GUI_engine) {
        G_GUI_engine = new AFX_engine();
        G_FONT_engine = new AFX_font_engine(G_GUI_engine);
    }
    gui_thread_quit.store(false);
    // Joinable, unlike a fire-and-forget thread: fini must be able to wait
    // for the last instruction of this module that the thread executes.
    if (pthread_create(&G_gui_event_thread, nullptr, start_ui_thread, nullptr) != 0) {
        std::fputs("** ERROR ** ZE710-VST: Unable to create GUI thread :(\n", stdout);
        std::fflush(stdout);
        G_GUI_engine->close_display_connection();
        delete G_GUI_engine;
        delete G_FONT_engine;
        G_GUI_engine = nullptr;
        G_FONT_engine = nullptr;
        return;
    }
    gui_thread_started = true;
}

__attribute__((destructor)) void fini()
{
    usleep(kFiniPauseUs);
    if (!G_GUI_engine)
        return;
    gui_thread_quit.store(true);
    G_GUI_engine->stop_engine();
    if (gui_thread_started) {
        pthread_join(G_gui_event_thread, nullptr);
        gui_thread_started = false;
    }
    delete G_GUI_engine;  // closes the display connection
    delete G_FONT_engine;
    G_GUI_engine = nullptr;
    G_FONT_engine = nullptr;
    editor_x_errors_release();
}

}  // namespace
