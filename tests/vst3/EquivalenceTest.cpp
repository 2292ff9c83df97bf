// The same input, program and parameter values through the VST 2.4 module and the VST 3 bundle
// give the same bits: in blocks, with sample-accurate changes, at other rates, mono, in place,
// and after state from either side.
#include <algorithm>
#include <random>

#include "Vst3Fixture.h"

namespace {

using namespace v3;

struct Change {
    int offset;
    std::uint32_t index;  // a VST 2.4 index; 18 (Active) goes to VST 3 as the bypass
    float value;
};

struct Block {
    int frames;
    std::vector<Change> changes;
};

// Both faces from their first sample: the VST 2.4 module as a VST 2.4 host drives it (values set
// between processReplacing calls), the VST 3 one with the same values as points. Each module is
// loaded afresh: voices draw their phases from a sequence that runs on with every instance a
// module makes, in either format.
struct Pair {
    Pair(double rate, int maxBlock, int program)
        : module(loadBundle()),
          vst2(loadVst2(static_cast<float>(rate), maxBlock)),
          vst3(*module, rate, maxBlock) {
        // Either starts running once, at the rate and block size its host gave it first.
        if (program != 0) {
            vst2->setProgram(program);
            vst3.set(kProgramId, static_cast<float>(program) / 23.0f);
        }
    }

    // Runs the blocks; true when every output sample of both is the same float.
    ::testing::AssertionResult run(const std::vector<Block>& blocks, unsigned seed, bool inPlace = false,
                                   bool mono = false) {
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            const Block& block = blocks[b];
            const auto n = static_cast<std::size_t>(block.frames);
            Stereo in(n), out2(n), out3(n);
            noise(in, seed);
            if (mono) {
                in.r = in.l;
            }
            Stereo in3 = in;
            // VST 2.4: split at each change.
            int cursor = 0;
            std::vector<Change> sorted = block.changes;
            std::stable_sort(sorted.begin(), sorted.end(),
                             [](const Change& a, const Change& c) { return a.offset < c.offset; });
            Stereo in2 = in;
            for (const Change& c : sorted) {
                if (c.offset > cursor) {
                    float* i[2] = {in2.l.data() + cursor, in2.r.data() + cursor};
                    float* o[2] = {out2.l.data() + cursor, out2.r.data() + cursor};
                    vst2->process(i, o, c.offset - cursor);
                    cursor = c.offset;
                }
                vst2->setParameter(static_cast<VstInt32>(c.index), c.value);
            }
            if (cursor < block.frames) {
                float* i[2] = {in2.l.data() + cursor, in2.r.data() + cursor};
                float* o[2] = {out2.l.data() + cursor, out2.r.data() + cursor};
                vst2->process(i, o, block.frames - cursor);
            }
            // VST 3: one call with points.
            sh::Changes points;
            for (const Change& c : block.changes) {
                if (c.index == 18) {
                    points.add(kBypassId, c.offset, c.value == 0.0f ? 1.0 : 0.0);
                } else {
                    points.add(c.index, c.offset, c.value);
                }
            }
            tresultCheck(inPlace, mono, in3, out3, block.frames, points);
            const Stereo& result = inPlace ? in3 : out3;
            if (!(result == out2)) {
                for (std::size_t i = 0; i < n; ++i) {
                    if (result.l[i] != out2.l[i] || result.r[i] != out2.r[i]) {
                        return ::testing::AssertionFailure()
                               << "block " << b << " frame " << i << ": VST 2.4 " << out2.l[i] << " VST 3 "
                               << result.l[i];
                    }
                }
            }
        }
        return ::testing::AssertionSuccess();
    }

    void tresultCheck(bool inPlace, bool mono, Stereo& in, Stereo& out, int frames, sh::Changes& points) {
        float* inputs[2] = {in.l.data(), in.r.data()};
        float* outputs[2] = {out.l.data(), out.r.data()};
        sh::AudioBusBuffers inBus{mono ? 1 : 2, 0, inputs};
        sh::AudioBusBuffers outBus{2, 0, inPlace ? inputs : outputs};
        sh::Changes reported;
        sh::ProcessData d{0, 0, frames, 1, 1, &inBus, &outBus, &points, &reported, nullptr, nullptr, nullptr};
        EXPECT_EQ(sh::call<sh::tresult>(vst3.processor, 9, &d), sh::kOk);
    }

    std::unique_ptr<sh::Module> module;
    std::unique_ptr<zb::PluginLoader> vst2;
    sh::Instance vst3;
};

std::vector<Block> steadyBlocks(int count, int frames) {
    return std::vector<Block>(static_cast<std::size_t>(count), Block{frames, {}});
}

