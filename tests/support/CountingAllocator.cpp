#include "tests/support/CountingAllocator.h"

#include <dlfcn.h>
#include <pthread.h>

#include <cstdlib>
#include <new>

#define ZB_VISIBLE __attribute__((visibility("default")))

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* area, std::size_t size);
void __libc_free(void* area);
}

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
std::atomic<long> locks{0};

namespace {

void note() {
    if (counting.load(std::memory_order_relaxed)) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
}

// Looked up before main, when nothing is counted yet.
using LockFunction = int (*)(pthread_mutex_t*);
const LockFunction realLock = reinterpret_cast<LockFunction>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));

}  // namespace

// Exported, so a loaded plug-in's calls reach these rather than the C library's.
extern "C" ZB_VISIBLE void* malloc(std::size_t size) {
    note();
    return __libc_malloc(size);
}
extern "C" ZB_VISIBLE void* calloc(std::size_t count, std::size_t size) {
    note();
    return __libc_calloc(count, size);
}
extern "C" ZB_VISIBLE void* realloc(void* area, std::size_t size) {
    note();
    return __libc_realloc(area, size);
}
extern "C" ZB_VISIBLE void free(void* area) {
    __libc_free(area);
}
extern "C" ZB_VISIBLE int pthread_mutex_lock(pthread_mutex_t* mutex) {
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
