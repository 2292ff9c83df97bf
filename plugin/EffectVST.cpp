#include "plugin/EffectVST.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "engine/CrowdEngine.h"
#include "engine/Numeric.h"
#include "model/ParameterTable.h"
#include "model/ProgramBankOps.h"
#include "presets/FactoryBank.h"

EffectVST::EffectVST(audioMasterCallback audioMaster, EditorFactory makeEditor)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    if (makeEditor != nullptr) {
        setEditor(makeEditor(this));
    }
    if (engine_ == nullptr) {
        // Without an editor (the core tested on its own) the plug-in owns the engine itself.
        ownedEngine_ = new CrowdEngine();
        engine_ = ownedEngine_;
    }

    setUniqueID(kUniqueId);
    setInitialDelay(0);
    programsAreChunks();
    setNumInputs(2);
    setNumOutputs(2);
    canProcessReplacing();
    canMono();

    // Copied while no other thread can reach the bank (a copy draws no random values).
    scratch_ = std::make_unique<ProgramBank>(engine_->bank());
    curProgram_ = 0;
    engine_->setupProgram(0);
    setProgram(0);
    engine_->resetVoices();
    wantEvents();
}

EffectVST::~EffectVST() {
    delete editor_;  // the editor's destruction destroys the engine it created
    editor_ = nullptr;
    delete ownedEngine_;
}

void EffectVST::suspend() {}

// The host does not process while suspended: the engine sizes itself for this rate and block size
// here, so the audio thread never allocates.
void EffectVST::resume() {
    bool rateChanged = false;
    {
        std::lock_guard lock(control_);
        rateChanged = sampleRate_ != engine_->sampleRate();
        engine_->prepare(sampleRate_, blockSize_);
    }
    if (rateChanged) {
        ioChanged();
    }
    AudioEffectX::resume();
}

void EffectVST::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (inputs == nullptr || outputs == nullptr || inputs[0] == nullptr || outputs[0] == nullptr) {
        return;
    }
    const int inputCount = (inputs[1] != nullptr && inputs[1] != inputs[0]) ? 2 : 1;
    const int outputCount = (outputs[1] != nullptr && outputs[1] != outputs[0]) ? 2 : 1;
    engine_->process(inputs, outputs, inputCount, outputCount, sampleFrames);
}

void EffectVST::notifyEditor(VstInt32 index, float value) {
    if (AEffGUIEditor* editor = guiEditor()) {
        editor->setParameter(index, value);
    }
}

void EffectVST::setParameter(VstInt32 index, float value) {
    if (index < 0 || index >= kNumParams) {
        return;
    }
    engine_->markParameter(index, value);
    switch (index) {
        case parPresetActionIndex:
            return;
        case parPresetSelectIndex:
            // A wild value selects nothing rather than an undefined program number.
            setProgram(zb::saturatingTrunc(24.0f * value + 0.5f, -1, kNumPrograms));
            notifyEditor(index, value);
            return;
        case parPresetPrevIndex:
        case parPresetNextIndex: {
            if (value != 0.0f) {
                return;
            }
            int next = engine_->currentProgram() + (index == parPresetNextIndex ? 1 : -1);
            if (next < 0) {
                next = kNumPrograms - 1;
            } else if (next >= kNumPrograms) {
                next = 0;
            }
            setProgram(next);
            notifyEditor(parPresetNameIndex, static_cast<float>(next));
            return;
        }
        case parPresetReloadIndex:
            setProgram(engine_->currentProgram());
            return;
        default:
            notifyEditor(index, value);
            return;
    }
}

float EffectVST::getParameter(VstInt32 index) {
    if (index < 0 || index >= kNumParams || index == 29 || index == 30 || index == 31) {
        return 0.0f;
    }
    return zb::loadShared(engine_->program().value(index));
}

void EffectVST::getParameterName(VstInt32 index, char* text) {
    if (index == kNumValues - 1) {
        return;  // the stored value past the last index is an unnamed person slot too
    }
    ParameterTable::name(index, text, param::kMaxNameLength + 1);
}

void EffectVST::getParameterLabel(VstInt32, char* label) {
    std::strcpy(label, param::kLabel);
}

