// The same input, program and parameter changes through the VST 2.4 module and through
// Zornbeck.clap give the same bits; a VST 2.4 bank chunk restores in the CLAP plug-in.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "PluginLoader.h"
#include "tests/clap/StrictHost.h"

namespace {

constexpr uint32_t kProgramId = 1000;

std::string vstPath() {
#ifdef _WIN32
    return th::buildDir() + "\\Zornbeck.dll";
#else
    return th::buildDir() + "/Zornbeck.so";
#endif
}

std::unique_ptr<zb::PluginLoader> loadVst(double rate = 44100.0, uint32_t max = 512) {
    zb::LoadOptions options;
    options.path = vstPath();
    options.sampleRate = static_cast<float>(rate);
    options.blockSize = static_cast<VstInt32>(max);
    std::string error;
    auto plugin = zb::PluginLoader::load(options, error);
    EXPECT_TRUE(plugin) << error;
    return plugin;
}

struct Change {
    uint32_t frame;  // from the start of the render
    int index;
    float value;
};

struct Render {
    std::vector<float> left, right;
};

std::vector<float> noise(std::size_t n, unsigned seed) {
    std::vector<float> v(n);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-0.5f, 0.5f);
    for (float& x : v) {
        x = d(rng);
    }
    return v;
}

// Blocks of varying length; every change splits its block at its frame in both formats.
std::vector<uint32_t> blockSizes(uint32_t total, uint32_t max) {
    std::vector<uint32_t> sizes;
    std::mt19937 rng(17);
    for (uint32_t done = 0; done < total;) {
        const uint32_t n = std::min<uint32_t>(1 + rng() % max, total - done);
        sizes.push_back(n);
        done += n;
    }
    return sizes;
}

Render renderVst(int program, double rate, uint32_t max, const std::vector<float>& in,
                 const std::vector<Change>& changes, const std::vector<uint8_t>* bank = nullptr) {
    // A VST 2.4 host: open, rate and block size, resume; then the session's state and changes.
    auto vst = loadVst(rate, max);
    if (bank != nullptr) {
        EXPECT_EQ(vst->setChunk(*bank, false), 1);
    }
    // The face switches only to a program that is not the current one.
    if (vst->program() != program) {
        vst->setProgram(program);
    }
    std::size_t next = 0;
    while (next < changes.size() && changes[next].frame == 0) {
        vst->setParameter(changes[next].index, changes[next].value);
        ++next;
    }
    Render out{std::vector<float>(in.size()), std::vector<float>(in.size())};
    std::vector<float> inL = in, inR = in;
    uint32_t at = 0;
    for (uint32_t n : blockSizes(static_cast<uint32_t>(in.size()), max)) {
        uint32_t done = 0;
        while (done < n) {
            uint32_t to = n;
            if (next < changes.size() && changes[next].frame < at + n) {
                to = changes[next].frame - at;
            }
            if (to > done) {
                float* i[2] = {inL.data() + at + done, inR.data() + at + done};
                float* o[2] = {out.left.data() + at + done, out.right.data() + at + done};
                vst->process(i, o, static_cast<VstInt32>(to - done));
                done = to;
            }
            while (next < changes.size() && changes[next].frame == at + done && done < n) {
                vst->setParameter(changes[next].index, changes[next].value);
                ++next;
            }
        }
        at += n;
    }
    return out;
}

// The Active switch is the host's bypass in CLAP: the other way round.
th::param_value_t clapEvent(const Change& c, uint32_t time) {
    return c.index == 18 ? th::StrictHost::value(1001, c.value > 0.0f ? 0.0 : 1.0, time)
                         : th::StrictHost::value(static_cast<uint32_t>(c.index), c.value, time);
}

// Voice phases come from a sequence each loaded module keeps per thread, so both renders start
// from a freshly loaded module, as a host's first instance does.
Render renderClap(int program, double rate, uint32_t max, const std::vector<float>& in,
                  const std::vector<Change>& changes, const std::vector<uint8_t>* bank = nullptr) {
    std::string error;
    auto lib = th::ClapLibrary::open(th::clapPath(), error);
    EXPECT_TRUE(lib) << error;
    // A CLAP host: create, activate, then the session's state and changes, then processing.
    th::StrictHost host(*lib);
    EXPECT_TRUE(host.create());
    EXPECT_TRUE(host.activate(rate, 1, max));
    if (bank != nullptr) {
        EXPECT_TRUE(host.load(*bank));
    }
    host.flush({th::StrictHost::value(kProgramId, program)});
    host.idle();  // the program switch, on the main thread
    std::vector<th::param_value_t> first;
    std::size_t next = 0;
    for (; next < changes.size() && changes[next].frame == 0; ++next) {
        first.push_back(clapEvent(changes[next], 0));
    }
    host.flush(first);
    EXPECT_TRUE(host.start());
    Render out{std::vector<float>(in.size()), std::vector<float>(in.size())};
    uint32_t at = 0;
    for (uint32_t n : blockSizes(static_cast<uint32_t>(in.size()), max)) {
        std::vector<th::param_value_t> events;
        for (; next < changes.size() && changes[next].frame < at + n; ++next) {
            events.push_back(clapEvent(changes[next], changes[next].frame - at));
        }
        host.process(in.data() + at, in.data() + at, out.left.data() + at, out.right.data() + at, n, events);
        at += n;
    }
    EXPECT_TRUE(host.violations.empty()) << host.violations.front();
    return out;
}

