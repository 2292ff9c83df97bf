// Deterministic float64 sequence (the fractional part of a squared state) from which the
// spread stage and the reverb draw their lengths, orders, phases and rates.
#pragma once

#include <cstdint>

class ChaosRandom {
  public:
    static constexpr double kStart = 19.19191919191919;

    void reseed(int steps) {
        state_ = kStart;
        for (int i = 0; i < steps; ++i) {
            draw();
        }
    }

    double draw() {
        const double s = state_ * state_;
        const double r = s - static_cast<double>(static_cast<std::int32_t>(s));
        state_ = r + 19.0;
        return r;
    }

    double state() const { return state_; }
    void setState(double state) { state_ = state; }

  private:
    double state_ = kStart;
};
