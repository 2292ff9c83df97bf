#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/ChaosRandom.h"
#include "engine/CrowdEngine.h"
#include "engine/DelayAllpass.h"
#include "engine/QuadratureAllpass.h"
#include "engine/Spread.h"

namespace {

using Lengths = int[2][kSpreadSections];

void expectSameLengths(const Lengths& a, const Lengths& b, const char* what) {
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kSpreadSections; ++i) {
            EXPECT_EQ(a[c][i], b[c][i]) << what << " channel " << c << " section " << i;
        }
    }
}

}  // namespace

TEST(Spread, LengthsFollowTheGeometricSeriesWithScatter) {
    ChaosRandom random;
    for (float x : {0.0f, 0.1f, 0.5f, 1.0f}) {
        Lengths lengths;
        computeSpreadLengths(random, x, 44100.0f, lengths);
        const double longest = 300.0 * x * x + 1.0;
        for (int c = 0; c < 2; ++c) {
            for (int i = 0; i < kSpreadSections; ++i) {
                const double nominal = longest / std::pow(33.0, i / 8.0) * 44.1;  // samples
                // Up to 0.25 ms of scatter, then rounding up to the next prime count.
                EXPECT_GE(lengths[c][i], std::floor(nominal) - 1) << x << " " << c << " " << i;
                EXPECT_LE(lengths[c][i], nominal + 0.26 * 44.1 + 1) << x << " " << c << " " << i;
            }
        }
        EXPECT_LE(std::abs(lengths[0][0] - lengths[1][0]), 0.26 * 44.1 + 1);
    }
}

TEST(Spread, SameValueAndRateGiveTheSameClearedChains) {
    DelayAllpass sections[2][kSpreadSections];
    ChaosRandom random;
    rebuildSpread(sections, random, 0.37f, 48000.0f);
    Lengths first;
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kSpreadSections; ++i) {
            first[c][i] = sections[c][i].length();
            EXPECT_FLOAT_EQ(sections[c][i].gain(), 0.63f);
            for (int n = 0; n < 3000; ++n) {
                sections[c][i].step(std::sin(n * 0.1f));
            }
        }
    }
    random.draw();  // whatever the state, a rebuild starts from the same seed
    rebuildSpread(sections, random, 0.37f, 48000.0f);
    Lengths second;
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kSpreadSections; ++i) {
            second[c][i] = sections[c][i].length();
            EXPECT_EQ(sections[c][i].position(), 1);
            // The dropped tail: silence in, next to nothing out.
            for (int n = 0; n < second[c][i] + 2; ++n) {
                ASSERT_LT(std::fabs(sections[c][i].step(0.0f)), 1e-19f);
            }
        }
    }
    expectSameLengths(first, second, "rebuild");
}

TEST(Spread, WildValuesBuildOnlyLengthsOfTheUnitRange) {
    ChaosRandom random;
    Lengths zero;
    Lengths one;
    computeSpreadLengths(random, 0.0f, 44100.0f, zero);
    computeSpreadLengths(random, 1.0f, 44100.0f, one);
    for (float x : {NAN, -INFINITY, -0.5f}) {
        Lengths got;
        computeSpreadLengths(random, x, 44100.0f, got);
        expectSameLengths(got, zero, "low");
    }
    for (float x : {INFINITY, 1.5f, 1e30f}) {
        Lengths got;
        computeSpreadLengths(random, x, 44100.0f, got);
        expectSameLengths(got, one, "high");
    }
    // A rate no host should send still leaves every section able to run.
    for (float rate : {NAN, 0.0f, -44100.0f, 8000.0f}) {
        Lengths got;
        computeSpreadLengths(random, 0.0f, rate, got);
        for (int c = 0; c < 2; ++c) {
            for (int i = 0; i < kSpreadSections; ++i) {
                EXPECT_GE(got[c][i], 2);
            }
        }
    }
}

