#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "model/ProgramBankOps.h"

namespace {

// An older layout: 'globals' floats, then 60 people of 12 floats, then the 28-byte name.
struct OlderLayout {
    int globals;
    int nameOffset;
};
constexpr OlderLayout kV1{16, 2944};
constexpr OlderLayout kV2{17, 2948};

float readFloat(const void* source, int floatIndex) {
    float value = 0.0f;
    std::memcpy(&value, static_cast<const unsigned char*>(source) + 4 * floatIndex, sizeof value);
    return value;
}

void upgradePeopleAndName(Program& destination, const void* source, OlderLayout layout) {
    for (int person = 0; person < kNumPeople; ++person) {
        for (int slot = 0; slot <= slotGain; ++slot) {
            destination.value(personIndex(person, slot)) =
                readFloat(source, layout.globals + kSlotsPerPerson * person + slot);
        }
    }
    char name[kProgramNameSize];
    std::memcpy(name, static_cast<const unsigned char*>(source) + layout.nameOffset, sizeof name);
    name[kProgramNameSize - 1] = 0;
    destination.setName(name[0] != 0 ? name : "Init");
}

}  // namespace

void upgradeProgramV1(Program& destination, const void* source) {
    const float population = readFloat(source, 0);
    destination.parPopulation = population * 0.016666668f;
    // The old selected value was a person count over the population; a zero or broken
    // population would make it a non-number, which neither the editor nor the engine can use.
    const float selected = population != 0.0f ? readFloat(source, 1) / population : 0.0f;
    destination.parPersonSelected = std::isfinite(selected) ? std::clamp(selected, 0.0f, 1.0f) : 0.0f;
    for (int index = 2; index <= 11; ++index) {
        destination.value(index) = readFloat(source, index);
    }
    destination.parAllpassSpread = 0.0f;
    destination.parPitchAll = 0.5f;
    destination.parActive = 1.0f;
    destination.parPresetReload = readFloat(source, 14);
    upgradePeopleAndName(destination, source, kV1);
}

void upgradeProgramV2(Program& destination, const void* source) {
    for (int index = 0; index <= 13; ++index) {
        destination.value(index) = readFloat(source, index);
    }
    destination.parReverbWet = 0.0f;
    destination.parReverbSize = 0.5f;
    destination.parReverbHighCut = 1.0f;
    destination.parReverbLowCut = 0.0f;
    destination.parActive = 1.0f;
    destination.parPresetReload = readFloat(source, 14);
    upgradePeopleAndName(destination, source, kV2);
}

bool restoreChunk(ProgramBank& bank, int program, const void* data, int size, bool isPreset) {
    if (data == nullptr || program < 0 || program >= kNumPrograms) {
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (isPreset) {
        Program& target = bank.programs[program];
        switch (size) {
            case static_cast<int>(sizeof(Program)):
                std::memmove(&target, bytes, sizeof(Program));  // a host may hand back our own pointer
                return true;
            case kProgramV2Size:
                upgradeProgramV2(target, bytes);
                return true;
            case kProgramV1Size:
                upgradeProgramV1(target, bytes);
                return true;
            default:
                return false;
        }
    }
    switch (size) {
        case static_cast<int>(sizeof(ProgramBank)):
            std::memmove(&bank, bytes, sizeof(ProgramBank));
            return true;
        case kBankHeaderSize + kNumPrograms* kProgramV2Size:
            for (int n = 0; n < kNumPrograms; ++n) {
                upgradeProgramV2(bank.programs[n], bytes + kBankHeaderSize + kProgramV2Size * n);
            }
            return true;
        case kBankHeaderSize + kNumPrograms* kProgramV1Size:
            for (int n = 0; n < kNumPrograms; ++n) {
                upgradeProgramV1(bank.programs[n], bytes + kBankHeaderSize + kProgramV1Size * n);
            }
            return true;
        default:
            return false;
    }
}

void copyProgramShared(Program& destination, const Program& source) {
    for (int index = 0; index < kNumValues; ++index) {
        const float value =
            std::atomic_ref<float>(const_cast<float&>(source.value(index))).load(std::memory_order_relaxed);
        std::atomic_ref<float>(destination.value(index)).store(value, std::memory_order_relaxed);
    }
    std::memcpy(destination.name, source.name, sizeof destination.name);
}
