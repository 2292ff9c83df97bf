// The factory programs against the published table: names, globals, the telling people, the
// character of each crowd, the gains, and that a preset leaves alone what it does not own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "model/Program.h"
#include "presets/Presets.h"

namespace {

struct PublishedProgram {
    const char* name;
    float population, wet, dry, randLower, spread, pitchAll, reverbWet, reverbSize, highCut, lowCut;
    int peopleStored;
    int heard;
    // Range of slots 0 .. 6 among the heard people at two decimals, "lo-hi" or one number.
    const char* character[7];
};

// clang-format off
const PublishedProgram kPublished[kNumPrograms] = {
    {"Many Monks", 0.65f, 0.5f, 0.401111f, 0.0f, 0.285f, 0.5f, 0.531111f, 0.446667f, 0.775556f, 0.104444f, 40, 40,
     {"0.23-0.73", "0.00", "0.00-0.25", "0.00-0.52", "0.01-0.44", "0.01-0.98", "0.03-1.00"}},
    {"Crowded Hall", 0.516667f, 0.526667f, 0.328889f, 0.0f, 0.490556f, 0.5f, 0.322222f, 0.431111f, 0.353334f, 0.0f, 32, 32,
     {"0.22-0.78", "0.00-0.19", "0.00-0.05", "0.03-0.69", "0.02-0.57", "0.00-0.34", "0.02-0.99"}},
    {"Stadium Chant", 0.816667f, 0.462222f, 0.0f, 0.0f, 0.61f, 0.5f, 0.502222f, 0.68f, 0.557778f, 0.0f, 50, 50,
     {"0.01-0.98", "0.03-1.00", "0.02-0.99", "0.00-0.99", "0.00-0.98", "0.01-0.97", "0.00-1.00"}},
    {"Hello Planet!", 0.983333f, 0.5f, 0.0f, 0.0f, 1.0f, 0.5f, 0.633334f, 0.917778f, 0.804444f, 0.26f, 60, 59,
     {"0.05-0.94", "0.01-1.00", "0.00-1.00", "0.01-1.00", "0.00-0.98", "0.00-0.95", "0.01-1.00"}},
    {"Alien Ripper", 0.566667f, 0.5f, 0.0f, 0.0f, 0.225f, 0.5f, 0.0f, 0.5f, 1.0f, 0.0f, 35, 35,
     {"0.02-1.00", "0.04-0.35", "1.00", "0.00-1.00", "0.01-0.35", "1.00", "0.15-0.83"}},
    {"Bodiless Robot", 0.716667f, 0.5f, 0.38f, 0.0f, 0.0f, 0.5f, 0.375556f, 0.111111f, 1.0f, 0.0f, 44, 44,
     {"0.00-0.24", "0.00-1.00", "0.00-0.13", "0.00-0.02", "0.00-0.07", "0.00-1.00", "0.01-1.00"}},
    {"Busted Larynx", 0.65f, 0.513333f, 0.244444f, 0.0f, 0.0f, 0.5f, 0.0f, 0.5f, 1.0f, 0.0f, 40, 40,
     {"0.01-0.98", "0.00", "0.50", "0.00", "0.01-0.26", "0.50", "0.34-0.66"}},
    {"Choirish", 0.65f, 0.5f, 0.0f, 0.0f, 0.0f, 0.5f, 0.46f, 0.337778f, 0.791111f, 0.228889f, 40, 40,
     {"0.46-0.55", "0.00-0.83", "0.00-0.37", "0.01-0.67", "0.00-0.96", "0.20-0.47", "0.00-0.98"}},
    {"Decender", 0.733333f, 0.5f, 0.0f, 0.0f, 0.6f, 0.345f, 0.408889f, 0.717778f, 1.0f, 0.346667f, 45, 45,
     {"0.05-0.94", "0.00-0.09", "0.01-1.00", "0.00-0.95", "0.01-0.49", "0.01-0.99", "0.02-1.00"}},
    {"Evil Snake", 0.733333f, 0.463333f, 0.282223f, 0.0f, 0.655f, 0.598889f, 0.266667f, 0.0f, 1.0f, 0.0f, 45, 45,
     {"0.00-0.09", "0.01-0.98", "0.03-1.00", "0.00", "0.02-0.99", "0.00-0.98", "0.02-0.98"}},
    {"Fat Pack", 0.733333f, 0.5f, 0.0f, 0.012222f, 0.115f, 0.5f, 0.0f, 0.5f, 1.0f, 0.0f, 45, 45,
     {"0.49-0.50", "0.00-1.00", "0.00-1.00", "0.00-0.06", "0.01-0.36", "0.37-1.00", "0.02-0.99"}},
    {"Gated Layer", 0.15f, 0.391111f, 0.5f, 0.0f, 0.245f, 0.5f, 0.782222f, 0.033333f, 0.675556f, 0.242222f, 10, 10,
     {"0.11-0.99", "0.00-0.71", "0.06-0.70", "0.00-0.80", "0.00-0.19", "0.33-0.96", "0.50"}},
    {"Ghost Maker", 0.65f, 0.5f, 0.0f, 0.0f, 0.765f, 0.88f, 0.397778f, 0.631111f, 1.0f, 0.408889f, 40, 40,
     {"0.03-0.99", "0.00-0.22", "0.01-0.34", "0.00-0.17", "0.00-0.98", "0.00-0.32", "0.02-0.93"}},
    {"Lost in the Wash", 0.733333f, 0.531111f, 0.0f, 0.0f, 0.595f, 0.5f, 0.58f, 0.884444f, 0.326667f, 0.257778f, 45, 45,
     {"0.31-0.60", "0.00-0.99", "0.58-1.00", "0.04-0.97", "0.07-0.98", "0.00-1.00", "0.03-0.98"}},
    {"Mental Breakage", 0.016667f, 0.515f, 0.205f, 0.0f, 0.545f, 0.5f, 0.0f, 0.5f, 1.0f, 0.0f, 2, 2,
     {"0.21-0.78", "0.49-0.50", "0.32-0.34", "0.00", "0.09-0.17", "0.24-0.33", "0.50"}},
    {"Metal Ear Box", 0.566667f, 0.5f, 0.0f, 0.0f, 0.315f, 0.5f, 0.668889f, 0.0f, 0.911111f, 0.168889f, 35, 35,
     {"0.46-0.55", "0.00-0.60", "0.08-0.96", "0.00-0.23", "0.00-1.00", "0.30-0.98", "0.00-1.00"}},
    {"Monster Pan", 0.733333f, 0.545f, 0.0f, 0.0f, 0.395f, 0.345f, 0.277778f, 0.744444f, 0.997778f, 0.0f, 45, 45,
     {"0.00-0.96", "0.00", "0.01-0.98", "0.00-1.00", "0.00", "0.01-0.99", "0.00-1.00"}},
    {"Mouse Delirium", 0.516667f, 0.503333f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.5f, 1.0f, 0.0f, 32, 32,
     {"0.53-1.00", "0.00", "0.00-0.99", "0.00-1.00", "0.01-0.18", "0.01-0.94", "0.05-0.99"}},
    {"New species 1", 0.033333f, 0.5f, 0.42f, 0.0f, 0.0f, 0.5f, 0.0f, 0.5f, 1.0f, 0.0f, 3, 3,
     {"0.41-0.91", "0.12-0.28", "0.07-0.39", "0.00-0.08", "0.00-0.17", "0.00-0.77", "0.00-1.00"}},
    {"New species 2", 0.983333f, 0.516111f, 0.004444f, 0.0f, 0.31f, 0.285f, 0.486667f, 0.16f, 1.0f, 0.375556f, 60, 59,
     {"0.46-0.55", "0.01-0.98", "0.13-0.32", "0.00", "0.03-0.96", "0.13-0.32", "0.01-0.99"}},
    {"Ocean Deep", 0.983333f, 0.5f, 0.0f, 0.0f, 1.0f, 0.0f, 0.557778f, 0.795556f, 0.664444f, 0.0f, 60, 59,
     {"0.02-0.97", "1.00", "0.01-0.30", "0.00-0.99", "1.00", "0.00-0.30", "0.01-0.99"}},
    {"Slow Mirror", 0.333333f, 0.62f, 0.5f, 0.0f, 0.495f, 0.5f, 0.0f, 0.5f, 1.0f, 0.0f, 21, 21,
     {"0.01-0.41", "0.00-0.98", "0.02-0.96", "0.30-1.00", "0.00-0.92", "0.01-0.91", "0.00-1.00"}},
    {"Spin up", 0.316667f, 0.522222f, 0.0f, 0.0f, 0.0f, 0.5f, 0.0f, 0.5f, 1.0f, 0.0f, 20, 20,
     {"0.04-1.00", "0.10-0.93", "0.05-0.99", "0.00-1.00", "0.08-0.99", "0.04-0.98", "0.00-0.99"}},
    {"Up Lilt", 0.2f, 0.561111f, 0.0f, 0.0f, 0.0f, 0.5f, 0.0f, 0.5f, 1.0f, 0.0f, 13, 13,
     {"0.03-1.00", "0.00", "0.00", "0.06-1.00", "0.00-0.96", "0.00-0.92", "0.00-0.98"}},
};
// clang-format on

struct TellingRow {
    int program;
    int person;
    float values[9];
};

const TellingRow kTelling[] = {
    {0, 0, {0.560784f, 0.0f, 0.099243f, 0.307985f, 0.16128f, 0.145822f, 0.540785f, 0.5f, 0.5f}},
    {0, 1, {0.44728f, 0.0f, 0.13182f, 0.106464f, 0.273933f, 0.271545f, 0.936556f, 0.5f, 0.0f}},
    {14, 0, {0.775665f, 0.49f, 0.324116f, 0.0f, 0.095f, 0.330029f, 0.504532f, 0.5f, 0.0f}},
    {14, 1, {0.209125f, 0.496836f, 0.338402f, 0.0f, 0.169734f, 0.239808f, 0.498489f, 0.5f, 0.0f}},
    {18, 0, {0.912548f, 0.205f, 0.16f, 0.0f, 0.0f, 0.15f, 0.498489f, 0.5f, 0.0f}},
    {18, 1, {0.406844f, 0.125f, 0.07f, 0.075f, 0.000275f, 0.0f, 0.0f, 0.5f, 0.0f}},
    {18, 2, {0.418251f, 0.278717f, 0.394592f, 0.0f, 0.168823f, 0.771576f, 1.0f, 0.5f, 0.0f}},
};

// A program record made of raw bytes, every byte a sentinel, so that whatever a preset leaves
// alone can be recognised afterwards.
struct RawProgram {
    alignas(Program) unsigned char bytes[sizeof(Program)];

