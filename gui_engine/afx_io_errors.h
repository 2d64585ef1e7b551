#pragma once
// Process-wide part of the lost-connection handling (AFX_engine_errors.cpp),
// internal to gui_engine/.
//
// Xlib's default I/O-error handler ends the process. The engine installs, once
// per process, an I/O-error handler that returns for the engine's own displays
// (whose per-display exit handler then marks the connection lost) and hands
// every other display to the handler it replaced, which belongs to the host.

#include <X11/Xlib.h>

// Installs the process-wide handler unless it is installed already. Any thread.
void afx_install_io_error_handler();
// Puts the replaced handler back, unless someone installed another handler
// after ours (that one is left alone). Runs when the library unloads.
void afx_restore_io_error_handler();
// Displays registered here are the engine's own. Up to 16 at a time.
void afx_register_engine_display(Display* display);
void afx_unregister_engine_display(Display* display);
