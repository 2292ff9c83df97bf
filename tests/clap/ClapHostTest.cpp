// The built Zornbeck.clap through the strict host: the checks a CLAP validator makes (scan,
// descriptor, lifecycle, processing at every rate and block size, parameters, text, state),
// plus the deferred program switch and the bypass.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <string>

#include "tests/clap/StrictHost.h"

namespace {

using th::StrictHost;

constexpr uint32_t kProgramId = 1000;
constexpr uint32_t kBypassId = 1001;

std::unique_ptr<th::ClapLibrary> openLibrary() {
    std::string error;
    auto lib = th::ClapLibrary::open(th::clapPath(), error);
    EXPECT_NE(lib, nullptr) << error;
    return lib;
}

std::vector<float> noise(std::size_t n, unsigned seed) {
    std::vector<float> v(n);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-0.5f, 0.5f);
    for (float& x : v) {
        x = d(rng);
    }
    return v;
}

struct ClapHostTest : ::testing::Test {
    std::unique_ptr<th::ClapLibrary> lib = openLibrary();

    std::unique_ptr<StrictHost> instance(th::HostOptions options = {}) {
        auto host = std::make_unique<StrictHost>(*lib, options);
        EXPECT_TRUE(host->create());
        EXPECT_NE(host->params, nullptr);
        EXPECT_NE(host->state, nullptr);
        return host;
    }

    // Runs `frames` of noise through in blocks of `block` and returns the left output.
    static std::vector<float> run(StrictHost& host, uint32_t frames, uint32_t block, unsigned seed = 1) {
        const std::vector<float> l = noise(frames, seed), r = noise(frames, seed + 1);
        std::vector<float> ol(frames), orr(frames);
        for (uint32_t at = 0; at < frames; at += block) {
            const uint32_t n = std::min(block, frames - at);
            host.process(l.data() + at, r.data() + at, ol.data() + at, orr.data() + at, n);
        }
        return ol;
    }
};

TEST_F(ClapHostTest, ScanFindsOneDescribedPluginQuicklyAndRefusesWhatIsNotIt) {
    ASSERT_TRUE(lib);
    // A scan from scratch: load, init, factory and descriptor.
    lib.reset();
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    lib = th::ClapLibrary::open(th::clapPath(), error);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(lib) << error;
    EXPECT_LT(ms, 100.0);
    auto again = th::ClapLibrary::open(th::clapPath(), error);  // a second init while the first lives
    ASSERT_TRUE(again) << error;

    EXPECT_EQ(lib->entry()->version.major, 1u);
    EXPECT_EQ(lib->entry()->get_factory("clap.no-such-factory"), nullptr);
    EXPECT_EQ(lib->factory()->count(lib->factory()), 1u);
    EXPECT_EQ(lib->factory()->descriptor(lib->factory(), 1), nullptr);
    const th::descriptor_t& d = *lib->descriptor();
    EXPECT_EQ(d.version.major, 1u);
    EXPECT_STREQ(d.id, "com.quillfen.zornbeck");
    EXPECT_STREQ(d.name, "Zornbeck");
    ASSERT_NE(d.vendor, nullptr);
    ASSERT_NE(d.version_text, nullptr);
    ASSERT_NE(d.features, nullptr);
    std::set<std::string> features;
    int count = 0;
    for (const char* const* f = d.features; *f != nullptr; ++f, ++count) {
        features.insert(*f);
        EXPECT_EQ(std::strchr(*f, ' '), nullptr) << *f;
    }
    EXPECT_EQ(features.size(), std::size_t(count)) << "a feature is repeated";
    EXPECT_TRUE(features.count("audio-effect"));
    EXPECT_TRUE(features.count("stereo"));
    EXPECT_TRUE(features.count("chorus") || features.count("reverb"));

    th::host_t dummy{};
    const std::string garbage = std::string(d.id) + "x";
    EXPECT_EQ(lib->factory()->create(lib->factory(), &dummy, garbage.c_str()), nullptr);
    EXPECT_EQ(lib->factory()->create(lib->factory(), &dummy, "com.quillfen"), nullptr);
}

