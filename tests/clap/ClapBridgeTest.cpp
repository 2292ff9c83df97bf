// The zornbeck host's loader drives Zornbeck.clap through its CLAP bridge: what the host sees
// and renders equals the VST 2.4 module.
#include <gtest/gtest.h>

#include "PluginLoader.h"
#include "tests/clap/StrictHost.h"

namespace {

std::unique_ptr<zb::PluginLoader> load(const std::string& name) {
    zb::LoadOptions options;
#ifdef _WIN32
    options.path = th::buildDir() + "\\" + name;
#else
    options.path = th::buildDir() + "/" + name;
#endif
    std::string error;
    auto plugin = zb::PluginLoader::load(options, error);
    EXPECT_TRUE(plugin) << error;
    return plugin;
}

#ifdef _WIN32
constexpr const char* kVst = "Zornbeck.dll";
#else
constexpr const char* kVst = "Zornbeck.so";
#endif

// Program, parameter and chunk calls of a session, then a second of noise.
std::vector<float> session(zb::PluginLoader& plugin, const std::vector<std::uint8_t>* chunk,
                           std::vector<std::uint8_t>* saved) {
    if (chunk != nullptr) {
        EXPECT_EQ(plugin.setChunk(*chunk, false), 1);
    } else {
        plugin.setProgram(6);
        plugin.setParameter(2, 0.35f);
        plugin.setParameter(12, 0.9f);
        plugin.setParameter(18, 1.0f);
    }
    if (saved != nullptr) {
        *saved = plugin.getChunk(false);
    }
    std::vector<float> in(512), l(512), r(512), out;
    unsigned state = 5;
    for (int block = 0; block < 86; ++block) {
        for (float& x : in) {
            state = state * 1664525u + 1013904223u;
            x = static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
        }
        if (block == 40) {
            plugin.setParameter(3, 0.1f);
        }
        float* i[2] = {in.data(), in.data()};
        float* o[2] = {l.data(), r.data()};
        plugin.process(i, o, 512);
        out.insert(out.end(), l.begin(), l.end());
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

TEST(ClapBridge, LoaderSeesAndRendersTheClapAsTheVstModule) {
    std::vector<float> vstOut, clapOut, restoredOut;
    std::vector<std::uint8_t> saved;
    {
        auto vst = load(kVst);
        ASSERT_TRUE(vst);
        vstOut = session(*vst, nullptr, nullptr);
    }
    {
        auto clap = load("Zornbeck.clap");
        ASSERT_TRUE(clap);
        EXPECT_EQ(clap->effectName(), "Zornbeck");
        EXPECT_EQ(clap->effect()->numPrograms, 24);
        EXPECT_EQ(clap->effect()->numParams, 736);  // up to the last named one
        std::string name;
        ASSERT_TRUE(clap->programNameIndexed(17, name));
        EXPECT_EQ(name, "Mouse Delirium");
        EXPECT_EQ(clap->parameterName(12), "Spread");
        clapOut = session(*clap, nullptr, &saved);
        EXPECT_EQ(clap->program(), 6);
        EXPECT_EQ(clap->getParameter(2), 0.35f);
        EXPECT_EQ(clap->getParameter(18), 1.0f);
    }
    {
        auto clap = load("Zornbeck.clap");
        ASSERT_TRUE(clap);
        restoredOut = session(*clap, &saved, nullptr);
        EXPECT_EQ(clap->program(), 6);
    }
    EXPECT_EQ(vstOut, clapOut);
    EXPECT_EQ(restoredOut, clapOut) << "a saved state renders the same";
}

TEST(ClapBridge, AMissingOrForeignFileIsRefusedWithAReason) {
    zb::LoadOptions options;
    options.path = th::buildDir() + "/no-such.clap";
    std::string error;
    EXPECT_FALSE(zb::PluginLoader::load(options, error));
    EXPECT_NE(error.find("no-such.clap"), std::string::npos) << error;
}

}  // namespace
