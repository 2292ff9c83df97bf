// The persisted parameter records. Their bytes are the chunks hosts store, so the layout is
// fixed: flat float32 arrays, no padding, checked below.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kNumPrograms = 24;
constexpr int kNumParams = 739;     // host-visible indices 0 .. 738
constexpr int kNumValues = 740;     // stored values, the last one unreachable by index
constexpr int kNumPeople = 60;
constexpr int kSlotsPerPerson = 12;
constexpr int kFirstPersonIndex = 20;
constexpr int kProgramNameSize = 28;
constexpr std::uint16_t kBankVersion = 301;

// Global parameter indices.
enum ParameterIndex : int {
    parPopulationIndex = 0,
    parPersonSelectedIndex = 1,
    parGlobalWetIndex = 2,
    parGlobalDryIndex = 3,
    parRandLowerIndex = 4,
    parRandUpperIndex = 5,
    parSoloIndex = 6,
    parPresetActionIndex = 7,
    parPresetSelectIndex = 8,
    parPresetPrevIndex = 9,
    parPresetNextIndex = 10,
    parPresetNameIndex = 11,
    parAllpassSpreadIndex = 12,
    parPitchAllIndex = 13,
    parReverbWetIndex = 14,
    parReverbSizeIndex = 15,
    parReverbHighCutIndex = 16,
    parReverbLowCutIndex = 17,
    parActiveIndex = 18,
    parPresetReloadIndex = 19,
};

// Slots of one person.
enum PersonSlot : int {
    slotPitchShift = 0,
    slotPitchModGain = 1,
    slotPitchModSpeed = 2,
    slotDelayTime = 3,
    slotDelayModGain = 4,
    slotDelayModSpeed = 5,
    slotPan = 6,
    slotGain = 7,
    slot00 = 8,
};

constexpr int personIndex(int person, int slot) { return kFirstPersonIndex + kSlotsPerPerson * person + slot; }

struct Individual {
    float parPitchShift;
    float parPitchModGain;
    float parPitchModSpeed;
    float parDelayTime;
    float parDelayModGain;
    float parDelayModSpeed;
    float parPan;
    float parGain;
    float par00;
    float reserved[3];
};

struct Program {
    float parPopulation;
    float parPersonSelected;
    float parGlobalWet;
    float parGlobalDry;
    float parRandLower;
    float parRandUpper;
    float parSolo;
    float parPresetAction;
    float parPresetSelect;
    float parPresetPrev;
    float parPresetNext;
    float parPresetName;
    float parAllpassSpread;
    float parPitchAll;
    float parReverbWet;
    float parReverbSize;
    float parReverbHighCut;
    float parReverbLowCut;
    float parActive;
    float parPresetReload;
    Individual people[kNumPeople];
    char name[kProgramNameSize];

    // A new program holds the construction defaults; person slots 0..6 come from the run-time
    // library's pseudo-random sequence, as every program ever stored was made that way.
    Program();

    // The front of the record is addressed as one array of values by parameter index.
    float* values() { return &parPopulation; }
    const float* values() const { return &parPopulation; }
    float& value(int index) { return values()[index]; }
    const float& value(int index) const { return values()[index]; }

    // Copies at most 27 characters and always terminates; the rest of the field is zeroed.
    void setName(const char* text);
};

struct ProgramBank {
    std::uint16_t version;
    std::uint16_t reserved;
    Program programs[kNumPrograms];

    ProgramBank();
};

static_assert(sizeof(Individual) == 48);
static_assert(sizeof(Program) == 2988);
static_assert(offsetof(Program, parPresetReload) == 76);
static_assert(offsetof(Program, people) == 80);
static_assert(offsetof(Program, people[59].reserved[2]) == 4 * 739);
static_assert(offsetof(Program, name) == 2960);
static_assert(offsetof(Individual, parGain) == 28);
static_assert(offsetof(Individual, par00) == 32);
static_assert(sizeof(ProgramBank) == 71716);
static_assert(offsetof(ProgramBank, programs) == 4);
static_assert(alignof(ProgramBank) == 4);
