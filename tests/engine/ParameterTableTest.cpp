// The parameter table: what hosts are told of each parameter, its text both ways, and that the
// engine plays what the table says a value means.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "engine/CrowdEngine.h"
#include "engine/VoiceState.h"
#include "model/ParameterTable.h"

namespace {

std::string shown(int index, float value, std::size_t capacity = 9) {
    char text[64];
    std::memset(text, 'x', sizeof text);
    ParameterTable::display(index, value, text, capacity);
    EXPECT_LT(std::strlen(text), capacity) << "index " << index;
    return text;
}

TEST(ParameterTable, DisplaysValuesInTheirUnitsWithinTheHostsBuffer) {
    EXPECT_EQ(shown(personIndex(0, slotPitchShift), 1.0f), "+80.0 Hz");
    EXPECT_EQ(shown(personIndex(0, slotPitchShift), 0.25f), "-40.0 Hz");
    EXPECT_EQ(shown(personIndex(3, slotDelayTime), 0.75f), "250 ms");
    EXPECT_EQ(shown(parPopulationIndex, param::personValue(39)), "40 ppl");
    EXPECT_EQ(shown(parPopulationIndex, param::personValue(39), 32), "40 people");
    EXPECT_EQ(shown(parPopulationIndex, 0.0f, 32), "1 person");
    EXPECT_EQ(shown(parSoloIndex, 1.0f), "on");
    EXPECT_EQ(shown(parSoloIndex, 0.5f), "off");  // solo is on only from 1
    EXPECT_EQ(shown(parActiveIndex, 0.5f), "on");
    EXPECT_EQ(shown(parGlobalWetIndex, 0.5f), "+0.00 dB");
    EXPECT_EQ(shown(parGlobalWetIndex, 0.0f), "-inf dB");
    EXPECT_EQ(shown(personIndex(0, slotPan), 0.0f), "L 100 %");
    EXPECT_EQ(shown(personIndex(0, slotPan), 0.5f), "C");
    EXPECT_EQ(shown(parReverbHighCutIndex, 1.0f), "16000 Hz");
    EXPECT_EQ(shown(parPersonSelectedIndex, param::personValue(4)), "5");
    // Every parameter at its extremes, and wild values a host may send, fit the 8 characters.
    for (int index = 0; index < kNumParams; ++index) {
        for (float v : {0.0f, 1.0f, -1e30f, 1e30f, NAN}) {
            shown(index, v);
        }
    }
}

TEST(ParameterTable, TextsReadBackToTheValueTheyShow) {
    for (int index = 0; index < kNumParams; ++index) {
        if (ParameterTable::row(index).hidden())
            continue;
        for (float v : {0.0f, 0.1f, 0.37f, 0.5f, 0.83f, 1.0f}) {
            const std::string text = shown(index, v, 32);
            float back = -1.0f;
            ASSERT_TRUE(ParameterTable::parse(index, text.c_str(), back)) << index << " '" << text << "'";
            EXPECT_EQ(shown(index, back, 32), text) << "index " << index << " value " << v;
        }
    }
    float v = 0.0f;
    EXPECT_TRUE(ParameterTable::parse(personIndex(0, slotPitchShift), "+80 Hz", v));
    EXPECT_EQ(v, 1.0f);
    EXPECT_TRUE(ParameterTable::parse(parReverbHighCutIndex, "4 kHz", v));
    EXPECT_FLOAT_EQ(v, 0.5f);
    EXPECT_TRUE(ParameterTable::parse(personIndex(0, slotPan), "R 50", v));
    EXPECT_FLOAT_EQ(v, 0.75f);
    EXPECT_TRUE(ParameterTable::parse(parPopulationIndex, "40 people", v));
    EXPECT_EQ(v, param::personValue(39));
    EXPECT_TRUE(ParameterTable::parse(parPopulationIndex, "500", v));  // as many as there are
    EXPECT_EQ(v, param::personValue(58));
    EXPECT_TRUE(ParameterTable::parse(parAllpassSpreadIndex, "=0.25", v));
    EXPECT_EQ(v, 0.25f);
    for (const char* nonsense : {"", "loud", "12 parsecs", "nan", "=x", "on"}) {
        EXPECT_FALSE(ParameterTable::parse(parGlobalWetIndex, nonsense, v)) << nonsense;
    }
    EXPECT_FALSE(ParameterTable::parse(parSoloIndex, "maybe", v));
    EXPECT_FALSE(ParameterTable::parse(kNumParams, "1", v));
}

TEST(ParameterTable, NamesAndKindsAreWhatHostsHaveAlwaysBeenTold) {
    char text[32] = "unchanged";
    EXPECT_FALSE(ParameterTable::name(28, text, sizeof text));
    EXPECT_STREQ(text, "unchanged");
    ASSERT_TRUE(ParameterTable::name(733, text, sizeof text));
    EXPECT_STREQ(text, "Delay M. Speed 60");
    EXPECT_EQ(std::strlen(text), param::kMaxNameLength);
    ASSERT_TRUE(ParameterTable::name(-1, text, sizeof text));
    EXPECT_STREQ(text, "NONE");
    int automatable = 0;
    for (const ParameterRow& row : ParameterTable::kRows) {
        automatable += row.automatable;
        char name[32] = {};
        const bool named = ParameterTable::name(row.index, name, sizeof name);
        EXPECT_EQ(row.automatable, named && std::strcmp(name, "NONE") != 0) << row.index;
    }
    EXPECT_EQ(automatable, 11 + 60 * 8);
    // The ranges hosts are told are where the conversions go (a level's -inf as a floor).
    for (const ParameterRow& row : ParameterTable::kRows) {
        if (row.hidden())
            continue;
        const double ends[2] = {ParameterTable::toPlain(row.index, 0.0f),
                                ParameterTable::toPlain(row.index, 1.0f)};
        EXPECT_NEAR(row.plainMax, std::max(ends[0], ends[1]), 1e-3) << row.index;
        if (std::isfinite(ends[0]))
            EXPECT_NEAR(row.plainMin, std::min(ends[0], ends[1]), 1e-3) << row.index;
        else
            EXPECT_LE(row.plainMin, -100.0) << row.index;
    }
    EXPECT_EQ(ParameterTable::row(parPopulationIndex).change, ParamChange::kDip);
    EXPECT_EQ(ParameterTable::row(parActiveIndex).change, ParamChange::kCrossFade);
    EXPECT_EQ(ParameterTable::row(personIndex(7, slotDelayTime)).change, ParamChange::kVoiceFade);
    EXPECT_EQ(ParameterTable::row(personIndex(7, slotGain)).change, ParamChange::kGlide);
    EXPECT_EQ(ParameterTable::row(parPresetNextIndex).change, ParamChange::kCommand);
}

// What the table says a value is, the engine plays: the plain values line up with the engine's
// own coefficients at 44.1 kHz.
TEST(ParameterTable, PlainValuesAreWhatTheEngineApplies) {
    CrowdEngine engine;
    engine.prepare(44100.0f, 512);
    const float x = 0.8f;
    engine.markParameter(personIndex(0, slotPitchShift), x);
    engine.markParameter(parPitchAllIndex, x);
    engine.markParameter(parPopulationIndex, param::personValue(11));
    float in[512] = {}, outL[512], outR[512];
    float* inputs[2] = {in, in};
    float* outputs[2] = {outL, outR};
    for (int block = 0; block < 30; ++block) engine.process(inputs, outputs, 2, 2, 512);
    const double hertz = ParameterTable::toPlain(personIndex(0, slotPitchShift), x);
    EXPECT_NEAR(engine.voice(0).shiftCoefficient, 2.0 * std::sin(M_PI * hertz / 44100.0), 1e-6);
    const double all = ParameterTable::toPlain(parPitchAllIndex, x);
    EXPECT_NEAR(engine.shiftAllCoefficient(), 2.0 * std::sin(M_PI * all / 44100.0), 1e-6);
    EXPECT_EQ(ParameterTable::toPlain(parPopulationIndex, param::personValue(11)), engine.population());
    EXPECT_EQ(engine.population(), 12);
}

}  // namespace
