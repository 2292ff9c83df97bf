#include "engine/GuardedBlock.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/MessageBox.h"

namespace {
constexpr std::size_t kOverhead = 26;  // up to 16 bytes of slack, the raw address, the guard
constexpr unsigned char kGuard0 = 'O';
constexpr unsigned char kGuard1 = 'K';
}  // namespace

void* BlockRegistry::allocate(const char* name, std::size_t bytes) {
    auto* raw = static_cast<unsigned char*>(std::malloc(bytes + kOverhead));
    if (raw == nullptr) {
        platform::messageService().showWarning("MISTAKE!", "Memory allocation failed!");
        platform::messageService().exitProcess(0);
        return nullptr;
    }
    const auto usableAddress = (reinterpret_cast<std::uintptr_t>(raw) + 24) & ~std::uintptr_t{15};
    auto* usable = reinterpret_cast<unsigned char*>(usableAddress);
    std::memcpy(usable - sizeof(void*), &raw, sizeof(void*));
    usable[bytes] = kGuard0;
    usable[bytes + 1] = kGuard1;

    std::lock_guard lock(mutex_);
    entries_.push_back({usable + bytes, name, usable, false});
    return usable;
}

// Each broken block is reported once: a message box on every later release would pile up
// warnings, and on the audio thread each one costs a blocking hand-over.
void BlockRegistry::reportFirstBrokenGuard() {
    for (Entry& entry : entries_) {
        if (!entry.reported && (entry.guard[0] != kGuard0 || entry.guard[1] != kGuard1)) {
            entry.reported = true;
            platform::messageService().showWarning(entry.name, "Memory block over run!");
            return;
        }
    }
}

void BlockRegistry::release(void*& area) {
    if (area == nullptr) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        reportFirstBrokenGuard();
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->block == area) {
                entries_.erase(it);
                break;
            }
        }
    }
    unsigned char* raw = nullptr;
    std::memcpy(&raw, static_cast<unsigned char*>(area) - sizeof(void*), sizeof(void*));
    std::free(raw);
    area = nullptr;
}

std::size_t BlockRegistry::entryCount() {
    std::lock_guard lock(mutex_);
    return entries_.size();
}
