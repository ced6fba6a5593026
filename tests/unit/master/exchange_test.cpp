#include "master/exchange.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "channel/master_wire.h"
#include "core/client_state.h"
#include "master/database.h"
#include "master/modules.h"
#include "master/transport.h"
#include "platform/platform.h"
#include "routing/socket_service.h"
#include "support/master_peer.h"
#include "support/module_test.h"
#include "util/seeded_md5.h"

using namespace master;

namespace {

// A stand-in resolver on the test clock: it answers (with `answer`, or a
// failure when that is empty) once `delay_ms` have passed since the lookup
// began, or never.
struct StandInResolver {
  static std::string answer;
  static uint32_t delay_ms;
  static bool never;
  static uint32_t started;
  static int starts, polls, cancels;
  static void Reset(const std::string& with, uint32_t delay = 0, bool never_answers = false) {
    answer = with;
    delay_ms = delay;
    never = never_answers;
    starts = polls = cancels = 0;
  }
  static int Start(const char*) {
    ++starts;
    started = TestClock::now;
    return 1;
  }
  static int Poll(char* address) {
    ++polls;
    if (never || TestClock::now - started < delay_ms) return kLookupPending;
    if (answer.empty()) return kLookupFailed;
    strcpy(address, answer.c_str());
    return kLookupAnswered;
  }
  static void Cancel() { ++cancels; }
};
std::string StandInResolver::answer;
uint32_t StandInResolver::delay_ms = 0;
bool StandInResolver::never = false;
uint32_t StandInResolver::started = 0;
int StandInResolver::starts = 0, StandInResolver::polls = 0, StandInResolver::cancels = 0;
const PlatformResolver kStandIn = {StandInResolver::Start, StandInResolver::Poll, StandInResolver::Cancel};

// A master as the module hears it: datagrams masked with the module's token.
class Masters : public ConnectedTest {
 protected:
  void SetUp() override {
    ConnectedTest::SetUp();
    Client().protocol.connection.frames_received = 1;
  }
  void TearDown() override {
    ConnectedTest::TearDown();
    PlatformSetResolver(nullptr);
  }
  void Datagram(std::string bytes) {
    HandleMasterDatagram(&host.record, reinterpret_cast<const uint8_t*>(bytes.data()),
                         static_cast<int32_t>(bytes.size()), TestClock::now);
  }
  std::string Transfer(uint32_t id, const std::string& rest) { return MasterTransferDatagram(id, rest); }
  std::string Header(uint32_t id, const std::string& file, const std::string& name, bool compress_it = false) {
    blocks_of[id] = MasterSentBytes(file, compress_it);
    return MasterHeaderDatagram(id, file.size(), blocks_of[id], name);
  }
  std::string Block(uint32_t id, uint32_t index) { return MasterBlockDatagram(id, blocks_of[id], index); }
  // Opens the own socket on a free port (found by binding one and letting it
  // go) and gives the port.
  uint16_t OpenOwnSocketOnFreePort() {
    PlatformSocket probe = PlatformUdpOpen(0, 1);
    EXPECT_NE(probe, kNoSocket);
    const uint16_t port = PlatformUdpLocalPort(probe);
    PlatformUdpClose(probe);
    Run("TG_NETPORT " + std::to_string(port));
    Cycle(100);
    Cycle(100);
    EXPECT_NE(OwnSocket(), kNoSocket);
    return port;
  }
  // Sends a whole file in blocks and lets the module process it.
  void SendFile(uint32_t id, const std::string& file, const std::string& name, bool compress_it = false) {
    Datagram(Header(id, file, name, compress_it));
    for (uint32_t i = 0; i * 1024 < blocks_of[id].size(); ++i) Datagram(Block(id, i));
    ProcessMasterTransfers(&host.record, TestClock::now);
  }
  std::map<uint32_t, std::string> blocks_of;
};

}  // namespace

