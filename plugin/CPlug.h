// CPlug, the equaliser effect: nine parameters, nine programs, the audio
// entry and the host's opcodes, on top of the framework's AudioEffectX.
//
// Threads: the host's audio thread (processReplacing), the host's other
// threads (dispatcher, parameter callbacks) and the editor's GUI thread
// (setParameterAutomated, setProgram, getProgramName, beginEdit, endEdit).
// Lock: the one instance mutex serialises parameter applications (DSP
// setter, params, program record, editor notification) and the program
// names, title and host enable, and the state chunks; the audio path never
// takes it. CLFx's targets are lock-free atomics, so a change reaches the
// audio at the next chunk.
#pragma once

#include <pthread.h>

#include <atomic>
#include <memory>
#include <vector>

#include "model/eq_driver.h"
#include "model/eq_params.h"
#include "model/eq_programs.h"
#include "model/ze710_version.h"
#include "model/eq_chunk.h"
#include "plugin/CPlugProgram.h"
#include "plugin_interface/AudioEffectX.h"

class CLFx;
class CEditorGUI;

class CPlug : public AudioEffectX {
public:
    static constexpr int kNumPrograms = kEqNumPrograms;
    static constexpr int kNumParams = kEqNumParams;
    static constexpr int kNumSlots = CPlugProgram::kNumValues;
    static constexpr int kTitleBound = 255;   // bytes of title, terminator included
    static constexpr int kDisplayBound = 24;  // bytes a display text may use, terminator included

    // Parameter indices as the host sees them (eq_params.h).
    enum ParamIndex {
        kHfGain = kEqHfGain,
        kLfGain = kEqLfGain,
        kMidFreq = kEqMidFreq,
        kMidGain = kEqMidGain,
        kLfFreq = kEqLfFreq,
        kHfFreq = kEqHfFreq,
        kMidBw = kEqMidBw,
        kBypassSwitch = kEqEffect,
        kUiSize = kEqUiSize,
    };
    // Slot order of params and program records.
    enum Slot { kSlotHfGain = 0, kSlotLfGain, kSlotMidGain, kSlotHfFreq, kSlotLfFreq,
                kSlotMidFreq, kSlotMidBw, kSlotBypassSwitch };
    static constexpr int kSlotOfIndex[kNumSlots] = {0, 1, 5, 2, 4, 3, 6, 7};

    CPlug(audioMasterCallback audioMaster, long numPrograms, long numParams);
    ~CPlug() override;
    // effClose: the editor retires (CEditorGUI::retire) and the instance is
    // freed now, or on the GUI thread once an input handler that is inside
    // a host callback has returned.
    void release_instance() override;

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override;

    // ---- audio thread: no allocation, no lock, no system call ----
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    // Runs the engine driver (eq_driver.h): chunks of at most 64 frames.
    // Replacing; the framework's deprecated accumulating process (VstInt32
    // count) is a different overload and stays a no-op.
    void process(float** inputs, float** outputs, long sampleFrames);
    using AudioEffect::process;

    // ---- host thread, never concurrent with processReplacing ----
    // A rate that is not finite or not positive is ignored.
    void setSampleRate(float sampleRate) override;
    void suspend() override;
    VstInt32 stopProcess() override;
    void init_audio_engine(float sampleRate);
    void power_off();
    void Idle() {}

    // ---- parameters: any thread ----
    // Takes the instance mutex; index outside 0 to 8 does nothing.
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    // Write at most kDisplayBound bytes; other indices leave text untouched.
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;

    // Frequency law: logarithmic between min_hz and max_hz, no clamping
    // (eq_freq_of_fraction and eq_fraction_of_freq).
    static float get_freq_from_knob_fract(float min_hz, float max_hz, float fraction);
    static float get_knob_fract_from_freq(float min_hz, float max_hz, float hz);

    // Apply one parameter; the caller holds the mutex.
    void control_update_hf_gain(float v);
    void control_update_lf_gain(float v);
    void control_update_mid_freq(float v);
    void control_update_mid_gain(float v);
    void control_update_lf_freq(float v);
    void control_update_hf_freq(float v);
    void control_update_mid_bw(float v);
    void control_update_bypass_switch(float v);
    void control_update_ui_size(float v);

    // Host bypass: v is clamped to 0..1, 1.0 = enabled. Takes the mutex.
    void control_update_host_eff_enable(float v);
    bool setBypass(bool bypass) override;

    // ---- programs: host thread or GUI thread ----
    // index is clamped to 0..8; the values are applied as automation.
    void setProgram(VstInt32 index) override;
    VstInt32 getProgram() override { return static_cast<VstInt32>(cur_program.load()); }
    void setProgramName(char* name) override;
    // text holds kVstMaxProgNameLen bytes.
    void getProgramName(char* text) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    void initFactoryPresets();

    // ---- state chunks: host's non-audio thread, take the mutex ----
    // The bank (all programs, the current program, the editor size) or, with
    // isPreset, the current program, in the format of model/eq_chunk.h. *data
    // points into a buffer of the calling thread's own in this instance and
    // stays unchanged until that thread's next getChunk or effClose, so two
    // threads saving at once each get a whole chunk. 0 for a null data
    // pointer.
    VstInt32 getChunk(void** data, bool isPreset) override;
    // Applies a whole, valid chunk of exactly byteSize bytes and answers 1;
    // anything else answers 0 and changes nothing. The values reach the
    // engine and the editor but are not reported to the host as automation.
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;

    // ---- identity ----
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override { return kVendorVersion; }
    VstInt32 canDo(char* text) override;

    static constexpr VstInt32 kVendorVersion = ZE710_VENDOR_VERSION;

private:
    // Store v in the slot of params and of the current program.
    void store_slot(int slot, float v);
    void notify_editor(int index, float v);
    void set_title_locked(const char* prefix, const char* name);
    // The eight values of a program through the control updates, without
    // automation; the caller holds the mutex.
    void apply_program_locked(const CPlugProgram& program);

    std::atomic<float> ui_size{0.0f};
    std::atomic<long long> cur_program{0};
    CLFx* dsp = nullptr;
    CEditorGUI* editor_gui = nullptr;  // held by the editor adapter (CPlugEditor)
    CPlugProgram* programs = nullptr;
    pthread_mutex_t mutex;
    std::atomic<float> params[kNumSlots];
    std::atomic<float> host_eff_enable{1.0f};
    char title[kTitleBound + 1];
    // The last getChunk answer of each thread that asked, most recent first;
    // mutex. At most kChunkBuffers threads keep theirs: a host does not save
    // from more threads than that at once.
    struct ChunkBuffer {
        pthread_t owner;
        uint8_t bytes[eq_chunk::kBankBytes];
    };
    static constexpr size_t kChunkBuffers = 16;
    std::vector<std::unique_ptr<ChunkBuffer>> chunk_buffers;
    uint8_t* chunk_buffer_locked();
};
