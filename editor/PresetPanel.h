// The preset strip: previous and next buttons, the invisible action menu with its presets
// submenu over the "PRESETS" label of the skin, and the program name box.
#pragma once

#include "toolkit/Controls.h"

class EffectEditor;

class PresetPanel {
  public:
    explicit PresetPanel(EffectEditor* editor);

    // Creates the five controls in `frame`, fills the menus and shows the current name.
    void build(CFrame* frame);
    // Lists the 24 program names again in the presets submenu.
    void relist();

    CKickButton* previousButton() const { return previous; }
    CKickButton* nextButton() const { return next; }
    COptionMenu* presetsMenu() const { return presets; }
    COptionMenu* actionMenu() const { return action; }
    CTextEdit* nameBox() const { return name; }

    // Entries of the action menu.
    enum ActionEntry {
        kLoadPreset = 0,
        kSavePreset = 1,
        kResetCurrent = 2,
        kSeparator = 3,
        kPresetsEntry = 4
    };

  private:
    EffectEditor* editor;
    CKickButton* previous = nullptr;
    CKickButton* next = nullptr;
    COptionMenu* presets = nullptr;
    COptionMenu* action = nullptr;
    CTextEdit* name = nullptr;
};
