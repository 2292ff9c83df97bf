// Two chains of first-order allpass sections whose outputs stay a quarter period apart over
// the audio band: the real and quadrature parts of the analytic signal.
#pragma once

#include "model/ParameterTable.h"

class QuadratureAllpass {
  public:
    static constexpr int kSections = 12;

    explicit QuadratureAllpass(float sampleRate = param::kReferenceRate);

    // New coefficients for the rate; the state is kept.
    void setSampleRate(float sampleRate);

    void reset();

    void step(float x, float& outA, float& outB) {
        float v = x;
        for (int k = 0; k < 6; ++k) {
            v = section(k, v);
        }
        outA = v;
        v = x;
        for (int k = 6; k < kSections; ++k) {
            v = section(k, v);
        }
        outB = v;
    }

    float coefficient(int section) const { return c_[section]; }

    // Both channels' analysers over n frames, the four chains side by side; writes the ring
    // frames [re 0, im 0, re 1, im 1] starting at `frames`. Each chain computes exactly what
    // step() computes.
    static void runPair(QuadratureAllpass& left, QuadratureAllpass& right, const float* x0, const float* x1,
                        float* frames, int n);

  private:
    float section(int k, float v) {
        const float y = c_[k] * (v - y1_[k]) + x1_[k];
        x1_[k] = v;
        y1_[k] = y;
        return y;
    }

    float f_[kSections];
    float c_[kSections];
    float x1_[kSections];
    float y1_[kSections];
};
