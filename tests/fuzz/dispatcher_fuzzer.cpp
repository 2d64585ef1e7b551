// Dispatcher fuzzing: the input bytes are a program of host calls on one
// instance made through the entry point. One operation byte (value % 8:
// 0-2 dispatch, 3-4 setParameter, 5 getParameter, 6-7 processReplacing)
// starts each call, its fields follow: dispatcher calls with any opcode
// (also negative and past the last), index, value and opt, and a pointer
// that is null or a buffer of exactly the size the interface grants for
// that opcode (AddressSanitizer sees any write past it); processReplacing
// of up to 4096 frames, separate or in place, finite or not; sample-rate
// changes, and effClose followed by a new instance. A crash, a sanitizer
// report, or a non-finite output sample more than one 64-frame chunk after
// the last non-finite input fails the run. effSetChunk gets zeros or the
// instance's own state chunk, damaged in a few bytes or cut short.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "plugin_interface/vst_entry.h"
#include "plugin_interface/vst_interface.h"

namespace {

// Bytes the interface grants to the opcodes that write into a buffer; any
// other opcode gets null or a buffer it has no business touching.
const std::map<VstInt32, size_t> kBufferSizes = {
    {effGetProgramName, kVstMaxProgNameLen}, {effGetProgramNameIndexed, kVstMaxProgNameLen}, {effGetParamLabel, 24},
    {effGetParamDisplay, 24}, {effGetParamName, 24}, {effGetEffectName, kVstMaxEffectNameLen},
    {effGetVendorString, kVstMaxVendorStrLen}, {effGetProductString, kVstMaxProductStrLen}, {effGetInputProperties, 128},
    {effGetOutputProperties, 128}, {effGetParameterProperties, 152}, {effGetMidiProgramName, 256},
    {effGetCurrentMidiProgram, 256}, {effGetMidiProgramCategory, 256}, {effGetMidiKeyName, 256}};
constexpr long kRecoveryFrames = 64;

struct Reader {
    const uint8_t* p;
    size_t left;
    uint8_t u8() { return left ? (--left, *p++) : 0; }
    uint32_t u32()
    {
        uint32_t v = 0;
        for (int shift = 0; shift < 32; shift += 8)
            v |= static_cast<uint32_t>(u8()) << shift;
        return v;
    }
    float raw_float()
    {
        const uint32_t bits = u32();
        float f;
        return std::memcpy(&f, &bits, sizeof f), f;
    }
    // -1 to 10 (around the nine parameters and programs), or any.
    VstInt32 index() { const uint8_t k = u8(); return k < 200 ? k % 12 - 1 : static_cast<VstInt32>(u32()); }
    VstIntPtr value()
    {
        const uint8_t k = u8();
        const uint64_t low = k < 200 ? 0 : u32();
        return k < 160 ? k % 16 - 2 : k < 200 ? (k & 1 ? INTPTR_MAX : INTPTR_MIN) : static_cast<VstIntPtr>(low | uint64_t{u32()} << 32);
    }
    float rate()
    {
        static const float kRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};
        const uint8_t k = u8();
        return k < 230 ? kRates[k % 13] : raw_float();
    }
    float opt() { const uint8_t k = u8(); return k < 128 ? k % 3 : k < 200 ? rate() : raw_float(); }
    // Mostly inside 0..1, the edges, a little outside, sometimes any float.
    float parameter()
    {
        const uint8_t k = u8();
        return k < 160 ? u8() / 255.0f : k < 200 ? k % 5 * 0.25f : k < 230 ? -1.0f + 3.0f * u8() / 255.0f : raw_float();
    }
};

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float)
{
    if ((opcode == audioMasterGetVendorString || opcode == audioMasterGetProductString) && ptr)
        std::strcpy(static_cast<char*>(ptr), "fuzz");
    return opcode == audioMasterVersion ? 2400 : opcode == audioMasterGetSampleRate ? 48000 : opcode == audioMasterGetBlockSize ? 512 : 1;
}

[[noreturn]] void fail(const char* what, long detail)
{
    std::fprintf(stderr, "dispatcher fuzzer: %s (%ld)\n", what, detail);
    std::abort();
}

// What the module's entry point does (not linked here: its main would clash
// with a program's).
AEffect* create()
{
    AudioEffect* instance = createEffectInstance(host);
    AEffect* e = instance ? instance->getAeffect() : nullptr;
    if (!e || e->magic != kEffectMagic)
        fail("the entry point returned no valid record", 0);
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    return e;
}

void close(AEffect* e)
{
    if (e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f) != 1)
        fail("effClose did not answer 1", 0);
}

