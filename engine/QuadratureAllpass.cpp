#include "engine/QuadratureAllpass.h"

#include "engine/SampleRate.h"

namespace {
constexpr double kPoleBase[QuadratureAllpass::kSections] = {
    0.3609, 2.7412, 11.1573, 44.7581, 179.6242, 798.4578,     // chain A
    1.2524, 5.5671, 22.3423, 89.6271, 364.7914, 2770.1114,    // chain B
};
}

QuadratureAllpass::QuadratureAllpass() {
    const float period = ProcessSampleRate::reciprocal();
    for (int k = 0; k < kSections; ++k) {
        f_[k] = static_cast<float>(15.0 * kPoleBase[k]);
        float w = f_[k] * 6.2831855f;
        w = 1.0f / (1.0f / w);  // kept: the double reciprocal rounds like the original design
        const float p = w * 0.5f * period;
        const float a = (1.0f - p) / (p + 1.0f);
        c_[k] = -a;
    }
    reset();
}

void QuadratureAllpass::reset() {
    for (int k = 0; k < kSections; ++k) {
        x1_[k] = 0.0f;
        y1_[k] = 0.0f;
    }
}
