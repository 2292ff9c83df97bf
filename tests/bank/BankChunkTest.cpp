// The program bank through the plug-in: chunks of every size in both directions, the older
// layouts, program names, and the factory reset.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/CrowdEngine.h"
#include "plugin/EffectVST.h"
#include "presets/Presets.h"

namespace {

std::vector<VstInt32>* hostCalls = nullptr;

VstIntPtr recordingHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (hostCalls != nullptr) {
        hostCalls->push_back(opcode);
    }
    return 0;
}

using Bytes = std::vector<unsigned char>;

struct Rig {
    std::vector<VstInt32> calls;
    EffectVST plugin{recordingHost, nullptr};

    Rig() { hostCalls = &calls; }
    ~Rig() { hostCalls = nullptr; }

    ProgramBank& bank() { return plugin.engine()->bank(); }
    Bytes chunk(bool isPreset) {
        void* data = nullptr;
        const VstInt32 size = plugin.getChunk(&data, isPreset);
        const auto* bytes = static_cast<const unsigned char*>(data);
        return Bytes(bytes, bytes + size);
    }
    VstInt32 restore(Bytes bytes, bool isPreset) {
        return plugin.setChunk(bytes.data(), static_cast<VstInt32>(bytes.size()), isPreset);
    }
    Bytes bankBytes() {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&bank());
        return Bytes(bytes, bytes + sizeof(ProgramBank));
    }
};

// An older program layout: 'globals' floats, 60 people of 12 floats, a 28-byte name.
struct OlderProgram {
    int globals;
    std::vector<float> values;
    char name[kProgramNameSize] = {};

    explicit OlderProgram(int globalCount) : globals(globalCount), values(globalCount + 720) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            values[i] = 0.001f * static_cast<float>(i + 1);
        }
    }
    float& person(int p, int k) { return values[globals + kSlotsPerPerson * p + k]; }
    Bytes bytes() const {
        Bytes out(4 * values.size() + kProgramNameSize);
        std::memcpy(out.data(), values.data(), 4 * values.size());
        std::memcpy(out.data() + 4 * values.size(), name, kProgramNameSize);
        return out;
    }
};

void putVersion(Bytes& bank, std::uint16_t version) {
    std::memcpy(bank.data(), &version, 2);
}

TEST(BankChunk, SizesAreTheRecordSizes) {
    Rig rig;
    EXPECT_EQ(rig.chunk(false).size(), 71716u);
    EXPECT_EQ(rig.chunk(true).size(), 2988u);
    const Bytes program0 = rig.chunk(true);
    float population;
    std::memcpy(&population, program0.data(), 4);
    EXPECT_EQ(population, 0.65f);
    EXPECT_STREQ(reinterpret_cast<const char*>(program0.data() + 2960), "Many Monks");
}

TEST(BankChunk, BankRoundTripsByteForByteAndTakesOverTheVersionWord) {
    Rig rig;
    rig.plugin.setProgram(7);
    const Bytes saved = rig.chunk(false);

    rig.plugin.setParameter(parGlobalWetIndex, 0.9f);
    rig.plugin.setParameter(personIndex(12, slotPan), 0.1f);
    char renamed[] = "Changed";
    rig.plugin.setProgramName(renamed);
    ASSERT_NE(rig.bankBytes(), saved);

    EXPECT_EQ(rig.restore(saved, false), 1);
    EXPECT_EQ(rig.chunk(false), saved);
    EXPECT_EQ(rig.plugin.getProgram(), 7);

    for (std::uint16_t version : {std::uint16_t{0}, std::uint16_t{9999}}) {
        Bytes other = saved;
        putVersion(other, version);
        EXPECT_EQ(rig.restore(other, false), 1) << version;
        EXPECT_EQ(rig.bank().version, version);
        EXPECT_EQ(rig.chunk(false), other);
    }
}

TEST(BankChunk, ProgramChunkRestoresTheCurrentProgramOnly) {
    Rig rig;
    rig.plugin.setProgram(3);
    const Bytes saved = rig.chunk(true);
    const Bytes bankBefore = rig.bankBytes();
    rig.plugin.setParameter(parReverbSizeIndex, 0.01f);
    rig.plugin.setParameter(personIndex(40, slotDelayTime), 0.99f);
    EXPECT_EQ(rig.restore(saved, true), 1);
    EXPECT_EQ(rig.chunk(true), saved);
    EXPECT_EQ(rig.bankBytes(), bankBefore);
    EXPECT_EQ(rig.plugin.engine()->currentProgram(), 3);
}

