// The run-time library's 15-bit pseudo-random sequence, reproduced so program defaults and
// voice phases are the same on every platform: state 1 at load, never reseeded, one per thread.
#pragma once

#include <cstdint>

class RuntimeRandom {
  public:
    static int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 32767u);
    }

  private:
    static inline thread_local std::uint32_t state_ = 1;
};
