// The module's entry point: one plug-in instance per call.
#include <new>

#include "editor/EffectEditor.h"
#include "plugin/EffectVST.h"

#ifdef _WIN32
#define ZB_EXPORT  // Zornbeck.def names the exports
#else
#define ZB_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

ZB_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
    if (audioMaster == nullptr || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
    try {
        auto* effect = new (std::nothrow) EffectVST(audioMaster, &EffectEditor::create);
        return effect ? effect->getAeffect() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

// Older hosts look the entry up under this name.
ZB_EXPORT AEffect* vstPluginMainLegacy(audioMasterCallback audioMaster) __asm__("main");
AEffect* vstPluginMainLegacy(audioMasterCallback audioMaster) { return VSTPluginMain(audioMaster); }

}  // extern "C"
