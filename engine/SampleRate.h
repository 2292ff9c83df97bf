// One sample rate for the whole process: the last instance to set up a program sets it for all.
#pragma once

#include <atomic>

class ProcessSampleRate {
  public:
    static float rate() { return rate_.load(std::memory_order_relaxed); }
    static float reciprocal() { return reciprocal_.load(std::memory_order_relaxed); }
    static void set(float rate) {
        rate_.store(rate, std::memory_order_relaxed);
        reciprocal_.store(1.0f / rate, std::memory_order_relaxed);
    }

  private:
    static inline std::atomic<float> rate_{44100.0f};
    static inline std::atomic<float> reciprocal_{1.0f / 44100.0f};
};
