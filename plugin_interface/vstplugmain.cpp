// The plug-in's entry point, compiled into the shared library only (a test
// executable has a main of its own). Hosts look up "VSTPluginMain" first and
// fall back to "main"; both names are the same function.
#include "plugin_interface/AudioEffect.h"
#include "plugin_interface/vst_entry.h"

extern "C" {

__attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback audioMaster)
{
    // No exception may reach the host: a failed construction is a null record.
    try {
        AudioEffect* effect = createEffectInstance(audioMaster);
        return effect ? effect->getAeffect() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

// C++ reserves the name main for the program's entry; the symbol is given its
// name at assembly level and aliased to VSTPluginMain.
AEffect* vst_main_entry(audioMasterCallback audioMaster) __asm__("main")
    __attribute__((alias("VSTPluginMain"), visibility("default")));
}
