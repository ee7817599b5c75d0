#pragma once
// Counts the allocations one thread makes, for tests that prove a thread
// allocates nothing: the thread sets countingAllocations while it does the
// work in question, and allocations says how many operator new calls it made.
// It replaces the program's operator new, so one source file of a test binary
// includes it, and the binary holds nothing else that would be disturbed.

#include <cstddef>
#include <cstdlib>
#include <new>

inline thread_local bool countingAllocations = false;
inline thread_local std::size_t allocations = 0;

inline void* CountedAllocate(std::size_t size) {
    if (countingAllocations) ++allocations;
    return std::malloc(size == 0 ? 1 : size);
}

void* operator new(std::size_t size) {
    if (void* p = CountedAllocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return CountedAllocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
