// The LV2 bundle as a lilv host sees it: its description against the parameter table, presets,
// state, and audio bit-identical with the VST 2.4 module given the same input and values.
#include <gtest/gtest.h>
#include <lv2/port-groups/port-groups.h>
#include <lv2/port-props/port-props.h>
#include <lv2/presets/presets.h>
#include <lv2/ui/ui.h>

#include <cmath>
#include <condition_variable>
#include <cstring>
#include <set>
#include <thread>

#include "Lv2TestHost.h"
#include "PluginLoader.h"
#include "model/ParameterTable.h"

namespace {

using lv2t::Instance;
using lv2t::World;

// The parameters hosts see by name, and Active, which hosts' bypass drives: one port each.
std::vector<int> expectedPortParameters() {
    std::vector<int> indices;
    for (int i = 0; i < kNumParams; ++i) {
        if (ParameterTable::row(i).automatable || i == parActiveIndex) {
            indices.push_back(i);
        }
    }
    return indices;
}

std::unique_ptr<zb::PluginLoader> loadVst(float rate = 44100.0f, int block = 512) {
    zb::LoadOptions options;
    options.path = lv2t::buildDir() + "/Zornbeck.so";
    options.sampleRate = rate;
    options.blockSize = block;
    std::string error;
    auto plugin = zb::PluginLoader::load(options, error);
    EXPECT_NE(plugin, nullptr) << error;
    return plugin;
}

// Deterministic noise in [-0.5, 0.5).
std::vector<float> noise(std::size_t frames, unsigned seed) {
    std::vector<float> data(frames);
    for (float& x : data) {
        seed = seed * 1664525u + 1013904223u;
        x = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
    }
    return data;
}

// The same input through both, block by block; `between(block)` may change values before each.
struct Comparison {
    std::vector<float> lv2Left, lv2Right, vstLeft, vstRight;

    template <typename Between>
    void run(Instance& lv2, zb::PluginLoader& vst, const std::vector<int>& blocks, Between between) {
        std::size_t total = 0;
        for (int b : blocks) {
            total += static_cast<std::size_t>(b);
        }
        const std::vector<float> left = noise(total, 1), right = noise(total, 2);
        lv2Left.assign(total, 0.0f);
        lv2Right.assign(total, 0.0f);
        vstLeft.assign(total, 0.0f);
        vstRight.assign(total, 0.0f);
        std::size_t at = 0;
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            between(static_cast<int>(b));
            const auto n = static_cast<std::uint32_t>(blocks[b]);
            lv2.run(&left[at], &right[at], &lv2Left[at], &lv2Right[at], n);
            float* in[2] = {const_cast<float*>(&left[at]), const_cast<float*>(&right[at])};
            float* out[2] = {&vstLeft[at], &vstRight[at]};
            vst.process(in, out, static_cast<VstInt32>(n));
            at += n;
        }
    }

    // The first differing sample, or -1.
    long firstDifference() const {
        for (std::size_t i = 0; i < lv2Left.size(); ++i) {
            if (std::memcmp(&lv2Left[i], &vstLeft[i], sizeof(float)) != 0 ||
                std::memcmp(&lv2Right[i], &vstRight[i], sizeof(float)) != 0) {
                return static_cast<long>(i);
            }
        }
        return -1;
    }

    bool audible() const {
        double energy = 0.0;
        for (float x : lv2Left) {
            energy += double(x) * x;
        }
        return energy > 1.0;
    }

    // No NaN, infinity or denormal anywhere in the LV2 output.
    bool clean() const {
        for (const auto* channel : {&lv2Left, &lv2Right}) {
            for (float x : *channel) {
                if (!std::isfinite(x) || (x != 0.0f && std::fabs(x) < 1.17549435e-38f)) {
                    return false;
                }
            }
        }
        return true;
    }
};

// Each module draws its voices' phases from a sequence of its own per thread, begun afresh on
// every thread: a comparison makes and runs both plug-ins on a new thread, where they start alike.
template <typename Body>
void onFreshThread(Body body) {
    std::thread thread(body);
    thread.join();
}

