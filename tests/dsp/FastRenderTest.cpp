// The run-based render loop against the frame-by-frame one, in the same process and state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "engine/CrowdEngine.h"
#include "engine/VoiceLanes.h"

namespace {

void worstCase(CrowdEngine& engine, float spread) {
    engine.markParameter(parPopulationIndex, 1.0f);
    engine.markParameter(parGlobalWetIndex, 0.5f);
    engine.markParameter(parGlobalDryIndex, 0.3f);
    engine.markParameter(parAllpassSpreadIndex, spread);
    engine.markParameter(parPitchAllIndex, 0.55f);
    engine.markParameter(parReverbWetIndex, 0.6f);
    engine.markParameter(parReverbSizeIndex, 0.7f);
    engine.markParameter(parReverbHighCutIndex, 0.8f);
    engine.markParameter(parReverbLowCutIndex, 0.1f);
    for (int p = 0; p < 59; ++p) {
        engine.markParameter(personIndex(p, slotPitchShift), 0.05f + 0.015f * p);
        engine.markParameter(personIndex(p, slotPitchModGain), 0.4f);
        engine.markParameter(personIndex(p, slotPitchModSpeed), 0.3f + 0.005f * p);
        engine.markParameter(personIndex(p, slotDelayTime), 0.016f * p);
        engine.markParameter(personIndex(p, slotDelayModGain), 0.6f);
        engine.markParameter(personIndex(p, slotDelayModSpeed), 0.2f + 0.01f * p);
        engine.markParameter(personIndex(p, slotPan), p / 58.0f);
        engine.markParameter(personIndex(p, slotGain), 0.5f);
    }
}

// One engine through a fixed story; run on a fresh thread so the voices' phase draws start
// from the same point for both versions.
struct Story {
    std::vector<float> output;
    std::vector<VoiceState> voices;
};

Story tell(bool frameByFrame, float rate = 44100.0f) {
    Story story;
    std::thread([&] {
        auto engine = std::make_unique<CrowdEngine>();
        engine->setFrameByFrame(frameByFrame);
        engine->prepare(rate, 512);
        worstCase(*engine, 1.0f);
        std::mt19937 noise(11);
        std::uniform_real_distribution<float> dist(-0.4f, 0.4f);
        const int sizes[] = {512, 37, 1, 64, 700, 129};
        auto render = [&](int frames, int inputs, int outputs) {
            std::vector<float> io[2];
            for (int c = 0; c < 2; ++c) {
                io[c].resize(frames);
                for (float& x : io[c]) {
                    x = dist(noise);
                }
            }
            float* p[2] = {io[0].data(), io[1].data()};
            engine->process(p, p, inputs, outputs, frames);
            for (int c = 0; c < outputs; ++c) {
                story.output.insert(story.output.end(), io[c].begin(), io[c].end());
            }
        };
        auto snapshot = [&] {
            for (int v = 0; v < kNumPeople; ++v) {
                story.voices.push_back(engine->voice(v));
            }
        };
        for (int round = 0; round < 24; ++round) {
            render(sizes[round % 6], 2, 2);
        }
        snapshot();
        // A delay change fades voices mid-block; mono input on some blocks.
        engine->markParameter(personIndex(3, slotDelayTime), 0.9f);
        engine->markParameter(personIndex(40, slotDelayTime), 0.05f);
        for (int round = 0; round < 30; ++round) {
            render(sizes[round % 6], round % 7 == 3 ? 1 : 2, 2);
        }
        snapshot();
        // Solo (through a global fade and its bottom) and mono output on some blocks.
        engine->markParameter(parSoloIndex, 1.0f);
        engine->markParameter(parPersonSelectedIndex, 17.0f / 60.0f);
        for (int round = 0; round < 30; ++round) {
            render(sizes[round % 6], 2, round % 5 == 2 ? 1 : 2);
        }
        snapshot();
        // Glides of wet, dry, gains, pans and swing depths, and a bypass fading frame by frame.
        engine->markParameter(parGlobalWetIndex, 0.2f);
        engine->markParameter(parGlobalDryIndex, 0.6f);
        for (int p = 0; p < 59; p += 3) {
            engine->markParameter(personIndex(p, slotGain), 0.9f);
            engine->markParameter(personIndex(p, slotPan), 1.0f - p / 58.0f);
            engine->markParameter(personIndex(p, slotDelayModGain), 0.1f);
        }
        engine->markParameter(parActiveIndex, 0.0f);
        for (int round = 0; round < 12; ++round) {
            render(sizes[round % 6], 2, 2);
        }
        engine->markParameter(parActiveIndex, 1.0f);
        for (int round = 0; round < 12; ++round) {
            render(sizes[round % 6], 2, 2);
        }
        snapshot();
        // Past the ring's end, with a smaller crowd.
        engine->markParameter(parSoloIndex, 0.0f);
        engine->markParameter(parPopulationIndex, 0.2f);
        while (engine->writePosition() > 1000) {
            render(512, 2, 2);
        }
        snapshot();
    }).join();
    return story;
}

}  // namespace

