// The VST3 base ABI as ZE710 uses it, written from the published VST 3.7
// interfaces (module ABI of the 3.7.x releases) for Linux x86-64: the
// scalar types, result codes, 16-byte interface ids, FUnknown, IBStream,
// IPluginBase and the plug-in factory with its class records.
//
// Linux is the platform without COM compatibility: an interface id is its
// four published 32-bit words, each stored most significant byte first, and
// the result codes are the small integers below. Interfaces are abstract
// classes with no data and no virtual destructor, so that the Itanium C++
// ABI lays out their virtual tables exactly as the published method order;
// never add a member function to one of them.
#pragma once

#include <cstdint>
#include <cstring>

namespace vst3 {

using int16 = int16_t;
using int32 = int32_t;
using int64 = int64_t;
using uint32 = uint32_t;
using uint64 = uint64_t;
using char8 = char;
using char16 = char16_t;
using TBool = uint8_t;
using tresult = int32_t;
using FIDString = const char8*;  // an interface or class id passed as its 16 bytes
using TUID = char[16];
using String128 = char16[128];   // UTF-16, terminated

enum : tresult {
    kNoInterface = -1,
    kResultOk = 0,
    kResultTrue = kResultOk,
    kResultFalse = 1,
    kInvalidArgument = 2,
    kNotImplemented = 3,
    kInternalError = 4,
    kNotInitialized = 5,
    kOutOfMemory = 6,
};

// An interface or class id, built from the four published words.
struct Uid {
    char bytes[16];
    bool operator==(const char* other) const { return other && std::memcmp(bytes, other, 16) == 0; }
};
constexpr Uid make_uid(uint32 a, uint32 b, uint32 c, uint32 d)
{
    const uint32 w[4] = {a, b, c, d};
    Uid u{};
    for (int i = 0; i < 16; ++i)
        u.bytes[i] = static_cast<char>((w[i / 4] >> (24 - 8 * (i % 4))) & 0xff);
    return u;
}

class FUnknown {
public:
    virtual tresult queryInterface(const TUID iid, void** obj) = 0;
    virtual uint32 addRef() = 0;
    virtual uint32 release() = 0;
    static constexpr Uid iid = make_uid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);

protected:
    ~FUnknown() = default;
};

class IBStream : public FUnknown {
public:
    enum SeekMode : int32 { kSeekSet = 0, kSeekCur = 1, kSeekEnd = 2 };
    // numBytesRead / numBytesWritten may be null.
    virtual tresult read(void* buffer, int32 numBytes, int32* numBytesRead) = 0;
    virtual tresult write(void* buffer, int32 numBytes, int32* numBytesWritten) = 0;
    virtual tresult seek(int64 pos, int32 mode, int64* result) = 0;
    virtual tresult tell(int64* pos) = 0;
    static constexpr Uid iid = make_uid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);

protected:
    ~IBStream() = default;
};

class IPluginBase : public FUnknown {
public:
    virtual tresult initialize(FUnknown* context) = 0;
    virtual tresult terminate() = 0;
    static constexpr Uid iid = make_uid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);

protected:
    ~IPluginBase() = default;
};

// ---- the factory --------------------------------------------------------

struct PFactoryInfo {
    enum : int32 { kNoFlags = 0, kClassesDiscardable = 1 << 0, kComponentNonDiscardable = 1 << 3, kUnicode = 1 << 4 };
    char8 vendor[64];
    char8 url[256];
    char8 email[128];
    int32 flags;
};

constexpr int32 kManyInstances = 0x7FFFFFFF;
constexpr const char* kVstAudioEffectClass = "Audio Module Class";

struct PClassInfo {
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char8 name[64];
};

struct PClassInfo2 {
    enum : uint32 { kDistributable = 1 << 0, kSimpleModeSupported = 1 << 1 };
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char8 name[64];
    uint32 classFlags;
    char8 subCategories[128];  // '|' between the words: "Fx|EQ"
    char8 vendor[64];
    char8 version[64];
    char8 sdkVersion[64];
};

struct PClassInfoW {
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char16 name[64];
    uint32 classFlags;
    char8 subCategories[128];
    char16 vendor[64];
    char16 version[64];
    char16 sdkVersion[64];
};

class IPluginFactory : public FUnknown {
public:
    virtual tresult getFactoryInfo(PFactoryInfo* info) = 0;
    virtual int32 countClasses() = 0;
    virtual tresult getClassInfo(int32 index, PClassInfo* info) = 0;
    virtual tresult createInstance(FIDString cid, FIDString iid, void** obj) = 0;
    static constexpr Uid iid = make_uid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);

protected:
    ~IPluginFactory() = default;
};

class IPluginFactory2 : public IPluginFactory {
public:
    virtual tresult getClassInfo2(int32 index, PClassInfo2* info) = 0;
    static constexpr Uid iid = make_uid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);

protected:
    ~IPluginFactory2() = default;
};

class IPluginFactory3 : public IPluginFactory2 {
public:
    virtual tresult getClassInfoUnicode(int32 index, PClassInfoW* info) = 0;
    virtual tresult setHostContext(FUnknown* context) = 0;
    static constexpr Uid iid = make_uid(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);

protected:
    ~IPluginFactory3() = default;
};

// The module's entry points (exported with C linkage by the module).
using GetFactoryProc = IPluginFactory* (*)();
using ModuleEntryProc = bool (*)(void* library_handle);
using ModuleExitProc = bool (*)();

// ---- layout checks: the host reads these records byte by byte -------------

static_assert(sizeof(PFactoryInfo) == 452, "PFactoryInfo");
static_assert(sizeof(PClassInfo) == 116, "PClassInfo");
static_assert(sizeof(PClassInfo2) == 440, "PClassInfo2");
static_assert(sizeof(PClassInfoW) == 696, "PClassInfoW");

}  // namespace vst3
