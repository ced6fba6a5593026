// What the master exchanges cost a cycle: draining the own socket, and
// merging a master's database text into the master table.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_module.h"
#include "channel/master_wire.h"
#include "channel/wire_format.h"
#include "master/database.h"
#include "master/modules.h"
#include "master/transport.h"
#include "routing/frame_router.h"
#include "routing/socket_service.h"

namespace {

std::string Big32(uint32_t value) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(value >> (24 - 8 * i));
  return out;
}

std::string TransferDatagram(const std::string& rest) {
  std::string payload = Big32(4242) + rest;
  master_wire::MaskTransfer(reinterpret_cast<uint8_t*>(&payload[0]), static_cast<int>(payload.size()),
                            master::QueryToken());
  return "TG_C" + payload;
}

// One cycle's socket service with 64 datagrams waiting: blocks of a 64 KiB
// transfer in progress, 1036 bytes each, every one stored.
void BM_DrainSocket64(benchmark::State& state) {
  BenchModule module("bench_master_home", "127.0.0.1:27960");
  PlatformSocket probe = PlatformUdpOpen(0, 1);
  const uint16_t port = PlatformUdpLocalPort(probe);
  PlatformUdpClose(probe);
  Client().settings.values.net_port = port;
  ServiceSocket(&module.host.record, TestClock::now);
  PlatformSocket peer = PlatformUdpOpen(0, 1);
  const std::string header =
      TransferDatagram("RWFH" + Big32(65536) + Big32(65536) + std::string(16, 'd') + "bench.dll" + '\0');
  std::vector<std::string> blocks;
  for (uint32_t i = 0; i < 64; ++i) blocks.push_back(TransferDatagram("RWFB" + Big32(i) + std::string(1024, 'b')));
  PlatformUdpSend(peer, "127.0.0.1", port, header.data(), static_cast<int>(header.size()));
  for (auto _ : state) {
    state.PauseTiming();
    for (const std::string& block : blocks)
      PlatformUdpSend(peer, "127.0.0.1", port, block.data(), static_cast<int>(block.size()));
    state.ResumeTiming();
    ServiceSocket(&module.host.record, TestClock::now);
  }
  PlatformUdpClose(peer);
  Client().settings.values.net_port = 0;
  master::CloseOwnSocket(true);
}
BENCHMARK(BM_DrainSocket64)->Unit(benchmark::kMicrosecond);

// A master's 1400 bytes of database text (one master, sixteen file
// entries) merged into a table of four masters whose lists are full.
void BM_MergeDatabaseText(benchmark::State& state) {
  BenchModule module("bench_master_home", "127.0.0.1:27960");
  std::string full;
  const std::string hash(32, 'A'), other(32, 'B');
  for (int id = 2; id <= 5; ++id) {
    full += "<p> S " + std::to_string(id) + " 127.0.0.1 16567 0\r\n<p> M 127.0.0." + std::to_string(id) + " 1\r\n";
    for (const char* list : {"A W", "A L", "C W", "C L", "S W", "S L"})
      for (int entry = 1; entry <= 8; ++entry)
        full += std::string("<p> F ") + list + " " + std::to_string(entry) + " 10 " + hash + " " + other + "\r\n";
  }
  std::string incoming = "<p> S 3 127.0.0.1 16567 0\r\n";
  for (int entry = 100; incoming.size() + 90 < 1400; ++entry)
    incoming += "<p> F C W " + std::to_string(entry) + " 1F " + hash + " " + other + "\r\n";
  incoming.resize(1400, ' ');
  MasterTable loaded = {};
  master::ParseDatabase(&full[0], static_cast<int32_t>(full.size()) + 1, loaded);
  std::vector<char> text(incoming.size() + 1);
  for (auto _ : state) {
    state.PauseTiming();
    Client().master.table = loaded;
    memcpy(text.data(), incoming.c_str(), incoming.size() + 1);
    state.ResumeTiming();
    const char* error = nullptr;
    benchmark::DoNotOptimize(master::MergeDatabaseText(text.data(), static_cast<int32_t>(incoming.size()) + 1, &error));
  }
}
BENCHMARK(BM_MergeDatabaseText)->Unit(benchmark::kMicrosecond);

