// zornbeck render: a sound file through the module, as a DAW's offline bounce would do it.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "AudioFile.h"
#include "Cli.h"

namespace zb {

namespace {

const char* const kRenderHelp =
    "Usage: zornbeck render IN OUT [options]\n"
    "\n"
    "Renders the sound file IN (WAV, FLAC or AIFF, mono or stereo) through the plug-in and writes\n"
    "OUT in the format its extension names: .wav 32-bit float, .flac 24-bit, .aiff 24-bit.\n"
    "The output is always stereo. A mono input is fed to both plug-in inputs as one buffer, the\n"
    "way a DAW feeds a mono track into a stereo insert (the plug-in then sees one input).\n"
    "\n"
    "Before the first sample the plug-in runs on silence for the pre-roll, so the fade-in that a\n"
    "program change starts is over when the file begins, as it would be in a running DAW.\n"
    "\n"
    "  --program N|NAME     factory program by number (0..23) or by name (exact, else ignoring case)\n"
    "  --param INDEX=VALUE  set a parameter (value 0..1) after the program; INDEX may also be a\n"
    "                       parameter name such as Spread; repeat for more\n"
    "  --block N            frames per process call (default 512)\n"
    "  --rate HZ            the plug-in's sample rate; defaults to the input's rate and must match\n"
    "                       it (zornbeck does not resample)\n"
    "  --tail SECONDS       silence rendered after the input, for echoes and reverb (default 2)\n"
    "  --preroll SECONDS    silence run through the plug-in before the input, not written\n"
    "                       (default 0.5; 0 disables)\n"
    "  --load-chunk FILE    restore a state saved by --save-chunk: a program chunk goes into the\n"
    "                       program chosen by --program (else the current one), a bank chunk is\n"
    "                       loaded before --program picks a program from it\n"
    "  --save-chunk FILE    save the state that is rendered (after --program and --param)\n"
    "  --bank               the chunks are the whole bank of programs, not one program\n"
    "  --module PATH        the plug-in module (default: Zornbeck.so beside this program)\n"
    "\n"
    "Exit codes: 0 done, 1 the work failed (unreadable input, module not loadable, write error),\n"
    "2 wrong usage (unknown option, bad number, unknown program or parameter).\n";

constexpr int kMinRate = 1000;
constexpr int kMaxRate = 768000;

struct RenderOptions {
    std::string input;
    std::string output;
    std::string modulePath;
    std::string program;
    std::vector<ParamSetting> params;
    int block = 512;
    std::optional<double> rate;
    double tail = 2.0;
    double preroll = 0.5;
    std::string loadChunk;
    std::string saveChunk;
    bool bank = false;
};

std::vector<std::uint8_t> readChunkFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw RuntimeError("cannot read chunk '" + path + "': " + std::strerror(errno));
    }
    std::vector<std::uint8_t> data;
    std::uint8_t buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        data.insert(data.end(), buffer, buffer + got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        throw RuntimeError("cannot read chunk '" + path + "': read error");
    }
    return data;
}

void writeChunkFile(const std::string& path, const std::vector<std::uint8_t>& data) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw RuntimeError("cannot write chunk '" + path + "': " + std::strerror(errno));
    }
    const std::size_t put = std::fwrite(data.data(), 1, data.size(), file);
    if (std::fclose(file) != 0 || put != data.size()) {
        throw RuntimeError("cannot write chunk '" + path + "': write error");
    }
}

void loadChunk(PluginLoader& plugin, const std::string& path, bool bank) {
    const std::vector<std::uint8_t> data = readChunkFile(path);
    if (plugin.setChunk(data, !bank) == 0) {
        throw RuntimeError("the plug-in refused the " + std::string(bank ? "bank" : "program") + " chunk '" +
                           path + "' (" + std::to_string(data.size()) + " bytes)" +
                           (bank ? "" : "; if it holds a bank, add --bank"));
    }
}

double parseSeconds(const std::string& name, const std::string& text) {
    const std::optional<double> value = parseFinite(text);
    if (!value || *value < 0.0 || *value > 3600.0) {
        throw UsageError(name + " " + text + " is not a number of seconds between 0 and 3600");
    }
    return *value;
}

