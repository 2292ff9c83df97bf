// The audio engine of one plug-in instance: the render loop with its parameter hand-over,
// fades, voices, spread chains, analytic rings and reverb.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/ChaosRandom.h"
#include "engine/DelayAllpass.h"
#include "engine/GuardedBlock.h"
#include "engine/ProgramHandover.h"
#include "engine/QuadratureAllpass.h"
#include "engine/VoiceLanes.h"
#include "engine/VoiceState.h"
#include "model/Program.h"

class ChamberReverb;

class CrowdEngine {
  public:
    static constexpr int kMaxPopulation = param::kMaxPopulation;
    // Frames one pass renders at most: the prepared block size within these bounds; longer host
    // blocks are rendered in passes of this length.
    static constexpr int kInitialCopyCapacity = 2048;
    static constexpr int kMaxCopyCapacity = 1 << 16;
    // The shortest ring, so rates up to 96 kHz keep the ring length they always had.
    static constexpr int kMinRingSize = kRingSize;
    static constexpr float kGlobalFadeStep = 0.0002f;
    static constexpr float kActiveFadeStep = 0.0001f;

    CrowdEngine();
    ~CrowdEngine();
    CrowdEngine(const CrowdEngine&) = delete;
    CrowdEngine& operator=(const CrowdEngine&) = delete;

    // Renders one block; inputs and outputs may be the same buffers.
    void process(float** inputs, float** outputs, int inputCount, int outputCount, int frames);

    // The plain version of the same loop, one frame and one voice at a time, which the fast one
    // is measured against; off by default.
    void setFrameByFrame(bool on) { frameByFrame_ = on; }

    // Control side, while the host does not process (resume): sizes the rings, the spread lines
    // and the per-pass buffers for this rate and block size, sets every rate-dependent
    // coefficient, and resets voices and reverb. Nothing is allocated while processing.
    void prepare(float sampleRate, int maxFrames);
    float sampleRate() const { return sampleRate_; }

    // Control side: store the value, mark it pending, start the fade the change needs. A value
    // equal to the stored one changes nothing.
    void markParameter(int index, float value);
    void selectProgram(int program);
    void setupProgram(int program);
    // Makes `program` current and hands the audio thread a complete copy of it; the copy is
    // taken at the next block start and applied whole, at the bottom of a fade.
    void stageProgram(int program);
    // The program the audio thread applies (audio side, and tests).
    const Program& appliedProgram() { return handover_.current(); }
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
    bool clipped() const { return clip_.load(std::memory_order_relaxed) != 0; }
    void clearClip() { clip_.store(0, std::memory_order_relaxed); }

    // Read-only views for tests, the editor and benchmarks.
    int population() const { return population_; }
    int selectedPerson() const { return selected_; }
    float wetGain() const { return wetGain_; }
    float dryGain() const { return dryGain_; }
    bool solo() const { return solo_ != 0; }
    float spread() const { return spread_; }
    float shiftAllCoefficient() const { return shiftAll_; }
    float globalFadeValue() const { return globalFadeValue_; }
    float globalFadeStep() const { return globalFadeStep_.load(std::memory_order_relaxed); }
    float activeFadeValue() const { return activeFadeValue_; }
    float activeFadeStep() const { return activeFadeStep_.load(std::memory_order_relaxed); }
    bool pending(int index) const { return pending_[index].load(std::memory_order_relaxed) != 0; }
    int writePosition() const { return writePosition_; }
    int inputCopyCapacity() const { return copyCapacity_; }
    int ringSize() const { return ringSize_; }
    // Brings the records up to date first: not while another thread renders.
    const VoiceState& voice(int v);
    bool frameByFrame() const { return frameByFrame_; }
    const DelayAllpass& spreadSection(int channel, int section) const {
        return spreadChains_[channel][section];
    }
    // Sample `index` (0 .. ringSize()) of the real (part 0) or quadrature (part 1) ring of a channel.
    float ringSample(int channel, int part, int index) const {
        return ring_[kRingFrame * index + 2 * channel + part];
    }
    ChamberReverb& reverb() { return *reverb_; }

  private:
    static constexpr int kFadeFrames = 5000;

