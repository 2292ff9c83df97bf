// Pictures of the editor at a scale, and the measures the scale tests compare them by.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "toolkit/CBitmap.h"

namespace scale_test {

inline double luma(std::uint32_t p) {
    return 0.299 * ((p >> 16) & 255) + 0.587 * ((p >> 8) & 255) + 0.114 * (p & 255);
}

// Mean squared difference of neighbouring pixels' luma: the energy of the picture's edges.
inline double edgeEnergy(const CBitmap& b) {
    double sum = 0.0;
    for (int y = 0; y + 1 < b.getHeight(); ++y)
        for (int x = 0; x + 1 < b.getWidth(); ++x) {
            double here = luma(b.pixel(x, y));
            double dx = luma(b.pixel(x + 1, y)) - here, dy = luma(b.pixel(x, y + 1)) - here;
            sum += dx * dx + dy * dy;
        }
    return sum / double(b.getWidth() - 1) / double(b.getHeight() - 1);
}

// `b` stretched `k` times with bilinear filtering, as a host scaling a small window would.
inline CBitmap stretched(const CBitmap& b, int k) {
    CBitmap out(b.getWidth() * k, b.getHeight() * k);
    for (int y = 0; y < out.getHeight(); ++y)
        for (int x = 0; x < out.getWidth(); ++x) {
            double sx = std::clamp((x + 0.5) / k - 0.5, 0.0, double(b.getWidth() - 1));
            double sy = std::clamp((y + 0.5) / k - 0.5, 0.0, double(b.getHeight() - 1));
            int x0 = int(sx), y0 = int(sy);
            int x1 = std::min(x0 + 1, b.getWidth() - 1), y1 = std::min(y0 + 1, b.getHeight() - 1);
            double fx = sx - x0, fy = sy - y0;
            std::uint32_t p = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                auto c = [&](int xx, int yy) { return double((b.pixel(xx, yy) >> shift) & 255); };
                double v = (c(x0, y0) * (1 - fx) + c(x1, y0) * fx) * (1 - fy) +
                           (c(x0, y1) * (1 - fx) + c(x1, y1) * fx) * fy;
                p |= std::uint32_t(std::lround(v)) << shift;
            }
            out.pixels()[std::size_t(y) * out.getWidth() + x] = p;
        }
    return out;
}

// Straight-alpha "over" of premultiplied pixels.
inline std::uint32_t over(std::uint32_t src, std::uint32_t dst) {
    std::uint32_t a = src >> 24, out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        std::uint32_t s = (src >> shift) & 255, d = (dst >> shift) & 255;
        out |= std::min<std::uint32_t>(255, s + (d * (255 - a) + 127) / 255) << shift;
    }
    return out;
}

// Largest and mean channel difference between two pixels lists.
struct Difference {
    int largest = 0;
    double mean = 0.0;
};
inline Difference difference(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    Difference d;
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8) {
            int v = std::abs(int((a[i] >> shift) & 255) - int((b[i] >> shift) & 255));
            d.largest = std::max(d.largest, v);
            sum += v;
        }
    d.mean = a.empty() ? 0.0 : sum / double(a.size()) / 3.0;
    return d;
}

}  // namespace scale_test
