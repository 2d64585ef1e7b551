// The CLAP module's C face: the exported entry clap_entry, its factory of the
// one plug-in, the descriptor, and the function tables of the plug-in record
// and its extensions, each a trampoline onto Ze710Clap. The calling thread
// of each function is CLAP's (see Ze710Clap.h).
#include <cstring>
#include <new>

#include "clap/Ze710Clap.h"
#include "model/ze710_version.h"

namespace {

#define ZE710_CLAP_ID "com.kestrelwood.ze710"

const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_EQUALIZER,
                                 CLAP_PLUGIN_FEATURE_STEREO, nullptr};

Ze710Clap* fx(const clap_plugin_t* p) { return Ze710Clap::of(p); }

// ---- clap.audio-ports: one stereo main input and output, an in-place pair ----

uint32_t ports_count(const clap_plugin_t*, bool) { return 1; }

bool ports_get(const clap_plugin_t*, uint32_t index, bool is_input, clap_audio_port_info_t* info)
{
    if (index != 0 || !info)
        return false;
    std::memset(info, 0, sizeof *info);
    info->id = 0;
    std::strcpy(info->name, is_input ? "Main In" : "Main Out");
    info->flags = CLAP_AUDIO_PORT_IS_MAIN;
    info->channel_count = 2;
    info->port_type = CLAP_PORT_STEREO;
    info->in_place_pair = 0;  // the other direction's port 0
    return true;
}

const clap_plugin_audio_ports_t kAudioPorts = {ports_count, ports_get};

// ---- clap.latency ----

const clap_plugin_latency_t kLatency = {[](const clap_plugin_t*) -> uint32_t { return 0; }};

// ---- clap.params ----

const clap_plugin_params_t kParams = {
    [](const clap_plugin_t*) -> uint32_t { return kClapNumSlots; },
    [](const clap_plugin_t*, uint32_t index, clap_param_info_t* info) { return clap_param_info_of(index, info); },
    [](const clap_plugin_t* p, clap_id id, double* out) { return fx(p)->get_value(id, out); },
    [](const clap_plugin_t*, clap_id id, double value, char* out, uint32_t capacity) {
        return clap_text_of(clap_slot_of(id), value, out, capacity);
    },
    [](const clap_plugin_t*, clap_id id, const char* text, double* out) {
        return clap_value_of_text(clap_slot_of(id), text, out);
    },
    [](const clap_plugin_t* p, const clap_input_events_t* in, const clap_output_events_t* out) {
        fx(p)->flush(in, out);
    },
};

// ---- clap.state ----

const clap_plugin_state_t kState = {
    [](const clap_plugin_t* p, const clap_ostream_t* stream) { return fx(p)->save(stream); },
    [](const clap_plugin_t* p, const clap_istream_t* stream) { return fx(p)->load(stream); },
};

// ---- clap.gui ----

const clap_plugin_gui_t kGui = {
    [](const clap_plugin_t* p, const char* api, bool floating) { return fx(p)->gui_api_supported(api, floating); },
    [](const clap_plugin_t*, const char** api, bool* floating) {
        if (!api || !floating)
            return false;
        *api = CLAP_WINDOW_API_X11;
        *floating = false;
        return true;
    },
    [](const clap_plugin_t* p, const char* api, bool floating) { return fx(p)->gui_create(api, floating); },
    [](const clap_plugin_t* p) { fx(p)->gui_destroy(); },
    // The editor takes its scale from the screen's resolution itself.
    [](const clap_plugin_t*, double) { return false; },
    [](const clap_plugin_t* p, uint32_t* w, uint32_t* h) { return fx(p)->gui_get_size(w, h); },
    [](const clap_plugin_t*) { return true; },
    [](const clap_plugin_t*, clap_gui_resize_hints_t* hints) {
        if (!hints)
            return false;
        *hints = {false, true, false, 0, 0};
        return true;
    },
    [](const clap_plugin_t* p, uint32_t* w, uint32_t* h) { return fx(p)->gui_adjust_size(w, h); },
    [](const clap_plugin_t* p, uint32_t w, uint32_t h) { return fx(p)->gui_set_size(w, h); },
    [](const clap_plugin_t* p, const clap_window_t* window) { return fx(p)->gui_set_parent(window); },
    // Embedded only: no floating window to keep above the host's.
    [](const clap_plugin_t*, const clap_window_t*) { return false; },
    [](const clap_plugin_t*, const char*) {},
    // The embedded window shows with its parent.
    [](const clap_plugin_t*) { return true; },
    [](const clap_plugin_t*) { return true; },
};

