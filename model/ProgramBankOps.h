// Operations on the bank: chunk restore with the two older program layouts.
#pragma once

#include "model/Program.h"

constexpr int kProgramV1Size = 2972;
constexpr int kProgramV2Size = 2976;
constexpr int kBankHeaderSize = 4;

// Copies or upgrades a chunk over the bank or over one program, by size alone; false (and
// nothing changed) for any other size or for no data.
bool restoreChunk(ProgramBank& bank, int program, const void* data, int size, bool isPreset);

// Older layouts, read from raw bytes (a host's data need not be aligned).
void upgradeProgramV1(Program& destination, const void* source);
void upgradeProgramV2(Program& destination, const void* source);

// Copies a program value by value with single 32-bit loads and stores, as automation writes
// them, so either side may be automated meanwhile; the name is copied as bytes.
void copyProgramShared(Program& destination, const Program& source);
