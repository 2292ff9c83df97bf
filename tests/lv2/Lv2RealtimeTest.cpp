// The LV2 plug-in's run neither allocates nor locks a mutex, whatever the ports do: every heap
// entry and mutex lock of this process (the plug-in's binary included) is counted while the host
// is inside run.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "Lv2TestHost.h"
#include "model/ParameterTable.h"
#include "tests/support/CountingAllocator.h"

namespace {

std::uint32_t portOf(int index) {
    std::uint32_t port = 4;
    for (int i = 0; i < index; ++i) {
        port += ParameterTable::row(i).automatable || i == parActiveIndex ? 1 : 0;
    }
    return port;
}

TEST(Lv2Realtime, RunNeitherAllocatesNorLocksWhateverThePortsDo) {
    // The counting sees the plug-in's calls: one made inside the window is counted.
    counting = true;
    void* volatile probe = std::malloc(16);  // volatile: kept, though never used
    counting = false;
    std::free(probe);
    ASSERT_EQ(allocations.exchange(0), 1);

    lv2t::World world;
    ASSERT_NE(world.plugin(), nullptr);
    lv2t::Instance lv2(world, 48000.0, 1024);
    ASSERT_TRUE(lv2);
    // ... and so are the plug-in binary's own: saving its state copies the bank under its lock.
    const LV2_State_Interface* state = lv2.stateInterface();
    ASSERT_NE(state, nullptr);
    counting = true;
    state->save(
        lilv_instance_get_handle(lv2.lilv()),
        [](LV2_State_Handle, uint32_t, const void*, size_t, uint32_t, uint32_t) { return LV2_STATE_SUCCESS; },
        nullptr, LV2_STATE_IS_POD, lv2.features());
    counting = false;
    EXPECT_GT(allocations.exchange(0), 0);
    EXPECT_GT(locks.exchange(0), 0);

    std::vector<const LilvNode*> presets = world.presets();
    ASSERT_EQ(presets.size(), 24u);
    std::vector<float> in(1024, 0.2f), l(1024), r(1024);
    const int moved[] = {
        parPopulationIndex,      parGlobalWetIndex,        parSoloIndex,   parAllpassSpreadIndex,
        parPitchAllIndex,        parReverbSizeIndex,       parActiveIndex, personIndex(0, slotDelayTime),
        personIndex(5, slotPan), personIndex(58, slotGain)};
    for (int block = 0; block < 400; ++block) {
        if (block % 50 == 0) {
            lv2.loadPreset(presets[static_cast<std::size_t>(block / 50)]);  // on the control side
        }
        for (const int index : moved) {
            lv2.port(portOf(index)) = static_cast<float>((block * 7 + index) % 11) / 10.0f;
        }
        const auto frames = static_cast<std::uint32_t>(1 + (block * 37) % 1024);
        counting = true;
        lv2.run(in.data(), in.data(), l.data(), r.data(), frames);
        counting = false;
        for (std::uint32_t i = 0; i < frames; ++i) {
            ASSERT_TRUE(std::isfinite(l[i]) && std::isfinite(r[i]));
        }
    }
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_EQ(locks.load(), 0);
}

}  // namespace
