// A VST 2 module that stands in for the plug-in and writes down how a host
// drives it: it loads the module named by ZE710_LOGGED_PLUGIN, hands the
// host the real record with the dispatcher and parameter entries replaced by
// logging forwarders, and appends one line a call to ZE710_CALL_LOG:
//
//   main
//   dispatch OPCODE index=I value=V opt=F = RESULT [ask "TEXT"] [-> "TEXT"]
//   setParameter I F
//   getParameter I = F
//
// "ask" is the string a canDo query passes, "->" the text the plug-in wrote
// back for the text opcodes; floats print with %.9g, which reads back
// exactly. Audio calls are not logged: when the first block comes depends on
// the host's threads, not on its order of calls. Used by ardour_call_order.sh.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>

#include "plugin_interface/vst_interface.h"

namespace {

// One instance at a time, as Ardour's scanner and sessions make them.
AEffectDispatcherProc real_dispatcher;
AEffectSetParameterProc real_set;
AEffectGetParameterProc real_get;
std::mutex log_lock;
const std::set<VstInt32> kTextOpcodes = {effGetProgramName, effGetParamLabel,   effGetParamDisplay,  effGetParamName,
                                         effGetProgramNameIndexed, effGetEffectName, effGetVendorString, effGetProductString};

void log_line(const std::string& line)
{
    std::lock_guard<std::mutex> guard(log_lock);
    if (FILE* f = std::getenv("ZE710_CALL_LOG") ? std::fopen(std::getenv("ZE710_CALL_LOG"), "a") : nullptr)
        std::fprintf(f, "%s\n", line.c_str()), std::fclose(f);
}

VstIntPtr dispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    const std::string asked = opcode == effCanDo ? (ptr ? " ask \"" + std::string(static_cast<char*>(ptr)) + "\"" : " ask null") : "";
    const VstIntPtr result = real_dispatcher(effect, opcode, index, value, ptr, opt);
    char line[256];
    std::snprintf(line, sizeof line, "dispatch %d index=%d value=%ld opt=%.9g = %ld", opcode, index, static_cast<long>(value),
                  static_cast<double>(opt), static_cast<long>(result));
    log_line(std::string(line) + asked + (kTextOpcodes.count(opcode) && ptr ? " -> \"" + std::string(static_cast<char*>(ptr)) + "\"" : ""));
    return result;
}

void set_parameter(AEffect* effect, VstInt32 index, float value)
{
    char line[96];
    std::snprintf(line, sizeof line, "setParameter %d %.9g", index, static_cast<double>(value));
    log_line(line);
    real_set(effect, index, value);
}

float get_parameter(AEffect* effect, VstInt32 index)
{
    const float value = real_get(effect, index);
    char line[96];
    std::snprintf(line, sizeof line, "getParameter %d = %.9g", index, static_cast<double>(value));
    log_line(line);
    return value;
}

} // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host)
{
    const char* path = std::getenv("ZE710_LOGGED_PLUGIN");
    void* module = path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
    auto entry = module ? reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(module, "VSTPluginMain")) : nullptr;
    AEffect* effect = entry ? (log_line("main"), entry(host)) : nullptr;
    if (!effect)
        return log_line(std::string("cannot load the logged plug-in ") + (path ? path : "(unset)")), nullptr;
    real_dispatcher = effect->dispatcher, real_set = effect->setParameter, real_get = effect->getParameter;
    effect->dispatcher = dispatcher, effect->setParameter = set_parameter, effect->getParameter = get_parameter;
    return effect;
}
