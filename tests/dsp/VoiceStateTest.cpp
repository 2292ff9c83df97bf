#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

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

// The shift oscillator turns by the same angle as the two-multiply recursion with the same
// coefficient, and keeps unit amplitude over ten minutes of a swinging shift (without the
// occasional pull back it sinks by 1e-3).
TEST(VoiceState, ShiftOscillatorTurnsExactlyAndKeepsItsAmplitude) {
    VoiceState voice;
    voice.shiftSin = 0.0f;
    voice.shiftCos = 1.0f;
    const float k = 0.05f;
    voice.turnShift(k, false);
    EXPECT_NEAR(std::atan2(voice.shiftSin, voice.shiftCos), -2.0 * std::asin(k / 2.0), 1e-7);
    EXPECT_NEAR(voice.shiftSin * voice.shiftSin + voice.shiftCos * voice.shiftCos, 1.0, 1e-7);

    float low = 1.0f;
    float high = 1.0f;
    for (int n = 0; n < 600 * 44100; ++n) {
        const float swing = 0.04f + 0.03f * std::sin(static_cast<float>(n % 100000) * 6.2831855e-5f);
        voice.turnShift(swing, (n & VoiceState::kRenormalizeMask) == VoiceState::kRenormalizeMask);
        const float r = voice.shiftSin * voice.shiftSin + voice.shiftCos * voice.shiftCos;
        low = std::min(low, r);
        high = std::max(high, r);
    }
    EXPECT_GT(low, 1.0f - 1e-5f);
    EXPECT_LT(high, 1.0f + 1e-5f);
}
