/* The CLAP plug-in ABI as ZE710 uses it, declared from the published CLAP
 * 1.2.1 interface (the MIT-licensed C ABI, version 1.x, which keeps every
 * struct below binary-compatible from 1.0 on): field order and types as
 * published, only the structs, extension ids and constants the plug-in and
 * its own test host use. C-compatible; plain C layout on x86-64 (no packing).
 *
 * Threads as CLAP names them: [main-thread] is the host's one main thread,
 * [audio-thread] whichever thread runs process(), [thread-safe] any thread. */
#ifndef ZE710_CLAP_ABI_H
#define ZE710_CLAP_ABI_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- versions, ids, string sizes ------------------------------------------ */

typedef struct clap_version {
    uint32_t major;
    uint32_t minor;
    uint32_t revision;
} clap_version_t;

/* The version these declarations follow, written into the descriptor. A
 * host accepts any major 1. */
#define ZE710_CLAP_VERSION_INIT {1u, 2u, 1u}

typedef uint32_t clap_id;
#define CLAP_INVALID_ID UINT32_MAX

#define CLAP_NAME_SIZE 256  /* bytes of a name field, terminator included */
#define CLAP_PATH_SIZE 1024 /* bytes of a module path field */

/* ---- events ------------------------------------------------------------------ */

typedef struct clap_event_header {
    uint32_t size;     /* bytes of the whole event, header included */
    uint32_t time;     /* frame offset within the block */
    uint16_t space_id; /* CLAP_CORE_EVENT_SPACE_ID for the events below */
    uint16_t type;
    uint32_t flags;
} clap_event_header_t;

#define CLAP_CORE_EVENT_SPACE_ID 0

enum {
    CLAP_EVENT_IS_LIVE = 1 << 0,
    CLAP_EVENT_DONT_RECORD = 1 << 1,
};

enum {
    CLAP_EVENT_NOTE_ON = 0,
    CLAP_EVENT_PARAM_VALUE = 5,
    CLAP_EVENT_PARAM_MOD = 6,
    CLAP_EVENT_PARAM_GESTURE_BEGIN = 7,
    CLAP_EVENT_PARAM_GESTURE_END = 8,
    CLAP_EVENT_TRANSPORT = 9,
};

typedef struct clap_event_param_value {
    clap_event_header_t header;
    clap_id param_id;
    void* cookie;
    int32_t note_id; /* -1: every note */
    int16_t port_index;
    int16_t channel;
    int16_t key;
    double value; /* the plain value */
} clap_event_param_value_t;

typedef struct clap_event_param_gesture {
    clap_event_header_t header;
    clap_id param_id;
} clap_event_param_gesture_t;

/* The host's transport record; ZE710 never reads it. */
typedef struct clap_event_transport clap_event_transport_t;

/* Sorted by time; the list owns its events. */
typedef struct clap_input_events {
    void* ctx;
    uint32_t (*size)(const struct clap_input_events* list);
    const clap_event_header_t* (*get)(const struct clap_input_events* list, uint32_t index);
} clap_input_events_t;

/* The host copies what is pushed; false when it could not. */
typedef struct clap_output_events {
    void* ctx;
    bool (*try_push)(const struct clap_output_events* list, const clap_event_header_t* event);
} clap_output_events_t;

/* ---- audio and process ------------------------------------------------------------ */

typedef struct clap_audio_buffer {
    float** data32;
    double** data64;
    uint32_t channel_count;
    uint32_t latency;
    uint64_t constant_mask;
} clap_audio_buffer_t;

typedef struct clap_process {
    int64_t steady_time;
    uint32_t frames_count;
    const clap_event_transport_t* transport;
    const clap_audio_buffer_t* audio_inputs;
    clap_audio_buffer_t* audio_outputs;
    uint32_t audio_inputs_count;
    uint32_t audio_outputs_count;
    const clap_input_events_t* in_events;
    const clap_output_events_t* out_events;
} clap_process_t;