class Progress {
  public:
    explicit Progress(std::size_t total) : total_(total), enabled_(::isatty(STDERR_FILENO) == 1) {}
    void update(std::size_t done) {
        if (!enabled_ || total_ == 0) {
            return;
        }
        const int percent = static_cast<int>(done * 100 / total_);
        if (percent == shown_) {
            return;
        }
        shown_ = percent;
        const int width = 40;
        const int filled = percent * width / 100;
        std::fprintf(stderr, "\rrendering [%s%s] %3d%%", std::string(filled, '#').c_str(),
                     std::string(width - filled, '.').c_str(), percent);
        std::fflush(stderr);
    }
    void finish() {
        if (enabled_ && shown_ >= 0) {
            std::fputs("\n", stderr);
        }
    }

  private:
    std::size_t total_;
    bool enabled_;
    int shown_ = -1;
};

}  // namespace

int commandRender(const std::vector<std::string>& args) {
    RenderOptions options;
    options.modulePath = defaultModulePath();
    std::vector<std::string> positionals;
    ArgScanner scan("render", args);
    std::string value;
    while (!scan.done()) {
        if (scan.flag("--help") || scan.flag("-h")) {
            std::fputs(kRenderHelp, stdout);
            return kExitOk;
        }
        if (scanPluginOptions(scan, options.modulePath, options.program, options.params)) {
            continue;
        }
        if (scan.option("--block", value)) {
            const std::optional<long long> block = parseInteger(value);
            if (!block || *block < 1 || *block > 65536) {
                throw UsageError("--block " + value + " is not a frame count between 1 and 65536");
            }
            options.block = static_cast<int>(*block);
            continue;
        }
        if (scan.option("--rate", value)) {
            options.rate = parseFinite(value);
            if (!options.rate || *options.rate < kMinRate || *options.rate > kMaxRate) {
                throw UsageError("--rate " + value + " is not a sample rate between 1000 and 768000 Hz");
            }
            continue;
        }
        if (scan.option("--tail", value)) {
            options.tail = parseSeconds("--tail", value);
            continue;
        }
        if (scan.option("--preroll", value)) {
            options.preroll = parseSeconds("--preroll", value);
            continue;
        }
        if (scan.option("--load-chunk", options.loadChunk) ||
            scan.option("--save-chunk", options.saveChunk)) {
            continue;
        }
        if (scan.flag("--bank")) {
            options.bank = true;
            continue;
        }
        positionals.push_back(scan.positional());
    }
    if (positionals.size() != 2) {
        throw UsageError("render needs an input and an output file (see zornbeck render --help)");
    }
    options.input = positionals[0];
    options.output = positionals[1];
    OutputFormat format{};
    std::string error;
    if (!formatForPath(options.output, format, error)) {
        throw UsageError(error);
    }

    Audio input;
    if (!readAudio(options.input, input, error)) {
        throw RuntimeError(error);
    }
    // The file's own rate is bounded like --rate: a broken header must not make the pre-roll and
    // the tail billions of frames long.
    if (input.sampleRate < kMinRate || input.sampleRate > kMaxRate) {
        throw RuntimeError("'" + options.input + "' has a sample rate of " +
                           std::to_string(input.sampleRate) +
                           " Hz; zornbeck renders between 1000 and 768000 Hz");
    }
    if (options.rate && static_cast<int>(std::lround(*options.rate)) != input.sampleRate) {
        throw UsageError("--rate " + std::to_string(std::lround(*options.rate)) +
                         " differs from the rate of '" + options.input + "' (" +
                         std::to_string(input.sampleRate) +
                         " Hz); zornbeck does not resample, so leave --rate out or give the file's rate");
    }
    const float rate = static_cast<float>(input.sampleRate);

    std::unique_ptr<PluginLoader> plugin = loadPlugin(options.modulePath, rate, options.block);
    AEffect* effect = plugin->effect();
    if (effect->numOutputs < 1 || effect->numInputs < 1) {
        throw RuntimeError("'" + options.modulePath + "' has " + std::to_string(effect->numInputs) +
                           " inputs and " + std::to_string(effect->numOutputs) +
                           " outputs; render needs at least one of each");
    }
    if (!options.loadChunk.empty() && options.bank) {
        loadChunk(*plugin, options.loadChunk, true);
    }
    if (!options.program.empty()) {
        plugin->setProgram(resolveProgram(*plugin, options.program));
    }
    if (!options.loadChunk.empty() && !options.bank) {
        loadChunk(*plugin, options.loadChunk, false);
    }
    applyParams(*plugin, options.params);
    if (!options.saveChunk.empty()) {
        const std::vector<std::uint8_t> chunk = plugin->getChunk(!options.bank);
        if (chunk.empty()) {
            throw RuntimeError("the plug-in gave no " + std::string(options.bank ? "bank" : "program") +
                               " chunk");
        }
        writeChunkFile(options.saveChunk, chunk);
    }

    // Buffers for up to two channels each way; a mono file is handed over as the same buffer twice.
    const std::size_t block = static_cast<std::size_t>(options.block);
    std::vector<float> in0(block), in1(block), out0(block), out1(block);
    const bool mono = input.channels.size() == 1;
    float* inputs[2] = {in0.data(), mono ? in0.data() : in1.data()};
    float* outputs[2] = {out0.data(), out1.data()};

    const std::size_t prerollFrames = static_cast<std::size_t>(std::ceil(options.preroll * rate));
    for (std::size_t done = 0; done < prerollFrames; done += block) {
        const std::size_t n = std::min(block, prerollFrames - done);
        std::fill(in0.begin(), in0.end(), 0.0f);
        std::fill(in1.begin(), in1.end(), 0.0f);
        plugin->process(inputs, outputs, static_cast<VstInt32>(n));
    }

    // The plug-in's latency is skipped at the start and rendered on at the end, so OUT lines up with IN.
    const std::size_t latency = static_cast<std::size_t>(std::max(0, effect->initialDelay));
    const std::size_t inputFrames = input.frames();
    const std::size_t outputFrames =
        inputFrames + static_cast<std::size_t>(std::llround(options.tail * rate));
    const std::size_t totalFrames = outputFrames + latency;
    Audio output;
    output.sampleRate = input.sampleRate;
    output.channels.assign(2, std::vector<float>(outputFrames, 0.0f));
    Progress progress(totalFrames);
    double peak = 0.0;
    std::size_t nonFinite = 0;
    for (std::size_t done = 0; done < totalFrames; done += block) {
        const std::size_t n = std::min(block, totalFrames - done);
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t frame = done + i;
            in0[i] = frame < inputFrames ? input.channels[0][frame] : 0.0f;
            if (!mono) {
                in1[i] = frame < inputFrames ? input.channels[1][frame] : 0.0f;
            }
        }
        plugin->process(inputs, outputs, static_cast<VstInt32>(n));
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t frame = done + i;
            if (frame < latency) {
                continue;
            }
            output.channels[0][frame - latency] = out0[i];
            output.channels[1][frame - latency] = out1[i];
            for (const float sample : {out0[i], out1[i]}) {
                if (std::isfinite(sample)) {
                    peak = std::max(peak, std::fabs(static_cast<double>(sample)));
                } else {
                    ++nonFinite;
                }
            }
        }
        progress.update(done + n);
    }
    progress.finish();
    plugin.reset();

    if (!writeAudio(options.output, output, format, error)) {
        throw RuntimeError(error);
    }
    const double peakDb = peak > 0.0 ? 20.0 * std::log10(peak) : -INFINITY;
    std::printf("Wrote %s: %zu frames, 2 channels, %d Hz, peak %.1f dBFS%s\n", options.output.c_str(),
                outputFrames, output.sampleRate, peakDb,
                peak > 1.0 && format != OutputFormat::WavFloat ? " (clipped)" : "");
    if (nonFinite > 0) {
        // The peak above leaves them out; a float file holds them as they came.
        std::printf("Warning: %zu output samples are not finite numbers (NaN or infinity)\n", nonFinite);
    }
    return kExitOk;
}

}  // namespace zb
