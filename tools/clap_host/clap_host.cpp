#include "tools/clap_host/clap_host.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace claphost {

namespace {

constexpr size_t kMaxInEvents = 4096;  // per call; reserved, so a call allocates nothing

uint32_t in_size(const clap_input_events_t* list)
{
    return static_cast<uint32_t>(static_cast<const std::vector<clap_event_param_value_t>*>(list->ctx)->size());
}

const clap_event_header_t* in_get(const clap_input_events_t* list, uint32_t index)
{
    const auto* events = static_cast<const std::vector<clap_event_param_value_t>*>(list->ctx);
    return index < events->size() ? &(*events)[index].header : nullptr;
}

// A state stream over a byte vector, in pieces of at most `piece` bytes.
struct Stream {
    std::vector<uint8_t>* bytes;
    size_t piece;
    size_t at = 0;
    size_t fail_at = SIZE_MAX;
};

int64_t stream_write(const clap_ostream_t* s, const void* buffer, uint64_t size)
{
    Stream* st = static_cast<Stream*>(s->ctx);
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, st->piece));
    const uint8_t* b = static_cast<const uint8_t*>(buffer);
    st->bytes->insert(st->bytes->end(), b, b + n);
    return static_cast<int64_t>(n);
}

int64_t stream_read(const clap_istream_t* s, void* buffer, uint64_t size)
{
    Stream* st = static_cast<Stream*>(s->ctx);
    const size_t n = std::min<size_t>({static_cast<size_t>(size), st->piece, st->bytes->size() - st->at});
    if (st->at + n > st->fail_at || (n == 0 && st->at >= st->fail_at))
        return -1;
    if (n > 0)
        std::memcpy(buffer, st->bytes->data() + st->at, n);
    st->at += n;
    return static_cast<int64_t>(n);
}

}  // namespace

// ---- loading ---------------------------------------------------------------------------

std::unique_ptr<ClapPlugin> ClapPlugin::load(const std::string& path, std::string* error)
{
    std::unique_ptr<ClapPlugin> p(new ClapPlugin());
    p->main_thread = pthread_self();
    p->in_storage.reserve(kMaxInEvents);
    p->module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!p->module) {
        const char* why = dlerror();
        *error = "cannot load " + path + ": " + (why ? why : "unknown error");
        return nullptr;
    }
    p->entry = static_cast<const clap_plugin_entry_t*>(dlsym(p->module, "clap_entry"));
    if (!p->entry || p->entry->clap_version.major < 1) {
        *error = path + " is no CLAP 1.x plug-in (no clap_entry)";
        return nullptr;
    }
    if (!p->entry->init(path.c_str())) {
        p->entry = nullptr;
        *error = path + ": the entry's init failed";
        return nullptr;
    }
    const auto* factory = static_cast<const clap_plugin_factory_t*>(p->entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    const clap_plugin_descriptor_t* desc =
        factory && factory->get_plugin_count(factory) > 0 ? factory->get_plugin_descriptor(factory, 0) : nullptr;
    if (!desc) {
        *error = path + ": no plug-in in the factory";
        return nullptr;
    }
    p->host_record = {{1, 2, 1}, p.get(), "ze710 test host", "Kestrelwood", "", "1", host_extension,
                      [](const clap_host_t*) {}, [](const clap_host_t*) {},
                      [](const clap_host_t* h) {
                          of(h)->callback_requests.fetch_add(1);
                          of(h)->callback_wanted.store(true);
                      }};
    p->instance = factory->create_plugin(factory, &p->host_record, desc->id);
    if (!p->instance || !p->instance->init(p->instance)) {
        *error = path + ": the plug-in '" + desc->id + "' could not be created";
        return nullptr;
    }
    return p;
}

ClapPlugin::~ClapPlugin()
{
    if (instance) {
        deactivate();
        instance->destroy(instance);
    }
    if (entry)
        entry->deinit();
    if (module)
        dlclose(module);
}

// ---- the host's extensions ------------------------------------------------------------------

