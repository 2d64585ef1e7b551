// Dispatcher fuzzing: the input bytes are read as a program of host calls on
// one plug-in instance created through the entry point: dispatcher calls with
// any opcode (negative and past the last one too), index, value, opt and a
// pointer that is either null or a buffer of the size the interface gives for
// that opcode, interleaved with setParameter, getParameter, processReplacing
// (any block size up to 4096, separate or in-place buffers, finite or
// non-finite signals), sample-rate changes and effClose followed by a new
// instance. A crash or a sanitizer report fails the run, and so does a
// non-finite output sample more than one 64-frame chunk after the last
// non-finite input sample. effSetChunk gets zeros or the instance's own
// state chunk, damaged in a few bytes or cut short.
//
// Buffers are allocated at their exact size for every call, so that
// AddressSanitizer sees any write past what the interface grants.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "plugin_interface/vst_entry.h"
#include "plugin_interface/vst_interface.h"

namespace {

// Bytes the interface grants for the text and record opcodes.
constexpr size_t kParamText = 24;       // the plug-in's display bound; hosts give at least this
constexpr size_t kProgramName = kVstMaxProgNameLen;
constexpr size_t kEffectName = kVstMaxEffectNameLen;
constexpr size_t kVendorText = kVstMaxVendorStrLen;
constexpr size_t kProductText = kVstMaxProductStrLen;
constexpr size_t kPinProperties = 128;       // VstPinProperties
constexpr size_t kParameterProperties = 152; // VstParameterProperties
constexpr size_t kSpeakerArrangement = 8 + 8 * 112;  // VstSpeakerArrangement with 8 speakers
constexpr size_t kMidiRecord = 256;          // MidiProgramName and friends, with room
constexpr size_t kGenericText = 256;         // error text, shell names, vendor-specific
constexpr int kMaxFrames = 4096;
constexpr long kRecoveryFrames = 64;

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : p(data), left(size) {}
    bool empty() const { return left == 0; }
    uint8_t u8()
    {
        if (!left)
            return 0;
        --left;
        return *p++;
    }
    uint32_t u32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(u8()) << (8 * i);
        return v;
    }
    uint64_t u64() { return static_cast<uint64_t>(u32()) | (static_cast<uint64_t>(u32()) << 32); }
    float raw_float()
    {
        const uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }

private:
    const uint8_t* p;
    size_t left;
};

VstIntPtr host_callback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float)
{
    switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterGetSampleRate: return 48000;
    case audioMasterGetBlockSize: return 512;
    case audioMasterGetVendorString:
    case audioMasterGetProductString:
        if (ptr)
            std::strcpy(static_cast<char*>(ptr), "fuzz");
        return ptr ? 1 : 0;
    default: return 1;  // automation, begin/end edit, display updates, size
    }
}

// ZE710_FUZZ_TRACE=1 prints every call to standard error, for reading a
// failing input.
bool tracing()
{
    static const bool on = std::getenv("ZE710_FUZZ_TRACE") != nullptr;
    return on;
}

[[noreturn]] void fail(const char* what, long detail)
{
    std::fprintf(stderr, "dispatcher fuzzer: %s (%ld)\n", what, detail);
    std::abort();
}

VstInt32 pick_index(Reader& in)
{
    const uint8_t kind = in.u8();
    if (kind < 200)
        return static_cast<VstInt32>(kind % 12) - 1;  // -1 to 10: around the 9 parameters and programs
    return static_cast<VstInt32>(in.u32());
}

VstIntPtr pick_value(Reader& in)
{
    const uint8_t kind = in.u8();
    if (kind < 160)
        return static_cast<VstIntPtr>(kind % 16) - 2;
    if (kind < 200)
        return kind & 1 ? std::numeric_limits<VstIntPtr>::max() : std::numeric_limits<VstIntPtr>::min();
    return static_cast<VstIntPtr>(in.u64());
}

