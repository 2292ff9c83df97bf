// zornbeck bench: the cost of whole programs through the built module, as a real-time factor.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "Cli.h"

namespace zb {

namespace {

const char* const kBenchHelp =
    "Usage: zornbeck bench [--module PATH] [--seconds S]\n"
    "\n"
    "Renders stereo noise at 44100 Hz in 512-frame blocks through the module, once for every\n"
    "factory program and once for a worst case (population 59 with every voice audible, Spread\n"
    "1.0, reverb on), and prints the time per stereo frame and the real-time factor of each, then\n"
    "a summary line with the worst case. Only the process calls are timed; each run starts after\n"
    "the program's fade-in has finished.\n"
    "\n"
    "  --seconds S     seconds of audio per run (default 60)\n"
    "  --module PATH   the plug-in module (default: Zornbeck.so beside this program)\n";

constexpr float kRate = 44100.0f;
constexpr int kBlock = 512;

// Parameter indices the worst case sets.
constexpr int kPopulation = 0, kWet = 2, kSolo = 6, kSpread = 12, kReverbGain = 14, kActive = 18;
constexpr int kFirstPerson = 20, kSlots = 12, kGainSlot = 7, kPeople = 60;

struct Timing {
    double nsPerFrame;
    double realTimeFactor;
};

class NoiseSource {
public:
    NoiseSource() : left_(kRate), right_(kRate) {
        std::uint32_t state = 12345;
        for (std::size_t i = 0; i < left_.size(); ++i) {
            left_[i] = next(state);
            right_[i] = next(state);
        }
    }
    // One block of the noise loop, copied into the host's input buffers.
    void fill(float* left, float* right) {
        if (pos_ + kBlock > left_.size()) {
            pos_ = 0;
        }
        std::copy_n(left_.begin() + pos_, kBlock, left);
        std::copy_n(right_.begin() + pos_, kBlock, right);
        pos_ += kBlock;
    }

private:
    static float next(std::uint32_t& state) {
        state = state * 1664525u + 1013904223u;
        return (static_cast<float>(state >> 8) / 16777216.0f - 0.5f) * 0.5f;
    }
    std::vector<float> left_, right_;
    std::size_t pos_ = 0;
};

Timing timeRun(PluginLoader& plugin, NoiseSource& noise, double seconds) {
    std::vector<float> in0(kBlock), in1(kBlock), out0(kBlock), out1(kBlock);
    float* inputs[2] = {in0.data(), in1.data()};
    float* outputs[2] = {out0.data(), out1.data()};
    // Past the 10000-frame program fade, so the full crowd is running when the clock starts.
    for (int done = 0; done < 12288; done += kBlock) {
        noise.fill(in0.data(), in1.data());
        plugin.process(inputs, outputs, kBlock);
    }
    const long long blocks = std::max(1LL, static_cast<long long>(seconds * kRate / kBlock));
    std::chrono::steady_clock::duration spent{};
    for (long long b = 0; b < blocks; ++b) {
        noise.fill(in0.data(), in1.data());
        const auto start = std::chrono::steady_clock::now();
        plugin.process(inputs, outputs, kBlock);
        spent += std::chrono::steady_clock::now() - start;
    }
    const double ns = std::chrono::duration<double, std::nano>(spent).count();
    const double frames = static_cast<double>(blocks) * kBlock;
    return Timing{ns / frames, (frames / kRate) / (ns * 1e-9)};
}

}  // namespace

int commandBench(const std::vector<std::string>& args) {
    std::string modulePath = defaultModulePath();
    double seconds = 60.0;
    ArgScanner scan("bench", args);
    std::string value;
    while (!scan.done()) {
        if (scan.flag("--help") || scan.flag("-h")) {
            std::fputs(kBenchHelp, stdout);
            return kExitOk;
        }
        if (scan.option("--module", modulePath)) {
            continue;
        }
        if (scan.option("--seconds", value)) {
            const std::optional<double> s = parseFinite(value);
            if (!s || *s <= 0.0 || *s > 3600.0) {
                throw UsageError("--seconds " + value + " is not a number of seconds above 0 and up to 3600");
            }
            seconds = *s;
            continue;
        }
        throw UsageError("unexpected argument '" + scan.positional() + "' for bench (see zornbeck bench --help)");
    }

    std::unique_ptr<PluginLoader> plugin = loadPlugin(modulePath, kRate, kBlock);
    const int programs = plugin->effect()->numPrograms;
    NoiseSource noise;
    std::printf("%.0f s of stereo noise at 44100 Hz, %d-frame blocks; real time is %.0f ns per frame\n\n", seconds,
                kBlock, 1e9 / kRate);
    std::printf("  %-32s %10s %14s\n", "program", "ns/frame", "x real time");
    for (int p = 0; p < programs; ++p) {
        std::string name;
        plugin->programNameIndexed(p, name);
        plugin->setProgram(p);
        const Timing t = timeRun(*plugin, noise, seconds);
        std::printf("  %2d %-29s %10.1f %14.1f\n", p, name.c_str(), t.nsPerFrame, t.realTimeFactor);
        std::fflush(stdout);
    }

    plugin->setProgram(0);
    plugin->setParameter(kPopulation, 1.0f);
    plugin->setParameter(kSolo, 0.0f);
    plugin->setParameter(kWet, 0.5f);
    plugin->setParameter(kSpread, 1.0f);
    plugin->setParameter(kReverbGain, 0.5f);
    plugin->setParameter(kActive, 1.0f);
    for (int person = 0; person < kPeople; ++person) {
        plugin->setParameter(kFirstPerson + kSlots * person + kGainSlot, 0.5f);
    }
    const Timing worst = timeRun(*plugin, noise, seconds);
    std::printf("  %-32s %10.1f %14.1f\n", "worst case", worst.nsPerFrame, worst.realTimeFactor);
    std::printf("\nWorst case (59 voices, all audible, Spread 1.0, reverb on): %.1f ns per frame, %.1fx real time\n",
                worst.nsPerFrame, worst.realTimeFactor);
    return kExitOk;
}

}  // namespace zb
