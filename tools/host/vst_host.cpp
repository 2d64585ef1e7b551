#include "tools/host/vst_host.h"

#include <dlfcn.h>

#include <chrono>
#include <cstring>
#include <set>
#include <thread>

namespace vsthost {

namespace {

typedef AEffect* (*EntryPoint)(audioMasterCallback);

constexpr VstIntPtr kHostVstVersion = 2400;
constexpr size_t kTextBuffer = 512;  // far above every published text limit

// The instance whose entry point is running on this thread: the plug-in may
// call back before its record reaches the host.
thread_local VstPlugin* loading = nullptr;

// The instances this host has not let go of. A plug-in's thread may still be
// inside this host's callback when another thread closes the instance (an
// editor in the middle of an edit): the callback finds its instance here or
// answers 0, and the instance is not freed while callbacks for it run.
std::mutex live_lock;
std::set<VstPlugin*>& live_instances()
{
    static std::set<VstPlugin*> instances;
    return instances;
}

std::string first_line(const char* text)
{
    std::string s = text ? text : "unknown error";
    size_t nl = s.find('\n');
    if (nl != std::string::npos)
        s.resize(nl);
    return s;
}

}  // namespace

// ---- recorder ---------------------------------------------------------------

void HostRecorder::record(const HostCall& call)
{
    std::lock_guard<std::mutex> guard(lock);
    if (kept.size() < kMaxKept)
        kept.push_back(call);
    else
        ++dropped;
}

std::vector<HostCall> HostRecorder::calls() const
{
    std::lock_guard<std::mutex> guard(lock);
    return kept;
}

std::vector<HostCall> HostRecorder::calls_of(VstInt32 opcode) const
{
    std::lock_guard<std::mutex> guard(lock);
    std::vector<HostCall> out;
    for (const HostCall& c : kept)
        if (c.opcode == opcode)
            out.push_back(c);
    return out;
}

size_t HostRecorder::count_of(VstInt32 opcode) const
{
    std::lock_guard<std::mutex> guard(lock);
    size_t n = 0;
    for (const HostCall& c : kept)
        n += c.opcode == opcode;
    return n;
}

void HostRecorder::clear()
{
    std::lock_guard<std::mutex> guard(lock);
    kept.clear();
    dropped = 0;
}

// ---- loading --------------------------------------------------------------------

std::unique_ptr<VstPlugin> VstPlugin::load(const std::string& path, std::string* error)
{
    std::unique_ptr<VstPlugin> plugin(new VstPlugin());
    plugin->module_path = path;
    {
        std::lock_guard<std::mutex> lock(live_lock);
        live_instances().insert(plugin.get());
    }

    // dlopen searches the library path for a bare name; a plug-in is a file.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    dlerror();
    plugin->module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!plugin->module) {
        *error = "cannot load " + path + ": " + first_line(dlerror());
        return nullptr;
    }
    auto entry = reinterpret_cast<EntryPoint>(dlsym(plugin->module, "VSTPluginMain"));
    if (!entry)
        entry = reinterpret_cast<EntryPoint>(dlsym(plugin->module, "main"));
    if (!entry) {
        *error = path + " is not a VST 2 plug-in (no VSTPluginMain or main entry point)";
        return nullptr;
    }

    loading = plugin.get();
    AEffect* effect = entry(host_callback);
    loading = nullptr;
    if (!effect) {
        *error = path + ": the plug-in's entry point returned no effect";
        return nullptr;
    }
    if (effect->magic != kEffectMagic) {
        *error = path + " is not a VST 2 plug-in (bad magic in the effect record)";
        return nullptr;  // the record is not ours to close: leave it
    }
    effect->user = plugin.get();
    plugin->aeffect = effect;
    plugin->dispatch(effOpen);
    return plugin;
}