// With "Spread" 0 the analysers receive the input itself: the rings hold exactly what an
// analyser fed the plain input writes, and no section moves. With "Spread" on they do not.
TEST(Spread, ZeroTakesTheChainsOutOfThePath) {
    for (bool frameByFrame : {false, true}) {
        for (float spread : {0.0f, 1.0f}) {
            auto engine = std::make_unique<CrowdEngine>();
            engine->setFrameByFrame(frameByFrame);
            engine->prepare(44100.0f, 512);
            engine->markParameter(parAllpassSpreadIndex, spread);
            std::vector<float> left(512, 0.0f);
            std::vector<float> right(512, 0.0f);
            float* io[2] = {left.data(), right.data()};
            for (int i = 0; i < 40; ++i) {
                engine->process(io, io, 2, 2, 512);
            }
            ASSERT_EQ(engine->globalFadeStep(), 0.0f);
            engine->resetVoices();
            const int positions[2] = {engine->spreadSection(0, 3).position(),
                                      engine->spreadSection(1, 7).position()};
            const int start = engine->writePosition();

            std::mt19937 noise(9);
            std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
            std::vector<float> input[2] = {std::vector<float>(300), std::vector<float>(300)};
            for (auto& channel : input) {
                for (float& x : channel) {
                    x = dist(noise);
                }
            }
            left = input[0];
            right = input[1];
            engine->process(io, io, 2, 2, 300);

            bool same = true;
            for (int c = 0; c < 2; ++c) {
                QuadratureAllpass plain;
                for (int j = 0; j < 300; ++j) {
                    float re = 0.0f;
                    float im = 0.0f;
                    plain.step(input[c][j] + 1e-20f, re, im);
                    const int at = (start + j) & kRingMask;
                    same = same && engine->ringSample(c, 0, at) == re && engine->ringSample(c, 1, at) == im;
                }
            }
            EXPECT_EQ(same, spread == 0.0f) << frameByFrame << " " << spread;
            if (spread == 0.0f) {
                EXPECT_EQ(engine->spreadSection(0, 3).position(), positions[0]);
                EXPECT_EQ(engine->spreadSection(1, 7).position(), positions[1]);
            }
        }
    }
}

// The chain's runs, whichever build, against each section stepped sample by sample: short and
// odd runs, runs that cross a section's wrap, and a value whose shortest sections are shorter
// than a run.
TEST(Spread, ChainRunsMatchSectionStepsAcrossWrapsAndRunLengths) {
    struct Chains {
        DelayAllpass sections[2][kSpreadSections];
    };
    for (const float value : {0.9f, 0.05f}) {
        for (int code = 0; code <= 2; ++code) {
            if (!setSpreadCode(code)) {
                continue;  // not on this processor
            }
            auto run = std::make_unique<Chains>();
            auto stepped = std::make_unique<Chains>();
            ChaosRandom random;
            for (Chains* chains : {run.get(), stepped.get()}) {
                reserveSpread(chains->sections, random, 48000.0f);
                rebuildSpread(chains->sections, random, value, 48000.0f);
            }
            std::vector<float> x(6000);
            for (std::size_t i = 0; i < x.size(); ++i) {
                x[i] = i % 997 == 0 ? 1.0f : 0.001f * static_cast<float>(i % 13) - 0.006f;
            }
            std::vector<float> expected = x;
            int differentStates = 0;  // sections whose position or last output differ after a run
            const int lengths[] = {64, 1, 16, 7, 33, 8, 64, 3, 57, 24};
            std::size_t start = 0;
            for (int r = 0; start < x.size(); ++r) {
                const int n = static_cast<int>(std::min<std::size_t>(lengths[r % 10], x.size() - start));
                runSpreadChain(run->sections[0], x.data() + start, n);
                for (int j = 0; j < n; ++j) {
                    float v = expected[start + j];
                    for (DelayAllpass& section : stepped->sections[0]) {
                        v = section.step(v);
                    }
                    expected[start + j] = v;
                }
                start += static_cast<std::size_t>(n);
                for (int s = 0; s < kSpreadSections; ++s) {
                    const DelayAllpass& a = run->sections[0][s];
                    const DelayAllpass& b = stepped->sections[0][s];
                    differentStates += a.position() != b.position() || a.lastOutput() != b.lastOutput();
                }
            }
            setSpreadCode(measuredSpreadCode());
            EXPECT_EQ(std::memcmp(x.data(), expected.data(), sizeof(float) * x.size()), 0)
                << "value " << value << ", code " << code;
            EXPECT_EQ(differentStates, 0) << "value " << value << ", code " << code;
        }
    }
}
