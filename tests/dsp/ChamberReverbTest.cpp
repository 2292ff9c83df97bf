#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "SignalAnalysis.h"
#include "engine/ChamberReverb.h"

namespace {

// The engine's setup for a program at a rate.
std::unique_ptr<ChamberReverb> configuredReverb(float rate = 44100.0f) {
    auto reverb = std::make_unique<ChamberReverb>();
    reverb->setSampleRate(rate);
    reverb->setLineScale(0.5f);
    reverb->setModulationRate(0.55f);
    reverb->setModulationDepth(0.5f);
    reverb->reset();
    return reverb;
}

// Energy per window of the two outputs after a unit impulse into channel 0.
std::vector<float> impulseEnergy(ChamberReverb& reverb, double seconds, int window) {
    const int total = static_cast<int>(seconds * 44100.0);
    std::vector<float> left(window);
    std::vector<float> right(window);
    std::vector<float> energy;
    for (int start = 0; start + window <= total; start += window) {
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
        if (start == 0) {
            left[0] = 1.0f;
        }
        float* io[2] = {left.data(), right.data()};
        reverb.process(io, io, window, 1.0f, 2);
        if (start == 0) {
            left[0] -= 1.0f;  // the dry impulse is not part of the tail
        }
        double sum = 0.0;
        for (int i = 0; i < window; ++i) {
            sum += double(left[i]) * left[i] + double(right[i]) * right[i];
        }
        energy.push_back(static_cast<float>(sum));
    }
    return energy;
}

double measuredDecay(float size, double from, double to) {
    auto reverb = configuredReverb();
    reverb->setDecay(size, 1.0f);
    reverb->setCuts(1.0f, 0.0f);
    const int window = 441;
    return zbtest::decayTime(impulseEnergy(*reverb, to, window), window / 44100.0, from, to);
}

}  // namespace

TEST(ChamberReverb, OrderRowsAndLineLengthsAt44100) {
    auto reverb = configuredReverb();
    const int order[2][8] = {{5, 1, 4, 0, 7, 6, 2, 3}, {4, 6, 7, 5, 2, 3, 0, 1}};
    const int lengths[2][8] = {{2779, 2951, 1827, 2514, 2148, 784, 1675, 428},
                               {3543, 3328, 2884, 2223, 1429, 1958, 1016, 942}};
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ(reverb->order(c, k), order[c][k]) << "channel " << c << " line " << k;
            EXPECT_EQ(reverb->lineLength(c, k), lengths[c][k]) << "channel " << c << " line " << k;
        }
    }
    // Running and resetting again yields the same lengths.
    std::vector<float> block(512, 0.25f);
    float* io[2] = {block.data(), block.data()};
    reverb->process(io, io, 512, 1.0f, 2);
    reverb->reset();
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ(reverb->lineLength(c, k), lengths[c][k]);
        }
    }
}

TEST(ChamberReverb, LongestLineFitsTheBufferAt192k) {
    auto reverb = configuredReverb(192000.0f);
    int longest = 0;
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < 8; ++k) {
            longest = std::max(longest, reverb->lineLength(c, k));
        }
    }
    EXPECT_EQ(longest, 15427);
    EXPECT_FLOAT_EQ(reverb->activeDepth(), 27.5f);
}

TEST(ChamberReverb, DecayFiguresAndGains) {
    auto reverb = configuredReverb();
    reverb->setDecay(0.5f, 0.5f);
    EXPECT_FLOAT_EQ(reverb->wetGain(), 0.125f);
    // Per second every line loses c^9.1875, whatever its length.
    for (int k = 0; k < 8; ++k) {
        const double perSecond =
            std::pow(reverb->feedbackGain(0, k) * std::sqrt(8.0), 44100.0 / reverb->lineLength(0, k));
        EXPECT_NEAR(20.0 * std::log10(perSecond), -60.0 / 8.2, 0.15);
    }
    EXPECT_NEAR(measuredDecay(0.0f, 0.03, 0.2), 0.25, 0.25 * 0.15);
    EXPECT_NEAR(measuredDecay(0.5f, 0.3, 3.0), 8.2, 8.2 * 0.15);
    EXPECT_NEAR(measuredDecay(1.0f, 0.3, 4.0), 23.8, 23.8 * 0.15);
}

TEST(ChamberReverb, OutOfRangeSettingsKeepTheRoomStable) {
    const float bad[] = {NAN, INFINITY, -INFINITY, 7.0f, -3.0f};
    for (float value : bad) {
        auto reverb = configuredReverb();
        reverb->setDecay(value, value);
        reverb->setCuts(value, value);
        reverb->setModulationRate(value);
        reverb->setSampleRate(-std::fabs(value));  // never a usable rate
        reverb->setLineScale(value);
        for (int c = 0; c < 2; ++c) {
            for (int k = 0; k < 8; ++k) {
                EXPECT_LT(reverb->feedbackGain(c, k) * std::sqrt(8.0f), 1.0f) << value;
                EXPECT_GE(reverb->lineLength(c, k), 1);
            }
        }
        reverb->setDecay(1.0f, 1.0f);
        reverb->setCuts(1.0f, 0.0f);
        const std::vector<float> energy = impulseEnergy(*reverb, 2.0, 4410);
        for (float e : energy) {
            ASSERT_TRUE(std::isfinite(e)) << value;
        }
        EXPECT_LT(energy.back(), energy[1]) << value;
    }
}

