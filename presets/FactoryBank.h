// The factory bank: every program, or one, written from the generated tables.
#pragma once

#include "model/Program.h"

void loadFactoryBank(ProgramBank& bank);
void resetFactoryProgram(ProgramBank& bank, int program);
