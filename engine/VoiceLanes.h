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
    alignas(32) float fadeValue[kLanes];
    alignas(32) float fadeStep[kLanes];
    alignas(32) int currentDelay[kLanes];
    alignas(32) int pendingDelay[kLanes];
    alignas(32) float delayFraction[kLanes];
    alignas(32) int readIndex[kLanes];

    // Each audible voice's contribution per channel and frame, summed afterwards in voice order.
    alignas(32) float contribution[kLanes][2][kMaxFrames];

    void load(const VoiceState* voices, int count);
    void store(VoiceState* voices, int count) const;
};

// Runs `frames` frames (at most kMaxFrames) of every voice below `population`: modulation,
// delay position, and for audible voices the readout from the ring of frames
// [re 0, im 0, re 1, im 1] and the fade. The write position of the first frame is `write`; the
// frames must not cross the ring's end.
void renderVoiceLanes(VoiceLanes& lanes, int population, bool solo, int selected, const float* ring, int write,
                      int frames, float shiftAll);
