// zornbeck bench: the cost of whole programs through the built module, as a real-time factor.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Cli.h"
#ifdef ZB_HAVE_LV2_PEER
#include "Lv2Peer.h"
#endif

namespace zb {

namespace {

const char* const kBenchHelp =
    "Usage: zornbeck bench [--module PATH] [--seconds S] [--block N] [--rate HZ] [--program P]\n"
    "                      [--reference] [--compare MODULE [--peer-set NAME=VALUE]... [--peer-as-ours]\n"
    "                      [--rounds N]]\n"
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
    "  --compare MODULE  also time another plug-in in this process, interleaved with ours in\n"
    "                  rounds, and print how long ours takes relative to it (the ratio of the\n"
    "                  medians): MODULE is a VST 2.4 module's path or, on Linux, an installed LV2\n"
    "                  plug-in's URI. It runs with its own settings throughout\n"
    "  --peer-set NAME=VALUE  a setting of the compared plug-in: an LV2 control's symbol, or a\n"
    "                  VST 2.4 parameter's index with a value from 0 to 1; may be repeated\n"
    "  --peer-as-ours  the compared VST 2.4 module is another build of this plug-in: each row's\n"
    "                  program, and the worst case, are set on it too\n"
    "  --rounds N      rounds of a comparison, 1 to 99 (default 9); each times both for S / N\n"
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
    double peerNs = 0.0;
};

// One block of stereo audio through some plug-in.
using ProcessBlock = std::function<void(float** inputs, float** outputs, int frames)>;

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

// One instance fed its own noise: warmed up, then timed for a number of blocks at a time.
class Runner {
  public:
    Runner(ProcessBlock process, int block)
        : process_(std::move(process)), block_(block), noise_(block), out0_(block), out1_(block) {}

    // Past the 10000-frame program fade, so the full crowd is running when the clock starts.
    void warmUp() { run(12288 / block_ + 1); }

    // Thread seconds for `blocks` blocks. The clock is read once around them: reading the
    // thread's CPU time is a system call, which would dwarf a small block.
    double run(long long blocks) {
        float* inputs[2] = {nullptr, nullptr};
        float* outputs[2] = {out0_.data(), out1_.data()};
        const double start = threadSeconds();
        for (long long b = 0; b < blocks; ++b) {
            noise_.next(inputs);
            process_(inputs, outputs, block_);
        }
        return threadSeconds() - start;
    }

