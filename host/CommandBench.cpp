// zornbeck bench: the cost of whole programs through the built module, as a real-time factor.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "Cli.h"

namespace zb {

namespace {

const char* const kBenchHelp =
    "Usage: zornbeck bench [--module PATH] [--seconds S] [--block N] [--rate HZ] [--program P]\n"
    "                      [--reference]\n"
    "\n"
    "Renders stereo noise through the module, once for every factory program (or only program P)\n"
    "and once for a worst case (population 59 with every voice audible, Spread 1.0, reverb on),\n"
    "and prints the time per stereo frame and the real-time factor of each, then a summary line\n"
    "with the heaviest program and the worst case. Only the process calls are timed, as CPU time\n"
    "of the rendering thread (wall-clock time on Windows), so other work on the machine disturbs\n"
    "the figures little; each run starts after the program's fade-in has finished.\n"
    "\n"
    "  --seconds S     seconds of audio per run (default 60)\n"
    "  --block N       frames per process call, 1 to 8192 (default 512)\n"
    "  --rate HZ       sample rate, 8000 to 384000 (default 44100)\n"
    "  --program P     only this program (number or name) and the worst case\n"
    "  --reference     also time each run through the engine's frame-by-frame reference path (a\n"
    "                  second instance, opened with ZORNBECK_REFERENCE_PATH=1) and print how many\n"
    "                  times faster the shipped path is\n"
    "  --module PATH   the plug-in module (default: Zornbeck.so beside this program)\n";

// Parameter indices the worst case sets.
constexpr int kPopulation = 0, kWet = 2, kSolo = 6, kSpread = 12, kReverbGain = 14, kActive = 18;
constexpr int kFirstPerson = 20, kSlots = 12, kGainSlot = 7, kPeople = 60;
constexpr const char* kReferenceVariable = "ZORNBECK_REFERENCE_PATH";

struct Settings {
    double seconds = 60.0;
    int block = 512;
    double rate = 44100.0;
};

struct Timing {
    double nsPerFrame;
    double realTimeFactor;
    double referenceNs = 0.0;
};

// Sets, or with nullptr removes, a variable of this process's environment.
void setVariable(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value != nullptr ? value : "");  // an empty value removes it
#else
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
#endif
}

// The rendering thread's CPU time; on Windows, whose thread clock ticks in steps of about 16 ms,
// the wall clock instead.
#ifdef _WIN32
constexpr const char* kClockName = "wall-clock time";
double threadSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
#else
constexpr const char* kClockName = "thread CPU time";
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}
#endif

// A loop of stereo noise the host hands over in place, block after block, so nothing but the
// process calls runs between two readings of the clock.
class NoiseSource {
  public:
    explicit NoiseSource(int block) : block_(block), left_(kLoop), right_(kLoop) {
        std::uint32_t state = 12345;
        for (std::size_t i = 0; i < left_.size(); ++i) {
            left_[i] = next(state);
            right_[i] = next(state);
        }
    }
    void next(float** inputs) {
        if (pos_ + static_cast<std::size_t>(block_) > left_.size()) {
            pos_ = 0;
        }
        inputs[0] = left_.data() + pos_;
        inputs[1] = right_.data() + pos_;
        pos_ += static_cast<std::size_t>(block_);
    }

  private:
    static constexpr std::size_t kLoop = 65536;
    static float next(std::uint32_t& state) {
        state = state * 1664525u + 1013904223u;
        return (static_cast<float>(state >> 8) / 16777216.0f - 0.5f) * 0.5f;
    }
    int block_;
    std::vector<float> left_, right_;
    std::size_t pos_ = 0;
};

Timing timeRun(PluginLoader& plugin, const Settings& settings, double seconds) {
    const int block = settings.block;
    NoiseSource noise(block);
    std::vector<float> out0(block), out1(block);
    float* inputs[2] = {nullptr, nullptr};
    float* outputs[2] = {out0.data(), out1.data()};
    // Past the 10000-frame program fade, so the full crowd is running when the clock starts.
    for (int done = 0; done < 12288; done += block) {
        noise.next(inputs);
        plugin.process(inputs, outputs, block);
    }
    // The clock is read once around the whole run: reading the thread's CPU time is a system
    // call, which would dwarf a small block.
    const long long blocks = std::max(1LL, static_cast<long long>(seconds * settings.rate / block));
    const double start = threadSeconds();
    for (long long b = 0; b < blocks; ++b) {
        noise.next(inputs);
        plugin.process(inputs, outputs, block);
    }
    const double spent = threadSeconds() - start;
    const double frames = static_cast<double>(blocks) * block;
    const double ns = std::max(spent * 1e9, 1.0);
    return Timing{ns / frames, (frames / settings.rate) / (ns * 1e-9)};
}

void setWorstCase(PluginLoader& plugin) {
    plugin.setProgram(0);
    plugin.setParameter(kPopulation, 1.0f);
    plugin.setParameter(kSolo, 0.0f);
    plugin.setParameter(kWet, 0.5f);
    plugin.setParameter(kSpread, 1.0f);
    plugin.setParameter(kReverbGain, 0.5f);
    plugin.setParameter(kActive, 1.0f);
    for (int person = 0; person < kPeople; ++person) {
        plugin.setParameter(kFirstPerson + kSlots * person + kGainSlot, 0.5f);
    }
}

