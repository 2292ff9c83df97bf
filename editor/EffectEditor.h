// The plug-in's editor. Its construction creates the audio engine and hands it to the plug-in;
// its destruction destroys the engine. While the window is open it owns the view tree built
// from the skin images; closing deletes the tree.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "model/Program.h"
#include "toolkit/Controls.h"
#include "vst/AEffEditor.h"
#include "vst/ZornbeckExtensions.h"

namespace platform {
class Dialog;
}

class COffscreenFrame;
class CGlowLamp;
class CrowdEngine;
class EffectVST;
class PanelCrowd;
class PresetPanel;

// Tags of the controls that are not parameters.
enum EditorCommand : int {
    kCmdCrowd = 740,
    kCmdPopulationDown = 741,
    kCmdPopulationUp = 742,
    kCmdSelectedDown = 743,
    kCmdSelectedUp = 744,
    kCmdRandomise = 745,
    kCmdRandomGroup = 746,
    kCmdRandomAll = 747,
    kCmdDisplayAxis = 748,
    kCmdWebPage = 750,
    kCmdHelp = 751,
};

// Skin image numbers.
enum SkinImage : int {
    kSkinBackground = 118,
    kSkinCrowdBackground = 129,
    kSkinFigures = 130,
    kSkinRing = 131,
    kSkinAxisTimeUp = 135,
    kSkinAxisSpectraUp = 136,
    kSkinAxisPanRight = 137,
    kSkinAxisTimeRight = 134,
    kSkinArrowUp = 145,
    kSkinArrowDown = 144,
    kSkinKnob = 119,
    kSkinOutputKnob = 147,
    kSkinBoundKnob = 126,
    kSkinPlus = 120,
    kSkinMinus = 121,
    kSkinRandomise = 127,
    kSkinAllIndividual = 128,
    kSkinSolo = 125,
    kSkinActive = 123,
    kSkinHelp = 141,
    kSkinPrevious = 6,
    kSkinNext = 132,
    kSkinLamp = 146,
};

class EffectEditor : public AEffGUIEditor, public CControlListener, public CEditorHooks {
  public:
    static constexpr int kWidth = 620;
    static constexpr int kHeight = 432;
    // The text colour of menus and the name box.
    static constexpr CColor kTextColor{194, 224, 226, 255};

    static AEffGUIEditor* create(EffectVST* effect);

    explicit EffectEditor(EffectVST* effect);
    ~EffectEditor() override;

    // The host's editor interface.
    bool getRect(ERect** rect) override;
    bool open(void* parent) override;
    void close() override;
    void idle() override;
    bool onKeyDown(VstKeyCode& key) override;
    bool onKeyUp(VstKeyCode& key) override;
    bool setKnobMode(VstInt32 mode) override;
    void setParameter(VstInt32 index, float value) override;
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    int eventDescriptor() const override;
    // Redraws `rect` (the whole window when null) from the view tree.
    void draw(ERect* rect);

    // Builds the view tree on an off-screen frame instead of a window (tests, screenshots), at
    // the editor's scale.
    COffscreenFrame* openOffscreen();

    // The host's scale factor (1 .. 3; NaN is ignored): an open window takes the new size at
    // once. ZORNBECK_SCALE in the environment overrides it; without either the system's is used.
    void setScale(double factor);
    // Device pixels per layout pixel, as the window is (or would open) now.
    double scale() const { return scale_; }
    // The frame reports a scale it took by itself (the window moved to another monitor).
    void frameScaleChanged(double factor) override;
    // Draws the editor into the host's pixels; opens off-screen for it when the window is closed.
    bool screenshot(ZornbeckScreenshot& shot);

    // The listener of every control.
    void valueChanged(CControl* control) override;
    int controlModifierClicked(CControl* control, int buttons) override;

    // What the frame asks of its editor.
    void beginEdit(int index) override;
    void endEdit(int index) override;
    int getKnobMode() const override { return knobMode_; }

    bool isWindowOpen() const { return open_.load(std::memory_order_acquire); }
    CrowdEngine* engine() const { return engine_; }
    EffectVST* plugin() const { return plugin_; }
    CFrame* frame() const { return frame_; }
    CControl* controlByParameter(int index) const;
    // A skin image loaded at construction (the first ten of the table), else null.
    std::shared_ptr<CBitmap> skin(int number) const;

