// What the control side hands the audio thread: marked values, each with the program it was
// stored into and the staging it followed, and whole staged programs. The control side never
// waits; the audio side takes what has arrived at the start of a block or at a fade's bottom.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/ProgramHandover.h"
#include "model/Program.h"

class ControlInbox {
  public:
    explicit ControlInbox(const Program& initial);

    // ---- Control side ----
    std::uint32_t serial() const { return stageSerial_.load(std::memory_order_relaxed); }
    // The newest value of `index`, stored into `program` after staging `serial`.
    void mark(int index, std::uint32_t serial, int program, float value);
    // Forgets every mark (each is either in the copy about to be staged or belongs to another
    // program) and returns the staging's serial; publish() hands the copy over.
    std::uint32_t beginStaging();
    void publish(const Program& source, int number, std::uint32_t serial) {
        handover_.publish(source, number, serial);
    }

    // ---- Audio side ----
    // Takes the newest staged program, if one arrived since the last take.
    bool takeStaged() { return handover_.take(); }
    // Whether any mark arrived since the last call: one flag spares the scan of every mark.
    bool takeAnyMarked() {
        return anyMarked_.load(std::memory_order_relaxed) &&
               anyMarked_.exchange(false, std::memory_order_acquire);
    }
    // Takes a marked value into the applied program when it belongs there; true if it did.
    bool take(int index);
    // Before everything is applied at once: the marks of the applied program go into it.
    void foldIntoApplied();
    Program& applied() { return handover_.current(); }

    bool pending(int index) const { return marks_[index].load(std::memory_order_relaxed) != 0; }

  private:
    std::atomic<std::uint8_t> marks_[kNumParams];
    std::atomic<std::uint64_t> incoming_[kNumParams];
    ProgramHandover handover_;
    std::atomic<std::uint32_t> stageSerial_{0};
    std::atomic<bool> anyMarked_{false};  // set after any mark
};
