// Small numeric helpers shared by the engine's conversions.
#pragma once

#include <atomic>
#include <cmath>

namespace zb {

// Float to int truncation that never leaves [lo, hi]: a NaN or infinite value coming from a host
// must not become an out-of-range index or count.
inline int saturatingTrunc(float x, int lo, int hi) {
    if (!(x >= static_cast<float>(lo))) {
        return lo;  // also NaN
    }
    if (x >= static_cast<float>(hi)) {
        return hi;
    }
    return static_cast<int>(x);
}

// A stored parameter value as the conversions use it: within [0, 1], NaN as 0. The stored value
// itself is left as sent.
inline float unitValue(float x) {
    if (!(x > 0.0f)) {
        return 0.0f;
    }
    return x < 1.0f ? x : 1.0f;
}

// Parameter values are handed between threads by single 32-bit stores.
inline float loadShared(const float& value) {
    return std::atomic_ref<float>(const_cast<float&>(value)).load(std::memory_order_relaxed);
}

inline void storeShared(float& target, float value) {
    std::atomic_ref<float>(target).store(value, std::memory_order_relaxed);
}

}  // namespace zb
