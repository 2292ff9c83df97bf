// Real-time safety: once prepared, the engine's process neither allocates nor locks a mutex,
// whatever changes: spread, program, chunk, rate, blocks longer than declared. Every heap entry
// and mutex lock of this test program is counted while counting is on.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "engine/CrowdEngine.h"
#include "plugin/EffectVST.h"
#include "tests/support/CountingAllocator.h"

namespace {

struct Counted {
    EffectVST plugin{nullptr, nullptr};
    CrowdEngine& engine = *plugin.engine();
    std::vector<float> left = std::vector<float>(8192, 0.1f);
    std::vector<float> right = std::vector<float>(8192, -0.1f);

    Counted() {
        plugin.setSampleRate(44100.0f);
        plugin.setBlockSize(512);
        plugin.resume();
    }

    // Allocations plus mutex locks made by `blocks` calls of process with `frames` frames.
    long process(int blocks, int frames) {
        float* io[2] = {left.data(), right.data()};
        allocations = 0;
        locks = 0;
        counting = true;
        for (int i = 0; i < blocks; ++i) {
            engine.process(io, io, 2, 2, frames);
        }
        counting = false;
        return allocations.load() + locks.load();
    }
};

}  // namespace

TEST(Allocation, NoneAndNoLockOnceRunningWhateverChanges) {
    Counted rig;
    rig.plugin.setParameter(parPopulationIndex, 1.0f);
    rig.plugin.setParameter(parAllpassSpreadIndex, 0.8f);
    rig.plugin.setParameter(parReverbWetIndex, 0.5f);
    rig.process(40, 512);
    EXPECT_EQ(rig.process(100, 512), 0);

    // Value conversions and glides.
    rig.plugin.setParameter(personIndex(5, slotDelayTime), 0.7f);
    rig.plugin.setParameter(personIndex(9, slotPitchShift), 0.2f);
    rig.plugin.setParameter(personIndex(9, slotGain), 0.1f);
    rig.plugin.setParameter(parGlobalWetIndex, 0.3f);
    rig.plugin.setParameter(parReverbSizeIndex, 0.9f);
    rig.engine.resetReverb();
    EXPECT_EQ(rig.process(40, 512), 0);

    // Every "Spread" value rebuilds its lines within the room reserved at resume.
    for (float spread : {0.3f, 1.0f, 0.0f, 0.55f}) {
        rig.plugin.setParameter(parAllpassSpreadIndex, spread);
        EXPECT_EQ(rig.process(30, 512), 0) << spread;
    }

    // Program changes, one and a storm of them.
    rig.plugin.setProgram(19);
    EXPECT_EQ(rig.process(30, 512), 0);
    for (int i = 0; i < 40; ++i) {
        rig.plugin.setProgram(i % 24);
        EXPECT_EQ(rig.process(1, 64), 0);
    }

    // A chunk load, bank and program.
    void* data = nullptr;
    const VstInt32 size = rig.plugin.getChunk(&data, false);
    std::vector<unsigned char> bank(static_cast<unsigned char*>(data),
                                    static_cast<unsigned char*>(data) + size);
    ASSERT_EQ(rig.plugin.setChunk(bank.data(), size, false), 1);
    EXPECT_EQ(rig.process(30, 512), 0);
    const VstInt32 programSize = rig.plugin.getChunk(&data, true);
    std::vector<unsigned char> one(static_cast<unsigned char*>(data),
                                   static_cast<unsigned char*>(data) + programSize);
    ASSERT_EQ(rig.plugin.setChunk(one.data(), programSize, true), 1);
    EXPECT_EQ(rig.process(30, 512), 0);

    // Blocks longer than the host declared are rendered in passes, not by growing buffers.
    EXPECT_EQ(rig.process(3, 8192), 0);
}

// A different rate is prepared at resume; processing at it allocates nothing either.
TEST(Allocation, NoneAtAnotherRatePreparedAtResume) {
    Counted rig;
    rig.plugin.suspend();
    rig.plugin.setSampleRate(192000.0f);
    rig.plugin.setBlockSize(256);
    rig.plugin.resume();
    rig.plugin.setParameter(parAllpassSpreadIndex, 1.0f);
    rig.plugin.setParameter(personIndex(0, slotDelayTime), 1.0f);
    EXPECT_EQ(rig.process(200, 256), 0);
}

// The counters themselves: a lock and an allocation made while counting are seen.
TEST(Allocation, CountersSeeLocksAndAllocations) {
    std::mutex mutex;
    allocations = 0;
    locks = 0;
    counting = true;
    mutex.lock();
    mutex.unlock();
    auto* value = new int(3);
    counting = false;
    delete value;
    EXPECT_EQ(locks.load(), 1);
    EXPECT_EQ(allocations.load(), 1);
}