void dispatch(AEffect*& e, Reader& in, long& since_bad_input)
{
    const VstInt32 opcode = in.u8() % 96 - 8, index = in.index();
    VstIntPtr value = in.value();
    float opt = in.opt();
    const bool null_ptr = (in.u8() & 7) == 0;
    std::vector<char> buffer(kBufferSizes.count(opcode) ? kBufferSizes.at(opcode) : 256, '\x7f');
    void* ptr = null_ptr && !kBufferSizes.count(opcode) ? nullptr : buffer.data();
    void* out = nullptr;  // where the plug-in leaves a pointer (rectangle, chunk)
    void* speakers[2] = {buffer.data(), buffer.data() + 128};
    struct {
        VstInt32 count;
        VstIntPtr reserved;
        void* events[2];
    } events{};
    switch (opcode) {
    case effClose:
        return close(e), e = create(), void(since_bad_input = kRecoveryFrames + 1);
    case effEditOpen:
        return;  // its parent is a real host's X window; not fuzzed here
    case effSetSampleRate:
        ptr = nullptr, opt = in.rate();
        break;
    case effSetProgramName:
    case effCanDo:
    case effString2Parameter:
        buffer.assign(in.u8() % 256 + 1, 0);
        for (size_t i = 0; i + 1 < buffer.size(); ++i)
            buffer[i] = static_cast<char>(in.u8() | 1);
        if (buffer.size() == 7 && (in.u8() & 1))
            std::memcpy(buffer.data(), "bypass", 6);
        ptr = null_ptr && opcode == effCanDo ? nullptr : buffer.data();
        break;
    case effEditGetRect:
    case effGetChunk:
        ptr = &out;
        break;
    case effSetChunk: {
        // Below 128: zeros, 16 bytes a step. From 128: the instance's own
        // chunk of the kind the index asks for, with up to three bytes changed
        // and perhaps cut short (an exact-size copy), so that the checks past
        // the header are reached.
        const uint8_t kind = in.u8();
        buffer.assign(kind < 128 ? kind * 16u : 0u, 0);
        void* own = nullptr;
        const VstIntPtr n = kind < 128 ? 0 : e->dispatcher(e, effGetChunk, index, 0, &own, 0.0f);
        if (n > 0 && own)
            buffer.assign(static_cast<const char*>(own), static_cast<const char*>(own) + n);
        for (int edit = 0; !buffer.empty() && kind >= 128 && edit < (kind & 3); ++edit)
            buffer[(in.u8() | (in.u8() << 8)) % buffer.size()] ^= static_cast<char>(in.u8());
        if (kind >= 128 && (kind & 4))
            buffer = std::vector<char>(buffer.begin(), buffer.begin() + (in.u8() | (in.u8() << 8)) % (buffer.size() + 1));
        value = static_cast<VstIntPtr>(buffer.size()), ptr = buffer.empty() ? nullptr : buffer.data();
        break;
    }
    case effProcessEvents:
        events.count = in.u8() % 3;
        for (int i = 0; i < events.count; ++i) {  // MIDI note-ons, 24 bytes after their 8-byte header
            std::memcpy(&buffer[i * 32u], "\x01\0\0\0\x18\0\0\0", 8);
            buffer[i * 32u + 24] = static_cast<char>(0x90), events.events[i] = &buffer[i * 32u];
        }
        ptr = &events;
        break;
    case effSetSpeakerArrangement:
    case effGetSpeakerArrangement:
        value = reinterpret_cast<VstIntPtr>(&speakers[0]), ptr = &speakers[1];
        break;
    }
    const VstIntPtr result = e->dispatcher(e, opcode, index, value, ptr, opt);
    if (out && opcode == effEditGetRect)
        (void)*static_cast<volatile int16_t*>(&static_cast<ERect*>(out)->bottom);
    if (out && opcode == effGetChunk && result > 0)
        (void)static_cast<volatile char*>(out)[result - 1];
}

void process(AEffect* e, Reader& in, long& since_bad_input)
{
    const int low = in.u8(), frames = (low | in.u8() << 8) % 4097;
    const uint8_t signal = in.u8();
    const bool in_place = in.u8() & 1;
    uint32_t seed = in.u32();
    std::vector<float> in_l(static_cast<size_t>(frames)), in_r(in_l), out_l(in_l.size(), 123.0f), out_r(out_l);
    for (size_t i = 0; i < in_l.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const float noise = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f, square = (i / (1 + signal / 7)) % 2 ? 1.0f : -1.0f,
                    impulse = i == 0, edge = (seed & 0x3ff) ? noise : (seed & 0x400) ? INFINITY : -INFINITY;
        const float values[7][2] = {{0, 0}, {noise, -noise}, {square, square}, {noise * 1.4e-42f, noise * 1.4e-42f},
                                    {impulse, impulse}, {noise, (seed & 0xff) ? noise : NAN}, {edge, noise}};
        in_l[i] = values[signal % 7][0], in_r[i] = values[signal % 7][1];
    }
    if (in_place)
        out_l = in_l, out_r = in_r;
    float* ins[2] = {in_place ? out_l.data() : in_l.data(), in_place ? out_r.data() : in_r.data()};
    float* outs[2] = {out_l.data(), out_r.data()};
    e->processReplacing(e, ins, outs, frames);
    for (size_t i = 0; i < in_l.size(); ++i) {
        since_bad_input = std::isfinite(in_l[i]) && std::isfinite(in_r[i]) ? since_bad_input + 1 : 0;
        if (since_bad_input > kRecoveryFrames && !(std::isfinite(out_l[i]) && std::isfinite(out_r[i])))
            fail("non-finite output for finite input", static_cast<long>(i));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in{data, size};
    AEffect* e = create();
    long since_bad_input = kRecoveryFrames + 1;
    // Most hosts set these first; the program may change them.
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    e->dispatcher(e, effSetBlockSize, 0, 512, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    for (int step = 0; step < 256 && in.left; ++step) {
        const uint8_t op = in.u8() % 8;
        if (op < 3) {
            dispatch(e, in, since_bad_input);
        } else if (op < 5) {
            const VstInt32 index = in.index();
            e->setParameter(e, index, in.parameter());
        } else if (op == 5) {
            (void)e->getParameter(e, in.index());
        } else {
            process(e, in, since_bad_input);
        }
    }
    close(e);
    return 0;
}