float pick_rate(Reader& in)
{
    static const float kRates[] = {8000.0f,   11025.0f,  16000.0f,  22050.0f,  32000.0f,
                                   44100.0f,  48000.0f,  88200.0f,  96000.0f,  176400.0f,
                                   192000.0f, 352800.0f, 384000.0f};
    const uint8_t kind = in.u8();
    if (kind < 230)
        return kRates[kind % 13];
    return in.raw_float();
}

float pick_opt(Reader& in)
{
    const uint8_t kind = in.u8();
    if (kind < 128)
        return static_cast<float>(kind % 3);
    if (kind < 200)
        return pick_rate(in);
    return in.raw_float();
}

// Normalised values mostly inside 0..1, the edges, a little outside, and
// sometimes any float at all.
float pick_parameter_value(Reader& in)
{
    const uint8_t kind = in.u8();
    if (kind < 160)
        return static_cast<float>(in.u8()) / 255.0f;
    if (kind < 200)
        return static_cast<float>(kind % 5) * 0.25f;
    if (kind < 230)
        return -1.0f + 3.0f * static_cast<float>(in.u8()) / 255.0f;
    return in.raw_float();
}

// A zero-terminated string of up to `cap` - 1 bytes from the input.
std::vector<char> pick_string(Reader& in, size_t cap)
{
    const size_t len = in.u8() % cap;
    std::vector<char> s(len + 1, 0);
    for (size_t i = 0; i < len; ++i)
        s[i] = static_cast<char>(in.u8() | 1);  // never an early terminator
    if (len == 6 && (in.u8() & 1))
        std::memcpy(s.data(), "bypass", 6);
    return s;
}

struct Session {
    AEffect* effect = nullptr;
    long frames_since_bad_input = kRecoveryFrames + 1;

    // What the module's exported entry point does; the entry point itself is
    // not linked into an executable, whose own main it would clash with.
    static AEffect* entry(audioMasterCallback host)
    {
        AudioEffect* instance = createEffectInstance(host);
        return instance ? instance->getAeffect() : nullptr;
    }

    void create()
    {
        effect = entry(host_callback);
        if (!effect || effect->magic != kEffectMagic)
            fail("the entry point returned no valid record", 0);
        effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
        frames_since_bad_input = kRecoveryFrames + 1;
    }
    void close()
    {
        if (effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f) != 1)
            fail("effClose did not answer 1", 0);
        effect = nullptr;
    }
};

