#include "engine/VoiceLanes.h"

// The wide vector helpers are internal to this file, so how they are passed matters to no one.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wpsabi"
#endif

#include <immintrin.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "engine/KernelChoice.h"
#include "engine/TargetBuilds.h"

namespace {

typedef float Floats __attribute__((vector_size(32)));
typedef int Ints __attribute__((vector_size(32)));

constexpr int kGroup = 8;
constexpr int kChunk = 8;  // frames per pair of passes (VoiceLanesKernel.inc)

// One group's copy of every lane field, a vector each.
template <typename T>
using LaneVector = std::conditional_t<std::is_same_v<T, int>, Ints, Floats>;
struct Group {
#define ZB_GROUP_FIELD(type, lane, record, moves) LaneVector<type> lane;
    ZB_VOICE_LANES(ZB_GROUP_FIELD)
#undef ZB_GROUP_FIELD
};

// Adds a group's outputs to the eight lane sums of a frame.
inline void addToLanes(float* sums, const Floats& out) {
    Floats total;
    std::memcpy(&total, sums, sizeof total);
    total += out;
    std::memcpy(sums, &total, sizeof total);
}

}  // namespace

// The glides' targets stay in the records; every other field travels.
#define ZB_FIELD_SIZE(type, lane, record, moves) +sizeof(type)
static_assert(sizeof(VoiceState) == 0 ZB_VOICE_LANES(ZB_FIELD_SIZE) + 4 * sizeof(float),
              "a VoiceState field is missing from ZB_VOICE_LANES");
#undef ZB_FIELD_SIZE

void VoiceLanes::load(const VoiceState* voices, int count) {
    // Padding lanes copy the last record: a constructed VoiceState would draw a random phase.
    for (int v = 0; v < kLanes; ++v) {
        const VoiceState& s = voices[v < count ? v : count - 1];
#define ZB_LOAD_LANE(type, lane, record, moves) lane[v] = s.record;
        ZB_VOICE_LANES(ZB_LOAD_LANE)
#undef ZB_LOAD_LANE
    }
}

// Fields the kernel never changes go back unchanged: nothing changes a record while the lanes
// are ahead of it.
void VoiceLanes::store(VoiceState* voices, int count) const {
    for (int v = 0; v < count && v < kLanes; ++v) {
        VoiceState& s = voices[v];
#define ZB_STORE_LANE(type, lane, record, moves) s.record = lane[v];
        ZB_VOICE_LANES(ZB_STORE_LANE)
#undef ZB_STORE_LANE
    }
}

// Baseline build, and AVX2 and AVX-512 builds chosen at run time; all compute the same numbers
// (no FMA).
#define ZB_KERNEL renderGeneric
#define ZB_AVX2 0
#define ZB_AVX512 0
#include "engine/VoiceLanesKernel.inc"
#undef ZB_KERNEL
#undef ZB_AVX2

ZB_BEGIN_AVX2
#define ZB_KERNEL renderAvx2
#define ZB_AVX2 1
#include "engine/VoiceLanesKernel.inc"
#undef ZB_KERNEL
#undef ZB_AVX2
ZB_END_TARGET

ZB_BEGIN_AVX512
#if !defined(__clang__)
// GCC 12's AVX-512 headers start some results from a deliberately undefined vector.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
namespace sixteen {
// Groups of sixteen voices; lanes i and i + 8 of a group go to lane sum i in that order, so every
// lane sum adds its voices in the same order as the eight-wide code.
typedef float Floats __attribute__((vector_size(64)));
typedef int Ints __attribute__((vector_size(64)));
constexpr int kGroup = 16;
constexpr int kChunk = 8;

template <typename T>
using LaneVector = std::conditional_t<std::is_same_v<T, int>, Ints, Floats>;
struct Group {
#define ZB_GROUP_FIELD(type, lane, record, moves) LaneVector<type> lane;
    ZB_VOICE_LANES(ZB_GROUP_FIELD)
#undef ZB_GROUP_FIELD
};

inline void addToLanes(float* sums, const Floats& out) {
    ::Floats total;
    ::Floats low;
    ::Floats high;
    std::memcpy(&total, sums, sizeof total);
    std::memcpy(&low, &out, sizeof low);
    std::memcpy(&high, reinterpret_cast<const float*>(&out) + 8, sizeof high);
    total += low;
    total += high;
    std::memcpy(sums, &total, sizeof total);
}

#define ZB_KERNEL renderAvx512
#define ZB_AVX2 0
#undef ZB_AVX512
#define ZB_AVX512 1
#include "engine/VoiceLanesKernel.inc"
#undef ZB_KERNEL
#undef ZB_AVX2
#undef ZB_AVX512
}  // namespace sixteen
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
ZB_END_TARGET

