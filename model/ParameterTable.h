// What every parameter is: its host name and label, its unit and plain range, the conversion the
// engine applies, its text, and how a change of it is heard. One row per index 0 .. 738; the
// plug-in's answers, the engine's conversions, the editor and every plug-in format read it here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "model/Program.h"

namespace zb {

// Float to int truncation that never leaves [lo, hi]: a NaN or infinite value coming from a host
// must not become an out-of-range index or count.
constexpr int saturatingTrunc(float x, int lo, int hi) {
    if (!(x >= static_cast<float>(lo))) {
        return lo;  // also NaN
    }
    if (x >= static_cast<float>(hi)) {
        return hi;
    }
    return static_cast<int>(x);
}

// A stored parameter value as the conversions use it: within [0, 1], NaN as 0. The stored value
// itself is left as sent.
constexpr float unitValue(float x) {
    if (!(x > 0.0f)) {
        return 0.0f;
    }
    return x < 1.0f ? x : 1.0f;
}

}  // namespace zb

// ---- The conversions the engine applies, each written once, in float32 and in this order ----
namespace param {

constexpr int kMaxPopulation = 59;

// A person number k (0-based) stored as a value, and back. Population v means personNumber + 1
// people; Selected v means person personNumber.
constexpr float personValue(int k) {
    return static_cast<float>(k) * (1.0f / 60.0f);
}
constexpr int personNumber(float v, int last) {
    return zb::saturatingTrunc(60.0f * v + 0.5f, 0, last);
}
constexpr int populationCount(float v) {
    return personNumber(v, kMaxPopulation - 1) + 1;
}

// The spans of the conversions below, which their inverses and ranges use too.
constexpr float kLevelMax = 4.0f;
constexpr float kShiftAllSpan = 880.0f;
constexpr float kCutMax = 16000.0f;
constexpr float kPitchShiftSpan = 160.0f;
constexpr float kDelaySpanSamples = 14700.0f;  // at the reference rate

// Global wet and dry: a gain factor 0 .. 4.
constexpr float levelGain(float x) {
    const float u = zb::unitValue(x);
    return kLevelMax * (u * u);
}
// Solo is on when the value truncates to a non-zero integer.
constexpr bool soloOn(float x) {
    return x == x && zb::saturatingTrunc(x, -1, 1) != 0;
}
// Active processes for any value above 0; exactly 0 passes the input through.
constexpr bool activeOn(float x) {
    return x > 0.0f;
}
constexpr bool bypassed(float x) {
    return x == 0.0f;
}
constexpr float spreadAmount(float x) {
    return zb::unitValue(x);
}
// Frequency shift of the whole crowd, Hz.
constexpr float shiftAllHertz(float x) {
    return kShiftAllSpan * (zb::unitValue(x) - 0.5f);
}

// Reverb: gain factor, size 0..1 and the two cut-offs in Hz.
constexpr float reverbGain(float x) {
    const float g = zb::unitValue(x);
    return g * g * g;
}
constexpr float reverbSize(float x) {
    return zb::unitValue(x);
}
constexpr float cutHertz(float x) {
    const float h = zb::unitValue(x);
    return h * h * kCutMax;
}

// One person.
constexpr float pitchShiftHertz(float x) {
    return kPitchShiftSpan * (zb::unitValue(x) - 0.5f);
}
// Added to the shift oscillator's coefficient at the swing's peak.
constexpr float pitchModDepth(float x) {
    return 0.01f * zb::unitValue(x);
}
constexpr float pitchModHertz(float x) {
    const float speed = zb::unitValue(x);
    return 2.6f * (speed * speed * speed) + 0.2f;
}
// Delay time in samples at the reference rate of 44100 Hz.
constexpr float kReferenceRate = 44100.0f;
constexpr float kReferenceRateReciprocal = 2.2675737e-5f;
constexpr float delayReferenceSamples(float x) {
    return zb::unitValue(x) * kDelaySpanSamples;
}
// The swing's depth in samples, at every rate.
constexpr float kDelayModDepthSamples = 550.0f;
constexpr float delayModDepth(float x) {
    return kDelayModDepthSamples * zb::unitValue(x);
}
constexpr float delayModHertz(float x) {
    const float speed = zb::unitValue(x);
    return 2.0f * (speed * speed * speed * speed) + 0.1f;
}
// Pan position 0 (left) .. 1 (right); the pan law turns it into two gains.
constexpr float panPosition(float x) {
    return zb::unitValue(x);
}
constexpr float personGain(float x) {
    return (0.8f * zb::unitValue(x) + 0.2f) * 0.5f;
}

}  // namespace param