void ClapPlugin::on_main_only()
{
    if (!pthread_equal(pthread_self(), main_thread))
        main_requests.off_main_thread = true;
}

const void* ClapPlugin::host_extension(const clap_host_t*, const char* id)
{
    static const clap_host_params_t params = {
        [](const clap_host_t* h, clap_param_rescan_flags) {
            std::lock_guard<std::mutex> lock(of(h)->requests_mutex);
            of(h)->on_main_only();
            ++of(h)->main_requests.rescan;
        },
        [](const clap_host_t*, clap_id, clap_param_clear_flags) {},
        [](const clap_host_t* h) { of(h)->flush_requests.fetch_add(1); },
    };
    static const clap_host_gui_t gui = {
        [](const clap_host_t*) {},
        [](const clap_host_t* h, uint32_t w, uint32_t height) {
            std::lock_guard<std::mutex> lock(of(h)->requests_mutex);
            of(h)->on_main_only();
            of(h)->main_requests.resize.emplace_back(w, height);
            return true;
        },
        [](const clap_host_t*) { return false; },
        [](const clap_host_t*) { return false; },
        [](const clap_host_t*, bool) {},
    };
    static const clap_host_state_t state = {[](const clap_host_t* h) {
        std::lock_guard<std::mutex> lock(of(h)->requests_mutex);
        of(h)->on_main_only();
        ++of(h)->main_requests.mark_dirty;
    }};
    static const clap_host_timer_support_t timers = {
        [](const clap_host_t* h, uint32_t, clap_id* id) {
            std::lock_guard<std::mutex> lock(of(h)->requests_mutex);
            of(h)->on_main_only();
            of(h)->main_requests.timers.push_back(*id = of(h)->next_timer++);
            return true;
        },
        [](const clap_host_t* h, clap_id id) {
            std::lock_guard<std::mutex> lock(of(h)->requests_mutex);
            of(h)->on_main_only();
            auto& t = of(h)->main_requests.timers;
            const auto at = std::find(t.begin(), t.end(), id);
            return at != t.end() && (t.erase(at), true);
        },
    };
    if (!id)
        return nullptr;
    if (!std::strcmp(id, CLAP_EXT_TIMER_SUPPORT))
        return &timers;
    if (!std::strcmp(id, CLAP_EXT_PARAMS))
        return &params;
    if (!std::strcmp(id, CLAP_EXT_GUI))
        return &gui;
    if (!std::strcmp(id, CLAP_EXT_STATE))
        return &state;
    return nullptr;
}

ClapPlugin::Requests ClapPlugin::requests() const
{
    std::lock_guard<std::mutex> lock(requests_mutex);
    Requests r = main_requests;
    r.flush = flush_requests.load();
    r.callback = callback_requests.load();
    return r;
}

// ---- parameters ------------------------------------------------------------------------------

std::vector<clap_param_info_t> ClapPlugin::params() const
{
    std::vector<clap_param_info_t> all;
    const auto* p = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    for (uint32_t i = 0, n = p ? p->count(instance) : 0; i < n; ++i) {
        clap_param_info_t info{};
        if (p->get_info(instance, i, &info))
            all.push_back(info);
    }
    return all;
}

double ClapPlugin::value(clap_id id) const
{
    const auto* p = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    double v = NAN;
    return p && p->get_value(instance, id, &v) ? v : NAN;
}

std::string ClapPlugin::text(clap_id id, double value) const
{
    const auto* p = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    char buf[256] = "";
    return p && p->value_to_text(instance, id, value, buf, sizeof buf) ? buf : "";
}

// The events of one call, within the reserved storage.
void ClapPlugin::set_in_events(const std::vector<InEvent>& events)
{
    in_storage.clear();
    for (size_t i = 0; i < events.size() && i < kMaxInEvents; ++i) {
        clap_event_param_value_t e{};
        e.header = {sizeof e, events[i].time, events[i].space, events[i].type, 0};
        e.param_id = events[i].id;
        e.note_id = -1;
        e.port_index = e.channel = e.key = -1;
        e.value = events[i].value;
        in_storage.push_back(e);
    }
}