TEST(ClapEquivalence, SameProgramsAndChangesGiveTheSameBits) {
    const std::vector<float> in = noise(44100, 21);
    struct Case {
        int program;
        double rate;
        uint32_t max;
    };
    for (const Case& c : {Case{0, 44100.0, 512}, Case{3, 48000.0, 1024}, Case{17, 96000.0, 333}}) {
        // At the start, then at sample offsets inside blocks: a glide, a dip, a voice fade,
        // a room change and Solo.
        const std::vector<Change> changes = {{0, 2, 0.4f},      {0, 27, 0.8f},     {1000, 3, 0.2f},
                                             {5001, 12, 0.9f},  {9999, 23, 0.1f},  {12000, 15, 0.3f},
                                             {20000, 6, 1.0f},  {20001, 1, 0.05f}, {30000, 6, 0.0f},
                                             {30000, 0, 0.33f}, {40000, 18, 0.0f}};
        const Render vst = renderVst(c.program, c.rate, c.max, in, changes);
        const Render clap = renderClap(c.program, c.rate, c.max, in, changes);
        ASSERT_EQ(vst.left.size(), clap.left.size());
        EXPECT_TRUE(std::memcmp(vst.left.data(), clap.left.data(), in.size() * sizeof(float)) == 0 &&
                    std::memcmp(vst.right.data(), clap.right.data(), in.size() * sizeof(float)) == 0)
            << "program " << c.program << " at " << c.rate;
        EXPECT_NE(vst.left, in);
    }
}

TEST(ClapEquivalence, AMonoInputSoundsAsTheVstModulesMonoInput) {
    const std::vector<float> in = noise(8192, 8);
    Render vst{std::vector<float>(in.size()), std::vector<float>(in.size())};
    {
        auto plugin = loadVst();
        std::vector<float> mono = in;
        for (std::size_t at = 0; at < in.size(); at += 512) {
            float* i[2] = {mono.data() + at, mono.data() + at};  // one channel, as a mono track
            float* o[2] = {vst.left.data() + at, vst.right.data() + at};
            plugin->process(i, o, 512);
        }
    }
    std::string error;
    auto lib = th::ClapLibrary::open(th::clapPath(), error);
    ASSERT_TRUE(lib) << error;
    th::StrictHost host(*lib);
    ASSERT_TRUE(host.create());
    ASSERT_TRUE(host.portsConfig->select(host.plugin(), 1));
    host.inputChannels = 1;
    ASSERT_TRUE(host.activate(44100.0, 1, 512));
    ASSERT_TRUE(host.start());
    Render clap{std::vector<float>(in.size()), std::vector<float>(in.size())};
    for (std::size_t at = 0; at < in.size(); at += 512) {
        host.process(in.data() + at, in.data() + at, clap.left.data() + at, clap.right.data() + at, 512);
    }
    EXPECT_EQ(vst.left, clap.left);
    EXPECT_EQ(vst.right, clap.right);
    EXPECT_NE(clap.left, clap.right) << "the crowd spreads a mono voice";
    EXPECT_TRUE(host.violations.empty());
}

TEST(ClapEquivalence, AVst24BankChunkRestoresAndSoundsTheSame) {
    std::vector<uint8_t> bank;
    {
        auto vst = loadVst();
        vst->setProgram(4);
        vst->setParameter(2, 0.45f);
        vst->setParameter(39, 0.6f);
        vst->setProgram(9);
        vst->setParameter(14, 0.2f);
        bank = vst->getChunk(false);
        ASSERT_GT(bank.size(), 1000u);

        std::string error;
        auto lib = th::ClapLibrary::open(th::clapPath(), error);
        ASSERT_TRUE(lib) << error;
        th::StrictHost host(*lib);
        ASSERT_TRUE(host.create());
        ASSERT_TRUE(host.load(bank));
        for (int program : {4, 9}) {
            host.flush({th::StrictHost::value(kProgramId, program)});
            vst->setProgram(program);
            for (uint32_t id : {0u, 2u, 3u, 14u, 39u, 99u}) {
                EXPECT_EQ(host.get(id), double(vst->getParameter(static_cast<VstInt32>(id))))
                    << program << ":" << id;
            }
        }
    }
    const std::vector<float> in = noise(8192, 4);
    const Render a = renderVst(9, 44100.0, 512, in, {}, &bank);
    const Render b = renderClap(9, 44100.0, 512, in, {}, &bank);
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.right, b.right);
}

}  // namespace
