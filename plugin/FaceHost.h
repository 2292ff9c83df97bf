// Hosts one EffectVST in-process for a plug-in format other than VST 2.4. The face owns one of
// these per instance: it is the plug-in's host, answering its audio-master calls and handing
// automation, gestures and display changes to the face's listener, and it drives the plug-in
// in the order a VST 2.4 host does, so the same calls give the same bits in every format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plugin/EffectVST.h"

class FaceHost {
  public:
    // What the plug-in tells its host. Called on the thread that made the change: the editor's
    // (user-interface) thread for edits, whichever thread switched a program for display changes.
    class Listener {
      public:
        virtual ~Listener() = default;
        // A value the editor set (an automated change), already stored and heard.
        virtual void parameterEdited(int index, float value) = 0;
        virtual void beginEdit(int) {}
        virtual void endEdit(int) {}
        // Names, programs or many values changed at once (a program switch, a chunk).
        virtual void displayChanged() {}
        // The editor asks for a new size in device pixels; true when the host resized it.
        virtual bool resizeEditor(int, int) { return false; }
    };

    static constexpr int kChannels = 2;

    // A new instance as the VST 2.4 module makes one: program 0 at 44100 Hz, opened, not yet
    // running. `listener` may be null; `makeEditor` is the editor's factory (null: no editor).
    FaceHost(Listener* listener, EditorFactory makeEditor);
    // The same, prepared for `sampleRate` and `maxFrames` before it first runs, as a VST 2.4
    // host that knows them when it loads the plug-in: preparing again later is heard.
    FaceHost(Listener* listener, EditorFactory makeEditor, double sampleRate, int maxFrames);
    ~FaceHost();
    FaceHost(const FaceHost&) = delete;
    FaceHost& operator=(const FaceHost&) = delete;

    // Control side, while the face's host does not process: the rate and longest block, then
    // running, as a VST 2.4 host's rate, block size and resume. Each call starts the voices
    // afresh, so a face calls it once per activation, as hosts resume.
    void prepare(double sampleRate, int maxFrames);
    bool prepared() const { return prepared_; }
    double sampleRate() const { return sampleRate_; }
    int maxFrames() const { return maxFrames_; }

    // Audio thread: one or two input channels (a mono input feeds both), two outputs; inputs
    // and outputs may be the same buffers. Silence until prepared.
    void process(const float* const* inputs, int inputCount, float* const* outputs, int frames);

    // Any thread, as the host's parameter calls.
    void setParameter(int index, float value);
    float getParameter(int index) const;
    // Control side; the VST 2.4 display text, or the roomier one for `capacity` >= 16.
    void parameterDisplay(int index, char* text, std::size_t capacity) const;

    // Control side, never the audio thread.
    int program() const;
    void setProgram(int program);
    static constexpr int programCount() { return 24; }
    // The program's name, at most 24 characters.
    void programName(int program, char* text, std::size_t capacity) const;
    void setProgramName(const char* name);
    // The whole bank or the current program, as the VST 2.4 module saves them.
    std::vector<std::uint8_t> chunk(bool preset) const;
    // False, changing nothing, for bytes that are not a chunk.
    bool setChunk(const void* data, std::size_t size, bool preset);
    // How long the output goes on after the input stops: the longest delay and the room.
    double tailSeconds() const;

    // The editor, on the user-interface thread. `parent` is an X11 Window id on Linux and an
    // HWND on Windows.
    bool openEditor(void* parent);
    void idleEditor();
    void closeEditor();
    bool editorOpen() const;
    // The editor's size in device pixels.
    void editorSize(int& width, int& height) const;
    // The host's scale factor for the editor (1 .. 3; NaN is ignored), open or not; an open
    // editor takes its new size at once and asks for it through resizeEditor.
    void setEditorScale(double factor);
    // The X connection's descriptor while open on Linux (readable: call idleEditor), else -1.
    int editorEventDescriptor() const;

    EffectVST& effect() { return *effect_; }
    const EffectVST& effect() const { return *effect_; }
    AEffect* aeffect() const { return aeffect_; }

  private:
    static VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                  void* ptr, float opt);
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt);
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) const;

    Listener* listener_;
    EffectVST* effect_ = nullptr;
    AEffect* aeffect_ = nullptr;
    double sampleRate_ = 44100.0;
    int maxFrames_ = 512;
    bool editorOpen_ = false;
    bool prepared_ = false;
};