void ClapPlugin::flush(const std::vector<InEvent>& events)
{
    set_in_events(events);
    const clap_input_events_t in = {&in_storage, in_size, in_get};
    const clap_output_events_t out = {this, out_push};
    extension<clap_plugin_params_t>(CLAP_EXT_PARAMS)->flush(instance, &in, &out);
}

// ---- activation and audio --------------------------------------------------------------------

bool ClapPlugin::activate(double rate, uint32_t max_frames)
{
    if (!is_active)
        is_active = instance->activate(instance, rate, 1, max_frames);
    return is_active;
}

void ClapPlugin::deactivate()
{
    if (!is_active)
        return;
    if (processing)
        instance->stop_processing(instance);
    processing = false;
    instance->deactivate(instance);
    is_active = false;
}

clap_process_status ClapPlugin::process(float* const in[2], float* const out[2], uint32_t frames,
                                        const std::vector<InEvent>& events)
{
    if (!processing)
        processing = instance->start_processing(instance);
    set_in_events(events);
    const clap_input_events_t in_events = {&in_storage, in_size, in_get};
    const clap_output_events_t out_events = {this, out_push};
    clap_audio_buffer_t in_buf = {const_cast<float**>(in), nullptr, 2, 0, 0};
    clap_audio_buffer_t out_buf = {const_cast<float**>(out), nullptr, 2, 0, 0};
    clap_process_t p = {-1, frames, nullptr, &in_buf, &out_buf, 1, 1, &in_events, &out_events};
    return instance->process(instance, &p);
}

// ---- state and the main thread ---------------------------------------------------------------

std::vector<uint8_t> ClapPlugin::save(size_t piece)
{
    std::vector<uint8_t> bytes;
    Stream st{&bytes, piece};
    const clap_ostream_t out = {&st, stream_write};
    const auto* state = extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    return state && state->save(instance, &out) ? bytes : std::vector<uint8_t>();
}

bool ClapPlugin::load(const std::vector<uint8_t>& state_bytes, size_t piece, size_t fail_at)
{
    std::vector<uint8_t> bytes = state_bytes;
    Stream st{&bytes, piece, 0, fail_at};
    const clap_istream_t in = {&st, stream_read};
    const auto* state = extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    return state && state->load(instance, &in);
}

bool ClapPlugin::idle()
{
    const auto* timer = extension<clap_plugin_timer_support_t>(CLAP_EXT_TIMER_SUPPORT);
    for (clap_id id : requests().timers)
        if (timer)
            timer->on_timer(instance, id);
    if (!callback_wanted.exchange(false))
        return false;
    instance->on_main_thread(instance);
    return true;
}

std::vector<OutEvent> ClapPlugin::out_events() const
{
    return std::vector<OutEvent>(out_storage.begin(),
                                 out_storage.begin() + static_cast<long>(std::min(out_count.load(), kMaxOutEvents)));
}

// The processing thread's: no lock, no allocation.
bool ClapPlugin::out_push(const clap_output_events_t* list, const clap_event_header_t* h)
{
    ClapPlugin* self = static_cast<ClapPlugin*>(list->ctx);
    const size_t at = self->out_count.load();
    if (!h || at >= kMaxOutEvents)
        return false;
    OutEvent e{h->type, CLAP_INVALID_ID, 0.0, h->time};
    if (h->type == CLAP_EVENT_PARAM_VALUE && h->size >= sizeof(clap_event_param_value_t)) {
        const auto* v = reinterpret_cast<const clap_event_param_value_t*>(h);
        e.id = v->param_id, e.value = v->value;
    } else if (h->size >= sizeof(clap_event_param_gesture_t)) {
        e.id = reinterpret_cast<const clap_event_param_gesture_t*>(h)->param_id;
    }
    self->out_storage[at] = e;
    self->out_count.store(at + 1);
    return true;
}

}  // namespace claphost