typedef int32_t clap_process_status;
enum {
    CLAP_PROCESS_ERROR = 0,
    CLAP_PROCESS_CONTINUE = 1,
    CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2,
    CLAP_PROCESS_TAIL = 3,
    CLAP_PROCESS_SLEEP = 4,
};

/* ---- host, plug-in, factory, entry -------------------------------------------------- */

typedef struct clap_host {
    clap_version_t clap_version;
    void* host_data;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    const void* (*get_extension)(const struct clap_host* host, const char* extension_id); /* [thread-safe] */
    void (*request_restart)(const struct clap_host* host);                                /* [thread-safe] */
    void (*request_process)(const struct clap_host* host);                                /* [thread-safe] */
    void (*request_callback)(const struct clap_host* host); /* [thread-safe]: on_main_thread soon */
} clap_host_t;

typedef struct clap_plugin_descriptor {
    clap_version_t clap_version;
    const char* id;
    const char* name;
    const char* vendor;
    const char* url;
    const char* manual_url;
    const char* support_url;
    const char* version;
    const char* description;
    const char* const* features; /* null-terminated */
} clap_plugin_descriptor_t;

typedef struct clap_plugin {
    const clap_plugin_descriptor_t* desc;
    void* plugin_data;
    bool (*init)(const struct clap_plugin* plugin);    /* [main-thread] */
    void (*destroy)(const struct clap_plugin* plugin); /* [main-thread] */
    bool (*activate)(const struct clap_plugin* plugin, double sample_rate, uint32_t min_frames_count,
                     uint32_t max_frames_count);          /* [main-thread] */
    void (*deactivate)(const struct clap_plugin* plugin); /* [main-thread] */
    bool (*start_processing)(const struct clap_plugin* plugin); /* [audio-thread] */
    void (*stop_processing)(const struct clap_plugin* plugin);  /* [audio-thread] */
    void (*reset)(const struct clap_plugin* plugin);            /* [audio-thread] */
    clap_process_status (*process)(const struct clap_plugin* plugin, const clap_process_t* process);
    const void* (*get_extension)(const struct clap_plugin* plugin, const char* id); /* [thread-safe] */
    void (*on_main_thread)(const struct clap_plugin* plugin);                      /* [main-thread] */
} clap_plugin_t;

#define CLAP_PLUGIN_FACTORY_ID "clap.plugin-factory"

typedef struct clap_plugin_factory {
    uint32_t (*get_plugin_count)(const struct clap_plugin_factory* factory);
    const clap_plugin_descriptor_t* (*get_plugin_descriptor)(const struct clap_plugin_factory* factory,
                                                             uint32_t index);
    const clap_plugin_t* (*create_plugin)(const struct clap_plugin_factory* factory, const clap_host_t* host,
                                          const char* plugin_id);
} clap_plugin_factory_t;

/* The module's one export, named clap_entry. */
typedef struct clap_plugin_entry {
    clap_version_t clap_version;
    bool (*init)(const char* plugin_path);
    void (*deinit)(void);
    const void* (*get_factory)(const char* factory_id);
} clap_plugin_entry_t;

/* Descriptor feature strings. */
#define CLAP_PLUGIN_FEATURE_AUDIO_EFFECT "audio-effect"
#define CLAP_PLUGIN_FEATURE_EQUALIZER "equalizer"
#define CLAP_PLUGIN_FEATURE_STEREO "stereo"

/* ---- extension clap.audio-ports ---------------------------------------------------- */

#define CLAP_EXT_AUDIO_PORTS "clap.audio-ports"
#define CLAP_PORT_STEREO "stereo"

enum {
    CLAP_AUDIO_PORT_IS_MAIN = 1 << 0,
    CLAP_AUDIO_PORT_SUPPORTS_64BITS = 1 << 1,
    CLAP_AUDIO_PORT_PREFERS_64BITS = 1 << 2,
    CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE = 1 << 3,
};

