// Master datagrams under hostile input: database text, transfer headers and
// blocks, gaps and restarts, completion with digests and inflate, name
// caches, and database text parsed and merged on its own. The input is a
// run of records, each a kind byte, a length byte and that many bytes:
//   D  database text ('1' datagram, masked with the token here)
//   C  a transfer datagram ('C', masked with the token here: the fuzzer
//      writes the plain id, magic and fields)
//   T  transfers processed, after the clock moves on by (first byte) x 1000 ms
//   P  database text parsed and merged directly
//   N  a name cache, then a lookup of the bytes as a host name
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "channel/master_wire.h"
#include "fuzz_module.h"
#include "master/database.h"
#include "master/exchange.h"
#include "master/name_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzModule* module = FuzzModule::Shared();
  if (size > 8000) return 0;
  HostInterface* host = module->Host();
  MasterState& master = Client().master;
  for (MasterTransfer& transfer : master.exchange.transfers) {
    free(transfer.data);
    memset(&transfer, 0, sizeof transfer);
    transfer.highest_block = -1;
  }
  strcpy(master.transport.token, "fuzz!Token#1");
  char defaults[] = "<p> S 2 a.example 16567 0\r\n<p> S 3 127.0.0.1 16567 1\r\n";
  master::ParseDatabase(defaults, sizeof defaults, master.table);
  master.transport.name_count = 0;

  for (size_t at = 0; at + 2 <= size;) {
    const uint8_t kind = data[at];
    size_t length = data[at + 1];
    at += 2;
    if (length > size - at) length = size - at;
    std::vector<uint8_t> bytes(data + at, data + at + length);
    at += length;
    switch (kind) {
      case 'D':
      case 'C': {
        std::vector<uint8_t> datagram = {'T', 'G', '_', static_cast<uint8_t>(kind == 'D' ? '1' : 'C')};
        if (kind == 'D') {
          master_wire::MaskDatabaseText(bytes.data(), static_cast<int>(bytes.size()), master.transport.token);
        } else {
          master_wire::MaskTransfer(bytes.data(), static_cast<int>(bytes.size()), master.transport.token);
        }
        datagram.insert(datagram.end(), bytes.begin(), bytes.end());
        master::HandleMasterDatagram(host, datagram.data(), static_cast<int32_t>(datagram.size()), TestClock::now);
        break;
      }
      case 'T':
        TestClock::now += (bytes.empty() ? 1u : bytes[0]) * 1000u;
        master::ProcessMasterTransfers(host, TestClock::now);
        break;
      case 'P': {
        std::string text(bytes.begin(), bytes.end());
        const char* error = nullptr;
        master::MergeDatabaseText(&text[0], static_cast<int32_t>(text.size()) + 1, &error);
        break;
      }
      case 'N': {
        master::ReplaceNameCache(bytes.data(), static_cast<int32_t>(bytes.size()));
        std::string name(bytes.begin(), bytes.end());
        char address[16];
        master::ResolveIntoText(name.c_str(), address);
        break;
      }
      default:
        break;
    }
  }
  master::ProcessMasterTransfers(host, TestClock::now);
  return 0;
}
