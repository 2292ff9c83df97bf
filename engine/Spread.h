// The spread stage's chains: eight allpass sections per channel whose delays fall geometrically
// from the longest, set by the "Spread" value, with a deterministic scatter per section.
#pragma once

class ChaosRandom;
class DelayAllpass;

constexpr int kSpreadSections = 8;

// The sixteen lengths in samples (channel 0's eight first) for a value and rate. Reseeds the
// random state first, so the same value and rate always give the same lengths.
void computeSpreadLengths(ChaosRandom& random, float x, float sampleRate, int (&lengths)[2][kSpreadSections]);

// Gives every section room for its longest line at this rate (the value 1). Allocates.
void reserveSpread(DelayAllpass (&sections)[2][kSpreadSections], ChaosRandom& random, float sampleRate);

// Rebuilds every section for the value: gain, cleared line of its length, within the room
// reserved; allocates nothing.
void rebuildSpread(DelayAllpass (&sections)[2][kSpreadSections], ChaosRandom& random, float x,
                   float sampleRate);

// Runs one channel's chain over n samples in place, section after section (each section only
// reads its own past, so each can take the whole run in turn).
void runSpreadChain(DelayAllpass (&chain)[kSpreadSections], float* x, int n);

// Which build of the chain's run runs: 0 baseline x86-64, 1 AVX2, 2 AVX-512. All give the same
// bits; the one that timed fastest on scratch chains when the module loaded runs unless a test
// or benchmark sets another (false if the processor lacks it).
int measuredSpreadCode();
bool setSpreadCode(int code);
