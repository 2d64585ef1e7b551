#include "plugin/CPlug.h"
#include "plugin/mutex_lock.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "dsp/CLFx.h"
#include "editor/CEditorGUI.h"
#include "plugin/CPlugEditor.h"
#include "plugin_interface/vst_entry.h"

namespace {

constexpr VstInt32 kUniqueId = vst_fourcc('Z', 'E', '7', '1');
constexpr int kMaxProgram = CPlug::kNumPrograms - 1;  // setProgram clamps to 0..8
static_assert(CPlug::kNumPrograms == kEqNumPrograms, "a bank chunk holds every program");

// A program record between the slot order of CPlugProgram and the parameter
// index order of the state chunk's EqProgram.
EqProgram eq_program_of(const CPlugProgram& program)
{
    EqProgram out;
    for (int index = 0; index < CPlug::kNumSlots; ++index)
        out.value[index] = program.value(CPlug::kSlotOfIndex[index]);
    eq_program_set_name(&out, program.name);
    return out;
}

CPlugProgram plug_program_of(const EqProgram& program)
{
    CPlugProgram out;
    for (int index = 0; index < CPlug::kNumSlots; ++index)
        out.value(CPlug::kSlotOfIndex[index]) = program.value[index];
    out.set_name(program.name);
    return out;
}

// Copies text with its terminator into a host buffer of at least `bound` bytes.
void copy_bounded(char* dst, const char* src, size_t bound)
{
    size_t n = strnlen(src, bound - 1);
    std::memcpy(dst, src, n);
    dst[n] = 0;
}

float clamp01(float v) { return v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : v); }

}  // namespace

constexpr int CPlug::kSlotOfIndex[];

// ---- construction ---------------------------------------------------------

CPlug::CPlug(audioMasterCallback audioMaster, long numPrograms, long numParams)
    : AudioEffectX(audioMaster, static_cast<VstInt32>(numPrograms),
                   static_cast<VstInt32>(numParams))
{
    for (int slot = 0; slot < kNumSlots; ++slot)
        params[slot].store(slot == kSlotBypassSwitch ? 1.0f : 0.5f, std::memory_order_relaxed);
    host_eff_enable.store(1.0f, std::memory_order_relaxed);
    title[0] = 0;

    CPlugEditor* plug_editor = new CPlugEditor(this);
    editor = plug_editor;
    editor_gui = plug_editor->gui();
    pthread_mutex_init(&mutex, nullptr);

    dsp = nullptr;
    cur_program.store(0, std::memory_order_relaxed);
    setUniqueID(kUniqueId);
    setNumInputs(2);
    setNumOutputs(2);

    programs = new CPlugProgram[this->numPrograms > 0 ? this->numPrograms : 1];
    initFactoryPresets();

    canProcessReplacing(true);
    cEffect.flags |= effFlagsHasEditor;
    // Hosts then save and restore the state chunk with a session, so every
    // program's edits, names and the current program survive, not only the
    // nine current values.
    programsAreChunks(true);

    dsp = new CLFx();
    init_audio_engine(sampleRate);

    ui_size.store(0.0f, std::memory_order_relaxed);
}

CPlug::~CPlug()
{
    delete editor;
    editor = nullptr;
    editor_gui = nullptr;
    delete dsp;
    dsp = nullptr;
    delete[] programs;
    programs = nullptr;
    pthread_mutex_destroy(&mutex);
}

void CPlug::release_instance()
{
    editor_gui->retire([](void* plug) { delete static_cast<CPlug*>(plug); }, this);
}

AudioEffect* createEffectInstance(audioMasterCallback audioMaster)
{
    return new (std::nothrow) CPlug(audioMaster, CPlug::kNumPrograms, CPlug::kNumParams);
}

// ---- dispatcher -----------------------------------------------------------

VstIntPtr CPlug::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                            float opt)
{
    // Text opcodes answer as they always do, but a null ptr is never written
    // through or read from.
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effSetProgram:
        // setProgram clamps; the index is narrowed with saturation first so
        // that a huge value cannot wrap into range.
        setProgram(value > kMaxProgram ? kMaxProgram
                                       : (value < 0 ? 0 : static_cast<VstInt32>(value)));
        return 1;
    case effGetProgram:
        return static_cast<VstIntPtr>(cur_program.load(std::memory_order_relaxed));
    case effSetProgramName:
        if (text)
            setProgramName(text);
        return 1;
    case effGetProgramName:
        if (text)
            getProgramName(text);
        return 1;
    case effSetSampleRate:
        setSampleRate(opt);
        return 0;
    case effEditGetRect:
        editor->getRect(static_cast<ERect**>(ptr));
        return 1;
    case effEditOpen:
        editor->open(ptr);
        return 1;
    case effEditClose:
        editor->close();
        return 1;
    case effEditIdle:
        Idle();
        return 0;
    case effProcessEvents:
        return 1;
    case effCanBeAutomated:
        return canParameterBeAutomated(index) ? 1 : 0;
    case effGetProgramNameIndexed:
        if (text)
            getProgramNameIndexed(static_cast<VstInt32>(value), index, text);
        return 1;
    case effSetBypass:
        setBypass(value != 0);
        return 1;
    case effGetEffectName:
        if (text)
            getEffectName(text);
        return 1;
    case effGetVendorString:
        if (text)
            getVendorString(text);
        return 1;
    case effGetProductString:
        if (text)
            getProductString(text);
        return 1;
    case effGetVendorVersion:
        return getVendorVersion();
    case effCanDo:
        return text ? canDo(text) : 0;
    case effGetVstVersion:
        return getVstVersion();
    case effStopProcess:
        stopProcess();
        return 1;
    case effGetChunk:
        return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
        // The size travels in a pointer-sized value; one beyond 32 bits is no
        // chunk of ours and must not be narrowed into a plausible size.
        if (value <= 0 || value > INT32_MAX)
            return 0;
        return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default:
        // Straight to the base dispatch: the remaining extended opcodes
        // answer 0 there.
        return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

// ---- audio ----------------------------------------------------------------

void CPlug::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames)
{
    process(inputs, outputs, static_cast<long>(sampleFrames));
}

