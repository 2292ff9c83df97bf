#include <cstring>

#include "model/RuntimeRandom.h"
#include "model/Program.h"

Program::Program()
    : parPopulation(0.5f),
      parPersonSelected(0.0f),
      parGlobalWet(0.5f),
      parGlobalDry(0.5f),
      parRandLower(0.0f),
      parRandUpper(1.0f),
      parSolo(0.0f),
      parPresetAction(0.0f),
      parPresetSelect(0.0f),
      parPresetPrev(0.0f),
      parPresetNext(0.0f),
      parPresetName(0.0f),
      parAllpassSpread(0.0f),
      parPitchAll(0.5f),
      parReverbWet(0.0f),
      parReverbSize(0.5f),
      parReverbHighCut(1.0f),
      parReverbLowCut(0.0f),
      parActive(1.0f),
      parPresetReload(0.0f),
      people{},
      name{} {
    for (Individual& person : people) {
        float* slots = &person.parPitchShift;
        for (int slot = slotPitchShift; slot <= slotPan; ++slot) {
            slots[slot] = static_cast<float>(RuntimeRandom::next() & 32767) / 32768.0f;
        }
        person.parGain = 0.5f;
    }
    setName("Init");
}

void Program::setName(const char* text) {
    std::size_t length = 0;
    while (length < kProgramNameSize - 1 && text[length] != 0) {
        ++length;
    }
    std::memset(name, 0, sizeof(name));
    std::memcpy(name, text, length);
}

ProgramBank::ProgramBank() : version(0), reserved(0) {}
