// Shared libraries that are not usable plug-ins, for the host's error paths.
// Built three times with a different FAKE_KIND each.
#include "plugin_interface/vst_interface.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

#if FAKE_KIND == 1
// No entry point at all.
EXPORT int not_a_plugin_function(int x) { return x + 1; }
#elif FAKE_KIND == 2
// An entry point that refuses to create an instance.
EXPORT AEffect* VSTPluginMain(audioMasterCallback) { return nullptr; }
#elif FAKE_KIND == 3
// An entry point that returns something that is not an effect record.
static AEffect not_a_record;
EXPORT AEffect* main_entry(audioMasterCallback) __asm__("main");
EXPORT AEffect* main_entry(audioMasterCallback)
{
    not_a_record.magic = 0x12345678;
    return &not_a_record;
}
#endif
