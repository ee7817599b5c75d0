#pragma once
// Counts the allocations one thread makes, for tests that prove a thread
// allocates nothing: the thread sets countingAllocations while it does the
// work in question, and allocations says how many it made. It replaces the
// program's operator new and, outside the sanitizer builds (whose runtimes
// own the C allocator), malloc, calloc and realloc too, so that the C
// libraries under Qt (text shaping, fonts) are counted as well. One source
// file of a test binary includes it.

#include <cstddef>
#include <cstdlib>
#include <array>
#include <atomic>
#include <new>
#include <thread>

inline thread_local bool countingAllocations = false;
inline thread_local std::size_t allocations = 0;

// Threads the test did not start (a display's drawing thread) are counted by
// their id, from the moment the test names them.
inline std::array<std::atomic<std::thread::id>, 2> watchedThreads{};
inline std::atomic<std::size_t> watchedAllocations{0};

inline void CountAllocation() {
    if (countingAllocations) {
        ++allocations;
        return;
    }
    const std::thread::id self = std::this_thread::get_id();
    for (const auto& watched : watchedThreads) {
        if (watched.load(std::memory_order_relaxed) == self) watchedAllocations.fetch_add(1, std::memory_order_relaxed);
    }
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline void* CountedAllocate(std::size_t size) {
    CountAllocation();
    return std::malloc(size == 0 ? 1 : size);
}
#else
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);
extern "C" void* __libc_realloc(void* p, std::size_t size);

extern "C" void* malloc(std::size_t size) {
    CountAllocation();
    return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t count, std::size_t size) {
    CountAllocation();
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* p, std::size_t size) {
    CountAllocation();
    return __libc_realloc(p, size);
}
// malloc above counts it.
inline void* CountedAllocate(std::size_t size) { return std::malloc(size == 0 ? 1 : size); }
#endif

void* operator new(std::size_t size) {
    if (void* p = CountedAllocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return CountedAllocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
