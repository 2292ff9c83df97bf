// The VST 3 process call neither allocates nor locks: sample-accurate points, bypass, output
// changes after a program switch. Every heap entry and mutex lock of this program (the bundle
// included: it takes them from the C library) is counted while counting is on.

#include <atomic>

#include "Vst3Fixture.h"
#include "tests/support/CountingAllocator.h"

namespace {

using namespace v3;

TEST(Vst3Realtime, ProcessNeitherAllocatesNorLocks) {
    auto m = loadBundle();
    ASSERT_NE(m, nullptr);
    sh::Instance plugin(*m, 48000.0, 1024);
    const auto params = plugin.parameters();
    // The host's own lists, made before counting: their queues exist and have room.
    std::vector<sh::Changes> inputs(8);
    for (std::size_t b = 0; b < inputs.size(); ++b) {
        for (int at = 0; at < 1024; at += 32) {
            inputs[b].add(static_cast<std::uint32_t>(12 + (at / 32) % 6), at, (at % 7) / 7.0);
        }
        inputs[b].add(kBypassId, 500, b % 2 == 0 ? 1.0 : 0.0);
    }
    sh::Changes outputs;
    for (const auto& p : params) {
        outputs.add(p.id, 0, 0.0);
    }
    for (auto& q : outputs.queues) {
        q->points.clear();
        q->points.reserve(16);
    }
    Stereo in(1024), out(1024);
    unsigned seed = 3;
    noise(in, seed);
    plugin.process(in.ptr(), out.ptr(), 1024, &inputs[0], &outputs);

    plugin.set(kProgramId, 9.0f / 23.0f);  // so the counted calls also report a program's values
    allocations = 0;
    locks = 0;
    double reportedProgram = -1.0;
    counting = true;
    for (int b = 0; b < 64; ++b) {
        for (auto& q : outputs.queues) {
            q->points.clear();
        }
        plugin.process(in.ptr(), out.ptr(), b % 3 == 0 ? 1024 : 1 + b * 7, &inputs[b % 8], &outputs);
        double program = 0.0;
        if (outputs.last(kProgramId, program)) {
            reportedProgram = program;
        }
    }
    counting = false;
    EXPECT_EQ(reportedProgram, 9.0 / 23.0);
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_EQ(locks.load(), 0);

    // The counters do see the bundle: saving the state allocates and locks, on the control side.
    counting = true;
    const std::size_t saved = plugin.getState().size();
    counting = false;
    EXPECT_GT(saved, 0u);
    EXPECT_GT(allocations.load(), 0);
    EXPECT_GT(locks.load(), 0);
}

}  // namespace
