// Every writer of the module meets a disk that refuses it: the file cannot be
// created or opened, its writes fail (a full disk), or it cannot be put in
// place. The old file stays whole, nothing half-written is left under the
// real name or beside it, the player is told, and the module goes on.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/client_state.h"
#include "master/database.h"
#include "master/modules.h"
#include "platform/platform.h"
#include "screenshot/screenshot_state.h"
#include "support/master_peer.h"
#include "support/module_test.h"
#include "unit/master/package_text.h"

namespace {

PlatformFileOperation g_operation = kFileCreate;
std::string g_failing;  // the last part of the path that fails

bool FailOne(PlatformFileOperation operation, const char* path) {
  if (operation != g_operation) return false;
  const std::string text(path);
  std::string name = text.substr(text.find_last_of("\\/") + 1);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) name.resize(name.size() - 4);
  return name == g_failing;
}

void FixedLocalTime(PlatformLocalTime* out) { *out = {2026, 3, 4, 9, 5, 7}; }

class DiskFailure : public ConnectedTest {
 protected:
  void SetUp() override {
    ConnectedTest::SetUp();
    PlatformSetLocalTimeSource(FixedLocalTime);
    Client().protocol.connection.frames_received = 1;
    Client().protocol.connection.hello_seen = 1;
  }
  void TearDown() override {
    PlatformSetFileFaultHook(nullptr);
    ConnectedTest::TearDown();
  }
  void Play(int cycles) {
    for (int i = 0; i < cycles; ++i) Cycle(250);
  }
  void Datagrams(const std::vector<std::string>& datagrams) {
    for (const std::string& datagram : datagrams)
      cb(&host.record, TG_EVENT_SERVER_PACKET, static_cast<int32_t>(datagram.size()), datagram.data(), 0);
    Play(6);
  }
  void Screenshot() {
    Run("tg_GetSs");
    for (int i = 0; i < 600 && Client().screenshots.slots[0].state != kSlotDone; ++i) Cycle(250);
  }
};

struct Writer {
  const char* what;
  std::string file;  // under the home folder, '/' between folders
  bool appends;      // adds to the file rather than replacing it
  std::function<void()> write;
};

}  // namespace

TEST_F(DiskFailure, EveryWriterLeavesTheOldFileWholeAndSaysSo) {
  const std::string letter(1, master::kPlatformLetter);
  std::string module(3000, '\0');
  for (size_t i = 0; i < module.size(); ++i) module[i] = static_cast<char>(i * 7 % 253);
  const std::string package = PackageOf(module);
  const std::vector<Writer> writers = {
      {"settings", "tgcl.cfg", false, [this] { Run("tg_WriteCfg"); }},
      {"registered names", "regname.dat", false, [this] { Run("tg_RegNameFull Player secret"); }},
      {"master table", "tgcl.db", false, [this] { master::SaveServerDatabase(); }},
      {"name cache", "tgns.dat", false,
       [this] { Datagrams(MasterFileDatagrams(31, "\x01\x02\x03\x04\x05\x06\x07\x08", "tgns.dat", false)); }},
      {"master file", "dll/tgextra.dll", false,
       [&] { Datagrams(MasterFileDatagrams(32, module, "dll\\tgextra.dll", true)); }},
      {"screenshot", "scrnshot/0304_000.png", false, [this] { Screenshot(); }},
      {"screenshot page", "scrnshot/0304_000.htm", false, [this] { Screenshot(); }},
      {"screenshot log", "tgsslog.htm", true, [this] { Screenshot(); }},
      {"download", "htm/" + letter + "a001301.htm", false,
       [&] {
         DeliverPlain("G" + std::to_string(package.size()) + " " + Md5Hex(package) + " " + letter + "a001301.htm");
         for (const Bytes& chunk : UpdateChunks(package)) DeliverPlain(chunk);
       }},
      {"installed module", "dll/" + letter + "a001301.dll", false,
       [&] {
         Run("tg_Security 0");
         WriteHome("htm/" + letter + "a001301.htm", package);
         (void)master::LoadAgentVersion(&host.record, 1301, false);
       }},
  };
  struct Fault {
    PlatformFileOperation operation;
    const char* what;
  };
  const Fault faults[] = {{kFileCreate, "cannot be created"},
                          {kFileOpen, "cannot be opened"},
                          {kFileWrite, "writes fail"},
                          {kFileReplace, "cannot be put in place"}};
  for (const Writer& writer : writers) {
    // Screenshots are read from the stand-in display, which only the POSIX
    // build has; the Windows build reads a real screen.
    if (std::string(writer.what).find("screenshot") == 0 && PlatformTestDisplay() == nullptr) continue;
    // With a sound disk the writer does write its file.
    ConnectedTest::TearDown();
    SetUp();
    std::filesystem::create_directories(std::filesystem::path(HomeFile(writer.file)).parent_path());
    writer.write();
    EXPECT_TRUE(std::filesystem::exists(HomeFile(writer.file))) << writer.what << " wrote nothing";
    for (const Fault& fault : faults) {
      // Replacing writers create a file beside theirs; appending ones open
      // their own: each meets the faults that can reach it.
      if (writer.appends ? fault.operation == kFileCreate || fault.operation == kFileReplace
                         : fault.operation == kFileOpen)
        continue;
      const std::string label = std::string(writer.what) + ", " + fault.what;
      ConnectedTest::TearDown();
      SetUp();
      std::filesystem::create_directories(std::filesystem::path(HomeFile(writer.file)).parent_path());
      const std::string old = "the old " + std::string(writer.what) + "\r\n";
      WriteHome(writer.file, old);
      const bool was_there = writer.file.find("0304_000") == std::string::npos;  // a screenshot takes a free name
      if (!was_there) std::filesystem::remove(HomeFile(writer.file));
      g_operation = fault.operation;
      g_failing = writer.file.substr(writer.file.find_last_of('/') + 1);
      PlatformSetFileFaultHook(FailOne);
      host.ClearPrints();
      writer.write();
      PlatformSetFileFaultHook(nullptr);
      const std::vector<std::string> printed = host.prints;

      if (was_there) {
        EXPECT_EQ(ReadHome(writer.file), old) << label;
      } else {
        EXPECT_FALSE(std::filesystem::exists(HomeFile(writer.file))) << label;
      }
      EXPECT_FALSE(std::filesystem::exists(HomeFile(writer.file + ".tmp"))) << label;
      bool told = false;
      for (const std::string& line : printed)
        told |= line.find("cannot") != std::string::npos || line.find("ERROR") != std::string::npos;
      std::string all;
      for (const std::string& line : printed) all += "\n  " + line;
      EXPECT_TRUE(told) << label << all;
      // The module goes on: with the disk back, the same work succeeds.
      const std::vector<std::string> version = Run("tg_Ver");
      ASSERT_FALSE(version.empty()) << label;
      EXPECT_NE(version.back().find("Tallyguard Client (v1.276"), std::string::npos) << label;
    }
  }
}
