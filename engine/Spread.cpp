#include "engine/Spread.h"

#include <cmath>

#include "engine/ChaosRandom.h"
#include "engine/DelayAllpass.h"
#include "engine/Numeric.h"
#include "engine/PortableMath.h"

namespace {

constexpr float kSectionGain = 0.63f;
// A section needs at least two samples to advance its position; an absurd host rate must not
// overflow the count.
constexpr int kMinLength = 2;
constexpr int kMaxLength = 1 << 22;

// The first count from n upward with no divisor up to the root of the starting n.
int nextPrimeFrom(int n) {
    const int limit = static_cast<int>(std::sqrt(static_cast<float>(n)));
    for (int j = 2; j <= limit;) {
        if (n % j == 0) {
            ++n;
            j = 2;
        } else {
            ++j;
        }
    }
    return n;
}

}  // namespace

void computeSpreadLengths(ChaosRandom& random, float x, float sampleRate,
                          int (&lengths)[2][kSpreadSections]) {
    // The value is stored as given elsewhere; only lengths from [0, 1] are ever built.
    const float spread = x > 0.0f ? (x < 1.0f ? x : 1.0f) : 0.0f;
    const float longest = 300.0f * zb::powf(spread, 2.0f) + 1.0f;
    random.reseed(112);
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kSpreadSections; ++i) {
            const float r = static_cast<float>(random.draw());
            const float halfMicros =
                (longest / zb::powf(33.0f, static_cast<float>(i) * 0.125f)) * 2000.0f + r * 500.0f;
            const int n = nextPrimeFrom(static_cast<int>(halfMicros));
            const float samples = ((static_cast<float>(n) * 0.0005f) * 0.001f) * sampleRate;
            lengths[c][i] = zb::saturatingTrunc(samples, kMinLength, kMaxLength);
        }
    }
}

void reserveSpread(DelayAllpass (&sections)[2][kSpreadSections], ChaosRandom& random, float sampleRate) {
    // Each section's length grows with the value, so the value 1 gives every section's longest.
    int lengths[2][kSpreadSections];
    computeSpreadLengths(random, 1.0f, sampleRate, lengths);
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kSpreadSections; ++i) {
            sections[c][i].reserve(lengths[c][i]);
        }
    }
}

void rebuildSpread(DelayAllpass (&sections)[2][kSpreadSections], ChaosRandom& random, float x,
                   float sampleRate) {
    int lengths[2][kSpreadSections];
    computeSpreadLengths(random, x, sampleRate, lengths);
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kSpreadSections; ++i) {
            DelayAllpass& section = sections[c][i];
            section.setGain(kSectionGain);
            section.resize(lengths[c][i]);
            section.clear();
        }
    }
}

// PE has no ifunc to pick a clone with; Clang takes clones only on a function's first
// declaration. There the baseline build serves.
#if defined(__ELF__) && !defined(__clang__)
#define ZB_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ZB_AVX2_CLONES
#endif
ZB_AVX2_CLONES void runSpreadChain(DelayAllpass (&chain)[kSpreadSections], float* x, int n) {
    for (DelayAllpass& section : chain) {
        section.run(x, n);
    }
}
