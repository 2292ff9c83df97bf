#include "editor/EffectEditor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "editor/CGlowLamp.h"
#include "editor/PanelCrowd.h"
#include "editor/PresetFiles.h"
#include "editor/PresetPanel.h"
#include "editor/Randomiser.h"
#include "engine/CrowdEngine.h"
#include "model/ParameterTable.h"
#include "platform/Desktop.h"
#include "plugin/EffectVST.h"
#include "toolkit/frame/OffscreenFrame.h"
#include "toolkit/frame/SystemScale.h"
#ifdef _WIN32
#include "toolkit/frame/Win32Frame.h"
#else
#include "toolkit/frame/X11Frame.h"
#endif

namespace {

// The maker's web page, as the footer of the skin names it.
constexpr const char* kWebPage = "https://www.zornbeck.example/";

// Loaded by the construction, in this order; the others are loaded while the window opens.
constexpr int kConstructionSkins[10] = {
    kSkinBackground,    kSkinCrowdBackground, kSkinFigures,       kSkinRing,    kSkinAxisTimeUp,
    kSkinAxisSpectraUp, kSkinAxisPanRight,    kSkinAxisTimeRight, kSkinArrowUp, kSkinArrowDown};

constexpr int kKnobFrames = 65;

using param::personNumber;
using param::personValue;

void textAppearance(CTextControl* c) {
    c->setFont(kNormalFontSmall);
    c->setFontColor(EffectEditor::kTextColor);
    c->setBackColor({0, 0, 0, 0});
    c->setTransparency(true);
    c->setFrameVisible(false);
}

}  // namespace

AEffGUIEditor* EffectEditor::create(EffectVST* effect) {
    return new EffectEditor(effect);
}

EffectEditor::EffectEditor(EffectVST* effect)
    : AEffGUIEditor(effect), plugin_(effect), engine_(new CrowdEngine()) {
    plugin_->setEngine(engine_);
    for (std::size_t i = 0; i < skins_.size(); ++i) skins_[i] = CBitmap::fromResource(kConstructionSkins[i]);
    // The window's size is the background's.
    if (const auto& background = skins_[0]) {
        layout_ = CRect(0, 0, background->getWidth(), background->getHeight());
        rect_.right = VstInt16(background->getWidth());
        rect_.bottom = VstInt16(background->getHeight());
    }
    dialsNeedRedraw_ = true;
}

double EffectEditor::chosenScale(void* parent) {
    if (std::optional<double> forced = scaleOverride())
        return *forced;
    if (hostScale_ > 0.0)
        return hostScale_;
    systemAsked_ = true;
    return systemScale(parent);
}

void EffectEditor::applyScale(double factor) {
    scale_ = clampScale(factor);
    CRect device = deviceRect(layout_, scale_);
    rect_.right = VstInt16(device.width());
    rect_.bottom = VstInt16(device.height());
    if (frame_) {
        applyingScale_ = true;
        frame_->setScale(scale_);
        applyingScale_ = false;
    }
}

void EffectEditor::setScale(double factor) {
    if (std::isnan(factor))
        return;
    hostScale_ = clampScale(factor);
    applyScale(chosenScale(frame_ ? systemWindow() : nullptr));
}

void EffectEditor::frameScaleChanged(double factor) {
    if (applyingScale_)
        return;
    // The window system moved us to a monitor of another density. The user's override and the
    // host's factor still outrank the system's; the host is asked for the room of the result.
    const int width = rect_.right - rect_.left, height = rect_.bottom - rect_.top;
    if (scaleOverride() || hostScale_ > 0.0)
        factor = chosenScale(nullptr);
    applyScale(factor);
    if (rect_.right - rect_.left != width || rect_.bottom - rect_.top != height)
        plugin_->callHost(audioMasterSizeWindow, rect_.right - rect_.left, rect_.bottom - rect_.top);
}

EffectEditor::~EffectEditor() {
    close();
    plugin_->setEngine(nullptr);
    delete engine_;
}

bool EffectEditor::getRect(ERect** rect) {
    // Hosts ask for the size before they open the window: the system is asked once here, and
    // again at each open with the host's window.
    if (!systemAsked_ && !frame_)
        applyScale(chosenScale(nullptr));
    *rect = &rect_;
    return true;
}

