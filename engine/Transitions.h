// How the engine moves between states without a click: the global dip to silence and back, at
// whose bottom the owner resets and re-applies everything; the Active switch's cross-fade with
// the untouched input; and the glides of the wet and dry levels over the pass in which they
// change. Control threads only start fades; everything else runs on the audio thread.
#pragma once

#include <atomic>

#include "engine/VoiceState.h"

class Transitions {
  public:
    static constexpr float kDipStep = kFadeStep;
    static constexpr float kCrossFadeStep = 0.0001f;

    // ---- Any thread ----
    void startDip() { dipStep_.store(-kDipStep, std::memory_order_relaxed); }
    // Towards the effect (true) or towards the untouched input.
    void startCrossFade(bool towardsEffect) {
        crossFadeStep_.store(towardsEffect ? kCrossFadeStep : -kCrossFadeStep, std::memory_order_relaxed);
    }

    // ---- Audio thread ----
    enum class Dip {
        kRunning,     // this frame's fade value is set
        kBottom,      // reached the bottom on the segment's first frame: reset and re-apply now
        kNewSegment,  // reached the bottom on a later frame: end the segment before this frame
    };
    // One frame of the dip. At the bottom the crowd is reset once; changes that keep arriving
    // hold the silence until a fade length has passed since the last reset, so their cost stays
    // that of a steady block.
    Dip stepDip(bool firstOfSegment);
    // Frames in which nothing moved still count towards the hold after a bottom.
    void countSteadyFrames(int frames);
    // The cross-fade and the level glides, one frame.
    void stepFrame();
    // Whether no frame of a run needs a step of its own.
    bool steady() const { return !dipping() && !crossFading() && !gliding_; }
    // A program switch re-applies its stored switch: fade towards it unless already there.
    void settleCrossFade(bool bypassed);

    // Levels set outright, and glides to the values just set from the ones held before.
    void setWet(float gain) { wet_ = Level{gain, 0.0f, gain}; }
    void setDry(float gain) { dry_ = Level{gain, 0.0f, gain}; }
    void glideLevels(float wetBefore, float dryBefore, int frames);
    // A voice's glide makes the whole pass a gliding one.
    void markGliding(bool gliding) { gliding_ |= gliding; }
    bool gliding() const { return gliding_; }
    // The end of a pass lands every level on its value; a bottom drops the glides.
    void finishGlides();
    void cancelGlides();

    float wet() const { return wet_.value; }
    float dry() const { return dry_.value; }
    float dipValue() const { return dipValue_; }
    float dipStep() const { return dipStep_.load(std::memory_order_relaxed); }
    bool dipping() const { return dipStep() != 0.0f; }
    float crossFadeValue() const { return crossFadeValue_; }
    float crossFadeStep() const { return crossFadeStep_.load(std::memory_order_relaxed); }
    bool crossFading() const { return crossFadeStep() != 0.0f; }

  private:
    struct Level {
        float value;
        float step;
        float target;
    };
    static bool glide(Level& level, float from, int frames);

    float dipValue_ = 1.0f;
    std::atomic<float> dipStep_{0.0f};
    float crossFadeValue_ = 1.0f;
    std::atomic<float> crossFadeStep_{0.0f};
    // Frames since the last reset at a bottom.
    int framesSinceBottom_ = kFadeFrames;
    bool gliding_ = false;
    Level wet_{0.0f, 0.0f, 0.0f};
    Level dry_{0.0f, 0.0f, 0.0f};
};