// Changes at random offsets, every 32 frames on average, over the named parameters.
std::vector<Block> busyBlocks(int count, int maxFrames, unsigned seed) {
    std::mt19937 rng(seed);
    const std::uint32_t indices[] = {0, 1, 2, 3, 6, 12, 13, 14, 15, 16, 17, 20, 21, 23, 24, 25, 26, 27, 32, 100, 700};
    std::vector<Block> blocks;
    for (int b = 0; b < count; ++b) {
        Block block{1 + static_cast<int>(rng() % static_cast<unsigned>(maxFrames)), {}};
        // One change per offset: a VST 3 host cannot say in which order changes of two
        // parameters at one offset come.
        std::vector<bool> used(static_cast<std::size_t>(block.frames) + 1, false);
        for (int c = 0; c < block.frames / 32 + 1; ++c) {
            const std::uint32_t index = indices[rng() % std::size(indices)];
            const int offset = static_cast<int>(rng() % static_cast<unsigned>(block.frames + 1));
            if (used[static_cast<std::size_t>(offset)]) {
                continue;
            }
            used[static_cast<std::size_t>(offset)] = true;
            block.changes.push_back({offset, index, std::uniform_real_distribution<float>(0.0f, 1.0f)(rng)});
        }
        blocks.push_back(block);
    }
    return blocks;
}

TEST(Vst3Equivalence, EveryProgramGivesTheVst2ModulesBits) {
    for (int program : {0, 3, 5, 12, 17, 23}) {
        Pair pair(44100.0, 512, program);
        pair.vst3.parameters();  // as every host does first: reading defaults must not change the sound
        EXPECT_TRUE(pair.run(steadyBlocks(24, 512), 11u + static_cast<unsigned>(program))) << "program " << program;
    }
}

TEST(Vst3Equivalence, SampleAccurateChangesSplitTheBlockAsAVst2HostWould) {
    Pair pair(44100.0, 1024, 2);
    EXPECT_TRUE(pair.run(busyBlocks(60, 1024, 5u), 3u));
    // A point at numSamples is the value reached at the block's end (Ardour sends one).
    std::vector<Block> end = {{256, {{256, 13, 0.9f}, {0, 2, 0.3f}}}, {256, {}}, {256, {{100, 18, 0.0f}}}};
    EXPECT_TRUE(pair.run(end, 4u));
}

TEST(Vst3Equivalence, OtherRatesMonoInputAndInPlaceBuffersGiveTheSameBits) {
    {
        Pair pair(96000.0, 2048, 6);
        EXPECT_TRUE(pair.run(busyBlocks(12, 2048, 9u), 8u)) << "96 kHz";
    }
    {
        Pair pair(22050.0, 300, 1);
        EXPECT_TRUE(pair.run(steadyBlocks(20, 300), 2u, false, true)) << "mono";
    }
    {
        Pair pair(48000.0, 512, 9);
        EXPECT_TRUE(pair.run(busyBlocks(20, 512, 1u), 6u, true)) << "in place";
    }
}

TEST(Vst3Equivalence, BypassIsTheActiveSwitchWithItsCrossFade) {
    Pair pair(44100.0, 512, 0);
    std::vector<Block> blocks = steadyBlocks(10, 512);
    blocks[2].changes.push_back({77, 18, 0.0f});  // bypass on mid-block
    blocks[7].changes.push_back({0, 18, 1.0f});
    EXPECT_TRUE(pair.run(blocks, 21u));
    // Bypassed long enough, the output is the input.
    pair.vst3.set(kBypassId, 1.0);
    Stereo in(512), out(512);
    unsigned seed = 4;
    for (int b = 0; b < 40; ++b) {
        noise(in, seed);
        pair.vst3.process(in.ptr(), out.ptr(), 512);
    }
    EXPECT_TRUE(in == out);
}

