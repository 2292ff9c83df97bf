// The crowd heard from outside: tones, clicks and tails through the built module.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "PluginLoader.h"
#include "model/Program.h"

namespace {

constexpr float kRate = 44100.0f;
constexpr int kBlock = 512;

std::unique_ptr<zb::PluginLoader> loadModule() {
    const char* dir = std::getenv("ZORNBECK_BUILD");
    zb::LoadOptions options;
    options.path = std::string(dir != nullptr ? dir : ".") + "/Zornbeck.so";
    options.sampleRate = kRate;
    options.blockSize = kBlock;
    std::string error;
    auto plugin = zb::PluginLoader::load(options, error);
    EXPECT_NE(plugin, nullptr) << error;
    return plugin;
}

// Power of one frequency in a Hann-windowed stretch, in dB.
double levelAt(const std::vector<float>& x, std::size_t from, std::size_t n, double frequency) {
    const double w = 2.0 * M_PI * frequency / kRate;
    double re = 0.0;
    double im = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double window =
            0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) / static_cast<double>(n));
        const double v = x[from + i] * window;
        re += v * std::cos(w * static_cast<double>(i));
        im -= v * std::sin(w * static_cast<double>(i));
    }
    return 10.0 * std::log10((re * re + im * im) / (static_cast<double>(n) * n) + 1e-30);
}

// One instance with a single voice in channel 0, nothing else: no dry, no spread, no reverb,
// no modulation, no shift; the fades of the setup have ended.
struct OneVoice {
    std::unique_ptr<zb::PluginLoader> plugin = loadModule();

    OneVoice() {
        if (!plugin) {
            return;
        }
        plugin->setParameter(parPopulationIndex, 0.0f);
        plugin->setParameter(parSoloIndex, 0.0f);
        plugin->setParameter(parGlobalWetIndex, 0.5f);
        plugin->setParameter(parGlobalDryIndex, 0.0f);
        plugin->setParameter(parAllpassSpreadIndex, 0.0f);
        plugin->setParameter(parPitchAllIndex, 0.5f);
        plugin->setParameter(parReverbWetIndex, 0.0f);
        person(slotPitchShift, 0.5f);
        person(slotPitchModGain, 0.0f);
        person(slotDelayTime, 0.0f);
        person(slotDelayModGain, 0.0f);
        person(slotPan, 0.0f);
        person(slotGain, 1.0f);
        render(std::vector<float>(30000, 0.0f));
    }

    void person(int slot, float value) { plugin->setParameter(personIndex(0, slot), value); }

    // Channel 0 of the output for the same signal on both inputs.
    std::vector<float> render(const std::vector<float>& input) {
        std::vector<float> out(input.size());
        std::vector<float> left(kBlock);
        std::vector<float> right(kBlock);
        for (std::size_t start = 0; start < input.size(); start += kBlock) {
            const int n = static_cast<int>(std::min<std::size_t>(kBlock, input.size() - start));
            std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(start), n, left.begin());
            std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(start), n, right.begin());
            float* in[2] = {left.data(), right.data()};
            plugin->process(in, in, n);
            std::copy_n(left.begin(), n, out.begin() + static_cast<std::ptrdiff_t>(start));
        }
        return out;
    }
};

std::vector<float> tone(double frequency, std::size_t frames, float amplitude = 0.25f) {
    std::vector<float> x(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        x[i] =
            amplitude * static_cast<float>(std::sin(2.0 * M_PI * frequency * static_cast<double>(i) / kRate));
    }
    return x;
}

std::size_t loudest(const std::vector<float>& x, std::size_t from, std::size_t to) {
    std::size_t best = from;
    for (std::size_t i = from; i < to; ++i) {
        if (std::fabs(x[i]) > std::fabs(x[best])) {
            best = i;
        }
    }
    return best;
}

