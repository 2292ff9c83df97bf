// Real-time safety: the engine's process allocates nothing once running, except when a block is
// longer than any before and when "Spread" rebuilds its chains. Every heap entry of this test
// program is counted while counting is on.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "engine/CrowdEngine.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* area, std::size_t size);
void __libc_free(void* area);
}

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void note() {
    if (counting.load(std::memory_order_relaxed)) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
}
}  // namespace

extern "C" void* malloc(std::size_t size) {
    note();
    return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t count, std::size_t size) {
    note();
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* area, std::size_t size) {
    note();
    return __libc_realloc(area, size);
}
extern "C" void free(void* area) {
    __libc_free(area);
}

void* operator new(std::size_t size) {
    note();
    void* area = __libc_malloc(size == 0 ? 1 : size);
    if (area == nullptr) {
        throw std::bad_alloc();
    }
    return area;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* area) noexcept {
    __libc_free(area);
}
void operator delete[](void* area) noexcept {
    __libc_free(area);
}
void operator delete(void* area, std::size_t) noexcept {
    __libc_free(area);
}
void operator delete[](void* area, std::size_t) noexcept {
    __libc_free(area);
}

namespace {

struct Counted {
    std::unique_ptr<CrowdEngine> engine = std::make_unique<CrowdEngine>();
    std::vector<float> left = std::vector<float>(8192, 0.1f);
    std::vector<float> right = std::vector<float>(8192, -0.1f);

    // Allocations made by `blocks` calls of process with `frames` frames.
    long process(int blocks, int frames) {
        float* io[2] = {left.data(), right.data()};
        allocations = 0;
        counting = true;
        for (int i = 0; i < blocks; ++i) {
            engine->process(io, io, 2, 2, frames);
        }
        counting = false;
        return allocations.load();
    }
};

}  // namespace

TEST(Allocation, NoneOnceRunningExceptGrowthAndSpread) {
    Counted rig;
    rig.engine->setupProgram(0, 44100.0f);
    rig.engine->markParameter(parPopulationIndex, 1.0f);
    rig.engine->markParameter(parAllpassSpreadIndex, 0.8f);
    rig.engine->markParameter(parReverbWetIndex, 0.5f);
    rig.process(40, 512);

    EXPECT_EQ(rig.process(100, 512), 0);

    // Parameter changes that only convert values, and a program or rate setup, allocate nothing.
    rig.engine->markParameter(personIndex(5, slotDelayTime), 0.7f);
    rig.engine->markParameter(personIndex(9, slotPitchShift), 0.2f);
    rig.engine->markParameter(parReverbSizeIndex, 0.9f);
    rig.engine->markParameter(parReverbHighCutIndex, 0.3f);
    rig.engine->setupProgram(0, 48000.0f);
    rig.engine->resetReverb();
    EXPECT_EQ(rig.process(40, 512), 0);

    // A block longer than any before grows the input copies; later ones reuse them.
    EXPECT_GT(rig.process(1, 4096), 0);
    EXPECT_EQ(rig.process(10, 4096), 0);

    // "Spread" rebuilds its sixteen lines at the fade bottom and once more after the fade.
    rig.engine->markParameter(parAllpassSpreadIndex, 0.3f);
    EXPECT_GT(rig.process(30, 512), 0);
    EXPECT_EQ(rig.process(30, 512), 0);
}
