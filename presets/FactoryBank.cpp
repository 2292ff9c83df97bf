#include "presets/FactoryBank.h"

#include "presets/Presets.h"

void loadFactoryBank(ProgramBank& bank) {
    bank.version = kBankVersion;
    for (int n = 0; n < kNumPrograms; ++n) {
        kFactoryPresets[n](bank.programs[n]);
    }
}

void resetFactoryProgram(ProgramBank& bank, int program) {
    bank.version = kBankVersion;
    if (program >= 0 && program < kNumPrograms) {
        kFactoryPresets[program](bank.programs[program]);
    }
}
