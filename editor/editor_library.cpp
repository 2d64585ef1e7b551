// The plug-in module's load and unload functions. Compiled into the module
// only: a program that links the editor library directly runs the engine's
// loop itself, on a thread of its own.
//
// init (dlopen, the loader's thread): the engine and the font engine, and
// the GUI thread enabled. No thread starts here: the first editor to open
// starts it and the last to close stops and joins it on the host's thread
// (editor_gui_thread.h), so a loaded plug-in without an open editor costs no
// wake-up at all.
// fini (dlclose, under the loader's lock, or exit): by now no editor is
// open, so no thread runs the module's code and none is waited for here; a
// thread that left by itself is joined, which takes no time, and only a
// host that unloads with instances it never closed leaves one running,
// which is stopped and joined as a last resort. Then both engines are freed.

#include <unistd.h>

#include <cstdio>

#include "editor/editor_globals.h"
#include "editor/editor_gui_thread.h"
#include "editor/editor_x_errors.h"

namespace {

constexpr useconds_t kFiniPauseUs = 1000;

__attribute__((constructor)) void init()
{
    if (!G_GUI_engine) {
        G_GUI_engine = new AFX_engine();
        G_FONT_engine = new AFX_font_engine(G_GUI_engine);
    }
    editor_gui_thread_enable();
}

__attribute__((destructor)) void fini()
{
    usleep(kFiniPauseUs);
    if (!G_GUI_engine)
        return;
    // A process that exits from inside one of the engine's Xlib calls (Xlib's
    // default handler of a connection lost during XOpenDisplay calls exit)
    // holds the display mutex, which the GUI thread may be waiting for:
    // neither the thread nor the engine can be stopped, and the process is
    // ending anyway.
    if (G_GUI_engine->display_held_by_caller())
        return;
    editor_gui_thread_disable();
    delete G_GUI_engine;  // closes the display connection
    delete G_FONT_engine;
    G_GUI_engine = nullptr;
    G_FONT_engine = nullptr;
    editor_x_errors_release();
}

}  // namespace