TEST(BankChunk, WrongSizesAndMissingDataAreRefusedAndChangeNothing) {
    Rig rig;
    rig.plugin.setProgram(9);
    const Bytes before = rig.bankBytes();
    rig.calls.clear();
    Bytes big(80000, 0x11);

    // A bank size is not a program size and the reverse; neighbours of every size are refused.
    for (VstInt32 size : {71716, 71428, 71332, 2987, 2989, 2975, 2973, 0, -1}) {
        EXPECT_EQ(rig.plugin.setChunk(big.data(), size, true), 0) << "program chunk of " << size;
    }
    for (VstInt32 size : {2988, 2976, 2972, 71715, 71717, 71427, 71333, 4, 0, -1}) {
        EXPECT_EQ(rig.plugin.setChunk(big.data(), size, false), 0) << "bank chunk of " << size;
    }
    // No data behind a valid size.
    for (VstInt32 size : {2988, 2976, 2972}) {
        EXPECT_EQ(rig.plugin.setChunk(nullptr, size, true), 0) << size;
    }
    for (VstInt32 size : {71716, 71428, 71332}) {
        EXPECT_EQ(rig.plugin.setChunk(nullptr, size, false), 0) << size;
    }

    EXPECT_EQ(rig.bankBytes(), before);
    EXPECT_EQ(rig.plugin.getProgram(), 9);
    EXPECT_EQ(rig.plugin.engine()->currentProgram(), 9);
    EXPECT_TRUE(rig.calls.empty()) << "a refused chunk re-applies nothing and refreshes nothing";
}

TEST(BankChunk, SecondLayoutProgramGetsReverbDefaultsAndItsName) {
    Rig rig;
    rig.plugin.setProgram(2);
    rig.plugin.setParameter(parActiveIndex, 0.0f);
    rig.plugin.setParameter(personIndex(5, 9), 0.7f);  // a reserved slot, kept by the upgrade
    OlderProgram source(17);
    source.values[14] = 0.375f;
    source.person(59, 7) = 0.25f;
    source.person(0, 8) = 0.875f;  // slot 8 of the source is not read
    const Bytes bytes = source.bytes();
    ASSERT_EQ(bytes.size(), 2976u);

    EXPECT_EQ(rig.restore(bytes, true), 1);
    const Program& got = rig.bank().programs[2];
    EXPECT_STREQ(got.name, "Init");
    for (int i = 0; i <= 13; ++i) {
        EXPECT_EQ(got.value(i), source.values[i]) << i;
    }
    EXPECT_EQ(got.parReverbWet, 0.0f);
    EXPECT_EQ(got.parReverbSize, 0.5f);
    EXPECT_EQ(got.parReverbHighCut, 1.0f);
    EXPECT_EQ(got.parReverbLowCut, 0.0f);
    EXPECT_EQ(got.parActive, 1.0f);
    EXPECT_EQ(got.parPresetReload, 0.375f);
    for (int p = 0; p < kNumPeople; ++p) {
        for (int k = 0; k <= slotGain; ++k) {
            ASSERT_EQ(got.value(personIndex(p, k)), source.person(p, k)) << p << "/" << k;
        }
    }
    EXPECT_EQ(got.people[0].par00, 0.0f) << "the factory value stays";
    EXPECT_EQ(got.people[5].reserved[0], 0.7f);

    std::strcpy(source.name, "Old Friend");
    EXPECT_EQ(rig.restore(source.bytes(), true), 1);
    EXPECT_STREQ(got.name, "Old Friend");
}

TEST(BankChunk, FirstLayoutProgramConvertsPopulationAndKeepsReverb) {
    Rig rig;
    rig.plugin.setProgram(0);
    const float reverb[4] = {0.11f, 0.22f, 0.33f, 0.44f};
    for (int i = 0; i < 4; ++i) {
        rig.plugin.setParameter(parReverbWetIndex + i, reverb[i]);
    }
    OlderProgram source(16);
    source.values[0] = 30.0f;
    source.values[1] = 15.0f;
    source.values[14] = 0.625f;
    std::strcpy(source.name, "Veteran");
    const Bytes bytes = source.bytes();
    ASSERT_EQ(bytes.size(), 2972u);

    EXPECT_EQ(rig.restore(bytes, true), 1);
    const Program& got = rig.bank().programs[0];
    EXPECT_EQ(got.parPopulation, 0.5f);
    EXPECT_EQ(got.parPersonSelected, 0.5f);
    for (int i = 2; i <= 11; ++i) {
        EXPECT_EQ(got.value(i), source.values[i]) << i;
    }
    EXPECT_EQ(got.parAllpassSpread, 0.0f);
    EXPECT_EQ(got.parPitchAll, 0.5f);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(got.value(parReverbWetIndex + i), reverb[i]);
    }
    EXPECT_EQ(got.parActive, 1.0f);
    EXPECT_EQ(got.parPresetReload, 0.625f);
    EXPECT_EQ(got.value(personIndex(0, slotPitchShift)), source.person(0, 0));
    EXPECT_EQ(got.value(personIndex(59, slotGain)), source.person(59, 7));
    EXPECT_STREQ(got.name, "Veteran");
}

