// The run-time choice between builds of a kernel: the timing picks the fastest candidate the
// processor has, and every build it may pick renders the same bits.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/ChamberReverb.h"
#include "engine/ChaosRandom.h"
#include "engine/DelayAllpass.h"
#include "engine/KernelChoice.h"
#include "engine/Spread.h"
#include "engine/VoiceLanes.h"

namespace {

// Busy for about `micros` microseconds of wall time.
void spin(double micros) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double, std::micro>(micros);
    while (std::chrono::steady_clock::now() < end) {
    }
}

TEST(KernelChoice, PicksTheFastestCandidateTheProcessorHas) {
    const double cost[4] = {300.0, 120.0, 40.0, 200.0};
    const auto all = [](int) { return true; };
    EXPECT_EQ(kernel_choice::fastest(
                  4, all, [&](int c) { spin(cost[c]); }, 3),
              2);
    // Candidate 2 is missing here: the next fastest wins, and the missing one never runs.
    int ranMissing = 0;
    const auto without2 = [](int c) { return c != 2; };
    EXPECT_EQ(kernel_choice::fastest(
                  4, without2,
                  [&](int c) {
                      ranMissing += c == 2;
                      spin(cost[c]);
                  },
                  3),
              1);
    EXPECT_EQ(ranMissing, 0);
    // A wider build that is no faster than the baseline is not taken.
    EXPECT_EQ(kernel_choice::fastest(
                  2, all, [&](int) { spin(150.0); }, 3),
              0);
}

TEST(KernelChoice, TheMeasuredBuildsAreOnesThisProcessorRuns) {
    EXPECT_TRUE(setVoiceLanesCode(measuredVoiceCode()));
    EXPECT_TRUE(ChamberReverb::setCode(ChamberReverb::measuredCode()));
    EXPECT_TRUE(setSpreadCode(measuredSpreadCode()));
    EXPECT_FALSE(ChamberReverb::setCode(3));
    EXPECT_FALSE(setSpreadCode(-1));
}

// Noise through a modulated room in host blocks of mixed lengths, stereo then mono.
std::vector<float> renderRoom(int code) {
    EXPECT_TRUE(ChamberReverb::setCode(code));
    auto room = std::make_unique<ChamberReverb>();
    room->setLineScale(0.5f);
    room->setModulationRate(0.8f);
    room->setModulationDepth(0.7f);
    room->reset();
    room->setDecay(0.8f, 0.7f);
    room->setCuts(0.6f, 0.3f);
    ChaosRandom random;
    random.reseed(7);
    std::vector<float> rendered;
    float left[200];
    float right[200];
    const int blocks[] = {200, 7, 64, 1, 129, 33};
    for (int round = 0; round < 30; ++round) {
        const int n = blocks[round % 6];
        for (int j = 0; j < n; ++j) {
            left[j] = static_cast<float>(random.draw()) - 0.5f;
            right[j] = static_cast<float>(random.draw()) - 0.5f;
        }
        float* io[2] = {left, right};
        room->process(io, io, n, 0.8f, round < 20 ? 2 : 1);
        rendered.insert(rendered.end(), left, left + n);
        rendered.insert(rendered.end(), right, right + n);
    }
    ChamberReverb::setCode(ChamberReverb::measuredCode());
    return rendered;
}

TEST(KernelChoice, EveryReverbBuildGivesTheSameBits) {
    const std::vector<float> baseline = renderRoom(0);
    for (int code = 1; code <= 2; ++code) {
        if (!ChamberReverb::setCode(code)) {
            continue;  // not on this processor
        }
        const std::vector<float> wide = renderRoom(code);
        ASSERT_EQ(wide.size(), baseline.size());
        EXPECT_EQ(std::memcmp(wide.data(), baseline.data(), sizeof(float) * wide.size()), 0)
            << "code " << code;
    }
}

std::vector<float> renderSpread(int code) {
    EXPECT_TRUE(setSpreadCode(code));
    struct Chains {
        DelayAllpass sections[2][kSpreadSections];
    };
    auto chains = std::make_unique<Chains>();
    auto& sections = chains->sections;
    ChaosRandom random;
    reserveSpread(sections, random, 48000.0f);
    rebuildSpread(sections, random, 0.9f, 48000.0f);
    std::vector<float> x(4000);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = i % 997 == 0 ? 1.0f : 0.001f * static_cast<float>(i % 13);
    }
    for (std::size_t start = 0; start < x.size(); start += 61) {
        const int n = static_cast<int>(std::min<std::size_t>(61, x.size() - start));
        runSpreadChain(sections[start % 2], x.data() + start, n);
    }
    setSpreadCode(measuredSpreadCode());
    return x;
}

TEST(KernelChoice, EverySpreadBuildGivesTheSameBits) {
    const std::vector<float> baseline = renderSpread(0);
    for (int code = 1; code <= 2; ++code) {
        if (!setSpreadCode(code)) {
            continue;
        }
        const std::vector<float> wide = renderSpread(code);
        EXPECT_EQ(std::memcmp(wide.data(), baseline.data(), sizeof(float) * wide.size()), 0)
            << "code " << code;
    }
}

}  // namespace
