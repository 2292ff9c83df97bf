// Writes what a host can observe of a module (identity, every program's parameters, chunks and
// rendered samples) to a folder, and compares two such folders: the Linux module's and the
// Windows DLL's answers must agree.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "PluginLoader.h"

namespace {

constexpr int kFrames = 44100;
// The engine takes its float sin, cos, exp, pow and atan through double on every platform, so the
// two run-time libraries give the same coefficients; samples must agree within this.
constexpr double kTolerance = 1e-6;

void writeBytes(const std::string& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), std::streamsize(size));
}

std::vector<char> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A phrase-like test signal: a gliding tone, its octave and a little noise, different per channel.
void fillSignal(std::vector<float>& left, std::vector<float>& right) {
    unsigned state = 12345;
    double phase = 0.0;
    for (std::size_t i = 0; i < left.size(); ++i) {
        double f = 180.0 + 260.0 * double(i) / double(left.size());
        phase += 2.0 * 3.14159265358979 * f / 44100.0;
        state = state * 1664525u + 1013904223u;
        float noise = float(state >> 8) / 16777216.0f - 0.5f;
        left[i] = float(0.4 * std::sin(phase)) + 0.05f * noise;
        right[i] = float(0.3 * std::sin(2.0 * phase)) - 0.05f * noise;
    }
}

int write(const std::string& dir, const std::string& module) {
    zb::LoadOptions options;
    options.path = module;
    std::string error;
    auto plugin = zb::PluginLoader::load(options, error);
    if (!plugin) {
        std::fprintf(stderr, "module_dump: %s\n", error.c_str());
        return 1;
    }
    AEffect* e = plugin->effect();
    const VstInt32 programs = e->numPrograms;
    std::ostringstream text;
    text << "name " << plugin->effectName() << "\nvendor " << plugin->vendorString() << "\nproduct "
         << plugin->productString() << "\nversion " << plugin->vendorVersion() << "\nvst "
         << plugin->vstVersion() << "\ncategory " << plugin->category() << "\nid " << e->uniqueID
         << "\nprograms " << e->numPrograms << "\nparams " << e->numParams << "\ninputs " << e->numInputs
         << "\noutputs " << e->numOutputs << "\nflags " << e->flags << "\ndelay " << e->initialDelay << "\n";
    for (VstInt32 p = 0; p < e->numPrograms; ++p) {
        plugin->setProgram(p);
        text << "program " << p << " " << plugin->programName() << "\n";
        for (VstInt32 i = 0; i < e->numParams; ++i) {
            char value[32];
            std::snprintf(value, sizeof value, "%.9g", double(plugin->getParameter(i)));
            text << "  " << i << " " << plugin->parameterName(i) << " [" << plugin->parameterLabel(i) << "] "
                 << plugin->parameterDisplay(i) << " = " << value << "\n";
        }
        std::vector<std::uint8_t> chunk = plugin->getChunk(true);
        writeBytes(dir + "/program-" + std::to_string(p) + ".chunk", chunk.data(), chunk.size());
    }
    std::string identity = text.str();
    writeBytes(dir + "/identity.txt", identity.data(), identity.size());
    std::vector<std::uint8_t> bank = plugin->getChunk(false);
    writeBytes(dir + "/bank.chunk", bank.data(), bank.size());
    plugin.reset();

    std::vector<float> inL(kFrames), inR(kFrames);
    fillSignal(inL, inR);
    for (VstInt32 p = 0; p < programs || p == 0; ++p) {
        auto instance = zb::PluginLoader::load(options, error);
        if (!instance)
            return 1;
        instance->setProgram(p);
        std::vector<float> out(std::size_t(kFrames) * 2);
        std::vector<float> blockL(512), blockR(512), outL(512), outR(512);
        // Uneven blocks, as hosts deliver them.
        const int sizes[] = {512, 300, 64, 511};
        int done = 0;
        for (int k = 0; done < kFrames; ++k) {
            int n = std::min(sizes[k % 4], kFrames - done);
            std::copy_n(inL.begin() + done, n, blockL.begin());
            std::copy_n(inR.begin() + done, n, blockR.begin());
            float* in[2] = {blockL.data(), blockR.data()};
            float* o[2] = {outL.data(), outR.data()};
            instance->process(in, o, n);
            for (int i = 0; i < n; ++i) {
                out[std::size_t(done + i) * 2] = outL[std::size_t(i)];
                out[std::size_t(done + i) * 2 + 1] = outR[std::size_t(i)];
            }
            done += n;
        }
        writeBytes(dir + "/render-" + std::to_string(p) + ".f32", out.data(), out.size() * sizeof(float));
    }
    std::printf("module_dump: wrote %s\n", dir.c_str());
    return 0;
}

