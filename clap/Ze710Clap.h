// One CLAP instance of the equaliser: the host's calls mapped onto the shared
// model (parameter laws, the program bank, the state chunk, the engine
// driver), and the editor's CEditorHost on the other side. The C face the
// host calls (the plug-in record, the extension tables) is clap_entry.cpp.
//
// Values. plain[] holds every parameter's current plain value (clap_params.h
// slots) and is the one truth for the engine, get_value and the editor; the
// bank holds the nine programs, the current one, the editor size and the
// state chunk, its current program following plain[].
//
// Threads, as CLAP names them:
//   main thread   create, init, destroy, activate, deactivate, params (but
//                 flush while active), state, gui, on_main_thread;
//   audio thread  start/stop_processing, reset, process, flush while active;
//   GUI thread    the editor's input handlers through CEditorHost.
// Changes cross threads without a lock on the audio side:
//   main/GUI -> audio   plain[] and the to_engine bits; the audio thread
//                       hands those slots to the engine before its next block;
//   audio -> editor     CEditorGUI::setParameter and setHostEffEnable, which
//                       are lock-free and safe from any thread;
//   audio -> main       plain[] and the from_engine bits, then the host's
//                       request_callback; on_main_thread brings them into the
//                       bank's current program (sync_from_engine);
//   GUI -> host         the outbox (clap_outbox.h), emptied into process()'s
//                       or flush()'s output events after request_flush;
//   GUI -> main         a wanted editor size and a dirty state, delivered by
//                       on_main_thread after request_callback.
// Not every host answers request_callback (Qtractor 0.9 does not), so while
// the editor exists a host timer (clap.timer-support) runs the same work on
// the main thread every 50 ms as well.
// Locks: the bank's own mutex (never on the audio thread), the outbox's
// producer mutex (GUI thread), and host_call_mutex (below). All leaves.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "clap/clap_abi.h"
#include "clap/clap_outbox.h"
#include "clap/clap_params.h"
#include "dsp/CLFx.h"
#include "editor/CEditorHost.h"
#include "model/eq_program_bank.h"

class CEditorGUI;

extern const clap_plugin_descriptor_t ze710_clap_descriptor;

class Ze710Clap final : private CEditorHost {
public:
    // Main thread (the factory). The record's functions are clap_entry.cpp's.
    Ze710Clap(const clap_host_t* host, const clap_plugin_t& functions);
    Ze710Clap(const Ze710Clap&) = delete;
    Ze710Clap& operator=(const Ze710Clap&) = delete;

    const clap_plugin_t* record() const { return &plugin; }
    static Ze710Clap* of(const clap_plugin_t* p) { return static_cast<Ze710Clap*>(p->plugin_data); }

    // ---- main thread -------------------------------------------------------------
    bool init();
    // Instead of `delete`: the editor retires and frees this instance, now or
    // once an input handler of the editor returns (editor/CEditorGUI.h).
    void destroy();
    // The values set so far apply at once, without a glide, and the filters
    // start cleared, as when a VST 2 host sets values and then the rate.
    // False for a rate the engine does not take (8 kHz to 768 kHz).
    bool activate(double rate_hz);
    void deactivate();
    // The main thread's share of the work (see above); also the timer's.
    void on_main_thread();

    // ---- audio thread: no allocation, no lock, no system call ----------------------
    void stop_processing();  // clears the filters, as a VST 2 stopProcess
    void reset();            // clears the filters
    clap_process_status process(const clap_process_t* p);

    // ---- clap.params (main thread; flush: audio thread while active) ----------------
    bool get_value(clap_id id, double* out) const;
    // Host events applied at once (no audio), the editor's events out.
    void flush(const clap_input_events_t* in, const clap_output_events_t* out);

    // ---- clap.state (main thread), Ze710Clap_state.cpp ------------------------------
    // The bank chunk of model/eq_chunk.h, written in whatever pieces the
    // stream takes; false when the stream fails.
    bool save(const clap_ostream_t* stream);
    // A whole, valid bank chunk, read in whatever pieces the stream gives;
    // anything else (short, long, damaged, foreign, a read error) answers
    // false and changes nothing.
    bool load(const clap_istream_t* stream);

    // ---- clap.gui (main thread), Ze710Clap_gui.cpp ----------------------------------
    bool gui_api_supported(const char* api, bool floating) const;
    bool gui_create(const char* api, bool floating);
    void gui_destroy();
    bool gui_get_size(uint32_t* width, uint32_t* height);
    bool gui_adjust_size(uint32_t* width, uint32_t* height);
    bool gui_set_size(uint32_t width, uint32_t height);
    bool gui_set_parent(const clap_window_t* window);

private:
    ~Ze710Clap();
    static void dispose(void* self);

    // ---- the editor's operations (GUI thread; main thread for sizes) -----------------
    float getParameter(int index) override;
    void beginEdit(int index) override;
    void endEdit(int index) override;
    void setParameterAutomated(int index, float value) override;
    int getNumPrograms() override;
    void setProgram(int index) override;
    void getProgramName(char* text, int size) override;
    void sizeWindow(int width, int height) override;

    // Audio thread (or main thread while inactive): a host value for slot,
    // finite, held within range; into plain[] and, with `engine`, the engine.
    void apply_host_value(int slot, float plain_value, bool engine);
    // Audio thread: the engine value of a slot from plain[] (the Effect
    // switch and the bypass make one engine value).
    void hand_to_engine(int slot);
    void take_changes_for_engine();  // the to_engine slots
    // Main thread: the audio thread's changes into the bank's current program.
    void sync_from_engine();
    // Any thread but the audio thread: a request to the host for the
    // editor's events, unless the instance is being destroyed.
    void request_flush();
    void request_main_thread_call();
    // The editor's size as the host is to hear of it (main thread: at once).
    void request_editor_size(int width, int height);
    float display_scale() const;
    // Main thread: the 50 ms timer while the editor exists, where the host offers one.
    void start_main_thread_timer();
    void stop_main_thread_timer();

    class EventCursor;

    clap_plugin_t plugin;
    const clap_host_t* host;
    const clap_host_params_t* host_params = nullptr;  // optional host extensions, from init
    const clap_host_gui_t* host_gui = nullptr;
    const clap_host_state_t* host_state = nullptr;
    const clap_host_timer_support_t* host_timers = nullptr;
    const pthread_t main_thread;

    CLFx dsp;  // audio thread; the main thread at activation
    std::atomic<bool> active{false};
    EqProgramBank bank;
    CEditorGUI* editor_gui = nullptr;  // owned; from construction until dispose
    bool gui_created = false;          // main thread
    clap_id timer_id = CLAP_INVALID_ID;  // main thread

    std::atomic<float> plain[kClapNumSlots];
    std::atomic<uint32_t> to_engine{0};    // slot bits
    std::atomic<uint32_t> from_engine{0};  // sound slot bits
    std::atomic<uint32_t> gestures{0};     // slot bits of gestures begun by the editor
    ClapOutbox outbox;
    std::atomic<uint64_t> wanted_size{0};  // width << 32 | height of a size to ask for; 0: none
    std::atomic<bool> state_dirty{false};
    uint64_t host_sized = 0;  // main thread: the size the host last set, not to be asked back

    // Held around every host call from the GUI thread and while destroy
    // marks the instance as retiring: once destroy has returned the host's
    // record may be gone, and no call may be on its way to it.
    std::mutex host_call_mutex;
    bool retiring = false;  // host_call_mutex
};
