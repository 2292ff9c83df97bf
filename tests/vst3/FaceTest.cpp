// The bundle as a strict host sees it: factory and class, interfaces and references, parameters,
// programs and state.
#include <fstream>
#include <set>
#include <sstream>

#include "Vst3Fixture.h"
#include "model/ParameterTable.h"

namespace {

using namespace v3;

TEST(Vst3Factory, DescribesOneEffectClassInEveryVersionOfTheFactory) {
    auto m = loadBundle();
    ASSERT_NE(m, nullptr);
    void* f = m->factory();
    for (const sh::Tuid* id : {&sh::iid::FUnknown, &sh::iid::Factory, &sh::iid::Factory2, &sh::iid::Factory3}) {
        void* same = sh::query(f, *id);
        EXPECT_EQ(same, f);
        if (same != nullptr) {
            sh::release(same);
        }
    }
    unsigned char factoryInfo[452] = {};
    ASSERT_EQ(sh::call<sh::tresult>(f, 3, factoryInfo), sh::kOk);
    EXPECT_STREQ(reinterpret_cast<char*>(factoryInfo), "Quillfen");
    ASSERT_EQ(sh::call<std::int32_t>(f, 4), 1);

    unsigned char info2[440] = {};
    ASSERT_EQ(sh::call<sh::tresult>(f, 7, 0, info2), sh::kOk);
    EXPECT_STREQ(reinterpret_cast<char*>(info2 + 20), "Audio Module Class");
    EXPECT_STREQ(reinterpret_cast<char*>(info2 + 52), "Zornbeck");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(info2 + 120)).rfind("Fx|", 0), 0u);
    EXPECT_EQ(std::memcmp(info2, m->classId().b, 16), 0);
    unsigned char infoW[696] = {};
    ASSERT_EQ(sh::call<sh::tresult>(f, 8, 0, infoW), sh::kOk);
    EXPECT_EQ(sh::utf8(reinterpret_cast<char16_t*>(infoW + 52)), "Zornbeck");
    EXPECT_EQ(sh::call<sh::tresult>(f, 5, 1, info2), sh::kInvalidArgument);

    // An unknown class or interface: nothing, and the pointer cleared.
    void* obj = reinterpret_cast<void*>(1);
    EXPECT_EQ(sh::call<sh::tresult>(f, 6, sh::iid::Factory.data(), sh::iid::Component.data(), &obj),
              sh::kNoInterface);
    EXPECT_EQ(obj, nullptr);

    // moduleinfo.json names the same class, and the VST 2.4 plug-in it replaces.
    std::ifstream file(sh::bundlePath() + "/Contents/Resources/moduleinfo.json");
    std::stringstream json;
    json << file.rdbuf();
    const std::string cid = sh::printed(m->classId().b);
    EXPECT_NE(json.str().find("\"CID\": \"" + cid + "\""), std::string::npos) << cid;
    EXPECT_NE(json.str().find("\"New\": \"" + cid + "\""), std::string::npos);
    EXPECT_NE(json.str().find("565354535A72626B7A6F726E6265636B"), std::string::npos);  // "VSTS" 'Zrbk' "zornbeck"
}

TEST(Vst3Interfaces, OneIdentityEveryInterfaceItsBasesAndReferencesBackToZero) {
    auto m = loadBundle();
    ASSERT_NE(m, nullptr);
    sh::Instance plugin(*m);
    ASSERT_TRUE(plugin.ok());
    void* identity = sh::query(plugin.component, sh::iid::FUnknown);
    ASSERT_NE(identity, nullptr);
    for (void* face : {plugin.component, plugin.processor, plugin.controller, plugin.units}) {
        void* unknown = sh::query(face, sh::iid::FUnknown);
        EXPECT_EQ(unknown, identity);
        sh::release(unknown);
        // Every interface answers every other, both ways.
        for (const sh::Tuid* id : {&sh::iid::Component, &sh::iid::AudioProcessor, &sh::iid::EditController,
                                   &sh::iid::UnitInfo, &sh::iid::PluginBase}) {
            void* other = sh::query(face, *id);
            EXPECT_NE(other, nullptr);
            if (other != nullptr) {
                void* back = sh::query(other, sh::iid::FUnknown);
                EXPECT_EQ(back, identity);
                sh::release(back);
                sh::release(other);
            }
        }
    }
    sh::release(identity);
    // A single component must not offer a connection point (Ardour would connect it to itself).
    EXPECT_EQ(sh::query(plugin.component, sh::iid::ConnectionPoint), nullptr);
    EXPECT_EQ(sh::query(plugin.component, sh::iid::Factory), nullptr);
    // The controller has no separate class.
    char cid[16] = {};
    EXPECT_NE(sh::call<sh::tresult>(plugin.component, 5, cid), sh::kOk);
}