TEST(FastRender, MatchesFrameByFrameThroughFadesSoloWrapAndMono) {
    const Story fast = tell(false);
    const Story plain = tell(true);
    ASSERT_EQ(fast.output.size(), plain.output.size());
    ASSERT_EQ(fast.voices.size(), plain.voices.size());
    for (std::size_t i = 0; i < fast.voices.size(); ++i) {
        const VoiceState& x = fast.voices[i];
        const VoiceState& y = plain.voices[i];
        ASSERT_EQ(x.shiftSin, y.shiftSin) << i;
        ASSERT_EQ(x.delayModSin, y.delayModSin) << i;
        ASSERT_EQ(x.pitchModCos, y.pitchModCos) << i;
        ASSERT_EQ(x.fadeValue, y.fadeValue) << i;
        ASSERT_EQ(x.currentDelay, y.currentDelay) << i;
        ASSERT_EQ(x.readIndex, y.readIndex) << i;
        ASSERT_EQ(x.delayFraction, y.delayFraction) << i;
        ASSERT_EQ(x.gain, y.gain) << i;
        ASSERT_EQ(x.panGain[0], y.panGain[0]) << i;
        ASSERT_EQ(x.delayModDepth, y.delayModDepth) << i;
    }
    double largest = 0.0;
    double peak = 0.0;
    for (std::size_t i = 0; i < fast.output.size(); ++i) {
        largest = std::max(largest, std::fabs(double(fast.output[i]) - plain.output[i]));
        peak = std::max(peak, std::fabs(double(plain.output[i])));
    }
    std::printf("largest difference to frame by frame: %.3g (peak %.3g)\n", largest, peak);
    // Only the reverb's butterfly sums round differently.
    EXPECT_LT(largest, 1e-4);
    EXPECT_GT(peak, 0.1);
}

// At 192 kHz the ring is twice as long, and the run-based loop still computes the same.
TEST(FastRender, MatchesFrameByFrameWhenDelaysReachAroundTheRing) {
    const Story fast = tell(false, 192000.0f);
    const Story plain = tell(true, 192000.0f);
    ASSERT_EQ(fast.output.size(), plain.output.size());
    for (std::size_t i = 0; i < fast.voices.size(); ++i) {
        ASSERT_EQ(fast.voices[i].shiftSin, plain.voices[i].shiftSin) << i;
        ASSERT_EQ(fast.voices[i].readIndex, plain.voices[i].readIndex) << i;
    }
    double largest = 0.0;
    for (std::size_t i = 0; i < fast.output.size(); ++i) {
        largest = std::max(largest, std::fabs(double(fast.output[i]) - plain.output[i]));
    }
    EXPECT_LT(largest, 1e-4);
}

