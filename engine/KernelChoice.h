// Which build of a kernel runs is decided by timing each build on a scratch block once, when the
// module loads: the widest instruction set is not always the fastest (512-bit vectors executed
// in two halves lose to 256-bit ones), so only a measurement on the processor itself can tell.
// The same measurement runs on every platform, so Windows and Linux pick alike.
#pragma once

#include <chrono>

namespace kernel_choice {

// A later candidate must beat every earlier one by this factor to be chosen, so two builds
// that run alike do not swap from one load to the next.
constexpr double kMargin = 0.97;

// run(c) runs candidate c (0 .. count-1, at most 8) once on scratch state; supported(c) says
// whether this processor can run it at all. Candidates are timed in turn, `rounds` times
// interleaved, and each keeps its fastest round: interruptions only ever add time. Returns the
// candidate chosen; 0 (the baseline) must always be supported.
template <typename Supported, typename Run>
int fastest(int count, Supported&& supported, Run&& run, int rounds = 7) {
    double best[8];
    for (double& b : best) {
        b = 1e30;
    }
    count = count < 8 ? count : 8;
    for (int round = 0; round < rounds; ++round) {
        for (int c = 0; c < count; ++c) {
            if (!supported(c)) {
                continue;
            }
            const auto start = std::chrono::steady_clock::now();
            run(c);
            const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