void CPlug::process(float** inputs, float** outputs, long sampleFrames)
{
    if (sampleFrames <= 0 || !inputs || !outputs)
        return;
    const float* in_l = inputs[0];
    const float* in_r = inputs[1];
    float* out_l = outputs[0];
    float* out_r = outputs[1];
    if (!in_l || !in_r || !out_l || !out_r)
        return;

    eq_process(*dsp, in_l, in_r, out_l, out_r, sampleFrames);
}

void CPlug::init_audio_engine(float rate)
{
    eq_prime(*dsp, rate);
}

void CPlug::setSampleRate(float rate)
{
    // A rate of zero, below zero, infinite or NaN would put the engine on a
    // division by zero and leave NaN in its memories for good; a tiny or an
    // enormous one would make it unstable.
    if (!eq_sample_rate_ok(rate))
        return;
    dsp->lx_srate(rate);
    dsp->lx_init();
    sampleRate = rate;
}

void CPlug::suspend()
{
    power_off();
}

VstInt32 CPlug::stopProcess()
{
    power_off();
    return 1;
}

void CPlug::power_off()
{
    dsp->lx_clear();
}

// ---- host bypass ----------------------------------------------------------

bool CPlug::setBypass(bool bypass)
{
    control_update_host_eff_enable(bypass ? 0.0f : 1.0f);
    return true;
}

void CPlug::control_update_host_eff_enable(float v)
{
    v = clamp01(v);
    // Under the mutex so that it cannot interleave with a change of "Effect":
    // both read the other's value to form the same product.
    MutexLock lock(mutex);
    host_eff_enable.store(v, std::memory_order_relaxed);
    const float effect = params[kSlotBypassSwitch].load(std::memory_order_relaxed);
    eq_apply(*dsp, kEqEffect, effect * v);
    editor_gui->setHostEffEnable(v);
}

// ---- identity -------------------------------------------------------------

bool CPlug::getEffectName(char* name)
{
    if (!name)
        return false;
    std::strcpy(name, "ZE710");
    return true;
}

bool CPlug::getVendorString(char* text)
{
    if (!text)
        return false;
    std::strcpy(text, "Kestrelwood");
    return true;
}

bool CPlug::getProductString(char* text)
{
    if (!text)
        return false;
    std::strcpy(text, "Stereo Channel EQ");
    return true;
}

VstInt32 CPlug::canDo(char* text)
{
    return (text && std::strcmp(text, "bypass") == 0) ? 1 : 0;
}

// ---- programs -------------------------------------------------------------

void CPlug::initFactoryPresets()
{
    char name[kVstMaxProgNameLen];
    EqProgramValues values;
    for (int i = 0; i < numPrograms; ++i) {
        // More programs than the table: they keep "Default".
        if (!eq_program(i, &values, name, sizeof name))
            continue;
        for (int index = 0; index < kNumSlots; ++index)
            programs[i].value(kSlotOfIndex[index]) = values.v[index];
        programs[i].set_name(name);
    }
}

void CPlug::setProgram(VstInt32 index)
{
    const VstInt32 last = numPrograms - 1 < kMaxProgram ? numPrograms - 1 : kMaxProgram;
    if (index > last)
        index = last;
    if (index < 0)
        index = 0;

    // One step under the mutex: the current program's number and the live
    // values change together, so that no parameter change from another
    // thread (nor another selection) lands in the wrong program's record.
    CPlugProgram selected;
    {
        MutexLock lock(mutex);
        cur_program.store(index, std::memory_order_relaxed);
        selected = programs[index];
        apply_program_locked(selected);
        set_title_locked("ZE710: ", selected.name);
    }
    // Then the host hears of the values as automation, in this order.
    const int order[] = {kHfGain, kLfGain, kMidGain, kHfFreq, kLfFreq, kMidFreq, kMidBw, kBypassSwitch};
    for (int param : order)
        call_host(audioMasterAutomate, param, 0, nullptr, selected.value(kSlotOfIndex[param]));
    // Outside the lock: the editor reads the name back through getProgramName.
    editor_gui->setProgram(index);
}