TEST_F(Masters, StartUpLooksUpOneMasterUnlessInLanMode) {
  struct Case {
    const char* answer;
    int lan;
    const char* last_line;
    int lookups;
  };
  const Case cases[] = {
      {"127.0.0.3", 0, "Resolved to [127.0.0.3]", 1},
      {"", 0, "DNS Resolution failed: using 0 cached hostnamed resolutions", 1},
      {"127.0.0.3", 1, "Bypassing DNS attempts due to TG Client running in LAN mode", 0},
  };
  PlatformSetResolver(&kStandIn);
  for (const Case& c : cases) {
    StandInResolver::Reset(c.answer);
    Client().settings.values.lan = c.lan;
    host.ClearPrints();
    StartMasterTransport(&host.record, TestClock::now);
    Cycle(100);  // the answer is taken in a cycle
    Cycle(100);
    ASSERT_FALSE(host.prints.empty());
    EXPECT_EQ(host.prints.back(), c.last_line);
    EXPECT_EQ(StandInResolver::starts, c.lookups);
    if (c.lookups) {
      EXPECT_EQ(host.prints.front().rfind("Attempting to resolve master", 0), 0u) << host.prints.front();
    }
    const std::string token = QueryToken();
    EXPECT_GE(token.size(), 8u);
    EXPECT_LE(token.size(), 15u);
    EXPECT_EQ(token.find('"'), std::string::npos);
  }
  Client().settings.values.lan = 0;
}

TEST_F(Masters, StartUpLookupIsAnsweredInALaterCycleOrGivenUp) {
  PlatformSetResolver(&kStandIn);
  const std::string failed = "DNS Resolution failed: using 0 cached hostnamed resolutions";
  // Answered after 5 s: nothing is said or asked meanwhile, then the
  // answer and the cache request follow, in that order.
  StandInResolver::Reset("127.0.0.3", 5000);
  host.ClearPrints();
  host.oob_frames.clear();
  StartMasterTransport(&host.record, TestClock::now);
  ASSERT_EQ(host.prints.size(), 1u);
  for (int i = 0; i < 48; ++i) Cycle(100);
  EXPECT_EQ(host.prints.size(), 1u) << host.prints.back();
  EXPECT_TRUE(host.oob_frames.empty());
  for (int i = 0; i < 4; ++i) Cycle(100);
  ASSERT_EQ(host.prints.size(), 2u);
  EXPECT_EQ(host.prints[1], "Resolved to [127.0.0.3]");
  for (int i = 0; i < 30; ++i) Cycle(1000);
  EXPECT_FALSE(host.oob_frames.empty());
  EXPECT_EQ(host.oob_address, "127.0.0.3");
  EXPECT_EQ(StandInResolver::cancels, 0);

  // Answered with a failure after 2 s.
  StandInResolver::Reset("", 2000);
  host.ClearPrints();
  StartMasterTransport(&host.record, TestClock::now);
  for (int i = 0; i < 25; ++i) Cycle(100);
  EXPECT_EQ(host.prints.back(), failed);

  // Never answered: given up after 30 s as failed, and asked no more.
  StandInResolver::Reset("127.0.0.3", 0, true);
  host.ClearPrints();
  StartMasterTransport(&host.record, TestClock::now);
  for (int i = 0; i < 29; ++i) Cycle(1000);
  EXPECT_EQ(host.prints.size(), 1u);
  for (int i = 0; i < 2; ++i) Cycle(1000);
  EXPECT_EQ(host.prints.back(), failed);
  EXPECT_EQ(StandInResolver::cancels, 1);
  const int polls = StandInResolver::polls;
  for (int i = 0; i < 5; ++i) Cycle(1000);
  EXPECT_EQ(StandInResolver::polls, polls);
  EXPECT_EQ(Client().master.transport.startup_address[0], '\0');
}

TEST_F(Masters, UnloadWhileTheLookupWaitsCancelsItOnce) {
  PlatformSetResolver(&kStandIn);
  StandInResolver::Reset("127.0.0.3", 0, true);
  StartMasterTransport(&host.record, TestClock::now);
  Cycle(100);
  ResetClientState();  // what unloading the module does to its state
  EXPECT_EQ(StandInResolver::cancels, 1);
  ResetClientState();
  EXPECT_EQ(StandInResolver::cancels, 1);
  char address[16];
  EXPECT_EQ(PlatformLookupPoll(address), kLookupFailed);
}

