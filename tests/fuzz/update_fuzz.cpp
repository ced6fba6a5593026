// Update packages and the chunk stream under hostile input. The first byte
// chooses: 'P' the rest is a package file, installed with and without the
// expected size; anything else the rest is a run of server payloads, each a
// length byte and that many bytes ('G' announcements and 'H' chunks), with
// the clock moving 1000 ms between them.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_module.h"
#include "master/update.h"
#include "routing/frame_router.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzModule* module = FuzzModule::Shared();
  if (size < 1 || size > 20000) return 0;
  HostInterface* host = module->Host();
  if (data[0] == 'P') {
    const std::string package = std::string(FuzzModule::kHome) + "/fuzz_package.htm";
    const std::string target = std::string(FuzzModule::kHome) + "/fuzz_module.dll";
    FILE* file = fopen(package.c_str(), "wb");
    if (file == nullptr) return 0;
    fwrite(data + 1, 1, size - 1, file);
    fclose(file);
    master::InstallPackage(package.c_str(), target.c_str(), 0, nullptr);
    const uint8_t digests[2][16] = {{1}, {2}};
    master::InstallPackage(package.c_str(), target.c_str(), 64, digests);
    return 0;
  }
  Client().protocol.connection.frames_received = 1;
  master::DropUpdateTransfer();
  Client().master.update.last_request = 0;
  for (size_t at = 1; at < size;) {
    size_t length = data[at++];
    if (length > size - at) length = size - at;
    std::vector<uint8_t> payload(data + at, data + at + length);
    at += length;
    payload.push_back(0);
    TestClock::now += 1000;
    DispatchPayload(host, static_cast<int32_t>(payload.size()), payload.data(), TestClock::now);
  }
  module->Cycles(1);
  return 0;
}
