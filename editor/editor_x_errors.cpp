#include "editor/editor_x_errors.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "editor/editor_globals.h"

namespace {

std::mutex install_mutex;
bool installed = false;  // install_mutex
std::atomic<XErrorHandler> replaced_handler{nullptr};

int editor_x_error_handler(Display* display, XErrorEvent* event)
{
    AFX_engine* engine = G_GUI_engine;
    if (engine && display && display == engine->get_xdisplay()) {
        std::fputs("ZOKA-UI Engine: XErrorHandler trapped non-fatal X11 problem :(\n", stdout);
        std::fflush(stdout);
        return 0;
    }
    XErrorHandler replaced = replaced_handler.load();
    return replaced ? replaced(display, event) : 0;
}

}  // namespace

void editor_x_errors_install()
{
    std::lock_guard<std::mutex> lock(install_mutex);
    if (installed || !G_GUI_engine)
        return;
    // The engine's trap swaps the handler under the display mutex and puts
    // back whatever it found: taking that mutex keeps a trap from restoring
    // a stale handler over this one.
    G_GUI_engine->afx_lock_display();
    replaced_handler = XSetErrorHandler(editor_x_error_handler);
    G_GUI_engine->afx_unlock_display();
    installed = true;
}

void editor_x_errors_release()
{
    std::lock_guard<std::mutex> lock(install_mutex);
    if (!installed)
        return;
    XErrorHandler current = XSetErrorHandler(replaced_handler.load());
    if (current != editor_x_error_handler)
        XSetErrorHandler(current);
    installed = false;
}