// The system's own lookup, for a name every system knows without the
// network: started without waiting, answered by a later poll.
TEST(SystemLookup, LocalhostIsAnsweredByALaterPoll) {
  PlatformSetResolver(nullptr);
  char address[16] = "x";
  const int started = PlatformLookupStart("localhost", address);
  ASSERT_NE(started, kLookupFailed);
  int result = started;
  for (int i = 0; i < 1000 && result == kLookupPending; ++i) {
    PlatformSleep(10);
    result = PlatformLookupPoll(address);
  }
  ASSERT_EQ(result, kLookupAnswered);
  EXPECT_EQ(std::string(address).rfind("127.", 0), 0u) << address;
  // A dotted address is answered at once; a reserved name fails at once.
  EXPECT_EQ(PlatformLookupStart("127.0.0.9", address), kLookupAnswered);
  EXPECT_STREQ(address, "127.0.0.9");
  EXPECT_EQ(PlatformLookupStart("master1.tallyguard.invalid", address), kLookupFailed);
  // A lookup given up before its answer leaves nothing to take.
  ASSERT_NE(PlatformLookupStart("localhost", address), kLookupFailed);
  PlatformLookupCancel();
  EXPECT_EQ(PlatformLookupPoll(address), kLookupFailed);
}

TEST_F(Masters, EmptyNameCacheIsAskedForFromTheLookedUpMasterFourTimesAtMost) {
  PlatformSetResolver(&kStandIn);
  StandInResolver::Reset("127.0.0.3");
  StartMasterTransport(&host.record, TestClock::now);  // the request falls due once answered
  host.oob_frames.clear();
  for (int i = 0; i < 6 * 30; ++i) Cycle(1000);  // three minutes: six turns of the duty
  ASSERT_EQ(host.oob_frames.size(), 4u);
  EXPECT_EQ(host.oob_address, "127.0.0.3");
  EXPECT_EQ(host.oob_port, 16567);
  const std::string query(host.oob_frames[0].begin(), host.oob_frames[0].end());
  EXPECT_EQ(query.size(), 53u);
  EXPECT_EQ(query.compare(0, 18, "TG_Q1 token=" + std::string(QueryToken()).substr(0, 6)), 0) << query;
  // With a name cache, or in LAN mode, nothing is asked.
  Client().master.transport.cache_requests = 0;
  Client().master.transport.name_count = 1;
  host.oob_frames.clear();
  for (int i = 0; i < 70; ++i) Cycle(1000);
  Client().master.transport.name_count = 0;
  Client().settings.values.lan = 1;
  for (int i = 0; i < 70; ++i) Cycle(1000);
  EXPECT_TRUE(host.oob_frames.empty());
}

TEST_F(Masters, PeriodicQueryGoesToTheNextMasterThroughTheGame) {
  std::string db = "<p> S 0 through.game 1 0\r\n<p> S 7 127.0.0.1 27777 0\r\n<p> S 8 nowhere.invalid 1 0\r\n";
  WriteHome("tgcl.db", db);
  LoadServerDatabase(&host.record);
  Client().master.exchange.slot = 3;  // the next is the first record
  const std::string keyword_before = host.keywords.empty() ? "" : host.keywords.back().first;
  Run("TG_NEXTMASTER");
  Cycle(100);
  Cycle(100);
  ASSERT_FALSE(host.keywords.empty());
  EXPECT_EQ(host.keywords.back().first, "Master_Query");
  host.oob_frames.clear();
  host.ClearPrints();
  Run("TG_NEXTMASTER");
  Cycle(100);
  Cycle(100);
  ASSERT_EQ(host.oob_frames.size(), 2u);
  EXPECT_EQ(host.oob_address, "127.0.0.1");
  EXPECT_EQ(host.oob_port, 27777);
  char token[16];
  const std::string first(host.oob_frames[0].begin(), host.oob_frames[0].end());
  EXPECT_EQ(first.size(), 53u);  // 52 characters and the NUL
  ASSERT_TRUE(master_wire::ReadQueryToken(first.c_str(), 52, token));
  EXPECT_STREQ(token, QueryToken());
  EXPECT_TRUE(host.Printed("Querying master 127.0.0.1 (127.0.0.1)"));
  EXPECT_EQ(Client().master.table.records[1].query_count, 1);
  EXPECT_NE(ReadHome("tgcl.db").find("<p> S 7 127.0.0.1 27777 1"), std::string::npos);
  host.ClearPrints();
  Run("TG_NEXTMASTER");
  Cycle(100);
  Cycle(100);
  EXPECT_TRUE(host.Printed("No Master Query Sent - DNS has not yet resolved for NOWHERE.INVALID"));
  // In LAN mode nothing is asked.
  Client().settings.values.lan = 1;
  host.oob_frames.clear();
  host.keywords.clear();
  for (int i = 0; i < 4; ++i) {
    Run("TG_NEXTMASTER");
    Cycle(100);
    Cycle(100);
  }
  EXPECT_TRUE(host.oob_frames.empty());
  EXPECT_TRUE(host.keywords.empty());
}

