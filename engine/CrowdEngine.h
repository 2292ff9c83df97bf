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
    static constexpr int kMaxPopulation = 59;
    static constexpr int kInitialCopyCapacity = 2048;
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

    // Control side: store the value, mark it pending, start the fade the change needs.
    void markParameter(int index, float value);
    void selectProgram(int program);
    // Marks a value as it is stored, without writing it: a concurrent automation of the same
    // value is not overwritten by an older read.
    void markStored(int index);
    // Makes `program` current and hands the audio thread a complete copy of it; the copy is
    // taken at the next block start and applied whole, at the bottom of a fade.
    void stageProgram(int program);
    // The program the audio thread applies (audio side, and tests).
    const Program& appliedProgram() { return handover_.current(); }
    // Program and sample-rate setup; the reverb's part is handed to the audio thread.
    void setupProgram(int program, float sampleRate);
    void resetReverb();
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
    const VoiceState& voice(int v) const { return voices_[v]; }
    const DelayAllpass& spreadSection(int channel, int section) const {
        return spreadChains_[channel][section];
    }
    // Sample `index` (0 .. 32768) of the real (part 0) or quadrature (part 1) ring of a channel.
    float ringSample(int channel, int part, int index) const {
        return ring_[kRingFrame * index + 2 * channel + part];
    }
    ChamberReverb& reverb() { return *reverb_; }

  private:
    int currentProgramIndex() const;
    void adoptStagedProgram();
    bool belongsToApplied(std::uint64_t incoming);
    void mark(int index, float value, bool store);
    void copyInputs(float** inputs, int inputCount, int frames);
    void applyReverbHandover();
    void advanceActiveFade();
    void rebuildSpread(float x);
    void renderFrameByFrame(float** inputs, float** outputs, int nIn, int nOut, int frames, float level);
    void renderSubBlocks(int nIn, int nOut, float** outputs, int frames, float level);
    void runSubBlock(int nIn, int nOut, float** outputs, int start, int frames, float level,
                     const float* fade);
    int longestSafeRun() const;

    ProgramBank bank_;
    std::atomic<int> currentProgram_{0};
    int population_ = 1;
    int selected_ = 0;
    float wetGain_ = 0.0f;
    float dryGain_ = 0.0f;
    int solo_ = 0;
    float spread_ = 0.0f;
    float shiftAll_ = 0.0f;
    VoiceState voices_[kNumPeople];
    QuadratureAllpass analysers_[2];
    std::atomic<int> clip_{0};
    ChaosRandom spreadRandom_;
    DelayAllpass spreadChains_[2][8];
    std::unique_ptr<ChamberReverb> reverb_;
    std::atomic<std::uint8_t> pending_[kNumParams];
    // The newest marked value of each index with the program it was stored into; the audio side
    // applies it only while that program is the one it plays.
    std::atomic<std::uint64_t> incoming_[kNumParams];
    ProgramHandover handover_{bank_.programs[0]};
    std::atomic<std::uint32_t> stageSerial_{0};
    int writePosition_ = 0;
    float globalFadeValue_ = 1.0f;
    std::atomic<float> globalFadeStep_{0.0f};
    float activeFadeValue_ = 1.0f;
    std::atomic<float> activeFadeStep_{0.0f};
    // The analytic rings of both channels, interleaved as frames [re 0, im 0, re 1, im 1].
    std::unique_ptr<float[]> ring_;
    bool frameByFrame_ = false;
    VoiceLanes lanes_;
    alignas(32) float scratch_[2][VoiceLanes::kMaxFrames];
    alignas(32) float voiceSum_[2][VoiceLanes::kMaxFrames];
    bool ready_ = false;
    int copyCapacity_ = 0;
    GuardedBlock inputCopies_[2];

    // Reverb setup and reset requested by the control side, applied at the next block start.
    std::atomic<bool> reverbSetupPending_{false};
    std::atomic<float> reverbSetupRate_{44100.0f};
    std::atomic<bool> reverbResetPending_{false};
};
