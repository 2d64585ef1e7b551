#include "editor/editor_gui_thread.h"

#include <pthread.h>

#include <cstdio>
#include <mutex>

#include "editor/editor_globals.h"

namespace {

std::mutex lifecycle_mutex;
bool enabled = false;        // lifecycle_mutex
int open_editors = 0;        // lifecycle_mutex
bool thread_exists = false;  // lifecycle_mutex: started and not yet joined
bool joining = false;        // lifecycle_mutex: a host thread joins it, the mutex released
bool quit = false;           // lifecycle_mutex: the thread leaves when its loop returns

// run_engine() also returns when the X connection breaks; the loop then runs
// again without a display and sleeps until the next editor connects.
void* gui_thread_main(void*)
{
    AFX_engine* engine = G_GUI_engine;
    for (;;) {
        engine->run_engine();
        std::lock_guard<std::mutex> lock(lifecycle_mutex);
        if (quit)
            return nullptr;
    }
}

bool start_locked()
{
    quit = false;
    if (pthread_create(&G_gui_event_thread, nullptr, gui_thread_main, nullptr) != 0) {
        std::fputs("** ERROR ** ZE710-VST: Unable to create GUI thread :(\n", stdout);
        std::fflush(stdout);
        return false;
    }
    thread_exists = true;
    return true;
}

bool on_gui_thread_locked()
{
    return thread_exists && pthread_equal(G_gui_event_thread, pthread_self());
}

// The quit flag is set before the stop, so whichever way the loop returns
// the thread sees it. A loop that had just returned for a lost connection
// leaves the stop untaken; it is withdrawn after the join, or the next
// thread's loop would shut down at once, taking a new editor's window along.
// The join happens without the mutex: an editor may open or close
// meanwhile, on another host thread or from a callback on the GUI thread; an
// open during the join gets a new thread once the old one is gone.
void stop_and_join(std::unique_lock<std::mutex>& lock)
{
    quit = true;
    joining = true;
    const pthread_t thread = G_gui_event_thread;
    lock.unlock();
    G_GUI_engine->stop_engine();
    pthread_join(thread, nullptr);
    G_GUI_engine->clear_stop_request();
    lock.lock();
    joining = false;
    thread_exists = false;
    if (enabled && open_editors > 0)
        start_locked();
}

}  // namespace

void editor_gui_thread_enable()
{
    std::lock_guard<std::mutex> lock(lifecycle_mutex);
    enabled = true;
}

bool editor_gui_thread_disable()
{
    std::unique_lock<std::mutex> lock(lifecycle_mutex);
    enabled = false;
    const bool left_behind = thread_exists;
    if (thread_exists && !joining && !on_gui_thread_locked())
        stop_and_join(lock);
    open_editors = 0;
    return left_behind;
}

bool editor_gui_thread_acquire()
{
    std::lock_guard<std::mutex> lock(lifecycle_mutex);
    ++open_editors;
    // While a host thread joins the old thread, it starts the new one.
    if (!enabled || !G_GUI_engine || thread_exists)
        return true;
    if (start_locked())
        return true;
    --open_editors;
    return false;
}

void editor_gui_thread_release()
{
    std::unique_lock<std::mutex> lock(lifecycle_mutex);
    if (open_editors > 0)
        --open_editors;
    if (!enabled || open_editors > 0 || !thread_exists || joining || on_gui_thread_locked())
        return;
    stop_and_join(lock);
}

bool editor_gui_thread_running()
{
    std::lock_guard<std::mutex> lock(lifecycle_mutex);
    return thread_exists;
}
