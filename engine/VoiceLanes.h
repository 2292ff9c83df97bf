// The voices laid out across lanes (one array per field) so one instruction steps eight voices:
// the render loop's working copy of the VoiceState records while it renders a block.
#pragma once

#include "engine/VoiceState.h"

// Every field of a voice the render loop keeps in lanes, once: its type, its name in the lanes,
// its place in the VoiceState record, and whether the kernel changes it. The lanes, their load and store and the kernel's
// working copy are all made from this list; a record field that is neither here nor a glide's
// target fails to compile (VoiceLanes.cpp).
#define ZB_VOICE_LANES(X)                                   \
    X(float, delayModSin, delayModSin, true)                \
    X(float, delayModCos, delayModCos, true)                \
    X(float, delayModCoefficient, delayModCoefficient, false) \
    X(float, delayModDepth, delayModDepth, true)            \
    X(float, pitchModSin, pitchModSin, true)                \
    X(float, pitchModCos, pitchModCos, true)                \
    X(float, pitchModCoefficient, pitchModCoefficient, false) \
    X(float, pitchModDepth, pitchModDepth, false)           \
    X(float, shiftSin, shiftSin, true)                      \
    X(float, shiftCos, shiftCos, true)                      \
    X(float, shiftCoefficient, shiftCoefficient, false)     \
    X(float, gain, gain, true)                              \
    X(float, panGain0, panGain[0], true)                    \
    X(float, panGain1, panGain[1], true)                    \
    /* Per-frame increments while a changed value glides to its new setting. */ \
    X(float, delayModDepthStep, delayModDepthStep, false)   \
    X(float, gainStep, gainStep, false)                     \
    X(float, panStep0, panStep[0], false)                   \
    X(float, panStep1, panStep[1], false)                   \
    X(float, fadeValue, fadeValue, true)                    \
    X(float, fadeStep, fadeStep, true)                      \
    X(int, currentDelay, currentDelay, true)                \
    X(int, pendingDelay, pendingDelay, false)               \
    X(float, delayFraction, delayFraction, true)            \
    X(int, readIndex, readIndex, true)

struct VoiceLanes {
    static constexpr int kLanes = 64;  // 60 records, padded to whole groups of eight
    static constexpr int kMaxFrames = 64;

#define ZB_LANE_ARRAY(type, lane, record, moves) alignas(64) type lane[kLanes];
    ZB_VOICE_LANES(ZB_LANE_ARRAY)
#undef ZB_LANE_ARRAY

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
