#include "engine/ControlInbox.h"

#include <bit>

namespace {

// A marked value travels with the program it was stored into and the staging it followed.
constexpr std::uint32_t kSerialMask = 0xFFFFFFu;

std::uint64_t packIncoming(std::uint32_t serial, int program, float value) {
    return (static_cast<std::uint64_t>(serial & kSerialMask) << 40) |
           (static_cast<std::uint64_t>(program & 0xFF) << 32) | std::bit_cast<std::uint32_t>(value);
}

}  // namespace

ControlInbox::ControlInbox(const Program& initial) : handover_(initial) {
    for (auto& mark : marks_) {
        mark.store(0, std::memory_order_relaxed);
    }
    for (auto& value : incoming_) {
        value.store(0, std::memory_order_relaxed);
    }
}

void ControlInbox::mark(int index, std::uint32_t serial, int program, float value) {
    incoming_[index].store(packIncoming(serial, program, value), std::memory_order_relaxed);
    marks_[index].store(1, std::memory_order_release);
    anyMarked_.store(true, std::memory_order_release);
}

std::uint32_t ControlInbox::beginStaging() {
    for (auto& mark : marks_) {
        mark.store(0, std::memory_order_relaxed);
    }
    const std::uint32_t serial = stageSerial_.load(std::memory_order_relaxed) + 1;
    stageSerial_.store(serial, std::memory_order_relaxed);
    return serial;
}

// A value stored after a staging the audio side has not taken yet waits for it; one stored into
// a program no longer playing is dropped (its program keeps it).
bool ControlInbox::take(int index) {
    if (marks_[index].load(std::memory_order_relaxed) == 0) {
        return false;
    }
    // Cleared before the value is read, so a newer mark is never lost.
    marks_[index].exchange(0, std::memory_order_acquire);
    const std::uint64_t incoming = incoming_[index].load(std::memory_order_relaxed);
    const int program = static_cast<int>((incoming >> 32) & 0xFF);
    const std::uint32_t serial = static_cast<std::uint32_t>(incoming >> 40);
    const std::uint32_t ahead = (serial - handover_.currentSerial()) & kSerialMask;
    if (ahead != 0 && ahead <= kSerialMask / 2) {
        marks_[index].store(1, std::memory_order_relaxed);
        anyMarked_.store(true, std::memory_order_relaxed);
        return false;
    }
    if (program != handover_.currentNumber()) {
        return false;
    }
    handover_.current().value(index) = std::bit_cast<float>(static_cast<std::uint32_t>(incoming));
    return true;
}

void ControlInbox::foldIntoApplied() {
    for (int index = 0; index < kNumParams; ++index) {
        take(index);
    }
}