    RawProgram(int preset, unsigned char fill) {
        std::memset(bytes, fill, sizeof bytes);
        kFactoryPresets[preset](program());
    }
    Program& program() { return *std::launder(reinterpret_cast<Program*>(bytes)); }
    float value(int index) const {
        float v;
        std::memcpy(&v, bytes + 4 * index, sizeof v);
        return v;
    }
    float slot(int person, int slot) const { return value(personIndex(person, slot)); }
};

bool isWritten(int index) {
    if (index < kFirstPersonIndex) {
        return index <= parSoloIndex || (index >= parAllpassSpreadIndex && index <= parReverbLowCutIndex);
    }
    return (index - kFirstPersonIndex) % kSlotsPerPerson <= slot00;
}

std::string twoDecimals(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(v));
    return text;
}

// The people the engine plays: the stored count, at most 59.
int heardPeople(float population) {
    const int stored = static_cast<int>(60.0f * population + 0.5f) + 1;
    return std::min(stored, 59);
}

TEST(FactoryPresets, NamesAndGlobalsAreThePublishedOnes) {
    for (int n = 0; n < kNumPrograms; ++n) {
        SCOPED_TRACE(n);
        const PublishedProgram& want = kPublished[n];
        RawProgram raw(n, 0xA5);
        const Program& got = raw.program();
        EXPECT_STREQ(got.name, want.name);
        EXPECT_EQ(got.parPopulation, want.population);
        EXPECT_EQ(got.parPersonSelected, 0.0f);
        EXPECT_EQ(got.parGlobalWet, want.wet);
        EXPECT_EQ(got.parGlobalDry, want.dry);
        EXPECT_EQ(got.parRandLower, want.randLower);
        EXPECT_EQ(got.parRandUpper, 1.0f);
        EXPECT_EQ(got.parSolo, 0.0f);
        EXPECT_EQ(got.parAllpassSpread, want.spread);
        EXPECT_EQ(got.parPitchAll, want.pitchAll);
        EXPECT_EQ(got.parReverbWet, want.reverbWet);
        EXPECT_EQ(got.parReverbSize, want.reverbSize);
        EXPECT_EQ(got.parReverbHighCut, want.highCut);
        EXPECT_EQ(got.parReverbLowCut, want.lowCut);
        EXPECT_EQ(static_cast<int>(60.0f * got.parPopulation + 0.5f) + 1, want.peopleStored);
        EXPECT_EQ(heardPeople(got.parPopulation), want.heard);
    }
}

