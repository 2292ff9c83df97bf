// The plug-in object the host talks to: identity, lifecycle, the parameter model and program
// switching, chunks, and the hand-off of audio to the engine.
#pragma once

#include <map>
#include <string>
#include <memory>
#include <mutex>
#include <thread>

#include "vst/AudioEffect.h"

#include "model/Program.h"

class CrowdEngine;
class EffectVST;

// The editor is created with the plug-in as its owner; its construction creates the engine and
// hands it over with setEngine.
using EditorFactory = AEffGUIEditor* (*)(EffectVST* effect);

class EffectVST : public AudioEffectX {
  public:
    static constexpr VstInt32 kUniqueId = fourCharCode('Z', 'r', 'b', 'k');
    static constexpr VstInt32 kVendorVersion = 301;

    EffectVST(audioMasterCallback audioMaster, EditorFactory makeEditor);
    ~EffectVST() override;

    void setEngine(CrowdEngine* engine) { engine_ = engine; }
    CrowdEngine* engine() const { return engine_; }

    void suspend() override;
    void resume() override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;

    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    VstInt32 getProgram() override;
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    bool string2parameter(VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    bool getInputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    VstInt32 processEvents(VstEvents* events) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override { return kVendorVersion; }
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    VstInt32 canDo(char* text) override;
    VstInt32 getPlugCategory() override { return kPlugCategEffect; }

    // The editor's "Reset current": the factory values of the current program, then re-applied.
    void resetCurrentProgram();
    // The stored name of a program, all of its up to 27 characters ("" out of range).
    std::string programName(int program);
    // The current program's values and name, as its program chunk holds them.
    Program currentProgramRecord();

  private:
    AEffGUIEditor* guiEditor() const { return static_cast<AEffGUIEditor*>(editor_); }
    void notifyEditor(VstInt32 index, float value);

    void switchProgram(VstInt32 program);
    ProgramBank& scratchBank();

    CrowdEngine* engine_ = nullptr;
    CrowdEngine* ownedEngine_ = nullptr;
    // Program, chunk, name and editor operations from any number of host threads, one at a
    // time; recursive because the editor's actions re-enter them. The audio thread never takes it.
    std::recursive_mutex control_;
    std::unique_ptr<ProgramBank> scratch_;
    // Each saving thread gets its own snapshot, valid until that thread saves again.
    std::map<std::thread::id, std::unique_ptr<ProgramBank>> savedChunks_;
};
