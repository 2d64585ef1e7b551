// A small CLAP host on the edition's own declarations (clap/clap_abi.h): it
// loads any .clap module through clap_entry as a DAW does (dlopen, entry
// init, the plug-in factory, create_plugin, init) and offers the host side
// ZE710 asks for (clap.params, clap.gui, clap.state, clap.timer-support),
// recording what the plug-in asks of it. The tests, the benchmark and ze710-host share it.
//
// Threads: the thread that loads the plug-in is the host's main thread; it
// makes every main-thread call and runs idle(). process() may run on another
// thread, one at a time, as a DAW's audio thread. The output events of
// process() and flush() are kept without a lock or an allocation (up to
// kMaxOutEvents): read them on the thread that processes, or after it is
// joined.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "clap/clap_abi.h"

namespace claphost {

// One event for the plug-in: a parameter value unless type and space say
// otherwise (an event the plug-in is to pass over).
struct InEvent {
    uint32_t time = 0;
    clap_id id = 0;
    double value = 0.0;
    uint16_t type = CLAP_EVENT_PARAM_VALUE;
    uint16_t space = CLAP_CORE_EVENT_SPACE_ID;
};

// One event from the plug-in: a gesture begin or end, or a value.
struct OutEvent {
    uint16_t type;
    clap_id id;
    double value;  // CLAP_EVENT_PARAM_VALUE only
    uint32_t time;
};

class ClapPlugin {
public:
    static constexpr size_t kMaxOutEvents = 1 << 16;

    // Loads the module and creates and initialises its first plug-in. On
    // failure returns null and puts a one-line reason into *error.
    static std::unique_ptr<ClapPlugin> load(const std::string& path, std::string* error);
    ~ClapPlugin();  // deactivates, destroys the plug-in, deinits and unloads
    ClapPlugin(const ClapPlugin&) = delete;
    ClapPlugin& operator=(const ClapPlugin&) = delete;

    const clap_plugin_t* plugin() const { return instance; }
    const clap_plugin_descriptor_t* descriptor() const { return instance->desc; }
    // An extension of the plug-in, null when it has none.
    template <typename T>
    const T* extension(const char* id) const
    {
        return static_cast<const T*>(instance->get_extension(instance, id));
    }

    // ---- main thread ------------------------------------------------------------
    std::vector<clap_param_info_t> params() const;
    double value(clap_id id) const;  // NaN when the plug-in has none
    std::string text(clap_id id, double value) const;
    bool activate(double rate, uint32_t max_frames);
    void deactivate();
    bool active() const { return is_active; }
    // The state as the plug-in writes it, taken in pieces of at most `piece` bytes.
    std::vector<uint8_t> save(size_t piece = SIZE_MAX);
    // A state given in pieces of at most `piece` bytes; with fail_at, the
    // read that reaches that offset fails (-1).
    bool load(const std::vector<uint8_t>& state, size_t piece = SIZE_MAX, size_t fail_at = SIZE_MAX);
    // The main thread's turn: fires the plug-in's timers, and runs
    // on_main_thread when the plug-in asked for it; whether it asked.
    bool idle();

    // ---- audio thread ------------------------------------------------------------
    // in and out: two channels each (may be the same buffers). Starts
    // processing on the first call.
    clap_process_status process(float* const in[2], float* const out[2], uint32_t frames,
                                const std::vector<InEvent>& events = {});
    // Through params.flush: from the main thread while inactive, from the
    // audio thread while active and not processing, as CLAP has it.
    void flush(const std::vector<InEvent>& events);

    // ---- what the plug-in did (see threads above) -------------------------------------
    std::vector<OutEvent> out_events() const;
    void clear_out_events() { out_count.store(0); }
    struct Requests {
        int flush = 0, callback = 0, rescan = 0, mark_dirty = 0;
        std::vector<clap_id> timers;  // registered now
        std::vector<std::pair<uint32_t, uint32_t>> resize;  // width, height
        bool off_main_thread = false;  // a main-thread-only request came from another thread
    };
    Requests requests() const;

private:
    ClapPlugin() = default;
    static const void* host_extension(const clap_host_t* host, const char* id);
    static ClapPlugin* of(const clap_host_t* host) { return static_cast<ClapPlugin*>(host->host_data); }
    void on_main_only();  // requests_mutex held
    void set_in_events(const std::vector<InEvent>& events);
    static bool out_push(const clap_output_events_t* list, const clap_event_header_t* event);

    void* module = nullptr;
    const clap_plugin_entry_t* entry = nullptr;
    const clap_plugin_t* instance = nullptr;
    clap_host_t host_record{};
    pthread_t main_thread{};
    bool is_active = false;
    bool processing = false;

    // Input event storage for one call; output events written by the
    // plug-in's try_push on the processing thread.
    std::vector<clap_event_param_value_t> in_storage;
    std::vector<OutEvent> out_storage = std::vector<OutEvent>(kMaxOutEvents);
    std::atomic<size_t> out_count{0};

    std::atomic<bool> callback_wanted{false};
    std::atomic<int> flush_requests{0}, callback_requests{0};
    mutable std::mutex requests_mutex;  // main-thread records
    Requests main_requests;
    clap_id next_timer = 0;  // main thread
};

}  // namespace claphost