void fuzz_dispatch(Session& s, Reader& in)
{
    const VstInt32 opcode = static_cast<VstInt32>(in.u8() % 96) - 8;  // -8 to 87
    const VstInt32 index = pick_index(in);
    VstIntPtr value = pick_value(in);
    const float opt = pick_opt(in);
    const bool null_ptr = (in.u8() & 7) == 0;
    AEffect* e = s.effect;

    auto call = [&](void* ptr) {
        if (tracing())
            std::fprintf(stderr, "dispatch(%d, %d, %ld, %s, %g)\n", opcode, index, static_cast<long>(value),
                         ptr ? "buffer" : "null", static_cast<double>(opt));
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    };
    auto with_buffer = [&](size_t size) {
        std::vector<char> buf(size, '\x7f');
        call(buf.data());
    };

    switch (opcode) {
    case effClose:
        s.close();
        s.create();
        return;
    case effEditOpen:
        return;  // the parent is an X window of a real host; not fuzzed here
    case effSetSampleRate: {
        const float rate = pick_rate(in);
        if (tracing())
            std::fprintf(stderr, "effSetSampleRate %g\n", static_cast<double>(rate));
        e->dispatcher(e, opcode, index, value, nullptr, rate);
        return;
    }
    case effSetProgramName:
    case effCanDo:
    case effString2Parameter: {
        std::vector<char> text = pick_string(in, kGenericText);
        call(null_ptr && opcode == effCanDo ? nullptr : text.data());
        return;
    }
    case effGetProgramName:
    case effGetProgramNameIndexed:
        with_buffer(kProgramName);
        return;
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
        with_buffer(kParamText);
        return;
    case effGetEffectName:
        with_buffer(kEffectName);
        return;
    case effGetVendorString:
        with_buffer(kVendorText);
        return;
    case effGetProductString:
        with_buffer(kProductText);
        return;
    case effGetErrorText:
    case effShellGetNextPlugin:
    case effVendorSpecific:
        with_buffer(kGenericText);
        return;
    case effEditGetRect: {
        ERect* rect = nullptr;
        call(&rect);
        if (rect) {
            volatile int16_t sum = static_cast<int16_t>(rect->top + rect->left + rect->bottom + rect->right);
            (void)sum;
        }
        return;
    }
    case effGetChunk: {
        void* chunk = nullptr;
        const VstIntPtr size = call(&chunk);
        if (size > 0 && chunk) {
            volatile char first = static_cast<const char*>(chunk)[0];
            volatile char last = static_cast<const char*>(chunk)[size - 1];
            (void)first;
            (void)last;
        }
        return;
    }
    case effSetChunk: {
        // Below 128: zeros, 16 bytes a step. From 128: the instance's own
        // chunk of the kind the index asks for, with up to three bytes changed
        // and perhaps cut short, so that the checks past the header are reached.
        const uint8_t kind = in.u8();
        std::vector<char> chunk(kind < 128 ? kind * 16u : 0u);
        void* own = nullptr;
        const VstIntPtr n = kind < 128 ? 0 : e->dispatcher(e, effGetChunk, index, 0, &own, 0.0f);
        if (n > 0 && own)
            chunk.assign(static_cast<const char*>(own), static_cast<const char*>(own) + n);
        for (int edit = 0; !chunk.empty() && kind >= 128 && edit < (kind & 3); ++edit)
            chunk[(in.u8() | (in.u8() << 8)) % chunk.size()] ^= static_cast<char>(in.u8());
        if (kind >= 128 && (kind & 4))  // a copy of exactly the bytes kept, for AddressSanitizer
            chunk = std::vector<char>(chunk.begin(), chunk.begin() + (in.u8() | (in.u8() << 8)) % (chunk.size() + 1));
        value = static_cast<VstIntPtr>(chunk.size());
        call(chunk.empty() ? nullptr : chunk.data());
        return;
    }
    case effProcessEvents: {
        // VstEvents: numEvents, reserved, then the event pointers.
        struct {
            VstInt32 numEvents;
            VstIntPtr reserved;
            void* events[2];
        } events{};
        std::vector<char> midi(2 * 32, 0);
        events.numEvents = in.u8() % 3;
        for (int i = 0; i < events.numEvents; ++i) {
            char* ev = &midi[static_cast<size_t>(i) * 32];
            const VstInt32 type = 1, size = 24;  // kVstMidiType, byte size after the header
            std::memcpy(ev, &type, 4);
            std::memcpy(ev + 4, &size, 4);
            ev[24] = static_cast<char>(0x90);
            events.events[i] = ev;
        }
        call(&events);
        return;
    }
    case effGetInputProperties:
    case effGetOutputProperties:
        with_buffer(kPinProperties);
        return;
    case effGetParameterProperties:
        with_buffer(kParameterProperties);
        return;
    case effSetSpeakerArrangement: {
        std::vector<char> inputs(kSpeakerArrangement, 0), outputs(kSpeakerArrangement, 0);
        value = reinterpret_cast<VstIntPtr>(inputs.data());
        call(outputs.data());
        return;
    }
    case effGetSpeakerArrangement: {
        void* inputs = nullptr;
        void* outputs = nullptr;
        value = reinterpret_cast<VstIntPtr>(&inputs);
        call(&outputs);
        return;
    }
    case effGetMidiProgramName:
    case effGetCurrentMidiProgram:
    case effGetMidiProgramCategory:
    case effGetMidiKeyName:
        with_buffer(kMidiRecord);
        return;
    default:
        // Opcodes that take no pointer: null, or a small buffer the plug-in
        // has no business touching.
        if (null_ptr)
            call(nullptr);
        else
            with_buffer(kGenericText);
        return;
    }
}