    // Controls other parts address by role (valid while open).
    COptionMenu* populationMenu() const { return populationMenu_; }
    COptionMenu* selectedMenu() const { return selectedMenu_; }
    CAnimKnob* lowerBound() const { return lowerBound_; }
    CAnimKnob* upperBound() const { return upperBound_; }
    COnOffButton* allSwitch() const { return allSwitch_; }
    COptionMenu* groupMenu() const { return groupMenu_; }
    COptionMenu* axisMenu() const { return axisMenu_; }
    PanelCrowd* crowd() const { return crowd_; }
    CGlowLamp* lamp() const { return lamp_; }
    COnOffButton* helpSwitch() const { return helpSwitch_; }
    PresetPanel* presetPanel() const { return presetPanel_.get(); }

    // The population menu's entry (0..59) from parameter 0.
    int populationIndex() const;
    // The last person the engine plays (0..58).
    int lastHeardPerson() const;
    // The selected person as the engine uses it: parameter 1 limited to the people heard.
    int selectedPerson() const;

    // Start the file dialog for loading into / saving the current program. The editor keeps
    // running while it shows; its answer is applied at the idle call that sees it end. Nothing
    // happens while a dialog is already showing.
    void loadPreset();
    void savePreset();
    bool dialogShowing() const { return dialog_ != nullptr; }

  private:
    void buildControls();
    // Finishes opening: knob mode, flags and the thread that owns the controls.
    void opened();
    // A parameter change shown on the controls (on the user-interface thread).
    void showParameter(int index, float value);
    float parameter(int index) const;
    // Labels the selected-person menu for population index p (p + 1 people).
    void labelSelectedMenu(int p);
    // Applies the answer of the showing dialog once it has ended.
    void pollDialog();
    void finishDialog(const std::string& answerPath, bool accepted);
    void tellUser(const std::string& text);

    EffectVST* plugin_;
    CrowdEngine* engine_;
    // The scale the window opens at: the override, the host's, else the system's.
    double chosenScale(void* parent);
    // Takes `factor`, and the window size that goes with it.
    void applyScale(double factor);

    ERect rect_{0, 0, kHeight, kWidth};  // device pixels
    CRect layout_{0, 0, kWidth, kHeight};
    double scale_ = 1.0;
    double hostScale_ = 0.0;  // 0: the host has said nothing
    bool systemAsked_ = false;
    bool applyingScale_ = false;

    std::array<std::shared_ptr<CBitmap>, 10> skins_;
    CFrame* frame_ = nullptr;
    // Read by host threads that set parameters while the user-interface thread opens and closes.
    std::atomic<bool> open_{false};
    int knobMode_ = kLinearMode;
    std::uint32_t lastIdleTicks_ = 0;
    bool dialsNeedRedraw_ = true;
    std::array<CControl*, kNumParams> controlByParameter_{};
    // Changes made on other threads wait here for the next idle, one flag per index.
    std::array<std::atomic<bool>, kNumParams> pendingParameter_{};
    std::atomic<std::thread::id> uiThread_;

    COptionMenu* populationMenu_ = nullptr;
    COptionMenu* selectedMenu_ = nullptr;
    CAnimKnob* lowerBound_ = nullptr;
    CAnimKnob* upperBound_ = nullptr;
    COnOffButton* allSwitch_ = nullptr;
    COptionMenu* groupMenu_ = nullptr;
    COptionMenu* axisMenu_ = nullptr;
    PanelCrowd* crowd_ = nullptr;
    CGlowLamp* lamp_ = nullptr;
    COnOffButton* helpSwitch_ = nullptr;
    std::unique_ptr<PresetPanel> presetPanel_;
    // The one file dialog or question that may be showing, and what it is for.
    enum class DialogPurpose { kLoad, kSave, kReplace };
    std::unique_ptr<platform::Dialog> dialog_;
    DialogPurpose dialogPurpose_ = DialogPurpose::kLoad;
    std::string replacePath_;
    // Parameter announced at each control tag's gesture start, so the end names the same one.
    std::array<int, kFirstPersonIndex + 8> gestureIndex_{};
};