void EffectVST::getParameterDisplay(VstInt32 index, char* text) {
    if (index < 0 || index >= kNumParams) {
        text[0] = 0;
        return;
    }
    ParameterTable::display(index, getParameter(index), text, kVstMaxParamStrLen + 1);
}

bool EffectVST::string2parameter(VstInt32 index, char* text) {
    float value = 0.0f;
    if (!ParameterTable::valid(index) || !ParameterTable::parse(index, text, value)) {
        return false;
    }
    setParameter(index, value);
    return true;
}

VstIntPtr EffectVST::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    switch (opcode) {
        case effEditOpen:
        case effEditClose:
        case effEditIdle:
        case effEditKeyDown:
        case effEditKeyUp:
        case effVendorSpecific: {
            // The editor reads and writes the bank directly.
            std::lock_guard lock(control_);
            return AudioEffectX::dispatcher(opcode, index, value, ptr, opt);
        }
        default:
            return AudioEffectX::dispatcher(opcode, index, value, ptr, opt);
    }
}

VstInt32 EffectVST::getProgram() {
    return engine_->currentProgram();
}

void EffectVST::setProgram(VstInt32 program) {
    if (program < 0 || program >= kNumPrograms) {
        return;
    }
    {
        std::lock_guard lock(control_);
        switchProgram(program);
    }
    // Outside the lock: a host may answer on another thread that wants it.
    updateDisplay();
}

void EffectVST::switchProgram(VstInt32 program) {
    curProgram_ = program;
    engine_->stageProgram(program);
    engine_->setupProgram(program);
    const Program& values = engine_->program();
    for (VstInt32 index = 0; index < kNumParams; ++index) {
        if (index == parPresetActionIndex || index == parPresetSelectIndex || index == parPresetPrevIndex ||
            index == parPresetNextIndex || index == parPresetReloadIndex) {
            continue;
        }
        // Shown, not written back: automation meanwhile is not undone.
        notifyEditor(index, zb::loadShared(values.value(index)));
    }
    engine_->selectProgram(program);
    engine_->resetReverb();
}

ProgramBank& EffectVST::scratchBank() {
    return *scratch_;
}

void EffectVST::setProgramName(char* name) {
    std::lock_guard lock(control_);
    engine_->bank().programs[curProgram_].setName(name);
}

namespace {

// The interface allows 24 characters and the terminator; the stored field is longer.
void copyProgramName(char* text, const Program& program) {
    const std::size_t length = strnlen(program.name, kVstMaxProgNameLen);
    std::memcpy(text, program.name, length);
    text[length] = 0;
}

}  // namespace

void EffectVST::getProgramName(char* name) {
    std::lock_guard lock(control_);
    copyProgramName(name, engine_->bank().programs[curProgram_]);
}

bool EffectVST::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if (index < 0 || index >= kNumPrograms) {
        return false;
    }
    std::lock_guard lock(control_);
    copyProgramName(text, engine_->bank().programs[index]);
    return true;
}

VstInt32 EffectVST::getChunk(void** data, bool isPreset) {
    std::lock_guard lock(control_);
    std::unique_ptr<ProgramBank>& saved = savedChunks_[std::this_thread::get_id()];
    if (!saved) {
        saved = std::make_unique<ProgramBank>(*scratch_);  // its values are overwritten below
    }
    const ProgramBank& live = engine_->bank();
    if (isPreset) {
        copyProgramShared(saved->programs[curProgram_], live.programs[curProgram_]);
        *data = &saved->programs[curProgram_];
        return static_cast<VstInt32>(sizeof(Program));
    }
    saved->version = live.version;
    saved->reserved = live.reserved;
    for (int n = 0; n < kNumPrograms; ++n) {
        copyProgramShared(saved->programs[n], live.programs[n]);
    }
    *data = saved.get();
    return static_cast<VstInt32>(sizeof(ProgramBank));
}