void CPlug::setProgramName(char* name)
{
    if (!name)
        return;
    MutexLock lock(mutex);
    programs[cur_program.load(std::memory_order_relaxed)].set_name(name);
    set_title_locked("ZE710-VST: ", name);
}

void CPlug::set_title_locked(const char* prefix, const char* name)
{
    // Bounded on both sides: at most kTitleBound bytes are read from name
    // and written into title, terminator included.
    copy_bounded(title, prefix, kTitleBound);
    const size_t used = std::strlen(title);
    copy_bounded(title + used, name, kTitleBound - used);
    editor_gui->set_plugin_name(title);
}

void CPlug::getProgramName(char* text)
{
    if (!text)
        return;
    MutexLock lock(mutex);
    copy_bounded(text, programs[cur_program.load(std::memory_order_relaxed)].name,
                 kVstMaxProgNameLen);
}

bool CPlug::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text)
{
    if (!text || index < 0 || index >= numPrograms)
        return false;
    MutexLock lock(mutex);
    copy_bounded(text, programs[index].name, kVstMaxProgNameLen);
    return true;
}

// ---- state chunks -----------------------------------------------------------

VstInt32 CPlug::getChunk(void** data, bool isPreset)
{
    if (!data || numPrograms != kEqNumPrograms)
        return 0;
    MutexLock lock(mutex);
    uint8_t* chunk_data = chunk_buffer_locked();
    if (!chunk_data)
        return 0;
    const long long current = cur_program.load(std::memory_order_relaxed);
    size_t size;
    if (isPreset) {
        size = eq_chunk_write_program(eq_program_of(programs[current]), chunk_data);
    } else {
        EqBank bank;
        for (int i = 0; i < kEqNumPrograms; ++i)
            bank.programs[i] = eq_program_of(programs[i]);
        bank.current_program = static_cast<int>(current);
        bank.ui_size = ui_size.load(std::memory_order_relaxed);
        size = eq_chunk_write_bank(bank, chunk_data);
    }
    *data = chunk_data;
    return static_cast<VstInt32>(size);
}

uint8_t* CPlug::chunk_buffer_locked()
{
    const pthread_t self = pthread_self();
    for (size_t i = 0; i < chunk_buffers.size(); ++i) {
        if (pthread_equal(chunk_buffers[i]->owner, self)) {
            std::rotate(chunk_buffers.begin(), chunk_buffers.begin() + static_cast<long>(i),
                        chunk_buffers.begin() + static_cast<long>(i) + 1);
            return chunk_buffers.front()->bytes;
        }
    }
    // A new thread: a fresh buffer, or the one used longest ago.
    if (chunk_buffers.size() < kChunkBuffers) {
        ChunkBuffer* buffer = new (std::nothrow) ChunkBuffer;
        if (!buffer)
            return nullptr;
        chunk_buffers.insert(chunk_buffers.begin(), std::unique_ptr<ChunkBuffer>(buffer));
    } else {
        std::rotate(chunk_buffers.begin(), chunk_buffers.end() - 1, chunk_buffers.end());
    }
    chunk_buffers.front()->owner = self;
    return chunk_buffers.front()->bytes;
}

VstInt32 CPlug::setChunk(void* data, VstInt32 byteSize, bool isPreset)
{
    if (!data || byteSize <= 0 || numPrograms != kEqNumPrograms)
        return 0;
    // The whole chunk is read and checked before anything changes.
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    const size_t size = static_cast<size_t>(byteSize);
    EqBank bank;
    EqProgram program;
    if (isPreset ? !eq_chunk_read_program(bytes, size, &program) : !eq_chunk_read_bank(bytes, size, &bank))
        return 0;

    long long current;
    {
        MutexLock lock(mutex);
        if (isPreset) {
            current = cur_program.load(std::memory_order_relaxed);
            programs[current] = plug_program_of(program);
        } else {
            for (int i = 0; i < kEqNumPrograms; ++i)
                programs[i] = plug_program_of(bank.programs[i]);
            current = bank.current_program;
            cur_program.store(current, std::memory_order_relaxed);
            control_update_ui_size(bank.ui_size);
        }
        apply_program_locked(programs[current]);
        set_title_locked("ZE710: ", programs[current].name);
    }
    // Outside the lock: the editor reads the name back through getProgramName
    // and may ask the host to resize its window.
    editor_gui->setProgram(static_cast<int>(current));
    if (!isPreset)
        editor_gui->follow_ui_size();
    return 1;
}

void CPlug::apply_program_locked(const CPlugProgram& program)
{
    // A copy: each update writes its value back into the current record.
    const CPlugProgram p = program;
    control_update_hf_gain(p.hf_gain);
    control_update_lf_gain(p.lf_gain);
    control_update_mid_gain(p.mid_gain);
    control_update_hf_freq(p.hf_freq);
    control_update_lf_freq(p.lf_freq);
    control_update_mid_freq(p.mid_freq);
    control_update_mid_bw(p.mid_bw);
    control_update_bypass_switch(p.bypass_switch);
}
