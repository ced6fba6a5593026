// What a screenshot costs the cycle that takes each step: the capture (read,
// sample, compose) and the encoding (compress, write the PNG).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include <zlib.h>

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

namespace {

// A whole screenshot through ca calls, one per frame of 61 ms of the test
// clock: the longest call and the sum of all calls, beside one compress()
// of the same canvas.
void RunWholeScreenshot(benchmark::State& state, bool server) {
  BenchModule module("bench_shot_home", "127.0.0.1:27960");
  module.host.record.key_c = 0;
  Client().screenshots.sequence = 5;
  double longest = 0, total = 0, once = 0;
  PrepareCaptureDevice(&module.host.record);  // the display is set up once, before the first frame
  for (auto _ : state) {
    FreeScreenshotSlots();
    if (server) {
      QueueServerScreenshot(&module.host.record, 1, 1, TestClock::now);
      ScreenshotSlot& slot = Client().screenshots.slots[0];
      strcpy(slot.request, "0 1 280 280 50 50 1");
    } else {
      Client().screenshots.options = ScreenshotOptions();  // 640 x 480
      QueueLocalScreenshot("0", TestClock::now);
    }
    ScreenshotSlot& slot = Client().screenshots.slots[0];
    bool compressed_once = false;
    for (int frame = 0; frame < 20000 && slot.state != kSlotDone; ++frame) {
      if (!compressed_once && slot.state == kSlotEncoding && slot.capture->encode_stage == kEncodeNotStarted) {
        std::vector<uint8_t> out(compressBound(static_cast<uLong>(slot.capture->canvas_size)));
        uLongf n = out.size();
        const auto start = std::chrono::steady_clock::now();
        compress(out.data(), &n, slot.capture->canvas, static_cast<uLong>(slot.capture->canvas_size));
        once = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
        compressed_once = true;
      }
      TestClock::now += 61;
      const auto start = std::chrono::steady_clock::now();
      ca(&module.host.record, 0);
      const double took = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
      longest = took > longest ? took : longest;
      total += took;
    }
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["longest_call_us"] = longest;
  state.counters["total_us"] = total / runs;
  state.counters["one_compress_us"] = once;
}

void BM_ServerShotThroughCa(benchmark::State& state) { RunWholeScreenshot(state, true); }
BENCHMARK(BM_ServerShotThroughCa)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LocalShotThroughCa(benchmark::State& state) { RunWholeScreenshot(state, false); }
BENCHMARK(BM_LocalShotThroughCa)->Unit(benchmark::kMillisecond)->Iterations(3);

// The memory all twelve slots hold once each has a server screenshot ready.
void BM_HeapOfTwelveSlots(benchmark::State& state) {
  BenchModule module("bench_shot_home", "127.0.0.1:27960");
  module.host.record.key_c = 0;
  Client().screenshots.sequence = 5;
  size_t bytes = 0;
  for (auto _ : state) {
    FreeScreenshotSlots();
    for (int i = 0; i < kScreenshotSlots; ++i) QueueServerScreenshot(&module.host.record, 1, 0, TestClock::now);
    for (ScreenshotSlot& slot : Client().screenshots.slots) strcpy(slot.request, "0 1 280 280 50 50 1");
    for (int frame = 0; frame < 4000; ++frame) {
      TestClock::now += 61;
      ca(&module.host.record, 0);
    }
    bytes = 0;
    for (const ScreenshotSlot& slot : Client().screenshots.slots)
      if (slot.capture != nullptr)
        bytes += sizeof(CaptureImage) + static_cast<size_t>(slot.capture->raw_capacity) +
                 static_cast<size_t>(slot.capture->canvas_capacity) + static_cast<size_t>(slot.capture->work_capacity);
  }
  state.counters["heap_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_HeapOfTwelveSlots)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
