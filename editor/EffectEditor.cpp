#include "editor/EffectEditor.h"

#include "engine/CrowdEngine.h"
#include "plugin/EffectVST.h"

AEffGUIEditor* EffectEditor::create(EffectVST* effect) { return new EffectEditor(effect); }

EffectEditor::EffectEditor(EffectVST* effect) : AEffGUIEditor(effect), plugin_(effect), engine_(new CrowdEngine()) {
    plugin_->setEngine(engine_);
}

EffectEditor::~EffectEditor() {
    close();
    plugin_->setEngine(nullptr);
    delete engine_;
}

bool EffectEditor::getRect(ERect** rect) {
    *rect = &rect_;
    return true;
}

// The window itself comes with the widget toolkit; until then the host is told there is none.
bool EffectEditor::open(void*) { return false; }

void EffectEditor::close() { AEffGUIEditor::close(); }

void EffectEditor::setParameter(VstInt32, float) {}