// The baseline x86-64 voice code, which processors without AVX2 run, computes the same.
TEST(FastRender, BaselineVoiceCodeMatchesToo) {
    setVoiceLanesWide(false);
    const Story fast = tell(false);
    setVoiceLanesWide(true);
    const Story plain = tell(true);
    ASSERT_EQ(fast.output.size(), plain.output.size());
    for (std::size_t i = 0; i < fast.voices.size(); ++i) {
        ASSERT_EQ(fast.voices[i].shiftSin, plain.voices[i].shiftSin) << i;
        ASSERT_EQ(fast.voices[i].delayFraction, plain.voices[i].delayFraction) << i;
    }
    double largest = 0.0;
    for (std::size_t i = 0; i < fast.output.size(); ++i) {
        largest = std::max(largest, std::fabs(double(fast.output[i]) - plain.output[i]));
    }
    EXPECT_LT(largest, 1e-4);
}

// `zornbeck bench --reference` opens a second instance with this switch in its environment.
TEST(FastRender, EnvironmentSwitchSelectsTheReferencePathAtConstruction) {
    ASSERT_EQ(setenv("ZORNBECK_REFERENCE_PATH", "1", 1), 0);
    const auto reference = std::make_unique<CrowdEngine>();
    ASSERT_EQ(setenv("ZORNBECK_REFERENCE_PATH", "0", 1), 0);
    const auto off = std::make_unique<CrowdEngine>();
    ASSERT_EQ(unsetenv("ZORNBECK_REFERENCE_PATH"), 0);
    const auto shipped = std::make_unique<CrowdEngine>();
    EXPECT_TRUE(reference->frameByFrame());
    EXPECT_FALSE(off->frameByFrame());
    EXPECT_FALSE(shipped->frameByFrame());
}

// The render loop does per frame what it does whatever the host's block size: once the setup's
// fade is over, a stream split into 512, 16 or ragged blocks gives the same bits, so nothing kept
// from block to block (the voices in their lanes, the pending flag, the reverb's sub-blocks)
// drifts.
TEST(FastRender, BlockSizesGiveTheSameBits) {
    constexpr int kSettle = 24 * 512;  // past the setup's fade, its bottom and the rise after it
    constexpr int kTotal = 30000;
    auto render = [](std::initializer_list<int> sizes) {
        std::vector<float> out[2];
        std::thread([&] {
            auto engine = std::make_unique<CrowdEngine>();
            engine->prepare(44100.0f, 512);
            worstCase(*engine, 1.0f);
            std::mt19937 noise(3);
            std::uniform_real_distribution<float> dist(-0.4f, 0.4f);
            for (auto& channel : out) {
                channel.resize(kSettle + kTotal);
                for (float& x : channel) {
                    x = dist(noise);
                }
            }
            for (int done = 0; done < kSettle; done += 512) {
                float* io[2] = {out[0].data() + done, out[1].data() + done};
                engine->process(io, io, 2, 2, 512);
            }
            int done = kSettle;
            for (auto size = sizes.begin(); done < kSettle + kTotal; ++size) {
                if (size == sizes.end()) {
                    size = sizes.begin();
                }
                const int n = std::min(*size, kSettle + kTotal - done);
                float* io[2] = {out[0].data() + done, out[1].data() + done};
                engine->process(io, io, 2, 2, n);
                done += n;
            }
        }).join();
        return std::vector<float>(out[1].begin() + kSettle, out[1].end());
    };
    const std::vector<float> whole = render({512});
    const std::vector<float> small = render({16});
    const std::vector<float> ragged = render({1, 37, 64, 5, 129, 700});
    int differing = 0;
    double peak = 0.0;
    for (int i = 0; i < kTotal; ++i) {
        differing += whole[i] != small[i] || whole[i] != ragged[i];
        peak = std::max(peak, std::fabs(double(whole[i])));
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(peak, 0.1);
}