std::vector<int> equalBlocks(int count, int size = 512) {
    return std::vector<int>(static_cast<std::size_t>(count), size);
}

struct Lv2Test : ::testing::Test {
    World world;
    void SetUp() override { ASSERT_NE(world.plugin(), nullptr) << "no plug-in in " << lv2t::bundleDir(); }

    std::uint32_t portOf(int index) {
        const std::vector<int> indices = expectedPortParameters();
        for (std::size_t k = 0; k < indices.size(); ++k) {
            if (indices[k] == index) {
                return static_cast<std::uint32_t>(4 + k);
            }
        }
        return UINT32_MAX;
    }

    void newInstanceFollowsPortChanges();
    void presetSoundsLikeProgram(const LilvNode* preset, int program);
    void vstSessionRestores(const std::vector<std::uint8_t>& bank);
    void rateGivesTheVstBits(double rate);
    void portsFromAnotherThread();
    void monoInput();

    LilvNode* get(const LilvPort* port, const char* predicate) {
        LilvNodes* values = lilv_port_get_value(world.plugin(), port, world.uri(predicate));
        LilvNode* value = values != nullptr && lilv_nodes_size(values) > 0 ? lilv_node_duplicate(lilv_nodes_get_first(values))
                                                                          : nullptr;
        lilv_nodes_free(values);
        return value;
    }
};