TEST(FactoryPresets, EachEntryOfTheTableIsItsOwnPreset) {
    const PresetFunction byName[kNumPrograms] = {
        Preset00, Preset01, Preset02, Preset03, Preset04, Preset05, Preset06, Preset07,
        Preset08, Preset09, Preset10, Preset11, Preset12, Preset13, Preset14, Preset15,
        Preset16, Preset17, Preset18, Preset19, Preset20, Preset21, Preset22, Preset23,
    };
    for (int n = 0; n < kNumPrograms; ++n) {
        EXPECT_EQ(kFactoryPresets[n], byName[n]) << n;
    }
}

TEST(FactoryPresets, TellingPeopleAreExact) {
    for (const TellingRow& row : kTelling) {
        RawProgram raw(row.program, 0xA5);
        for (int k = 0; k <= slot00; ++k) {
            EXPECT_EQ(raw.slot(row.person, k), row.values[k])
                << "program " << row.program << " person " << row.person << " slot " << k;
        }
    }
}

TEST(FactoryPresets, HeardPeopleSpanThePublishedRanges) {
    for (int n = 0; n < kNumPrograms; ++n) {
        RawProgram raw(n, 0xA5);
        const int heard = heardPeople(raw.program().parPopulation);
        for (int k = 0; k < 7; ++k) {
            const std::string printed = kPublished[n].character[k];
            const size_t dash = printed.find('-');
            const std::string low = printed.substr(0, dash);
            const std::string high = dash == std::string::npos ? printed : printed.substr(dash + 1);
            float least = raw.slot(0, k);
            float most = least;
            for (int p = 1; p < heard; ++p) {
                least = std::min(least, raw.slot(p, k));
                most = std::max(most, raw.slot(p, k));
            }
            EXPECT_EQ(twoDecimals(least), low) << "program " << n << " slot " << k;
            EXPECT_EQ(twoDecimals(most), high) << "program " << n << " slot " << k;
        }
    }
}