// Energy per 10 ms window, then the 60 dB decay of a straight fit between two times.
double decaySeconds(const std::vector<float>& x, double from, double to) {
    const std::size_t window = 441;
    double sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
    int count = 0;
    for (std::size_t w = 0; (w + 1) * window <= x.size(); ++w) {
        const double t = (static_cast<double>(w) + 0.5) * window / kRate;
        if (t < from || t > to) {
            continue;
        }
        double energy = 0.0;
        for (std::size_t i = w * window; i < (w + 1) * window; ++i) {
            energy += double(x[i]) * x[i];
        }
        const double db = 10.0 * std::log10(energy + 1e-30);
        sx += t;
        sy += db;
        sxx += t * t;
        sxy += t * db;
        ++count;
    }
    const double slope = (count * sxy - sx * sy) / (count * sxx - sx * sx);
    return -60.0 / slope;
}

}  // namespace

TEST(Listening, PitchShiftMovesAToneByEightyHertz) {
    for (float shift : {1.0f, 0.0f}) {
        OneVoice crowd;
        ASSERT_TRUE(crowd.plugin);
        crowd.person(slotPitchShift, shift);
        const std::vector<float> out = crowd.render(tone(1000.0, 44100));
        const double up = levelAt(out, 20000, 16384, 1080.0);
        const double down = levelAt(out, 20000, 16384, 920.0);
        const double same = levelAt(out, 20000, 16384, 1000.0);
        const double wanted = shift > 0.5f ? up : down;
        const double image = shift > 0.5f ? down : up;
        EXPECT_GT(wanted, -20.0) << shift;
        EXPECT_GT(wanted - image, 30.0) << shift;
        EXPECT_GT(wanted - same, 30.0) << shift;
    }
}

TEST(Listening, ImageStaysThirtyDecibelsDownAcrossTheBand) {
    OneVoice crowd;
    ASSERT_TRUE(crowd.plugin);
    crowd.person(slotPitchShift, 1.0f);
    for (double f : {100.0, 300.0, 1000.0, 3000.0, 6000.0, 10000.0}) {
        const std::vector<float> out = crowd.render(tone(f, 40000));
        const double shifted = levelAt(out, 20000, 16384, f + 80.0);
        const double image = levelAt(out, 20000, 16384, f - 80.0);
        EXPECT_GT(shifted - image, 30.0) << f << " Hz";
    }
}

TEST(Listening, ShiftAllAddsToTheVoiceShift) {
    OneVoice crowd;
    ASSERT_TRUE(crowd.plugin);
    crowd.person(slotPitchShift, 1.0f);
    crowd.plugin->setParameter(parPitchAllIndex, 0.0f);
    const std::vector<float> out = crowd.render(tone(1000.0, 44100));
    // About -440 + 80 Hz: the tone lands at 640 Hz.
    const double at = levelAt(out, 20000, 16384, 640.0);
    EXPECT_GT(at, -20.0);
    for (double other : {1000.0, 1360.0, 560.0, 720.0}) {
        EXPECT_GT(at - levelAt(out, 20000, 16384, other), 30.0) << other;
    }
}

TEST(Listening, AClickArrivesAfterTheDelayTime) {
    OneVoice crowd;
    ASSERT_TRUE(crowd.plugin);
    std::vector<float> click(20000, 0.0f);
    click[1000] = 1.0f;
    const std::vector<float> direct = crowd.render(click);
    const std::size_t at0 = loudest(direct, 0, direct.size());

    crowd.person(slotDelayTime, 0.5f);              // 7350 samples at 44100 Hz
    crowd.render(std::vector<float>(12000, 0.0f));  // fade out, move, fade in
    const std::vector<float> late = crowd.render(click);
    const std::size_t at1 = loudest(late, 0, late.size());
    // The delay counts the frame written in the same step as one sample: 7350 - 1 later.
    EXPECT_EQ(static_cast<long>(at1) - static_cast<long>(at0), 7349);
    EXPECT_NEAR(std::fabs(late[at1]), std::fabs(direct[at0]), 1e-3);
}

