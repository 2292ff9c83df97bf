#include "engine/VoiceLanes.h"

#include <immintrin.h>

#include <atomic>
#include <cstring>
#include <type_traits>

namespace {

typedef float Floats __attribute__((vector_size(32)));
typedef int Ints __attribute__((vector_size(32)));

constexpr int kGroup = 8;

}  // namespace

void VoiceLanes::load(const VoiceState* voices, int count) {
    // Padding lanes copy the last record: a constructed VoiceState would draw a random phase.
    for (int v = 0; v < kLanes; ++v) {
        const VoiceState& s = voices[v < count ? v : count - 1];
        delayModSin[v] = s.delayModSin;
        delayModCos[v] = s.delayModCos;
        delayModCoefficient[v] = s.delayModCoefficient;
        delayModDepth[v] = s.delayModDepth;
        delayModDepthStep[v] = s.delayModDepthStep;
        gainStep[v] = s.gainStep;
        panStep0[v] = s.panStep[0];
        panStep1[v] = s.panStep[1];
        pitchModSin[v] = s.pitchModSin;
        pitchModCos[v] = s.pitchModCos;
        pitchModCoefficient[v] = s.pitchModCoefficient;
        pitchModDepth[v] = s.pitchModDepth;
        shiftSin[v] = s.shiftSin;
        shiftCos[v] = s.shiftCos;
        shiftCoefficient[v] = s.shiftCoefficient;
        gain[v] = s.gain;
        panGain0[v] = s.panGain[0];
        panGain1[v] = s.panGain[1];
        fadeValue[v] = s.fadeValue;
        fadeStep[v] = s.fadeStep;
        currentDelay[v] = s.currentDelay;
        pendingDelay[v] = s.pendingDelay;
        delayFraction[v] = s.delayFraction;
        readIndex[v] = s.readIndex;
    }
}

void VoiceLanes::store(VoiceState* voices, int count) const {
    for (int v = 0; v < count && v < kLanes; ++v) {
        VoiceState& s = voices[v];
        s.delayModSin = delayModSin[v];
        s.delayModCos = delayModCos[v];
        s.delayModDepth = delayModDepth[v];
        s.gain = gain[v];
        s.panGain[0] = panGain0[v];
        s.panGain[1] = panGain1[v];
        s.pitchModSin = pitchModSin[v];
        s.pitchModCos = pitchModCos[v];
        s.shiftSin = shiftSin[v];
        s.shiftCos = shiftCos[v];
        s.fadeValue = fadeValue[v];
        s.fadeStep = fadeStep[v];
        s.currentDelay = currentDelay[v];
        s.delayFraction = delayFraction[v];
        s.readIndex = readIndex[v];
    }
}

// Baseline build, and an AVX2 build chosen at run time; both compute the same numbers (no FMA).
#define ZB_KERNEL renderGeneric
#define ZB_AVX2 0
#include "engine/VoiceLanesKernel.inc"
#undef ZB_KERNEL
#undef ZB_AVX2

#pragma GCC push_options
#pragma GCC target("avx2")
#define ZB_KERNEL renderAvx2
#define ZB_AVX2 1
#include "engine/VoiceLanesKernel.inc"
#undef ZB_KERNEL
#undef ZB_AVX2
#pragma GCC pop_options

namespace {
bool detectAvx2() {
    __builtin_cpu_init();  // may run before the run-time library's own initialisation
    return __builtin_cpu_supports("avx2") != 0;
}
const bool kHaveAvx2 = detectAvx2();
std::atomic<bool> useAvx2{kHaveAvx2};
}  // namespace

void setVoiceLanesWide(bool wide) {
    useAvx2 = wide && kHaveAvx2;
}

void renderVoiceLanes(VoiceLanes& lanes, int population, bool solo, int selected, const float* ring,
                      int ringMask, int write, int frames, float shiftAll, int rampFrames) {
    if (useAvx2.load(std::memory_order_relaxed)) {
        renderAvx2(lanes, population, solo, selected, ring, ringMask, write, frames, shiftAll, rampFrames);
    } else {
        renderGeneric(lanes, population, solo, selected, ring, ringMask, write, frames, shiftAll, rampFrames);
    }
}