TEST(Vst3Interfaces, BusesAndArrangementsAreStereoOutWithStereoOrMonoIn) {
    auto m = loadBundle();
    ASSERT_NE(m, nullptr);
    sh::Instance plugin(*m, 44100.0, 512, false);
    ASSERT_TRUE(plugin.ok());
    EXPECT_EQ(sh::call<std::int32_t>(plugin.component, 7, 0, 0), 1);
    EXPECT_EQ(sh::call<std::int32_t>(plugin.component, 7, 0, 1), 1);
    EXPECT_EQ(sh::call<std::int32_t>(plugin.component, 7, 1, 0), 0);  // no event buses
    sh::BusInfo bus{};
    ASSERT_EQ(sh::call<sh::tresult>(plugin.component, 8, 0, 1, 0, &bus), sh::kOk);
    EXPECT_EQ(bus.channelCount, 2);
    EXPECT_EQ(sh::call<sh::tresult>(plugin.component, 8, 0, 1, 1, &bus), sh::kInvalidArgument);
    EXPECT_EQ(sh::call<sh::tresult>(plugin.processor, 5, 0), sh::kOk);     // 32-bit float: yes
    EXPECT_EQ(sh::call<sh::tresult>(plugin.processor, 5, 1), sh::kFalse);  // 64-bit: no

    std::uint64_t mono = 0x80000, stereo = 3, surround = 0x3F;
    EXPECT_EQ(sh::call<sh::tresult>(plugin.processor, 3, &mono, 1, &stereo, 1), sh::kOk);
    ASSERT_EQ(sh::call<sh::tresult>(plugin.component, 8, 0, 0, 0, &bus), sh::kOk);
    EXPECT_EQ(bus.channelCount, 1);
    std::uint64_t arrangement = 0;
    EXPECT_EQ(sh::call<sh::tresult>(plugin.processor, 4, 0, 0, &arrangement), sh::kOk);
    EXPECT_EQ(arrangement, mono);
    // Refused: stays on a supported arrangement, consistent with the bus info.
    EXPECT_EQ(sh::call<sh::tresult>(plugin.processor, 3, &surround, 1, &surround, 1), sh::kFalse);
    EXPECT_EQ(sh::call<sh::tresult>(plugin.processor, 4, 0, 0, &arrangement), sh::kOk);
    ASSERT_EQ(sh::call<sh::tresult>(plugin.component, 8, 0, 0, 0, &bus), sh::kOk);
    EXPECT_EQ(bus.channelCount, __builtin_popcountll(arrangement));
    EXPECT_EQ(sh::call<sh::tresult>(plugin.processor, 3, &stereo, 1, &stereo, 1), sh::kOk);

    // The state machine: repeated activation is refused, setup only while inactive.
    plugin.start();
    EXPECT_EQ(sh::call<sh::tresult>(plugin.component, 11, static_cast<std::uint8_t>(1)), sh::kFalse);
    sh::ProcessSetup setup{0, 0, 512, 48000.0};
    EXPECT_NE(sh::call<sh::tresult>(plugin.processor, 7, &setup), sh::kOk);
}

