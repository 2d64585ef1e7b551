// The module's entry points and its one factory: GetPluginFactory,
// ModuleEntry and ModuleExit, the only symbols the module exports
// (ze710_vst3.map). The factory is a static object whose reference count
// is a formality: hosts release it, it is never freed.
#include <cstring>
#include <new>

#include "model/ze710_version.h"
#include "vst3/Ze710Vst3.h"
#include "vst3/vst3_text.h"

using namespace vst3;

namespace {

constexpr const char* kVendor = "Kestrelwood";
constexpr const char* kName = "ZE710";
constexpr const char* kSubCategories = "Fx|EQ";
// The version of the published interfaces these declarations follow.
constexpr const char* kSdkVersion = "VST 3.7.7";

class Factory final : public IPluginFactory3 {
public:
    tresult queryInterface(const TUID iid, void** obj) override
    {
        if (!obj)
            return kInvalidArgument;
        if (FUnknown::iid == iid || IPluginFactory::iid == iid || IPluginFactory2::iid == iid ||
            IPluginFactory3::iid == iid) {
            *obj = this;
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }

    tresult getFactoryInfo(PFactoryInfo* info) override
    {
        if (!info)
            return kInvalidArgument;
        bytes_to_field(info->vendor, sizeof info->vendor, kVendor);
        bytes_to_field(info->url, sizeof info->url, "http://kestrelwood.com/plugins/ze710");
        bytes_to_field(info->email, sizeof info->email, "");
        info->flags = PFactoryInfo::kUnicode;
        return kResultOk;
    }

    int32 countClasses() override { return 1; }

    // The fields PClassInfo and PClassInfo2 share, in the same layout.
    template <typename Info>
    static void fill_class_info(Info* info)
    {
        std::memcpy(info->cid, Ze710Vst3::kClassId.bytes, sizeof info->cid);
        info->cardinality = kManyInstances;
        bytes_to_field(info->category, sizeof info->category, kVstAudioEffectClass);
        bytes_to_field(info->name, sizeof info->name, kName);
    }

    tresult getClassInfo(int32 index, PClassInfo* info) override
    {
        if (index != 0 || !info)
            return kInvalidArgument;
        fill_class_info(info);
        return kResultOk;
    }

    tresult getClassInfo2(int32 index, PClassInfo2* info) override
    {
        if (index != 0 || !info)
            return kInvalidArgument;
        fill_class_info(info);
        info->classFlags = 0;
        bytes_to_field(info->subCategories, sizeof info->subCategories, kSubCategories);
        bytes_to_field(info->vendor, sizeof info->vendor, kVendor);
        bytes_to_field(info->version, sizeof info->version, ZE710_VERSION_STRING);
        bytes_to_field(info->sdkVersion, sizeof info->sdkVersion, kSdkVersion);
        return kResultOk;
    }

    tresult getClassInfoUnicode(int32 index, PClassInfoW* info) override
    {
        if (index != 0 || !info)
            return kInvalidArgument;
        std::memset(info, 0, sizeof *info);
        std::memcpy(info->cid, Ze710Vst3::kClassId.bytes, sizeof info->cid);
        info->cardinality = kManyInstances;
        bytes_to_field(info->category, sizeof info->category, kVstAudioEffectClass);
        utf16_from_bytes(info->name, 64, kName);
        bytes_to_field(info->subCategories, sizeof info->subCategories, kSubCategories);
        utf16_from_bytes(info->vendor, 64, kVendor);
        utf16_from_bytes(info->version, 64, ZE710_VERSION_STRING);
        utf16_from_bytes(info->sdkVersion, 64, kSdkVersion);
        return kResultOk;
    }

    tresult setHostContext(FUnknown*) override { return kResultOk; }

    // Host UI thread: one new instance; the interface asked for holds the
    // caller's reference.
    tresult createInstance(FIDString cid, FIDString iid, void** obj) override
    {
        if (!obj)
            return kInvalidArgument;
        *obj = nullptr;
        if (!(Ze710Vst3::kClassId == cid) || !iid)
            return kResultFalse;
        Ze710Vst3* fx = Ze710Vst3::create();
        if (!fx)
            return kOutOfMemory;
        const tresult result = fx->query(iid, obj);
        fx->release();  // the creation's reference; the query holds one if it succeeded
        return result;
    }
};

Factory factory;

}  // namespace

extern "C" {

__attribute__((visibility("default"))) IPluginFactory* GetPluginFactory()
{
    return &factory;
}

// Nothing to set up or tear down beyond what the module's load and unload
// functions do (editor_library.cpp); both answer success.
__attribute__((visibility("default"))) bool ModuleEntry(void*)
{
    return true;
}

__attribute__((visibility("default"))) bool ModuleExit()
{
    return true;
}

}  // extern "C"
