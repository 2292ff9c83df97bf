// What the VST 3 tests share: the loaded bundle, the VST 2.4 module beside it, noise and
// comparison of blocks.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "PluginLoader.h"
#include "StrictHost.h"

namespace v3 {

constexpr std::uint32_t kProgramId = 739, kBypassId = 740;
constexpr int kPrograms = 24;

// ZORNBECK_BUILD, else the folder of the bundle (beside this program).
inline std::string buildDir() {
    const std::string bundle = sh::bundlePath();
    return bundle.substr(0, bundle.find_last_of("\\/"));
}

inline std::unique_ptr<sh::Module> loadBundle() {
    std::string error;
    auto m = sh::Module::load(sh::bundlePath(), error);
    EXPECT_NE(m, nullptr) << error;
    return m;
}

inline std::unique_ptr<zb::PluginLoader> loadVst2(float rate = 44100.0f, int block = 512) {
    zb::LoadOptions options;
#ifdef _WIN32
    options.path = buildDir() + "\\Zornbeck.dll";
#else
    options.path = buildDir() + "/Zornbeck.so";
#endif
    options.sampleRate = rate;
    options.blockSize = block;
    std::string error;
    auto p = zb::PluginLoader::load(options, error);
    EXPECT_NE(p, nullptr) << error;
    return p;
}

struct Stereo {
    explicit Stereo(std::size_t frames) : l(frames), r(frames) {}
    std::vector<float> l, r;
    float* p[2] = {nullptr, nullptr};
    float** ptr() {
        p[0] = l.data();
        p[1] = r.data();
        return p;
    }
    bool operator==(const Stereo& o) const {
        return l.size() == o.l.size() && std::memcmp(l.data(), o.l.data(), l.size() * sizeof(float)) == 0 &&
               std::memcmp(r.data(), o.r.data(), r.size() * sizeof(float)) == 0;
    }
};

inline void noise(std::vector<float>& v, unsigned& s) {
    for (float& x : v) {
        s = s * 1664525u + 1013904223u;
        x = static_cast<float>(s >> 8) / 16777216.0f - 0.5f;
    }
}

inline void noise(Stereo& st, unsigned& s) {
    noise(st.l, s);
    noise(st.r, s);
}

// True when every sample is finite and not denormal.
inline bool clean(const std::vector<float>& v) {
    for (float x : v) {
        if (!std::isfinite(x) || (x != 0.0f && std::fabs(x) < 1.17549435e-38f)) {
            return false;
        }
    }
    return true;
}

}  // namespace v3
