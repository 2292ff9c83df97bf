// Changes heard from outside: glides without zipper, dips without clicks, bad values that do
// not poison the output, and rates that mean the same time and pitch, through the built module.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PluginLoader.h"
#include "model/Program.h"

namespace {

std::unique_ptr<zb::PluginLoader> load(float rate, int block) {
    const char* dir = std::getenv("ZORNBECK_BUILD");
    zb::LoadOptions options;
    options.path = std::string(dir != nullptr ? dir : ".") + "/Zornbeck.so";
    options.sampleRate = rate;
    options.blockSize = block;
    std::string error;
    auto plugin = zb::PluginLoader::load(options, error);
    EXPECT_NE(plugin, nullptr) << error;
    return plugin;
}

// Voices draw their phases from a per-thread sequence: a run on a fresh thread starts it anew,
// so two runs compare sample for sample.
template <typename Run>
void onFreshThread(Run run) {
    std::thread(run).join();
}

std::vector<float> tone(double frequency, std::size_t frames, double rate, float amplitude = 0.25f) {
    std::vector<float> x(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        x[i] =
            amplitude * static_cast<float>(std::sin(2.0 * M_PI * frequency * static_cast<double>(i) / rate));
    }
    return x;
}

// An instance rendering stereo in its block size; `before` runs before each block.
struct Player {
    std::unique_ptr<zb::PluginLoader> plugin;
    double rate;
    int block;

    Player(float r, int b) : plugin(load(r, b)), rate(r), block(b) {}

    void set(int index, float value) { plugin->setParameter(index, value); }
    void person(int slot, float value) { set(personIndex(0, slot), value); }

    // Channel 0 (or 1) of the output for `input` on both inputs.
    std::vector<float> render(const std::vector<float>& input, int channel = 0,
                              const std::function<void(std::size_t)>& before = nullptr) {
        std::vector<float> out(input.size());
        std::vector<float> left(static_cast<std::size_t>(block));
        std::vector<float> right(static_cast<std::size_t>(block));
        for (std::size_t start = 0; start < input.size(); start += static_cast<std::size_t>(block)) {
            if (before) {
                before(start);
            }
            const int n = static_cast<int>(
                std::min<std::size_t>(static_cast<std::size_t>(block), input.size() - start));
            std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(start), n, left.begin());
            std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(start), n, right.begin());
            float* in[2] = {left.data(), right.data()};
            plugin->process(in, in, n);
            const std::vector<float>& side = channel == 0 ? left : right;
            std::copy_n(side.begin(), n, out.begin() + static_cast<std::ptrdiff_t>(start));
        }
        return out;
    }

    // One voice panned to channel 0, no dry, no spread, no reverb, no modulation, no shift.
    void oneVoice() {
        set(parPopulationIndex, 0.0f);
        set(parSoloIndex, 0.0f);
        set(parGlobalWetIndex, 0.5f);
        set(parGlobalDryIndex, 0.0f);
        set(parAllpassSpreadIndex, 0.0f);
        set(parPitchAllIndex, 0.5f);
        set(parReverbWetIndex, 0.0f);
        person(slotPitchShift, 0.5f);
        person(slotPitchModGain, 0.0f);
        person(slotDelayTime, 0.0f);
        person(slotDelayModGain, 0.0f);
        person(slotDelayModSpeed, 0.0f);
        person(slotPan, 0.0f);
        person(slotGain, 1.0f);
        render(std::vector<float>(static_cast<std::size_t>(rate * 0.7), 0.0f));
    }
};

void fft(std::vector<std::complex<double>>& a) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(a[i], a[j]);
        }
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2.0 * M_PI / static_cast<double>(len));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> t = 1.0;
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * t;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                t *= w;
            }
        }
    }
}

// Power spectrum (bins 0 .. n/2) of a Blackman-Harris window of n frames from `from`: its
// side lobes (-92 dB) stay below the levels measured here.
std::vector<double> spectrum(const std::vector<float>& x, std::size_t from, std::size_t n) {
    std::vector<std::complex<double>> a(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double p = 2.0 * M_PI * static_cast<double>(i) / static_cast<double>(n);
        const double w =
            0.35875 - 0.48829 * std::cos(p) + 0.14128 * std::cos(2 * p) - 0.01168 * std::cos(3 * p);
        a[i] = x[from + i] * w;
    }
    fft(a);
    std::vector<double> power(n / 2 + 1);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        power[k] = std::norm(a[k]);
    }
    return power;
}