#ifndef _WIN32
TEST_F(ClapHostTest, ExportsOnlyTheEntry) {
    const std::string command = "nm -D --defined-only '" + th::clapPath() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_TRUE(pipe);
    char line[512];
    std::vector<std::string> symbols;
    while (std::fgets(line, sizeof line, pipe)) {
        std::string s(line);
        symbols.push_back(s.substr(s.find_last_of(' ') + 1));
    }
    pclose(pipe);
    ASSERT_EQ(symbols.size(), 1u);
    EXPECT_EQ(symbols[0], "clap_entry\n");
}
#endif

TEST_F(ClapHostTest, CreatesAndDestroysWithoutActivationAndCyclesActivation) {
    for (int i = 0; i < 3; ++i) {
        auto host = instance();
        EXPECT_TRUE(host->violations.empty());
    }
    auto host = instance();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(host->activate(44100.0 + 1000.0 * i, 1, 256));
        ASSERT_TRUE(host->start());
        run(*host, 600, 256);
        host->stop();
        host->reset();
        host->deactivate();
    }
    // A host that deactivates while processing, and a 0-frame block as the first call.
    ASSERT_TRUE(host->activate(48000.0, 512, 1024));
    ASSERT_TRUE(host->start());
    float dummy = 0.0f;
    EXPECT_EQ(host->process(&dummy, &dummy, &dummy, &dummy, 0), 1);
    run(*host, 2048, 1024);
    host->deactivate();
    EXPECT_TRUE(host->violations.empty()) << host->violations.front();
}

TEST_F(ClapHostTest, PortsAreOneMainStereoPairInEachDirection) {
    auto host = instance();
    ASSERT_NE(host->ports, nullptr);
    for (bool input : {true, false}) {
        ASSERT_EQ(host->ports->count(host->plugin(), input), 1u);
        th::port_info_t info{};
        ASSERT_TRUE(host->ports->get(host->plugin(), 0, input, &info));
        EXPECT_NE(info.id, th::kInvalidId);
        EXPECT_EQ(info.flags & 1u, 1u) << "main";
        EXPECT_EQ(info.flags & 4u, 0u) << "prefers 64 bits without supporting them";
        EXPECT_EQ(info.channels, 2u);
        EXPECT_STREQ(info.type, "stereo");
        EXPECT_FALSE(host->ports->get(host->plugin(), 1, input, &info));
    }
    ASSERT_NE(host->latency, nullptr);
    EXPECT_EQ(host->latency->get(host->plugin()), 0u);

    // A mono input is a layout the host may choose while inactive.
    ASSERT_NE(host->portsConfig, nullptr);
    ASSERT_EQ(host->portsConfig->count(host->plugin()), 2u);
    th::ports_config_t mono{};
    ASSERT_TRUE(host->portsConfig->get(host->plugin(), 1, &mono));
    EXPECT_EQ(mono.main_in_channels, 1u);
    EXPECT_STREQ(mono.main_in_type, "mono");
    EXPECT_EQ(mono.main_out_channels, 2u);
    EXPECT_FALSE(host->portsConfig->select(host->plugin(), 2));
    ASSERT_TRUE(host->portsConfig->select(host->plugin(), mono.id));
    th::port_info_t in{};
    ASSERT_TRUE(host->ports->get(host->plugin(), 0, true, &in));
    EXPECT_EQ(in.channels, 1u);
    EXPECT_STREQ(in.type, "mono");
    EXPECT_EQ(in.in_place_pair, th::kInvalidId);
    ASSERT_TRUE(host->activate(44100.0, 1, 256));
    EXPECT_FALSE(host->portsConfig->select(host->plugin(), 0)) << "frozen while active";
}

