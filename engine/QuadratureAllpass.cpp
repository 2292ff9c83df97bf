#include "engine/QuadratureAllpass.h"

#include <cstring>

#include "engine/Numeric.h"

namespace {
constexpr double kPoleBase[QuadratureAllpass::kSections] = {
    0.3609, 2.7412, 11.1573, 44.7581, 179.6242, 798.4578,   // chain A
    1.2524, 5.5671, 22.3423, 89.6271, 364.7914, 2770.1114,  // chain B
};
}

QuadratureAllpass::QuadratureAllpass(float sampleRate) {
    setSampleRate(sampleRate);
    reset();
}

void QuadratureAllpass::setSampleRate(float sampleRate) {
    const float period = 1.0f / sampleRate;
    for (int k = 0; k < kSections; ++k) {
        f_[k] = static_cast<float>(15.0 * kPoleBase[k]);
        float w = f_[k] * zb::kTwoPi;
        w = 1.0f / (1.0f / w);  // kept: the double reciprocal rounds like the original design
        const float p = w * 0.5f * period;
        const float a = (1.0f - p) / (p + 1.0f);
        c_[k] = -a;
    }
}

void QuadratureAllpass::reset() {
    for (int k = 0; k < kSections; ++k) {
        x1_[k] = 0.0f;
        y1_[k] = 0.0f;
    }
}

void QuadratureAllpass::runPair(QuadratureAllpass& left, QuadratureAllpass& right, const float* x0,
                                const float* x1, float* frames, int n) {
    typedef float Four __attribute__((vector_size(16)));
    constexpr int kChain = kSections / 2;
    // Lanes: chain A of the left channel, chain B of the left, then the same for the right.
    Four c[kChain];
    Four xPrev[kChain];
    Four yPrev[kChain];
    for (int k = 0; k < kChain; ++k) {
        c[k] = Four{left.c_[k], left.c_[k + kChain], right.c_[k], right.c_[k + kChain]};
        xPrev[k] = Four{left.x1_[k], left.x1_[k + kChain], right.x1_[k], right.x1_[k + kChain]};
        yPrev[k] = Four{left.y1_[k], left.y1_[k + kChain], right.y1_[k], right.y1_[k + kChain]};
    }
    for (int j = 0; j < n; ++j) {
        Four v = Four{x0[j], x0[j], x1[j], x1[j]};
        for (int k = 0; k < kChain; ++k) {
            const Four y = c[k] * (v - yPrev[k]) + xPrev[k];
            xPrev[k] = v;
            yPrev[k] = y;
            v = y;
        }
        std::memcpy(frames + 4 * j, &v, sizeof v);
    }
    for (int k = 0; k < kChain; ++k) {
        left.x1_[k] = xPrev[k][0];
        left.x1_[k + kChain] = xPrev[k][1];
        right.x1_[k] = xPrev[k][2];
        right.x1_[k + kChain] = xPrev[k][3];
        left.y1_[k] = yPrev[k][0];
        left.y1_[k + kChain] = yPrev[k][1];
        right.y1_[k] = yPrev[k][2];
        right.y1_[k + kChain] = yPrev[k][3];
    }
}
