// Which build of a kernel runs is decided by timing each build on a scratch block once, when the
// module loads: the widest instruction set is not always the fastest (512-bit vectors executed
// in two halves lose to 256-bit ones), so only a measurement on the processor itself can tell.
// The same measurement runs on every platform, so Windows and Linux pick alike.
#pragma once

#include <atomic>
#include <chrono>

namespace kernel_choice {

// A later candidate must beat every earlier one by this factor to be chosen, so two builds
// that run alike do not swap from one load to the next.
constexpr double kMargin = 0.97;

// Warm-up before the first timing in a process: long enough for a core that was idle to reach
// its working clock.
constexpr double kWarmUpSeconds = 0.002;
inline std::atomic<bool> warmedUp{false};

// run(c) runs candidate c (0 .. count-1, at most 12) once on scratch state, for a few
// microseconds; supported(c) says whether this processor can run it at all. After a warm-up
// the candidates are timed in turn, `rounds` times interleaved, and each keeps its fastest
// round: a run that short is seldom interrupted, and interruptions only ever add time. Returns
// the candidate chosen; 0 (the baseline) must always be supported.
template <typename Supported, typename Run>
int fastest(int count, Supported&& supported, Run&& run, int rounds = 25) {
    using Clock = std::chrono::steady_clock;
    count = count < 12 ? count : 12;
    const bool warm = warmedUp.exchange(true);
    const auto warmUpEnd = Clock::now() + std::chrono::duration<double>(warm ? 0.0 : kWarmUpSeconds);
    do {
        for (int c = 0; c < count; ++c) {
            if (supported(c)) {
                run(c);
            }
        }
    } while (Clock::now() < warmUpEnd);
    double best[12];
    for (double& b : best) {
        b = 1e30;
    }
    for (int round = 0; round < rounds; ++round) {
        for (int c = 0; c < count; ++c) {
            if (!supported(c)) {
                continue;
            }
            const auto start = Clock::now();
            run(c);
            const double spent = std::chrono::duration<double>(Clock::now() - start).count();
            best[c] = spent < best[c] ? spent : best[c];
        }
    }
    int chosen = 0;
    for (int c = 1; c < count; ++c) {
        if (supported(c) && best[c] < best[chosen] * kMargin) {
            chosen = c;
        }
    }
    return chosen;
}

}  // namespace kernel_choice