TEST_F(ClapHostTest, ProcessesCleanlyAtEveryRateAndBlockSizeInAndOutOfPlace) {
    auto host = instance();
    for (double rate : {1000.0, 22050.5, 44100.0, 96000.0, 192000.0, 768000.0}) {
        ASSERT_TRUE(host->activate(rate, 1, 2048)) << rate;
        ASSERT_TRUE(host->start());
        const auto out = run(*host, 4096, 2048);
        EXPECT_GT(*std::max_element(out.begin(), out.end()), 0.0f) << rate;
        host->stop();
        host->deactivate();
    }
    for (uint32_t block : {1u, 7u, 64u, 333u, 4096u, 16384u}) {
        ASSERT_TRUE(host->activate(44100.0, 1, block));
        ASSERT_TRUE(host->start());
        run(*host, std::max(block * 2, 256u), block);
        host->stop();
        host->deactivate();
    }
    ASSERT_TRUE(host->activate(44100.0, 1, 2048));
    ASSERT_TRUE(host->start());
    std::mt19937 rng(7);
    std::uniform_int_distribution<uint32_t> size(1, 2048);
    const std::vector<float> in = noise(2048, 3);
    std::vector<float> l(2048), r(2048);
    for (int i = 0; i < 60; ++i) {
        host->process(in.data(), in.data(), l.data(), r.data(), size(rng), {}, i % 2 == 0);
    }
    // Silence in stays clean: no denormals from the decaying room.
    const std::vector<float> zero(2048, 0.0f);
    for (int i = 0; i < 200; ++i) {
        host->process(zero.data(), zero.data(), l.data(), r.data(), 2048);
    }
    EXPECT_TRUE(host->violations.empty()) << host->violations.front();
}

TEST_F(ClapHostTest, ParameterListIsWellFormedAndStartsAtTheDefaults) {
    auto host = instance();
    const uint32_t count = host->params->count(host->plugin());
    ASSERT_GT(count, 100u);
    std::set<uint32_t> ids;
    int bypasses = 0;
    bool program = false;
    for (uint32_t i = 0; i < count; ++i) {
        th::param_info_t info{};
        ASSERT_TRUE(host->params->info(host->plugin(), i, &info));
        EXPECT_NE(info.id, th::kInvalidId);
        EXPECT_TRUE(ids.insert(info.id).second) << "duplicate id " << info.id;
        EXPECT_LE(info.min, info.max);
        EXPECT_GE(info.def, info.min);
        EXPECT_LE(info.def, info.max);
        if (info.flags & th::kStepped) {
            EXPECT_EQ(info.min, std::floor(info.min));
            EXPECT_EQ(info.max, std::floor(info.max));
        }
        if (info.flags & th::kEnum) {
            EXPECT_TRUE(info.flags & th::kStepped);
        }
        if (info.flags & th::kBypass) {
            ++bypasses;
            EXPECT_TRUE(info.flags & th::kStepped);
            EXPECT_EQ(info.id, kBypassId);
        }
        EXPECT_FALSE(info.flags & th::kReadonly);
        EXPECT_TRUE(info.flags & th::kAutomatable) << info.name;
        const std::string module = info.module;
        EXPECT_TRUE(module == "Global" || module.rfind("Person ", 0) == 0) << module;
        EXPECT_EQ(module.find("//"), std::string::npos);
        EXPECT_NE(std::string(info.name), "NONE");
        EXPECT_GT(std::strlen(info.name), 0u);
        if (info.id < 1000) {
            EXPECT_EQ(info.min, 0.0);
            EXPECT_EQ(info.max, 1.0);
        }
        if (info.id == kProgramId) {
            program = true;
            EXPECT_EQ(info.max, 23.0);
        }
        EXPECT_DOUBLE_EQ(host->get(info.id), info.def) << info.name;
        th::param_info_t none{};
        EXPECT_FALSE(host->params->info(host->plugin(), count, &none));
    }
    EXPECT_EQ(bypasses, 1);
    EXPECT_TRUE(program);
    // The names of the VST 2.4 module under the same ids; its unnamed ones are not offered.
    EXPECT_TRUE(ids.count(0) && ids.count(2) && ids.count(6) && ids.count(20) && ids.count(27));
    EXPECT_FALSE(ids.count(4) || ids.count(8) || ids.count(18) || ids.count(28));
    EXPECT_TRUE(std::isnan(host->get(18))) << "an id not offered has no value";
}

