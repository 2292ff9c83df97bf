// What the built module tells a host about itself, and what it exports.
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>

#include "BlackBox.h"

namespace {

TEST(Identity, AnswersWhoItIs) {
    auto plugin = bb::loadModule();
    ASSERT_NE(plugin, nullptr);
    const AEffect* e = plugin->effect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->flags, 0x39);
    EXPECT_EQ(e->uniqueID, fourCharCode('Z', 'r', 'b', 'k'));
    EXPECT_EQ(e->numPrograms, 24);
    EXPECT_EQ(e->numParams, 739);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->version, 1);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_EQ(plugin->vendorString(), "Quillfen");
    EXPECT_EQ(plugin->productString(), "Zornbeck");
    EXPECT_EQ(plugin->vendorVersion(), 301);
    EXPECT_EQ(plugin->vstVersion(), 2400);
    EXPECT_EQ(plugin->category(), 1);
    EXPECT_EQ(plugin->dispatch(effGetTailSize), 0);
    EXPECT_EQ(plugin->dispatch(effIdentify), fourCharCode('N', 'v', 'E', 'f'));
}

TEST(Identity, CanDoIsExactAndCaseSensitive) {
    auto plugin = bb::loadModule();
    ASSERT_NE(plugin, nullptr);
    for (const char* yes : {"receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents", "acceptIOChanges"}) {
        EXPECT_EQ(plugin->canDo(yes), 1) << yes;
    }
    for (const char* no : {"ReceiveVstEvents", "receivevstmidievent", "SENDVSTEVENTS", "acceptIOChanges ",
                           "acceptIOChange", "bypass", "offline", "sendVstMidiEvent", "receiveVstTimeInfo", ""}) {
        EXPECT_EQ(plugin->canDo(no), -1) << "'" << no << "'";
    }
}

TEST(Identity, PinLabelsForTwoChannelsEachWay) {
    auto plugin = bb::loadModule();
    ASSERT_NE(plugin, nullptr);
    struct Case {
        VstInt32 opcode;
        VstInt32 index;
        const char* label;
    };
    for (const Case& c : {Case{effGetInputProperties, 0, "Kv_in 1 In"}, Case{effGetInputProperties, 1, "Kv_in 2 In"},
                          Case{effGetOutputProperties, 0, "Kv_out 1 In"},
                          Case{effGetOutputProperties, 1, "Kv_out 2 In"}}) {
        VstPinProperties pin{};
        EXPECT_EQ(plugin->dispatch(c.opcode, c.index, 0, &pin), 1);
        EXPECT_STREQ(pin.label, c.label);
        EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
        if (c.opcode == effGetInputProperties) {
            EXPECT_EQ(pin.arrangementType, kSpeakerArrStereo);
        }
    }
    for (VstInt32 opcode : {effGetInputProperties, effGetOutputProperties}) {
        for (VstInt32 index : {2, -1}) {
            VstPinProperties pin;
            std::memset(&pin, 0x5A, sizeof pin);
            EXPECT_EQ(plugin->dispatch(opcode, index, 0, &pin), 0);
            const auto* bytes = reinterpret_cast<const unsigned char*>(&pin);
            for (std::size_t i = 0; i < sizeof pin; ++i) {
                ASSERT_EQ(bytes[i], 0x5A) << "byte " << i << " written for pin " << index;
            }
        }
    }
}

// The version question, recorded, answered by the test.
VstIntPtr versionAnswer = 0;
int versionAsked = 0;
bool askedWithoutPlugin = false;
VstIntPtr recordingHost(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion) {
        ++versionAsked;
        askedWithoutPlugin = effect == nullptr;
        return versionAnswer;
    }
    return 0;
}

TEST(Identity, BothEntryPointsRefuseAHostThatAnswersVersionZero) {
    std::string error;
    auto module = zb::PluginModule::open(bb::modulePath(), error);
    ASSERT_NE(module, nullptr) << error;
    for (const char* name : {"VSTPluginMain", "main"}) {
        VstPluginMainProc entry = module->entry(name);
        ASSERT_NE(entry, nullptr) << name;
        versionAnswer = 0;
        versionAsked = 0;
        EXPECT_EQ(entry(&recordingHost), nullptr) << name;
        EXPECT_EQ(versionAsked, 1) << name;
        EXPECT_TRUE(askedWithoutPlugin) << name;
    }
}

TEST(Identity, TheLegacyEntryGivesAWorkingPlugin) {
    zb::LoadOptions options;
    options.path = bb::modulePath();
    options.entryName = "main";
    std::string error;
    auto plugin = zb::PluginLoader::load(options, error);
    ASSERT_NE(plugin, nullptr) << error;
    EXPECT_EQ(plugin->effect()->uniqueID, fourCharCode('Z', 'r', 'b', 'k'));
    EXPECT_EQ(plugin->productString(), "Zornbeck");
}

#ifndef _WIN32  // the DLL's export and import tables are read by tests/windows on Linux
TEST(Identity, ExportsOnlyItsTwoEntryPoints) {
    const std::string command = "nm -D --defined-only '" + bb::modulePath() + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        output += line;
    }
    ASSERT_EQ(pclose(pipe), 0) << output;

    std::set<std::string> code;
    std::istringstream lines(output);
    std::string text;
    while (std::getline(lines, text)) {
        std::istringstream fields(text);
        std::string address, type, name;
        fields >> address >> type >> name;
        ASSERT_FALSE(name.empty()) << "unexpected nm line: " << text;
        EXPECT_NE(name.rfind("_Z", 0), 0u) << "C++ symbol exported: " << text;
        if (type == "T" || type == "t" || type == "W" || type == "w" || type == "i" || type == "u") {
            code.insert(name);
        }
    }
    EXPECT_EQ(code, (std::set<std::string>{"VSTPluginMain", "main"})) << output;
}
#endif

}  // namespace