TEST(Vst3Parameters, NamedParametersOnlyWithTheTablesTextsPlusProgramAndBypass) {
    auto m = loadBundle();
    ASSERT_NE(m, nullptr);
    sh::Instance plugin(*m);
    ASSERT_TRUE(plugin.ok());
    const auto params = plugin.parameters();
    std::set<std::uint32_t> ids;
    int named = 0;
    for (int i = 0; i < kNumParams; ++i) {
        named += ParameterTable::row(i).automatable ? 1 : 0;
    }
    ASSERT_EQ(params.size(), static_cast<std::size_t>(named + 2));
    int programs = 0, bypasses = 0;
    for (const sh::ParameterInfo& p : params) {
        EXPECT_TRUE(ids.insert(p.id).second) << "duplicate id " << p.id;
        EXPECT_TRUE(p.flags & sh::kCanAutomate) << p.id;  // hosts hide the rest
        EXPECT_FALSE(sh::utf8(p.title).empty()) << p.id;
        if (p.flags & sh::kIsProgramChange) {
            ++programs;
            EXPECT_EQ(p.id, kProgramId);
            EXPECT_EQ(p.stepCount, kPrograms - 1);
            EXPECT_TRUE(p.flags & sh::kIsList);
            continue;
        }
        if (p.flags & sh::kIsBypass) {
            ++bypasses;
            EXPECT_EQ(p.id, kBypassId);
            EXPECT_EQ(p.stepCount, 1);
            continue;
        }
        ASSERT_LT(p.id, static_cast<std::uint32_t>(kNumParams));
        const int index = static_cast<int>(p.id);
        const ParameterRow& row = ParameterTable::row(index);
        EXPECT_TRUE(row.automatable) << "hidden index " << index << " exposed";
        char name[128] = {};
        ParameterTable::name(index, name, sizeof name);
        EXPECT_EQ(sh::utf8(p.title), name);
        EXPECT_EQ(sh::utf8(p.units), ParameterTable::unitText(index));
        EXPECT_EQ(p.stepCount, row.steps);
        // The default is what a new instance plays (program 0), so a host showing defaults
        // before it reads the values shows the sound.
        EXPECT_EQ(p.defaultValue, plugin.get(p.id)) << index;
        // Strings from the table, and text back to the same value.
        for (float v : {0.0f, 0.3f, 1.0f}) {
            char expected[128] = {};
            ParameterTable::display(index, v, expected, sizeof expected);
            EXPECT_EQ(plugin.text(p.id, v), expected) << index;
        }
        // Plain values in the row's unit, from the low end to the high end.
        EXPECT_DOUBLE_EQ(sh::call<double>(plugin.controller, 12, p.id, 0.0), ParameterTable::toPlain(index, 0.0f));
        EXPECT_DOUBLE_EQ(sh::call<double>(plugin.controller, 12, p.id, 1.0), ParameterTable::toPlain(index, 1.0f));
    }
    EXPECT_EQ(programs, 1);
    EXPECT_EQ(bypasses, 1);
    for (std::uint32_t hidden : {4u, 5u, 7u, 8u, 9u, 10u, 11u, 18u, 19u}) {
        EXPECT_EQ(ids.count(hidden), 0u) << hidden;
    }

    char16_t text[128] = {};
    const std::string spread = plugin.text(12, 0.25);
    for (std::size_t i = 0; i < spread.size(); ++i) {
        text[i] = static_cast<char16_t>(spread[i]);
    }
    double parsed = -1.0;
    ASSERT_EQ(sh::call<sh::tresult>(plugin.controller, 11, 12u, text, &parsed), sh::kOk);
    EXPECT_NEAR(parsed, 0.25, 0.01);
    const char16_t nonsense[] = u"banana";
    EXPECT_EQ(sh::call<sh::tresult>(plugin.controller, 11, 12u, const_cast<char16_t*>(nonsense), &parsed), sh::kFalse);
}

// The value a host stores is exactly the value the VST 2.4 module stores, and a host edit is heard.
TEST(Vst3Parameters, NormalisedValuesAreTheStoredValuesOfTheVst2Module) {
    auto m = loadBundle();
    auto vst2 = loadVst2();
    ASSERT_NE(m, nullptr);
    ASSERT_NE(vst2, nullptr);
    sh::Instance plugin(*m);
    for (std::uint32_t id : {0u, 2u, 12u, 13u, 20u, 27u, 738u}) {
        EXPECT_EQ(plugin.get(id), static_cast<double>(vst2->getParameter(static_cast<VstInt32>(id)))) << id;
    }
    EXPECT_EQ(plugin.set(13, 0.125), sh::kOk);
    EXPECT_EQ(plugin.get(13), 0.125);
    EXPECT_EQ(plugin.set(8, 0.5), sh::kInvalidArgument);  // hidden
    EXPECT_EQ(plugin.get(kBypassId), 0.0);
}

TEST(Vst3Programs, TheListNamesTheFactoryProgramsAndEveryHostValueSelectsItsProgram) {
    auto m = loadBundle();
    auto vst2 = loadVst2();
    ASSERT_NE(m, nullptr);
    ASSERT_NE(vst2, nullptr);
    sh::Instance plugin(*m);
    ASSERT_EQ(sh::call<std::int32_t>(plugin.units, 3), 1);
    unsigned char unit[268] = {};
    ASSERT_EQ(sh::call<sh::tresult>(plugin.units, 4, 0, unit), sh::kOk);
    std::int32_t listId = 0;
    std::memcpy(&listId, unit + 264, 4);
    ASSERT_EQ(sh::call<std::int32_t>(plugin.units, 5), 1);
    unsigned char list[264] = {};
    ASSERT_EQ(sh::call<sh::tresult>(plugin.units, 6, 0, list), sh::kOk);
    std::int32_t id = 0, count = 0;
    std::memcpy(&id, list, 4);
    std::memcpy(&count, list + 260, 4);
    EXPECT_EQ(id, listId);
    EXPECT_EQ(count, kPrograms);
    for (int k = 0; k < kPrograms; ++k) {
        char16_t name[128] = {};
        ASSERT_EQ(sh::call<sh::tresult>(plugin.units, 7, listId, k, name), sh::kOk);
        std::string expected;
        ASSERT_TRUE(vst2->programNameIndexed(k, expected));
        EXPECT_EQ(sh::utf8(name), expected);
    }

    // As Ardour sends them: k / (N - 1) in float. Truncating would pick k - 1 for half of them.
    for (int k = 0; k < kPrograms; ++k) {
        const float sent = static_cast<float>(k) / static_cast<float>(kPrograms - 1);
        ASSERT_EQ(plugin.set(kProgramId, sent), sh::kOk);
        EXPECT_EQ(plugin.get(kProgramId), static_cast<double>(k) / (kPrograms - 1)) << k;
        vst2->setProgram(k);
        for (std::uint32_t p : {0u, 2u, 12u, 14u, 20u, 21u, 104u}) {
            ASSERT_EQ(plugin.get(p), static_cast<double>(vst2->getParameter(static_cast<VstInt32>(p))))
                << "program " << k << " parameter " << p;
        }
    }
}

