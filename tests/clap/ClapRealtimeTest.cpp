// Real-time safety of Zornbeck.clap: process, flush while active and reset neither allocate
// nor lock a mutex, whatever events arrive. Every heap entry and mutex lock of this program is
// counted inside the plug-in's audio-thread calls.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include "tests/clap/StrictHost.h"
#include "tests/support/CountingAllocator.h"

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
