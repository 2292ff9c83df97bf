#include "plugin/EffectVST.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/CrowdEngine.h"
#include "engine/Numeric.h"
#include "model/ProgramBankOps.h"
#include "presets/FactoryBank.h"

namespace {

const char* globalName(VstInt32 index) {
    switch (index) {
        case parPopulationIndex: return "Population";
        case parPersonSelectedIndex: return "Selected";
        case parGlobalWetIndex: return "Global Wet gain";
        case parGlobalDryIndex: return "Global Dry gain";
        case parSoloIndex: return "Solo";
        case parAllpassSpreadIndex: return "Spread";
        case parPitchAllIndex: return "Shift All";
        case parReverbWetIndex: return "Reverb Gain";
        case parReverbSizeIndex: return "Reverb Size";
        case parReverbHighCutIndex: return "Reverb High Cut";
        case parReverbLowCutIndex: return "Reverb Low Cut";
        default: return "NONE";
    }
}

constexpr const char* kSlotFormats[8] = {
    "Pitch Shift %i", "Pitch M. Gain %i", "Pitch M. Speed %i", "Delay Time %i",
    "Delay M. Gain %i", "Delay M. Speed %i", "Pan %i", "Gain %i",
};

}  // namespace

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
    const bool rateChanged = sampleRate_ != engine_->sampleRate();
    engine_->prepare(sampleRate_, blockSize_);
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
    if (index >= kFirstPersonIndex && index < kNumValues) {
        const int person = (index - kFirstPersonIndex) / kSlotsPerPerson;
        const int slot = (index - kFirstPersonIndex) % kSlotsPerPerson;
        if (slot < 8) {
            std::snprintf(text, 18, kSlotFormats[slot], person + 1);
        }
        return;
    }
    std::strcpy(text, (index >= 0 && index < kFirstPersonIndex) ? globalName(index) : "NONE");
}

void EffectVST::getParameterLabel(VstInt32, char* label) { std::strcpy(label, "amount"); }

// Hosts show whatever the buffer holds when nothing is written; an empty text shows nothing.
void EffectVST::getParameterDisplay(VstInt32, char* text) { text[0] = 0; }

void EffectVST::setProgram(VstInt32 program) {
    if (program < 0 || program >= kNumPrograms) {
        return;
    }
    curProgram_ = program;
    engine_->setupProgram(program);
    const Program& values = engine_->program();
    for (VstInt32 index = 0; index < kNumParams; ++index) {
        if (index == parPresetActionIndex || index == parPresetSelectIndex || index == parPresetPrevIndex ||
            index == parPresetNextIndex || index == parPresetReloadIndex) {
            continue;
        }
        setParameter(index, zb::loadShared(values.value(index)));
    }
    engine_->selectProgram(program);
    engine_->resetReverb();
    updateDisplay();
}

void EffectVST::setProgramName(char* name) { engine_->bank().programs[curProgram_].setName(name); }

void EffectVST::getProgramName(char* name) {
    std::memcpy(name, engine_->bank().programs[curProgram_].name, kProgramNameSize);
    name[kProgramNameSize - 1] = 0;
}

bool EffectVST::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if (index < 0 || index >= kNumPrograms) {
        return false;
    }
    std::memcpy(text, engine_->bank().programs[index].name, kProgramNameSize);
    text[kProgramNameSize - 1] = 0;
    return true;
}

VstInt32 EffectVST::getChunk(void** data, bool isPreset) {
    if (isPreset) {
        *data = &engine_->bank().programs[curProgram_];
        return static_cast<VstInt32>(sizeof(Program));
    }
    *data = &engine_->bank();
    return static_cast<VstInt32>(sizeof(ProgramBank));
}

VstInt32 EffectVST::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    if (!restoreChunk(engine_->bank(), curProgram_, data, byteSize, isPreset)) {
        return 0;
    }
    setProgram(curProgram_);
    return 1;
}

void EffectVST::resetCurrentProgram() {
    resetFactoryProgram(engine_->bank(), engine_->currentProgram());
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

VstInt32 EffectVST::processEvents(VstEvents*) { return 1; }

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
    return editor ? editor->vendorSpecific(index, value, ptr, opt) : 0;
}

VstInt32 EffectVST::canDo(char* text) {
    static constexpr const char* kAnswersYes[] = {"receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents",
                                                  "acceptIOChanges"};
    for (const char* yes : kAnswersYes) {
        if (std::strcmp(text, yes) == 0) {
            return 1;
        }
    }
    return -1;
}
