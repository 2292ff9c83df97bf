// One Schroeder allpass section of the spread chain, its delay line in a guarded block.
#pragma once

#include "engine/GuardedBlock.h"
#include "engine/Numeric.h"

class DelayAllpass {
  public:
    static constexpr int kInitialLength = 8192;

    DelayAllpass() : buffer_("bufsize", kInitialLength + 2) {}

    void setGain(float g) { gain_ = g; }

    // Room for lines up to `capacity` samples; the line is cleared. Allocates: control side only.
    void reserve(int capacity) {
        if (capacity + 2 > buffer_.samples()) {
            buffer_.allocate("bufsize", capacity + 2);
        }
        length_ = length_ < capacity ? length_ : capacity;
        position_ = 1;
        clear();
    }

    // Within the reserved room, so it never allocates; a longer line is cut to the room.
    void resize(int length) {
        const int room = buffer_.samples() - 2;
        length_ = length < room ? length : room;
        position_ = 1;
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
        return y + zb::kAntiDenormal;
    }

    // step() over n samples in place. Between wraps every position is read and then written
    // exactly once, so a stretch runs as one loop with the same arithmetic per sample.
    void run(float* __restrict x, int n) {
        int done = 0;
        while (done < n) {
            const int room = length_ - position_;
            if (room <= 0) {
                x[done] = step(x[done]);
                ++done;
                continue;
            }
            const int stretch = n - done < room ? n - done : room;
            float* __restrict line = buffer_.data() + position_;
            float* __restrict v = x + done;
            const float g = gain_;
            // The last output is recomputed from its inputs rather than split off the loop, so
            // the whole stretch runs in vectors with no scalar tail (a 16-frame run had seven).
            const float lastLine = line[stretch - 1];
            const float lastInput = v[stretch - 1];
            for (int i = 0; i < stretch; ++i) {
                const float y = line[i] - g * v[i];
                line[i] = v[i] + g * y;
                v[i] = y + zb::kAntiDenormal;
            }
            lastOutput_ = lastLine - g * lastInput;
            position_ += stretch;
            if (position_ >= length_) {
                position_ = 0;
            }
            done += stretch;
        }
    }

    // For running several sections in one pass: how many samples a run can take before the
    // position wraps, where it starts, and how the section stands after a run of n such samples
    // whose last y was lastOutput.
    int room() const { return length_ - position_; }
    float* line() { return buffer_.data() + position_; }
    void advance(int n, float lastOutput) {
        position_ += n;
        if (position_ >= length_) {
            position_ = 0;
        }
        lastOutput_ = lastOutput;
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