std::shared_ptr<CBitmap> EffectEditor::skin(int number) const {
    for (std::size_t i = 0; i < skins_.size(); ++i)
        if (kConstructionSkins[i] == number)
            return skins_[i];
    return nullptr;
}

CControl* EffectEditor::controlByParameter(int index) const {
    return index >= 0 && index < kNumParams ? controlByParameter_[std::size_t(index)] : nullptr;
}

float EffectEditor::parameter(int index) const {
    return plugin_->getParameter(index);
}

int EffectEditor::populationIndex() const {
    return personNumber(parameter(parPopulationIndex), kNumPeople - 1);
}

int EffectEditor::lastHeardPerson() const {
    return std::min(populationIndex(), CrowdEngine::kMaxPopulation - 1);
}

int EffectEditor::selectedPerson() const {
    return personNumber(parameter(parPersonSelectedIndex), lastHeardPerson());
}

void EffectEditor::labelSelectedMenu(int p) {
    char text[16];
    for (int i = 0; i < kNumPeople; ++i) {
        if (i <= p)
            std::snprintf(text, sizeof text, "%i", i + 1);
        else
            std::snprintf(text, sizeof text, "--");
        if (i < selectedMenu_->getNbEntries())
            selectedMenu_->setEntry(i, text);
        else
            selectedMenu_->addEntry(text);
    }
}