double db(double ratio) {
    return 10.0 * std::log10(ratio + 1e-30);
}

// Everything farther than `band` Hz from the tone, against the tone: what steps in a gain or a
// delay spray across the spectrum.
double zipperDb(const std::vector<float>& x, std::size_t from, double f0, double rate, double band = 60.0) {
    const std::size_t n = 1 << 16;
    const std::vector<double> power = spectrum(x, from, n);
    double near = 0.0;
    double far = 0.0;
    for (std::size_t k = 0; k < power.size(); ++k) {
        const double f = static_cast<double>(k) * rate / static_cast<double>(n);
        (std::fabs(f - f0) <= band ? near : far) += power[k];
    }
    return db(far / near);
}

// Level of one frequency against the strongest bin, dB.
double levelAtDb(const std::vector<double>& power, double f, double rate) {
    const std::size_t n = (power.size() - 1) * 2;
    const std::size_t k = static_cast<std::size_t>(std::lround(f * static_cast<double>(n) / rate));
    double peak = 0.0;
    double at = 0.0;
    for (std::size_t i = 0; i < power.size(); ++i) {
        peak = std::max(peak, power[i]);
    }
    for (std::size_t i = k - 3; i <= k + 3; ++i) {
        at = std::max(at, power[i]);
    }
    return db(at / peak);
}

double largestJump(const std::vector<float>& x, std::size_t from, std::size_t to) {
    double jump = 0.0;
    for (std::size_t i = from + 1; i < to; ++i) {
        jump = std::max(jump, std::fabs(double(x[i]) - x[i - 1]));
    }
    return jump;
}

}  // namespace

// Each value swept linearly over 200 blocks during a steady 1 kHz tone; steps at block edges
// would spray the spectrum (they measured -31 to -49 dB, -28 dB for the swing depth).
TEST(Changes, SweepsLeaveNoZipper) {
    struct Sweep {
        const char* name;
        int index;
        float from, to;
    };
    const Sweep sweeps[] = {
        {"Wet", parGlobalWetIndex, 0.2f, 0.8f},
        {"Dry", parGlobalDryIndex, 0.2f, 0.8f},
        {"Gain", personIndex(0, slotGain), 0.1f, 1.0f},
        {"Pan", personIndex(0, slotPan), 0.0f, 0.9f},
        {"Delay Mod Gain", personIndex(0, slotDelayModGain), 0.0f, 0.05f},
    };
    for (const Sweep& sweep : sweeps) {
        Player player(44100.0f, 512);
        ASSERT_TRUE(player.plugin);
        player.oneVoice();
        player.person(slotDelayTime, 0.1f);
        player.set(sweep.index, sweep.from);
        player.render(tone(1000.0, 30000, 44100.0));
        const int blocks = 200;
        const std::vector<float> out =
            player.render(tone(1000.0, blocks * 512, 44100.0), 0, [&](std::size_t start) {
                const float t = static_cast<float>(start / 512) / static_cast<float>(blocks - 1);
                player.set(sweep.index, sweep.from + (sweep.to - sweep.from) * t);
            });
        const double zipper = zipperDb(out, 20000, 1000.0, 44100.0);
        std::printf("%s sweep: zipper %.1f dB\n", sweep.name, zipper);
        EXPECT_LT(zipper, -80.0) << sweep.name;
    }
}

// The bypass cross-fade moves a little every frame even in host blocks of 4096 frames.
TEST(Changes, BypassFadesFrameByFrame) {
    Player player(44100.0f, 4096);
    ASSERT_TRUE(player.plugin);
    player.oneVoice();
    player.set(parGlobalWetIndex, 0.0f);  // processed: silence; bypassed: the input
    player.render(std::vector<float>(20000, 0.5f));
    player.set(parActiveIndex, 0.0f);
    const std::vector<float> out = player.render(std::vector<float>(16384, 0.5f));
    EXPECT_NEAR(out.back(), 0.5f, 1e-6f);
    EXPECT_LT(largestJump(out, 0, out.size()), 0.5 * 0.0001 * 1.01);
    player.set(parActiveIndex, 1.0f);
    const std::vector<float> back = player.render(std::vector<float>(16384, 0.5f));
    EXPECT_LT(std::fabs(back.back()), 1e-6f);
    EXPECT_LT(largestJump(back, 0, back.size()), 0.5 * 0.0001 * 1.01);
}