TEST_F(Masters, DatabaseTextIsUnmaskedCutAndMerged) {
  WriteHome("tgcl.db", "<p> S 2 master.tallyguard.invalid 16567 0\r\n");
  LoadServerDatabase(&host.record);
  const std::string hash(32, 'C');
  std::string text = "<p> S 2 master.tallyguard.invalid 16567 0\r\n<p> F C W 9 1000 " + hash + " " + hash;
  std::string masked = text;
  master_wire::MaskDatabaseText(reinterpret_cast<uint8_t*>(&masked[0]), static_cast<int>(masked.size()), QueryToken());
  host.ClearPrints();
  Datagram("TG_1" + masked);
  EXPECT_TRUE(host.Printed("Master server list updated"));
  EXPECT_EQ(Client().master.table.records[0].lists[4].count, 1);
  EXPECT_NE(ReadHome("tgcl.db").find("<p> F C W 9 1000 " + hash), std::string::npos);
  // Beyond 1400 bytes the text is cut: a record past the cut is not seen.
  std::string longer = std::string(1400, ' ') + "<p> S 9 late.example 1 0";
  master_wire::MaskDatabaseText(reinterpret_cast<uint8_t*>(&longer[0]), static_cast<int>(longer.size()), QueryToken());
  Datagram("TG_1" + longer);
  EXPECT_EQ(Client().master.table.count, 1);
  std::string shorter = std::string(1300, ' ') + "<p> S 9 late.example 1 0";
  master_wire::MaskDatabaseText(reinterpret_cast<uint8_t*>(&shorter[0]), static_cast<int>(shorter.size()),
                                QueryToken());
  Datagram("TG_1" + shorter);
  EXPECT_EQ(Client().master.table.count, 2);
}