TEST_F(Lv2Test, EveryNamedParameterIsAControlPortDescribedFromTheTable) {
    const LilvPlugin* plugin = world.plugin();
    const std::vector<int> indices = expectedPortParameters();
    ASSERT_EQ(lilv_plugin_get_num_ports(plugin), 4 + indices.size());
    auto vst = loadVst();
    ASSERT_TRUE(vst);
    std::vector<float> mins(indices.size() + 4), maxs(indices.size() + 4), defaults(indices.size() + 4);
    lilv_plugin_get_port_ranges_float(plugin, mins.data(), maxs.data(), defaults.data());
    std::set<std::string> symbols;
    for (std::size_t k = 0; k < indices.size(); ++k) {
        const int index = indices[k];
        const ParameterRow& row = ParameterTable::row(index);
        const auto p = static_cast<std::uint32_t>(4 + k);
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
        SCOPED_TRACE("parameter " + std::to_string(index));
        EXPECT_TRUE(lilv_port_is_a(plugin, port, world.uri(LV2_CORE__ControlPort)));
        EXPECT_TRUE(lilv_port_is_a(plugin, port, world.uri(LV2_CORE__InputPort)));
        char name[64] = {};
        if (index == parActiveIndex) {
            std::strcpy(name, "Active");
        } else {
            ASSERT_TRUE(ParameterTable::name(index, name, sizeof name));
        }
        LilvNode* portName = lilv_port_get_name(plugin, port);
        EXPECT_STREQ(lilv_node_as_string(portName), name);
        lilv_node_free(portName);
        // A valid, unique symbol.
        const std::string symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
        EXPECT_TRUE(!symbol.empty() && !std::isdigit(static_cast<unsigned char>(symbol[0])));
        for (char c : symbol) {
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '_') << symbol;
        }
        EXPECT_TRUE(symbols.insert(symbol).second) << symbol;
        // The stored 0..1 value, starting where a new VST 2.4 instance starts.
        EXPECT_EQ(mins[p], 0.0f);
        EXPECT_EQ(maxs[p], 1.0f);
        EXPECT_EQ(defaults[p], vst->getParameter(index));
        // Steps as toggles or enumerations, with the table's text for each.
        const bool toggled = lilv_port_has_property(plugin, port, world.uri(LV2_CORE__toggled));
        const bool enumeration = lilv_port_has_property(plugin, port, world.uri(LV2_CORE__enumeration));
        EXPECT_EQ(toggled, row.steps == 1);
        EXPECT_EQ(enumeration, row.steps > 1);
        LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
        EXPECT_EQ(points != nullptr ? lilv_scale_points_size(points) : 0u,
                  row.stepped() ? static_cast<unsigned>(row.steps + 1) : 0u);
        if (points != nullptr) {
            LILV_FOREACH (scale_points, i, points) {
                const LilvScalePoint* point = lilv_scale_points_get(points, i);
                const float value = lilv_node_as_float(lilv_scale_point_get_value(point));
                char text[64] = {};
                ParameterTable::display(index, value, text, sizeof text);
                EXPECT_STREQ(lilv_node_as_string(lilv_scale_point_get_label(point)), text);
            }
            lilv_scale_points_free(points);
        }
        // The globals together, each person together.
        LilvNode* group = get(port, LV2_PORT_GROUPS__group);
        ASSERT_NE(group, nullptr);
        const std::string expected = row.person < 0 ? std::string(lv2t::kPluginUri) + "#globals"
                                                    : std::string(lv2t::kPluginUri) + "#person" +
                                                          std::to_string(row.person + 1);
        EXPECT_EQ(lilv_node_as_uri(group), expected);
        lilv_node_free(group);
    }
    // Bypass drives Active, and there is no latency to report.
    const LilvPort* enabled =
        lilv_plugin_get_port_by_designation(plugin, world.uri(LV2_CORE__InputPort), world.uri(LV2_CORE__enabled));
    ASSERT_NE(enabled, nullptr);
    EXPECT_EQ(lilv_port_get_index(plugin, enabled), portOf(parActiveIndex));
    EXPECT_FALSE(lilv_plugin_has_latency(plugin));
    EXPECT_EQ(lilv_plugin_get_num_ports_of_class(plugin, world.uri(LV2_CORE__AudioPort),
                                                 world.uri(LV2_CORE__InputPort), nullptr),
              2u);
    EXPECT_EQ(lilv_plugin_get_num_ports_of_class(plugin, world.uri(LV2_CORE__AudioPort),
                                                 world.uri(LV2_CORE__OutputPort), nullptr),
              2u);
    EXPECT_TRUE(lilv_plugin_has_feature(plugin, world.uri(LV2_CORE__hardRTCapable)));
    EXPECT_TRUE(lilv_plugin_has_extension_data(plugin, world.uri(LV2_STATE__interface)));
    // One X11 UI in the plug-in's own binary.
    LilvUIs* uis = lilv_plugin_get_uis(plugin);
    ASSERT_EQ(lilv_uis_size(uis), 1u);
    const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
    EXPECT_TRUE(lilv_ui_is_a(ui, world.uri(LV2_UI__X11UI)));
    EXPECT_STREQ(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), lilv_node_as_uri(lilv_plugin_get_library_uri(plugin)));
    lilv_uis_free(uis);
}

TEST_F(Lv2Test, ANewInstanceSoundsLikeANewVstInstanceAndFollowsPortChangesAlike) {
    onFreshThread([&] { newInstanceFollowsPortChanges(); });
}

void Lv2Test::newInstanceFollowsPortChanges() {
    Instance lv2(world, 44100.0);
    ASSERT_TRUE(lv2);
    auto vst = loadVst();
    ASSERT_TRUE(vst);
    // Values of several kinds of change (dip, glide, step, a person's fade, the cross-fade)
    // moved at block boundaries on both.
    const std::vector<std::pair<int, float>> moves = {
        {parAllpassSpreadIndex, 0.7f},  {parGlobalWetIndex, 0.3f},         {parPitchAllIndex, 0.9f},
        {personIndex(0, slotDelayTime), 0.2f}, {personIndex(3, slotPan), 0.1f}, {parActiveIndex, 0.0f},
        {parActiveIndex, 1.0f},        {parPopulationIndex, 10.0f / 60.0f}, {parSoloIndex, 1.0f},
    };
    Comparison c;
    c.run(lv2, *vst, equalBlocks(60), [&](int block) {
        if (block % 6 == 5 && static_cast<std::size_t>(block / 6) < moves.size()) {
            const auto [index, value] = moves[static_cast<std::size_t>(block / 6)];
            lv2.port(portOf(index)) = value;
            vst->setParameter(index, value);
        }
    });
    EXPECT_TRUE(c.audible());
    EXPECT_EQ(c.firstDifference(), -1);
    EXPECT_TRUE(c.clean());
}