// A program change and a change of population, solo or spread: one dip, nothing sharper than
// the tone itself moves without the change, in either setting.
TEST(Changes, DipsAreSmoothAroundChanges) {
    struct Change {
        const char* name;
        int program;
        std::function<void(Player&)> apply;
    };
    const Change changes[] = {
        {"program 0 to 20", 0, [](Player& p) { p.plugin->setProgram(20); }},
        {"program 20 to 2", 20, [](Player& p) { p.plugin->setProgram(2); }},
        {"program 2 reloaded", 2, [](Player& p) { p.plugin->setProgram(2); }},
        {"population", 0, [](Player& p) { p.set(parPopulationIndex, 0.5f); }},
        {"solo", 2, [](Player& p) { p.set(parSoloIndex, 1.0f); }},
        {"spread", 0, [](Player& p) { p.set(parAllpassSpreadIndex, 0.8f); }},
    };
    const double rate = 44100.0;
    const std::size_t second = 44100;
    for (const Change& change : changes) {
        for (int channel = 0; channel < 2; ++channel) {
            double before = 0.0, around = 0.0, after = 0.0;
            onFreshThread([&] {
                Player player(44100.0f, 512);
                ASSERT_TRUE(player.plugin);
                player.plugin->setProgram(change.program);
                // One unbroken tone across the change.
                const std::vector<float> whole = tone(110.0, 7 * second, rate, 0.3f);
                const auto split = whole.begin() + 3 * static_cast<std::ptrdiff_t>(second);
                const std::vector<float> steady =
                    player.render(std::vector<float>(whole.begin(), split), channel);
                before = largestJump(steady, second, 3 * second);
                change.apply(player);
                const std::vector<float> out = player.render(std::vector<float>(split, whole.end()), channel);
                around = largestJump(out, 0, second);
                after = largestJump(out, 2 * second, 4 * second);
            });
            std::printf("%s, channel %d: largest jump %.4f around the change, %.4f before, %.4f after\n",
                        change.name, channel, around, before, after);
            EXPECT_LT(around, 1.1 * std::max(before, after)) << change.name << ", channel " << channel;
        }
    }
}

// A non-finite input sample enters as silence, and a NaN or infinite value of any parameter that
// feeds a gain or a coefficient acts as the end of its range: the output equals, sample for
// sample, a run with 0 (or 1 for +inf) in its place, and stays finite.
TEST(Changes, NonFiniteValuesActAsTheirRangeEnds) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        int index;  // -1: the input sample
        float bad, stands;
    };
    const Case cases[] = {
        {"input NaN", -1, nan, 0.0f},
        {"input +inf", -1, inf, 0.0f},
        {"input -inf", -1, -inf, 0.0f},
        {"Wet", parGlobalWetIndex, nan, 0.0f},
        {"Dry", parGlobalDryIndex, inf, 1.0f},
        {"Shift All", parPitchAllIndex, nan, 0.0f},
        {"Shift All +inf", parPitchAllIndex, inf, 1.0f},
        {"Pitch Shift", personIndex(0, slotPitchShift), -inf, 0.0f},
        {"Pitch M. Gain", personIndex(1, slotPitchModGain), inf, 1.0f},
        {"Pitch M. Speed", personIndex(2, slotPitchModSpeed), nan, 0.0f},
        {"Delay Time", personIndex(0, slotDelayTime), inf, 1.0f},
        {"Delay M. Gain", personIndex(1, slotDelayModGain), nan, 0.0f},
        {"Delay M. Speed", personIndex(2, slotDelayModSpeed), inf, 1.0f},
        {"Pan", personIndex(0, slotPan), nan, 0.0f},
        {"Gain", personIndex(1, slotGain), inf, 1.0f},
        {"Reverb Gain", parReverbWetIndex, nan, 0.0f},
    };
    auto run = [](const Case& c, float value) {
        std::vector<float> out;
        onFreshThread([&] {
            Player player(44100.0f, 512);
            ASSERT_TRUE(player.plugin);
            player.plugin->setProgram(2);
            player.set(parReverbWetIndex, 0.7f);
            std::vector<float> input = tone(330.0, 3 * 44100, 44100.0, 0.3f);
            player.render(std::vector<float>(input.begin(), input.begin() + 30000));
            const float original = c.index >= 0 ? player.plugin->getParameter(c.index) : 0.0f;
            if (c.index < 0) {
                input[40000] = value;
            }
            out = player.render(std::vector<float>(input.begin() + 30000, input.end()), 0,
                                [&](std::size_t start) {
                                    if (c.index >= 0 && start == 10240) {
                                        player.set(c.index, value);
                                    } else if (c.index >= 0 && start == 10240 + 4 * 512) {
                                        player.set(c.index, original);
                                    }
                                });
        });
        return out;
    };
    for (const Case& c : cases) {
        const std::vector<float> bad = run(c, c.bad);
        const std::vector<float> stands = run(c, c.stands);
        ASSERT_EQ(bad.size(), stands.size());
        std::size_t finite = 0;
        std::size_t same = 0;
        for (std::size_t i = 0; i < bad.size(); ++i) {
            finite += std::isfinite(bad[i]) ? 1 : 0;
            same += bad[i] == stands[i] ? 1 : 0;
        }
        EXPECT_EQ(finite, bad.size()) << c.name;
        EXPECT_EQ(same, bad.size()) << c.name;
        double loud = 0.0;
        for (std::size_t i = bad.size() - 20000; i < bad.size(); ++i) {
            loud = std::max(loud, double(std::fabs(bad[i])));
        }
        EXPECT_GT(loud, 0.01) << c.name << ": the sound must come back";
    }
}

