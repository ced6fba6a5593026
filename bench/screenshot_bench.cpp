// What a screenshot costs the cycle that takes each step: the capture (read,
// sample, compose) and the encoding (compress, write the PNG).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
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

// The scenes a screenshot is taken of: the harness's (flat sky bands, grass
// and a sun, which compresses fast) and a textured one (a gradient with
// grain, like a photograph, which compresses slowly).
enum Scene { kHarnessScene = 0, kTexturedScene = 1 };

void ShowScene(Scene scene, int32_t width, int32_t height) {
  PlatformStandInDisplay* display = PlatformTestDisplay();
  PlatformDisplayClose();
  display->width = width;
  display->height = height;
  display->bits_per_pixel = 32;
  display->pitch = 0;
  display->window = {1, 1, 0, 0, width, height};
  display->content_set = 0;  // the harness's scene, painted when the display opens
  if (scene == kTexturedScene) {
    uint32_t grain = 12345;
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) {
        grain = grain * 1103515245u + 12345u;
        uint8_t* p = display->pixels + (static_cast<size_t>(y) * static_cast<size_t>(width) + x) * 4;
        const uint32_t base = static_cast<uint32_t>(x * 160 / width + y * 60 / height);
        p[0] = static_cast<uint8_t>(base + (grain >> 27));
        p[1] = static_cast<uint8_t>(base / 2 + 60 + (grain >> 28));
        p[2] = static_cast<uint8_t>(200 - base / 2 + (grain >> 26));
        p[3] = 0;
      }
    display->content_set = 1;
  }
  // Painted now, so that no timed call pays for the stand-in's own memory.
  PlatformSurface surface;
  if (PlatformDisplayOpen() && PlatformDisplayLock(&surface)) PlatformDisplayUnlock();
}

// What a cycle with nothing to do costs (the fault guard, the socket and
// connection checks): the median of a few hundred, taken while no
// screenshot is at work. A game pays it every cycle, screenshot or not.
double IdleCycleMicroseconds(HostInterface* host) {
  std::vector<double> took(301);
  for (double& t : took) {
    TestClock::now += 61;
    const auto start = std::chrono::steady_clock::now();
    ca(host, 0);
    t = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
  }
  std::nth_element(took.begin(), took.begin() + 150, took.end());
  return took[150];
}

// A whole screenshot through ca calls, one per frame of 61 ms of the test
// clock: the longest call, the sum of all calls and the screenshot's own
// work (the calls that capture, encode and save, less what those cycles
// would have cost without it; the upload's waits left out), beside one
// compress() of the same canvas. The first screenshot works in memory fresh from the
// system; the later ones in the blocks kept from the one before, as in a
// game that takes more than one.
void RunWholeScreenshot(benchmark::State& state, bool server, Scene scene, int32_t width = 1024, int32_t height = 768) {
  ShowScene(scene, width, height);
  BenchModule module("bench_shot_home", "127.0.0.1:27960");
  module.host.screen_width = width;
  module.host.screen_height = height;
  module.host.record.key_c = 0;
  Client().screenshots.sequence = 5;
  double longest_first = 0, longest = 0, total_first = 0, total = 0, once = 0, copy = 0;
  double work_first = 0, work = 0, idle = 0, cycles_first = 0, cycles = 0;
  int64_t runs = 0;
  screenshot::PrepareCaptureDevice(&module.host.record);  // the display is set up once, before the first frame
  screenshot::FreeScreenshotSlots();                      // and no memory is kept from earlier benchmarks
  for (auto _ : state) {
    for (ScreenshotSlot& slot : Client().screenshots.slots) screenshot::ClearScreenshotSlot(slot);
    if (server) {
      screenshot::QueueServerScreenshot(&module.host.record, 1, 1, TestClock::now);
      ScreenshotSlot& slot = Client().screenshots.slots[0];
      strcpy(slot.request, "0 1 280 280 50 50 1");
    } else {
      Client().settings.values.local_shot = ScreenshotOptions();  // 640 x 480
      screenshot::QueueLocalScreenshot("0", TestClock::now);
    }
    ScreenshotSlot& slot = Client().screenshots.slots[0];
    bool compressed_once = false;
    double run_longest = 0, run_total = 0, run_work = 0;
    int run_cycles = 0;
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
      // The screenshot's own work: capture, encoding and saving, not the
      // upload's second-long waits between pieces.
      const bool working = slot.state != kSlotSending && slot.state != kSlotDone;
      const auto start = std::chrono::steady_clock::now();
      ca(&module.host.record, 0);
      const double took = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
      if (before_copy && slot.capture->capture_phase == kCaptureConverting) copy = took > copy ? took : copy;
      run_longest = took > run_longest ? took : run_longest;
      run_total += took;
      if (working) {
        run_work += took;
        ++run_cycles;
      }
    }
    state.PauseTiming();
    idle += IdleCycleMicroseconds(&module.host.record);
    state.ResumeTiming();
    if (runs++ == 0) {
      longest_first = run_longest;
      total_first = run_total;
      work_first = run_work;
      cycles_first = run_cycles;
    } else {
      longest = run_longest > longest ? run_longest : longest;
      total += run_total;
      work += run_work;
      cycles += run_cycles;
    }
  }
  idle /= static_cast<double>(runs);
  // The screenshot's own work: its cycles less what idle cycles cost.
  work_first -= cycles_first * idle;
  work -= cycles * idle;
  state.counters["first_longest_us"] = longest_first;
  state.counters["first_total_us"] = total_first;
  state.counters["longest_us"] = longest;
  state.counters["total_us"] = runs > 1 ? total / static_cast<double>(runs - 1) : 0;
  state.counters["one_compress_us"] = once;
  state.counters["copy_call_us"] = copy;
  state.counters["first_longest_share"] = once > 0 ? longest_first / once : 0;
  state.counters["longest_share"] = once > 0 ? longest / once : 0;
  state.counters["work_first_us"] = work_first;
  state.counters["work_us"] = runs > 1 ? work / static_cast<double>(runs - 1) : 0;
  state.counters["work_share"] = once > 0 && runs > 1 ? work / static_cast<double>(runs - 1) / once : 0;
  state.counters["cycles"] = runs > 1 ? cycles / static_cast<double>(runs - 1) : 0;
  state.counters["idle_cycle_us"] = idle;
  ShowScene(kHarnessScene, 1024, 768);
}