TEST_F(Lv2Test, EachPresetIsItsProgramWithItsNameValuesAndSound) {
    std::vector<const LilvNode*> presets = world.presets();
    ASSERT_EQ(presets.size(), 24u);
    auto names = loadVst();
    ASSERT_TRUE(names);
    // Each program once, under its VST 2.4 name.
    std::map<std::string, int> programs;
    for (int p = 0; p < 24; ++p) {
        std::string name;
        ASSERT_TRUE(names->programNameIndexed(p, name));
        programs[name] = p;
    }
    std::set<int> seen;
    for (const LilvNode* preset : presets) {
        const std::string label = world.label(preset);
        ASSERT_EQ(programs.count(label), 1u) << label;
        const int program = programs[label];
        seen.insert(program);
        SCOPED_TRACE(label);
        onFreshThread([&] { presetSoundsLikeProgram(preset, program); });
    }
    EXPECT_EQ(seen.size(), 24u);
}

void Lv2Test::presetSoundsLikeProgram(const LilvNode* preset, int program) {
    Instance lv2(world, 44100.0);
    ASSERT_TRUE(lv2);
    auto vst = loadVst();
    ASSERT_TRUE(vst);
    // Both have played before the switch.
    Comparison before;
    before.run(lv2, *vst, equalBlocks(4), [](int) {});
    ASSERT_TRUE(lv2.loadPreset(preset));
    vst->setProgram(program);
    for (int index : expectedPortParameters()) {
        ASSERT_EQ(lv2.port(portOf(index)), vst->getParameter(index)) << "parameter " << index;
    }
    Comparison c;
    c.run(lv2, *vst, equalBlocks(12), [](int) {});
    EXPECT_TRUE(c.audible());
    EXPECT_EQ(c.firstDifference(), -1);
}

TEST_F(Lv2Test, StateRestoresIntoAnotherInstanceByteForByteAndAVstBankRestoresWithItsSound) {
    std::vector<const LilvNode*> presets = world.presets();
    ASSERT_FALSE(presets.empty());
    Instance a(world, 44100.0);
    ASSERT_TRUE(a);
    ASSERT_TRUE(a.loadPreset(presets[3]));
    a.port(portOf(parAllpassSpreadIndex)) = 0.25f;
    a.port(portOf(personIndex(2, slotPitchShift))) = 0.8f;
    std::vector<float> in(256, 0.1f), out(256), out2(256);
    a.run(in.data(), in.data(), out.data(), out2.data(), 256);
    const lv2t::State saved = a.save();
    ASSERT_EQ(saved.size(), 2u);
    const std::string bankKey = std::string(lv2t::kPluginUri) + "#bank";
    const std::string programKey = std::string(lv2t::kPluginUri) + "#program";
    ASSERT_EQ(saved.count(bankKey), 1u);
    EXPECT_EQ(saved.at(bankKey).type, LV2_ATOM__Chunk);
    EXPECT_EQ(saved.at(programKey).type, LV2_ATOM__Int);

    Instance b(world, 44100.0);
    ASSERT_TRUE(b);
    ASSERT_EQ(b.restore(saved), LV2_STATE_SUCCESS);
    EXPECT_EQ(b.save(), saved);

    // Bytes that are no bank change nothing.
    lv2t::State garbage = saved;
    garbage[bankKey].bytes.assign(100, 0x5a);
    EXPECT_NE(b.restore(garbage), LV2_STATE_SUCCESS);
    EXPECT_EQ(b.save(), saved);
    garbage = saved;
    garbage[bankKey].type = LV2_ATOM__String;
    EXPECT_NE(b.restore(garbage), LV2_STATE_SUCCESS);
    EXPECT_EQ(b.save(), saved);
    // Nor does a program that does not exist, with a bank that would be taken otherwise.
    Instance c(world, 44100.0);
    ASSERT_TRUE(c);
    const lv2t::State fresh = c.save();
    garbage = saved;
    const std::int32_t missing = 24;
    std::memcpy(garbage[programKey].bytes.data(), &missing, sizeof missing);
    EXPECT_NE(c.restore(garbage), LV2_STATE_SUCCESS);
    EXPECT_EQ(c.save(), fresh);

    // A session of the VST 2.4 module: its bank and its program.
    auto source = loadVst();
    ASSERT_TRUE(source);
    source->setProgram(7);
    source->setParameter(parGlobalDryIndex, 0.6f);
    source->setParameter(personIndex(1, slotDelayTime), 0.05f);
    const std::vector<std::uint8_t> bank = source->getChunk(false);
    ASSERT_FALSE(bank.empty());
    onFreshThread([&] { vstSessionRestores(bank); });
}

