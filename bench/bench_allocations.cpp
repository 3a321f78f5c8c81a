// The global allocator replaced by one that counts, for the benchmarks that report allocations.

#include <atomic>
#include <cstdlib>
#include <new>

#include "bench/bench_support.h"

namespace {
std::atomic<std::size_t> gAllocations{0};
}

std::size_t qv::bench::allocations() {
    return gAllocations.load();
}

void* operator new(std::size_t n) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
// NOLINTBEGIN: the pair replaces the global allocator for counting
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
// NOLINTEND
