#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "channel/framing.h"
#include "core/client_state.h"
#include "master/exchange.h"
#include "support/module_test.h"

using CycleTest = ModuleTest;

TEST_F(CycleTest, DisabledModuleCreatesNothingButAnswersLines) {
  EXPECT_EQ(ca(&host.record, 0), 0);
  EXPECT_EQ(Client().core.initialised, 0);
  EXPECT_FALSE(std::filesystem::exists(home_base + "/tg"));
  EXPECT_EQ(Line("tg_Ver"), 0);
  EXPECT_EQ(Cycle(), 0);
  EXPECT_TRUE(host.Printed("Tallyguard Client is currently Disabled"));
  EXPECT_EQ(host.record.message_prefix[0], '\0');
  // The operations are installed even while disabled.
  EXPECT_NE(host.record.digest_hex, nullptr);
  EXPECT_NE(host.record.annotate_connect, nullptr);
}

TEST_F(CycleTest, FirstCallInitialisesAndRunsAFullCycle) {
  StartModule();
  EXPECT_EQ(Client().settings.enabled, 1);
  for (const char* dir : {"", "scrnshot", "dll", "htm"})
    EXPECT_TRUE(std::filesystem::is_directory(HomeFile(dir))) << dir;
  EXPECT_EQ(std::string(Client().output.home_dir), home_base + "\\tg\\");
  EXPECT_STREQ(host.record.message_prefix, "[skipnotify]Tallyguard Client");
  EXPECT_TRUE(host.Printed("Tallyguard Client (v1.276 | A0) Enabled"));
  EXPECT_TRUE(host.Printed("Game Version [unknown]"));
  // Once inside initialisation, once more as the first cycle.
  EXPECT_EQ(Client().core.main_work_runs, 2u);
  EXPECT_EQ(Client().core.event_walks, 1u);
  EXPECT_NE(Client().channel.client_ident, 0u);
  EXPECT_EQ(Client().channel.outbound.Capacity(), 64);
  EXPECT_EQ(Client().integrity.agent_data.Capacity(), 1024);
  // The first master query falls due two minutes after start-up.
  EXPECT_EQ(TestClock::now - Client().master.exchange.last_query_time, kMasterQueryPeriodMs - 120000u);
  EXPECT_EQ(host.record.digest_hex(std::string("abc").c_str(), 3, 0),
            std::string("900150983CD24FB0D6963F7D28E17F72"));
  EXPECT_EQ(host.record.module_slot2(4, 5), 0);
}

TEST_F(CycleTest, PacesAndAlternatesMainWorkAndEventWalk) {
  StartModule();
  ClientState& state = Client();
  uint32_t main_runs = state.core.main_work_runs, walks = state.core.event_walks;

  EXPECT_EQ(Cycle(59), 0);  // sooner than tg_Sleep: only the connection watch
  EXPECT_EQ(state.core.main_work_runs, main_runs);
  EXPECT_EQ(state.core.event_walks, walks);
  const uint32_t watch_calls = state.core.watch_calls;

  struct Step {
    uint32_t advance;
    int main_work;
    int walk;
  } steps[] = {{1, 1, 0}, {60, 0, 1}, {60, 1, 0}, {30, 0, 0}, {30, 0, 1}};
  for (const Step& step : steps) {
    Cycle(step.advance);
    EXPECT_EQ(state.core.main_work_runs - main_runs, static_cast<uint32_t>(step.main_work));
    EXPECT_EQ(state.core.event_walks - walks, static_cast<uint32_t>(step.walk));
    main_runs = state.core.main_work_runs;
    walks = state.core.event_walks;
  }
  EXPECT_EQ(state.core.watch_calls, watch_calls + 5);
}

TEST_F(CycleTest, ConsoleLineForcesAFullCycleAtOnce) {
  StartModule();
  ClientState& state = Client();
  Cycle(60);  // main work only
  const uint32_t main_runs = state.core.main_work_runs, walks = state.core.event_walks;
  ASSERT_EQ(Line("tg_Ver"), 0);
  EXPECT_EQ(state.core.last_cycle_time, 0u);
  host.ClearPrints();
  Cycle(1);
  EXPECT_EQ(state.core.main_work_runs, main_runs + 1);
  EXPECT_EQ(state.core.event_walks, walks + 1);
  EXPECT_TRUE(host.Printed("Tallyguard Client (v1.276 | A0) Enabled"));
}