bool EffectEditor::open(void* parent) {
    close();
    // The host made its window as large as getRect said; the system may say otherwise for the
    // window it gave us, and then the host is asked for the room.
    const int width = rect_.right - rect_.left, height = rect_.bottom - rect_.top;
    applyScale(chosenScale(parent));
    frame_ = new CFrame(layout_, this);
    applyScale(scale_);
    frame_->setBackground(skins_[0]);
    buildControls();
#ifdef _WIN32
    if (!CWin32Frame::attach(frame_, parent)) {
#else
    // Linux hands over the X11 window id of the parent.
    if (!CX11Frame::attach(frame_, reinterpret_cast<unsigned long>(parent))) {
#endif
        close();
        return false;
    }
    AEffEditor::open(parent);
    opened();
    if (rect_.right - rect_.left != width || rect_.bottom - rect_.top != height)
        plugin_->callHost(audioMasterSizeWindow, rect_.right - rect_.left, rect_.bottom - rect_.top);
    return true;
}

void EffectEditor::opened() {
    knobMode_ = kLinearMode;
    uiThread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    for (auto& flag : pendingParameter_) flag.store(false, std::memory_order_relaxed);
    open_.store(true, std::memory_order_release);
}

COffscreenFrame* EffectEditor::openOffscreen() {
    close();
    frame_ = new CFrame(layout_, this);
    applyScale(scale_);
    frame_->setBackground(skins_[0]);
    buildControls();
    opened();
    return COffscreenFrame::attach(frame_);
}

void EffectEditor::close() {
    if (frame_) {
        CFrame* f = frame_;
        frame_ = nullptr;
        delete f;
    }
    controlByParameter_.fill(nullptr);
    populationMenu_ = selectedMenu_ = groupMenu_ = axisMenu_ = nullptr;
    lowerBound_ = upperBound_ = nullptr;
    allSwitch_ = helpSwitch_ = nullptr;
    crowd_ = nullptr;
    lamp_ = nullptr;
    presetPanel_.reset();
    // A dialog belongs to the window: it closes with it and its answer is dropped.
    dialog_.reset();
    open_.store(false, std::memory_order_release);
    AEffGUIEditor::close();
}

void EffectEditor::buildControls() {
    CFrame* f = frame_;
    auto knob = [&](int tag, int x, int y, const std::shared_ptr<CBitmap>& strip, float value) {
        int side = strip ? strip->getWidth() : 0;
        auto* k = new CAnimKnob(CRect(x, y, x + side, y + side), this, tag, kKnobFrames, side, strip);
        k->setValue(value);
        f->addView(k);
        return k;
    };
    auto button = [&](const std::shared_ptr<CBitmap>& image, int x, int y) {
        return CRect(x, y, x + (image ? image->getWidth() : 0), y + (image ? image->getHeight() / 2 : 0));
    };

    // 1: the crowd display.
    crowd_ = new PanelCrowd(CRect(2, 2, 342, 274), this, kCmdCrowd, skins_[1]);
    crowd_->setValue(1.0f);
    f->addView(crowd_);

    // 2-4: population.
    populationMenu_ =
        new COptionMenu(CRect(13, 296, 36, 315), this, parPopulationIndex, COptionMenu::kCheckStyle);
    textAppearance(populationMenu_);
    char text[16];
    for (int i = 1; i <= kNumPeople; ++i) {
        std::snprintf(text, sizeof text, "%i", i);
        populationMenu_->addEntry(text);
    }
    populationMenu_->setValue(parameter(parPopulationIndex));
    f->addView(populationMenu_);
    auto minus = CBitmap::fromResource(kSkinMinus);
    auto plus = CBitmap::fromResource(kSkinPlus);
    f->addView(new CKickButton(button(minus, 35, 297), this, kCmdPopulationDown, minus));
    f->addView(new CKickButton(button(plus, 60, 297), this, kCmdPopulationUp, plus));

    // 5: the clip lamp, dark.
    auto lampImage = CBitmap::fromResource(kSkinLamp);
    lamp_ = new CGlowLamp(CRect(545, 332, 557, 344), this, lampImage);
    f->addView(lamp_);

    // 6-11: randomiser and display axis.
    auto bound = CBitmap::fromResource(kSkinBoundKnob);
    lowerBound_ = knob(parRandLowerIndex, 191, 342, bound, parameter(parRandLowerIndex));
    upperBound_ = knob(parRandUpperIndex, 235, 342, bound, parameter(parRandUpperIndex));
    auto randomise = CBitmap::fromResource(kSkinRandomise);
    f->addView(new CKickButton(button(randomise, 98, 345), this, kCmdRandomise, randomise));
    auto all = CBitmap::fromResource(kSkinAllIndividual);
    allSwitch_ = new COnOffButton(button(all, 18, 345), this, kCmdRandomAll, all);
    allSwitch_->setValue(1.0f);
    f->addView(allSwitch_);
    groupMenu_ = new COptionMenu(CRect(20, 369, 168, 384), this, kCmdRandomGroup, COptionMenu::kCheckStyle);
    textAppearance(groupMenu_);
    for (const char* entry :
         {"everything", "everything - not gain", "spectra shift", "spectra mod gain", "spectra mod speed",
          "time delay", "time mod gain", "time mod speed", "pan", "gain"})
        groupMenu_->addEntry(entry);
    groupMenu_->setValue(0.0f);
    f->addView(groupMenu_);
    axisMenu_ = new COptionMenu(CRect(93, 299, 271, 313), this, kCmdDisplayAxis, COptionMenu::kCheckStyle);
    textAppearance(axisMenu_);
    for (const char* entry :
         {"display  X: pan    Y: spectra", "display  X: pan    Y: time", "display  X: time   Y: spectra"})
        axisMenu_->addEntry(entry);
    axisMenu_->setValue(0.0f);
    f->addView(axisMenu_);

    // 12-22: the selected person and its eight dials.
    selectedMenu_ =
        new COptionMenu(CRect(425, 38, 449, 59), this, parPersonSelectedIndex, COptionMenu::kCheckStyle);
    textAppearance(selectedMenu_);
    labelSelectedMenu(populationIndex());
    const int s = selectedPerson();
    selectedMenu_->setValue(personValue(s));
    f->addView(selectedMenu_);
    f->addView(new CKickButton(button(minus, 448, 40), this, kCmdSelectedDown, minus));
    f->addView(new CKickButton(button(plus, 472, 40), this, kCmdSelectedUp, plus));
    auto dial = CBitmap::fromResource(kSkinKnob);
    const CPoint dialPlaces[8] = {{367, 84},  {423, 84},  {465, 84},  {367, 152},
                                  {423, 152}, {465, 152}, {363, 220}, {427, 220}};
    for (int k = 0; k < 8; ++k)
        knob(kFirstPersonIndex + k, dialPlaces[k].x, dialPlaces[k].y, dial, parameter(personIndex(s, k)));

    // 23-30: everybody, output and reverb dials.
    knob(parAllpassSpreadIndex, 308, 319, dial, parameter(parAllpassSpreadIndex));
    knob(parPitchAllIndex, 375, 319, dial, parameter(parPitchAllIndex));
    auto output = CBitmap::fromResource(kSkinOutputKnob);
    knob(parGlobalWetIndex, 503, 319, output, parameter(parGlobalWetIndex));
    knob(parGlobalDryIndex, 565, 319, output, parameter(parGlobalDryIndex));
    knob(parReverbWetIndex, 529, 45, output, parameter(parReverbWetIndex));
    knob(parReverbSizeIndex, 571, 45, output, parameter(parReverbSizeIndex));
    knob(parReverbHighCutIndex, 529, 137, output, parameter(parReverbHighCutIndex));
    knob(parReverbLowCutIndex, 571, 137, output, parameter(parReverbLowCutIndex));

    // 31-32: Solo and Active.
    auto solo = CBitmap::fromResource(kSkinSolo);
    auto* soloSwitch = new COnOffButton(button(solo, 387, 40), this, parSoloIndex, solo);
    soloSwitch->setValue(parameter(parSoloIndex));
    f->addView(soloSwitch);
    auto active = CBitmap::fromResource(kSkinActive);
    auto* activeSwitch = new COnOffButton(button(active, 459, 329), this, parActiveIndex, active);
    activeSwitch->setValue(parameter(parActiveIndex));
    f->addView(activeSwitch);

    // 33-37: the preset strip.
    presetPanel_ = std::make_unique<PresetPanel>(this);
    presetPanel_->build(f);

    // 38-39: help and the web page.
    auto help = CBitmap::fromResource(kSkinHelp);
    helpSwitch_ = new COnOffButton(button(help, 296, 404), this, kCmdHelp, help);
    helpSwitch_->setValue(0.0f);
    f->addView(helpSwitch_);
    f->addView(new CKickButton(CRect(511, 412, 619, 424), this, kCmdWebPage));

    // Controls that show a parameter, by their tags.
    for (int i = 0; i < f->getNbViews(); ++i) {
        auto* c = dynamic_cast<CControl*>(f->getView(i));
        if (!c || c == lamp_)
            continue;
        int tag = c->getTag();
        bool shown = ParameterTable::valid(tag) && ParameterTable::row(tag).onControl;
        if (shown)
            controlByParameter_[std::size_t(tag)] = c;
    }
    dialsNeedRedraw_ = true;
}

void EffectEditor::idle() {
    if (!open_ || !frame_)
        return;
    pollDialog();
    if (!frame_)
        return;
    // While these lists show, nothing else is drawn; the lists themselves are windows whose
    // events still have to be handled.
    bool listShowing = (populationMenu_ && populationMenu_->isPopupOpen()) ||
                       (presetPanel_ && presetPanel_->actionMenu()->isPopupOpen());
    if (listShowing) {
        if (IPlatformFrame* platform = frame_->getPlatform())
            platform->pumpEvents();
        return;
    }
    // Changes that came from other threads, with the values they have now.
    for (int i = 0; i < kNumParams && frame_; ++i)
        if (pendingParameter_[std::size_t(i)].exchange(false, std::memory_order_acq_rel))
            showParameter(i, parameter(i));

    std::uint32_t now = frame_->ticks();
    if (now - lastIdleTicks_ >= 40) {
        lastIdleTicks_ = now;
        if (crowd_)
            crowd_->setDirty();
        if (dialsNeedRedraw_) {
            for (int t = kFirstPersonIndex; t < kFirstPersonIndex + 8; ++t)
                if (CControl* dial = controlByParameter_[std::size_t(t)])
                    dial->setDirty();
            dialsNeedRedraw_ = false;
        }
    }
    if (lamp_) {
        lamp_->setDirty();
        if (engine_->clipped()) {
            lamp_->setValue(1.0f);
            engine_->clearClip();
        }
    }
    frame_->idle();
}

void EffectEditor::draw(ERect* r) {
    if (!frame_)
        return;
    // The host's rectangle is in device pixels.
    CRect area = r ? layoutRect(CRect(r->left, r->top, r->right, r->bottom), frame_->getScale())
                   : frame_->getViewSize();
    frame_->invalidRect(area);
    if (IPlatformFrame* platform = frame_->getPlatform())
        platform->flush();
}

bool EffectEditor::onKeyDown(VstKeyCode& key) {
    if (!frame_)
        return false;
    return frame_->onKeyDown({std::uint32_t(key.character), key.virt, key.modifier}) == 1;
}

bool EffectEditor::onKeyUp(VstKeyCode& key) {
    if (!frame_)
        return false;
    return frame_->onKeyUp({std::uint32_t(key.character), key.virt, key.modifier}) == 1;
}

bool EffectEditor::setKnobMode(VstInt32 mode) {
    knobMode_ = mode;
    return true;
}

void EffectEditor::setParameter(VstInt32 index, float value) {
    if (index < 0 || index >= kNumParams || !open_.load(std::memory_order_acquire))
        return;
    // Controls and the frame belong to the user-interface thread; from any other the change
    // waits for idle.
    if (std::this_thread::get_id() != uiThread_.load(std::memory_order_relaxed)) {
        pendingParameter_[std::size_t(index)].store(true, std::memory_order_release);
        return;
    }
    if (frame_)
        showParameter(index, value);
}

void EffectEditor::showParameter(int index, float value) {
    if (index == parPopulationIndex) {
        int p = personNumber(value, kNumPeople - 1);
        int s = selectedPerson();
        labelSelectedMenu(p);
        // The selection stays within the people heard, whether or not it changed.
        plugin_->setParameter(parPersonSelectedIndex, personValue(std::min(s, p)));
        if (!frame_)
            return;
        selectedMenu_->setDirty();
        crowd_->rebuild = 1.0f;
        populationMenu_->setValue(personValue(p));
        populationMenu_->setDirty();
    } else if (index == parPersonSelectedIndex) {
        // The person the engine plays, which is also the one the dials and the ring show.
        const int s = personNumber(value, lastHeardPerson());
        const float used = personValue(s);
        selectedMenu_->setValue(used);
        for (int k = 0; k < 8; ++k)
            controlByParameter_[std::size_t(kFirstPersonIndex + k)]->setValue(parameter(personIndex(s, k)));
        dialsNeedRedraw_ = true;
        crowd_->rebuild = 1.0f;
        selectedMenu_->setValue(used);
        selectedMenu_->setDirty();
    } else if (index == parPresetNameIndex) {
        presetPanel_->nameBox()->setText(plugin_->programName(plugin_->getProgram()));
        presetPanel_->relist();
    } else if (index >= kFirstPersonIndex) {
        // Only the selected person's values are on the dials.
        int s = selectedPerson();
        if (index >= personIndex(s, 0) && index < personIndex(s + 1, 0)) {
            int slot = (index - kFirstPersonIndex) % kSlotsPerPerson;
            if (slot < 8) {
                CControl* dial = controlByParameter_[std::size_t(kFirstPersonIndex + slot)];
                dial->setValue(value);
                dial->setDirty();
            }
            crowd_->rebuild = 1.0f;
        }
    } else if (CControl* c = controlByParameter_[std::size_t(index)]) {
        c->setValue(value);
        c->setDirty();
    }
}

void EffectEditor::valueChanged(CControl* control) {
    const int tag = control->getTag();
    const float v = control->getValue();

    // Person dials: the selected person's parameter, and nothing else.
    if (tag >= kFirstPersonIndex && tag < kFirstPersonIndex + kSlotsPerPerson) {
        const int index = personIndex(selectedPerson(), tag - kFirstPersonIndex);
        if (index < kNumParams)
            plugin_->setParameterAutomated(index, v);
        control->setDirty();
        return;
    }

    switch (tag) {
        case parPersonSelectedIndex: {
            const int p = lastHeardPerson();
            if (personNumber(v, kNumPeople - 1) > p) {
                // A "--" entry, or one beyond the people heard: the last person there is.
                plugin_->setParameter(parPersonSelectedIndex, personValue(p));
                control->setValue(personValue(p));
            }
            break;
        }
        case parRandLowerIndex:
            // Only the other dial's position follows; its parameter keeps its value.
            if (upperBound_ && v > upperBound_->getValue()) {
                upperBound_->setValue(v);
                upperBound_->setDirty();
            }
            break;
        case parRandUpperIndex:
            if (lowerBound_ && v < lowerBound_->getValue()) {
                lowerBound_->setValue(v);
                lowerBound_->setDirty();
            }
            break;
        case kCmdPopulationDown:
        case kCmdPopulationUp:
            if (v != 0.0f) {
                int p = populationIndex() + (tag == kCmdPopulationUp ? 1 : -1);
                if (p >= 0 && p < kNumPeople)
                    plugin_->setParameter(parPopulationIndex, personValue(p));
                if (populationMenu_)
                    populationMenu_->setDirty();
            }
            return;
        case kCmdSelectedDown:
            if (v != 0.0f) {
                int s = selectedPerson() - 1;
                if (s >= 0)
                    plugin_->setParameter(parPersonSelectedIndex, personValue(s));
                if (selectedMenu_)
                    selectedMenu_->setDirty();
            }
            return;
        case kCmdSelectedUp:
            if (v != 0.0f) {
                int s = selectedPerson() + 1;
                if (s <= lastHeardPerson())
                    plugin_->setParameter(parPersonSelectedIndex, personValue(s));
                if (selectedMenu_)
                    selectedMenu_->setDirty();
            }
            return;
        case kCmdDisplayAxis:
            if (crowd_)
                crowd_->rebuild = 1.0f;
            return;
        case kCmdHelp:
            if (crowd_)
                crowd_->mode = truncateInto(v, 0, 1) == 1 ? PanelCrowd::kHelpMode : PanelCrowd::kCrowdMode;
            if (frame_)
                frame_->invalidRect(frame_->getViewSize());
            return;
        case kCmdRandomise:
            // Once per click released inside the button.
            if (v != 0.0f)
                Randomiser(this).randomise();
            return;
        case kCmdCrowd:
        case kCmdRandomGroup:
        case kCmdRandomAll:
            return;
        case kCmdWebPage:
            if (v != 0.0f)
                platform::desktopService().openWebPage(kWebPage);
            return;
        case parPresetActionIndex: {
            int k = truncateInto(5.0f * v + 0.5f, 0, PresetPanel::kPresetsEntry);
            if (k == PresetPanel::kLoadPreset) {
                loadPreset();
                return;
            }
            if (k == PresetPanel::kSavePreset) {
                savePreset();
                return;
            }
            if (k == PresetPanel::kResetCurrent) {
                plugin_->resetCurrentProgram();
                return;
            }
            break;
        }
        case parPresetPrevIndex:
        case parPresetNextIndex:
            // The release steps the program, wherever the mouse was let go.
            if (v != 0.0f)
                return;
            if (frame_)
                frame_->invalidRect(frame_->getViewSize());
            break;
        case parPresetNameIndex: {
            std::string text = presetPanel_->nameBox()->getText().substr(0, 25);
            plugin_->setProgramName(text.data());
            presetPanel_->relist();
            plugin_->setParameter(parPresetNameIndex, presetPanel_->nameBox()->getValue());
            break;
        }
        default:
            break;
    }

    // The common end: the parameter of the control's tag takes the control's value.
    if (tag < kNumParams)
        plugin_->setParameterAutomated(tag, control->getValue());
    control->setDirty();
}

int EffectEditor::controlModifierClicked(CControl*, int) {
    return 0;
}

void EffectEditor::loadPreset() {
    if (dialog_)
        return;
    platform::FileDialogRequest request;
    request.save = false;
    request.typeName = "VST FXP";
    request.title = "Select filename to LOAD";
    request.extension = "FXP";
    dialogPurpose_ = DialogPurpose::kLoad;
    dialog_ = platform::desktopService().startFileDialog(request);
    pollDialog();
}

void EffectEditor::savePreset() {
    if (dialog_)
        return;
    platform::FileDialogRequest request;
    request.save = true;
    request.typeName = "VST Effect FXP";
    request.title = "Select filename to SAVE";
    request.extension = "FXP";
    dialogPurpose_ = DialogPurpose::kSave;
    dialog_ = platform::desktopService().startFileDialog(request);
    pollDialog();
}

void EffectEditor::pollDialog() {
    // A question that follows a file dialog is started and polled in the same loop.
    while (dialog_) {
        const platform::DialogAnswer answer = dialog_->poll();
        if (answer.status == platform::DialogAnswer::kRunning)
            return;
        dialog_.reset();
        if (answer.status == platform::DialogAnswer::kUnavailable) {
            // Nothing was chosen, so nothing is loaded, saved or re-selected.
            tellUser(answer.problem);
            return;
        }
        finishDialog(answer.path, answer.status == platform::DialogAnswer::kAccepted);
    }
}

void EffectEditor::finishDialog(const std::string& answerPath, bool accepted) {
    switch (dialogPurpose_) {
        case DialogPurpose::kLoad: {
            const std::string path = accepted ? presetFileName(answerPath) : std::string();
            // Read aside and handed to the plug-in whole, as a host restores a program chunk; an
            // older layout upgrades over the current values.
            Program loaded = plugin_->currentProgramRecord();
            if (path.empty() || !readPresetFile(path, loaded) ||
                !plugin_->setChunk(&loaded, VstInt32(sizeof loaded), true)) {
                // Selects the current program again, which refreshes every control.
                plugin_->setParameter(parPresetReloadIndex, 0.0f);
            }
            if (presetPanel_)
                presetPanel_->relist();
            return;
        }
        case DialogPurpose::kSave: {
            const std::string path = accepted ? presetFileName(answerPath) : std::string();
            if (path.empty())
                return;
            // The dialog saw the name before the extension was added: ask about the real file.
            if (std::FILE* existing = std::fopen(path.c_str(), "rb")) {
                std::fclose(existing);
                replacePath_ = path;
                dialogPurpose_ = DialogPurpose::kReplace;
                const std::size_t slash = path.find_last_of('/');
                const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
                dialog_ = platform::desktopService().askQuestion(
                    "Save preset", "\"" + name + "\" already exists. Do you want to replace it?");
                return;
            }
            if (!writePresetFile(path, plugin_->currentProgramRecord()))
                tellUser("The preset could not be saved.");
            return;
        }
        case DialogPurpose::kReplace:
            if (accepted && !writePresetFile(replacePath_, plugin_->currentProgramRecord()))
                tellUser("The preset could not be saved.");
            replacePath_.clear();
            return;
    }
}

void EffectEditor::tellUser(const std::string& text) {
    if (crowd_)
        crowd_->showNotice(text);
}

void EffectEditor::beginEdit(int tag) {
    // The host hears of a gesture on exactly the parameter the control automates; commands
    // are not parameters and announce nothing.
    if (tag < 0 || tag >= int(gestureIndex_.size()))
        return;
    int index = tag;
    if (tag >= kFirstPersonIndex)
        index = personIndex(selectedPerson(), tag - kFirstPersonIndex);
    gestureIndex_[std::size_t(tag)] = index;
    plugin_->beginEdit(index);
}

void EffectEditor::endEdit(int tag) {
    if (tag < 0 || tag >= int(gestureIndex_.size()))
        return;
    plugin_->endEdit(gestureIndex_[std::size_t(tag)]);
}

bool EffectEditor::screenshot(ZornbeckScreenshot& shot) {
    if (!shot.pixels || shot.width <= 0 || shot.height <= 0 || shot.stride < shot.width * 4)
        return false;
    CBitmap picture(rect_.right - rect_.left, rect_.bottom - rect_.top);
    if (frame_) {
        // The window is open: draw its current state.
        auto context = createBitmapContext(picture, frame_->getScale());
        frame_->drawRect(context.get(), frame_->getViewSize());
    } else {
        COffscreenFrame* offscreen = openOffscreen();
        picture = offscreen->captureAll();
        close();
    }
    int w = std::min(shot.width, picture.getWidth());
    int h = std::min(shot.height, picture.getHeight());
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::uint8_t*>(shot.pixels) +
                                                     std::size_t(y) * std::size_t(shot.stride));
        std::memcpy(row, picture.pixels() + std::size_t(y) * std::size_t(picture.getWidth()),
                    std::size_t(w) * 4);
    }
    return true;
}

VstIntPtr EffectEditor::vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (index == kZornbeckVendorTag && value == kZornbeckScreenshot && ptr)
        return screenshot(*static_cast<ZornbeckScreenshot*>(ptr)) ? 1 : 0;
    if (index == kVendorScaleIndex && value == kVendorScaleValue) {
        setScale(opt);
        return 1;
    }
    return 0;
}

int EffectEditor::eventDescriptor() const {
    IPlatformFrame* platform = frame_ ? frame_->getPlatform() : nullptr;
    return platform ? platform->eventDescriptor() : -1;
}
