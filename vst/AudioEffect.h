// Base classes of a VST 2.4 plug-in: they own the AEffect record handed to the host, route its
// entry points into virtual operations, give the default dispatcher answers, and send the few
// requests a plug-in makes of its host.
#pragma once

#include "vst/AEffEditor.h"
#include "vst/VstInterface.h"

class AudioEffect {
public:
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect();
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    AEffect* getAeffect() { return &cEffect_; }

    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setSampleRate(float sampleRate) { sampleRate_ = sampleRate; }
    virtual void setBlockSize(VstInt32 blockSize) { blockSize_ = blockSize; }

    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
    virtual void setParameter(VstInt32, float) {}
    virtual float getParameter(VstInt32) { return 0.0f; }
    virtual void setParameterAutomated(VstInt32 index, float value);

    virtual VstInt32 getProgram() { return curProgram_; }
    virtual void setProgram(VstInt32 program) { curProgram_ = program; }
    virtual void setProgramName(char*) {}
    virtual void getProgramName(char* name) { *name = 0; }
    virtual void getParameterLabel(VstInt32, char* label) { *label = 0; }
    virtual void getParameterDisplay(VstInt32, char* text) { *text = 0; }
    virtual void getParameterName(VstInt32, char* text) { *text = 0; }
    virtual VstInt32 getChunk(void**, bool) { return 0; }
    virtual VstInt32 setChunk(void*, VstInt32, bool) { return 0; }

    float getSampleRate() const { return sampleRate_; }
    VstInt32 getBlockSize() const { return blockSize_; }
    AEffEditor* getEditor() const { return editor_; }
    audioMasterCallback getAudioMaster() const { return audioMaster_; }

    // Identity of the AEffect record.
    void setUniqueID(VstInt32 id) { cEffect_.uniqueID = id; }
    void setNumInputs(VstInt32 inputs) { cEffect_.numInputs = inputs; }
    void setNumOutputs(VstInt32 outputs) { cEffect_.numOutputs = outputs; }
    void setInitialDelay(VstInt32 delay) { cEffect_.initialDelay = delay; }
    void programsAreChunks(bool state = true) { setFlag(effFlagsProgramChunks, state); }
    void canProcessReplacing(bool state = true) { setFlag(effFlagsCanReplacing, state); }
    void canMono(bool state = true) { setFlag(effFlagsCanMono, state); }
    void setEditor(AEffEditor* editor);

    // Host requests; each is skipped when there is no callback.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);
    void masterIdle() { callHost(audioMasterIdle); }
    void beginEdit(VstInt32 index) { callHost(audioMasterBeginEdit, index); }
    void endEdit(VstInt32 index) { callHost(audioMasterEndEdit, index); }

protected:
    void setFlag(VstInt32 flag, bool state) {
        cEffect_.flags = state ? (cEffect_.flags | flag) : (cEffect_.flags & ~flag);
    }

    float sampleRate_ = 44100.0f;
    VstInt32 blockSize_ = 1024;
    VstInt32 numPrograms_;
    VstInt32 numParams_;
    VstInt32 curProgram_ = 0;
    AEffEditor* editor_ = nullptr;

private:
    audioMasterCallback audioMaster_;
    AEffect cEffect_;
};

class AudioEffectX : public AudioEffect {
public:
    using AudioEffect::AudioEffect;

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    void resume() override;

    virtual VstInt32 processEvents(VstEvents*) { return 0; }
    virtual bool canParameterBeAutomated(VstInt32) { return true; }
    // Sets the parameter from a text in its unit; false when the text means nothing to it.
    virtual bool string2parameter(VstInt32, char*) { return false; }
    virtual bool getProgramNameIndexed(VstInt32, VstInt32, char*) { return false; }
    virtual bool getInputProperties(VstInt32, VstPinProperties*) { return false; }
    virtual bool getOutputProperties(VstInt32, VstPinProperties*) { return false; }
    virtual VstInt32 getPlugCategory() { return kPlugCategUnknown; }
    virtual bool getEffectName(char*) { return false; }
    virtual bool getVendorString(char*) { return false; }
    virtual bool getProductString(char*) { return false; }
    virtual VstInt32 getVendorVersion() { return 0; }
    virtual VstIntPtr vendorSpecific(VstInt32, VstIntPtr, void*, float) { return 0; }
    virtual VstInt32 canDo(char*) { return 0; }
    virtual VstInt32 getTailSize() { return 0; }
    virtual VstInt32 getVstVersion() { return kVstVersion; }
    virtual VstInt32 getCurrentMidiProgram(VstInt32) { return -1; }

    // Host requests.
    void wantEvents() { callHost(audioMasterWantMidi, 0, 1); }
    void ioChanged() { callHost(audioMasterIOChanged); }
    void updateDisplay() { callHost(audioMasterUpdateDisplay); }
};
