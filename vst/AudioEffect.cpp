#include "vst/AudioEffect.h"

#include <cstring>

namespace {

AudioEffect* owner(AEffect* effect) {
    return effect ? static_cast<AudioEffect*>(effect->object) : nullptr;
}

// No C++ exception may cross into the host.
VstIntPtr dispatchEffect(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    AudioEffect* plugin = owner(effect);
    if (plugin == nullptr) {
        return 0;
    }
    try {
        return plugin->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

void processReplacingEntry(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
    if (AudioEffect* plugin = owner(effect)) {
        plugin->processReplacing(inputs, outputs, frames);
    }
}

// The accumulating and double-precision entries exist for hosts that look at them; they do nothing.
void processAccumulatingEntry(AEffect*, float**, float**, VstInt32) {}
void processDoubleEntry(AEffect*, double**, double**, VstInt32) {}

void setParameterEntry(AEffect* effect, VstInt32 index, float value) {
    if (AudioEffect* plugin = owner(effect)) {
        plugin->setParameter(index, value);
    }
}

float getParameterEntry(AEffect* effect, VstInt32 index) {
    AudioEffect* plugin = owner(effect);
    return plugin ? plugin->getParameter(index) : 0.0f;
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : numPrograms_(numPrograms), numParams_(numParams), audioMaster_(audioMaster) {
    std::memset(&cEffect_, 0, sizeof(cEffect_));
    cEffect_.magic = kEffectMagic;
    cEffect_.dispatcher = dispatchEffect;
    cEffect_.process = processAccumulatingEntry;
    cEffect_.setParameter = setParameterEntry;
    cEffect_.getParameter = getParameterEntry;
    cEffect_.numPrograms = numPrograms;
    cEffect_.numParams = numParams;
    cEffect_.numInputs = 1;
    cEffect_.numOutputs = 2;
    cEffect_.ioRatio = 1.0f;
    cEffect_.object = this;
    cEffect_.version = 1;
    cEffect_.processReplacing = processReplacingEntry;
    cEffect_.processDoubleReplacing = processDoubleEntry;
    canProcessReplacing();
}

AudioEffect::~AudioEffect() = default;

void AudioEffect::setEditor(AEffEditor* editor) {
    editor_ = editor;
    setFlag(effFlagsHasEditor, editor != nullptr);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return audioMaster_ ? audioMaster_(&cEffect_, opcode, index, value, ptr, opt) : 0;
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effOpen:
            open();
            return 0;
        case effClose:
            close();
            delete this;
            return 1;
        case effSetProgram:
            if (value < numPrograms_) {
                setProgram(static_cast<VstInt32>(value < 0 ? -1 : value));
            }
            return 0;
        case effGetProgram:
            return getProgram();
        case effSetProgramName:
            if (text) {
                setProgramName(text);
            }
            return 0;
        case effGetProgramName:
            if (text) {
                getProgramName(text);
            }
            return 0;
        case effGetParamLabel:
            if (text) {
                getParameterLabel(index, text);
            }
            return 0;
        case effGetParamDisplay:
            if (text) {
                getParameterDisplay(index, text);
            }
            return 0;
        case effGetParamName:
            if (text) {
                getParameterName(index, text);
            }
            return 0;
        case effSetSampleRate:
            setSampleRate(opt);
            return 0;
        case effSetBlockSize:
            setBlockSize(static_cast<VstInt32>(value));
            return 0;
        case effMainsChanged:
            if (value != 0) {
                resume();
            } else {
                suspend();
            }
            return 0;
        case effEditGetRect:
            return (editor_ && ptr) ? (editor_->getRect(static_cast<ERect**>(ptr)) ? 1 : 0) : 0;
        case effEditOpen:
            return editor_ ? (editor_->open(ptr) ? 1 : 0) : 0;
        case effEditClose:
            if (editor_) {
                editor_->close();
            }
            return 0;
        case effEditIdle:
            if (editor_) {
                editor_->idle();
            }
            return 0;
        case effIdentify:
            return fourCharCode('N', 'v', 'E', 'f');
        case effGetChunk:
            return ptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
        case effSetChunk:
            return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
        default:
            return 0;
    }
}

void AudioEffectX::resume() {
    if (canDo(const_cast<char*>("receiveVstMidiEvent")) == 1) {
        wantEvents();
    }
}

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effProcessEvents:
            return processEvents(static_cast<VstEvents*>(ptr));
        case effCanBeAutomated:
            return canParameterBeAutomated(index) ? 1 : 0;
        case effString2Parameter:
            return (text && string2parameter(index, text)) ? 1 : 0;
        case effGetProgramNameIndexed:
            return (text && getProgramNameIndexed(static_cast<VstInt32>(value), index, text)) ? 1 : 0;
        case effGetInputProperties:
            return (ptr && getInputProperties(index, static_cast<VstPinProperties*>(ptr))) ? 1 : 0;
        case effGetOutputProperties:
            return (ptr && getOutputProperties(index, static_cast<VstPinProperties*>(ptr))) ? 1 : 0;
        case effGetPlugCategory:
            return getPlugCategory();
        case effGetEffectName:
            return (text && getEffectName(text)) ? 1 : 0;
        case effGetVendorString:
            return (text && getVendorString(text)) ? 1 : 0;
        case effGetProductString:
            return (text && getProductString(text)) ? 1 : 0;
        case effGetVendorVersion:
            return getVendorVersion();
        case effVendorSpecific:
            return vendorSpecific(index, value, ptr, opt);
        case effCanDo:
            return text ? canDo(text) : 0;
        case effGetTailSize:
            return getTailSize();
        case effGetVstVersion:
            return getVstVersion();
        case effEditKeyDown:
        case effEditKeyUp: {
            if (editor_ == nullptr) {
                return 0;
            }
            VstKeyCode key{index, static_cast<unsigned char>(value), static_cast<unsigned char>(opt)};
            return (opcode == effEditKeyDown ? editor_->onKeyDown(key) : editor_->onKeyUp(key)) ? 1 : 0;
        }
        case effSetEditKnobMode:
            return (editor_ && editor_->setKnobMode(static_cast<VstInt32>(value))) ? 1 : 0;
        case effGetCurrentMidiProgram:
            return getCurrentMidiProgram(index);
        case effGetSpeakerArrangement:
            if (auto** inputs = reinterpret_cast<VstSpeakerArrangement**>(value)) {
                *inputs = nullptr;
            }
            if (auto** outputs = static_cast<VstSpeakerArrangement**>(ptr)) {
                *outputs = nullptr;
            }
            return 0;
        case effSetTotalSampleToProcess:
            return value;
        default:
            return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}
