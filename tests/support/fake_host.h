// A scripted game for unit tests: console variables, captured prints,
// keywords and frames, and a controllable clock.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tallyguard/host_interface.h"

intptr_t TG_CALL FakeHostQuery(int32_t code, char* buffer);

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
  std::vector<std::string> print_prefixes;  // the record's prefix at each print
  std::vector<std::pair<std::string, std::string>> keywords;
  std::vector<std::vector<uint8_t>> frames;      // HostSend
  std::vector<std::vector<uint8_t>> oob_frames;  // HostSendOutOfBand
  std::string oob_address;
  int32_t oob_port = 0;
  std::map<int32_t, int> query_counts;

  // Key bindings (queries 106 to 108), user-created cvars with their flags
  // (110), changed cvars with their values (111), resource lines (118).
  struct Binding {
    int key;
    std::string name;
    std::string command;
  };
  std::vector<Binding> bindings;
  std::vector<std::pair<std::string, int>> user_cvars;
  std::vector<std::pair<std::string, std::string>> changed_cvars;
  std::vector<std::string> resources;

  // The second host table with its game-command operation.
  void OfferGameCommand();
  std::vector<std::pair<std::string, std::string>> game_commands;
  bool keep_prints = true;  // benchmarks switch the record of prints off

  void ClearPrints() {
    prints.clear();
    print_prefixes.clear();
  }
  // True when some printed line equals text.
  bool Printed(const std::string& text) const;
  int CountPrinted(const std::string& text) const;

  static FakeHost* current;

 private:
  size_t search_position_ = 0;
  size_t user_position_ = 0;
  size_t changed_position_ = 0;
  uint32_t second_table_[128] = {};
  friend intptr_t TG_CALL FakeHostQuery(int32_t code, char* buffer);
};

// The test clock: PlatformTick reads it. Each read adds step_ms afterwards.
struct TestClock {
  static uint32_t now;
  static uint32_t step_ms;
  static uint32_t Read();
};