// A hello whose agent version has only a broken package on disk (30 MiB of
// records whose digest does not match), with tg_Security 0: the hello asks
// for the version, which the package cannot give.
void BM_HelloNamingABrokenPackage(benchmark::State& state) {
  BenchModule module("bench_master_home", "127.0.0.1:27960");
  Client().settings.values.security = 0;
  std::filesystem::create_directories(module.home + "/tg/htm");
  {
    char name[64];
    snprintf(name, sizeof name, "/tg/htm/%ca001301.htm", master::kPlatformLetter);
    FILE* file = fopen((module.home + name).c_str(), "wb");
    const int records = 30 * 1024;
    fprintf(file, "<html><body>\r\n<p> S %X 400 %s %s<br>\r\n", records * 500, std::string(32, '0').c_str(),
            std::string(32, '0').c_str());
    const std::string record = "<P>" + std::string(1000, 'A') + "\r\n";
    for (int i = 0; i < records; ++i) fwrite(record.data(), 1, record.size(), file);
    fputs("</body></html>\r\n", file);
    fclose(file);
  }
  const std::string hello = "CS 1092 1276 1301 1001 77 154 2767692 A1B2C3D4E5F60718293A4B5C6D7E8F90";
  uint8_t frame[wire::kFrameBufferSize + 1];
  const int32_t length =
      wire::BuildPlainFrame(Client().channel.client_ident, reinterpret_cast<const uint8_t*>(hello.c_str()),
                            static_cast<int32_t>(hello.size()) + 1, frame);
  std::vector<uint8_t> copy(static_cast<size_t>(length) + 1);
  for (auto _ : state) {
    Client().master.agent.last_version_report = 0;
    memcpy(copy.data(), frame, static_cast<size_t>(length));
    copy[length] = 0;
    benchmark::DoNotOptimize(ReceiveFrame(&module.host.record, length, copy.data(), TestClock::now));
  }
}
BENCHMARK(BM_HelloNamingABrokenPackage)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// A resolver that answers the start-up lookup 5 s (of the test clock) after
// it began, as a slow name server would.
uint32_t g_lookup_began = 0;
int SlowStart(const char*) {
  g_lookup_began = TestClock::now;
  return 1;
}
int SlowPoll(char* address) {
  if (TestClock::now - g_lookup_began < 5000) return kLookupPending;
  strcpy(address, "127.0.0.3");
  return kLookupAnswered;
}
void SlowCancel() {}
const PlatformResolver kSlowResolver = {SlowStart, SlowPoll, SlowCancel};

// The module's start and its first 6 s of 16 ms frames while the start-up
// lookup waits 5 s for its answer: the start's call, and the longest call
// of all the frames (the lookup answered among them).
void BM_StartWhileTheLookupWaits(benchmark::State& state) {
  // The stand-in display paints its scene into memory of its own the first
  // time it is opened, a cost no game pays: it is paid here, before timing.
  PlatformSurface surface;
  if (PlatformDisplayOpen() && PlatformDisplayLock(&surface)) PlatformDisplayUnlock();
  PlatformDisplayClose();
  double start_us = 0, longest_us = 0;
  for (auto _ : state) {
    PlatformSetResolver(&kSlowResolver);
    TestClock::now = 5000000;
    const auto begin = std::chrono::steady_clock::now();
    BenchModule module("bench_lookup_home");
    start_us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - begin).count();
    for (int frame = 0; frame < 6000 / 16; ++frame) {
      TestClock::now += 16;
      const auto call = std::chrono::steady_clock::now();
      ca(&module.host.record, 0);
      const double took = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - call).count();
      longest_us = took > longest_us ? took : longest_us;
    }
    if (Client().master.transport.lookup_pending != 0) state.SkipWithError("the lookup was never answered");
    PlatformSetResolver(nullptr);
  }
  state.counters["start_us"] = start_us;
  state.counters["longest_frame_us"] = longest_us;
}
BENCHMARK(BM_StartWhileTheLookupWaits)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
