#include "engine/Spread.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <type_traits>

#include "engine/ChaosRandom.h"
#include "engine/DelayAllpass.h"
#include "engine/KernelChoice.h"
#include "engine/Numeric.h"
#include "engine/PortableMath.h"
#include "engine/TargetBuilds.h"

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

namespace {

typedef float FourFrames __attribute__((vector_size(16)));
typedef float EightFrames __attribute__((vector_size(32)));

// The whole chain in one pass over the run, a vector of frames at a time through every section, when
// no section wraps within it (nearly always): the same arithmetic per sample as section after
// section, with one loop instead of eight, whose set-up dominated short host blocks. kWidth
// frames at a time: what the build's registers hold.
template <int kWidth>
inline __attribute__((always_inline)) void runChain(DelayAllpass (&chain)[kSpreadSections], float* x, int n) {
    for (const DelayAllpass& section : chain) {
        if (section.room() < n) {
            for (DelayAllpass& each : chain) {
                each.run(x, n);
            }
            return;
        }
    }
    float* line[kSpreadSections];
    float gain[kSpreadSections];
    float last[kSpreadSections];
    for (int s = 0; s < kSpreadSections; ++s) {
        line[s] = chain[s].line();
        gain[s] = chain[s].gain();
    }
    using Frames = std::conditional_t<kWidth == 4, FourFrames, EightFrames>;
    int j = 0;
    for (; j + kWidth <= n; j += kWidth) {
        Frames v;
        std::memcpy(&v, x + j, sizeof v);
        for (int s = 0; s < kSpreadSections; ++s) {
            Frames l;
            std::memcpy(&l, line[s] + j, sizeof l);
            const Frames y = l - gain[s] * v;
            const Frames written = v + gain[s] * y;
            std::memcpy(line[s] + j, &written, sizeof written);
            last[s] = y[kWidth - 1];
            v = y + zb::kAntiDenormal;
        }
        std::memcpy(x + j, &v, sizeof v);
    }
    for (; j < n; ++j) {
        float v = x[j];
        for (int s = 0; s < kSpreadSections; ++s) {
            const float y = line[s][j] - gain[s] * v;
            line[s][j] = v + gain[s] * y;
            last[s] = y;
            v = y + zb::kAntiDenormal;
        }
        x[j] = v;
    }
    for (int s = 0; s < kSpreadSections; ++s) {
        chain[s].advance(n, last[s]);
    }
}

// The chain's run for each instruction set; the pass is inlined into each.
void runChainBaseline(DelayAllpass (&chain)[kSpreadSections], float* x, int n) {
    runChain<4>(chain, x, n);
}

ZB_BEGIN_AVX2
void runChainAvx2(DelayAllpass (&chain)[kSpreadSections], float* x, int n) {
    runChain<8>(chain, x, n);
}
ZB_END_TARGET
ZB_BEGIN_AVX512
void runChainAvx512(DelayAllpass (&chain)[kSpreadSections], float* x, int n) {
    runChain<8>(chain, x, n);
}
ZB_END_TARGET

using ChainRun = void (*)(DelayAllpass (&)[kSpreadSections], float*, int);
constexpr ChainRun kChainRuns[3] = {runChainBaseline, runChainAvx2, runChainAvx512};

bool supportsCode(int code) {
    __builtin_cpu_init();  // may run before the run-time library's own initialisation
    return code == 0 || (code == 1 && __builtin_cpu_supports("avx2") != 0) ||
           (code == 2 && __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("avx512f") != 0);
}

// Both chains at the value 1 (the longest lines), over 64-frame runs.
int measureFastest() {
    ChaosRandom random;
    struct Chains {
        DelayAllpass sections[2][kSpreadSections];
    };
    auto chains = std::make_unique<Chains>();
    auto& sections = chains->sections;
    reserveSpread(sections, random, param::kReferenceRate);
    rebuildSpread(sections, random, 1.0f, param::kReferenceRate);
    float x[64];
    for (int j = 0; j < 64; ++j) {
        x[j] = static_cast<float>((j * 37) % 17 - 8) * 0.05f;
    }
    return kernel_choice::fastest(3, supportsCode, [&](int code) {
        kChainRuns[code](sections[0], x, 64);
        kChainRuns[code](sections[1], x, 64);
    });
}

const int kMeasuredCode = measuredSpreadCode();
std::atomic<int> spreadCode{kMeasuredCode};

}  // namespace

int measuredSpreadCode() {
    static const int measured = measureFastest();
    return measured;
}

bool setSpreadCode(int code) {
    if (code < 0 || code > 2 || !supportsCode(code)) {
        return false;
    }
    spreadCode.store(code, std::memory_order_relaxed);
    return true;
}

void runSpreadChain(DelayAllpass (&chain)[kSpreadSections], float* x, int n) {
    kChainRuns[spreadCode.load(std::memory_order_relaxed)](chain, x, n);
}