// The shipped instance and, with --reference, the reference one, set up alike and timed in turn.
struct Bench {
    const Settings& settings;
    PluginLoader& plugin;
    PluginLoader* reference;

    void row(const char* label, int number, const std::function<void(PluginLoader&)>& setUp,
             Timing& shipped) {
        setUp(plugin);
        shipped = timeRun(plugin, settings, settings.seconds);
        if (number >= 0) {
            std::printf("  %2d %-29s %10.1f %12.1f", number, label, shipped.nsPerFrame,
                        shipped.realTimeFactor);
        } else {
            std::printf("  %-32s %10.1f %12.1f", label, shipped.nsPerFrame, shipped.realTimeFactor);
        }
        if (reference != nullptr) {
            setUp(*reference);
            const Timing slow = timeRun(*reference, settings, settings.seconds);
            shipped.referenceNs = slow.nsPerFrame;
            std::printf(" %12.1f %9.1f", slow.nsPerFrame, slow.nsPerFrame / shipped.nsPerFrame);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
};

}  // namespace

int commandBench(const std::vector<std::string>& args) {
    std::string modulePath = defaultModulePath();
    std::string only;
    bool withReference = false;
    Settings settings;
    ArgScanner scan("bench", args);
    std::string value;
    while (!scan.done()) {
        if (scan.flag("--help") || scan.flag("-h")) {
            std::fputs(kBenchHelp, stdout);
            return kExitOk;
        }
        if (scan.flag("--reference")) {
            withReference = true;
            continue;
        }
        if (scan.option("--module", modulePath) || scan.option("--program", only)) {
            continue;
        }
        if (scan.option("--seconds", value)) {
            const std::optional<double> s = parseFinite(value);
            if (!s || *s <= 0.0 || *s > 3600.0) {
                throw UsageError("--seconds " + value + " is not a number of seconds above 0 and up to 3600");
            }
            settings.seconds = *s;
            continue;
        }
        if (scan.option("--block", value)) {
            const std::optional<long long> n = parseInteger(value);
            if (!n || *n < 1 || *n > 8192) {
                throw UsageError("--block " + value + " is not a whole number of frames from 1 to 8192");
            }
            settings.block = static_cast<int>(*n);
            continue;
        }
        if (scan.option("--rate", value)) {
            const std::optional<double> r = parseFinite(value);
            if (!r || *r < 8000.0 || *r > 384000.0) {
                throw UsageError("--rate " + value + " is not a sample rate from 8000 to 384000 Hz");
            }
            settings.rate = *r;
            continue;
        }
        throw UsageError("unexpected argument '" + scan.positional() +
                         "' for bench (see zornbeck bench --help)");
    }

    const float rate = static_cast<float>(settings.rate);
    std::unique_ptr<PluginLoader> plugin = loadPlugin(modulePath, rate, settings.block);
    std::unique_ptr<PluginLoader> reference;
    if (withReference) {
        // The engine reads the switch when it is constructed: only the second instance takes it.
        setVariable(kReferenceVariable, "1");
        reference = loadPlugin(modulePath, rate, settings.block);
        setVariable(kReferenceVariable, nullptr);
    }
    const int programs = plugin->effect()->numPrograms;
    int first = 0;
    int last = programs - 1;
    if (!only.empty()) {
        first = last = resolveProgram(*plugin, only);
    }

    std::printf("%g s of stereo noise at %g Hz, %d-frame blocks, %s; real time is %.0f ns per frame\n\n",
                settings.seconds, settings.rate, settings.block, kClockName, 1e9 / settings.rate);
    std::printf("  %-32s %10s %12s", "program", "ns/frame", "x real time");
    if (reference) {
        std::printf(" %12s %9s", "reference", "speed-up");
    }
    std::printf("\n");

    Bench bench{settings, *plugin, reference.get()};
    Timing heaviest{0.0, 0.0};
    std::string heaviestName;
    for (int p = first; p <= last; ++p) {
        std::string name;
        plugin->programNameIndexed(p, name);
        Timing t{};
        bench.row(
            name.c_str(), p, [p](PluginLoader& instance) { instance.setProgram(p); }, t);
        if (t.nsPerFrame > heaviest.nsPerFrame) {
            heaviest = t;
            heaviestName = name;
        }
    }
    Timing worst{};
    bench.row("worst case", -1, setWorstCase, worst);

    const auto speedUp = [](const Timing& t) {
        if (t.referenceNs > 0.0) {
            std::printf(", %.1fx faster than the reference path", t.referenceNs / t.nsPerFrame);
        }
        std::printf("\n");
    };
    std::printf("\nHeaviest program (%s): %.1f ns per frame, %.1fx real time", heaviestName.c_str(),
                heaviest.nsPerFrame, heaviest.realTimeFactor);
    speedUp(heaviest);
    std::printf(
        "Worst case (59 voices, all audible, Spread 1.0, reverb on): %.1f ns per frame, %.1fx real time",
        worst.nsPerFrame, worst.realTimeFactor);
    speedUp(worst);
    return kExitOk;
}

}  // namespace zb
