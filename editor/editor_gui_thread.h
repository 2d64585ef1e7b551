// The GUI event thread of the plug-in module, run only while an editor is
// open: the first editor that opens starts it, the last one that closes (or
// is destroyed without closing) stops it and joins it on the host's thread.
// A loaded plug-in without an open editor thus has no thread of its own, and
// the module's unload finds nothing to wait for under the loader's lock.
//
// Every editor counts once between its open and its close or destruction,
// whatever happened to its window meanwhile (closed by the window manager,
// destroyed with the host's window, lost with the X server).
//
// Programs that link the editor and run the engine's loop themselves never
// enable the thread; the calls below then only count.
#pragma once

// Module load (the loader's thread): editors start the thread from now on.
void editor_gui_thread_enable();
// Module unload: stops and joins a thread that is still there, which only a
// host that unloads the module with instances never closed leaves behind,
// and disables. Returns whether there was one.
bool editor_gui_thread_disable();

// Host thread, an editor opening. False when the thread was needed and could
// not be created (the message is printed); the editor then does not open.
bool editor_gui_thread_acquire();
// Host thread, an editor closed or destroyed. Called on the GUI thread
// itself (a host that closes an editor from inside a callback), the thread
// is never joined there: it stays, idle, for the next release on a host
// thread or the module's unload.
void editor_gui_thread_release();

// Whether the thread exists (started and not yet joined).
bool editor_gui_thread_running();