// ---- clap.timer-support: the main thread's tick while the editor exists ----

const clap_plugin_timer_support_t kTimer = {[](const clap_plugin_t* p, clap_id) { fx(p)->on_main_thread(); }};

// ---- the plug-in record ----

const void* get_extension(const clap_plugin_t*, const char* id)
{
    if (!id)
        return nullptr;
    const struct {
        const char* id;
        const void* table;
    } extensions[] = {
        {CLAP_EXT_PARAMS, &kParams}, {CLAP_EXT_STATE, &kState},     {CLAP_EXT_GUI, &kGui},
        {CLAP_EXT_AUDIO_PORTS, &kAudioPorts}, {CLAP_EXT_LATENCY, &kLatency},  {CLAP_EXT_TIMER_SUPPORT, &kTimer},
    };
    for (const auto& e : extensions)
        if (std::strcmp(id, e.id) == 0)
            return e.table;
    return nullptr;
}

const clap_plugin_t kPluginFunctions = {
    nullptr,
    nullptr,
    [](const clap_plugin_t* p) { return fx(p)->init(); },
    [](const clap_plugin_t* p) { fx(p)->destroy(); },
    [](const clap_plugin_t* p, double rate, uint32_t, uint32_t) { return fx(p)->activate(rate); },
    [](const clap_plugin_t* p) { fx(p)->deactivate(); },
    [](const clap_plugin_t*) { return true; },
    [](const clap_plugin_t* p) { fx(p)->stop_processing(); },
    [](const clap_plugin_t* p) { fx(p)->reset(); },
    [](const clap_plugin_t* p, const clap_process_t* process) { return fx(p)->process(process); },
    get_extension,
    [](const clap_plugin_t* p) { fx(p)->on_main_thread(); },
};

// ---- the factory and the entry ----

bool version_ok(const clap_version_t& v) { return v.major >= 1; }

const clap_plugin_factory_t kFactory = {
    [](const clap_plugin_factory_t*) -> uint32_t { return 1; },
    [](const clap_plugin_factory_t*, uint32_t index) {
        return index == 0 ? &ze710_clap_descriptor : nullptr;
    },
    [](const clap_plugin_factory_t*, const clap_host_t* host, const char* id) -> const clap_plugin_t* {
        if (!host || !version_ok(host->clap_version) || !id || std::strcmp(id, ZE710_CLAP_ID) != 0)
            return nullptr;
        Ze710Clap* instance = new (std::nothrow) Ze710Clap(host, kPluginFunctions);
        return instance ? instance->record() : nullptr;
    },
};

}  // namespace

const clap_plugin_descriptor_t ze710_clap_descriptor = {
    ZE710_CLAP_VERSION_INIT,
    ZE710_CLAP_ID,
    "ZE710",
    "Kestrelwood",
    "",
    "",
    "",
    ZE710_VERSION_STRING,
    "Stereo three-band channel equaliser",
    kFeatures,
};

extern "C" __attribute__((visibility("default"))) const clap_plugin_entry_t clap_entry = {
    ZE710_CLAP_VERSION_INIT,
    [](const char*) { return true; },
    [] {},
    [](const char* id) -> const void* {
        return id && std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0 ? &kFactory : nullptr;
    },
};
