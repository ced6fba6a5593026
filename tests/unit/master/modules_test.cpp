#include "master/modules.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/client_state.h"
#include "master/database.h"
#include "support/module_test.h"
#include "unit/master/package_text.h"
#include "util/seeded_md5.h"

using namespace master;

namespace {

std::string ReadBinary(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The agent and client files of a version, as the module names them.
std::string Name(bool package, char kind, int version) {
  char name[64];
  snprintf(name, sizeof name, package ? "htm/%c%c%06d.htm" : "dll/%c%c%06d.dll", kPlatformLetter, kind, version);
  return name;
}

class Modules : public ConnectedTest {
 protected:
  void SetUp() override {
    ConnectedTest::SetUp();
    Client().protocol.connection.frames_received = 1;
    agent_1300 = ReadBinary(TG_AGENT_1300);
    agent_1301 = ReadBinary(TG_AGENT_1301);
    ASSERT_FALSE(agent_1300.empty());
  }
  void TearDown() override {
    if (host.record.agent_handle != nullptr) PlatformFreeLibrary(host.record.agent_handle);
    host.record.agent_handle = nullptr;
    ConnectedTest::TearDown();
  }
  // The master table lists a module version with its size and digests.
  void List(char kind, int version, const std::string& module) {
    std::string text = "<p> S 2 master.tallyguard.invalid 16567 0\r\n<p> F " + std::string(1, kind) + " " +
                       std::string(1, static_cast<char>(kPlatformLetter - 'a' + 'A')) + " " + std::to_string(version) +
                       " ";
    char size[16];
    snprintf(size, sizeof size, "%zX", module.size());
    text += std::string(size) + " " + Md5Hex(module) + " " + Md5Hex(module.substr(1));
    WriteHome("tgcl.db", text);
    LoadServerDatabase(&host.record);
  }
  std::vector<std::string> Reports() {
    Flush();
    std::vector<std::string> out;
    for (const PeerFrame& frame : TakeFrames()) out.push_back(frame.Text());
    return out;
  }
  std::string agent_1300, agent_1301;
};

}  // namespace

TEST_F(Modules, AgentVersionsLoadFromTheirFileOrTheirCheckedPackage) {
  EXPECT_EQ(LoadAgentVersion(&host.record, 0, false), ModuleOutcome::kRefused);
  EXPECT_TRUE(host.Printed("Invalid Agent Version Requested: 0"));
  // An unpacked file of the right version, listed by a master, is copied
  // into place and loaded.
  WriteHome(Name(false, 'a', 1300), agent_1300);
  List('A', 1300, agent_1300);
  EXPECT_EQ(LoadAgentVersion(&host.record, 1300, false), ModuleOutcome::kReady);
  EXPECT_EQ(Client().master.agent.version, 1300);
  EXPECT_NE(host.record.agent_handle, nullptr);
  EXPECT_TRUE(ReadHome("tgag.dll") == agent_1300);
  // A package: with tg_Security only when the master table lists it.
  WriteHome(Name(true, 'a', 1301), PackageOf(agent_1301));
  EXPECT_EQ(LoadAgentVersion(&host.record, 1301, false), ModuleOutcome::kRefused);
  EXPECT_FALSE(std::filesystem::exists(HomeFile(Name(false, 'a', 1301))));
  List('A', 1301, agent_1300);  // listed, but with another module's size and digests
  EXPECT_EQ(LoadAgentVersion(&host.record, 1301, false), ModuleOutcome::kNotReady);
  List('A', 1301, agent_1301);
  EXPECT_EQ(LoadAgentVersion(&host.record, 1301, false), ModuleOutcome::kReady);
  EXPECT_EQ(Client().master.agent.version, 1301);
  EXPECT_TRUE(ReadHome("tgag.dll") == agent_1301);
  // With tg_Security an unpacked file that is not the listed one is never
  // loaded: the package is installed over it.
  WriteHome(Name(false, 'a', 1300), agent_1301);
  WriteHome(Name(true, 'a', 1300), PackageOf(agent_1300));
  List('A', 1300, agent_1300);
  EXPECT_EQ(LoadAgentVersion(&host.record, 1300, false), ModuleOutcome::kReady);
  EXPECT_TRUE(ReadHome(Name(false, 'a', 1300)) == agent_1300);
  // In LAN mode nothing is checked against the table.
  Run("TG_LAN 1");
  std::filesystem::remove(HomeFile(Name(false, 'a', 1300)));
  Run("tg_Security 1");
  EXPECT_EQ(LoadAgentVersion(&host.record, 1301, false), ModuleOutcome::kReady);  // no longer listed, but in LAN mode
  EXPECT_EQ(Client().master.agent.version, 1301);
}

TEST_F(Modules, ModulesThatAreNotTheVersionAskedForLeaveTheInstalledAgentAlone) {
  Run("TG_LAN 1");  // nothing is checked against the table: only the probe decides
  WriteHome(Name(false, 'a', 1300), agent_1300);
  ASSERT_EQ(LoadAgentVersion(&host.record, 1300, false), ModuleOutcome::kReady);
  struct Case {
    const char* what;
    std::string file;
  };
  const Case cases[] = {
      {"no module at all", "this is not a module"},
      {"a module of another version", agent_1300},
  };
  for (const Case& c : cases) {
    WriteHome(Name(false, 'a', 1301), c.file);
    EXPECT_EQ(LoadAgentVersion(&host.record, 1301, false), ModuleOutcome::kNotReady)
        << c.what;  // and no package to install
    EXPECT_TRUE(ReadHome("tgag.dll") == agent_1300) << c.what;
    EXPECT_EQ(Client().master.agent.version, 1300) << c.what;  // still the installed one
  }
}

TEST_F(Modules, ReconcileReportsWhatItCannotLoadAndDistressesWhatNoMasterKnows) {
  auto& connection = Client().protocol.connection;
  connection.server_agent_version = 1301;
  connection.server_client_version = 1276;
  Run("tg_Security 0");
  Reports();
  // No file and no package: reported, at most every 3000 ms.
  ReconcileModules(&host.record, TestClock::now);
  ReconcileModules(&host.record, TestClock::now + 100);
  std::string letter(1, kPlatformLetter);
  EXPECT_EQ(Reports(), std::vector<std::string>{"E" + letter + " 1301 0"});
  // With tg_Security, an unlisted version distresses: every 30000 ms, the
  // line from the second time on, the masters asked each time.
  Run("tg_Security 1");
  WriteHome("tgcl.db", "<p> S 7 127.0.0.1 27999 0");
  LoadServerDatabase(&host.record);
  host.ClearPrints();
  host.oob_frames.clear();
  ReconcileModules(&host.record, TestClock::now);
  EXPECT_FALSE(host.Printed("TG Client in Distress - Cannot Authenticate with TG Server (A1301)"));
  EXPECT_EQ(host.oob_frames.size(), 1u);
  ReconcileModules(&host.record, TestClock::now + 1000);
  EXPECT_EQ(host.oob_frames.size(), 1u);
  TestClock::now += 30001;
  ReconcileModules(&host.record, TestClock::now);
  EXPECT_TRUE(host.Printed("TG Client in Distress - Cannot Authenticate with TG Server (A1301)"));
  EXPECT_EQ(host.oob_frames.size(), 2u);
  EXPECT_EQ(host.oob_address, "127.0.0.1");
  EXPECT_EQ(Client().master.agent.distress_count, 2);
}

// Reconcile distresses again only when more than 30000 ms have passed since
// the last distress, for the agent and for the client alike.
TEST_F(Modules, ReconcileDistressesAgainOnlyAfterMoreThanThirtySeconds) {
  struct Case {
    int32_t after_ms;
    bool again;
  };
  const Case cases[] = {{29999, false}, {30000, false}, {30001, true}};
  for (char kind : {'A', 'C'}) {
    for (const Case& c : cases) {
      auto& connection = Client().protocol.connection;
      connection.server_agent_version = kind == 'A' ? 1301 : 0;
      connection.server_client_version = kind == 'C' ? 1301 : 0;
      Client().master.agent.last_distress = 0;
      Client().master.agent.distress_count = 0;
      WriteHome("tgcl.db", "<p> S 7 127.0.0.1 27999 0");
      LoadServerDatabase(&host.record);
      Run("tg_Security 1");
      host.ClearPrints();
      host.oob_frames.clear();
      const uint32_t first = TestClock::now;
      ReconcileModules(&host.record, first);
      ASSERT_EQ(host.oob_frames.size(), 1u) << kind;
      ReconcileModules(&host.record, first + static_cast<uint32_t>(c.after_ms));
      const std::string line =
          std::string("TG Client in Distress - Cannot Authenticate with TG Server (") + kind + "1301)";
      EXPECT_EQ(host.Printed(line), c.again) << kind << " after " << c.after_ms;
      EXPECT_EQ(host.oob_frames.size(), c.again ? 2u : 1u) << kind << " after " << c.after_ms;
      EXPECT_EQ(Client().master.agent.distress_count, c.again ? 2 : 1) << kind << " after " << c.after_ms;
      TestClock::now += 100000;
    }
  }
}

// Without tg_Security every hello that names another version tries its
// package again; a package file that gave nothing and has not changed since
// (size and write time) is not read and unpacked again.
TEST_F(Modules, UnchangedPackageThatGaveNothingIsNotReadAgain) {
  Run("tg_Security 0");
  const std::string good = PackageOf(agent_1301);
  std::string broken = good;
  const size_t digit = broken.find("<P>") + 10;
  broken[digit] = broken[digit] == '0' ? '1' : '0';  // same size, digest A no longer matches
  const std::string package = HomeFile(Name(true, 'a', 1301));
  WriteHome(Name(true, 'a', 1301), broken);
  // Both contents get the same write time, set the same way (its precision
  // differs between systems).
  const auto written = std::filesystem::last_write_time(package) - std::chrono::hours(1);
  std::filesystem::last_write_time(package, written);
  EXPECT_EQ(LoadAgentVersion(&host.record, 1301, false), ModuleOutcome::kNotReady);
  // The good package under the same size and time: taken for the same file.
  WriteHome(Name(true, 'a', 1301), good);
  std::filesystem::last_write_time(package, written);
  EXPECT_EQ(LoadAgentVersion(&host.record, 1301, false), ModuleOutcome::kNotReady);
  EXPECT_FALSE(std::filesystem::exists(HomeFile(Name(false, 'a', 1301))));
  // A new write time: read again, installed and loaded.
  std::filesystem::last_write_time(package, written + std::chrono::seconds(2));
  EXPECT_EQ(LoadAgentVersion(&host.record, 1301, false), ModuleOutcome::kReady);
  EXPECT_EQ(Client().master.agent.version, 1301);
}

TEST_F(Modules, NewerClientIsPreparedForTheHost) {
  EXPECT_EQ(PrepareClientVersion(&host.record, 1276, false), ModuleOutcome::kReady);
  EXPECT_FALSE(std::filesystem::exists(HomeFile("tgclnew.dll")));
  // The stand-in newer client answers "cb" code 17 with 1300.
  WriteHome(Name(false, 'c', 1301), agent_1300);  // a file of another version
  Run("tg_Security 0");
  EXPECT_EQ(PrepareClientVersion(&host.record, 1301, false), ModuleOutcome::kNotReady);
  EXPECT_FALSE(std::filesystem::exists(HomeFile("tgclnew.dll")));
  EXPECT_FALSE(std::filesystem::exists(HomeFile(Name(false, 'c', 1301))));
  EXPECT_EQ(host.record.new_client_ready, 0);
  WriteHome(Name(false, 'c', 1300), agent_1300);
  EXPECT_EQ(PrepareClientVersion(&host.record, 1300, false), ModuleOutcome::kReady);
  EXPECT_EQ(host.record.new_client_ready, 1);
  EXPECT_TRUE(ReadHome("tgclnew.dll") == agent_1300);
}

TEST_F(Modules, AgentRequestsReachTheAgent) {
  host.ClearPrints();
  DeliverPlain("N5 hello");
  EXPECT_TRUE(host.Printed("ERROR loading tgag.dll (A)"));
  // With tg_Security an agent file is checked before every load: one that
  // no master lists is never loaded, however it got there.
  WriteHome("tgag.dll", agent_1300);
  host.ClearPrints();
  DeliverPlain("N5 hello");
  EXPECT_TRUE(host.Printed("ERROR loading tgag.dll (A)"));
  EXPECT_EQ(host.record.agent_handle, nullptr);
  List('A', 1300, agent_1300);
  host.ClearPrints();
  DeliverPlain("N5 hello");
  EXPECT_TRUE(host.Printed("ERROR: agent 1300 refuses: hello"));
  DeliverPlain("N3 fine");
  EXPECT_NE(host.record.agent_handle, nullptr);
  DeliverPlain("N78");
  EXPECT_EQ(host.record.agent_handle, nullptr);
}
