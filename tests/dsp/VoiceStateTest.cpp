#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/VoiceState.h"

namespace {

Individual person(float pitch, float delay, float pan, float gain) {
    Individual p{};
    p.parPitchShift = pitch;
    p.parDelayTime = delay;
    p.parPan = pan;
    p.parGain = gain;
    return p;
}

}  // namespace

TEST(VoiceState, PanLawAndGain) {
    VoiceState voice;
    voice.applyParameter(slotPan, person(0.5f, 0.0f, 0.5f, 0.0f), 44100.0f);
    EXPECT_EQ(voice.panGain[0], 0.6875f);
    EXPECT_EQ(voice.panGain[1], 0.6875f);
    voice.applyParameter(slotPan, person(0.5f, 0.0f, 0.0f, 0.0f), 44100.0f);
    EXPECT_EQ(voice.panGain[0], 1.0f);
    EXPECT_EQ(voice.panGain[1], 0.0f);
    voice.applyParameter(slotPan, person(0.5f, 0.0f, 1.0f, 0.0f), 44100.0f);
    EXPECT_EQ(voice.panGain[0], 0.0f);
    EXPECT_EQ(voice.panGain[1], 1.0f);
    voice.applyParameter(slotGain, person(0.5f, 0.0f, 0.5f, 0.0f), 44100.0f);
    EXPECT_FLOAT_EQ(voice.gain, 0.1f);
    voice.applyParameter(slotGain, person(0.5f, 0.0f, 0.5f, 1.0f), 44100.0f);
    EXPECT_FLOAT_EQ(voice.gain, 0.5f);
}

TEST(VoiceState, PendingDelayFollowsTheRate) {
    VoiceState voice;
    voice.applyParameter(slotDelayTime, person(0.5f, 1.0f, 0.5f, 0.0f), 44100.0f);
    EXPECT_EQ(voice.pendingDelay, 14700);
    EXPECT_EQ(voice.fadeStep, -0.0002f);
    voice.applyParameter(slotDelayTime, person(0.5f, 1.0f, 0.5f, 0.0f), 48000.0f);
    EXPECT_EQ(voice.pendingDelay, 16000);
}

TEST(VoiceState, DelayChangeFadesOutMovesAndFadesIn) {
    VoiceState voice;
    voice.currentDelay = 100;
    voice.applyParameter(slotDelayTime, person(0.5f, 0.5f, 0.5f, 0.0f), 44100.0f);
    int frames = 0;
    while (voice.currentDelay == 100 && frames < 20000) {
        voice.stepFade();
        ++frames;
    }
    EXPECT_NEAR(frames, 5000, 2);
    EXPECT_EQ(voice.currentDelay, 7350);
    EXPECT_LT(voice.fadeValue, 0.0f);
    while (voice.fadeStep != 0.0f && frames < 20000) {
        voice.stepFade();
        ++frames;
    }
    EXPECT_NEAR(frames, 10000, 4);
    EXPECT_EQ(voice.fadeValue, 1.0f);
}

TEST(VoiceState, DelayPositionClampsAtOneSample) {
    VoiceState voice;
    voice.currentDelay = 0;
    voice.delayModDepth = 0.0f;
    voice.stepModulation(10);
    EXPECT_EQ(voice.readIndex, 9);
    EXPECT_EQ(voice.delayFraction, 0.0f);
    // A deep swing around a short delay never reads ahead of the write position.
    voice.delayModDepth = 550.0f;
    voice.delayModCoefficient = 0.01f;
    voice.currentDelay = 3;
    for (int i = 0; i < 2000; ++i) {
        voice.stepModulation(5);
        const int behind = (5 - voice.readIndex) & kRingMask;
        ASSERT_GE(behind, 1);
        ASSERT_LE(behind, 3 + 551);
    }
}

// The shift oscillator's sine and its quadrature partner trace a circle (scaled by cos of half
// the step's angle): a true quadrature pair, where the plain cosine traces an ellipse. Over ten
// minutes of a swinging shift the amplitude stays put.
TEST(VoiceState, ShiftOscillatorIsAQuadraturePairThatKeepsItsAmplitude) {
    Individual p = person(1.0f, 0.0f, 0.0f, 1.0f);
    VoiceState voice;
    voice.shiftSin = 0.0f;
    voice.shiftCos = 1.0f;
    voice.applyParameter(slotPitchShift, p, 44100.0f);
    // A whole silent ring: the swinging delay below reads anywhere in it.
    const std::vector<float> ring(static_cast<std::size_t>(kRingStorage) * kRingFrame, 0.0f);
    const float k = voice.shiftCoefficient + 0.1f;  // with a shift of all, about 390 Hz
    const float half = std::sqrt(1.0f - 0.25f * k * k);
    double pairLow = 2.0, pairHigh = 0.0, plainLow = 2.0, plainHigh = 0.0;
    for (int n = 0; n < 2000; ++n) {
        float out[2] = {0.0f, 0.0f};
        const float before = voice.shiftCos;
        voice.readout(ring.data(), 0.1f, out, 2);
        const double q = voice.shiftQuadrature(before) / half;
        const double pair = double(voice.shiftSin) * voice.shiftSin + q * q;
        const double plain =
            double(voice.shiftSin) * voice.shiftSin + double(voice.shiftCos) * voice.shiftCos;
        pairLow = std::min(pairLow, pair);
        pairHigh = std::max(pairHigh, pair);
        plainLow = std::min(plainLow, plain);
        plainHigh = std::max(plainHigh, plain);
    }
    EXPECT_LT(pairHigh - pairLow, 1e-5);
    EXPECT_GT(plainHigh - plainLow, 0.05);  // the ellipse the plain pair would leave an image from

    // Ten minutes with the shift swinging by pitch modulation.
    voice.pitchModDepth = 0.01f;
    voice.pitchModCoefficient = 0.0005f;
    voice.pitchModSin = 0.0f;
    voice.pitchModCos = 1.0f;
    double low = 2.0, high = 0.0;
    for (int n = 0; n < 600 * 44100; ++n) {
        voice.stepModulation(n & kRingMask);
        float out[2] = {0.0f, 0.0f};
        const float before = voice.shiftCos;
        voice.readout(ring.data(), 0.1f, out, 2);
        if (n % 4096 == 0) {
            const float kn = voice.pitchModDepth * voice.pitchModSin + voice.shiftCoefficient + 0.1f;
            const double q = voice.shiftQuadrature(before) / std::sqrt(1.0f - 0.25f * kn * kn);
            const double r = double(voice.shiftSin) * voice.shiftSin + q * q;
            low = std::min(low, r);
            high = std::max(high, r);
        }
    }
    std::printf("quadrature pair amplitude squared over ten minutes: %.6f .. %.6f\n", low, high);
    EXPECT_GT(low, 0.99);
    EXPECT_LT(high, 1.01);
}
