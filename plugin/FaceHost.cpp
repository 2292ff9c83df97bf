#include "plugin/FaceHost.h"

#include <algorithm>
#include <cstring>

#include "engine/ChamberReverb.h"
#include "model/ParameterTable.h"
#include "plugin/EffectVST.h"
#include "vst/AEffEditor.h"

namespace {

// The plug-in calls its host while it is being constructed, before the host can be found
// through the record it returns.
thread_local FaceHost* constructing = nullptr;

}  // namespace

FaceHost::FaceHost(Listener* listener, EditorFactory makeEditor) : listener_(listener) {
    constructing = this;
    effect_ = new EffectVST(&FaceHost::hostCallback, makeEditor);
    constructing = nullptr;
    aeffect_ = effect_->getAeffect();
    // The record's first reserved field is the host's own.
    aeffect_->resvd1 = reinterpret_cast<VstIntPtr>(this);
    dispatch(effOpen);
}

FaceHost::FaceHost(Listener* listener, EditorFactory makeEditor, double sampleRate, int maxFrames)
    : FaceHost(listener, makeEditor) {
    prepare(sampleRate, maxFrames);
}

FaceHost::~FaceHost() {
    closeEditor();
    if (prepared_) {
        dispatch(effMainsChanged, 0, 0);
    }
    dispatch(effClose);  // deletes the plug-in
}

VstIntPtr FaceHost::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*,
                                 float opt) {
    FaceHost* host =
        effect != nullptr && effect->resvd1 != 0 ? reinterpret_cast<FaceHost*>(effect->resvd1) : constructing;
    if (opcode == audioMasterVersion) {
        return 2400;
    }
    return host != nullptr ? host->answer(opcode, index, value, opt) : 0;
}

VstIntPtr FaceHost::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt) {
    switch (opcode) {
        case audioMasterAutomate:
            if (listener_ != nullptr) {
                listener_->parameterEdited(index, opt);
            }
            return 0;
        case audioMasterBeginEdit:
            if (listener_ != nullptr) {
                listener_->beginEdit(index);
            }
            return 1;
        case audioMasterEndEdit:
            if (listener_ != nullptr) {
                listener_->endEdit(index);
            }
            return 1;
        case audioMasterUpdateDisplay:
            if (listener_ != nullptr) {
                listener_->displayChanged();
            }
            return 1;
        case audioMasterSizeWindow:
            return listener_ != nullptr && listener_->resizeEditor(index, static_cast<int>(value)) ? 1 : 0;
        case audioMasterGetSampleRate:
            return static_cast<VstIntPtr>(sampleRate_);
        case audioMasterGetBlockSize:
            return maxFrames_;
        case audioMasterIOChanged:
            return 1;
        default:
            return 0;
    }
}

VstIntPtr FaceHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) const {
    return aeffect_->dispatcher(aeffect_, opcode, index, value, ptr, opt);
}

void FaceHost::prepare(double sampleRate, int maxFrames) {
    sampleRate_ = sampleRate > 0.0 ? sampleRate : 44100.0;
    maxFrames_ = std::max(maxFrames, 1);
    if (prepared_) {
        dispatch(effMainsChanged, 0, 0);
    }
    prepared_ = true;
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate_));
    dispatch(effSetBlockSize, 0, maxFrames_);
    dispatch(effMainsChanged, 0, 1);
}

void FaceHost::process(const float* const* inputs, int inputCount, float* const* outputs, int frames) {
    if (frames <= 0 || inputs == nullptr || outputs == nullptr || inputCount < 1) {
        return;
    }
    if (!prepared_) {
        for (int ch = 0; ch < kChannels; ++ch) {
            std::fill(outputs[ch], outputs[ch] + frames, 0.0f);
        }
        return;
    }
    float* in[kChannels] = {const_cast<float*>(inputs[0]),
                            const_cast<float*>(inputs[inputCount > 1 ? 1 : 0])};
    float* out[kChannels] = {outputs[0], outputs[1]};
    aeffect_->processReplacing(aeffect_, in, out, frames);
}

void FaceHost::setParameter(int index, float value) {
    aeffect_->setParameter(aeffect_, index, value);
}

float FaceHost::getParameter(int index) const {
    return aeffect_->getParameter(aeffect_, index);
}

void FaceHost::parameterDisplay(int index, char* text, std::size_t capacity) const {
    ParameterTable::display(index, getParameter(index), text, capacity);
}

int FaceHost::program() const {
    return static_cast<int>(dispatch(effGetProgram));
}

void FaceHost::setProgram(int program) {
    dispatch(effSetProgram, 0, program);
}

void FaceHost::programName(int program, char* text, std::size_t capacity) const {
    char name[kVstMaxProgNameLen + 1] = {};
    dispatch(effGetProgramNameIndexed, program, 0, name);
    if (capacity > 0) {
        const std::size_t length = std::min(std::strlen(name), capacity - 1);
        std::memcpy(text, name, length);
        text[length] = 0;
    }
}

void FaceHost::setProgramName(const char* name) {
    char text[kVstMaxProgNameLen + 1] = {};
    std::strncpy(text, name, kVstMaxProgNameLen);
    dispatch(effSetProgramName, 0, 0, text);
}

std::vector<std::uint8_t> FaceHost::chunk(bool preset) const {
    void* data = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
    if (data == nullptr || size <= 0) {
        return {};
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return {bytes, bytes + size};
}

bool FaceHost::setChunk(const void* data, std::size_t size, bool preset) {
    if (data == nullptr || size == 0 || size > 0x7fffffff) {
        return false;
    }
    return dispatch(effSetChunk, preset ? 1 : 0, static_cast<VstIntPtr>(size), const_cast<void*>(data)) != 0;
}

double FaceHost::tailSeconds() const {
    const double delay = double(param::delayReferenceSamples(1.0f)) / double(param::kReferenceRate) +
                         double(param::kDelayModDepthSamples) / sampleRate_;
    return delay +
           ChamberReverb::tailSeconds(getParameter(parReverbSizeIndex), getParameter(parReverbWetIndex));
}

bool FaceHost::openEditor(void* parent) {
    closeEditor();
    editorOpen_ = dispatch(effEditOpen, 0, 0, parent) != 0;
    return editorOpen_;
}

void FaceHost::idleEditor() {
    if (editorOpen_) {
        dispatch(effEditIdle);
    }
}

void FaceHost::closeEditor() {
    if (editorOpen_) {
        dispatch(effEditClose);
        editorOpen_ = false;
    }
}

bool FaceHost::editorOpen() const {
    return editorOpen_;
}

void FaceHost::editorSize(int& width, int& height) const {
    ERect* rect = nullptr;
    dispatch(effEditGetRect, 0, 0, &rect);
    width = rect != nullptr ? rect->right - rect->left : 0;
    height = rect != nullptr ? rect->bottom - rect->top : 0;
}

void FaceHost::setEditorScale(double factor) {
    dispatch(effVendorSpecific, kVendorScaleIndex, kVendorScaleValue, nullptr, static_cast<float>(factor));
}

int FaceHost::editorEventDescriptor() const {
    const auto* editor = static_cast<const AEffGUIEditor*>(effect_->getEditor());
    return editorOpen_ && editor != nullptr ? editor->eventDescriptor() : -1;
}