// ---- The table ----
enum class ParamUnit : std::uint8_t {
    kNone,
    kHertz,
    kMilliseconds,
    kPercent,
    kDecibels,
    kPeople,
    kPerson,
    kOnOff
};

// How a change is heard.
enum class ParamChange : std::uint8_t {
    kStep,       // takes effect at the next block start
    kGlide,      // glides to the new value over the block
    kDip,        // the whole crowd dips to silence and comes back with it
    kCrossFade,  // the Active switch's cross-fade with the untouched input
    kVoiceFade,  // that person fades out, moves and fades in
    kCommand,    // switches programs; not a stored setting
    kStored,     // the editor's own value: no effect on the sound
};

// Which conversion turns the stored value into what is heard (and shown).
enum class ParamConversion : std::uint8_t {
    kRaw,
    kPopulation,
    kSelected,
    kLevel,
    kSolo,
    kSpread,
    kShiftAll,
    kReverbGain,
    kReverbSize,
    kCut,
    kActive,
    kPitchShift,
    kPitchModGain,
    kPitchModSpeed,
    kDelayTime,
    kDelayModGain,
    kDelayModSpeed,
    kPan,
    kGain,
};

struct ParameterRow {
    int index;
    // The host name; a person's rows hold a format with %i for the 1-based person number.
    const char* name;
    const char* shortName;
    int person;  // 0-based, or -1 for the globals
    int slot;    // the person's slot, or -1
    ParamUnit unit;
    ParamConversion conversion;
    ParamChange change;
    // Offered to hosts by name; the rest answer "NONE" or nothing and are hidden.
    bool automatable;
    // Stepped values are k / steps for k = 0 .. steps; 0 for a continuous value.
    int steps;
    // The plain range, in the unit.
    double plainMin;
    double plainMax;
    // Shown on an editor control that carries the index (or, for a person, the slot) as its tag.
    bool onControl;
    // What a new program holds; a person's slots 0 .. 6 are drawn at random there and given
    // here as the middle of their range.
    float defaultValue;

    constexpr bool hidden() const { return !automatable; }
    constexpr bool stepped() const { return steps > 0; }
};

