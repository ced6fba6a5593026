// Any bytes from the game server: framed as they come, inside a plain frame
// with the module's ident, and inside a frame scrambled with its key.
#include <cstdint>
#include <cstring>
#include <vector>

#include "channel/framing.h"
#include "channel/wire_format.h"
#include "fuzz_module.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzModule* module = FuzzModule::Shared();
  if (size == 0 || size > 4000) return 0;
  HostInterface* host = module->Host();
  Client().protocol.connection.frames_received = 1;
  std::vector<uint8_t> frame;
  switch (data[0] % 3) {
    case 0:
      frame.assign(data + 1, data + size);
      break;
    case 1: {
      frame.resize(wire::kFrameBufferSize);
      const int32_t n = static_cast<int32_t>(size - 1 > 1100 ? 1100 : size - 1);
      frame.resize(static_cast<size_t>(wire::BuildPlainFrame(Client().channel.client_ident, data + 1, n, frame.data())));
      break;
    }
    default: {
      frame.resize(wire::kFrameBufferSize);
      const int32_t n = static_cast<int32_t>(size - 1 > 1100 ? 1100 : size - 1);
      frame.resize(static_cast<size_t>(wire::BuildScrambledFrame(ChannelKey(), data + 1, n, frame.data())));
      break;
    }
  }
  cb(host, TG_EVENT_SERVER_PACKET, static_cast<int32_t>(frame.size()), frame.data(), 1);
  module->Cycles(3);
  return 0;
}