// Arguments: the scene (0 the harness's, 1 textured).
void BM_ServerShotThroughCa(benchmark::State& state) {
  RunWholeScreenshot(state, true, static_cast<Scene>(state.range(0)));
}
BENCHMARK(BM_ServerShotThroughCa)
    ->Arg(kHarnessScene)
    ->Arg(kTexturedScene)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6);

void BM_LocalShotThroughCa(benchmark::State& state) {
  RunWholeScreenshot(state, false, static_cast<Scene>(state.range(0)));
}
BENCHMARK(BM_LocalShotThroughCa)->Arg(kHarnessScene)->Arg(kTexturedScene)->Unit(benchmark::kMillisecond)->Iterations(6);

// The call that copies the rows under the lock, by screen size: a player's
// 640 x 480 screenshot of the textured scene (the copy reads the requested
// area only).
void BM_CopyUnderLockByScreen(benchmark::State& state) {
  RunWholeScreenshot(state, false, kTexturedScene, static_cast<int32_t>(state.range(0)),
                     static_cast<int32_t>(state.range(1)));
}
BENCHMARK(BM_CopyUnderLockByScreen)
    ->Args({1024, 768})
    ->Args({1920, 1080})
    ->Args({2560, 1440})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The memory all twelve slots hold once each has a server screenshot ready.
void BM_HeapOfTwelveSlots(benchmark::State& state) {
  BenchModule module("bench_shot_home", "127.0.0.1:27960");
  module.host.record.key_c = 0;
  Client().screenshots.sequence = 5;
  size_t bytes = 0;
  for (auto _ : state) {
    screenshot::FreeScreenshotSlots();
    for (int i = 0; i < kScreenshotSlots; ++i)
      screenshot::QueueServerScreenshot(&module.host.record, 1, 0, TestClock::now);
    for (ScreenshotSlot& slot : Client().screenshots.slots) strcpy(slot.request, "0 1 280 280 50 50 1");
    for (int frame = 0; frame < 4000; ++frame) {
      TestClock::now += 61;
      ca(&module.host.record, 0);
    }
    bytes = screenshot::SpareScreenshotBytes();
    for (const ScreenshotSlot& slot : Client().screenshots.slots)
      if (slot.capture != nullptr)
        bytes += sizeof(CaptureImage) + static_cast<size_t>(slot.capture->raw_capacity) +
                 static_cast<size_t>(slot.capture->canvas_capacity) + static_cast<size_t>(slot.capture->work_capacity);
  }
  state.counters["heap_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_HeapOfTwelveSlots)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