// What a VST 2.4 host saved sounds the same in the VST 3 face: the bank chunk, the program
// chunk, and a program file.
TEST(Vst3Equivalence, Vst2ChunksAndProgramFilesRestoreTheSameSound) {
    std::vector<std::uint8_t> bank, program;
    {
        // Unloaded before the pairs are made, so each pair's VST 2.4 instance is its module's first.
        auto source = loadVst2();
        ASSERT_NE(source, nullptr);
        source->setProgram(4);
        source->setParameter(13, 0.7f);
        source->setParameter(2, 0.35f);
        source->setParameter(25, 0.1f);
        bank = source->getChunk(false);
        program = source->getChunk(true);
    }
    ASSERT_FALSE(bank.empty());
    ASSERT_FALSE(program.empty());

    // A program file: 'CcnK', size, 'FPCh', version, 'Zrbk', its version, one program, the name,
    // then the chunk's size and the chunk, all big-endian.
    std::vector<std::uint8_t> fxp;
    auto be = [&](std::uint32_t v) {
        for (int i = 3; i >= 0; --i) {
            fxp.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    };
    fxp.insert(fxp.end(), {'C', 'c', 'n', 'K'});
    be(static_cast<std::uint32_t>(52 + program.size()));
    fxp.insert(fxp.end(), {'F', 'P', 'C', 'h'});
    be(1);
    fxp.insert(fxp.end(), {'Z', 'r', 'b', 'k'});
    be(1);
    be(1);
    fxp.resize(fxp.size() + 28, 0);
    be(static_cast<std::uint32_t>(program.size()));
    fxp.insert(fxp.end(), program.begin(), program.end());
    ASSERT_EQ(fxp.size(), 60 + program.size());
    // A bank file: the same header with 'FBCh', 128 reserved bytes, then the bank chunk.
    std::vector<std::uint8_t> fxb(fxp.begin(), fxp.begin() + 28);
    std::memcpy(fxb.data() + 8, "FBCh", 4);
    fxb.resize(156, 0);
    for (int i = 3; i >= 0; --i) {
        fxb.push_back(static_cast<std::uint8_t>(bank.size() >> (8 * i)));
    }
    fxb.insert(fxb.end(), bank.begin(), bank.end());
    for (int i = 0; i < 4; ++i) {
        fxb[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((fxb.size() - 8) >> (8 * (3 - i)));
    }

    struct Case {
        const char* what;
        const std::vector<std::uint8_t>* bytes;
        bool preset;
    } cases[] = {{"bank chunk", &bank, false},
                 {"program chunk", &program, true},
                 {"program file", &fxp, true},
                 {"bank file", &fxb, false}};
    for (const Case& c : cases) {
        Pair pair(44100.0, 512, 4);
        ASSERT_EQ(pair.vst2->setChunk(c.preset ? program : bank, c.preset), 1) << c.what;
        ASSERT_EQ(pair.vst3.setState(*c.bytes), sh::kOk) << c.what;
        EXPECT_EQ(pair.vst3.get(13), static_cast<double>(0.7f)) << c.what;
        EXPECT_TRUE(pair.run(steadyBlocks(12, 512), 31u)) << c.what;
    }

    // And the face's own state moves to a VST 2.4 host as its bank and program.
    std::vector<std::uint8_t> state;
    {
        auto m = loadBundle();
        ASSERT_NE(m, nullptr);
        sh::Instance other(*m);
        other.set(kProgramId, 4.0f / 23.0f);
        other.set(13, 0.7);
        other.set(14, 0.2);
        state = other.getState();
    }
    Pair pair(44100.0, 512, 0);
    ASSERT_EQ(pair.vst3.setState(state), sh::kOk);
    pair.vst2->setProgram(4);
    pair.vst2->setChunk(std::vector<std::uint8_t>(state.begin() + 16, state.end()), false);
    EXPECT_TRUE(pair.run(steadyBlocks(12, 512), 32u));
}

}  // namespace

namespace {

// zornbeck's loader takes the bundle as well as the module, and both sound the same through it.
TEST(Vst3Equivalence, TheHostsLoaderDrivesTheBundleWithTheModulesBits) {
    auto vst2 = loadVst2();
    ASSERT_NE(vst2, nullptr);
    zb::LoadOptions options;
    options.path = sh::bundlePath();
    std::string error;
    auto bundle = zb::PluginLoader::load(options, error);
    ASSERT_NE(bundle, nullptr) << error;
    // The loader reads every parameter's info, defaults included: that must not change the sound.
    EXPECT_EQ(bundle->productString(), vst2->productString());
    EXPECT_EQ(bundle->effect()->numPrograms, vst2->effect()->numPrograms);
    EXPECT_LE(bundle->effect()->numParams, vst2->effect()->numParams);  // up to the last named one
    EXPECT_EQ(bundle->parameterName(13), vst2->parameterName(13));
    for (auto* p : {bundle.get(), vst2.get()}) {
        p->setProgram(3);
        p->setParameter(13, 0.3f);
    }
    EXPECT_EQ(bundle->program(), 3);
    EXPECT_EQ(bundle->getParameter(13), 0.3f);
    Stereo in(512), out2(512), out3(512);
    unsigned seed = 12;
    for (int b = 0; b < 20; ++b) {
        noise(in, seed);
        Stereo in3 = in;
        vst2->process(in.ptr(), out2.ptr(), 512);
        bundle->process(in3.ptr(), out3.ptr(), 512);
        std::size_t first = 0;
        while (first < 512 && out2.l[first] == out3.l[first] && out2.r[first] == out3.r[first]) {
            ++first;
        }
        ASSERT_EQ(first, 512u) << "block " << b << ": " << out2.l[first % 512] << " vs " << out3.l[first % 512];
    }
}

}  // namespace
