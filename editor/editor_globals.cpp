#include "editor/editor_globals.h"

AFX_engine* G_GUI_engine = nullptr;
AFX_font_engine* G_FONT_engine = nullptr;
pthread_t G_gui_event_thread;
pthread_mutex_t G_font_mutex = PTHREAD_MUTEX_INITIALIZER;
