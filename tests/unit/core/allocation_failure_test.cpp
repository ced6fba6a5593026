// A whole session (server frames, console lines, rules, a screenshot, a
// master transfer, a streamed update and its installation) played again and
// again with the module's nth allocation failing, once or from then on:
// the module never crashes or leaks (the sanitizer build checks that), and
// once memory is back it still answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/client_state.h"
#include "master/modules.h"
#include "platform/platform.h"
#include "support/master_peer.h"
#include "support/module_test.h"
#include "unit/master/package_text.h"
#include "util/memory.h"

namespace {

struct Failing {
  int count = 0;         // allocations since the session began
  int fail_at = 0;       // 0: none fails
  bool onwards = false;  // every allocation from fail_at on fails
  std::set<const void*> sites;
};
Failing g_failing;

bool CountAndFail(size_t, const void* site) {
  ++g_failing.count;
  g_failing.sites.insert(site);
  if (g_failing.fail_at == 0) return true;
  return g_failing.onwards ? g_failing.count < g_failing.fail_at : g_failing.count != g_failing.fail_at;
}

class AllocationFailure : public ConnectedTest {
 protected:
  // Offers an event as the game does; without memory for its copy the
  // module refuses it, which is no failure of the test.
  void Offer(int32_t code, const void* data, size_t length) {
    cb(&host.record, code, static_cast<int32_t>(length), data, 0);
  }
  void Frame(const std::string& payload) {
    const Bytes frame = PeerPlainFrame(Client().channel.client_ident, ToBytes(payload));
    Offer(TG_EVENT_SERVER_PACKET, frame.data(), frame.size());
  }
  void Frame(const Bytes& payload) {
    Bytes with_nul = payload;
    with_nul.push_back(0);
    const Bytes frame = PeerPlainFrame(Client().channel.client_ident, with_nul);
    Offer(TG_EVENT_SERVER_PACKET, frame.data(), frame.size());
  }
  void Console(const std::string& line) { Offer(TG_EVENT_CONSOLE_LINE, line.c_str(), line.size()); }
  static bool ScreenshotsAtWork() {
    for (const ScreenshotSlot& slot : Client().screenshots.slots)
      if (slot.state != kSlotFree && slot.state != kSlotDone && slot.state != kSlotSending) return true;
    return false;
  }
  // Cycles with a game's frames between them (which ready a screenshot's
  // fresh memory).
  void Play(int cycles) {
    for (int i = 0; i < cycles; ++i) {
      Cycle(250);
      for (int frame = 0; frame < 3; ++frame) Cycle(1);
    }
  }

  void Session() {
    Console("tg_Security 0");  // the package below is listed nowhere
    Frame("CS 1092 1276 0 1001 77 154 2767692 A1B2C3D4E5F60718293A4B5C6D7E8F90");
    Frame("K1 r_picmip in 0 3\n1 cl_maxpackets in 60 125\n2");
    Console("tg_Ver");
    Console("tg_SsOptions 40 30 50 50 1");
    Console("tg_GetSs");
    Frame("I0 0 9 64 48 50 50 1");
    // The requests are taken in, then the cycles go on until one screenshot
    // is saved and the other is being sent (or they are dropped for want of
    // memory).
    Play(4);
    for (int i = 0; i < 200 && ScreenshotsAtWork(); ++i) Play(1);
    // A compressed module file from a master, in three blocks.
    std::string file(2500, '\0');
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 31 % 251);
    for (const std::string& datagram : MasterFileDatagrams(77, file, "dll\\tgextra.dll", true))
      Offer(TG_EVENT_SERVER_PACKET, datagram.data(), datagram.size());
    Play(4);
    // The server streams an update package; the next hello asks for its
    // version, so it is unpacked and installed.
    const std::string package = PackageOf(file);
    const std::string name = std::string(1, master::kPlatformLetter) + "a001301.htm";
    Frame("G" + std::to_string(package.size()) + " " + Md5Hex(package) + " " + name);
    for (const Bytes& chunk : UpdateChunks(package)) Frame(chunk);
    Play(2);
    Frame("CS 1092 1276 1301 1001 77 154 2767692 A1B2C3D4E5F60718293A4B5C6D7E8F90");
    Play(8);
  }
};

}  // namespace

TEST_F(AllocationFailure, EveryAllocationOfASessionMayFail) {
  g_failing = Failing();
  MemorySetFailureHook(CountAndFail);
  Session();
  MemorySetFailureHook(nullptr);
  const int total = g_failing.count;
  const size_t sites = g_failing.sites.size();
  ASSERT_GE(total, 20);
  // Everything the session does happened when memory was plentiful.
  EXPECT_TRUE(std::filesystem::exists(HomeFile("dll/tgextra.dll")));
  if (PlatformTestDisplay() != nullptr) {
    EXPECT_FALSE(std::filesystem::is_empty(HomeFile("scrnshot")));
  }
  EXPECT_EQ(Client().protocol.connection.server_agent_version, 1301);
  EXPECT_TRUE(std::filesystem::exists(HomeFile("dll/" + std::string(1, master::kPlatformLetter) + "a001301.dll")));
  printf("the session makes %d allocations from %zu places\n", total, sites);

  for (bool onwards : {false, true}) {
    for (int n = 1; n <= total; ++n) {
      ConnectedTest::TearDown();
      ConnectedTest::SetUp();
      g_failing = Failing();
      g_failing.fail_at = n;
      g_failing.onwards = onwards;
      MemorySetFailureHook(CountAndFail);
      Session();
      MemorySetFailureHook(nullptr);
      Cycle(250);
      // The player was told; with memory back, the module answers at once.
      bool told = false;
      for (const std::string& line : host.prints) told |= line.rfind("Out of memory: ", 0) == 0;
      EXPECT_TRUE(told) << "failing allocation " << n << (onwards ? " onwards" : "");
      const std::vector<std::string> printed = Run("tg_Ver");
      ASSERT_FALSE(printed.empty()) << "failing allocation " << n << (onwards ? " onwards" : "");
      EXPECT_NE(printed.back().find("Tallyguard Client (v1.276"), std::string::npos)
          << "failing allocation " << n << (onwards ? " onwards" : "") << ": " << printed.back();
    }
  }
}
