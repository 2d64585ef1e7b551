#include "plugin_interface/AudioEffect.h"

#include <cmath>
#include <cstdio>
#include <cstring>

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms,
                         VstInt32 numParams)
    : audioMaster(audioMaster), numPrograms(numPrograms), numParams(numParams)
{
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffectClass;
    cEffect.process = __processClassDeprecated;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = kDefaultUniqueID;
    cEffect.version = 1;
    cEffect.processReplacing = processClassReplacing;
    cEffect.processDoubleReplacing = processClassDoubleReplacing;
    // The constructor's own virtual call reaches this class's version only.
    AudioEffect::canProcessReplacing(true);
}

AudioEffect::~AudioEffect()
{
    delete editor;
    editor = nullptr;
}

// ---- class callbacks ------------------------------------------------------

static AudioEffect* object_of(AEffect* e)
{
    return e ? static_cast<AudioEffect*>(e->object) : nullptr;
}

VstIntPtr AudioEffect::dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                           VstIntPtr value, void* ptr, float opt)
{
    AudioEffect* ae = object_of(e);
    if (!ae)
        return 0;
    if (opcode == effClose) {
        ae->dispatcher(opcode, index, value, ptr, opt);
        ae->audioMaster = nullptr;
        ae->release_instance();  // the record dies with the object
        return 1;
    }
    return ae->dispatcher(opcode, index, value, ptr, opt);
}

float AudioEffect::getParameterClass(AEffect* e, VstInt32 index)
{
    AudioEffect* ae = object_of(e);
    return ae ? ae->getParameter(index) : 0.0f;
}

void AudioEffect::setParameterClass(AEffect* e, VstInt32 index, float value)
{
    if (AudioEffect* ae = object_of(e))
        ae->setParameter(index, value);
}

void AudioEffect::processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                        VstInt32 sampleFrames)
{
    if (AudioEffect* ae = object_of(e))
        ae->processReplacing(inputs, outputs, sampleFrames);
}

void AudioEffect::processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs,
                                              VstInt32 sampleFrames)
{
    if (AudioEffect* ae = object_of(e))
        ae->processDoubleReplacing(inputs, outputs, sampleFrames);
}

void AudioEffect::__processClassDeprecated(AEffect* e, float** inputs, float** outputs,
                                           VstInt32 sampleFrames)
{
    if (AudioEffect* ae = object_of(e))
        ae->process(inputs, outputs, sampleFrames);
}

// ---- base dispatch --------------------------------------------------------

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt)
{
    // A null text pointer is answered as usual but never written through.
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effOpen:
        open();
        return 0;
    case effClose:
        close();
        return 0;
    case effSetProgram:
        if (value < numPrograms)
            setProgram(static_cast<VstInt32>(value));
        return 0;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        if (text)
            setProgramName(text);
        return 0;
    case effGetProgramName:
        if (text)
            getProgramName(text);
        return 0;
    case effGetParamLabel:
        if (text)
            getParameterLabel(index, text);
        return 0;
    case effGetParamDisplay:
        if (text)
            getParameterDisplay(index, text);
        return 0;
    case effGetParamName:
        if (text)
            getParameterName(index, text);
        return 0;
    case effSetSampleRate:
        setSampleRate(opt);
        return 0;
    case effSetBlockSize:
        setBlockSize(static_cast<VstInt32>(value));
        return 0;
    case effMainsChanged:
        if (value == 0)
            suspend();
        else
            resume();
        return 0;
    case effEditGetRect:
        return (editor && editor->getRect(static_cast<ERect**>(ptr))) ? 1 : 0;
    case effEditOpen:
        return (editor && editor->open(ptr)) ? 1 : 0;
    case effEditClose:
        if (editor)
            editor->close();
        return 0;
    case effEditIdle:
        if (editor)
            editor->idle();
        return 0;
    case effIdentify:
        return kEffectIdentify;
    case effGetChunk:
        return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
        return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default:
        // Deprecated opcodes (effGetVu, effEditDraw...) and everything
        // outside 0 to 24, negative opcodes included.
        return 0;
    }
}