// The old selected value is divided by the old population; whatever the source holds, the
// result must be a number the editor and the engine can use.
TEST(BankChunk, FirstLayoutSelectedStaysANumberInRange) {
    Rig rig;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float population, selected;
    } cases[] = {{0.0f, 15.0f}, {0.0f, 0.0f}, {-0.0f, 3.0f}, {nan, 15.0f}, {30.0f, nan},
                 {inf, 15.0f},  {30.0f, inf}, {-inf, 1.0f},  {inf, inf}, {1e-30f, 15.0f}, {30.0f, 45.0f},
                 {30.0f, -15.0f}};
    for (const auto& c : cases) {
        OlderProgram source(16);
        source.values[0] = c.population;
        source.values[1] = c.selected;
        EXPECT_EQ(rig.restore(source.bytes(), true), 1);
        const float selected = rig.bank().programs[0].parPersonSelected;
        EXPECT_TRUE(selected >= 0.0f && selected <= 1.0f)
            << "population " << c.population << ", selected " << c.selected << " gives " << selected;
    }
    OlderProgram zero(16);
    zero.values[0] = 0.0f;
    zero.values[1] = 15.0f;
    rig.restore(zero.bytes(), true);
    EXPECT_EQ(rig.bank().programs[0].parPersonSelected, 0.0f);
}

// Some hosts hand the plug-in's own chunk pointer straight back.
TEST(BankChunk, RestoringTheLiveChunkItselfKeepsItIntact) {
    Rig rig;
    rig.plugin.setProgram(4);
    const Bytes before = rig.bankBytes();
    for (bool isPreset : {false, true}) {
        void* live = nullptr;
        const VstInt32 size = rig.plugin.getChunk(&live, isPreset);
        EXPECT_EQ(rig.plugin.setChunk(live, size, isPreset), 1);
        EXPECT_EQ(rig.bankBytes(), before);
    }
}

TEST(BankChunk, OlderBanksUpgradeEveryProgramAndKeepTheHeader) {
    for (int globals : {16, 17}) {
        SCOPED_TRACE(globals);
        Rig rig;
        const int record = 4 * (globals + 720) + kProgramNameSize;
        Bytes bank(4 + kNumPrograms * record);
        putVersion(bank, 9999);
        for (int n = 0; n < kNumPrograms; ++n) {
            OlderProgram source(globals);
            source.values[0] = globals == 16 ? 6.0f * n : 0.04f * n;
            source.person(n, slotPan) = 0.01f * n;
            std::snprintf(source.name, sizeof source.name, "Old %d", n);
            const Bytes bytes = source.bytes();
            std::memcpy(bank.data() + 4 + n * record, bytes.data(), bytes.size());
        }
        EXPECT_EQ(rig.restore(bank, false), 1);
        EXPECT_EQ(rig.bank().version, kBankVersion) << "the header of an older bank is not read";
        for (int n = 0; n < kNumPrograms; ++n) {
            const Program& got = rig.bank().programs[n];
            EXPECT_EQ(got.parPopulation, globals == 16 ? 6.0f * n * 0.016666668f : 0.04f * n) << n;
            EXPECT_EQ(got.people[n].parPan, 0.01f * n) << n;
            EXPECT_EQ(got.name, "Old " + std::to_string(n));
        }
    }
}