TEST_F(ClapHostTest, TextsRoundTripForEveryParameter) {
    auto host = instance();
    const uint32_t count = host->params->count(host->plugin());
    for (uint32_t i = 0; i < count; ++i) {
        th::param_info_t info{};
        ASSERT_TRUE(host->params->info(host->plugin(), i, &info));
        for (double t : {0.0, 0.13, 0.5, 0.77, 1.0}) {
            double v = info.min + t * (info.max - info.min);
            if (info.flags & th::kStepped) {
                v = std::round(v);
            }
            char text[256] = {};
            ASSERT_TRUE(host->params->to_text(host->plugin(), info.id, v, text, sizeof text)) << info.name;
            ASSERT_GT(std::strlen(text), 0u);
            double back = -1.0;
            ASSERT_TRUE(host->params->from_text(host->plugin(), info.id, text, &back))
                << info.name << ": " << text;
            EXPECT_GE(back, info.min);
            EXPECT_LE(back, info.max);
            char again[256] = {};
            ASSERT_TRUE(host->params->to_text(host->plugin(), info.id, back, again, sizeof again));
            EXPECT_STREQ(text, again) << info.name << " at " << v;
        }
        double v = 0.0;
        EXPECT_FALSE(host->params->from_text(host->plugin(), info.id, "no such text", &v)) << info.name;
    }
    char text[64];
    EXPECT_FALSE(host->params->to_text(host->plugin(), 8, 0.5, text, sizeof text));
    // Small buffers stay terminated.
    char small[4] = {'x', 'x', 'x', 'x'};
    ASSERT_TRUE(host->params->to_text(host->plugin(), 2, 0.5, small, sizeof small));
    EXPECT_LT(std::strlen(small), sizeof small);
    // The program names are the texts of the Program parameter.
    ASSERT_TRUE(host->params->to_text(host->plugin(), kProgramId, 0.0, text, sizeof text));
    EXPECT_GT(std::strlen(text), 2u);
}

TEST_F(ClapHostTest, ParameterFuzzAtRandomOffsetsStaysInRangeAndClean) {
    auto host = instance();
    ASSERT_TRUE(host->activate(44100.0, 1, 1024));
    ASSERT_TRUE(host->start());
    const uint32_t count = host->params->count(host->plugin());
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const std::vector<float> in = noise(1024, 5);
    std::vector<float> l(1024), r(1024);
    for (int set = 0; set < 50; ++set) {
        std::vector<th::param_value_t> events;
        for (int e = 0; e < 20; ++e) {
            th::param_info_t info{};
            host->params->info(host->plugin(), rng() % count, &info);
            if (info.id == kProgramId) {
                continue;
            }
            events.push_back(
                StrictHost::value(info.id, info.min + unit(rng) * (info.max - info.min), rng() % 1024));
        }
        std::stable_sort(events.begin(), events.end(),
                         [](auto& a, auto& b) { return a.header.time < b.header.time; });
        for (int block = 0; block < 5; ++block) {
            host->process(in.data(), in.data(), l.data(), r.data(), 1024,
                          block == 0 ? events : decltype(events){});
        }
        std::map<uint32_t, double> last;
        for (const auto& e : events) {
            last[e.param_id] = e.param_id == kBypassId ? std::round(e.value) : double(float(e.value));
        }
        for (const auto& [id, value] : last) {
            EXPECT_EQ(host->get(id), value) << id;
        }
    }
    // Out of range is clamped, non-finite ignored, another event space ignored, and the list
    // need not be sorted.
    th::param_value_t other = StrictHost::value(12, 0.9, 0);
    other.header.space = 0xb33f;
    host->process(
        in.data(), in.data(), l.data(), r.data(), 512,
        {StrictHost::value(12, 0.25, 300), StrictHost::value(2, -5.0, 10), StrictHost::value(3, 7.0, 20),
         StrictHost::value(13, std::nan(""), 30), StrictHost::value(14, HUGE_VAL, 40), other,
         StrictHost::value(99999, 0.5, 0), StrictHost::value(4, 0.5, 0)});
    EXPECT_EQ(host->get(12), 0.25);
    EXPECT_EQ(host->get(2), 0.0);
    EXPECT_EQ(host->get(3), 1.0);
    const double before13 = host->get(13);
    EXPECT_FALSE(std::isnan(before13));
    EXPECT_TRUE(host->violations.empty()) << host->violations.front();
}