typedef struct clap_audio_port_info {
    clap_id id; /* ids of inputs and outputs may overlap */
    char name[CLAP_NAME_SIZE];
    uint32_t flags;
    uint32_t channel_count;
    const char* port_type;
    clap_id in_place_pair; /* CLAP_INVALID_ID: none */
} clap_audio_port_info_t;

typedef struct clap_plugin_audio_ports {
    uint32_t (*count)(const clap_plugin_t* plugin, bool is_input); /* [main-thread] */
    bool (*get)(const clap_plugin_t* plugin, uint32_t index, bool is_input, clap_audio_port_info_t* info);
} clap_plugin_audio_ports_t;

/* ---- extension clap.latency -------------------------------------------------------- */

#define CLAP_EXT_LATENCY "clap.latency"

typedef struct clap_plugin_latency {
    uint32_t (*get)(const clap_plugin_t* plugin); /* [main-thread], frames */
} clap_plugin_latency_t;

/* ---- extension clap.params ---------------------------------------------------------- */

#define CLAP_EXT_PARAMS "clap.params"

enum {
    CLAP_PARAM_IS_STEPPED = 1 << 0,
    CLAP_PARAM_IS_PERIODIC = 1 << 1,
    CLAP_PARAM_IS_HIDDEN = 1 << 2,
    CLAP_PARAM_IS_READONLY = 1 << 3,
    CLAP_PARAM_IS_BYPASS = 1 << 4, /* 0: processing, 1: bypassed; set stepped too */
    CLAP_PARAM_IS_AUTOMATABLE = 1 << 5,
    CLAP_PARAM_IS_MODULATABLE = 1 << 10,
    CLAP_PARAM_REQUIRES_PROCESS = 1 << 15,
    CLAP_PARAM_IS_ENUM = 1 << 16,
};
typedef uint32_t clap_param_info_flags;

typedef struct clap_param_info {
    clap_id id;
    clap_param_info_flags flags;
    void* cookie;
    char name[CLAP_NAME_SIZE];
    char module[CLAP_PATH_SIZE];
    double min_value; /* plain values */
    double max_value;
    double default_value;
} clap_param_info_t;

typedef struct clap_plugin_params {
    uint32_t (*count)(const clap_plugin_t* plugin);                                         /* [main-thread] */
    bool (*get_info)(const clap_plugin_t* plugin, uint32_t param_index, clap_param_info_t* param_info); /* [main-thread] */
    bool (*get_value)(const clap_plugin_t* plugin, clap_id param_id, double* out_value);   /* [main-thread] */
    bool (*value_to_text)(const clap_plugin_t* plugin, clap_id param_id, double value, char* out_buffer,
                          uint32_t out_buffer_capacity); /* [main-thread] */
    bool (*text_to_value)(const clap_plugin_t* plugin, clap_id param_id, const char* param_value_text,
                          double* out_value); /* [main-thread] */
    /* [active ? audio-thread : main-thread], never during process() */
    void (*flush)(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out);
} clap_plugin_params_t;

enum {
    CLAP_PARAM_RESCAN_VALUES = 1 << 0,
    CLAP_PARAM_RESCAN_TEXT = 1 << 1,
    CLAP_PARAM_RESCAN_INFO = 1 << 2,
    CLAP_PARAM_RESCAN_ALL = 1 << 3,
};
typedef uint32_t clap_param_rescan_flags;
typedef uint32_t clap_param_clear_flags;

typedef struct clap_host_params {
    void (*rescan)(const clap_host_t* host, clap_param_rescan_flags flags);                  /* [main-thread] */
    void (*clear)(const clap_host_t* host, clap_id param_id, clap_param_clear_flags flags); /* [main-thread] */
    void (*request_flush)(const clap_host_t* host); /* [thread-safe], never the audio thread */
} clap_host_params_t;

/* ---- extension clap.state and its streams ------------------------------------------ */

#define CLAP_EXT_STATE "clap.state"

