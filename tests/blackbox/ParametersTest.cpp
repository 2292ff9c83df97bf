// Parameter names, storage and program switching, as a host sees them through the dispatcher.
#include <cstring>

#include "BlackBox.h"

namespace {

constexpr char kSentinel = 'Q';

// Asks for a text into a buffer full of sentinels; `written` tells whether anything was touched.
std::string askText(zb::PluginLoader& plugin, VstInt32 opcode, VstInt32 index, bool& written) {
    char buffer[64];
    std::memset(buffer, kSentinel, sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    plugin.dispatch(opcode, index, 0, buffer);
    written = false;
    for (std::size_t i = 0; i + 1 < sizeof buffer; ++i) {
        written = written || buffer[i] != kSentinel;
    }
    return buffer;
}

TEST(Parameters, NamesAndLabels) {
    auto plugin = bb::loadModule();
    ASSERT_NE(plugin, nullptr);
    struct Named {
        VstInt32 index;
        const char* name;
    };
    const Named named[] = {{0, "Population"},       {1, "Selected"},        {2, "Global Wet gain"},
                           {3, "Global Dry gain"},  {6, "Solo"},            {12, "Spread"},
                           {13, "Shift All"},       {14, "Reverb Gain"},    {15, "Reverb Size"},
                           {16, "Reverb High Cut"}, {17, "Reverb Low Cut"}, {20, "Pitch Shift 1"},
                           {21, "Pitch M. Gain 1"}, {22, "Pitch M. Speed 1"}, {23, "Delay Time 1"},
                           {24, "Delay M. Gain 1"}, {25, "Delay M. Speed 1"}, {26, "Pan 1"},
                           {27, "Gain 1"},          {32, "Pitch Shift 2"},  {731, "Delay Time 60"},
                           {733, "Delay M. Speed 60"}, {734, "Pan 60"},     {735, "Gain 60"}};
    bool written = false;
    for (const Named& n : named) {
        EXPECT_EQ(askText(*plugin, effGetParamName, n.index, written), n.name) << n.index;
    }
    for (VstInt32 index : {4, 5, 7, 8, 9, 10, 11, 18, 19, 740, 741, 5000, -1}) {
        EXPECT_EQ(askText(*plugin, effGetParamName, index, written), "NONE") << index;
    }
    // Slots 8..11 of every person are stored only and have no name: the host's buffer stays as it was.
    for (VstInt32 index : {28, 29, 30, 31, 40, 43, 400, 736, 737, 738, 739}) {
        askText(*plugin, effGetParamName, index, written);
        EXPECT_FALSE(written) << index;
    }
    for (VstInt32 index : {0, 20, 28, 738, 739, 5000, -1}) {
        EXPECT_EQ(askText(*plugin, effGetParamLabel, index, written), "amount") << index;
    }
}

TEST(Parameters, ValuesAreStoredAsGivenButReservedSlotsReadZero) {
    auto plugin = bb::loadModule();
    ASSERT_NE(plugin, nullptr);
    plugin->setParameter(29, 0.7f);
    EXPECT_EQ(plugin->getParameter(29), 0.0f);
    plugin->setParameter(41, 0.7f);
    EXPECT_EQ(plugin->getParameter(41), 0.7f);
    plugin->setParameter(13, 0.123456f);
    EXPECT_EQ(plugin->getParameter(13), 0.123456f);
    plugin->setParameter(739, 0.7f);
    EXPECT_EQ(plugin->getParameter(739), 0.0f);
    EXPECT_EQ(plugin->getParameter(-1), 0.0f);
    EXPECT_EQ(plugin->getParameter(100000), 0.0f);
}

TEST(Parameters, CommandIndicesSwitchAndWrapPrograms) {
    auto plugin = bb::loadModule();
    ASSERT_NE(plugin, nullptr);
    plugin->setParameter(8, 0.5f);
    EXPECT_EQ(plugin->program(), 12);
    plugin->setParameter(8, 1.0f);  // would be program 24: stored, switches nothing
    EXPECT_EQ(plugin->program(), 12);

    plugin->setProgram(0);
    plugin->setParameter(9, 0.5f);  // only exactly 0 steps
    EXPECT_EQ(plugin->program(), 0);
    plugin->setParameter(9, 0.0f);
    EXPECT_EQ(plugin->program(), 23);
    plugin->setParameter(10, 1.0f);
    EXPECT_EQ(plugin->program(), 23);
    plugin->setParameter(10, 0.0f);
    EXPECT_EQ(plugin->program(), 0);
    plugin->setParameter(10, 0.0f);
    EXPECT_EQ(plugin->program(), 1);
    plugin->setParameter(9, 0.0f);
    plugin->setParameter(9, 0.0f);
    EXPECT_EQ(plugin->program(), 23);

    plugin->setProgram(7);
    plugin->clearCalls();
    plugin->setParameter(19, 0.3f);  // re-applies the current program
    EXPECT_EQ(plugin->program(), 7);
    EXPECT_EQ(plugin->countCalls(audioMasterUpdateDisplay), 1);
}

TEST(Parameters, OnlyValidProgramsSwitchAndRefreshTheHost) {
    auto plugin = bb::loadModule();
    ASSERT_NE(plugin, nullptr);
    plugin->setProgram(5);
    plugin->clearCalls();
    for (VstInt32 bad : {24, -1, 1000}) {
        plugin->setProgram(bad);
        EXPECT_EQ(plugin->program(), 5) << bad;
    }
    EXPECT_EQ(plugin->countCalls(audioMasterUpdateDisplay), 0);
    plugin->setProgram(3);
    EXPECT_EQ(plugin->program(), 3);
    EXPECT_EQ(plugin->countCalls(audioMasterUpdateDisplay), 1);
}

TEST(Parameters, ProgramNamesByIndex) {
    auto plugin = bb::loadModule();
    ASSERT_NE(plugin, nullptr);
    std::string name;
    EXPECT_TRUE(plugin->programNameIndexed(0, name));
    EXPECT_EQ(name, "Many Monks");
    EXPECT_EQ(plugin->programName(), "Many Monks");
    for (VstInt32 i = 1; i < 24; ++i) {
        EXPECT_TRUE(plugin->programNameIndexed(i, name)) << i;
        EXPECT_FALSE(name.empty()) << i;
    }
    for (VstInt32 index : {24, -1}) {
        char buffer[64];
        std::memset(buffer, kSentinel, sizeof buffer);
        EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, index, -1, buffer), 0) << index;
        EXPECT_EQ(buffer[0], kSentinel) << index;
    }
}

