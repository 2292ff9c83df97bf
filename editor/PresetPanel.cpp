#include "editor/PresetPanel.h"

#include <cstring>

#include "editor/EffectEditor.h"
#include "plugin/EffectVST.h"

PresetPanel::PresetPanel(EffectEditor* e) : editor(e) {}

void PresetPanel::build(CFrame* frame) {
    previous = new CKickButton(CRect(80, 404, 97, 421), editor, parPresetPrevIndex,
                               CBitmap::fromResource(kSkinPrevious));
    frame->addView(previous);
    next = new CKickButton(CRect(99, 404, 116, 421), editor, parPresetNextIndex,
                           CBitmap::fromResource(kSkinNext));
    frame->addView(next);

    // Both menus draw nothing: the skin's label is what the user sees and clicks.
    const int style = COptionMenu::kNoDrawStyle | COptionMenu::kPopupTopLeft;
    const CRect menuRect(11, 404, 76, 421);
    presets = new COptionMenu(menuRect, editor, parPresetSelectIndex, style);
    frame->addView(presets);
    action = new COptionMenu(menuRect, editor, parPresetActionIndex, style);
    action->addEntry("Load preset");
    action->addEntry("Save preset");
    action->addEntry("Reset current");
    action->addEntry("-");
    action->addEntry(presets, "Presets");
    frame->addView(action);

    name = new CTextEdit(CRect(122, 405, 278, 420), editor, parPresetNameIndex);
    name->setFont(kNormalFontSmall);
    name->setFontColor(EffectEditor::kTextColor);
    name->setBackColor({0, 0, 0, 0});
    name->setTransparency(true);
    name->setHoriAlign(kLeftText);
    frame->addView(name);

    relist();
    name->setText(editor->plugin()->programName(editor->plugin()->getProgram()));
}

void PresetPanel::relist() {
    presets->removeAllEntry();
    for (int n = 0; n < kNumPrograms; ++n)
        presets->addEntry(editor->plugin()->programName(n));
    action->setValue(0.0f);
}
