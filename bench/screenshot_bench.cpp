// What a screenshot costs the cycle that takes each step: the capture (read,
// sample, compose) and the encoding (compress, write the PNG).
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench_module.h"
#include "core/client_state.h"
#include "screenshot/capture.h"
#include "screenshot/delivery.h"
#include "screenshot/png.h"

namespace {

// A server request at the sample budget: 280 x 280 of a 1024 x 768 window.
void QueueServerShot(BenchModule& module) {
  ScreenshotSlot& slot = Client().screenshots.slots[0];
  ClearScreenshotSlot(slot);
  strcpy(slot.request, "0 1 280 280 50 50 1");
  slot.sequence = 1;
  slot.state = kSlotCapture;
  module.host.record.key_c = 0;
}

void BM_CaptureServerShot(benchmark::State& state) {
  BenchModule module("bench_shot_home", "127.0.0.1:27960");
  UpdateForegroundStatistics(TestClock::now);
  for (auto _ : state) {
    QueueServerShot(module);
    CaptureScreenshot(&module.host.record, Client().screenshots.slots[0], TestClock::now);
  }
}
BENCHMARK(BM_CaptureServerShot)->Unit(benchmark::kMicrosecond);

void BM_EncodeServerShot(benchmark::State& state) {
  BenchModule module("bench_shot_home", "127.0.0.1:27960");
  UpdateForegroundStatistics(TestClock::now);
  for (auto _ : state) {
    state.PauseTiming();
    QueueServerShot(module);
    CaptureScreenshot(&module.host.record, Client().screenshots.slots[0], TestClock::now);
    state.ResumeTiming();
    EncodeScreenshot(&module.host.record, Client().screenshots.slots[0], TestClock::now);
  }
}
BENCHMARK(BM_EncodeServerShot)->Unit(benchmark::kMicrosecond);

}  // namespace