VstInt32 EffectVST::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    {
        std::lock_guard lock(control_);
        // Restored aside first: a chunk that is refused leaves the bank as it was, and the live
        // bank is only ever written value by value.
        ProgramBank& bank = scratchBank();
        ProgramBank& live = engine_->bank();
        const int first = isPreset ? curProgram_ : 0;
        const int last = isPreset ? curProgram_ : kNumPrograms - 1;
        for (int n = first; n <= last; ++n) {
            copyProgramShared(bank.programs[n], live.programs[n]);
        }
        if (!restoreChunk(bank, curProgram_, data, byteSize, isPreset)) {
            return 0;
        }
        if (!isPreset) {
            live.version = bank.version;
            live.reserved = bank.reserved;
        }
        for (int n = first; n <= last; ++n) {
            copyProgramShared(live.programs[n], bank.programs[n]);
        }
        switchProgram(curProgram_);
    }
    updateDisplay();
    return 1;
}

std::string EffectVST::programName(int program) {
    if (program < 0 || program >= kNumPrograms) {
        return {};
    }
    std::lock_guard lock(control_);
    const Program& stored = engine_->bank().programs[program];
    return std::string(stored.name, strnlen(stored.name, kProgramNameSize));
}

Program EffectVST::currentProgramRecord() {
    void* data = nullptr;
    getChunk(&data, true);
    // Copied as bytes: constructing a Program would draw from the shared random sequence.
    std::array<unsigned char, sizeof(Program)> bytes{};
    std::memcpy(bytes.data(), data, sizeof(Program));
    return std::bit_cast<Program>(bytes);
}

void EffectVST::resetCurrentProgram() {
    {
        std::lock_guard lock(control_);
        const int program = engine_->currentProgram();
        ProgramBank& bank = scratchBank();
        copyProgramShared(bank.programs[program], engine_->bank().programs[program]);
        resetFactoryProgram(bank, program);
        engine_->bank().version = bank.version;
        copyProgramShared(engine_->bank().programs[program], bank.programs[program]);
    }
    setParameter(parPresetReloadIndex, 0.0f);
}

bool EffectVST::getInputProperties(VstInt32 index, VstPinProperties* properties) {
    if (index < 0 || index > 1) {
        return false;
    }
    std::snprintf(properties->label, sizeof(properties->label), "Kv_in %1d In", index + 1);
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    properties->arrangementType = kSpeakerArrStereo;
    return true;
}

bool EffectVST::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    if (index < 0 || index > 1) {
        return false;
    }
    std::snprintf(properties->label, sizeof(properties->label), "Kv_out %1d In", index + 1);
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

VstInt32 EffectVST::processEvents(VstEvents*) {
    return 1;
}

bool EffectVST::getVendorString(char* text) {
    std::strcpy(text, "Quillfen");
    return true;
}

bool EffectVST::getProductString(char* text) {
    std::strcpy(text, "Zornbeck");
    return true;
}

VstIntPtr EffectVST::vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    AEffGUIEditor* editor = guiEditor();
    if (editor == nullptr) {
        return 0;
    }
    if (index == kVendorScaleIndex && value == kVendorScaleValue) {
        // The host's editor scale: NaN says nothing, anything else is kept to 1 .. 3.
        if (std::isnan(opt)) {
            return 0;
        }
        ERect* rect = nullptr;
        editor->getRect(&rect);
        const int width = rect != nullptr ? rect->right - rect->left : 0;
        const int height = rect != nullptr ? rect->bottom - rect->top : 0;
        editor->vendorSpecific(index, value, ptr, std::clamp(opt, 1.0f, 3.0f));
        editor->getRect(&rect);
        // An open editor took its new size at once; the host's window has to follow.
        if (editor->isOpen() && rect != nullptr &&
            (rect->right - rect->left != width || rect->bottom - rect->top != height)) {
            callHost(audioMasterSizeWindow, rect->right - rect->left, rect->bottom - rect->top);
        }
        return 1;
    }
    return editor->vendorSpecific(index, value, ptr, opt);
}

VstInt32 EffectVST::canDo(char* text) {
    static constexpr const char* kAnswersYes[] = {"receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents",
                                                  "acceptIOChanges", "supportsViewDpiScaling"};
    for (const char* yes : kAnswersYes) {
        if (std::strcmp(text, yes) == 0) {
            return 1;
        }
    }
    return -1;
}
