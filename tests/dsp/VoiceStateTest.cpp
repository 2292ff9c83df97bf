#include <gtest/gtest.h>

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
