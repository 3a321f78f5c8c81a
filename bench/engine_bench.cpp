// One full pass of the six uptime handlers on a warm board, with a new tick count on every pass
// so nothing can be short-circuited. Also counts heap allocations per pass, which must be zero.

#include <benchmark/benchmark.h>

#include <string>

#include "bench/bench_support.h"
#include "engine/field_board.h"
#include "engine/uptime_steps.h"

namespace {

void BM_OnePass(benchmark::State& state) {
    qv::FieldBoard board;
    std::uint64_t tick = 123456789;
    std::string scratch;
    scratch.reserve(96);
    for (int i = 0; i < 100; ++i) qv::runOnePass(board, tick += 7, scratch);  // warm up
    const std::size_t before = qv::bench::allocations();
    for (auto _ : state) {
        const std::string_view title = qv::runOnePass(board, tick += 7, scratch);
        benchmark::DoNotOptimize(title.data());
    }
    const double allocs = static_cast<double>(qv::bench::allocations() - before);
    state.counters["allocs_per_pass"] =
        benchmark::Counter(allocs / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_OnePass)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