TEST_F(ClapHostTest, FlushSetsValuesLikeProcessDoes) {
    auto viaFlush = instance();
    auto viaProcess = instance();
    const std::vector<th::param_value_t> events = {StrictHost::value(2, 0.3), StrictHost::value(6, 1.0),
                                                   StrictHost::value(25, 0.9),
                                                   StrictHost::value(kBypassId, 1.0)};
    viaFlush->flush(events);
    ASSERT_TRUE(viaProcess->activate(44100.0, 1, 64));
    ASSERT_TRUE(viaProcess->start());
    std::vector<float> buffer(64);
    viaProcess->process(buffer.data(), buffer.data(), buffer.data(), buffer.data(), 64, events);
    for (const auto& e : events) {
        EXPECT_EQ(viaFlush->get(e.param_id), double(float(e.value)));
        EXPECT_EQ(viaProcess->get(e.param_id), double(float(e.value)));
    }
    // Also while active but not processing.
    viaProcess->stop();
    viaProcess->flush({StrictHost::value(2, 0.6)});
    EXPECT_EQ(viaProcess->get(2), 0.6f);
    EXPECT_TRUE(viaFlush->violations.empty() && viaProcess->violations.empty());
}

TEST_F(ClapHostTest, ProgramParameterSwitchesOnTheMainThreadEvenWithoutCallbacks) {
    for (bool answerCallbacks : {true, false}) {
        th::HostOptions options;
        options.answerCallbacks = answerCallbacks;
        auto host = instance(options);
        ASSERT_TRUE(host->activate(44100.0, 1, 256));
        ASSERT_TRUE(host->start());
        const double population = host->get(0);
        std::vector<float> buffer(256);
        host->process(buffer.data(), buffer.data(), buffer.data(), buffer.data(), 256,
                      {StrictHost::value(kProgramId, 5.0, 100)});
        EXPECT_GT(host->callbackRequests, 0);
        EXPECT_EQ(host->rescans, 0) << "nothing switched on the audio thread";
        EXPECT_EQ(host->get(0), population);
        host->idle();  // on_main_thread where answered, else the timer
        EXPECT_EQ(host->get(kProgramId), 5.0);
        EXPECT_NE(host->get(0), population);
        EXPECT_EQ(host->rescans, 1);
        // The same program again keeps the edits made since.
        host->process(buffer.data(), buffer.data(), buffer.data(), buffer.data(), 256,
                      {StrictHost::value(2, 0.123)});
        host->process(buffer.data(), buffer.data(), buffer.data(), buffer.data(), 256,
                      {StrictHost::value(kProgramId, 5.0)});
        host->idle();
        EXPECT_EQ(host->get(2), 0.123f);
        EXPECT_TRUE(host->violations.empty()) << host->violations.front();
    }
}

