// What the strictest hosts and validators do to a plug-in: every rate, block sizes that change
// every call, automation everywhere, calls without audio, control calls from another thread,
// activation cycles; the output stays finite and free of denormals, the tail is told honestly.
#include <algorithm>
#include <atomic>
#include <random>
#include <thread>

#include "Vst3Fixture.h"

namespace {

using namespace v3;

std::vector<std::uint32_t> exposedIds(sh::Instance& plugin) {
    std::vector<std::uint32_t> ids;
    for (const auto& p : plugin.parameters()) {
        if (p.id != kProgramId) {
            ids.push_back(p.id);
        }
    }
    return ids;
}

TEST(Vst3Strictness, EveryRateAndChangingBlocksWithAutomationStayFiniteAndClean) {
    auto m = loadBundle();
    ASSERT_NE(m, nullptr);
    std::mt19937 rng(17);
    for (double rate : {8000.0, 22050.0, 44100.0, 96000.0, 192000.0, 384000.0}) {
        sh::Instance plugin(*m, rate, 8192);
        ASSERT_TRUE(plugin.ok());
        const auto ids = exposedIds(plugin);
        Stereo in(8192), out(8192);
        unsigned seed = 3;
        for (int b = 0; b < 24; ++b) {
            const int frames = b < 8 ? 1 + b : 1 + static_cast<int>(rng() % 8192);
            sh::Changes points;
            for (int at = 0; at < frames; at += 32) {
                const std::uint32_t id = ids[rng() % ids.size()];
                points.add(id, at + static_cast<int>(rng() % 32u) % std::max(frames - at, 1),
                           std::uniform_real_distribution<double>(0.0, 1.0)(rng));
            }
            noise(in, seed);
            ASSERT_EQ(plugin.process(in.ptr(), out.ptr(), frames, &points), sh::kOk);
            out.l.resize(static_cast<std::size_t>(frames));
            out.r.resize(static_cast<std::size_t>(frames));
            ASSERT_TRUE(clean(out.l) && clean(out.r)) << rate << " Hz, block " << b;
            out.l.resize(8192);
            out.r.resize(8192);
        }
    }
}

TEST(Vst3Strictness, ExtremeValuesOfEveryParameterGiveNoNanInfOrDenormal) {
    auto m = loadBundle();
    ASSERT_NE(m, nullptr);
    sh::Instance plugin(*m, 44100.0, 1024);
    const auto ids = exposedIds(plugin);
    Stereo in(1024), out(1024);
    unsigned seed = 9;
    for (double v : {0.0, 1.0, 1e-9, 0.5, 1.0 - 1e-9}) {
        sh::Changes points;
        for (std::uint32_t id : ids) {
            if (id != kBypassId) {
                points.add(id, 0, v);
            }
        }
        for (int b = 0; b < 12; ++b) {
            noise(in, seed);
            ASSERT_EQ(plugin.process(in.ptr(), out.ptr(), 1024, b == 0 ? &points : nullptr), sh::kOk);
            ASSERT_TRUE(clean(out.l) && clean(out.r)) << "all at " << v;
        }
    }
    // Silence after loud noise decays into zeros, never into denormals.
    std::fill(in.l.begin(), in.l.end(), 0.0f);
    std::fill(in.r.begin(), in.r.end(), 0.0f);
    for (int b = 0; b < 400; ++b) {
        plugin.process(in.ptr(), out.ptr(), 1024);
        ASSERT_TRUE(clean(out.l) && clean(out.r)) << "decay block " << b;
    }
}

TEST(Vst3Strictness, CallsWithoutAudioApplyValuesAndNeverTouchTheInput) {
    auto m = loadBundle();
    ASSERT_NE(m, nullptr);
    sh::Instance plugin(*m);
    // numSamples 0: a parameter flush.
    sh::Changes points;
    points.add(12, 0, 0.375);
    sh::ProcessData flush{0, 0, 0, 0, 0, nullptr, nullptr, &points, nullptr, nullptr, nullptr, nullptr};
    ASSERT_EQ(sh::call<sh::tresult>(plugin.processor, 9, &flush), sh::kOk);
    EXPECT_EQ(plugin.get(12), 0.375);
    // No input bus: processed from silence. No output channels: nothing written.
    Stereo out(300);
    sh::AudioBusBuffers outBus{2, 0, out.ptr()};
    sh::ProcessData noInput{0, 0, 300, 0, 1, nullptr, &outBus, nullptr, nullptr, nullptr, nullptr, nullptr};
    ASSERT_EQ(sh::call<sh::tresult>(plugin.processor, 9, &noInput), sh::kOk);
    EXPECT_TRUE(clean(out.l) && clean(out.r));
    sh::AudioBusBuffers noChannels{0, 0, nullptr};
    sh::ProcessData empty{0, 0, 300, 1, 1, &noChannels, &noChannels, nullptr, nullptr, nullptr, nullptr, nullptr};
    ASSERT_EQ(sh::call<sh::tresult>(plugin.processor, 9, &empty), sh::kOk);
    EXPECT_NE(sh::call<sh::tresult>(plugin.processor, 9, static_cast<void*>(nullptr)), sh::kOk);

    Stereo in(512), copy(512), result(512);
    unsigned seed = 5;
    noise(in, seed);
    copy = in;
    ASSERT_EQ(plugin.process(in.ptr(), result.ptr(), 512), sh::kOk);
    EXPECT_TRUE(in == copy) << "the input was written";
}

TEST(Vst3Strictness, ProcessingWhileAnotherThreadSetsValuesAndReadsStrings) {
    auto m = loadBundle();
    ASSERT_NE(m, nullptr);
    sh::Instance plugin(*m, 44100.0, 256);
    const auto ids = exposedIds(plugin);
    std::atomic<bool> done{false};
    std::atomic<long> calls{0};
    std::thread control([&] {
        std::mt19937 rng(2);
        while (!done.load()) {
            const std::uint32_t id = ids[rng() % ids.size()];
            const double v = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
            plugin.set(id, v);
            const std::string text = plugin.text(id, plugin.get(id));
            if (text.empty() || text == "(refused)") {
                ADD_FAILURE() << "no text for " << id;
                break;
            }
            ++calls;
        }
    });
    Stereo in(256), out(256);
    unsigned seed = 1;
    bool allClean = true;
    for (int b = 0; b < 500; ++b) {
        noise(in, seed);
        allClean = allClean && plugin.process(in.ptr(), out.ptr(), 256) == sh::kOk && clean(out.l) && clean(out.r);
    }
    done = true;
    control.join();
    EXPECT_TRUE(allClean);
    EXPECT_GT(calls.load(), 100);
}

// The tail covers the longest delay and the room; after it the output has died away.
TEST(Vst3Strictness, TheTailIsTold) {
    auto m = loadBundle();
    ASSERT_NE(m, nullptr);
    sh::Instance plugin(*m, 44100.0, 4096);
    plugin.set(14, 1.0);  // reverb at full gain
    plugin.set(15, 1.0);  // and its largest room
    const std::uint32_t tail = sh::call<std::uint32_t>(plugin.processor, 10);
    EXPECT_GE(tail, static_cast<std::uint32_t>(44100 / 3));  // at least the longest delay, a third of a second
    EXPECT_LT(tail, 44100u * 60u);
    Stereo in(4096), out(4096);
    unsigned seed = 8;
    float peak = 0.0f;
    for (int b = 0; b < 20; ++b) {
        noise(in, seed);
        plugin.process(in.ptr(), out.ptr(), 4096);
        for (float x : out.l) {
            peak = std::max(peak, std::fabs(x));
        }
    }
    std::fill(in.l.begin(), in.l.end(), 0.0f);
    std::fill(in.r.begin(), in.r.end(), 0.0f);
    float after = 0.0f;
    for (std::uint32_t done = 0; done < tail + 44100u; done += 4096) {
        plugin.process(in.ptr(), out.ptr(), 4096);
        if (done >= tail) {
            for (std::size_t i = 0; i < out.l.size(); ++i) {
                after = std::max({after, std::fabs(out.l[i]), std::fabs(out.r[i])});
            }
        }
    }
    EXPECT_LT(after, peak * 1e-3f) << "still sounding -60 dB after the tail of " << tail << " samples";
}

TEST(Vst3Strictness, SilenceFlagsAndAnActivationCycleThatClearsTheSound) {
    auto m = loadBundle();
    ASSERT_NE(m, nullptr);
    sh::Instance plugin(*m, 44100.0, 512);
    Stereo in(512), out(512);
    unsigned seed = 2;
    float* inputs[2] = {in.l.data(), in.r.data()};
    sh::AudioBusBuffers inBus{2, 0, inputs};
    sh::AudioBusBuffers outBus{2, 0, out.ptr()};
    sh::ProcessData d{0, 0, 512, 1, 1, &inBus, &outBus, nullptr, nullptr, nullptr, nullptr, nullptr};
    for (int b = 0; b < 20; ++b) {
        noise(in, seed);
        ASSERT_EQ(sh::call<sh::tresult>(plugin.processor, 9, &d), sh::kOk);
    }
    EXPECT_EQ(outBus.silenceFlags, 0u);
    // As Ardour starts an export: the delay lines and the room are emptied.
    plugin.stop();
    plugin.start();
    std::fill(in.l.begin(), in.l.end(), 0.0f);
    std::fill(in.r.begin(), in.r.end(), 0.0f);
    ASSERT_EQ(sh::call<sh::tresult>(plugin.processor, 9, &d), sh::kOk);
    // Nothing of the noise is left: only the engine's own anti-denormal floor, far below hearing.
    for (std::size_t i = 0; i < out.l.size(); ++i) {
        ASSERT_LT(std::fabs(out.l[i]) + std::fabs(out.r[i]), 1e-12f) << "frame " << i;
    }
    EXPECT_EQ(outBus.silenceFlags, 0u) << "not exactly silent: not flagged";

    // Bypassed, silence in is exactly silence out, and flagged.
    plugin.set(kBypassId, 1.0);
    for (int b = 0; b < 30; ++b) {
        ASSERT_EQ(sh::call<sh::tresult>(plugin.processor, 9, &d), sh::kOk);
    }
    EXPECT_TRUE(std::all_of(out.l.begin(), out.l.end(), [](float x) { return x == 0.0f; }));
    EXPECT_EQ(outBus.silenceFlags, 3u);
}

}  // namespace
