// What one ca call costs the game's frame.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "core/client_state.h"
#include "platform/platform.h"
#include "support/fake_host.h"

namespace {

// A started module on a fixed clock, its home in a scratch directory.
struct StartedModule {
  FakeHost host;
  std::string home = "bench_home";

  StartedModule() {
    ResetClientState();
    TestClock::now = 5000000;
    TestClock::step_ms = 0;
    PlatformSetTickSource(TestClock::Read);
    std::filesystem::create_directories(home);
    host.cvars["fs_homepath"] = home;
    host.cvars["cl_tallyguard"] = "1";
    host.keep_prints = false;
    ca(&host.record, 0);
  }
  ~StartedModule() {
    ResetClientState();
    PlatformSetTickSource(nullptr);
    std::filesystem::remove_all(home);
  }
};

// A ca call that finds no event and an interval not yet reached.
void BM_IdleCa(benchmark::State& state) {
  StartedModule module;
  TestClock::now += 1;
  for (auto _ : state) benchmark::DoNotOptimize(ca(&module.host.record, 0));
}
BENCHMARK(BM_IdleCa);

// 64 console lines queued by cb, then the full cycle that walks them.
void BM_CycleWith64Lines(benchmark::State& state) {
  StartedModule module;
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
