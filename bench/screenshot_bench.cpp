// What a screenshot costs the cycle that takes each step: the capture (read,
// sample, compose) and the encoding (compress, write the PNG).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "bench_module.h"
#include "core/client_state.h"
#include "screenshot/capture.h"
#include "screenshot/delivery.h"
#include "screenshot/memory.h"
#include "screenshot/png.h"

namespace {

// A whole screenshot through ca calls, one per frame of 61 ms of the test
// clock: the longest call and the sum of all calls, beside one compress()
// of the same canvas. The first screenshot works in memory fresh from the
// system; the later ones in the blocks kept from the one before, as in a
// game that takes more than one.
void RunWholeScreenshot(benchmark::State& state, bool server) {
  BenchModule module("bench_shot_home", "127.0.0.1:27960");
  module.host.record.key_c = 0;
  Client().screenshots.sequence = 5;
  double longest_first = 0, longest = 0, total_first = 0, total = 0, once = 0, copy = 0;
  int64_t runs = 0;
  PrepareCaptureDevice(&module.host.record);  // the display is set up once, before the first frame
  FreeScreenshotSlots();                      // and no memory is kept from earlier benchmarks
  for (auto _ : state) {
    for (ScreenshotSlot& slot : Client().screenshots.slots) ClearScreenshotSlot(slot);
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
    double run_longest = 0, run_total = 0;
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
      const bool before_copy = slot.capture != nullptr && slot.capture->capture_phase == kCaptureClearing;
      const auto start = std::chrono::steady_clock::now();
      ca(&module.host.record, 0);
      const double took = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
      if (before_copy && slot.capture->capture_phase == kCaptureConverting) copy = took > copy ? took : copy;
      run_longest = took > run_longest ? took : run_longest;
      run_total += took;
    }
    if (runs++ == 0) {
      longest_first = run_longest;
      total_first = run_total;
    } else {
      longest = run_longest > longest ? run_longest : longest;
      total += run_total;
    }
  }
  state.counters["first_longest_us"] = longest_first;
  state.counters["first_total_us"] = total_first;
  state.counters["longest_us"] = longest;
  state.counters["total_us"] = runs > 1 ? total / static_cast<double>(runs - 1) : 0;
  state.counters["one_compress_us"] = once;
  state.counters["copy_call_us"] = copy;
}

void BM_ServerShotThroughCa(benchmark::State& state) { RunWholeScreenshot(state, true); }
BENCHMARK(BM_ServerShotThroughCa)->Unit(benchmark::kMillisecond)->Iterations(6);

void BM_LocalShotThroughCa(benchmark::State& state) { RunWholeScreenshot(state, false); }
BENCHMARK(BM_LocalShotThroughCa)->Unit(benchmark::kMillisecond)->Iterations(6);

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
    bytes = SpareScreenshotBytes();
    for (const ScreenshotSlot& slot : Client().screenshots.slots)
      if (slot.capture != nullptr)
        bytes += sizeof(CaptureImage) + static_cast<size_t>(slot.capture->raw_capacity) +
                 static_cast<size_t>(slot.capture->canvas_capacity) + static_cast<size_t>(slot.capture->work_capacity);
  }
  state.counters["heap_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_HeapOfTwelveSlots)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