TEST(ChamberReverb, ZeroGainOrZeroFramesLeaveTheBlockUnchanged) {
    auto reverb = configuredReverb();
    reverb->setDecay(0.7f, 0.0f);
    reverb->setCuts(0.8f, 0.1f);
    std::mt19937 noise(3);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    for (int block = 0; block < 20; ++block) {
        std::vector<float> left(512);
        std::vector<float> right(512);
        for (int i = 0; i < 512; ++i) {
            left[i] = dist(noise);
            right[i] = dist(noise);
        }
        const std::vector<float> leftIn = left;
        const std::vector<float> rightIn = right;
        float* io[2] = {left.data(), right.data()};
        reverb->process(io, io, 512, 1.0f, 2);
        ASSERT_EQ(0, std::memcmp(left.data(), leftIn.data(), 512 * sizeof(float)));
        ASSERT_EQ(0, std::memcmp(right.data(), rightIn.data(), 512 * sizeof(float)));
    }
    reverb->setDecay(0.7f, 1.0f);
    float sample = 0.5f;
    float* io[1] = {&sample};
    reverb->process(io, io, 0, 1.0f, 1);
    EXPECT_EQ(sample, 0.5f);
}

TEST(ChamberReverb, CutsAndTheSingleChannelCase) {
    auto reverb = configuredReverb();
    reverb->setCuts(0.0f, 0.0f);
    EXPECT_EQ(reverb->highCoefficient(), 1.0f);
    EXPECT_EQ(reverb->lowCoefficient(), 1.0f);
    reverb->setCuts(1.0f, 0.0f);
    EXPECT_NEAR(reverb->highCoefficient(), std::exp(-16000.0 * 2.0 * M_PI / 44100.0), 1e-6);
    reverb->setDecay(0.5f, 1.0f);

    // One channel: the second buffer is neither read nor written.
    std::vector<float> left(4096, 0.0f);
    std::vector<float> right(4096, 123.0f);
    left[0] = 1.0f;
    float* io[2] = {left.data(), right.data()};
    reverb->process(io, io, 4096, 1.0f, 1);
    for (float s : right) {
        ASSERT_EQ(s, 123.0f);
    }
    double tail = 0.0;
    for (int i = 400; i < 4096; ++i) {
        tail += std::fabs(left[i]);
    }
    EXPECT_GT(tail, 0.01);
}

// The sub-block network differs from the frame-by-frame one only by the rounding of the
// butterfly sums, whatever the block sizes, channel counts and settings.
TEST(ChamberReverb, SubBlocksMatchFrameByFrame) {
    auto fast = configuredReverb();
    fast->setDecay(0.9f, 0.8f);
    fast->setCuts(0.9f, 0.1f);
    auto reference = std::make_unique<ChamberReverb>(*fast);
    std::mt19937 noise(5);
    std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
    const int sizes[] = {1, 7, 64, 65, 428, 512, 2048, 3};
    double largest = 0.0;
    for (int round = 0; round < 40; ++round) {
        const int frames = sizes[round % 8];
        const int channels = round % 5 == 4 ? 1 : 2;
        std::vector<float> a[2];
        std::vector<float> b[2];
        for (int c = 0; c < 2; ++c) {
            a[c].resize(frames);
            for (float& x : a[c]) {
                x = dist(noise);
            }
            b[c] = a[c];
        }
        float* ioA[2] = {a[0].data(), a[1].data()};
        float* ioB[2] = {b[0].data(), b[1].data()};
        fast->process(ioA, ioA, frames, 0.7f, channels);
        reference->processFrameByFrame(ioB, ioB, frames, 0.7f, channels);
        for (int c = 0; c < 2; ++c) {
            for (int i = 0; i < frames; ++i) {
                largest = std::max(largest, std::fabs(double(a[c][i]) - b[c][i]));
            }
        }
    }
    EXPECT_LT(largest, 1e-5);
    EXPECT_EQ(fast->lineLength(1, 7), reference->lineLength(1, 7));
    std::printf("largest difference to frame by frame: %.3g\n", largest);
}

// Every frame computes the same whatever the host's block size, so any split of a stream gives
// the same bits: the modulated reads of eight adjacent samples and their frame-by-frame fallback
// (short blocks, offset changes, buffer wrap) must agree exactly.
TEST(ChamberReverb, BlockSizesGiveTheSameBits) {
    constexpr int kTotal = 40000;  // past the buffer's wrap, through many offset changes
    std::mt19937 noise(9);
    std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
    std::vector<float> input[2];
    for (auto& channel : input) {
        channel.resize(kTotal);
        for (float& x : channel) {
            x = dist(noise);
        }
    }
    auto render = [&](std::initializer_list<int> sizes, int channels) {
        auto reverb = configuredReverb();
        reverb->setModulationDepth(1.0f);  // the widest swing, so offsets change often
        reverb->reset();
        reverb->setDecay(0.8f, 0.9f);
        reverb->setCuts(0.9f, 0.1f);
        std::vector<float> out[2] = {input[0], input[1]};
        int done = 0;
        for (auto size = sizes.begin(); done < kTotal; ++size) {
            if (size == sizes.end()) {
                size = sizes.begin();
            }
            const int n = std::min(*size, kTotal - done);
            float* io[2] = {out[0].data() + done, out[1].data() + done};
            reverb->process(io, io, n, 0.7f, channels);
            done += n;
        }
        std::vector<float> both = out[0];
        both.insert(both.end(), out[1].begin(), out[1].end());
        return both;
    };
    // Both channels, and one alone (the other side's taps then hold their last values).
    for (const int channels : {2, 1}) {
        const std::vector<float> whole = render({512}, channels);
        const std::vector<float> ragged = render({7, 1, 64, 13, 300, 8, 2, 31, 40}, channels);
        const std::vector<float> small = render({16}, channels);
        ASSERT_EQ(whole.size(), ragged.size());
        int differing = 0;
        for (std::size_t i = 0; i < whole.size(); ++i) {
            differing += whole[i] != ragged[i] || whole[i] != small[i];
        }
        EXPECT_EQ(differing, 0) << channels << " channels";
    }
}
