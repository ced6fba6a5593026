// Any console line, from the player and from the server side.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_module.h"
#include "routing/console_words.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzModule* module = FuzzModule::Shared();
  if (size > 6000) return 0;
  std::string line(reinterpret_cast<const char*>(data), size);
  // Keep the fuzzer from switching the module off or renaming its files away.
  if (line.find("isable") != std::string::npos || line.find("RegNameFn") != std::string::npos) return 0;
  Client().protocol.connection.frames_received = 1;
  std::string copy = line;
  DispatchLine(module->Host(), static_cast<int32_t>(copy.size()), &copy[0], 0, size % 2, TestClock::now);
  cb(module->Host(), TG_CODE_COMPLETE, 0, std::string(line.substr(0, 255)).append(256, '\0').data(), 0);
  module->Cycles(1);
  return 0;
}
