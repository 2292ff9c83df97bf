// The signal path of one engine: the input copies, the spread chains, the analytic ring, the
// voices, the mix with the dry signal and the reverb. prepare() sizes every stage for a rate and
// block size on the control side; a pass then runs each stage over whole runs of frames, the
// transitions stepping frame by frame where they move.
#pragma once

#include <atomic>
#include <memory>

#include "engine/ChaosRandom.h"
#include "engine/DelayAllpass.h"
#include "engine/GuardedBlock.h"
#include "engine/QuadratureAllpass.h"
#include "engine/Transitions.h"
#include "engine/VoiceLanes.h"
#include "engine/VoiceState.h"
#include "model/ParameterTable.h"
#include "model/Program.h"

class ChamberReverb;

class RenderGraph {
  public:
    // Frames one pass renders at most: the prepared block size within these bounds.
    static constexpr int kInitialCopyCapacity = 2048;
    static constexpr int kMaxCopyCapacity = 1 << 16;
    // The shortest ring, so rates up to 96 kHz keep the ring length they always had.
    static constexpr int kMinRingSize = kRingSize;
    // The wet signal's gain over the level and the voice count's scale.
    static constexpr float kWetLevel = 5.0f;

    // The applied settings the path reads as it renders; its owner changes them at block starts
    // and at a dip's bottom.
    struct Mix {
        int population = 1;
        int selected = 0;
        bool solo = false;
        float shiftAll = 0.0f;
        // Per pass: the wet signal's level for the number of voices heard.
        float levelScale = 1.0f;
    };

    // Told when a dip reaches its bottom on the first frame of a segment: reset and re-apply.
    class Owner {
      public:
        virtual void resetAtBottom() = 0;

      protected:
        ~Owner() = default;
    };

    RenderGraph(const Mix& mix, Transitions& transitions, Owner& owner);
    ~RenderGraph();
    RenderGraph(const RenderGraph&) = delete;
    RenderGraph& operator=(const RenderGraph&) = delete;

    // Control side: sizes the rings, the spread lines and the per-pass buffers for this rate
    // (clamped to what can be honoured) and block size. The spread is rebuilt at the next apply.
    void prepare(float sampleRate, int maxFrames);
    float sampleRate() const { return sampleRate_; }
    int passCapacity() const { return copyCapacity_; }

    // One pass of at most passCapacity() frames: nIn inputs, nOut outputs (1 or 2 each).
    void renderPass(float** inputs, float** outputs, int nIn, int nOut, int frames, float reverbLevel);

    // New voice phases (pending delays taken over); cleared rings, spread lines and analysers.
    void restartVoices();
    void clearSignal();
    // The records of the voices, brought up to date, to change: the render loop reloads them.
    VoiceState* editVoices();
    const VoiceState& voice(int v);
    // Glides of the voices' gain, pan and depth: landed on their targets, or dropped.
    void finishVoiceGlides();
    void cancelVoiceGlides();
    // An unchanged amount keeps the lines ringing through a program change.
    void setSpread(float amount);
    float spread() const { return spread_; }

    void setFrameByFrame(bool on) { frameByFrame_ = on; }
    bool frameByFrame() const { return frameByFrame_; }
    bool clipped() const { return clip_.load(std::memory_order_relaxed) != 0; }
    void clearClip() { clip_.store(0, std::memory_order_relaxed); }
    int writePosition() const { return writePosition_; }
    int ringSize() const { return ringSize_; }
    const DelayAllpass& spreadSection(int channel, int section) const {
        return spreadChains_[channel][section];
    }
    float ringSample(int channel, int part, int index) const {
        return ring_[kRingFrame * index + 2 * channel + part];
    }
    ChamberReverb& reverb() { return *reverb_; }

  private:
    void copyInputs(float** inputs, int inputCount, int frames);
    bool stepDip(bool firstOfSegment);
    void noteFrame(int at);
    int renderFrameByFrame(float** outputs, int nIn, int nOut, int start, int frames);
    void frameByFrameStages(float** outputs, int nIn, int nOut, int l);
    int renderSubBlocks(int nIn, int nOut, float** outputs, int start, int frames);
    void runSubBlock(int nIn, int nOut, float** outputs, int start, int frames, const float* dryGains,
                     const float* levels);
    void feedRing(int nIn, int nOut, int start, int frames);
    void mixRun(int nIn, int nOut, float** outputs, int start, int frames, const float* dryGains,
                const float* levels);
    void finishSegment(int nIn, int nOut, float** outputs, int start, int frames);
    int longestSafeRun(int frames) const;

    const Mix& mix_;
    Transitions& transitions_;
    Owner& owner_;

    float sampleRate_ = param::kReferenceRate;
    VoiceState voices_[kNumPeople];
    QuadratureAllpass analysers_[2];
    std::atomic<int> clip_{0};
    ChaosRandom spreadRandom_;
    DelayAllpass spreadChains_[2][8];
    float spread_ = -1.0f;  // no chain built yet
    std::unique_ptr<ChamberReverb> reverb_;
    int writePosition_ = 0;
    int ringSize_ = 0;
    int ringMask_ = 0;
    // The analytic rings of both channels, interleaved as frames [re 0, im 0, re 1, im 1].
    std::unique_ptr<float[]> ring_;
    // Per frame of a pass: the dip's value and the cross-fade's.
    std::unique_ptr<float[]> dipValues_;
    std::unique_ptr<float[]> crossFadeValues_;
    // Whether any frame of the segment being rendered dips or bypasses.
    bool dipMoved_ = false;
    bool bypassed_ = false;
    bool frameByFrame_ = false;
    VoiceLanes lanes_;
    bool lanesStale_ = true;   // the records changed since lanes_ was loaded
    bool lanesAhead_ = false;  // lanes_ has rendered past the records
    int safeRun_ = 0;          // longestSafeRun() of the lanes as loaded; 0 when unknown
    int safeRunPopulation_ = 0;
    alignas(32) float scratch_[2][VoiceLanes::kMaxFrames];
    alignas(32) float voiceSum_[2][VoiceLanes::kMaxFrames];
    int copyCapacity_ = 0;
    GuardedBlock inputCopies_[2];
};