void Lv2Test::vstSessionRestores(const std::vector<std::uint8_t>& bank) {
    const std::string bankKey = std::string(lv2t::kPluginUri) + "#bank";
    const std::string programKey = std::string(lv2t::kPluginUri) + "#program";
    lv2t::State session;
    session[bankKey] = {LV2_ATOM__Chunk, bank};
    const std::int32_t program = 7;
    session[programKey] = {LV2_ATOM__Int, {reinterpret_cast<const std::uint8_t*>(&program),
                                           reinterpret_cast<const std::uint8_t*>(&program) + sizeof program}};
    Instance lv2(world, 44100.0);
    ASSERT_TRUE(lv2);
    auto vst = loadVst();
    ASSERT_TRUE(vst);
    ASSERT_EQ(lv2.restore(session), LV2_STATE_SUCCESS);
    ASSERT_EQ(vst->setChunk(bank, false), 1);
    vst->setProgram(7);
    EXPECT_EQ(lv2.save().at(bankKey).bytes, vst->getChunk(false));
    Comparison c;
    c.run(lv2, *vst, equalBlocks(12), [](int) {});
    EXPECT_TRUE(c.audible());
    EXPECT_EQ(c.firstDifference(), -1);
}

TEST_F(Lv2Test, ASessionThroughLilvComesBackWithItsValuesAndSound) {
    Instance a(world, 48000.0);
    ASSERT_TRUE(a);
    a.loadPreset(world.presets()[5]);
    a.port(portOf(parReverbSizeIndex)) = 0.9f;
    std::vector<float> in(512, 0.1f), l(512), r(512);
    a.run(in.data(), in.data(), l.data(), r.data(), 512);
    LilvState* state = a.lilvState();
    ASSERT_NE(state, nullptr);
    char* text = lilv_state_to_string(world.world(), &world.urids().mapFeature, &world.urids().unmapFeature, state,
                                      "urn:zornbeck:test:session", nullptr);
    ASSERT_NE(text, nullptr);
    LilvState* back = lilv_state_new_from_string(world.world(), &world.urids().mapFeature, text);
    lilv_free(text);
    ASSERT_NE(back, nullptr);
    Instance b(world, 48000.0);
    ASSERT_TRUE(b);
    b.restoreLilvState(back);
    EXPECT_EQ(b.save(), a.save());
    EXPECT_EQ(b.port(portOf(parReverbSizeIndex)), 0.9f);
    lilv_state_free(back);
    lilv_state_free(state);
}

// Rates from 8 k to 384 k, blocks from 1 to 8192 changing from call to call, a port moved every
// block: the same bits as the VST 2.4 module, and nothing but clean numbers.
TEST_F(Lv2Test, EveryRateAndChangingBlockSizesGiveTheVstModulesBits) {
    for (const double rate : {8000.0, 22050.0, 44100.0, 96000.0, 192000.0, 384000.0}) {
        SCOPED_TRACE("rate " + std::to_string(rate));
        onFreshThread([&] { rateGivesTheVstBits(rate); });
    }
}