TEST(Listening, DelayChangeFadesOutAndInWithoutAStep) {
    OneVoice crowd;
    ASSERT_TRUE(crowd.plugin);
    const std::vector<float> before = crowd.render(tone(200.0, 4410));
    crowd.person(slotDelayTime, 0.3f);
    const std::vector<float> out = crowd.render(tone(200.0, 12000));
    // Envelope per 500 frames: the amplitude follows the fade value down and up.
    double full = 0.0;
    for (std::size_t i = 2205; i < before.size(); ++i) {
        full = std::max(full, double(std::fabs(before[i])));
    }
    auto peak = [&](std::size_t from) {
        double p = 0.0;
        for (std::size_t i = from; i < from + 250; ++i) {
            p = std::max(p, double(std::fabs(out[i])));
        }
        return p / full;
    };
    EXPECT_NEAR(peak(0), 1.0, 0.06);
    EXPECT_NEAR(peak(2375), 0.5, 0.06);
    EXPECT_LT(peak(4875), 0.03);
    EXPECT_LT(peak(5000), 0.06);
    EXPECT_NEAR(peak(7375), 0.5, 0.06);
    EXPECT_NEAR(peak(10500), 1.0, 0.06);
    // No step anywhere: a 200 Hz tone moves at most 2 pi 200 / 44100 of its peak per sample.
    const double limit = full * 2.0 * M_PI * 200.0 / kRate * 1.2;
    for (std::size_t i = 1; i < out.size(); ++i) {
        ASSERT_LT(std::fabs(double(out[i]) - out[i - 1]), limit) << i;
    }
}

TEST(Listening, ReverbDecayFollowsItsSize) {
    const float sizes[] = {0.0f, 0.5f, 1.0f};
    const double expected[] = {0.25, 8.2, 23.8};
    const double from[] = {0.05, 0.3, 0.3};
    const double to[] = {0.2, 3.0, 4.0};
    for (int s = 0; s < 3; ++s) {
        OneVoice crowd;
        ASSERT_TRUE(crowd.plugin);
        crowd.plugin->setParameter(parReverbWetIndex, 1.0f);
        crowd.plugin->setParameter(parReverbSizeIndex, sizes[s]);
        crowd.plugin->setParameter(parReverbHighCutIndex, 1.0f);
        crowd.plugin->setParameter(parReverbLowCutIndex, 0.0f);
        std::vector<float> click(static_cast<std::size_t>(to[s] * kRate) + 441, 0.0f);
        click[0] = 1.0f;
        const std::vector<float> out = crowd.render(click);
        EXPECT_NEAR(decaySeconds(out, from[s], to[s]), expected[s], expected[s] * 0.15) << sizes[s];
    }
}

TEST(Listening, ReverbGainZeroAddsNothing) {
    for (float gain : {0.0f, 0.5f}) {
        OneVoice crowd;
        ASSERT_TRUE(crowd.plugin);
        crowd.plugin->setParameter(parGlobalDryIndex, 0.5f);
        crowd.plugin->setParameter(parReverbWetIndex, gain);
        crowd.plugin->setParameter(parReverbSizeIndex, 0.8f);
        crowd.render(std::vector<float>(12000, 0.0f));
        // The voice sits in channel 0 only: channel 1 is the dry input plus whatever the room adds.
        std::vector<float> left = tone(300.0, 8192);
        std::vector<float> right = tone(450.0, 8192, 0.3f);
        const std::vector<float> rightIn = right;
        for (int start = 0; start < 8192; start += kBlock) {
            float* io[2] = {left.data() + start, right.data() + start};
            crowd.plugin->process(io, io, kBlock);
        }
        bool same = true;
        for (std::size_t i = 0; i < right.size(); ++i) {
            same = same && right[i] == rightIn[i];
        }
        EXPECT_EQ(same, gain == 0.0f) << gain;
    }
}