TEST(BankNames, IndexedNamesAndRenaming) {
    Rig rig;
    char text[64];
    std::memset(text, '#', sizeof text);
    EXPECT_FALSE(rig.plugin.getProgramNameIndexed(0, 24, text));
    EXPECT_FALSE(rig.plugin.getProgramNameIndexed(0, -1, text));
    for (char c : text) {
        ASSERT_EQ(c, '#') << "a refused index writes nothing";
    }
    EXPECT_TRUE(rig.plugin.getProgramNameIndexed(0, 0, text));
    EXPECT_STREQ(text, "Many Monks");
    EXPECT_TRUE(rig.plugin.getProgramNameIndexed(0, 23, text));
    EXPECT_STREQ(text, "Up Lilt");

    rig.plugin.setProgram(11);
    char longName[] = "A name much longer than the field can hold";
    rig.plugin.setProgramName(longName);
    // The host's buffer gets 24 characters and the terminator, nothing beyond; the stored
    // field keeps its 27.
    for (int getter = 0; getter < 2; ++getter) {
        char host[40];
        std::memset(host, '#', sizeof host);
        if (getter == 0) {
            rig.plugin.getProgramName(host);
        } else {
            EXPECT_TRUE(rig.plugin.getProgramNameIndexed(0, 11, host));
        }
        EXPECT_EQ(std::string(host), std::string(longName, 24)) << getter;
        for (std::size_t i = 25; i < sizeof host; ++i) {
            ASSERT_EQ(host[i], '#') << "byte " << i << " of getter " << getter;
        }
    }
    EXPECT_EQ(std::string(rig.plugin.engine()->bank().programs[11].name), std::string(longName, 27));
}

TEST(FactoryBank, EveryProgramIsItsPresetOverTheConstructionDefaults) {
    Rig rig;
    const ProgramBank& bank = rig.bank();
    EXPECT_EQ(bank.version, 301);
    EXPECT_EQ(bank.reserved, 0);
    for (int n = 0; n < kNumPrograms; ++n) {
        const Program& program = bank.programs[n];
        // Running the preset again changes nothing: it is what the bank holds.
        Program again = program;
        kFactoryPresets[n](again);
        EXPECT_EQ(std::memcmp(&again, &program, sizeof(Program)), 0) << n;
        EXPECT_EQ(program.parActive, 1.0f) << n;
        for (int i : {7, 8, 9, 10, 11, 19}) {
            EXPECT_EQ(program.value(i), 0.0f) << n << "/" << i;
        }
        for (const Individual& person : program.people) {
            for (float reserved : person.reserved) {
                EXPECT_EQ(reserved, 0.0f) << n;
            }
        }
    }
}

TEST(FactoryBank, ResetCurrentRestoresThePresetAndKeepsWhatItDoesNotOwn) {
    Rig rig;
    rig.plugin.setProgram(3);
    const Program factory = rig.bank().programs[3];
    Bytes oldVersion = rig.chunk(false);
    putVersion(oldVersion, 17);
    ASSERT_EQ(rig.restore(oldVersion, false), 1);

    char renamed[] = "Goodbye";
    rig.plugin.setProgramName(renamed);
    for (int i = 0; i < kNumParams; ++i) {
        if (i != parPresetSelectIndex && i != parPresetPrevIndex && i != parPresetNextIndex &&
            i != parPresetReloadIndex) {
            rig.plugin.setParameter(i, 0.123f);
        }
    }
    rig.plugin.setParameter(parActiveIndex, 0.0f);
    ASSERT_EQ(rig.plugin.engine()->currentProgram(), 3);

    rig.calls.clear();
    rig.plugin.resetCurrentProgram();
    const Program& got = rig.bank().programs[3];
    EXPECT_STREQ(got.name, "Hello Planet!");
    EXPECT_EQ(rig.bank().version, 301);
    int restored = 0;
    for (int i = 0; i < kNumValues; ++i) {
        const bool owned = i < kFirstPersonIndex ? (i <= 6 || (i >= 12 && i <= 17))
                                                 : (i - kFirstPersonIndex) % kSlotsPerPerson <= slot00;
        if (owned) {
            EXPECT_EQ(got.value(i), factory.value(i)) << i;
            ++restored;
        }
    }
    EXPECT_EQ(restored, 553);
    EXPECT_EQ(got.parActive, 0.0f) << "the Active switch is not the preset's";
    EXPECT_EQ(got.parPresetAction, 0.123f);
    EXPECT_EQ(got.people[0].reserved[0], 0.123f);
    EXPECT_EQ(rig.plugin.engine()->currentProgram(), 3);
    int refreshes = 0;
    for (VstInt32 opcode : rig.calls) {
        refreshes += opcode == audioMasterUpdateDisplay;
    }
    EXPECT_EQ(refreshes, 1) << "the reset is re-applied like a program switch";
}

}  // namespace
