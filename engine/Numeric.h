// Small numeric helpers shared by the engine's conversions.
#pragma once

#include <atomic>
#include <cmath>

#include "model/ParameterTable.h"

namespace zb {

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

// Added where a recursion could decay into denormal numbers, which are slow on every processor.
constexpr float kAntiDenormal = 1e-20f;

// Parameter values are handed between threads by single 32-bit stores.
inline float loadShared(const float& value) {
    return std::atomic_ref<float>(const_cast<float&>(value)).load(std::memory_order_relaxed);
}

inline void storeShared(float& target, float value) {
    std::atomic_ref<float>(target).store(value, std::memory_order_relaxed);
}

}  // namespace zb
