// One full pass of the six uptime handlers on a warm board, with a new tick count on every pass
// Built with -Wno-mismatched-new-delete: operator new above is malloc, so free is right.
// so nothing can be short-circuited. Also counts heap allocations per pass, which must be zero.

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

class SteppingTicks : public qv::TickSource {
  public:
    mutable std::uint64_t value = 123456789;
    std::uint64_t millisecondsSinceStart() const override { return value += 7; }
};

class NullCaption : public qv::CaptionTarget {
  public:
    std::string caption;
    void setCaption(std::string_view c) override { caption.assign(c); }
};

void BM_OnePass(benchmark::State& state) {
    qv::FieldBoard board;
    SteppingTicks ticks;
    NullCaption caption;
    caption.caption.reserve(96);
    std::string scratch;
    scratch.reserve(96);
    for (int i = 0; i < 100; ++i) qv::runOnePass(board, ticks, scratch, caption);  // warm up
    const std::size_t before = gAllocations.load();
    for (auto _ : state) {
        qv::runOnePass(board, ticks, scratch, caption);
        benchmark::DoNotOptimize(caption.caption.data());
    }
    const double allocs = static_cast<double>(gAllocations.load() - before);
    state.counters["allocs_per_pass"] =
        benchmark::Counter(allocs / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_OnePass)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