namespace {
// Asked afresh each time rather than kept in a static: the measurement may run during another
// file's static initialisation, before this file's statics are set.
bool supported(VoiceCode c) {
    __builtin_cpu_init();  // may run before the run-time library's own initialisation
    const bool avx2 = __builtin_cpu_supports("avx2") != 0;
    return c == VoiceCode::baseline || (c == VoiceCode::avx2 && avx2) ||
           (c == VoiceCode::avx512 && avx2 && __builtin_cpu_supports("avx512f") != 0);
}

void renderWith(VoiceCode code, VoiceLanes& lanes, int population, bool solo, int selected, const float* ring,
                int ringMask, int write, int frames, float shiftAll, int rampFrames);

// A build of the kernel and the stack offset it runs at. Where the compiler does not realign the
// stack beyond 16 bytes (Windows), a wide build's spills fall wherever the caller left the stack
// pointer within a cache line, and split vectors cost the widest build a third of its speed; a
// fixed offset keeps each build as fast as it measured. Elsewhere the four offsets run alike.
struct Choice {
    VoiceCode code;
    int phase;  // 0..3: the stack pointer's place in a cache line, in steps of 16 bytes
};
constexpr int kPhases = 4;
constexpr int kCandidates = 1 + 2 * kPhases;  // the baseline, then AVX2 and AVX-512 at each offset
constexpr Choice candidate(int c) {
    return c == 0 ? Choice{VoiceCode::baseline, 0}
                  : Choice{c <= kPhases ? VoiceCode::avx2 : VoiceCode::avx512, (c - 1) % kPhases};
}

__attribute__((noinline)) void renderAt(Choice choice, VoiceLanes& lanes, int population, bool solo,
                                        int selected, const float* ring, int ringMask, int write, int frames,
                                        float shiftAll, int rampFrames) {
    alignas(16) char here[16];
    const std::size_t shift =
        (reinterpret_cast<std::uintptr_t>(here) + 16u * static_cast<unsigned>(choice.phase)) & 48u;
    char* room = static_cast<char*>(__builtin_alloca(shift));
    __asm__ volatile("" : : "r"(room), "r"(here) : "memory");  // the room stays below the call
    renderWith(choice.code, lanes, population, solo, selected, ring, ringMask, write, frames, shiftAll,
               rampFrames);
}

struct Measured {
    Choice fastest;
    int phase[3] = {0, 0, 0};  // each build's best offset
};

// A crowd of 59 audible voices with delays across a small ring, as the render loop runs it.
Measured measureFastest() {
    constexpr int kScratchRing = 4096;
    constexpr int kVoices = 59;
    auto lanes = std::make_unique<VoiceLanes>();
    std::vector<float> ring(static_cast<std::size_t>(kScratchRing + 2) * kRingFrame);
    for (std::size_t i = 0; i < ring.size(); ++i) {
        ring[i] = static_cast<float>(static_cast<int>(i * 7919u % 2001u) - 1000) * 1e-3f;
    }
    for (int v = 0; v < VoiceLanes::kLanes; ++v) {
        const float phase = 0.1f * static_cast<float>(v);
        lanes->delayModSin[v] = lanes->pitchModSin[v] = lanes->shiftSin[v] = phase;
        lanes->delayModCos[v] = lanes->pitchModCos[v] = lanes->shiftCos[v] = 1.0f - phase * phase * 0.5f;
        lanes->delayModCoefficient[v] = 1e-4f;
        lanes->pitchModCoefficient[v] = 2e-4f;
        lanes->shiftCoefficient[v] = 1e-3f;
        lanes->delayModDepth[v] = 40.0f;
        lanes->pitchModDepth[v] = 1e-4f;
        lanes->gain[v] = 0.5f;
        lanes->panGain0[v] = lanes->panGain1[v] = 0.7f;
        lanes->fadeValue[v] = 1.0f;
        lanes->currentDelay[v] = lanes->pendingDelay[v] = 100 + 61 * v;
    }
    int write = 0;
    auto run = [&](int c) {
        renderAt(candidate(c), *lanes, kVoices, false, 0, ring.data(), kScratchRing - 1, write,
                 VoiceLanes::kMaxFrames, 0.0f, 0);
        write = (write + VoiceLanes::kMaxFrames) & (kScratchRing - 1);
    };
    const auto can = [](int c) { return supported(candidate(c).code); };
    Measured measured;
    measured.fastest = candidate(kernel_choice::fastest(kCandidates, can, run));
    // Each wide build's own best offset, for tests and benchmarks that ask for that build.
    for (const VoiceCode wide : {VoiceCode::avx2, VoiceCode::avx512}) {
        const int first = wide == VoiceCode::avx2 ? 1 : 1 + kPhases;
        const auto only = [&](int c) {
            return supported(wide) && (c == 0 || c >= first) && c < first + kPhases;
        };
        const int best = kernel_choice::fastest(kCandidates, only, run, 9);
        measured.phase[static_cast<int>(wide)] = best == 0 ? 0 : candidate(best).phase;
    }
    return measured;
}

// Measured on first use, which may come from another file's static initialisation.
const Measured& measured() {
    static const Measured result = measureFastest();
    return result;
}
std::atomic<int> current{static_cast<int>(measured().fastest.code) * kPhases + measured().fastest.phase};

void choose(Choice choice) {
    current.store(static_cast<int>(choice.code) * kPhases + choice.phase, std::memory_order_relaxed);
}
}  // namespace