/* read: bytes read, 0 at the end, -1 on an error; write: bytes written, -1 on an error. */
typedef struct clap_istream {
    void* ctx;
    int64_t (*read)(const struct clap_istream* stream, void* buffer, uint64_t size);
} clap_istream_t;

typedef struct clap_ostream {
    void* ctx;
    int64_t (*write)(const struct clap_ostream* stream, const void* buffer, uint64_t size);
} clap_ostream_t;

typedef struct clap_plugin_state {
    bool (*save)(const clap_plugin_t* plugin, const clap_ostream_t* stream); /* [main-thread] */
    bool (*load)(const clap_plugin_t* plugin, const clap_istream_t* stream); /* [main-thread] */
} clap_plugin_state_t;

typedef struct clap_host_state {
    void (*mark_dirty)(const clap_host_t* host); /* [main-thread] */
} clap_host_state_t;

/* ---- extension clap.timer-support ------------------------------------------------- */

#define CLAP_EXT_TIMER_SUPPORT "clap.timer-support"

typedef struct clap_plugin_timer_support {
    void (*on_timer)(const clap_plugin_t* plugin, clap_id timer_id); /* [main-thread] */
} clap_plugin_timer_support_t;

/* Both [main-thread]; a host may lengthen a short period (30 Hz is allowed). */
typedef struct clap_host_timer_support {
    bool (*register_timer)(const clap_host_t* host, uint32_t period_ms, clap_id* timer_id);
    bool (*unregister_timer)(const clap_host_t* host, clap_id timer_id);
} clap_host_timer_support_t;

/* ---- extension clap.gui -------------------------------------------------------------- */

#define CLAP_EXT_GUI "clap.gui"
#define CLAP_WINDOW_API_X11 "x11" /* sizes in physical pixels; embedding by XEmbed-style reparenting */

typedef unsigned long clap_xwnd;

typedef struct clap_window {
    const char* api;
    union {
        void* cocoa;
        clap_xwnd x11;
        void* win32;
        void* ptr;
    };
} clap_window_t;

typedef struct clap_gui_resize_hints {
    bool can_resize_horizontally;
    bool can_resize_vertically;
    bool preserve_aspect_ratio;
    uint32_t aspect_ratio_width;
    uint32_t aspect_ratio_height;
} clap_gui_resize_hints_t;

/* Every function: [main-thread]. */
typedef struct clap_plugin_gui {
    bool (*is_api_supported)(const clap_plugin_t* plugin, const char* api, bool is_floating);
    bool (*get_preferred_api)(const clap_plugin_t* plugin, const char** api, bool* is_floating);
    bool (*create)(const clap_plugin_t* plugin, const char* api, bool is_floating);
    void (*destroy)(const clap_plugin_t* plugin);
    bool (*set_scale)(const clap_plugin_t* plugin, double scale);
    bool (*get_size)(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height);
    bool (*can_resize)(const clap_plugin_t* plugin);
    bool (*get_resize_hints)(const clap_plugin_t* plugin, clap_gui_resize_hints_t* hints);
    bool (*adjust_size)(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height);
    bool (*set_size)(const clap_plugin_t* plugin, uint32_t width, uint32_t height);
    bool (*set_parent)(const clap_plugin_t* plugin, const clap_window_t* window);
    bool (*set_transient)(const clap_plugin_t* plugin, const clap_window_t* window);
    void (*suggest_title)(const clap_plugin_t* plugin, const char* title);
    bool (*show)(const clap_plugin_t* plugin);
    bool (*hide)(const clap_plugin_t* plugin);
} clap_plugin_gui_t;

typedef struct clap_host_gui {
    void (*resize_hints_changed)(const clap_host_t* host);
    bool (*request_resize)(const clap_host_t* host, uint32_t width, uint32_t height);
    bool (*request_show)(const clap_host_t* host);
    bool (*request_hide)(const clap_host_t* host);
    void (*closed)(const clap_host_t* host, bool was_destroyed);
} clap_host_gui_t;

#ifdef __cplusplus
}
#endif

#endif /* ZE710_CLAP_ABI_H */
