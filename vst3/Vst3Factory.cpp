// The module's entry points and its factory of one class: the effect.
#include <atomic>
#include <cstring>
#include <iterator>
#include <new>
#include <type_traits>

#include "vst3/Vst3ClassId.h"
#include "vst3/Vst3Effect.h"

#ifdef _WIN32
#define ZB_EXPORT __declspec(dllexport)
#else
#define ZB_EXPORT __attribute__((visibility("default")))
#endif

namespace vst3 {
namespace {

constexpr const char* kVendor = "Quillfen";
constexpr const char* kName = "Zornbeck";
constexpr const char* kSubCategories = "Fx|Modulation|Spatial";
constexpr const char* kSdkVersion = "VST 3.7.14";

// The one class, in each of the three forms of its description: the later forms add the
// vendor, version and subcategories, in plain or wide text.
template <typename Info>
tresult fill(int32 index, Info* info) {
    if (info == nullptr || index != 0) {
        return kInvalidArgument;
    }
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->cid, kEffectClassId.bytes, 16);
    info->cardinality = kManyInstances;
    copyText(info->category, std::size(info->category), "Audio Module Class");
    copyText(info->name, std::size(info->name), kName);
    if constexpr (!std::is_same_v<Info, PClassInfo>) {
        info->classFlags = 0;  // one component: not distributable
        copyText(info->subCategories, std::size(info->subCategories), kSubCategories);
        copyText(info->vendor, std::size(info->vendor), kVendor);
        copyText(info->version, std::size(info->version), ZB_VERSION);
        copyText(info->sdkVersion, std::size(info->sdkVersion), kSdkVersion);
    }
    return kResultOk;
}

// One factory for the module's life; hosts release what they were given, never the object.
class Factory final : public IPluginFactory3 {
  public:
    tresult ZB_VST3_CALL queryInterface(const char* iid, void** obj) override {
        if (obj == nullptr) {
            return kInvalidArgument;
        }
        if (FUnknown::iid.is(iid) || IPluginFactory::iid.is(iid) || IPluginFactory2::iid.is(iid) ||
            IPluginFactory3::iid.is(iid)) {
            *obj = static_cast<IPluginFactory3*>(this);
            addRef();
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 ZB_VST3_CALL addRef() override { return refs_.fetch_add(1) + 1; }
    uint32 ZB_VST3_CALL release() override { return refs_.fetch_sub(1) - 1; }

    tresult ZB_VST3_CALL getFactoryInfo(PFactoryInfo* info) override {
        if (info == nullptr) {
            return kInvalidArgument;
        }
        std::memset(info, 0, sizeof *info);
        copyText(info->vendor, sizeof info->vendor, kVendor);
        info->flags = kFactoryUnicode;
        return kResultOk;
    }

    int32 ZB_VST3_CALL countClasses() override { return 1; }

    tresult ZB_VST3_CALL getClassInfo(int32 index, PClassInfo* info) override { return fill(index, info); }
    tresult ZB_VST3_CALL getClassInfo2(int32 index, PClassInfo2* info) override { return fill(index, info); }
    tresult ZB_VST3_CALL getClassInfoUnicode(int32 index, PClassInfoW* info) override {
        return fill(index, info);
    }

    tresult ZB_VST3_CALL createInstance(FIDString cid, FIDString iid, void** obj) override {
        if (obj == nullptr) {
            return kInvalidArgument;
        }
        *obj = nullptr;
        if (!kEffectClassId.is(cid) || iid == nullptr) {
            return kNoInterface;
        }
        Vst3Effect* effect = nullptr;
        try {
            effect = new Vst3Effect();
        } catch (...) {
            return kOutOfMemory;
        }
        const tresult result = effect->queryInterface(iid, obj);
        effect->release();  // the caller holds the one reference queryInterface added
        return result;
    }

    tresult ZB_VST3_CALL setHostContext(FUnknown*) override { return kResultOk; }

  private:
    std::atomic<uint32> refs_{0};
};

Factory factory;

}  // namespace
}  // namespace vst3

extern "C" {

ZB_EXPORT vst3::IPluginFactory* GetPluginFactory() {
    vst3::factory.addRef();
    return &vst3::factory;
}

// Nothing to set up or tear down per load: the factory is static and instances own everything.
#ifdef _WIN32
ZB_EXPORT bool InitDll() {
    return true;
}

ZB_EXPORT bool ExitDll() {
    return true;
}
#else
ZB_EXPORT bool ModuleEntry(void*) {
    return true;
}

ZB_EXPORT bool ModuleExit() {
    return true;
}
#endif

}  // extern "C"
