// The module's entry point: one plug-in instance per call.
#include <new>

#include "editor/EffectEditor.h"
#include "plugin/EffectVST.h"

extern "C" {

__attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
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
__attribute__((visibility("default"))) AEffect* vstPluginMainLegacy(audioMasterCallback audioMaster) __asm__("main");
AEffect* vstPluginMainLegacy(audioMasterCallback audioMaster) { return VSTPluginMain(audioMaster); }

}  // extern "C"
