// Float transcendental functions that give the same bits on every platform we ship: the float
// versions of glibc and of the Windows run-time round differently, while the double versions,
// rounded once to float, agree.
#pragma once

#include <cmath>

namespace zb {

inline float sinf(float x) {
    return static_cast<float>(std::sin(static_cast<double>(x)));
}
inline float cosf(float x) {
    return static_cast<float>(std::cos(static_cast<double>(x)));
}
inline float expf(float x) {
    return static_cast<float>(std::exp(static_cast<double>(x)));
}
inline float atanf(float x) {
    return static_cast<float>(std::atan(static_cast<double>(x)));
}
inline float powf(float x, float y) {
    return static_cast<float>(std::pow(static_cast<double>(x), static_cast<double>(y)));
}

}  // namespace zb
