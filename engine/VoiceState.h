// One individual of the crowd: its delay with a slow swing, its frequency shift with a slow
// swing, its pan and gain, and the fade that hides a change of delay time.
#pragma once

#include "model/Program.h"

constexpr int kRingSize = 32768;
constexpr int kRingMask = kRingSize - 1;
constexpr int kRingStorage = kRingSize + 2;  // index 32768 repeats index 0 so reads never wrap
constexpr int kRingFrame = 4;                // re 0, im 0, re 1, im 1
// Fades to silence and back take this many frames each way, by this much a frame: a voice whose
// delay time changes, and the whole crowd's dip.
constexpr int kFadeFrames = 5000;
constexpr float kFadeStep = 0.0002f;
constexpr float kVoiceFadeStep = kFadeStep;

struct VoiceState {
    int currentDelay = 0;
    int pendingDelay = 0;
    float delayFraction = 0.0f;
    int readIndex = 0;
    float gain = 0.0f;
    float panGain[2] = {0.0f, 0.0f};
    float shiftSin = 0.0f;
    float shiftCos = 0.0f;
    float shiftCoefficient = 0.0f;
    float pitchModSin = 0.0f;
    float pitchModCos = 0.0f;
    float pitchModCoefficient = 0.0f;
    float delayModSin = 0.0f;
    float delayModCos = 0.0f;
    float delayModCoefficient = 0.0f;
    float pitchModDepth = 0.0f;
    float delayModDepth = 0.0f;
    float fadeValue = 1.0f;
    float fadeStep = 0.0f;
    // A changed depth, gain or pan glides to its target over one block, a step per frame.
    float delayModDepthStep = 0.0f;
    float gainStep = 0.0f;
    float panStep[2] = {0.0f, 0.0f};
    float delayModDepthTarget = 0.0f;
    float gainTarget = 0.0f;
    float panTarget[2] = {0.0f, 0.0f};

    // Construction: a random phase for the shift oscillator, the fade at full.
    VoiceState();

    // Converts slot 0..7 of the person's values; other slots have no effect.
    void applyParameter(int slot, const Individual& person, float sampleRate);

    // New random phases for all three oscillators; a pending delay is taken over.
    void reset();

    // Holds gain, pan and depth at the values given and lets each step to the one just applied
    // over `frames`; true if any of them moves.
    bool glideFrom(float gainBefore, float pan0Before, float pan1Before, float depthBefore, int frames);

    void stepRamp() {
        delayModDepth = delayModDepth + delayModDepthStep;
        gain = gain + gainStep;
        panGain[0] = panGain[0] + panStep[0];
        panGain[1] = panGain[1] + panStep[1];
    }

    // The delay-modulation then the pitch-modulation oscillator, then this frame's read position.
    void stepModulation(int writePosition, int ringMask = kRingMask) {
        stepOscillator(delayModSin, delayModCos, delayModCoefficient);
        stepOscillator(pitchModSin, pitchModCos, pitchModCoefficient);
        float u = delayModDepth * delayModSin + static_cast<float>(currentDelay);
        if (!(u >= 1.0f)) {
            u = 1.0f;
        }
        const int whole = wholeSamples(u);
        delayFraction = u - static_cast<float>(whole);
        readIndex = (writePosition - whole) & ringMask;
    }

    // Adds the shifted, delayed, panned voice to out[0 .. channels-1], reading the ring of
    // frames [re 0, im 0, re 1, im 1]: the real and quadrature parts of each output channel.
    void readout(const float* ring, float shiftAll, float* out, int channels) {
        const float k = pitchModDepth * pitchModSin + shiftCoefficient + shiftAll;
        const float cosBefore = shiftCos;
        stepOscillator(shiftSin, shiftCos, k);
        const float quadrature = shiftQuadrature(cosBefore);
        const float g = gain * fadeValue;
        const float* at = ring + kRingFrame * readIndex;
        const float f = delayFraction;
        for (int ch = 0; ch < channels; ++ch) {
            const float z0 = shiftSin * at[2 * ch] + quadrature * at[2 * ch + 1];
            const float z1 = shiftSin * at[kRingFrame + 2 * ch] + quadrature * at[kRingFrame + 2 * ch + 1];
            const float y = (z0 - z1) * f + z1;
            out[ch] += y * panGain[ch] * g;
        }
    }

    void stepFade() {
        if (fadeStep == 0.0f) {
            return;
        }
        fadeValue += fadeStep;
        if (fadeValue >= 0.0f) {
            if (fadeValue > 1.0f) {
                fadeValue = 1.0f;
                fadeStep = 0.0f;
            }
        } else {
            currentDelay = pendingDelay;
            fadeStep = kVoiceFadeStep;
        }
    }

    static float panLaw(float t);

    // The two-multiply recursion's cosine runs half a step ahead of its sine (a quarter period
    // less half the step's angle). The midpoint of the cosine before and after the step is the
    // sine's exact quadrature partner, at cos(angle / 2) of its amplitude.
    float shiftQuadrature(float cosBefore) const { return 0.5f * (cosBefore + shiftCos); }

  private:
    static void stepOscillator(float& s, float& c, float k) {
        s = s - k * c;
        c = c + k * s;
    }

    // Whole samples of a delay; saturates so a non-finite value cannot make a wild index.
    static int wholeSamples(float u) {
        constexpr float kLimit = 1 << 24;
        return u < kLimit ? static_cast<int>(u) : static_cast<int>(kLimit);
    }
};