TEST_F(ClapHostTest, BypassPassesTheInputThroughUntouched) {
    auto host = instance();
    ASSERT_TRUE(host->activate(44100.0, 1, 512));
    ASSERT_TRUE(host->start());
    const std::vector<float> in = noise(512, 9);
    std::vector<float> l(512), r(512);
    host->process(in.data(), in.data(), l.data(), r.data(), 512);
    EXPECT_NE(l, in);
    host->process(in.data(), in.data(), l.data(), r.data(), 512, {StrictHost::value(kBypassId, 1.0)});
    for (int i = 0; i < 200; ++i) {
        host->process(in.data(), in.data(), l.data(), r.data(), 512);
    }
    EXPECT_EQ(l, in);
    EXPECT_EQ(r, in);
    EXPECT_EQ(host->get(kBypassId), 1.0);
    host->process(in.data(), in.data(), l.data(), r.data(), 512, {StrictHost::value(kBypassId, 0.0)});
    for (int i = 0; i < 100; ++i) {
        host->process(in.data(), in.data(), l.data(), r.data(), 512);
    }
    EXPECT_NE(l, in);
}

TEST_F(ClapHostTest, TailCoversTheRoom) {
    auto host = instance();
    ASSERT_NE(host->tail, nullptr);
    ASSERT_TRUE(host->activate(48000.0, 1, 512));
    const uint32_t frames = host->tail->get(host->plugin());
    EXPECT_GT(frames, 48000u / 3);     // at least the longest delay
    EXPECT_LT(frames, 48000u * 120u);  // and finite
    host->flush({StrictHost::value(15, 1.0), StrictHost::value(14, 1.0)});
    EXPECT_GT(host->tail->get(host->plugin()), frames) << "a bigger, louder room rings longer";
    ASSERT_NE(host->render, nullptr);
    EXPECT_FALSE(host->render->hard(host->plugin()));
    EXPECT_TRUE(host->render->set(host->plugin(), 1));
}

TEST_F(ClapHostTest, StateRoundTripsByteForByteInPiecesAndAcrossInstances) {
    auto first = instance();
    auto second = instance();
    EXPECT_EQ(first->save(), second->save()) << "fresh instances save the same state";
    first->flush({StrictHost::value(kProgramId, 3.0)});
    first->flush({StrictHost::value(2, 0.3), StrictHost::value(30, 0.7)});
    const std::vector<uint8_t> saved = first->save();
    ASSERT_GT(saved.size(), 1000u);
    EXPECT_EQ(first->save(7), saved) << "a stream that takes 7 bytes a call";

    auto restored = instance();
    ASSERT_TRUE(restored->load(saved, 13));
    EXPECT_EQ(restored->save(), saved);
    EXPECT_EQ(restored->get(kProgramId), 3.0);
    const uint32_t count = first->params->count(first->plugin());
    for (uint32_t i = 0; i < count; ++i) {
        th::param_info_t info{};
        first->params->info(first->plugin(), i, &info);
        EXPECT_EQ(restored->get(info.id), first->get(info.id)) << info.name;
    }
    EXPECT_GE(restored->rescans, 1) << "the host re-reads the values";
    EXPECT_TRUE(first->violations.empty() && restored->violations.empty());
}

TEST_F(ClapHostTest, StateThatIsNotOursIsRefusedAndChangesNothing) {
    auto host = instance();
    host->flush({StrictHost::value(2, 0.3)});
    const std::vector<uint8_t> before = host->save();
    EXPECT_FALSE(host->load({}));
    std::mt19937 rng(1);
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> random(1 << 20);
        for (auto& b : random) {
            b = static_cast<uint8_t>(rng());
        }
        EXPECT_FALSE(host->load(random));
        // Random bytes behind our own header, and a truncated state.
        std::copy(before.begin(), before.begin() + 16, random.begin());
        EXPECT_FALSE(host->load(random));
    }
    EXPECT_FALSE(host->load(std::vector<uint8_t>(before.begin(), before.begin() + before.size() / 2)));
    std::vector<uint8_t> wrongProgram = before;
    wrongProgram[8] = 24;
    EXPECT_FALSE(host->load(wrongProgram));
    EXPECT_EQ(host->save(), before);
    EXPECT_EQ(host->get(2), 0.3f);
}

}  // namespace
