// Helpers for tests that load the built module through the host's loader, as a DAW would.
#pragma once

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "PluginLoader.h"

namespace bb {

// ZORNBECK_BUILD, else the folder of the test program: the module and the host are built there too.
inline std::string buildDir() {
    if (const char* dir = std::getenv("ZORNBECK_BUILD")) {
        return dir;
    }
#ifdef _WIN32
    char exe[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const std::string path = n > 0 && n < MAX_PATH ? std::string(exe, n) : std::string(".\\x");
    return path.substr(0, path.find_last_of("\\/"));
}

inline std::string modulePath() { return buildDir() + "\\Zornbeck.dll"; }
#else
    char exe[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string path = n > 0 ? std::string(exe, static_cast<std::size_t>(n)) : std::string("./x");
    return path.substr(0, path.find_last_of('/'));
}

inline std::string modulePath() { return buildDir() + "/Zornbeck.so"; }
#endif

inline std::unique_ptr<zb::PluginLoader> loadModule(float rate = 44100.0f, VstInt32 block = 512) {
    zb::LoadOptions options;
    options.path = modulePath();
    options.sampleRate = rate;
    options.blockSize = block;
    std::string error;
    std::unique_ptr<zb::PluginLoader> plugin = zb::PluginLoader::load(options, error);
    EXPECT_NE(plugin, nullptr) << error;
    return plugin;
}

// Two channels of audio with their pointer arrays, so tests can hand any mapping to processReplacing.
struct Stereo {
    explicit Stereo(std::size_t frames) : left(frames), right(frames) {}
    std::vector<float> left, right;
    float* ptr[2] = {nullptr, nullptr};
    float** both() {
        ptr[0] = left.data();
        ptr[1] = right.data();
        return ptr;
    }
};

// Deterministic noise in [-0.5, 0.5): a different value on every sample.
inline void fillNoise(std::vector<float>& data, unsigned& state) {
    for (float& x : data) {
        state = state * 1664525u + 1013904223u;
        x = static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
    }
}

}  // namespace bb
