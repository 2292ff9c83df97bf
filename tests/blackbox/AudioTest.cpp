// Listening to the built module: the pass-through switch, the program-switch dip and the channel
// mapping. The tests hold the crowd out (wet gain and reverb gain 0) wherever they measure the dry
// path, so they stay valid whatever the voices do.
#include <algorithm>
#include <cmath>

#include "BlackBox.h"

namespace {

constexpr VstInt32 kWet = 2, kDry = 3, kReverbGain = 14, kActive = 18;

void dryPathOnly(zb::PluginLoader& plugin, float dry = 0.5f) {
    plugin.setParameter(kWet, 0.0f);
    plugin.setParameter(kDry, dry);  // gain 4x²: 0.5 gives exactly 1
    plugin.setParameter(kReverbGain, 0.0f);
}

// Runs `frames` of noise through the plug-in in blocks, so the load-time program fade is over.
void settle(zb::PluginLoader& plugin, std::size_t frames, unsigned& seed) {
    const std::size_t block = static_cast<std::size_t>(plugin.blockSize());
    bb::Stereo in(block), out(block);
    for (std::size_t done = 0; done < frames; done += block) {
        bb::fillNoise(in.left, seed);
        bb::fillNoise(in.right, seed);
        float** inputs = in.both();
        plugin.process(inputs, out.both(), static_cast<VstInt32>(block));
    }
}

// With Active off, once the 10000-frame fade is over, the output is the input sample for sample.
void checkPassThrough(bool inPlace, VstInt32 block) {
    auto plugin = bb::loadModule(44100.0f, block);
    ASSERT_NE(plugin, nullptr);
    plugin->setParameter(kDry, 0.25f);  // dry gain 0.25: the processed sound is far from the input
    unsigned seed = 7;
    settle(*plugin, 20000, seed);

    plugin->setParameter(kActive, 0.0f);
    const std::size_t frames = 30000;
    // Allow a few frames of float rounding in the fade's 10000 steps, which move frame by frame;
    // every block that starts after that must be exact.
    const std::size_t exactFrom = 10010;
    bb::Stereo in(block), out(block), original(block);
    bool differedBefore = false;
    for (std::size_t done = 0; done < frames; done += block) {
        bb::fillNoise(in.left, seed);
        bb::fillNoise(in.right, seed);
        original = in;
        float** inputs = in.both();
        float** outputs = inPlace ? inputs : out.both();
        plugin->process(inputs, outputs, block);
        const bb::Stereo& result = inPlace ? in : out;
        const bool exact = result.left == original.left && result.right == original.right;
        if (done >= exactFrom) {
            ASSERT_TRUE(exact) << "block at frame " << done << (inPlace ? " (in place)" : "");
        } else {
            differedBefore = differedBefore || !exact;
        }
    }
    EXPECT_TRUE(differedBefore) << "the processed sound never differed from the input";
}

TEST(Audio, ActiveOffPassesTheInputThroughExactly) { checkPassThrough(false, 512); }
TEST(Audio, ActiveOffPassesTheInputThroughExactlyInPlace) { checkPassThrough(true, 1000); }

TEST(Audio, BlocksLongerThanAnyBeforeStayExact) {
    auto plugin = bb::loadModule(44100.0f, 512);
    ASSERT_NE(plugin, nullptr);
    plugin->setParameter(kDry, 0.25f);
    plugin->setParameter(kActive, 0.0f);
    unsigned seed = 3;
    settle(*plugin, 12288, seed);
    plugin->suspend();
    plugin->setBlockSize(6000);
    plugin->resume();
    for (VstInt32 frames : {6000, 2049, 5000}) {
        bb::Stereo in(frames);
        bb::fillNoise(in.left, seed);
        bb::fillNoise(in.right, seed);
        const bb::Stereo original = in;
        float** io = in.both();
        plugin->process(io, io, frames);  // in place: only the input copies keep the input
        EXPECT_EQ(in.left, original.left) << frames;
        EXPECT_EQ(in.right, original.right) << frames;
    }
}

TEST(Audio, ZeroOrNegativeFrameCountsTouchNothing) {
    auto plugin = bb::loadModule();
    ASSERT_NE(plugin, nullptr);
    unsigned seed = 13;
    settle(*plugin, 4096, seed);
    for (VstInt32 frames : {0, -1, -512, -2147483647}) {
        bb::Stereo in(512), out(512);
        bb::fillNoise(in.left, seed);
        bb::fillNoise(in.right, seed);
        std::fill(out.left.begin(), out.left.end(), 7.0f);
        std::fill(out.right.begin(), out.right.end(), 7.0f);
        const bb::Stereo original = in;
        float** inputs = in.both();
        plugin->process(inputs, out.both(), frames);
        EXPECT_TRUE(std::all_of(out.left.begin(), out.left.end(), [](float x) { return x == 7.0f; })) << frames;
        EXPECT_TRUE(std::all_of(out.right.begin(), out.right.end(), [](float x) { return x == 7.0f; })) << frames;
        EXPECT_EQ(in.left, original.left);
    }
    // And it still renders afterwards.
    settle(*plugin, 1024, seed);
}

TEST(Audio, ProgramSwitchDipsToSilenceAndBack) {
    auto plugin = bb::loadModule(44100.0f, 500);
    ASSERT_NE(plugin, nullptr);
    plugin->setProgram(3);
    dryPathOnly(*plugin);
    unsigned seed = 11;
    settle(*plugin, 25000, seed);

    plugin->setProgram(5);
    dryPathOnly(*plugin);  // the new program's own values, applied at the bottom of the dip
    const float level[2] = {0.5f, -0.25f};
    std::vector<float> gain;
    for (int b = 0; b < 30; ++b) {
        bb::Stereo in(500), out(500);
        std::fill(in.left.begin(), in.left.end(), level[0]);
        std::fill(in.right.begin(), in.right.end(), level[1]);
        float** inputs = in.both();
        plugin->process(inputs, out.both(), 500);
        for (int i = 0; i < 500; ++i) {
            ASSERT_EQ(out.left[i] / level[0], out.right[i] / level[1]) << "channels fade together";
            gain.push_back(out.left[i] / level[0]);
        }
    }
    const auto bottom = std::find(gain.begin(), gain.end(), 0.0f);
    ASSERT_NE(bottom, gain.end()) << "never reached silence";
    const long down = bottom - gain.begin() + 1;
    EXPECT_NEAR(down, 5000, 2);
    const auto back = std::find(bottom, gain.end(), 1.0f);
    ASSERT_NE(back, gain.end()) << "never came back";
    EXPECT_NEAR(back - bottom, 5000, 2);
    for (long i = 0; i < static_cast<long>(gain.size()); ++i) {
        const double expected = i < down ? 1.0 - 0.0002 * (i + 1) : std::min(1.0, 0.0002 * (i - down + 1));
        ASSERT_NEAR(gain[i], expected, 2e-4) << "frame " << i;
    }
    EXPECT_TRUE(std::all_of(back, gain.end(), [](float g) { return g == 1.0f; }));
}

TEST(Audio, MonoInFeedsBothOutputs) {
    auto plugin = bb::loadModule();
    ASSERT_NE(plugin, nullptr);
    dryPathOnly(*plugin);
    unsigned seed = 5;
    settle(*plugin, 20000, seed);
    for (int round = 0; round < 4; ++round) {
        std::vector<float> mono(512);
        bb::fillNoise(mono, seed);
        bb::Stereo out(512);
        float* inputs[2] = {mono.data(), nullptr};
        plugin->process(inputs, out.both(), 512);
        EXPECT_EQ(out.left, mono);
        EXPECT_EQ(out.right, mono);
    }
}

TEST(Audio, StereoInToOneOutputTakesTheFirstInput) {
    auto plugin = bb::loadModule();
    ASSERT_NE(plugin, nullptr);
    dryPathOnly(*plugin);
    unsigned seed = 9;
    settle(*plugin, 20000, seed);
    for (int round = 0; round < 4; ++round) {
        bb::Stereo in(512);
        bb::fillNoise(in.left, seed);
        bb::fillNoise(in.right, seed);
        std::vector<float> out(512, 99.0f);
        float* outputs[2] = {out.data(), out.data()};
        float** inputs = in.both();
        plugin->process(inputs, outputs, 512);
        EXPECT_EQ(out, in.left);
    }
}

}  // namespace
