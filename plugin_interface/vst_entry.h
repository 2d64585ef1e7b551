// Supplied by the plug-in: creates one effect instance for the entry point.
// Called on the host's thread that loads the instance; returns null when the
// effect cannot be created.
#pragma once

#include "plugin_interface/AudioEffect.h"

AudioEffect* createEffectInstance(audioMasterCallback audioMaster);