void fuzz_process(Session& s, Reader& in)
{
    const int lo = in.u8();
    const int hi = in.u8();
    const int frames = (lo | (hi << 8)) % (kMaxFrames + 1);
    const uint8_t signal = in.u8();
    const bool in_place = in.u8() & 1;
    std::vector<float> in_l(static_cast<size_t>(frames)), in_r(static_cast<size_t>(frames));
    uint32_t seed = in.u32();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int i = 0; i < frames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const float noise = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
        float l = 0.0f, r = 0.0f;
        switch (signal % 7) {
        case 0: l = r = 0.0f; break;
        case 1: l = noise; r = -noise; break;
        case 2: l = r = (i / (1 + signal / 7)) % 2 ? 1.0f : -1.0f; break;  // full-scale squares
        case 3: l = r = noise * std::numeric_limits<float>::denorm_min() * 1000.0f; break;
        case 4: l = i == 0 ? 1.0f : 0.0f; r = l; break;
        case 5: l = noise; r = (seed & 0xff) == 0 ? nan : noise; break;
        default: l = (seed & 0x3ff) == 0 ? ((seed & 0x400) ? inf : -inf) : noise; r = noise; break;
        }
        in_l[static_cast<size_t>(i)] = l;
        in_r[static_cast<size_t>(i)] = r;
    }
    std::vector<float> out_l(static_cast<size_t>(frames), 123.0f), out_r(static_cast<size_t>(frames), 123.0f);
    if (in_place) {
        out_l = in_l;
        out_r = in_r;
    }
    float* ins[2] = {in_place ? out_l.data() : in_l.data(), in_place ? out_r.data() : in_r.data()};
    float* outs[2] = {out_l.data(), out_r.data()};
    if (tracing())
        std::fprintf(stderr, "process(%d frames, signal %d, %s)\n", frames, signal % 7, in_place ? "in place" : "separate");
    s.effect->processReplacing(s.effect, ins, outs, frames);

    for (int i = 0; i < frames; ++i) {
        const size_t k = static_cast<size_t>(i);
        if (!std::isfinite(in_l[k]) || !std::isfinite(in_r[k]))
            s.frames_since_bad_input = 0;
        else
            ++s.frames_since_bad_input;
        if (s.frames_since_bad_input > kRecoveryFrames && (!std::isfinite(out_l[k]) || !std::isfinite(out_r[k])))
            fail("non-finite output for finite input", i);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in(data, size);
    Session s;
    s.create();
    // Most hosts set these before anything else; the fuzzer may change them.
    s.effect->dispatcher(s.effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    s.effect->dispatcher(s.effect, effSetBlockSize, 0, 512, nullptr, 0.0f);
    s.effect->dispatcher(s.effect, effMainsChanged, 0, 1, nullptr, 0.0f);

    for (int step = 0; step < 256 && !in.empty(); ++step) {
        const uint8_t op = in.u8();
        switch (op % 8) {
        case 0:
        case 1:
        case 2:
            fuzz_dispatch(s, in);
            break;
        case 3:
        case 4: {
            const VstInt32 index = pick_index(in);
            const float value = pick_parameter_value(in);
            if (tracing())
                std::fprintf(stderr, "setParameter(%d, %g)\n", index, static_cast<double>(value));
            s.effect->setParameter(s.effect, index, value);
            break;
        }
        case 5: {
            const float v = s.effect->getParameter(s.effect, pick_index(in));
            (void)v;
            break;
        }
        default:
            fuzz_process(s, in);
            break;
        }
    }
    s.close();
    return 0;
}
