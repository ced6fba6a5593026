// A started module for the benchmarks: a fake host that records nothing, a
// fixed clock and a scratch home directory. With a server address the
// module is connected and the server has spoken.
#pragma once

#include <filesystem>
#include <string>

#include "core/client_state.h"
#include "platform/platform.h"
#include "support/fake_host.h"

struct BenchModule {
  FakeHost host;
  std::string home;

  explicit BenchModule(const char* scratch, const char* server_address = nullptr) : home(scratch) {
    ResetClientState();
    TestClock::now = 5000000;
    TestClock::step_ms = 0;
    PlatformSetTickSource(TestClock::Read);
    std::filesystem::create_directories(home);
    host.cvars["fs_homepath"] = home;
    host.cvars["cl_tallyguard"] = "1";
    if (server_address != nullptr) host.server_address = server_address;
    host.keep_prints = false;
    ca(&host.record, 0);
    if (server_address != nullptr) {
      Client().protocol.connection.frames_received = 1;
      Client().protocol.connection.hello_seen = 1;
    }
  }
  ~BenchModule() {
    ResetClientState();
    PlatformSetTickSource(nullptr);
    std::filesystem::remove_all(home);
  }
};
