// The voices laid out across lanes (one array per field) so one instruction steps eight voices:
// the render loop's working copy of the VoiceState records while it renders a block.
#pragma once

#include "engine/VoiceState.h"

struct VoiceLanes {
    static constexpr int kLanes = 64;  // 60 records, padded to whole groups of eight
    static constexpr int kMaxFrames = 64;

    alignas(32) float delayModSin[kLanes];
    alignas(32) float delayModCos[kLanes];
    alignas(32) float delayModCoefficient[kLanes];
    alignas(32) float delayModDepth[kLanes];
    alignas(32) float pitchModSin[kLanes];
    alignas(32) float pitchModCos[kLanes];
    alignas(32) float pitchModCoefficient[kLanes];
    alignas(32) float pitchModDepth[kLanes];
    alignas(32) float shiftSin[kLanes];
    alignas(32) float shiftCos[kLanes];
    alignas(32) float shiftCoefficient[kLanes];
    alignas(32) float gain[kLanes];
    alignas(32) float panGain0[kLanes];
    alignas(32) float panGain1[kLanes];
    // Per-frame increments while a changed value glides to its new setting.
    alignas(32) float delayModDepthStep[kLanes];
    alignas(32) float gainStep[kLanes];
    alignas(32) float panStep0[kLanes];
    alignas(32) float panStep1[kLanes];
    alignas(32) float fadeValue[kLanes];
    alignas(32) float fadeStep[kLanes];
    alignas(32) int currentDelay[kLanes];
    alignas(32) int pendingDelay[kLanes];
    alignas(32) float delayFraction[kLanes];
    alignas(32) int readIndex[kLanes];

    // Per channel and frame, eight partial sums of the audible voices: lane i holds voices
    // i, i + 8, i + 16, ... The voice sum is their total (sum()).
    alignas(32) float laneSum[2][kMaxFrames][8];

    float sum(int channel, int frame) const {
        const float* s = laneSum[channel][frame];
        return ((s[0] + s[4]) + (s[2] + s[6])) + ((s[1] + s[5]) + (s[3] + s[7]));
    }

    void load(const VoiceState* voices, int count);
    void store(VoiceState* voices, int count) const;
};

// Runs `frames` frames (at most kMaxFrames) of every voice below `population`: modulation,
// delay position, and for audible voices the readout from the ring of frames
// [re 0, im 0, re 1, im 1] and the fade. The write position of the first frame is `write`; the
// frames must not cross the ring's end; `ringMask` is the ring's size minus one (a power of two).
// During the first `rampFrames` frames the delay-modulation depth, gain and pan gains first
// advance by their steps.
void renderVoiceLanes(VoiceLanes& lanes, int population, bool solo, int selected, const float* ring,
                      int ringMask, int write, int frames, float shiftAll, int rampFrames);

// Tests and benchmarks: false forces the baseline code; true returns to the build measured
// fastest on this processor when the module loaded.
void setVoiceLanesWide(bool wide);

// Tests and benchmarks: one particular build of the kernel; false if the processor lacks it.
enum class VoiceCode { baseline, avx2, avx512 };
bool setVoiceLanesCode(VoiceCode code);
// The build that timed fastest on a scratch crowd when the module loaded, and so runs unless a
// test or benchmark chose another.
VoiceCode measuredVoiceCode();