TEST(FactoryPresets, ReservePeopleStayInTheCharacterOfTheHeard) {
    for (int n = 0; n < kNumPrograms; ++n) {
        RawProgram raw(n, 0xA5);
        const int heard = heardPeople(raw.program().parPopulation);
        for (int k = 0; k < 7; ++k) {
            float least = raw.slot(0, k);
            float most = least;
            for (int p = 1; p < heard; ++p) {
                least = std::min(least, raw.slot(p, k));
                most = std::max(most, raw.slot(p, k));
            }
            for (int p = heard; p < kNumPeople; ++p) {
                EXPECT_GE(raw.slot(p, k), least) << "program " << n << " person " << p << " slot " << k;
                EXPECT_LE(raw.slot(p, k), most) << "program " << n << " person " << p << " slot " << k;
            }
        }
    }
}

// Two voices at the same modulation speed would swing in lockstep.
TEST(FactoryPresets, VaryingModulationSpeedsDifferFromPersonToPerson) {
    int checked = 0;
    for (int n = 0; n < kNumPrograms; ++n) {
        RawProgram raw(n, 0xA5);
        const int heard = heardPeople(raw.program().parPopulation);
        for (int k : {int(slotPitchModSpeed), int(slotDelayModSpeed)}) {
            if (std::string(kPublished[n].character[k]).find('-') == std::string::npos) {
                continue;
            }
            ++checked;
            for (int p = 0; p < heard; ++p) {
                for (int q = p + 1; q < heard; ++q) {
                    EXPECT_NE(raw.slot(p, k), raw.slot(q, k))
                        << "program " << n << " slot " << k << " people " << p << ", " << q;
                }
            }
        }
    }
    EXPECT_EQ(checked, 43);  // 48 speed slots less five that hold one value
}