// A program switch on the control side reaches the host from the next process call, as output
// parameter changes, and later from the editor's timer; never synchronously.
TEST(Vst3Programs, ASwitchIsReportedAsOutputChangesNotFromInsideTheCall) {
    auto m = loadBundle();
    ASSERT_NE(m, nullptr);
    sh::Instance plugin(*m);
    ASSERT_EQ(plugin.set(kProgramId, 5.0f / 23.0f), sh::kOk);
    EXPECT_TRUE(plugin.handler.restarts.empty()) << "restartComponent inside setParamNormalized";
    Stereo in(256), out(256);
    sh::Changes reported;
    ASSERT_EQ(plugin.process(in.ptr(), out.ptr(), 256, nullptr, &reported), sh::kOk);
    ASSERT_FALSE(reported.queues.empty());
    int checked = 0;
    for (const auto& q : reported.queues) {
        ASSERT_FALSE(q->points.empty());
        EXPECT_EQ(q->points.back().value, plugin.get(q->id)) << q->id;
        ++checked;
    }
    double program = -1.0;
    EXPECT_TRUE(reported.last(kProgramId, program));
    EXPECT_EQ(program, 5.0 / 23.0);
    EXPECT_GT(checked, 10);
    // Nothing new: nothing reported.
    sh::Changes again;
    ASSERT_EQ(plugin.process(in.ptr(), out.ptr(), 256, nullptr, &again), sh::kOk);
    EXPECT_TRUE(again.queues.empty());
}

TEST(Vst3State, RoundTripsByteForByteAtTheStreamsPositionAndAcrossInstances) {
    auto m = loadBundle();
    ASSERT_NE(m, nullptr);
    std::vector<std::uint8_t> saved;
    {
        sh::Instance a(*m);
        a.set(kProgramId, 7.0f / 23.0f);
        a.set(13, 0.8);
        a.set(kBypassId, 1.0);
        saved = a.getState();
        ASSERT_GT(saved.size(), 71716u);
        EXPECT_EQ(a.getState(), saved);

        // Written at the current position, after what the host already wrote (Ardour's header).
        sh::Stream s;
        s.bytes.assign(48, 0xAB);
        s.pos = 48;
        ASSERT_EQ(sh::call<sh::tresult>(a.component, 13, static_cast<void*>(&s)), sh::kOk);
        ASSERT_EQ(s.bytes.size(), 48 + saved.size());
        EXPECT_EQ(std::vector<std::uint8_t>(s.bytes.begin(), s.bytes.begin() + 48), std::vector<std::uint8_t>(48, 0xAB));
        EXPECT_EQ(std::vector<std::uint8_t>(s.bytes.begin() + 48, s.bytes.end()), saved);
    }
    sh::Instance b(*m);
    ASSERT_EQ(b.setState(saved), sh::kOk);
    EXPECT_EQ(b.getState(), saved);
    EXPECT_EQ(b.get(kProgramId), 7.0 / 23.0);
    EXPECT_EQ(b.get(13), static_cast<double>(0.8f));
    EXPECT_EQ(b.get(kBypassId), 1.0);  // bypass persists

    // Bytes that are not a state: refused, nothing changed.
    std::vector<std::uint8_t> junk(5000, 0x5A);
    EXPECT_EQ(b.setState(junk), sh::kFalse);
    std::vector<std::uint8_t> truncated(saved.begin(), saved.begin() + 1000);
    EXPECT_EQ(b.setState(truncated), sh::kFalse);
    EXPECT_EQ(b.setState({}), sh::kFalse);
    EXPECT_EQ(b.getState(), saved);

    // The controller keeps no state of its own: empty, and an empty stream is accepted.
    sh::Stream empty;
    EXPECT_EQ(sh::call<sh::tresult>(b.controller, 7, static_cast<void*>(&empty)), sh::kOk);
    EXPECT_TRUE(empty.bytes.empty());
    EXPECT_EQ(sh::call<sh::tresult>(b.controller, 6, static_cast<void*>(&empty)), sh::kOk);
}

}  // namespace