namespace param {

constexpr int kNamedSlots = 8;              // slots 0 .. 7 of a person have names and dials
constexpr std::size_t kMaxNameLength = 17;  // "Delay M. Speed 60"
// Every label is this text, as hosts have always been told.
constexpr const char* kLabel = "amount";

constexpr ParameterRow global(int index, const char* name, const char* shortName, ParamUnit unit,
                              ParamConversion conversion, ParamChange change, bool automatable, int steps,
                              double lo, double hi, bool onControl, float defaultValue) {
    return {index,  name,        shortName, -1, -1, unit,      conversion,
            change, automatable, steps,     lo, hi, onControl, defaultValue};
}

using enum ParamUnit;
using enum ParamConversion;
using enum ParamChange;

constexpr ParameterRow kGlobals[kFirstPersonIndex] = {
    global(0, "Population", "People", kPeople, kPopulation, kDip, true, 60, 1, 59, true, 0.5f),
    global(1, "Selected", "Select", kPerson, kSelected, kStep, true, 60, 1, 60, true, 0.0f),
    global(2, "Global Wet gain", "Wet", kDecibels, kLevel, kGlide, true, 0, -144, 12.0412, true, 0.5f),
    global(3, "Global Dry gain", "Dry", kDecibels, kLevel, kGlide, true, 0, -144, 12.0412, true, 0.5f),
    global(4, "NONE", "RndLow", kPercent, kRaw, kStored, false, 0, 0, 100, true, 0.0f),
    global(5, "NONE", "RndHigh", kPercent, kRaw, kStored, false, 0, 0, 100, true, 1.0f),
    global(6, "Solo", "Solo", kOnOff, kSolo, kDip, true, 1, 0, 1, true, 0.0f),
    global(7, "NONE", "Action", kNone, kRaw, kStored, false, 0, 0, 1, false, 0.0f),
    global(8, "NONE", "Program", kNone, kRaw, kCommand, false, 0, 0, 1, false, 0.0f),
    global(9, "NONE", "Prev", kNone, kRaw, kCommand, false, 0, 0, 1, false, 0.0f),
    global(10, "NONE", "Next", kNone, kRaw, kCommand, false, 0, 0, 1, false, 0.0f),
    global(11, "NONE", "Name", kNone, kRaw, kStored, false, 0, 0, 1, false, 0.0f),
    global(12, "Spread", "Spread", kPercent, kSpread, kDip, true, 0, 0, 100, true, 0.0f),
    global(13, "Shift All", "ShiftAll", kHertz, kShiftAll, kStep, true, 0, -kShiftAllSpan / 2,
           kShiftAllSpan / 2, true, 0.5f),
    global(14, "Reverb Gain", "RevGain", kDecibels, kReverbGain, kStep, true, 0, -144, 0, true, 0.0f),
    global(15, "Reverb Size", "RevSize", kPercent, kReverbSize, kStep, true, 0, 0, 100, true, 0.5f),
    global(16, "Reverb High Cut", "HighCut", kHertz, kCut, kStep, true, 0, 0, kCutMax, true, 1.0f),
    global(17, "Reverb Low Cut", "LowCut", kHertz, kCut, kStep, true, 0, 0, kCutMax, true, 0.0f),
    global(18, "NONE", "Active", kOnOff, kActive, kCrossFade, false, 1, 0, 1, true, 1.0f),
    global(19, "NONE", "Reload", kNone, kRaw, kCommand, false, 0, 0, 1, false, 0.0f),
};

struct SlotRow {
    const char* name;
    const char* shortName;
    ParamUnit unit;
    ParamConversion conversion;
    ParamChange change;
    double lo, hi;
};

constexpr SlotRow kSlots[kSlotsPerPerson] = {
    {"Pitch Shift %i", "Shift %i", kHertz, kPitchShift, kStep, -kPitchShiftSpan / 2, kPitchShiftSpan / 2},
    {"Pitch M. Gain %i", "PMGain %i", kPercent, kPitchModGain, kStep, 0, 100},
    {"Pitch M. Speed %i", "PMRate %i", kHertz, kPitchModSpeed, kStep, 0.2, 2.8},
    {"Delay Time %i", "Delay %i", kMilliseconds, kDelayTime, kVoiceFade, 0,
     1000.0 * kDelaySpanSamples / kReferenceRate},
    {"Delay M. Gain %i", "DMGain %i", kPercent, kDelayModGain, kGlide, 0, 100},
    {"Delay M. Speed %i", "DMRate %i", kHertz, kDelayModSpeed, kGlide, 0.1, 2.1},
    {"Pan %i", "Pan %i", kPercent, kPan, kGlide, -100, 100},
    {"Gain %i", "Gain %i", kDecibels, kGain, kGlide, -20, -6.0206},
    {nullptr, nullptr, kNone, kRaw, kStored, 0, 1},
    {nullptr, nullptr, kNone, kRaw, kStored, 0, 1},
    {nullptr, nullptr, kNone, kRaw, kStored, 0, 1},
    {nullptr, nullptr, kNone, kRaw, kStored, 0, 1},
};

consteval std::array<ParameterRow, kNumParams> makeRows() {
    std::array<ParameterRow, kNumParams> rows{};
    for (int i = 0; i < kFirstPersonIndex; ++i) {
        rows[static_cast<std::size_t>(i)] = kGlobals[i];
    }
    for (int i = kFirstPersonIndex; i < kNumParams; ++i) {
        const int person = (i - kFirstPersonIndex) / kSlotsPerPerson;
        const int slot = (i - kFirstPersonIndex) % kSlotsPerPerson;
        const SlotRow& s = kSlots[slot];
        rows[static_cast<std::size_t>(i)] = {i,
                                             s.name,
                                             s.shortName,
                                             person,
                                             slot,
                                             s.unit,
                                             s.conversion,
                                             s.change,
                                             s.name != nullptr,
                                             0,
                                             s.lo,
                                             s.hi,
                                             slot < kNamedSlots,
                                             slot < kNamedSlots ? 0.5f : 0.0f};
    }
    return rows;
}

}  // namespace param

class ParameterTable {
  public:
    static constexpr std::array<ParameterRow, kNumParams> kRows = param::makeRows();

    // Index 0 .. 738; anything else gets the row of a stored-only value.
    static const ParameterRow& row(int index);
    static constexpr bool valid(int index) { return index >= 0 && index < kNumParams; }

    // The host name, exactly as hosts have always been told: "NONE" for an unnamed global or an
    // index out of range, and nothing written (false) for a person's unnamed slots.
    static bool name(int index, char* text, std::size_t capacity);
    static bool shortName(int index, char* text, std::size_t capacity);
    static const char* unitText(int index);

    // The stored value in the row's unit, and back (clamped into 0..1).
    static double toPlain(int index, float value);
    static float fromPlain(int index, double plain);

    // The value as text in its unit ("+80.0 Hz", "250 ms", "40 people", "on"); a shorter form
    // when the buffer holds fewer than 16 bytes. Always terminated within `capacity`.
    static void display(int index, float value, char* text, std::size_t capacity);
    // A text as a value: a number with or without its unit, "on"/"off", "L 40", a step's name;
    // or a plain 0..1 value written as "=0.25". False when the text means nothing for the row.
    static bool parse(int index, const char* text, float& value);
};