// After a switch every parameter reads back what the bank stores for that program.
TEST(Parameters, ParametersReadTheCurrentProgramOfTheBank) {
    auto plugin = bb::loadModule();
    ASSERT_NE(plugin, nullptr);
    const std::vector<std::uint8_t> bank = plugin->getChunk(false);
    ASSERT_EQ(bank.size(), 4u + 24u * 2988u);  // two 16-bit words, then the programs
    for (VstInt32 program : {0, 7, 23}) {
        plugin->setProgram(program);
        for (VstInt32 i = 0; i < 739; ++i) {
            float stored = 0.0f;
            std::memcpy(&stored, bank.data() + 4 + 2988 * program + 4 * i, sizeof stored);
            const float expected = (i >= 29 && i <= 31) ? 0.0f : stored;
            ASSERT_EQ(plugin->getParameter(i), expected) << "program " << program << ", index " << i;
        }
    }
}

TEST(Parameters, ARateChangeIsAnnouncedOnceAtResume) {
    auto plugin = bb::loadModule(44100.0f);
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->countCalls(audioMasterIOChanged), 0) << "loaded at the rate it starts with";
    EXPECT_EQ(plugin->countCalls(audioMasterVersion), 1);

    plugin->clearCalls();
    plugin->suspend();
    plugin->setSampleRate(48000.0f);
    EXPECT_EQ(plugin->countCalls(audioMasterIOChanged), 0) << "a new rate waits for the resume";
    plugin->resume();
    EXPECT_EQ(plugin->countCalls(audioMasterIOChanged), 1);

    plugin->clearCalls();
    plugin->suspend();
    plugin->resume();
    EXPECT_EQ(plugin->countCalls(audioMasterIOChanged), 0);
}

}  // namespace
