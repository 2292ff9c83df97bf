// The plug-in's editor. Its construction creates the audio engine and hands it to the plug-in;
// its destruction destroys the engine.
#pragma once

#include "vst/AEffEditor.h"

class CrowdEngine;
class EffectVST;

class EffectEditor : public AEffGUIEditor {
public:
    static constexpr int kWidth = 620;
    static constexpr int kHeight = 432;

    static AEffGUIEditor* create(EffectVST* effect);

    explicit EffectEditor(EffectVST* effect);
    ~EffectEditor() override;

    bool getRect(ERect** rect) override;
    bool open(void* parent) override;
    void close() override;
    void setParameter(VstInt32 index, float value) override;

    CrowdEngine* engine() const { return engine_; }

private:
    EffectVST* plugin_;
    CrowdEngine* engine_;
    ERect rect_{0, 0, kHeight, kWidth};
};