  private:
    ProcessBlock process_;
    int block_;
    NoiseSource noise_;
    std::vector<float> out0_, out1_;
};

ProcessBlock blocksOf(PluginLoader& plugin) {
    return
        [&plugin](float** inputs, float** outputs, int frames) { plugin.process(inputs, outputs, frames); };
}

long long blocksFor(const Settings& settings, double seconds) {
    return std::max(1LL, static_cast<long long>(seconds * settings.rate / settings.block));
}

Timing timingOf(const Settings& settings, double spent, long long blocks) {
    const double frames = static_cast<double>(blocks) * settings.block;
    const double ns = std::max(spent * 1e9, 1.0);
    return Timing{ns / frames, (frames / settings.rate) / (ns * 1e-9)};
}

Timing timeRun(PluginLoader& plugin, const Settings& settings, double seconds) {
    Runner runner(blocksOf(plugin), settings.block);
    runner.warmUp();
    const long long blocks = blocksFor(settings, seconds);
    return timingOf(settings, runner.run(blocks), blocks);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// The compared plug-in: a name, and blocks through it.
struct Peer {
    std::string name;
    ProcessBlock process;
    std::unique_ptr<PluginLoader> vst;
    bool asOurs = false;  // takes each row's setup too
#ifdef ZB_HAVE_LV2_PEER
    std::unique_ptr<Lv2Peer> lv2;
#endif
};

// Ours and the peer in turn, round after round, each warmed up once: both see the same load on
// the machine, so the ratio of their medians holds where absolute times drift.
Timing timeInterleaved(PluginLoader& plugin, Peer& peer, const Settings& settings, int rounds) {
    Runner ours(blocksOf(plugin), settings.block);
    Runner theirs(peer.process, settings.block);
    ours.warmUp();
    theirs.warmUp();
    const long long blocks = blocksFor(settings, settings.seconds / rounds);
    std::vector<double> oursSpent, theirsSpent;
    for (int r = 0; r < rounds; ++r) {
        oursSpent.push_back(ours.run(blocks));
        theirsSpent.push_back(theirs.run(blocks));
    }
    Timing timing = timingOf(settings, median(oursSpent), blocks);
    timing.peerNs = timingOf(settings, median(theirsSpent), blocks).nsPerFrame;
    return timing;
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

// The shipped instance and, with --reference, the reference one, set up alike and timed in turn;
// or, with --compare, the shipped one interleaved with the peer.
struct Bench {
    const Settings& settings;
    PluginLoader& plugin;
    PluginLoader* reference;
    Peer* peer;
    int rounds;

    void row(const char* label, int number, const std::function<void(PluginLoader&)>& setUp,
             Timing& shipped) {
        setUp(plugin);
        if (peer != nullptr && peer->asOurs) {
            setUp(*peer->vst);
        }
        shipped = peer != nullptr ? timeInterleaved(plugin, *peer, settings, rounds)
                                  : timeRun(plugin, settings, settings.seconds);
        if (number >= 0) {
            std::printf("  %2d %-29s %10.1f %12.1f", number, label, shipped.nsPerFrame,
                        shipped.realTimeFactor);
        } else {
            std::printf("  %-32s %10.1f %12.1f", label, shipped.nsPerFrame, shipped.realTimeFactor);
        }
        if (peer != nullptr) {
            std::printf(" %10.1f %7.2f", shipped.peerNs, shipped.nsPerFrame / shipped.peerNs);
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

bool isUri(const std::string& text) {
    return text.find("://") != std::string::npos || text.rfind("urn:", 0) == 0;
}

// Loads the plug-in to compare against and applies its settings; throws on any failure.
std::unique_ptr<Peer> loadPeer(const std::string& module, const std::vector<std::string>& sets,
                               const Settings& settings) {
    auto peer = std::make_unique<Peer>();
    if (isUri(module)) {
#ifdef ZB_HAVE_LV2_PEER
        std::string error;
        peer->lv2 = Lv2Peer::load(module, settings.rate, settings.block, error);
        if (!peer->lv2) {
            throw RuntimeError("--compare: " + error);
        }
        for (const std::string& set : sets) {
            const std::size_t eq = set.find('=');
            const std::optional<double> value =
                eq == std::string::npos ? std::nullopt : parseFinite(set.substr(eq + 1));
            if (!value || !peer->lv2->setControl(set.substr(0, eq), static_cast<float>(*value))) {
                throw UsageError("--peer-set " + set + ": " + peer->lv2->name() +
                                 " has no control input of that symbol, or the value is not a number");
            }
        }
        peer->name = peer->lv2->name();
        Lv2Peer* lv2 = peer->lv2.get();
        peer->process = [lv2](float** inputs, float** outputs, int frames) {
            lv2->process(inputs, outputs, frames);
        };
        return peer;
#else
        throw UsageError("--compare " + module +
                         ": this build hosts no LV2 plug-ins (only the Linux one does)");
#endif
    }
    peer->vst = loadPlugin(module, static_cast<float>(settings.rate), settings.block);
    std::vector<ParamSetting> params;
    for (const std::string& set : sets) {
        params.push_back(parseParamSetting(set));
    }
    applyProgramAndParams(*peer->vst, "", params);
    peer->name = peer->vst->effectName();
    peer->process = blocksOf(*peer->vst);
    return peer;
}

}  // namespace

int commandBench(const std::vector<std::string>& args) {
    std::string modulePath = defaultModulePath();
    std::string only;
    bool withReference = false;
    std::string compare;
    std::vector<std::string> peerSets;
    bool peerAsOurs = false;
    int rounds = 9;
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
        if (scan.option("--module", modulePath) || scan.option("--program", only) ||
            scan.option("--compare", compare)) {
            continue;
        }
        if (scan.flag("--peer-as-ours")) {
            peerAsOurs = true;
            continue;
        }
        if (scan.option("--peer-set", value)) {
            peerSets.push_back(value);
            continue;
        }
        if (scan.option("--rounds", value)) {
            const std::optional<long long> n = parseInteger(value);
            if (!n || *n < 1 || *n > 99) {
                throw UsageError("--rounds " + value + " is not a whole number from 1 to 99");
            }
            rounds = static_cast<int>(*n);
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

    if (compare.empty() && (!peerSets.empty() || peerAsOurs)) {
        throw UsageError("--peer-set and --peer-as-ours need --compare MODULE");
    }
    if (!compare.empty() && withReference) {
        throw UsageError("--compare and --reference time different things; choose one");
    }
    const float rate = static_cast<float>(settings.rate);
    std::unique_ptr<PluginLoader> plugin = loadPlugin(modulePath, rate, settings.block);
    std::unique_ptr<Peer> peer;
    if (!compare.empty()) {
        peer = loadPeer(compare, peerSets, settings);
        if (peerAsOurs && !peer->vst) {
            throw UsageError("--peer-as-ours needs a VST 2.4 module to compare with");
        }
        peer->asOurs = peerAsOurs;
    }
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
    if (peer) {
        std::printf("Compared with %s, interleaved in %d rounds; medians of the rounds\n\n",
                    peer->name.c_str(), rounds);
    }
    std::printf("  %-32s %10s %12s", "program", "ns/frame", "x real time");
    if (peer) {
        std::printf(" %10s %7s", "peer ns", "ratio");
    }
    if (reference) {
        std::printf(" %12s %9s", "reference", "speed-up");
    }
    std::printf("\n");

    Bench bench{settings, *plugin, reference.get(), peer.get(), rounds};
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

    const auto speedUp = [&peer](const Timing& t) {
        if (t.referenceNs > 0.0) {
            std::printf(", %.1fx faster than the reference path", t.referenceNs / t.nsPerFrame);
        }
        if (peer) {
            std::printf(", %.2fx the time of %s", t.nsPerFrame / t.peerNs, peer->name.c_str());
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
