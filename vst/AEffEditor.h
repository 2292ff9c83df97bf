// The editor side of the plug-in interface: what the dispatcher forwards to an editor.
#pragma once

#include "vst/VstInterface.h"

class AudioEffect;

class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect) : effect_(effect) {}
    virtual ~AEffEditor() = default;
    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    // Stores a pointer to the editor's own rectangle; valid before and after open.
    virtual bool getRect(ERect** rect) = 0;
    // parent: HWND on Windows, the X11 window id on Linux.
    virtual bool open(void* parent) {
        systemWindow_ = parent;
        return false;
    }
    virtual void close() { systemWindow_ = nullptr; }
    virtual void idle() {}
    virtual bool onKeyDown(VstKeyCode&) { return false; }
    virtual bool onKeyUp(VstKeyCode&) { return false; }
    virtual bool setKnobMode(VstInt32) { return false; }

    bool isOpen() const { return systemWindow_ != nullptr; }
    AudioEffect* effect() const { return effect_; }
    void* systemWindow() const { return systemWindow_; }

protected:
    AudioEffect* effect_;
    void* systemWindow_ = nullptr;
};

// An editor that shows parameters: the plug-in tells it of every parameter change.
class AEffGUIEditor : public AEffEditor {
public:
    using AEffEditor::AEffEditor;

    virtual void setParameter(VstInt32 index, float value) = 0;
    // Vendor-specific calls of our own host (see vst/ZornbeckExtensions.h); 0 = not understood.
    virtual VstIntPtr vendorSpecific(VstInt32, VstIntPtr, void*, float) { return 0; }
    // While open: the window system connection's descriptor, readable when idle() has events
    // to handle; -1 where there is none.
    virtual int eventDescriptor() const { return -1; }
};
