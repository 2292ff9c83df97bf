// The audio engine of one plug-in instance: the thin owner of the bank, the control side's
// inbox, the transitions and the render graph, which turns applied values into settings of
// the stages.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/ControlInbox.h"
#include "engine/RenderGraph.h"
#include "engine/Transitions.h"
#include "engine/VoiceState.h"
#include "model/Program.h"

class ChamberReverb;

class CrowdEngine final : private RenderGraph::Owner {
  public:
    static constexpr int kMaxPopulation = param::kMaxPopulation;
    static constexpr int kInitialCopyCapacity = RenderGraph::kInitialCopyCapacity;
    static constexpr int kMaxCopyCapacity = RenderGraph::kMaxCopyCapacity;
    static constexpr int kMinRingSize = RenderGraph::kMinRingSize;
    static constexpr float kGlobalFadeStep = Transitions::kDipStep;
    static constexpr float kActiveFadeStep = Transitions::kCrossFadeStep;

    CrowdEngine();
    ~CrowdEngine();
    CrowdEngine(const CrowdEngine&) = delete;
    CrowdEngine& operator=(const CrowdEngine&) = delete;

    // Renders one block; inputs and outputs may be the same buffers.
    void process(float** inputs, float** outputs, int inputCount, int outputCount, int frames);

    // The plain version of the same loop, one frame and one voice at a time, which the fast one
    // is measured against; off by default.
    void setFrameByFrame(bool on) { graph_.setFrameByFrame(on); }

    // Control side, while the host does not process (resume): sizes the rings, the spread lines
    // and the per-pass buffers for this rate and block size, sets every rate-dependent
    // coefficient, and resets voices and reverb. Nothing is allocated while processing.
    void prepare(float sampleRate, int maxFrames);
    float sampleRate() const { return graph_.sampleRate(); }

    // Control side: store the value, mark it pending, start the fade the change needs. A value
    // equal to the stored one changes nothing.
    void markParameter(int index, float value);
    void selectProgram(int program);
    void setupProgram(int program);
    // Makes `program` current and hands the audio thread a complete copy of it; the copy is
    // taken at the next block start and applied whole, at the bottom of a fade.
    void stageProgram(int program);
    // The program the audio thread applies (audio side, and tests).
    const Program& appliedProgram() { return inbox_.applied(); }
    void resetReverb();
    // New voice phases and cleared rings, spread lines and analysers.
    void resetVoices();

    void applyParameter(int index);
    void applyPendingParameters();
    void applyAllParameters();

    ProgramBank& bank() { return bank_; }
    const ProgramBank& bank() const { return bank_; }
    int currentProgram() const { return currentProgram_.load(std::memory_order_relaxed); }
    Program& program() { return bank_.programs[currentProgramIndex()]; }
    const Program& program() const { return bank_.programs[currentProgramIndex()]; }

    // The clip flag is set by the audio thread and read and cleared by the editor.
    bool clipped() const { return graph_.clipped(); }
    void clearClip() { graph_.clearClip(); }

    // Read-only views for tests, the editor and benchmarks.
    int population() const { return mix_.population; }
    int selectedPerson() const { return mix_.selected; }
    float wetGain() const { return transitions_.wet(); }
    float dryGain() const { return transitions_.dry(); }
    bool solo() const { return mix_.solo; }
    float spread() const { return graph_.spread(); }
    float shiftAllCoefficient() const { return mix_.shiftAll; }
    float globalFadeValue() const { return transitions_.dipValue(); }
    float globalFadeStep() const { return transitions_.dipStep(); }
    float activeFadeValue() const { return transitions_.crossFadeValue(); }
    float activeFadeStep() const { return transitions_.crossFadeStep(); }
    bool pending(int index) const { return inbox_.pending(index); }
    int writePosition() const { return graph_.writePosition(); }
    int inputCopyCapacity() const { return graph_.passCapacity(); }
    int ringSize() const { return graph_.ringSize(); }
    // Brings the records up to date first: not while another thread renders.
    const VoiceState& voice(int v) { return graph_.voice(v); }
    bool frameByFrame() const { return graph_.frameByFrame(); }
    const DelayAllpass& spreadSection(int channel, int section) const {
        return graph_.spreadSection(channel, section);
    }
    // Sample `index` (0 .. ringSize()) of the real (part 0) or quadrature (part 1) ring of a channel.
    float ringSample(int channel, int part, int index) const {
        return graph_.ringSample(channel, part, index);
    }
    ChamberReverb& reverb() { return graph_.reverb(); }

  private:
    int currentProgramIndex() const;
    void adoptStagedProgram();
    void setupReverb();
    void processPass(float** inputs, float** outputs, int nIn, int nOut, int frames);
    void applyGliding(int index, int frames);
    void applyVoiceGliding(int index);
    void applyGlobal(int index, float x);
    void applyActive(float x);
    void finishGlides();
    void cancelGlides();
    void resetAtBottom() override;

    ProgramBank bank_;
    std::atomic<int> currentProgram_{0};
    ControlInbox inbox_{bank_.programs[0]};
    Transitions transitions_;
    RenderGraph::Mix mix_;
    RenderGraph graph_{mix_, transitions_, *this};
    bool active_ = false;
    // True while the bottom of a fade re-applies everything: no cross-fades, no cleared rings.
    bool atBottom_ = false;
    bool ready_ = false;
    // A reverb reset requested by the control side, applied at the next block start outside a
    // fade, or at the fade's bottom.
    std::atomic<bool> reverbResetPending_{false};
};
