// Listening to one voice of the crowd through the built module: where a tone lands after the
// frequency shift, how far down its image stays, and when a click arrives after the voice's delay.
#include <cmath>
#include <numbers>

#include "BlackBox.h"

namespace {

constexpr float kRate = 44100.0f;
constexpr VstInt32 kBlock = 512;
constexpr VstInt32 kPopulation = 0, kWet = 2, kDry = 3, kSolo = 6, kSpread = 12, kShiftAll = 13, kReverbGain = 14;
constexpr VstInt32 kPitchShift = 20, kPitchModGain = 21, kDelayTime = 23, kDelayModGain = 24, kPan = 26,
                   kGain = 27;

// One person, heard alone with no dry signal, no spread, no reverb and no modulation.
std::unique_ptr<zb::PluginLoader> oneVoice(float pitchShift, float shiftAll = 0.5f, float delayTime = 0.0f) {
    auto plugin = bb::loadModule(kRate, kBlock);
    if (!plugin) {
        return plugin;
    }
    const std::pair<VstInt32, float> settings[] = {
        {kPopulation, 0.0f},       {kSolo, 0.0f},        {kWet, 0.5f},         {kDry, 0.0f},
        {kSpread, 0.0f},           {kShiftAll, shiftAll}, {kReverbGain, 0.0f}, {kPitchShift, pitchShift},
        {kPitchModGain, 0.0f},     {kDelayTime, delayTime}, {kDelayModGain, 0.0f}, {kPan, 0.5f},
        {kGain, 0.5f}};
    for (const auto& [index, value] : settings) {
        plugin->setParameter(index, value);
    }
    return plugin;
}

// Renders a generator's signal on both inputs; returns the left output of the last `keep` frames.
template <typename Signal>
std::vector<float> render(zb::PluginLoader& plugin, std::size_t total, std::size_t keep, Signal signal) {
    std::vector<float> kept;
    bb::Stereo in(kBlock), out(kBlock);
    for (std::size_t done = 0; done < total; done += kBlock) {
        for (VstInt32 i = 0; i < kBlock; ++i) {
            in.left[i] = in.right[i] = signal(done + static_cast<std::size_t>(i));
        }
        float** inputs = in.both();
        plugin.process(inputs, out.both(), kBlock);
        for (VstInt32 i = 0; i < kBlock; ++i) {
            if (done + static_cast<std::size_t>(i) + keep >= total) {
                kept.push_back(out.left[i]);
            }
        }
    }
    return kept;
}

// Amplitude of the component at `hz`, Hann-windowed Goertzel.
double amplitudeAt(const std::vector<float>& x, double hz) {
    const double w = 2.0 * std::numbers::pi * hz / kRate;
    const double coefficient = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    const std::size_t n = x.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double window = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / (n - 1));
        const double s0 = x[i] * window + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - coefficient * s1 * s2)) * 4.0 / n;
}

// The strongest frequency in [from, to], in 1 Hz steps.
double peakBetween(const std::vector<float>& x, double from, double to) {
    double best = from, bestAmplitude = -1.0;
    for (double hz = from; hz <= to; hz += 1.0) {
        const double a = amplitudeAt(x, hz);
        if (a > bestAmplitude) {
            bestAmplitude = a;
            best = hz;
        }
    }
    return best;
}

std::vector<float> tone(zb::PluginLoader& plugin, double hz) {
    // 25000 frames of settling (the program and population fades), then one second to analyse.
    return render(plugin, 25088 + 44100, 44100, [hz](std::size_t i) {
        return 0.1f * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / kRate));
    });
}

TEST(Listening, PitchShiftMovesAToneByEightyHertzEitherWay) {
    for (float shift : {1.0f, 0.0f}) {
        auto plugin = oneVoice(shift);
        ASSERT_NE(plugin, nullptr);
        const std::vector<float> out = tone(*plugin, 1000.0);
        const double expected = shift > 0.5f ? 1080.0 : 920.0;
        EXPECT_NEAR(peakBetween(out, 850.0, 1150.0), expected, 1.0) << "Pitch Shift " << shift;
        EXPECT_NEAR(amplitudeAt(out, expected), 0.1 * 5 * 0.3 * 0.6875, 0.01) << "level of the shifted tone";
    }
}

TEST(Listening, TheImageStaysThirtyDecibelsDownFromOneHundredHertzToTenKilohertz) {
    for (double hz : {100.0, 440.0, 1000.0, 3000.0, 10000.0}) {
        auto plugin = oneVoice(1.0f);
        ASSERT_NE(plugin, nullptr);
        const std::vector<float> out = tone(*plugin, hz);
        const double wanted = amplitudeAt(out, hz + 80.0);
        const double image = amplitudeAt(out, hz - 80.0);
        EXPECT_GT(20.0 * std::log10(wanted / image), 30.0) << hz << " Hz";
    }
}

TEST(Listening, ShiftAllAddsToThePersonalShift) {
    auto plugin = oneVoice(1.0f, 0.0f);  // +80 Hz and -440 Hz
    ASSERT_NE(plugin, nullptr);
    const std::vector<float> out = tone(*plugin, 1000.0);
    EXPECT_NEAR(peakBetween(out, 500.0, 800.0), 640.0, 1.0);
}

TEST(Listening, AClickArrivesAfterTheVoiceDelay) {
    for (float delayTime : {0.0f, 0.25f, 1.0f}) {
        auto plugin = oneVoice(0.5f, 0.5f, delayTime);
        ASSERT_NE(plugin, nullptr);
        // The delay of the voice in samples, as the plug-in computes it in float32.
        const int delay = std::max(
            1, static_cast<int>(((delayTime * 14700.0f) * kRate) * 2.2675737e-5f));
        constexpr std::size_t click = 30000;  // after the program, population and voice fades
        const std::size_t total = click + 20480;
        const std::vector<float> out =
            render(*plugin, total, total, [](std::size_t i) { return i == click ? 1.0f : 0.0f; });
        std::size_t arrival = 0;
        while (arrival < out.size() && std::fabs(out[arrival]) < 1e-6f) {
            ++arrival;
        }
        ASSERT_LT(arrival, out.size()) << "no click came out for Delay Time " << delayTime;
        EXPECT_EQ(static_cast<long>(arrival - click), delay - 1) << "Delay Time " << delayTime;
    }
}

}  // namespace
