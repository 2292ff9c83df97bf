// Small measurements shared by the signal tests.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace zbtest {

// Power of one frequency over a block (Goertzel), normalised so a unit sine gives 0.25.
inline double tonePower(const float* x, std::size_t n, double frequency, double rate) {
    const double w = 2.0 * M_PI * frequency / rate;
    const double k = 2.0 * std::cos(w);
    double s1 = 0.0;
    double s2 = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double s = x[i] + k * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
    return power / (static_cast<double>(n) * static_cast<double>(n));
}

// Phase of one frequency over a block, radians.
inline double tonePhase(const float* x, std::size_t n, double frequency, double rate) {
    double re = 0.0;
    double im = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double a = 2.0 * M_PI * frequency * static_cast<double>(i) / rate;
        re += x[i] * std::cos(a);
        im -= x[i] * std::sin(a);
    }
    return std::atan2(im, re);
}

// 60 dB decay time from the energy of consecutive windows between two times, by a straight-line
// fit of their levels in dB.
inline double decayTime(const std::vector<float>& energy, double windowSeconds, double from, double to) {
    double sx = 0.0;
    double sy = 0.0;
    double sxx = 0.0;
    double sxy = 0.0;
    int count = 0;
    for (std::size_t w = 0; w < energy.size(); ++w) {
        const double t = (static_cast<double>(w) + 0.5) * windowSeconds;
        if (t < from || t > to || energy[w] <= 0.0f) {
            continue;
        }
        const double db = 10.0 * std::log10(energy[w]);
        sx += t;
        sy += db;
        sxx += t * t;
        sxy += t * db;
        ++count;
    }
    const double slope = (count * sxy - sx * sy) / (count * sxx - sx * sx);
    return -60.0 / slope;
}

}  // namespace zbtest