// ---- defaults -------------------------------------------------------------

void AudioEffect::setParameterAutomated(VstInt32 index, float value)
{
    setParameter(index, value);
    call_host(audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffect::getProgramName(char* name)
{
    if (name)
        name[0] = 0;
}

void AudioEffect::getParameterLabel(VstInt32 /*index*/, char* label)
{
    if (label)
        label[0] = 0;
}

void AudioEffect::getParameterDisplay(VstInt32 /*index*/, char* text)
{
    if (text)
        text[0] = 0;
}

void AudioEffect::getParameterName(VstInt32 /*index*/, char* text)
{
    if (text)
        text[0] = 0;
}

void AudioEffect::setEditor(AEffEditor* newEditor)
{
    editor = newEditor;
    set_flag(effFlagsHasEditor, newEditor != nullptr);
}

void AudioEffect::set_flag(VstInt32 flag, bool state)
{
    if (state)
        cEffect.flags |= flag;
    else
        cEffect.flags &= ~flag;
}

VstIntPtr AudioEffect::call_host(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt)
{
    const audioMasterCallback host = audioMaster;
    return host ? host(&cEffect, opcode, index, value, ptr, opt) : 0;
}

VstInt32 AudioEffect::getMasterVersion()
{
    VstInt32 version = 1;  // a host that does not answer is a 1.0 host
    if (audioMaster) {
        version = static_cast<VstInt32>(call_host(audioMasterVersion));
        if (version == 0)
            version = 1;
    }
    return version;
}

VstInt32 AudioEffect::getCurrentUniqueId()
{
    return static_cast<VstInt32>(call_host(audioMasterCurrentId));
}

void AudioEffect::masterIdle()
{
    call_host(audioMasterIdle);
}

// ---- value-to-text helpers ------------------------------------------------

// Writes text cut to maxLen bytes (terminator included), or to
// kVstMaxParamStrLen when maxLen is not positive.
static void bounded_copy(char* dst, const char* src, VstInt32 maxLen)
{
    if (!dst)
        return;
    size_t cap = maxLen > 0 ? static_cast<size_t>(maxLen) : kVstMaxParamStrLen;
    size_t n = std::strlen(src);
    if (n > cap - 1)
        n = cap - 1;
    std::memcpy(dst, src, n);
    dst[n] = 0;
}

void AudioEffect::dB2string(float value, char* text, VstInt32 maxLen)
{
    char buf[64];
    if (value <= 0.0f)
        std::snprintf(buf, sizeof buf, "-oo");
    else
        float2string(static_cast<float>(20.0 * std::log10(value)), buf, sizeof buf);
    bounded_copy(text, buf, maxLen);
}

void AudioEffect::Hz2string(float samples, char* text, VstInt32 maxLen)
{
    char buf[64];
    if (samples == 0.0f)
        std::snprintf(buf, sizeof buf, "0");
    else
        std::snprintf(buf, sizeof buf, "%d", static_cast<int>(sampleRate / samples));
    bounded_copy(text, buf, maxLen);
}

void AudioEffect::ms2string(float samples, char* text, VstInt32 maxLen)
{
    char buf[64];
    float2string(static_cast<float>(samples * 1000.0 / sampleRate), buf, sizeof buf);
    bounded_copy(text, buf, maxLen);
}

void AudioEffect::float2string(float value, char* text, VstInt32 maxLen)
{
    char buf[64];
    if (!std::isfinite(value) || std::fabs(value) >= 1e7f)
        std::snprintf(buf, sizeof buf, "%.3g", static_cast<double>(value));
    else
        std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(value));
    bounded_copy(text, buf, maxLen);
}

void AudioEffect::int2string(VstInt32 value, char* text, VstInt32 maxLen)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d", static_cast<int>(value));
    bounded_copy(text, buf, maxLen);
}
