// Real-time safety of Zornbeck.clap: process, flush while active and reset neither allocate
// nor lock a mutex, whatever events arrive. Every heap entry and mutex lock of this program is
// counted inside the plug-in's audio-thread calls.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include "tests/clap/StrictHost.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* area, std::size_t size);
void __libc_free(void* area);
}

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
std::atomic<long> locks{0};

void note() {
    if (counting.load(std::memory_order_relaxed)) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
}
}  // namespace

extern "C" void* malloc(std::size_t size) {
    note();
    return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t count, std::size_t size) {
    note();
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* area, std::size_t size) {
    note();
    return __libc_realloc(area, size);
}
extern "C" void free(void* area) {
    __libc_free(area);
}
using LockFunction = int (*)(pthread_mutex_t*);
const LockFunction realLock = reinterpret_cast<LockFunction>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
    if (counting.load(std::memory_order_relaxed)) {
        locks.fetch_add(1, std::memory_order_relaxed);
    }
    return realLock(mutex);
}
void* operator new(std::size_t size) {
    note();
    void* area = __libc_malloc(size == 0 ? 1 : size);
    if (area == nullptr) {
        throw std::bad_alloc();
    }
    return area;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* area) noexcept {
    __libc_free(area);
}
void operator delete[](void* area) noexcept {
    __libc_free(area);
}
void operator delete(void* area, std::size_t) noexcept {
    __libc_free(area);
}
void operator delete[](void* area, std::size_t) noexcept {
    __libc_free(area);
}

namespace {

void hook(bool entering) {
    counting.store(entering, std::memory_order_relaxed);
}

TEST(ClapRealtime, NoAllocationOrLockInTheAudioThreadsCalls) {
    std::string error;
    auto lib = th::ClapLibrary::open(th::clapPath(), error);
    ASSERT_TRUE(lib) << error;
    th::StrictHost host(*lib);
    ASSERT_TRUE(host.create());
    ASSERT_TRUE(host.activate(48000.0, 1, 1024));
    ASSERT_TRUE(host.start());
    std::vector<float> in(1024, 0.1f), l(1024), r(1024);
    host.process(in.data(), in.data(), l.data(), r.data(), 1024);
    std::vector<th::param_value_t> events;
    for (uint32_t i = 0; i < 40; ++i) {
        events.push_back(
            th::StrictHost::value(i % 2 == 0 ? 2 + i % 16 : 20 + 12 * i + i % 8, (i % 10) / 10.0, i * 25));
    }
    events.push_back(th::StrictHost::value(1000, 7.0, 500));  // Program: deferred
    events.push_back(th::StrictHost::value(1001, 1.0, 900));  // Bypass
    events.push_back(th::StrictHost::value(12, 1.0, 1000));   // Spread rebuilds its lines
    const std::vector<th::param_value_t> flushed = {th::StrictHost::value(0, 1.0),
                                                    th::StrictHost::value(1001, 0.0)};
    host.audioHook = hook;
    allocations = 0;
    locks = 0;
    for (int block = 0; block < 50; ++block) {
        host.process(in.data(), in.data(), l.data(), r.data(), block % 2 == 0 ? 1024 : 333,
                     block % 5 == 0 ? events : std::vector<th::param_value_t>{});
        if (block % 7 == 0) {
            host.flush(flushed);
        }
    }
    host.reset();
    host.process(in.data(), in.data(), l.data(), r.data(), 1024);
    host.audioHook = nullptr;
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_EQ(locks.load(), 0);
    EXPECT_TRUE(host.violations.empty());
}

// The counters see what the plug-in would do: an allocation and a lock inside the window.
TEST(ClapRealtime, CountersSeeAllocationsAndLocks) {
    std::mutex mutex;
    allocations = 0;
    locks = 0;
    hook(true);
    mutex.lock();
    mutex.unlock();
    auto* value = new int(3);
    hook(false);
    delete value;
    EXPECT_EQ(allocations.load(), 1);
    EXPECT_EQ(locks.load(), 1);
}

}  // namespace
