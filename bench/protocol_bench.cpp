// What the game-server protocol costs per frame and per cycle.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench_module.h"
#include "channel/framing.h"
#include "channel/wire_format.h"
#include "core/client_state.h"
#include "protocol/requests.h"
#include "protocol/rules.h"
#include "routing/frame_router.h"

namespace {

// A scrambled frame with a 1100-byte console-text payload: checked,
// unscrambled in place and dispatched.
void BM_ReceiveScrambledFrame(benchmark::State& state) {
  BenchModule module("bench_protocol_home", "127.0.0.1:27960");
  uint8_t* key_buffer = EnsureKeyBuffer();
  const std::string key = DeriveChannelKey(key_buffer, 11, 22, 33, 44);
  std::vector<uint8_t> payload(1100, 'x');
  payload[0] = 'A';
  payload[1099] = 0;
  uint8_t frame[wire::kFrameBufferSize + 1];
  const int32_t length = wire::BuildScrambledFrame(key.c_str(), payload.data(), 1100, frame);
  std::vector<uint8_t> copy(static_cast<size_t>(length) + 1);
  for (auto _ : state) {
    memcpy(copy.data(), frame, static_cast<size_t>(length));
    copy[length] = 0;
    benchmark::DoNotOptimize(ReceiveFrame(&module.host.record, length, copy.data(), TestClock::now));
  }
}
BENCHMARK(BM_ReceiveScrambledFrame);

// One rule check per cycle, for a list of the given length.
void BM_CheckNextRule(benchmark::State& state) {
  BenchModule module("bench_protocol_home", "127.0.0.1:27960");
  module.host.cvars["r_picmip"] = "1";
  for (int i = 0; i < state.range(0); ++i) {
    char line[] = "1 r_picmip in 0 3";
    (void)protocol::AddRuleLine(line);
  }
  Client().protocol.rules.list_state = -1;
  for (auto _ : state) {
    TestClock::now += 60;
    protocol::CheckNextRule(&module.host.record, TestClock::now);
  }
}
BENCHMARK(BM_CheckNextRule)->Arg(5)->Arg(500);

// The 'E' reply with enough bindings to fill its 1024 bytes.
void BM_BindingReply(benchmark::State& state) {
  BenchModule module("bench_protocol_home", "127.0.0.1:27960");
  for (int key = 0; key < 64; ++key)
    module.host.bindings.push_back({key, "KEY" + std::to_string(key), "+attack; wait"});
  Client().protocol.connection.frames_received = 0;  // replies are built and then dropped, not sent
  uint8_t argument[] = "+attack";
  for (auto _ : state) {
    SendReply(&module.host.record, protocol::HandleServerRequest(&module.host.record, 'E', argument, 7, TestClock::now),
              TestClock::now);
    FlushQueue(&module.host.record, TestClock::now + 10);
  }
}
BENCHMARK(BM_BindingReply);

}  // namespace
