// What one ca call costs the game's frame.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_module.h"

namespace {

// A ca call that finds no event and an interval not yet reached.
void BM_IdleCa(benchmark::State& state) {
  BenchModule module("bench_home");
  TestClock::now += 1;
  for (auto _ : state) benchmark::DoNotOptimize(ca(&module.host.record, 0));
}
BENCHMARK(BM_IdleCa);

// 64 console lines queued by cb, then the full cycle that walks them.
void BM_CycleWith64Lines(benchmark::State& state) {
  BenchModule module("bench_home");
  const std::string line = "tg_Ver";
  for (auto _ : state) {
    for (int i = 0; i < 64; ++i)
      cb(&module.host.record, TG_EVENT_CONSOLE_LINE, static_cast<int32_t>(line.size()), line.c_str(), 0);
    TestClock::now += 1;
    benchmark::DoNotOptimize(ca(&module.host.record, 0));
  }
  state.SetItemsProcessed(state.iterations() * 64);
}
BENCHMARK(BM_CycleWith64Lines);

}  // namespace

BENCHMARK_MAIN();
