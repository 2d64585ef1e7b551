// Base effect class: owns the AEffect record that the host talks to, turns the
// base opcodes 0 to 24 into virtual operations and wraps the host callback.
//
// The host finds the object through the record's object field; the static
// class callbacks installed in the record forward to the virtual operations.
// The framework takes no locks: the host may call the dispatcher, the
// parameter callbacks and processReplacing from different threads, and
// keeping those apart is the derived effect's job.
#pragma once

#include <atomic>

#include "plugin_interface/AEffEditor.h"
#include "plugin_interface/vst_interface.h"

class AudioEffect {
public:
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect();

    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // Host's dispatcher thread unless noted otherwise.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt);

    virtual void open() {}
    virtual void close() {}
    // effClose, after close() and with the host callback cleared: frees the
    // instance and its record. An effect whose editor may be inside a host
    // call on another thread right now frees itself once that call is over.
    virtual void release_instance() { delete this; }
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setSampleRate(float sampleRate) { this->sampleRate = sampleRate; }
    virtual void setBlockSize(VstInt32 blockSize) { this->blockSize = blockSize; }

    // Audio thread: no allocation, no lock, no system call.
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
    virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/,
                                        VstInt32 /*sampleFrames*/) {}

    // Any thread: host threads or the editor's GUI thread.
    virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}
    virtual float getParameter(VstInt32 /*index*/) { return 0.0f; }
    // Applies the value locally, then reports it to the host as automation.
    virtual void setParameterAutomated(VstInt32 index, float value);

    virtual VstInt32 getProgram() { return curProgram; }
    virtual void setProgram(VstInt32 program) { curProgram = program; }
    virtual void setProgramName(char* /*name*/) {}
    virtual void getProgramName(char* name);
    virtual void getParameterLabel(VstInt32 index, char* label);
    virtual void getParameterDisplay(VstInt32 /*index*/, char* text);
    virtual void getParameterName(VstInt32 /*index*/, char* text);
    virtual VstInt32 getChunk(void** /*data*/, bool /*isPreset*/) { return 0; }
    virtual VstInt32 setChunk(void* /*data*/, VstInt32 /*byteSize*/, bool /*isPreset*/)
    {
        return 0;
    }

    virtual void setUniqueID(VstInt32 iD) { cEffect.uniqueID = iD; }
    virtual void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
    virtual void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
    virtual void canProcessReplacing(bool state) { set_flag(effFlagsCanReplacing, state); }
    virtual void canDoubleReplacing(bool state) { set_flag(effFlagsCanDoubleReplacing, state); }
    virtual void programsAreChunks(bool state) { set_flag(effFlagsProgramChunks, state); }
    virtual void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }

    virtual AEffEditor* getEditor() { return editor; }
    // Takes ownership; the flag tells the host whether there is an editor.
    virtual void setEditor(AEffEditor* newEditor);
    virtual AEffect* getAeffect() { return &cEffect; }
    virtual float getSampleRate() { return sampleRate; }
    virtual VstInt32 getBlockSize() { return blockSize; }

    // Host-callback wrappers; each is false or 0 without a host callback.
    virtual VstInt32 getMasterVersion();
    virtual VstInt32 getCurrentUniqueId();
    virtual void masterIdle();

    // Value-to-text helpers, bounded to kVstMaxParamStrLen bytes.
    virtual void dB2string(float value, char* text, VstInt32 maxLen);
    virtual void Hz2string(float samples, char* text, VstInt32 maxLen);
    virtual void ms2string(float samples, char* text, VstInt32 maxLen);
    virtual void float2string(float value, char* text, VstInt32 maxLen);
    virtual void int2string(VstInt32 value, char* text, VstInt32 maxLen);

    // Deprecated accumulating entry; does nothing in this framework.
    virtual void process(float** /*inputs*/, float** /*outputs*/, VstInt32 /*sampleFrames*/) {}

    // The class callbacks installed in the record.
    static VstIntPtr dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                         VstIntPtr value, void* ptr, float opt);
    static float getParameterClass(AEffect* e, VstInt32 index);
    static void setParameterClass(AEffect* e, VstInt32 index, float value);
    static void processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                      VstInt32 sampleFrames);
    static void processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs,
                                            VstInt32 sampleFrames);
    static void __processClassDeprecated(AEffect* e, float** inputs, float** outputs,
                                         VstInt32 sampleFrames);

protected:
    // Calls the host with this instance's record; 0 without a host callback.
    VstIntPtr call_host(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                        void* ptr = nullptr, float opt = 0.0f);
    void set_flag(VstInt32 flag, bool state);

    // May be null; cleared at effClose, after which nothing reaches the host.
    std::atomic<audioMasterCallback> audioMaster;
    AEffEditor* editor = nullptr;     // owned
    float sampleRate = 44100.0f;      // Hz
    VstInt32 blockSize = 1024;        // frames
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 curProgram = 0;
    AEffect cEffect;
};
