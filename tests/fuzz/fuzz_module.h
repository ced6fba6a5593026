// A started, connected module on a fake host, for the fuzz targets.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "core/client_state.h"
#include "platform/platform.h"
#include "support/fake_host.h"

class FuzzModule {
 public:
  FuzzModule() {
    PlatformSetFaultGuard(0);  // a fault in a cycle is a finding, not a notice
    TestClock::now = 5000000;
    PlatformSetTickSource(TestClock::Read);
    // A run starts from an empty home, whatever earlier runs left there.
    std::error_code ignored;
    std::filesystem::remove_all(kHome, ignored);
    std::filesystem::create_directories(kHome, ignored);
    host_.cvars["fs_homepath"] = kHome;
    host_.cvars["cl_tallyguard"] = "1";
    host_.cvars["r_picmip"] = "1";
    host_.server_address = "127.0.0.1:27960";
    host_.keep_prints = false;
    host_.bindings = {{178, "MOUSE1", "+attack"}, {32, "SPACE", "+moveup"}};
    host_.user_cvars = {{"mine", 0x80}};
    host_.changed_cvars = {{"rate", "9000"}};
    host_.resources = {"fs_game base 1"};
    SmallDisplay();
    ca(&host_.record, 0);
  }
  // The module the inputs of a run share. Every kRenewEvery inputs it starts
  // again from an empty home, so that what a long run piles up there
  // (registered names, saved screenshots, the log page) stays small and an
  // input costs the same at the ten millionth as at the first.
  static FuzzModule* Shared() {
    static FuzzModule* module = nullptr;
    static int inputs = 0;
    if (module != nullptr && ++inputs % kRenewEvery == 0) {
      delete module;
      module = nullptr;
      ResetClientState();
    }
    if (module == nullptr) module = new FuzzModule();
    return module;
  }
  static constexpr int kRenewEvery = 20000;

  HostInterface* Host() { return &host_.record; }
  FakeHost& Fake() { return host_; }
  // Lets the cycle run its main work and event walk.
  void Cycles(int count) {
    for (int i = 0; i < count; ++i) {
      TestClock::now += 61;
      ca(&host_.record, 0);
    }
    host_.frames.clear();
    host_.oob_frames.clear();
    host_.game_commands.clear();
    host_.keywords.clear();
  }

  static constexpr const char* kHome = TG_FUZZ_HOME;

  // A display a few capture slices large: screenshots still take several
  // cycles, yet a run reaches millions of inputs.
  static void SmallDisplay() {
    PlatformStandInDisplay* display = PlatformTestDisplay();
    display->width = 400;
    display->height = 300;
    display->window = {1, 1, 0, 0, 400, 300};
  }

 private:
  FakeHost host_;
};