int compare(const std::string& a, const std::string& b) {
    int failures = 0;
    std::vector<char> ta = readBytes(a + "/identity.txt"), tb = readBytes(b + "/identity.txt");
    if (ta.empty() || ta != tb) {
        auto mismatch = std::mismatch(ta.begin(), ta.end(), tb.begin(), tb.end());
        std::size_t at = std::size_t(mismatch.first - ta.begin());
        std::string context(ta.begin() + long(at - std::min<std::size_t>(at, 60)),
                            ta.begin() + long(std::min(ta.size(), at + 40)));
        std::printf("identity and parameters differ at byte %zu, near: %s\n", at, context.c_str());
        ++failures;
    }
    std::istringstream lines(std::string(ta.begin(), ta.end()));
    std::string line;
    int programs = 0;
    while (std::getline(lines, line))
        if (line.rfind("programs ", 0) == 0)
            programs = std::stoi(line.substr(9));
    auto sameFile = [&](const std::string& name) {
        std::vector<char> x = readBytes(a + "/" + name), y = readBytes(b + "/" + name);
        if (x.empty() || x != y) {
            std::printf("%s differs (%zu and %zu bytes)\n", name.c_str(), x.size(), y.size());
            ++failures;
        }
    };
    sameFile("bank.chunk");
    double worst = 0.0;
    long differing = 0, beyond = 0, total = 0;
    for (int p = 0; p < programs; ++p) {
        sameFile("program-" + std::to_string(p) + ".chunk");
        std::vector<char> x = readBytes(a + "/render-" + std::to_string(p) + ".f32");
        std::vector<char> y = readBytes(b + "/render-" + std::to_string(p) + ".f32");
        if (x.size() != y.size() || x.empty()) {
            std::printf("render of program %d: sizes %zu and %zu\n", p, x.size(), y.size());
            ++failures;
            continue;
        }
        std::size_t n = x.size() / sizeof(float);
        std::vector<float> fx(n), fy(n);
        std::memcpy(fx.data(), x.data(), x.size());
        std::memcpy(fy.data(), y.data(), y.size());
        double programWorst = 0.0;
        long programDiffering = 0;
        for (std::size_t i = 0; i < n; ++i) {
            double d = std::fabs(double(fx[i]) - double(fy[i]));
            if (!(d <= kTolerance) || std::isnan(fx[i]) != std::isnan(fy[i]))
                ++programDiffering;
            if (fx[i] != fy[i])
                ++differing;
            programWorst = std::max(programWorst, std::isfinite(d) ? d : 1e9);
        }
        worst = std::max(worst, programWorst);
        beyond += programDiffering;
        total += long(n);
        if (programDiffering > 0)
            std::printf("render of program %d: %ld of %zu samples differ by more than %g (largest %g)\n", p,
                        programDiffering, n, kTolerance, programWorst);
    }
    std::printf(
        "module_dump: %d programs compared; %ld of %ld samples not bit-identical, %ld beyond %g; "
        "largest difference %g\n",
        programs, differing, total, beyond, kTolerance, worst);
    if (beyond > 0) {
        std::printf("renders differ: %ld samples beyond %g, largest %g\n", beyond, kTolerance, worst);
        ++failures;
    }
    if (programs <= 0) {
        std::printf("no programs found in %s\n", a.c_str());
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "write") == 0)
        return write(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "compare") == 0)
        return compare(argv[2], argv[3]);
    std::fprintf(stderr, "usage: module_dump write DIR MODULE | module_dump compare DIR_A DIR_B\n");
    return 2;
}
