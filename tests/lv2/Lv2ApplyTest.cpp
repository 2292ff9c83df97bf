// Debian's lv2apply renders a file through the bundle with a factory preset's values, and the
// VST 2.4 module given the same values through `zornbeck render` writes the same samples.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "AudioFile.h"
#include "Lv2TestHost.h"
#include "model/ParameterTable.h"

namespace {

struct PortValue {
    std::string symbol;
    float value;
};

std::vector<PortValue> presetValues(lv2t::World& world, const LilvNode* preset) {
    std::vector<PortValue> values;
    LilvState* state = lilv_state_new_from_world(world.world(), &world.urids().mapFeature, preset);
    if (state == nullptr) {
        return values;
    }
    lilv_state_emit_port_values(
        state,
        [](const char* symbol, void* data, const void* value, uint32_t size, uint32_t) {
            if (size == sizeof(float)) {
                static_cast<std::vector<PortValue>*>(data)->push_back({symbol, *static_cast<const float*>(value)});
            }
        },
        &values);
    lilv_state_free(state);
    return values;
}

std::string text(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
    return buffer;
}

TEST(Lv2Apply, RendersAPresetAsZornbeckRenderDoesWithItsValues) {
    if (std::system("command -v lv2apply >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "lv2apply (lilv-utils) is not installed";
    }
    lv2t::World world;
    ASSERT_NE(world.plugin(), nullptr);
    // The preset of Bodiless Robot.
    const LilvNode* chosen = nullptr;
    for (const LilvNode* preset : world.presets()) {
        if (world.label(preset) == "Bodiless Robot") {
            chosen = preset;
        }
    }
    ASSERT_NE(chosen, nullptr);
    const std::vector<PortValue> values = presetValues(world, chosen);
    ASSERT_GT(values.size(), 400u);

    // A private search path holding only our bundle.
    char pattern[] = "/tmp/zornbeck-lv2apply-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path dir = pattern;
    std::filesystem::create_directory(dir / "lv2");
    std::filesystem::create_directory_symlink(std::filesystem::absolute(lv2t::bundleDir()), dir / "lv2" / "Zornbeck.lv2");

    zb::Audio input;
    input.sampleRate = 44100;
    input.channels.assign(2, std::vector<float>(22050));
    unsigned seed = 3;
    for (auto& channel : input.channels) {
        for (float& x : channel) {
            seed = seed * 1664525u + 1013904223u;
            x = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
        }
    }
    std::string error;
    ASSERT_TRUE(zb::writeAudio((dir / "in.wav").string(), input, zb::OutputFormat::WavFloat, error)) << error;

    std::string apply = "LV2_PATH='" + (dir / "lv2").string() + "' lv2apply -i '" + (dir / "in.wav").string() + "' -o '" +
                        (dir / "lv2.wav").string() + "'";
    std::string render = "'" + lv2t::buildDir() + "/zornbeck' render '" + (dir / "in.wav").string() + "' '" +
                         (dir / "vst.wav").string() + "' --preroll 0 --tail 0 --block 1";
    // lv2apply runs one frame at a time; the ports' parameters go in index order, as the plug-in
    // forwards them.
    std::map<int, std::string> byIndex;
    for (const PortValue& v : values) {
        apply += " -c " + v.symbol + " " + text(v.value);
        // The port's parameter: the named ones and Active in index order, after the audio ports.
        LilvNode* symbol = lilv_new_string(world.world(), v.symbol.c_str());
        const LilvPort* port = lilv_plugin_get_port_by_symbol(world.plugin(), symbol);
        lilv_node_free(symbol);
        ASSERT_NE(port, nullptr) << v.symbol;
        const std::uint32_t k = lilv_port_get_index(world.plugin(), port);
        int index = -1;
        std::uint32_t next = 4;
        for (int i = 0; i < kNumParams && index < 0; ++i) {
            if (ParameterTable::row(i).automatable || i == parActiveIndex) {
                index = next == k ? i : -1;
                ++next;
            }
        }
        ASSERT_GE(index, 0) << v.symbol;
        byIndex[index] = text(v.value);
    }
    for (const auto& [index, value] : byIndex) {
        render += " --param " + std::to_string(index) + "=" + value;
    }
    apply += " " + std::string(lv2t::kPluginUri) + " >'" + (dir / "apply.log").string() + "' 2>&1";
    render += " >'" + (dir / "render.log").string() + "' 2>&1";
    ASSERT_EQ(std::system(apply.c_str()), 0) << apply;
    ASSERT_EQ(std::system(render.c_str()), 0) << render;

    zb::Audio lv2, vst;
    ASSERT_TRUE(zb::readAudio((dir / "lv2.wav").string(), lv2, error)) << error;
    ASSERT_TRUE(zb::readAudio((dir / "vst.wav").string(), vst, error)) << error;
    ASSERT_EQ(lv2.channels.size(), 2u);
    ASSERT_EQ(lv2.frames(), input.frames());
    ASSERT_EQ(vst.frames(), lv2.frames());
    long first = -1;
    for (std::size_t i = 0; i < lv2.frames() && first < 0; ++i) {
        if (lv2.channels[0][i] != vst.channels[0][i] || lv2.channels[1][i] != vst.channels[1][i]) {
            first = static_cast<long>(i);
        }
    }
    EXPECT_EQ(first, -1) << "first differing frame; " << render;
    double energy = 0.0;
    for (float x : lv2.channels[0]) {
        energy += double(x) * x;
    }
    EXPECT_GT(energy, 1.0);
    if (!HasFailure()) {
        std::filesystem::remove_all(dir);  // kept, with both logs, for a look when it failed
    }
}

}  // namespace