TEST_F(CycleTest, ConnectionWatchFollowsTheServerAddress) {
  StartModule();
  ClientState& state = Client();
  EXPECT_EQ(state.protocol.connection.connected, 0);
  EXPECT_TRUE(host.Printed("No game server"));

  host.server_address = "127.0.0.1:27960";
  Cycle(1);
  EXPECT_EQ(state.protocol.connection.connected, 1);
  EXPECT_TRUE(host.Printed("Game server 127.0.0.1:27960"));
  EXPECT_STREQ(state.protocol.connection.oob_address, "127.0.0.1");
  EXPECT_EQ(state.protocol.connection.oob_port, 27960);

  state.protocol.connection.frames_received = 3;
  host.server_address = "NIL";  // the no-server text, in any case
  Cycle(1);
  EXPECT_EQ(state.protocol.connection.connected, 0);
  EXPECT_EQ(state.protocol.connection.frames_received, 0);
  EXPECT_EQ(state.protocol.connection.oob_port, 0);

  host.server_address = "";
  Cycle(1);
  EXPECT_EQ(state.protocol.connection.connected, 0);
}

TEST_F(CycleTest, MainWorkSendsQueuedPayloadsOnlyWhileConnected) {
  StartModule();
  ClientState& state = Client();
  state.protocol.connection.frames_received = 1;  // the server has spoken
  QueuePayload("Zq", 3, 0, TestClock::now);
  Cycle(60);
  Cycle(60);
  EXPECT_TRUE(host.frames.empty());  // not connected: the queue waits

  host.server_address = "127.0.0.1:27960";
  Cycle(60);  // main work: the new connection has not heard the server, so the payload is dropped
  EXPECT_TRUE(host.frames.empty());
  EXPECT_EQ(static_cast<OutboundSlot*>(state.channel.outbound.Element(0))->length, 0);

  state.protocol.connection.frames_received = 1;
  QueuePayload("Zq", 3, 0, TestClock::now);
  Cycle(60);  // event walk
  Cycle(60);  // main work
  ASSERT_EQ(host.frames.size(), 1u);
  EXPECT_EQ(host.frames[0].size(), 3u + 8u);
}

TEST_F(CycleTest, GuidIsTakenFromTheHostFromTheFourthCallOn) {
  host.cvars[TG_GUID_CVAR] = "0123456789ABCDEF0123456789ABCDEF-and-more";
  StartModule();
  EXPECT_STREQ(Client().channel.player_guid, "");
  Cycle(1);
  Cycle(1);
  EXPECT_STREQ(Client().channel.player_guid, "");
  Cycle(1);
  EXPECT_STREQ(Client().channel.player_guid, "0123456789ABCDEF0123456789ABCDEF");
}

TEST_F(CycleTest, HostReportEveryThirtySecondsWhileConnected) {
  host.server_address = "127.0.0.1:27960";
  host.report_result = 1;
  host.report_text = "something";
  StartModule();
  Client().protocol.connection.frames_received = 1;
  EXPECT_EQ(host.query_counts[TG_QUERY_REPORT], 1);
  for (int i = 0; i < 10; ++i) Cycle(1000);
  EXPECT_EQ(host.query_counts[TG_QUERY_REPORT], 1);
  ASSERT_EQ(host.frames.size(), 1u);
  EXPECT_EQ(host.frames[0][8], 'B');  // the report payload, not the host's text
  EXPECT_EQ(host.frames[0][9], 'H');
  EXPECT_EQ(host.frames[0].size(), 8u + 3u);
  Cycle(20000);  // 30 s after the first report
  EXPECT_EQ(host.query_counts[TG_QUERY_REPORT], 2);
  Cycle(60);
  Cycle(60);
  EXPECT_EQ(host.frames.size(), 2u);

  host.report_result = 0;  // nothing to report: nothing is queued
  Cycle(30000);
  Cycle(60);
  Cycle(60);
  EXPECT_EQ(host.query_counts[TG_QUERY_REPORT], 3);
  EXPECT_EQ(host.frames.size(), 2u);
}

