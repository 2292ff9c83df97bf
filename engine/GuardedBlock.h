// Heap blocks for audio buffers with a two-byte guard after the usable bytes, entered by name in
// one process-wide registry, so an over-run anywhere is reported at the next release anywhere.
#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

class BlockRegistry {
  public:
    // Never returns null: a failed allocation is reported and ends the process.
    static void* allocate(const char* name, std::size_t bytes);
    // Checks every registered guard, then unregisters and frees the block; null does nothing.
    static void release(void*& area);

    static std::size_t entryCount();

  private:
    struct Entry {
        const unsigned char* guard;
        const char* name;
        void* block;
        bool reported;
    };

    static void reportFirstBrokenGuard();

    static inline std::mutex mutex_;
    static inline std::vector<Entry> entries_;
};

// Owns one guarded block of float32 samples.
class GuardedBlock {
  public:
    GuardedBlock() = default;
    GuardedBlock(const char* name, int samples) { allocate(name, samples); }
    ~GuardedBlock() { release(); }
    GuardedBlock(const GuardedBlock&) = delete;
    GuardedBlock& operator=(const GuardedBlock&) = delete;

    // The new block is registered before the old one is released, as the spread rebuild expects.
    void allocate(const char* name, int samples) {
        void* fresh = BlockRegistry::allocate(name, static_cast<std::size_t>(samples) * sizeof(float));
        release();
        data_ = static_cast<float*>(fresh);
        samples_ = samples;
    }

    void release() {
        void* area = data_;
        BlockRegistry::release(area);
        data_ = nullptr;
        samples_ = 0;
    }

    float* data() { return data_; }
    const float* data() const { return data_; }
    int samples() const { return samples_; }
    float& operator[](int i) { return data_[i]; }
    float operator[](int i) const { return data_[i]; }

  private:
    float* data_ = nullptr;
    int samples_ = 0;
};
