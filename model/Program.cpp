#include <cstring>

#include "model/RuntimeRandom.h"
#include "model/ParameterTable.h"
#include "model/Program.h"

Program::Program() : people{}, name{} {
    for (int index = 0; index < kFirstPersonIndex; ++index) {
        value(index) = ParameterTable::row(index).defaultValue;
    }
    for (Individual& person : people) {
        float* slots = &person.parPitchShift;
        for (int slot = slotPitchShift; slot <= slotPan; ++slot) {
            slots[slot] = static_cast<float>(RuntimeRandom::next() & 32767) / 32768.0f;
        }
        person.parGain = ParameterTable::row(personIndex(0, slotGain)).defaultValue;
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