// Suspend and resume start from silence: no voice, ring or reverb tail survives.
TEST(Changes, ResumeSilencesVoicesAndReverb) {
    Player player(44100.0f, 512);
    ASSERT_TRUE(player.plugin);
    player.set(parReverbWetIndex, 1.0f);
    player.set(parReverbSizeIndex, 1.0f);
    player.render(tone(440.0, 60000, 44100.0, 0.5f));
    player.plugin->suspend();
    player.plugin->resume();
    const std::vector<float> out = player.render(std::vector<float>(20000, 0.0f));
    EXPECT_LT(largestJump(out, 0, out.size()), 1e-9);
    double peak = 0.0;
    for (float x : out) {
        peak = std::max(peak, double(std::fabs(x)));
    }
    EXPECT_LT(peak, 1e-9);
}

// Two instances at different rates in one process: each shifts by its own hertz.
TEST(Changes, InstancesKeepTheirOwnRate) {
    Player high(96000.0f, 512);
    Player low(44100.0f, 512);
    ASSERT_TRUE(high.plugin && low.plugin);
    for (Player* player : {&high, &low}) {
        player->oneVoice();
        player->person(slotPitchShift, 1.0f);  // +80 Hz
        player->render(std::vector<float>(static_cast<std::size_t>(player->rate * 0.5), 0.0f));
    }
    for (Player* player : {&high, &low}) {
        const std::size_t n = 1 << 16;
        const std::vector<float> out = player->render(tone(1000.0, n + 20000, player->rate));
        const std::vector<double> power = spectrum(out, 20000, n);
        const std::size_t peak =
            static_cast<std::size_t>(std::max_element(power.begin(), power.end()) - power.begin());
        const double bin = player->rate / static_cast<double>(n);
        EXPECT_NEAR(static_cast<double>(peak) * bin, 1080.0, 2.0 * bin) << player->rate;
    }
}

// The delay dial means the same time at every rate: 0.75 is 250 ms.
TEST(Changes, DelayDialMeansTheSameTimeAtEveryRate) {
    for (float rate : {22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
        Player player(rate, 512);
        ASSERT_TRUE(player.plugin);
        player.oneVoice();
        std::vector<float> click(static_cast<std::size_t>(rate * 0.4), 0.0f);
        click[1000] = 1.0f;
        const std::vector<float> direct = player.render(click);
        player.person(slotDelayTime, 0.75f);
        player.render(std::vector<float>(static_cast<std::size_t>(rate * 0.3), 0.0f));
        const std::vector<float> late = player.render(click);
        auto loudest = [](const std::vector<float>& x) {
            return static_cast<double>(
                std::max_element(x.begin(), x.end(),
                                 [](float a, float b) { return std::fabs(a) < std::fabs(b); }) -
                x.begin());
        };
        const double seconds = (loudest(late) - loudest(direct)) / rate;
        EXPECT_NEAR(seconds, 0.25, 2.0 / rate) << rate;
    }
}

namespace {
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}
}  // namespace

