// A VST 2 module that stands in for the plug-in and writes down how a host
// drives it: it loads the real module named by ZE710_LOGGED_PLUGIN, hands
// the host the real record with the dispatcher and the parameter entries
// replaced by logging forwarders, and appends one line a call to the file
// named by ZE710_CALL_LOG:
//
//   main
//   dispatch OPCODE index=I value=V opt=F = RESULT [ask "TEXT"] [-> "TEXT"]
//   setParameter I F
//   getParameter I = F
//
// "ask" is the string a canDo query passes in, "->" the text the plug-in
// wrote back for the text opcodes. Floats print with %.9g, which reads back
// exactly. Audio calls are not logged: when the first block arrives depends
// on the host's threads, not on its order of calls.
//
// Test-only: used by ardour_call_order.sh to record a real Ardour's calls.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "plugin_interface/vst_interface.h"

namespace {

typedef AEffect* (*EntryPoint)(audioMasterCallback);

// One plug-in instance is logged; Ardour's scanner and sessions make one
// at a time per process.
AEffectDispatcherProc real_dispatcher = nullptr;
AEffectSetParameterProc real_set_parameter = nullptr;
AEffectGetParameterProc real_get_parameter = nullptr;
std::mutex log_lock;

void log_line(const std::string& line)
{
    const char* path = std::getenv("ZE710_CALL_LOG");
    if (!path)
        return;
    std::lock_guard<std::mutex> guard(log_lock);
    if (FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

bool writes_text(VstInt32 opcode)
{
    switch (opcode) {
    case effGetProgramName:
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
    case effGetProgramNameIndexed:
    case effGetEffectName:
    case effGetVendorString:
    case effGetProductString:
        return true;
    default:
        return false;
    }
}

VstIntPtr logged_dispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt)
{
    std::string asked;
    if (opcode == effCanDo && ptr)
        asked = static_cast<const char*>(ptr);
    const VstIntPtr result = real_dispatcher(effect, opcode, index, value, ptr, opt);
    char line[512];
    std::snprintf(line, sizeof line, "dispatch %d index=%d value=%ld opt=%.9g = %ld", opcode, index,
                  static_cast<long>(value), opt, static_cast<long>(result));
    std::string text = line;
    if (opcode == effCanDo)
        text += ptr ? " ask \"" + asked + "\"" : " ask null";
    if (writes_text(opcode) && ptr)
        text += " -> \"" + std::string(static_cast<const char*>(ptr)) + "\"";
    log_line(text);
    return result;
}

void logged_set_parameter(AEffect* effect, VstInt32 index, float value)
{
    char line[96];
    std::snprintf(line, sizeof line, "setParameter %d %.9g", index, value);
    log_line(line);
    real_set_parameter(effect, index, value);
}

float logged_get_parameter(AEffect* effect, VstInt32 index)
{
    const float value = real_get_parameter(effect, index);
    char line[96];
    std::snprintf(line, sizeof line, "getParameter %d = %.9g", index, value);
    log_line(line);
    return value;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host)
{
    const char* path = std::getenv("ZE710_LOGGED_PLUGIN");
    void* module = path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
    EntryPoint entry = module ? reinterpret_cast<EntryPoint>(dlsym(module, "VSTPluginMain")) : nullptr;
    if (!entry) {
        log_line(std::string("cannot load the logged plug-in: ") + (path ? path : "ZE710_LOGGED_PLUGIN unset"));
        return nullptr;
    }
    log_line("main");
    AEffect* effect = entry(host);
    if (!effect)
        return nullptr;
    real_dispatcher = effect->dispatcher;
    real_set_parameter = effect->setParameter;
    real_get_parameter = effect->getParameter;
    effect->dispatcher = logged_dispatcher;
    effect->setParameter = logged_set_parameter;
    effect->getParameter = logged_get_parameter;
    return effect;
}
