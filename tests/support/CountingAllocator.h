// Counts every heap entry and mutex lock of the test program — a plug-in binary it loads
// included, whose calls reach the C library's functions that this replaces — while `counting`
// is on: the real-time tests' evidence that a call neither allocates nor locks.
#pragma once

#include <atomic>

extern std::atomic<bool> counting;
extern std::atomic<long> allocations;
extern std::atomic<long> locks;