    int currentProgramIndex() const;
    void adoptStagedProgram();
    bool takePending(int index);
    void foldPendingIntoApplied();
    void allocateFor(float sampleRate, int maxFrames);
    void setupReverb();
    void restartVoices();
    void clearSignalState();
    void copyInputs(float** inputs, float** outputs, int inputCount, int frames);
    void processPass(float** inputs, float** outputs, int nIn, int nOut, int frames);
    void applyGliding(int index, int frames);
    void finishGlides();
    void cancelGlides();
    bool reachBottom(bool first);
    void stepGlobals();
    void advanceActiveFade();
    void rebuildSpread(float x);
    int renderFrameByFrame(float** outputs, int nIn, int nOut, int start, int frames);
    int renderSubBlocks(int nIn, int nOut, float** outputs, int start, int frames);
    void runSubBlock(int nIn, int nOut, float** outputs, int start, int frames, const float* fade,
                     const float* dryGains, const float* levels);
    void finishSegment(int nIn, int nOut, float** outputs, int start, int frames);
    int longestSafeRun(int frames) const;
    VoiceState* editVoices();

    ProgramBank bank_;
    std::atomic<int> currentProgram_{0};
    int population_ = 1;
    int selected_ = 0;
    float wetGain_ = 0.0f;
    float dryGain_ = 0.0f;
    int solo_ = 0;
    bool active_ = false;
    float spread_ = -1.0f;  // no chain built yet
    float shiftAll_ = 0.0f;
    VoiceState voices_[kNumPeople];
    QuadratureAllpass analysers_[2];
    std::atomic<int> clip_{0};
    ChaosRandom spreadRandom_;
    DelayAllpass spreadChains_[2][8];
    std::unique_ptr<ChamberReverb> reverb_;
    std::atomic<std::uint8_t> pending_[kNumParams];
    // The newest marked value of each index with the program it was stored into and the staging
    // it followed; the audio side applies it only while that program is the one it plays.
    std::atomic<std::uint64_t> incoming_[kNumParams];
    ProgramHandover handover_{bank_.programs[0]};
    std::atomic<std::uint32_t> stageSerial_{0};
    std::atomic<bool> anyPending_{false};  // set after any mark
    int writePosition_ = 0;
    float globalFadeValue_ = 1.0f;
    std::atomic<float> globalFadeStep_{0.0f};
    float activeFadeValue_ = 1.0f;
    std::atomic<float> activeFadeStep_{0.0f};
    // Frames since the last reset at a fade bottom: a storm of changes resets at most once per
    // fade length and holds the silence in between.
    int framesSinceBottom_ = kFadeFrames;
    // True while the bottom of a fade re-applies everything: no cross-fades, no cleared rings.
    bool atBottom_ = false;
    // Whether any frame of the segment being rendered fades or bypasses.
    bool fadeMoved_ = false;
    bool bypassed_ = false;

    // Wet and dry glide over the pass in which they change, like the voices' gain and pan.
    bool gliding_ = false;
    float wetStep_ = 0.0f;
    float dryStep_ = 0.0f;
    float wetTarget_ = 0.0f;
    float dryTarget_ = 0.0f;
    float levelScale_ = 1.0f;

    float sampleRate_ = 44100.0f;
    int ringSize_ = 0;
    int ringMask_ = 0;
    // The analytic rings of both channels, interleaved as frames [re 0, im 0, re 1, im 1].
    std::unique_ptr<float[]> ring_;
    // Per frame of a pass: the global fade, the active fade.
    std::unique_ptr<float[]> globalFades_;
    std::unique_ptr<float[]> activeFades_;
    bool frameByFrame_ = false;
    VoiceLanes lanes_;
    bool lanesStale_ = true;   // the records changed since lanes_ was loaded
    bool lanesAhead_ = false;  // lanes_ has rendered past the records
    alignas(32) float scratch_[2][VoiceLanes::kMaxFrames];
    alignas(32) float voiceSum_[2][VoiceLanes::kMaxFrames];
    bool ready_ = false;
    int copyCapacity_ = 0;
    GuardedBlock inputCopies_[2];

    // A reverb reset requested by the control side, applied at the next block start outside a
    // fade, or at the fade's bottom.
    std::atomic<bool> reverbResetPending_{false};
};
