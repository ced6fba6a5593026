// What the master exchanges cost a cycle: draining the own socket, and
// merging a master's database text into the master table.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench_module.h"
#include "master/database.h"
#include "master/master_wire.h"
#include "master/socket_service.h"
#include "master/transport.h"

namespace {

std::string Big32(uint32_t value) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(value >> (24 - 8 * i));
  return out;
}

std::string TransferDatagram(const std::string& rest) {
  std::string payload = Big32(4242) + rest;
  master_wire::MaskTransfer(reinterpret_cast<uint8_t*>(&payload[0]), static_cast<int>(payload.size()), QueryToken());
  return "TG_C" + payload;
}

// One cycle's socket service with 64 datagrams waiting: blocks of a 64 KiB
// transfer in progress, 1036 bytes each, every one stored.
void BM_DrainSocket64(benchmark::State& state) {
  BenchModule module("bench_master_home", "127.0.0.1:27960");
  PlatformSocket probe = PlatformUdpOpen(0, 1);
  const uint16_t port = PlatformUdpLocalPort(probe);
  PlatformUdpClose(probe);
  Client().console.settings.net_port = port;
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
  Client().console.settings.net_port = 0;
  CloseOwnSocket(true);
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
  ParseDatabase(&full[0], static_cast<int32_t>(full.size()) + 1, loaded);
  std::vector<char> text(incoming.size() + 1);
  for (auto _ : state) {
    state.PauseTiming();
    Client().master.table = loaded;
    memcpy(text.data(), incoming.c_str(), incoming.size() + 1);
    state.ResumeTiming();
    const char* error = nullptr;
    benchmark::DoNotOptimize(MergeDatabaseText(text.data(), static_cast<int32_t>(incoming.size()) + 1, &error));
  }
}
BENCHMARK(BM_MergeDatabaseText)->Unit(benchmark::kMicrosecond);

}  // namespace