VoiceCode measuredVoiceCode() {
    return measured().fastest.code;
}

void setVoiceLanesWide(bool wide) {
    choose(wide ? measured().fastest : Choice{VoiceCode::baseline, 0});
}

bool setVoiceLanesCode(VoiceCode chosen) {
    if (!supported(chosen)) {
        return false;
    }
    choose(Choice{chosen, measured().phase[static_cast<int>(chosen)]});
    return true;
}

void renderVoiceLanes(VoiceLanes& lanes, int population, bool solo, int selected, const float* ring,
                      int ringMask, int write, int frames, float shiftAll, int rampFrames) {
    const int packed = current.load(std::memory_order_relaxed);
    renderAt(Choice{static_cast<VoiceCode>(packed / kPhases), packed % kPhases}, lanes, population, solo,
             selected, ring, ringMask, write, frames, shiftAll, rampFrames);
}

namespace {
void renderWith(VoiceCode code, VoiceLanes& lanes, int population, bool solo, int selected, const float* ring,
                int ringMask, int write, int frames, float shiftAll, int rampFrames) {
    switch (code) {
        case VoiceCode::avx512: {
            // A last group of at most eight voices costs half as much in the AVX2 build.
            const int sixteens = population / 16 * 16;
            const int rest = population - sixteens;
            const int wide = rest > 0 && rest <= 8 ? sixteens : population;
            if (wide > 0) {
                sixteen::renderAvx512(lanes, wide, solo, selected, ring, ringMask, write, frames, shiftAll,
                                      rampFrames, 0);
            }
            if (wide < population) {
                renderAvx2(lanes, population, solo, selected, ring, ringMask, write, frames, shiftAll,
                           rampFrames, wide);
            }
            break;
        }
        case VoiceCode::avx2:
            renderAvx2(lanes, population, solo, selected, ring, ringMask, write, frames, shiftAll, rampFrames,
                       0);
            break;
        default:
            renderGeneric(lanes, population, solo, selected, ring, ringMask, write, frames, shiftAll,
                          rampFrames, 0);
            break;
    }
}
}  // namespace