VstPlugin::~VstPlugin()
{
    if (aeffect)
        close();
    {
        std::lock_guard<std::mutex> lock(live_lock);
        live_instances().erase(this);
    }
    while (callbacks_running.load() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (module)
        dlclose(module);
}

void VstPlugin::close()
{
    if (!aeffect || closed.exchange(true))
        return;
    stop();
    aeffect->dispatcher(aeffect, effClose, 0, 0, nullptr, 0.0f);
}

// ---- host callback ----------------------------------------------------------------

VstIntPtr VstPlugin::host_callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                   VstIntPtr value, void* ptr, float opt)
{
    VstPlugin* self = (effect && effect->user) ? static_cast<VstPlugin*>(effect->user) : loading;
    if (opcode == audioMasterVersion)
        return kHostVstVersion;
    {
        std::lock_guard<std::mutex> lock(live_lock);
        if (!self || !live_instances().count(self))
            return 0;
        ++self->callbacks_running;
    }
    struct running_callback {
        VstPlugin* self;
        ~running_callback() { --self->callbacks_running; }
    } running{self};
    switch (opcode) {
    case audioMasterAutomate:
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
    case audioMasterUpdateDisplay:
    case audioMasterSizeWindow:
        self->host_calls.record(HostCall{opcode, index, value, opt});
        if (self->on_edit_call)
            self->on_edit_call(HostCall{opcode, index, value, opt});
        return 1;
    case audioMasterGetSampleRate:
        return static_cast<VstIntPtr>(self->sample_rate.load());
    case audioMasterGetBlockSize:
        return self->block_size.load();
    case audioMasterGetCurrentProcessLevel:
        return 0;  // unknown
    case audioMasterGetVendorString:
        if (ptr)
            std::strcpy(static_cast<char*>(ptr), "ZE710");
        return ptr ? 1 : 0;
    case audioMasterGetProductString:
        if (ptr)
            std::strcpy(static_cast<char*>(ptr), "ze710-host");
        return ptr ? 1 : 0;
    case audioMasterGetVendorVersion:
        return 1;
    default:
        // Time info, MIDI, file selectors...: not offered by this host.
        return 0;
    }
}

// ---- calls into the plug-in ----------------------------------------------------------

VstIntPtr VstPlugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                              float opt)
{
    return aeffect->dispatcher(aeffect, opcode, index, value, ptr, opt);
}

void VstPlugin::set_parameter(VstInt32 index, float value)
{
    aeffect->setParameter(aeffect, index, value);
}

float VstPlugin::get_parameter(VstInt32 index)
{
    return aeffect->getParameter(aeffect, index);
}

void VstPlugin::process(float** inputs, float** outputs, VstInt32 frames)
{
    aeffect->processReplacing(aeffect, inputs, outputs, frames);
}

std::string VstPlugin::text_of(VstInt32 opcode, VstInt32 index, VstIntPtr value)
{
    char buf[kTextBuffer];
    std::memset(buf, 0, sizeof buf);
    dispatch(opcode, index, value, buf);
    buf[sizeof buf - 1] = 0;
    return buf;
}

std::string VstPlugin::parameter_name(VstInt32 index) { return text_of(effGetParamName, index); }
std::string VstPlugin::parameter_display(VstInt32 index)
{
    return text_of(effGetParamDisplay, index);
}
std::string VstPlugin::parameter_label(VstInt32 index) { return text_of(effGetParamLabel, index); }
std::string VstPlugin::program_name(VstInt32 index)
{
    return text_of(effGetProgramNameIndexed, index);
}
std::string VstPlugin::current_program_name() { return text_of(effGetProgramName, 0); }
std::string VstPlugin::effect_name() { return text_of(effGetEffectName, 0); }
std::string VstPlugin::vendor_string() { return text_of(effGetVendorString, 0); }
std::string VstPlugin::product_string() { return text_of(effGetProductString, 0); }

void VstPlugin::start(float rate, VstInt32 block)
{
    sample_rate.store(rate);
    block_size.store(block);
    dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    dispatch(effSetBlockSize, 0, block);
    dispatch(effMainsChanged, 0, 1);
    dispatch(effStartProcess);
    running = true;
}

void VstPlugin::stop()
{
    if (!running)
        return;
    dispatch(effStopProcess);
    dispatch(effMainsChanged, 0, 0);
    running = false;
}

}  // namespace vsthost
