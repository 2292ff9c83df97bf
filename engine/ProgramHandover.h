// A complete program handed from the control side to the audio thread: a triple buffer, so the
// writer never waits for the reader and the reader never sees a copy being written.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/Numeric.h"
#include "model/Program.h"

class ProgramHandover {
  public:
    explicit ProgramHandover(const Program& initial)
        : slots_{{initial, 0, 0}, {initial, 0, 0}, {initial, 0, 0}} {}

    // Control side, one writer at a time. The source may be automated meanwhile, so its values
    // are read one by one with the same single loads the audio side uses.
    void publish(const Program& source, int number, std::uint32_t serial) {
        Slot& slot = slots_[back_];
        for (int index = 0; index < kNumValues; ++index) {
            slot.program.value(index) = zb::loadShared(source.value(index));
        }
        slot.number = number;
        slot.serial = serial;
        back_ = middle_.exchange(back_ | kFresh, std::memory_order_acq_rel) & kIndexMask;
    }

    // Audio side: takes the newest published program, if there is one since the last take.
    bool take() {
        if ((middle_.load(std::memory_order_relaxed) & kFresh) == 0) {
            return false;
        }
        front_ = middle_.exchange(front_, std::memory_order_acq_rel) & kIndexMask;
        return true;
    }

    // The program the audio side applies; only the audio side touches it.
    Program& current() { return slots_[front_].program; }
    int currentNumber() const { return slots_[front_].number; }
    std::uint32_t currentSerial() const { return slots_[front_].serial; }

  private:
    static constexpr int kFresh = 4;
    static constexpr int kIndexMask = 3;
    struct Slot {
        Program program;
        int number;
        std::uint32_t serial;
    };
    Slot slots_[3];
    int back_ = 0;
    std::atomic<int> middle_{1};
    int front_ = 2;
};
