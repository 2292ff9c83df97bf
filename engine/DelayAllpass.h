// One Schroeder allpass section of the spread chain, its delay line in a guarded block.
#pragma once

#include "engine/GuardedBlock.h"

class DelayAllpass {
public:
    static constexpr int kInitialLength = 8192;

    DelayAllpass() : buffer_("bufsize", kInitialLength + 2) {}

    void setGain(float g) { gain_ = g; }

    // The new line is allocated before the old one is released, then cleared.
    void resize(int length) {
        length_ = length;
        position_ = 1;
        buffer_.allocate("bufsize", length + 2);
        clear();
    }

    void clear() {
        for (int i = 0; i <= length_; ++i) {
            buffer_[i] = 0.0f;
        }
        lastOutput_ = 0.0f;
    }

    float step(float x) {
        const float y = buffer_[position_] - gain_ * x;
        buffer_[position_] = x + gain_ * y;
        if (++position_ >= length_) {
            position_ = 0;
        }
        lastOutput_ = y;
        return y + 1e-20f;
    }

    float gain() const { return gain_; }
    int length() const { return length_; }
    int position() const { return position_; }
    float lastOutput() const { return lastOutput_; }

private:
    float gain_ = 0.0f;
    int length_ = kInitialLength;
    GuardedBlock buffer_;
    int position_ = 1;
    float lastOutput_ = 0.0f;
};