TEST_F(Masters, TransfersInstallByName) {
  // A name cache, stored and used.
  const uint8_t digest_key[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const std::string cache(reinterpret_cast<const char*>(digest_key), 8);
  SendFile(11, cache, "tgns.dat");
  EXPECT_EQ(ReadHome("tgns.dat"), cache);
  EXPECT_EQ(Client().master.transport.name_count, 1);
  // A compressed module file of several blocks: stored, and the game server hears of it.
  std::string module(5000, 'M');
  for (size_t i = 0; i < module.size(); ++i) module[i] = static_cast<char>(i * 7 % 251);
  TakeFrames();
  SendFile(12, module, "tgnew.dll", true);
  EXPECT_EQ(ReadHome("tgnew.dll"), module);
  Flush();
  bool told = false;
  for (const PeerFrame& frame : TakeFrames()) told |= frame.Text() == "C";
  EXPECT_TRUE(told);
  // Database text is merged, not stored; other names are ignored.
  SendFile(13, "<p> S 9 new.example 1 0", "masters.db");
  EXPECT_EQ(Client().master.table.count, 4);
  EXPECT_FALSE(std::filesystem::exists(HomeFile("masters.db")));
  SendFile(14, "hello", "readme.txt");
  EXPECT_FALSE(std::filesystem::exists(HomeFile("readme.txt")));
  for (const MasterTransfer& transfer : Client().master.exchange.transfers) EXPECT_EQ(transfer.id, 0u);
}

TEST_F(Masters, DangerousOrBrokenTransfersAreRefused) {
  struct Case {
    const char* name;
    const char* printed;
  };
  const Case cases[] = {
      {"..\\evil.dll", "Master file ..\\evil.dll not installed: the file name leaves the client's folder"},
      {"C:\\evil.dll", "Master file C:\\evil.dll not installed: the file name leaves the client's folder"},
      {"\\\\host\\share\\x.dll",
       "Master file \\\\host\\share\\x.dll not installed: the file name leaves the client's folder"},
      {"CON.dll", "Master file CON.dll not installed: the file name leaves the client's folder"},
      {"x.dll:stream.dll", "Master file x.dll:stream.dll not installed: the file name leaves the client's folder"},
  };
  uint32_t id = 20;
  for (const Case& c : cases) {
    host.ClearPrints();
    SendFile(++id, "MZ module", c.name);
    EXPECT_TRUE(host.Printed(c.printed)) << c.name;
  }
  EXPECT_FALSE(std::filesystem::exists(home_base + "/evil.dll"));
  // A digest that does not match.
  host.ClearPrints();
  Datagram(Header(40, "abc", "tgx.dll"));
  blocks_of[40] = "abd";
  Datagram(Block(40, 0));
  ProcessMasterTransfers(&host.record, TestClock::now);
  EXPECT_TRUE(host.Printed("Master file tgx.dll not installed: the file's digest does not match"));
  EXPECT_FALSE(std::filesystem::exists(HomeFile("tgx.dll")));
  // Sizes over the caps are refused at the header; unknown magic is reported.
  host.ClearPrints();
  Datagram(
      Transfer(41, "RWFH" + MasterBig32(100) + MasterBig32(kMaxTransferBytes + 1) + std::string(16, 'd') + "big.dll"));
  Datagram(
      Transfer(42, "RWFH" + MasterBig32(kMaxUnpackedBytes + 1) + MasterBig32(100) + std::string(16, 'd') + "big.dll"));
  EXPECT_EQ(host.CountPrinted("Master file refused: 4194305 bytes unpacking to 100 is more than the client takes"), 1);
  EXPECT_EQ(host.CountPrinted("Master file refused: 100 bytes unpacking to 8388609 is more than the client takes"), 1);
  Datagram(Transfer(43, "XXXXsomething"));
  EXPECT_TRUE(host.Printed("Unknown data received len=17"));
  for (const MasterTransfer& transfer : Client().master.exchange.transfers) EXPECT_EQ(transfer.id, 0u);
}

TEST_F(Masters, GapsAskForARestartPacedAndLimited) {
  std::string file(4096, 'x');
  Datagram(Header(50, file, "tgy.dll"));
  const std::string second = Header(50, "other", "tgz.dll");
  blocks_of[50] = file;
  Datagram(second);  // a second header for the id is ignored
  Datagram(Block(50, 0));
  host.oob_frames.clear();
  Datagram(Block(50, 2));
  ASSERT_EQ(host.oob_frames.size(), 1u);
  EXPECT_EQ(std::string(host.oob_frames[0].begin(), host.oob_frames[0].end()), std::string("restart 50 1\0", 13));
  TestClock::now += 5000;
  Datagram(Block(50, 3));
  EXPECT_EQ(host.oob_frames.size(), 1u);  // within 5000 ms: nothing
  for (int i = 0; i < 5; ++i) {
    TestClock::now += 5001;
    Datagram(Block(50, 3));
  }
  EXPECT_EQ(host.oob_frames.size(), 6u);
  TestClock::now += 5001;
  Datagram(Block(50, 3));  // the seventh gap drops the transfer
  EXPECT_EQ(host.oob_frames.size(), 6u);
  EXPECT_EQ(Client().master.exchange.transfers[0].id, 0u);
  // Blocks in order complete a transfer; a stalled one is dropped after two minutes.
  SendFile(51, file, "tgy.dll");
  EXPECT_EQ(ReadHome("tgy.dll"), file);
  Datagram(Header(52, file, "tgw.dll"));
  Datagram(Block(52, 0));
  TestClock::now += 120001;
  ProcessMasterTransfers(&host.record, TestClock::now);
  EXPECT_EQ(Client().master.exchange.transfers[0].id, 0u);
}

TEST_F(Masters, OwnSocketTakesDatagramsAndFallsBackWhenItCannotBind) {
  const uint16_t port = OpenOwnSocketOnFreePort();
  ASSERT_NE(OwnSocket(), kNoSocket);
  PlatformSocket peer = PlatformUdpOpen(0, 1);
  const std::string hash(32, 'E');
  std::string text = "<p> S 2 master.tallyguard.invalid 16567 0\r\n<p> F A W 3 10 " + hash + " " + hash;
  master_wire::MaskDatabaseText(reinterpret_cast<uint8_t*>(&text[0]), static_cast<int>(text.size()), QueryToken());
  const std::string with_prefix = "\xFF\xFF\xFF\xFFTG_1" + text;
  PlatformUdpSend(peer, "127.0.0.1", port, "\xFF\xFF\xFF\xFF", 4);  // nothing after the prefix: dropped
  PlatformUdpSend(peer, "127.0.0.1", port, with_prefix.data(), static_cast<int>(with_prefix.size()));
  for (int i = 0; i < 4 && Client().master.table.records[0].lists[0].count == 0; ++i) Cycle(100);
  EXPECT_EQ(Client().master.table.records[0].lists[0].count, 1);
  // Port 0 closes the socket.
  Run("TG_NETPORT 0");
  Cycle(100);
  Cycle(100);
  EXPECT_EQ(OwnSocket(), kNoSocket);
  // A port held by another program: reported, and the module goes on through the game.
  PlatformUdpClose(peer);
  PlatformSocket holder = PlatformUdpOpen(0, 1);
  const uint16_t held = PlatformUdpLocalPort(holder);
  host.ClearPrints();
  Run("TG_NETPORT " + std::to_string(held));
  Cycle(100);
  Cycle(100);
  EXPECT_TRUE(host.Printed("Network Socket error: cannot bind to port " + std::to_string(held)));
  EXPECT_EQ(Client().settings.values.net_port, 0);
  Cycle(100);
  Cycle(100);
  EXPECT_EQ(OwnSocket(), kNoSocket);
  PlatformUdpClose(holder);
}

// Anyone can reach the own socket: game-server frames that arrive there (a
// hello scrambled with the key anyone can compute, console text with the
// module's ident, frames with a stranger's ident that would each make the
// module announce itself to the real server) are dropped unread.
TEST_F(Masters, OwnSocketTakesNoGameServerFramesFromStrangers) {
  const uint16_t port = OpenOwnSocketOnFreePort();
  ASSERT_NE(OwnSocket(), kNoSocket);
  host.frames.clear();
  host.ClearPrints();
  PlatformSocket stranger = PlatformUdpOpen(0, 1);
  auto send = [&](const Bytes& frame) {
    PlatformUdpSend(stranger, "127.0.0.1", port, reinterpret_cast<const char*>(frame.data()),
                    static_cast<int>(frame.size()));
  };
  send(
      PeerScrambledFrame(PeerChannelKey(0, 0, 0, 0), ToBytes("CS 1092 1276 0 0 0 0 0 STRANGERGUID0123456789ABCDEF01")));
  send(PeerPlainFrame(Client().channel.client_ident, ToBytes("AText from a stranger")));
  for (int i = 0; i < 300; ++i) send(PeerPlainFrame(0x5EED0000u + static_cast<uint32_t>(i), ToBytes("AHello")));
  for (int i = 0; i < 8; ++i) Cycle(100);
  Flush(5000);
  EXPECT_STREQ(Client().protocol.connection.assigned_guid, "");
  EXPECT_FALSE(host.Printed("Text from a stranger"));
  EXPECT_TRUE(host.frames.empty()) << host.frames.size() << " frames went to the game server";
  // Master datagrams still arrive on the same socket.
  std::string text = "<p> S 2 master.tallyguard.invalid 16567 0\r\n<p> F A W 3 10 " + std::string(32, 'E') + " " +
                     std::string(32, 'E');
  master_wire::MaskDatabaseText(reinterpret_cast<uint8_t*>(&text[0]), static_cast<int>(text.size()), QueryToken());
  const std::string datagram = "TG_1" + text;
  PlatformUdpSend(stranger, "127.0.0.1", port, datagram.data(), static_cast<int>(datagram.size()));
  for (int i = 0; i < 4 && Client().master.table.records[0].lists[0].count == 0; ++i) Cycle(100);
  EXPECT_EQ(Client().master.table.records[0].lists[0].count, 1);
  PlatformUdpClose(stranger);
}

// Headers whose blocks never come (a master that stopped, lost datagrams)
// must not hold the transfer table: a stalled entry gives way to a new
// transfer, and ends by itself after the idle time.
TEST_F(Masters, TransfersWhoseBlocksNeverComeDoNotHoldTheTable) {
  const std::string cache = "\x01\x02\x03\x04\x05\x06\x07\x08";
  for (uint32_t id = 21; id <= 24; ++id) Datagram(Header(id, std::string(3000, 'x'), "stalled.txt"));
  // While they are fresh, a fifth waits.
  Datagram(Header(25, cache, "tgns.dat"));
  EXPECT_EQ(Client().master.transport.name_count, 0);
  // Once they have stalled, a whole transfer is installed.
  TestClock::now += 6000;
  SendFile(26, cache, "tgns.dat");
  EXPECT_EQ(Client().master.transport.name_count, 1);
  // After the idle time nothing of them is left.
  TestClock::now += 120001;
  ProcessMasterTransfers(&host.record, TestClock::now);
  for (const MasterTransfer& transfer : Client().master.exchange.transfers) EXPECT_EQ(transfer.id, 0u);
}

// With tg_Security, a module a master pushes under a name the module loads
// from is stored only when the master table lists it, whatever the spelling
// of the name; other module files are stored as before.
TEST_F(Masters, ModulesPushedUnderLoadedNamesMustBeListed) {
  std::string module(3000, '\0');
  for (size_t i = 0; i < module.size(); ++i) module[i] = static_cast<char>(i * 13 % 253);
  const std::string letter(1, kPlatformLetter);
  struct Case {
    std::string name;
    std::string stored_as;
  };
  const Case cases[] = {
      {"tgag.dll", "tgag.dll"},
      {"TGAG.DLL", "tgag.dll"},
      {"./tgag.dll", "tgag.dll"},
      {"tgclnew.dll", "tgclnew.dll"},
      {"dll\\" + letter + "a001301.dll", "dll/" + letter + "a001301.dll"},
      {"DLL/" + letter + "C001301.dll", "dll/" + letter + "c001301.dll"},
  };
  uint32_t id = 40;
  for (const Case& c : cases) {
    host.ClearPrints();
    SendFile(++id, module, c.name);
    EXPECT_FALSE(std::filesystem::exists(HomeFile(c.stored_as))) << c.name;
    EXPECT_TRUE(host.Printed("Master file " + c.name + " not installed: the master table does not list this module"))
        << c.name;
  }
  SendFile(++id, module, "dll\\tgdemo.dll");
  EXPECT_EQ(ReadHome("dll/tgdemo.dll"), module);
  // Listed by a master: stored.
  char size[16];
  snprintf(size, sizeof size, "%zX", module.size());
  SeededMd5 whole, rest;
  whole.Digest(module.data(), static_cast<int32_t>(module.size()), 0);
  rest.Digest(module.data() + 1, static_cast<int32_t>(module.size()) - 1, 0);
  WriteHome("tgcl.db", "<p> S 2 master.tallyguard.invalid 16567 0\r\n<p> F A " + std::string(1, kPlatformLetter - 32) +
                           " 1301 " + size + " " + whole.Hex() + " " + rest.Hex() + "\r\n");
  LoadServerDatabase(&host.record);
  SendFile(++id, module, "tgag.dll");
  EXPECT_EQ(ReadHome("tgag.dll"), module);
  SendFile(++id, module, "dll\\" + letter + "a001301.dll");
  EXPECT_EQ(ReadHome("dll/" + letter + "a001301.dll"), module);
}

// Junk from a stranger is told a few times a second, then counted in one
// line, on the console and in the log file alike.
TEST_F(Masters, UnknownDataIsToldAFewTimesASecondThenCounted) {
  Run("tg_LogToFile 1");
  host.ClearPrints();
  for (int i = 0; i < 256; ++i) Datagram(Transfer(7, "JUNK" + std::string(9, 'j')));
  int told = 0;
  for (const std::string& line : host.prints) told += line == "Unknown data received len=17";
  EXPECT_EQ(told, kNoticesPerSecond);
  for (int i = 0; i < 4; ++i) Cycle(300);  // main work runs in every other cycle
  EXPECT_TRUE(host.Printed("(253 more messages like the last left out)"));
  Datagram(Transfer(7, "JUNK" + std::string(9, 'j')));
  EXPECT_EQ(host.prints.back(), "Unknown data received len=17");
  const std::string log = ReadHome("tgcl.log");
  size_t lines = 0;
  for (size_t at = log.find("Unknown data"); at != std::string::npos; at = log.find("Unknown data", at + 1)) ++lines;
  EXPECT_EQ(lines, static_cast<size_t>(kNoticesPerSecond) + 1);
}

namespace {

PlatformSocketOperation g_failing_socket_operation = kSocketReceive;
int g_socket_calls = 0;
bool FailSocketOperation(PlatformSocketOperation operation) {
  if (operation != g_failing_socket_operation) return false;
  ++g_socket_calls;
  return true;
}

}  // namespace

// A socket that fails ends the drain for the cycle without a word: receive
// errors are tried once a cycle, empty datagrams do not stop the drain, sends
// that fail are left to the next query, and a refused bind is told once.
TEST_F(Masters, SocketFaultsEndTheCycleQuietly) {
  const uint16_t port = OpenOwnSocketOnFreePort();
  ASSERT_NE(OwnSocket(), kNoSocket);
  host.ClearPrints();

  g_failing_socket_operation = kSocketReceive;
  g_socket_calls = 0;
  PlatformSetSocketFaultHook(FailSocketOperation);
  ServiceSocket(&host.record, TestClock::now);
  ServiceSocket(&host.record, TestClock::now);
  PlatformSetSocketFaultHook(nullptr);
  EXPECT_EQ(g_socket_calls, 2);  // one try a cycle, no spinning
  EXPECT_TRUE(host.prints.empty());

  PlatformSocket peer = PlatformUdpOpen(0, 1);
  for (int i = 0; i < 5; ++i) PlatformUdpSend(peer, "127.0.0.1", port, "", 0);
  std::string text = "<p> S 2 master.tallyguard.invalid 16567 0\r\n<p> F A W 3 10 " + std::string(32, 'E') + " " +
                     std::string(32, 'E');
  master_wire::MaskDatabaseText(reinterpret_cast<uint8_t*>(&text[0]), static_cast<int>(text.size()), QueryToken());
  const std::string datagram = "TG_1" + text;
  PlatformUdpSend(peer, "127.0.0.1", port, datagram.data(), static_cast<int>(datagram.size()));
  PlatformUdpClose(peer);
  ServiceSocket(&host.record, TestClock::now);
  EXPECT_EQ(Client().master.table.records[0].lists[0].count, 1);  // behind five empty datagrams

  std::string table;
  for (int id = 7; id <= 10; ++id) table += "<p> S " + std::to_string(id) + " 127.0.0.1 16567 0\r\n";
  WriteHome("tgcl.db", table);
  LoadServerDatabase(&host.record);
  g_failing_socket_operation = kSocketSend;
  g_socket_calls = 0;
  PlatformSetSocketFaultHook(FailSocketOperation);
  host.ClearPrints();
  Run("TG_NEXTMASTER");
  for (int i = 0; i < 4; ++i) Cycle(300);
  PlatformSetSocketFaultHook(nullptr);
  EXPECT_GE(g_socket_calls, 1);
  EXPECT_LE(host.prints.size(), 1u);  // the query's own line at most

  Run("TG_NETPORT 0");
  Cycle(100);
  Cycle(100);
  g_failing_socket_operation = kSocketBind;
  PlatformSetSocketFaultHook(FailSocketOperation);
  host.ClearPrints();
  Run("TG_NETPORT " + std::to_string(port));
  for (int i = 0; i < 8; ++i) Cycle(300);
  PlatformSetSocketFaultHook(nullptr);
  int told = 0;
  for (const std::string& line : host.prints) told += line.find("cannot bind") != std::string::npos;
  EXPECT_EQ(told, 1);
  EXPECT_EQ(Client().settings.values.net_port, 0);
}