void Lv2Test::rateGivesTheVstBits(double rate) {
    const std::vector<int> sizes = {1, 8192, 7, 512, 3, 4096, 64, 1, 1000, 8191, 2, 333};
    Instance lv2(world, rate, 8192);
    ASSERT_TRUE(lv2);
    auto vst = loadVst(static_cast<float>(rate), 8192);
    ASSERT_TRUE(vst);
    Comparison c;
    const std::uint32_t shift = portOf(parPitchAllIndex), pan = portOf(personIndex(0, slotPan));
    c.run(lv2, *vst, sizes, [&](int block) {
        const float v = static_cast<float>(block % 5) / 4.0f;
        lv2.port(shift) = v;
        lv2.port(pan) = 1.0f - v;
        vst->setParameter(parPitchAllIndex, v);
        vst->setParameter(personIndex(0, slotPan), 1.0f - v);
    });
    EXPECT_TRUE(c.audible());
    EXPECT_EQ(c.firstDifference(), -1);
    EXPECT_TRUE(c.clean());
}

// The host's control thread writes the ports while the audio thread runs the blocks, handing
// each block over as a host's queue would.
TEST_F(Lv2Test, PortValuesWrittenOnAnotherThreadArriveAtTheNextBlock) {
    onFreshThread([&] { portsFromAnotherThread(); });
}

void Lv2Test::portsFromAnotherThread() {
    Instance lv2(world, 44100.0);
    ASSERT_TRUE(lv2);
    auto vst = loadVst();
    ASSERT_TRUE(vst);
    const int blocks = 40;
    const std::uint32_t wet = portOf(parGlobalWetIndex), delay = portOf(personIndex(1, slotDelayTime));
    std::mutex mutex;
    std::condition_variable changed;
    int written = -1;
    int consumed = -1;
    std::thread control([&] {
        for (int b = 0; b < blocks; ++b) {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return consumed == b - 1; });
            lv2.port(wet) = static_cast<float>(b % 7) / 6.0f;
            lv2.port(delay) = static_cast<float>(b % 3) / 10.0f;
            written = b;
            changed.notify_all();
        }
    });
    Comparison c;
    c.run(lv2, *vst, equalBlocks(blocks, 256), [&](int b) {
        {
            std::unique_lock lock(mutex);
            consumed = b - 1;
            changed.notify_all();
            changed.wait(lock, [&] { return written == b; });
        }
        vst->setParameter(parGlobalWetIndex, static_cast<float>(b % 7) / 6.0f);
        vst->setParameter(personIndex(1, slotDelayTime), static_cast<float>(b % 3) / 10.0f);
    });
    control.join();
    EXPECT_TRUE(c.audible());
    EXPECT_EQ(c.firstDifference(), -1);
}

TEST_F(Lv2Test, MonoHostsFeedingOneBufferToBothInputsHearWhatTheVstModuleGives) {
    onFreshThread([&] { monoInput(); });
}

void Lv2Test::monoInput() {
    Instance lv2(world, 44100.0);
    ASSERT_TRUE(lv2);
    auto vst = loadVst();
    ASSERT_TRUE(vst);
    const std::vector<float> in = noise(512 * 8, 9);
    std::vector<float> l(in.size()), r(in.size()), vl(in.size()), vr(in.size());
    for (std::size_t at = 0; at < in.size(); at += 512) {
        lv2.run(&in[at], &in[at], &l[at], &r[at], 512);
        float* inputs[2] = {const_cast<float*>(&in[at]), const_cast<float*>(&in[at])};
        float* outputs[2] = {&vl[at], &vr[at]};
        vst->process(inputs, outputs, 512);
    }
    EXPECT_EQ(std::memcmp(l.data(), vl.data(), l.size() * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(r.data(), vr.data(), r.size() * sizeof(float)), 0);
}

}  // namespace