TEST(FactoryPresets, GainsArePlainExceptTheHallLeaderAndTheStadium) {
    for (int n = 0; n < kNumPrograms; ++n) {
        RawProgram raw(n, 0xA5);
        if (n == 2) {
            continue;
        }
        for (int p = 0; p < kNumPeople; ++p) {
            const float want = (n == 1 && p == 0) ? 0.206667f : 0.5f;
            EXPECT_EQ(raw.slot(p, slotGain), want) << "program " << n << " person " << p;
        }
    }
    RawProgram stadium(2, 0xA5);
    int plain = 0;
    float least = 1.0f;
    float most = 0.0f;
    for (int p = 0; p < kNumPeople; ++p) {
        const float gain = stadium.slot(p, slotGain);
        if (gain == 0.5f) {
            ++plain;
            continue;
        }
        EXPECT_GE(gain, 0.42034f) << p;
        EXPECT_LE(gain, 0.600133f) << p;
        least = std::min(least, gain);
        most = std::max(most, gain);
    }
    EXPECT_EQ(plain, 15);
    EXPECT_EQ(least, 0.42034f);
    EXPECT_EQ(most, 0.600133f);
}

TEST(FactoryPresets, Par00IsAFlag) {
    RawProgram monks(0, 0xA5);
    EXPECT_EQ(monks.slot(0, slot00), 0.5f);
    for (int p = 1; p < kNumPeople; ++p) {
        EXPECT_EQ(monks.slot(p, slot00), 0.0f) << p;
    }
    for (int n = 1; n < kNumPrograms; ++n) {
        RawProgram raw(n, 0xA5);
        for (int p = 0; p < kNumPeople; ++p) {
            const float flag = raw.slot(p, slot00);
            EXPECT_TRUE(flag == 0.0f || flag == 1.0f) << "program " << n << " person " << p << ": " << flag;
        }
    }
}

TEST(FactoryPresets, EveryWrittenValueIsNormalised) {
    for (int n = 0; n < kNumPrograms; ++n) {
        RawProgram raw(n, 0xA5);
        int written = 0;
        for (int i = 0; i < kNumValues; ++i) {
            if (!isWritten(i)) {
                continue;
            }
            ++written;
            const float v = raw.value(i);
            EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << "program " << n << " index " << i << ": " << v;
        }
        EXPECT_EQ(written, 553);
    }
}

// Run over two different sentinels, a preset must leave every unowned byte as it was and write
// the same owned values either way (it does not read the record it fills).
TEST(FactoryPresets, WriteOnlyWhatTheyOwn) {
    for (int n = 0; n < kNumPrograms; ++n) {
        SCOPED_TRACE(n);
        const unsigned char fills[2] = {0xA5, 0x3C};
        RawProgram first(n, fills[0]);
        RawProgram second(n, fills[1]);
        for (int i = 0; i < kNumValues; ++i) {
            if (isWritten(i)) {
                EXPECT_EQ(std::memcmp(first.bytes + 4 * i, second.bytes + 4 * i, 4), 0) << "index " << i;
                continue;
            }
            for (int b = 0; b < 4; ++b) {
                EXPECT_EQ(first.bytes[4 * i + b], fills[0]) << "index " << i;
                EXPECT_EQ(second.bytes[4 * i + b], fills[1]) << "index " << i;
            }
        }
        // The name is terminated inside its field; what follows the terminator is not sentinel.
        const Program& program = first.program();
        EXPECT_NE(std::memchr(program.name, '\0', kProgramNameSize), nullptr);
    }
}

}  // namespace
