// One full pass of the six uptime handlers on a warm board, with a new tick count on every pass
// so nothing can be short-circuited. Also counts heap allocations per pass, which must be zero.
// Built with -Wno-mismatched-new-delete: operator new below is malloc, so free is right.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "engine/field_board.h"
#include "engine/uptime_steps.h"

namespace {
std::atomic<std::size_t> gAllocations{0};
}

void* operator new(std::size_t n) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
// NOLINTBEGIN: the pair replaces the global allocator for counting
void operator delete(void* p) noexcept {
    std::free(p);
}  // NOLINT
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

void BM_OnePass(benchmark::State& state) {
    qv::FieldBoard board;
    std::uint64_t tick = 123456789;
    std::string scratch;
    scratch.reserve(96);
    for (int i = 0; i < 100; ++i) qv::runOnePass(board, tick += 7, scratch);  // warm up
    const std::size_t before = gAllocations.load();
    for (auto _ : state) {
        const std::string_view title = qv::runOnePass(board, tick += 7, scratch);
        benchmark::DoNotOptimize(title.data());
    }
    const double allocs = static_cast<double>(gAllocations.load() - before);
    state.counters["allocs_per_pass"] =
        benchmark::Counter(allocs / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_OnePass)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