TEST_F(CycleTest, HomeDirectorySources) {
  // A home path preset by the host wins.
  std::filesystem::create_directories(home_base + "/preset");
  strcpy(host.record.home_path, (home_base + "\\preset\\").c_str());
  StartModule();
  EXPECT_EQ(std::string(Client().output.home_dir), home_base + "\\preset\\");
  EXPECT_TRUE(std::filesystem::is_directory(home_base + "/preset/scrnshot"));
}

TEST_F(CycleTest, WorkingDirectoryWhenTheHostHasNoHomePath) {
  host.cvars.erase("fs_homepath");
  host.cvars["cl_tallyguard"] = "1";
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(home_base);
  EXPECT_EQ(ca(&host.record, 0), 0);
  std::filesystem::current_path(before);
  std::string home = Client().output.home_dir;
  ASSERT_GE(home.size(), 4u);
  EXPECT_EQ(home.substr(home.size() - 4), "\\tg\\");
  EXPECT_TRUE(std::filesystem::is_directory(home_base + "/tg/dll"));
}

TEST_F(CycleTest, MissingScreenInfoAndBadSecondTableAreReported) {
  static const uint32_t bad_table[80] = {0x11111111u};
  host.record.host_screen_info = nullptr;
  host.record.second_table = bad_table;
  StartModule();
  EXPECT_EQ(host.CountPrinted("Warning: Corrupted Interface"), 2);
  EXPECT_TRUE(host.Printed("Host command table not recognised (1111)"));
  EXPECT_EQ(Client().services.second_table, nullptr);
}

TEST_F(CycleTest, GoodSecondTableIsKept) {
  static uint32_t table[80] = {TG_SECOND_TABLE_MAGIC};
  host.record.second_table = table;
  StartModule();
  EXPECT_EQ(Client().services.second_table, table);
}

TEST_F(CycleTest, PendingDeletionIsRemovedByTheMainWork) {
  StartModule();
  const std::string path = HomeFile("leftover.tmp");
  std::ofstream(path) << "x";
  strcpy(Client().core.pending_deletion, (home_base + "\\tg\\leftover.tmp").c_str());
  Cycle(60);
  Cycle(60);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_STREQ(Client().core.pending_deletion, "");
}

TEST_F(CycleTest, HaltDeadlineHaltsAfterTenSeconds) {
  StartModule();
  Client().core.halt_deadline = TestClock::now;
  for (int i = 0; i < 4; ++i) Cycle(2000);
  EXPECT_EQ(Client().core.halted, 0);
  for (int i = 0; i < 4; ++i) Cycle(2000);
  EXPECT_EQ(Client().core.halted, 1);
  EXPECT_EQ(cb(&host.record, 17, 0, nullptr, 0), 0);
}

TEST_F(CycleTest, HomePathThatDoesNotFitIsRefusedNotCut) {
  // A base folder of 252 characters: with "\tg\" the home path would need 256.
  const std::string base = home_base + "/" + std::string(251 - home_base.size(), 'd');
  const std::string fits = home_base + "/" + std::string(250 - home_base.size(), 'e');
  ASSERT_EQ(base.size(), 252u);
  // Under Windows the folder's whole path would pass the 260 characters that
  // its file functions take; the refusal itself is the same on both systems.
  if (std::filesystem::path::preferred_separator == '\\') GTEST_SKIP() << "paths of Windows end at 260 characters";
  std::error_code error;
  std::filesystem::create_directories(base, error);
  if (error || !std::filesystem::is_directory(base, error))
    GTEST_SKIP() << "this system cannot make a folder with so long a path";
  host.cvars["fs_homepath"] = base;
  host.cvars["cl_tallyguard"] = "1";
  for (int i = 0; i < 3; ++i) EXPECT_STREQ(reinterpret_cast<const char*>(Cycle(100)), TG_ERROR_INIT);
  EXPECT_EQ(host.CountPrinted("Home Path Too Long (at most 255 characters with \"tg\\\"): the client does not start"), 1);
  EXPECT_EQ(Client().core.initialised, 0);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(base), std::filesystem::directory_iterator()), 0)
      << "nothing was created in the base folder";
  // One character less fits.
  std::filesystem::create_directories(fits, error);
  host.cvars["fs_homepath"] = fits;
  EXPECT_EQ(Cycle(100), 0);
  EXPECT_TRUE(std::filesystem::is_directory(fits + "/tg/scrnshot"));
}