// Program changes before every block, faster than the fade: the engine holds the silence and
// resets once per fade length, so the storm costs about what steady blocks cost. The two
// instances take turns block by block, so both see the same load on the machine.
TEST(Changes, ProgramStormsCostAboutASteadyBlock) {
    for (int block : {64, 512}) {
        Player steady(44100.0f, block);
        Player storm(44100.0f, block);
        ASSERT_TRUE(steady.plugin && storm.plugin);
        steady.plugin->setProgram(19);
        storm.plugin->setProgram(19);
        std::vector<float> left(static_cast<std::size_t>(block), 0.1f),
            right(static_cast<std::size_t>(block), -0.1f);
        float* io[2] = {left.data(), right.data()};
        double spent[2] = {0.0, 0.0};
        const int blocks = 400000 / block;
        for (int i = -blocks / 10; i < blocks; ++i) {
            storm.plugin->setProgram(i % 2 == 0 ? 20 : 19);
            int which = 0;
            for (Player* player : {&steady, &storm}) {
                const double start = threadSeconds();
                player->plugin->process(io, io, block);
                if (i >= 0) {
                    spent[which] += threadSeconds() - start;
                }
                ++which;
            }
        }
        std::printf("%d-frame blocks: steady %.1f us, during a program storm %.1f us per block\n", block,
                    spent[0] / blocks * 1e6, spent[1] / blocks * 1e6);
        EXPECT_LT(spent[1], 2.0 * spent[0]) << block;
    }
}

// One voice shifted by +-80 Hz (its own shift) and +-440 Hz (the shift of all): the mirrored
// image stays far below the shifted tone, at two tone frequencies.
TEST(Changes, ShiftedVoiceLeavesNoImage) {
    struct Shift {
        float person, all;
        double hertz;
    };
    const Shift shifts[] = {
        {1.0f, 0.5f, 80.0}, {0.0f, 0.5f, -80.0}, {0.5f, 1.0f, 440.0}, {0.5f, 0.0f, -440.0}};
    for (double f0 : {1000.0, 3000.0}) {
        for (const Shift& shift : shifts) {
            Player player(44100.0f, 512);
            ASSERT_TRUE(player.plugin);
            player.oneVoice();
            player.person(slotPitchShift, shift.person);
            player.set(parPitchAllIndex, shift.all);
            const std::size_t n = 1 << 16;
            const std::vector<float> out = player.render(tone(f0, n + 20000, 44100.0));
            const std::vector<double> power = spectrum(out, 20000, n);
            const double wanted = levelAtDb(power, f0 + shift.hertz, 44100.0);
            const double image = levelAtDb(power, f0 - shift.hertz, 44100.0);
            std::printf("%.0f Hz shifted by %+.0f Hz: image %.1f dB\n", f0, shift.hertz, image - wanted);
            EXPECT_GT(wanted, -1.0) << f0 << " " << shift.hertz;
            EXPECT_LT(image - wanted, -55.0) << f0 << " " << shift.hertz;
        }
    }
}

// A program chunk of arbitrary bytes (NaN, infinities, huge values among them) plays finite
// samples, and the sound comes back with a sane chunk.
TEST(Changes, ArbitraryChunkBytesKeepTheOutputFinite) {
    Player player(44100.0f, 512);
    ASSERT_TRUE(player.plugin);
    const std::vector<std::uint8_t> sane = player.plugin->getChunk(true);
    ASSERT_FALSE(sane.empty());
    const std::vector<float> input = tone(330.0, 44100, 44100.0, 0.3f);
    unsigned state = 99;
    for (int round = 0; round < 8; ++round) {
        std::vector<std::uint8_t> noise(sane.size());
        for (std::uint8_t& byte : noise) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<std::uint8_t>(state >> 24);
        }
        ASSERT_EQ(player.plugin->setChunk(noise, true), 1);
        const std::vector<float> out = player.render(input);
        const std::vector<float> right = player.render(input, 1);
        for (std::size_t i = 0; i < out.size(); ++i) {
            ASSERT_TRUE(std::isfinite(out[i]) && std::isfinite(right[i]))
                << "round " << round << ", frame " << i;
        }
    }
    ASSERT_EQ(player.plugin->setChunk(sane, true), 1);
    player.render(input);
    const std::vector<float> out = player.render(input);
    double peak = 0.0;
    for (float x : out) {
        ASSERT_TRUE(std::isfinite(x));
        peak = std::max(peak, double(std::fabs(x)));
    }
    EXPECT_GT(peak, 0.05);
}
