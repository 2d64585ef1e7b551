#include "editor/editor_gui_thread.h"

#include <pthread.h>

#include <cstdio>
#include <mutex>

#include "editor/editor_globals.h"

namespace {

// The thread's life, lifecycle_mutex guarding all of it:
//   running   loop_thread runs the loop (and `quit` may ask it to leave);
//   exited    a thread left its loop and ends without touching anything
//             shared; its handle waits in `exited_thread` to be joined,
//             which takes no time, by whoever comes next.
std::mutex lifecycle_mutex;
bool enabled = false;        // editors start the thread
int open_editors = 0;
bool thread_exists = false;  // a thread is running the loop
bool quit = false;           // it leaves when its loop returns
bool joining = false;        // a host thread joins it, lifecycle_mutex released
pthread_t loop_thread;
bool exited_waiting = false;  // exited_thread is still to be joined
pthread_t exited_thread;

// run_engine() also returns when the X connection breaks; the loop then runs
// again without a display and sleeps until the next editor connects.
void* gui_thread_main(void*)
{
    // Named for the host's developers (top -H, gdb) and the tests.
    pthread_setname_np(pthread_self(), "ze710-gui");
    AFX_engine* engine = G_GUI_engine;
    for (;;) {
        engine->run_engine();
        std::lock_guard<std::mutex> lock(lifecycle_mutex);
        if (!quit)
            continue;
        // Unless a host thread is joining it, the thread ends here by itself
        // (it was stopped from one of its own callbacks, or while a callback
        // was still inside the host) and is joined later.
        if (!joining) {
            thread_exists = false;
            exited_waiting = true;
            exited_thread = pthread_self();
        }
        return nullptr;
    }
}

void join_exited_locked()
{
    if (exited_waiting) {
        exited_waiting = false;
        pthread_join(exited_thread, nullptr);
    }
}

bool start_locked()
{
    join_exited_locked();
    quit = false;
    G_GUI_engine->clear_stop_request();
    if (pthread_create(&loop_thread, nullptr, gui_thread_main, nullptr) != 0) {
        std::fputs("** ERROR ** ZE710-VST: Unable to create GUI thread :(\n", stdout);
        std::fflush(stdout);
        return false;
    }
    G_gui_event_thread = loop_thread;
    thread_exists = true;
    return true;
}

bool on_gui_thread_locked()
{
    return thread_exists && pthread_equal(loop_thread, pthread_self());
}

// Asks the running thread to leave. Its windows stay for the next thread:
// an editor may be opening on another host thread right now.
void request_quit_locked()
{
    quit = true;
    G_GUI_engine->stop_engine_keep_windows();
}

// Waits for the thread that was asked to leave, without the mutex: an editor
// may open or close meanwhile, on another host thread or from a callback on
// the GUI thread; an open during the join gets a new thread once the old one
// is gone. A stop the old loop did not take is withdrawn by the new start.
void join_locked(std::unique_lock<std::mutex>& lock)
{
    joining = true;
    const pthread_t thread = loop_thread;
    lock.unlock();
    pthread_join(thread, nullptr);
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
    open_editors = 0;
    const bool left_behind = thread_exists;
    if (thread_exists && !joining && !on_gui_thread_locked()) {
        request_quit_locked();
        join_locked(lock);
    }
    join_exited_locked();
    return left_behind;
}

bool editor_gui_thread_acquire()
{
    std::lock_guard<std::mutex> lock(lifecycle_mutex);
    ++open_editors;
    if (!enabled || !G_GUI_engine)
        return true;
    if (thread_exists) {
        // A thread asked to leave and not yet joined stays for this editor;
        // one a host thread is joining is replaced when the join is done.
        if (quit && !joining) {
            quit = false;
            G_GUI_engine->clear_stop_request();
        }
        return true;
    }
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
    if (!enabled || open_editors > 0 || !thread_exists || joining)
        return;
    request_quit_locked();
    // The thread leaves by itself, to be joined later, when this is the GUI
    // thread (the host closed the last editor from inside one of its
    // callbacks) or while an input handler is still inside a host call: the
    // host may be holding a lock this thread holds too. Otherwise no window
    // is left for a callback to start on, and the join is immediate.
    if (on_gui_thread_locked() || G_GUI_engine->event_callback_running())
        return;
    join_locked(lock);
}

bool editor_gui_thread_running()
{
    std::lock_guard<std::mutex> lock(lifecycle_mutex);
    return thread_exists;
}
