// A scripted game for unit tests: console variables, captured prints,
// keywords and frames, and a controllable clock.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tallyguard/host_interface.h"

class FakeHost {
 public:
  FakeHost();
  ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  HostInterface record;
  std::map<std::string, std::string> cvars;  // answered through query 103
  std::string server_address = TG_NO_SERVER_ADDRESS;
  intptr_t report_result = 0;  // query 115
  std::string report_text;

  std::vector<std::string> prints;
  std::vector<std::pair<std::string, std::string>> keywords;
  std::vector<std::vector<uint8_t>> frames;      // HostSend
  std::vector<std::vector<uint8_t>> oob_frames;  // HostSendOutOfBand
  std::string oob_address;
  int32_t oob_port = 0;
  std::map<int32_t, int> query_counts;
  bool keep_prints = true;  // benchmarks switch the record of prints off

  // True when some printed line equals text.
  bool Printed(const std::string& text) const;
  int CountPrinted(const std::string& text) const;

  static FakeHost* current;
};

// The test clock: PlatformTick reads it. Each read adds step_ms afterwards.
struct TestClock {
  static uint32_t now;
  static uint32_t step_ms;
  static uint32_t Read();
};

