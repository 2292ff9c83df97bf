// The voice kernel against the voices' own frame steps: every lane sum and every state bit equal,
// on every build of the kernel the processor can run, through glides, fades, solo and partial
// groups.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "engine/VoiceLanes.h"
#include "engine/VoiceState.h"

namespace {

constexpr int kFrames = VoiceLanes::kMaxFrames;

struct Crowd {
    std::vector<VoiceState> voices;
    std::vector<float> ring;
};

// Voices with varied settings, some gliding, some fading towards a new delay.
Crowd makeCrowd(unsigned seed) {
    Crowd crowd;
    crowd.voices.resize(kNumPeople);
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int v = 0; v < kNumPeople; ++v) {
        Individual person{};
        person.parPitchShift = unit(random);
        person.parPitchModGain = unit(random);
        person.parPitchModSpeed = unit(random);
        person.parDelayTime = unit(random);
        person.parDelayModGain = unit(random);
        person.parDelayModSpeed = unit(random);
        person.parPan = unit(random);
        person.parGain = unit(random);
        VoiceState& voice = crowd.voices[v];
        for (int slot = 0; slot < 8; ++slot) {
            voice.applyParameter(slot, person, 44100.0f);
        }
        voice.reset();
        if (v % 3 == 0) {
            voice.gainStep = 0.001f * unit(random);
            voice.panStep[0] = -0.002f * unit(random);
            voice.panStep[1] = 0.002f * unit(random);
            voice.delayModDepthStep = 0.05f * unit(random);
        }
        if (v % 4 == 1) {
            // Near the bottom, so the delay moves within the run and the fade rises again.
            voice.fadeValue = 0.003f;
            voice.fadeStep = -0.0002f;
            voice.pendingDelay = voice.currentDelay / 2 + 7;
        }
    }
    crowd.ring.resize(static_cast<std::size_t>(kRingStorage) * kRingFrame);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    for (float& x : crowd.ring) {
        x = sample(random);
    }
    return crowd;
}

// The reference: each voice steps through its own frames, its output added to lane v % 8.
void reference(std::vector<VoiceState>& voices, const float* ring, int population, bool solo, int selected,
               int write, int frames, float shiftAll, int rampFrames, float (&sums)[2][kFrames][8]) {
    for (auto& channel : sums) {
        for (auto& frame : channel) {
            for (float& lane : frame) {
                lane = 0.0f;
            }
        }
    }
    for (int v = 0; v < population; ++v) {
        const bool audible = !solo || v == selected;
        for (int j = 0; j < frames; ++j) {
            if (j < rampFrames) {
                voices[v].stepRamp();
            }
            voices[v].stepModulation(write + j);
            if (audible) {
                float out[2] = {0.0f, 0.0f};
                voices[v].readout(ring, shiftAll, out, 2);
                voices[v].stepFade();
                sums[0][j][v % 8] += out[0];
                sums[1][j][v % 8] += out[1];
            }
        }
    }
}

void expectSameRun(VoiceCode code, int population, bool solo, int selected, int write, int frames,
                   int rampFrames) {
    SCOPED_TRACE(testing::Message() << "code " << static_cast<int>(code) << " population " << population
                                    << " solo " << solo << " frames " << frames << " ramp " << rampFrames);
    Crowd crowd = makeCrowd(static_cast<unsigned>(population * 131 + frames));
    std::vector<VoiceState> plain = crowd.voices;
    auto lanes = std::make_unique<VoiceLanes>();
    lanes->load(crowd.voices.data(), kNumPeople);
    ASSERT_TRUE(setVoiceLanesCode(code));
    renderVoiceLanes(*lanes, population, solo, selected, crowd.ring.data(), kRingMask, write, frames, 0.01f,
                     rampFrames);
    setVoiceLanesWide(true);
    lanes->store(crowd.voices.data(), kNumPeople);

    static float sums[2][kFrames][8];
    reference(plain, crowd.ring.data(), population, solo, selected, write, frames, 0.01f, rampFrames, sums);
    for (int c = 0; c < 2; ++c) {
        for (int j = 0; j < frames; ++j) {
            for (int i = 0; i < 8; ++i) {
                ASSERT_EQ(lanes->laneSum[c][j][i], sums[c][j][i])
                    << "channel " << c << " frame " << j << " lane " << i;
            }
        }
    }
    for (int v = 0; v < population; ++v) {
        const VoiceState& x = crowd.voices[v];
        const VoiceState& y = plain[v];
        ASSERT_EQ(x.shiftSin, y.shiftSin) << v;
        ASSERT_EQ(x.shiftCos, y.shiftCos) << v;
        ASSERT_EQ(x.delayModSin, y.delayModSin) << v;
        ASSERT_EQ(x.pitchModCos, y.pitchModCos) << v;
        ASSERT_EQ(x.gain, y.gain) << v;
        ASSERT_EQ(x.panGain[0], y.panGain[0]) << v;
        ASSERT_EQ(x.panGain[1], y.panGain[1]) << v;
        ASSERT_EQ(x.delayModDepth, y.delayModDepth) << v;
        ASSERT_EQ(x.fadeValue, y.fadeValue) << v;
        ASSERT_EQ(x.fadeStep, y.fadeStep) << v;
        ASSERT_EQ(x.currentDelay, y.currentDelay) << v;
        ASSERT_EQ(x.readIndex, y.readIndex) << v;
        ASSERT_EQ(x.delayFraction, y.delayFraction) << v;
    }
}

TEST(VoiceLanes, KernelMatchesTheVoicesFrameSteps) {
    int codes = 0;
    for (VoiceCode code : {VoiceCode::baseline, VoiceCode::avx2, VoiceCode::avx512}) {
        if (!setVoiceLanesCode(code)) {
            continue;  // not on this processor
        }
        ++codes;
        expectSameRun(code, 59, false, 0, 5000, kFrames, 0);
        expectSameRun(code, 59, false, 0, 5000, kFrames, 23);
        expectSameRun(code, 17, false, 0, 40, 37, 37);  // a partial last group
        expectSameRun(code, 8, false, 0, 9000, 1, 1);
        expectSameRun(code, 43, true, 20, 12000, kFrames, 10);               // solo: the others stand still
        expectSameRun(code, 60, false, 0, kRingSize - kFrames, kFrames, 0);  // up to the ring's end
    }
    setVoiceLanesWide(true);
    EXPECT_GE(codes, 1);
}

}  // namespace
