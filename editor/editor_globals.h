// The process-wide GUI objects every editor shares: the one GUI engine, the
// one font engine and the GUI event thread that runs the engine's loop. The
// plug-in module creates both engines when it is loaded and removes them when
// it is unloaded (editor_library.cpp); the thread runs only while an editor
// is open (editor_gui_thread.h). A program that links the editor directly
// sets them up itself, or leaves them null and gets editors without a window.
#pragma once

#include <pthread.h>

#include "gui_engine/AFX_engine.h"
#include "gui_engine/AFX_font_engine.h"

extern AFX_engine* G_GUI_engine;
extern AFX_font_engine* G_FONT_engine;
extern pthread_t G_gui_event_thread;

// Guards the font engine's foreground colour, which every banner of every
// editor in the process sets before it renders text (CBannerObject::set_text).
extern pthread_mutex_t G_font_mutex;
