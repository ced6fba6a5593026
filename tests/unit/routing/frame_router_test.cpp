#include "routing/frame_router.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "channel/framing.h"
#include "core/client_state.h"
#include "support/module_test.h"

using Receive = ConnectedTest;

namespace {
const char kGuid[] = "ABCDEF0123456789ABCDEF0123456789";
}

TEST_F(Receive, ForeignIdentIsAnsweredWithTheIdentAndRetried) {
  EXPECT_FALSE(Deliver(PeerPlainFrame(0, ToBytes("Ahello")), 2));
  EXPECT_EQ(Client().protocol.connection.frames_received, 1);  // the frame itself counts as the server speaking
  std::vector<PeerFrame> frames = TakeFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].kind, 'P');
  const uint32_t ident = Client().channel.client_ident;
  Bytes expected = {'J', static_cast<uint8_t>(ident), static_cast<uint8_t>(ident >> 8),
                    static_cast<uint8_t>(ident >> 16), static_cast<uint8_t>(ident >> 24)};
  Bytes guid = ToBytes("PLAYERGUID0123456789ABCDEF012345");
  expected.insert(expected.end(), guid.begin(), guid.end());
  EXPECT_EQ(frames[0].payload, expected);
  EXPECT_EQ(Client().events.count, 1);
  EXPECT_EQ(Client().events.records[0].retries, 1);
  EXPECT_FALSE(host.Printed("hello"));
}

TEST_F(Receive, OwnIdentDispatchesConsoleTextVerbatim) {
  EXPECT_TRUE(DeliverPlain("Aserver says 100%s %d"));
  ASSERT_EQ(host.prints.size(), 1u);
  EXPECT_EQ(host.prints[0], "server says 100%s %d");
}

TEST_F(Receive, DisabledModuleRefusesEveryFrame) {
  Client().settings.enabled = 0;
  EXPECT_FALSE(Deliver(PeerPlainFrame(Client().channel.client_ident, ToBytes("Ax")), 1));
  EXPECT_EQ(Client().protocol.connection.frames_received, 0);
  EXPECT_TRUE(host.prints.empty());
}

TEST_F(Receive, ScrambledFramesAreCheckedBeforeUse) {
  // No key buffer yet: the first scrambled frame creates it from A to D in the record (all 0).
  const std::string zero_key = PeerChannelKey(0, 0, 0, 0);
  EXPECT_TRUE(Deliver(PeerScrambledFrame(zero_key, ToBytes("Afirst"))));
  EXPECT_TRUE(host.Printed("first"));
  EXPECT_EQ(Client().protocol.connection.scrambled_link, 1);

  Bytes short_frame = {'T', 'G', '_', 'E', 0, 0, 0, 0, 0, 3, 'x', 'y'};  // 3 + 10 != 12
  EXPECT_FALSE(Deliver(short_frame, 1));
  Bytes bad_check = PeerScrambledFrame(zero_key, ToBytes("Asecond"));
  bad_check[7] ^= 1;
  EXPECT_FALSE(Deliver(bad_check, 1));
  // The refused frame waits unchanged for its next try.
  const HostEvent& waiting = Client().events.records[Client().events.count - 1];
  ASSERT_EQ(waiting.length, static_cast<int32_t>(bad_check.size()));
  EXPECT_EQ(memcmp(waiting.data, bad_check.data(), bad_check.size()), 0);
  EXPECT_FALSE(host.Printed("second"));
  EXPECT_EQ(Client().protocol.connection.frames_received, 3);
}

TEST_F(Receive, VoidKeyMeansNoXor) {
  EnsureKeyBuffer();
  ClearChannelKey();
  EXPECT_TRUE(Deliver(PeerScrambledFrame("", ToBytes("Aunscrambled"))));
  EXPECT_TRUE(host.Printed("unscrambled"));
}

TEST_F(Receive, HelloStartsTheLinkWhenVersionsMatch) {
  EXPECT_TRUE(Hello(1092, 1276, 0, 17, 2, 3, 0x1234567, kGuid));
  EXPECT_EQ(host.record.key_a, 17);
  EXPECT_EQ(host.record.key_d, 0x1234567);
  EXPECT_STREQ(host.record.guid, kGuid);
  // The sequence comes from D; the screenshot the new key asks for took one.
  EXPECT_EQ(Client().screenshots.sequence, 0x234567u + 1);
  EXPECT_EQ(Client().screenshots.slots[0].sequence, 0x234567u);
  EXPECT_EQ(Client().screenshots.slots[0].state, kSlotCapture);
  EXPECT_EQ(host.CountPrinted(std::string("TG Server assigned guid = ") + kGuid), 1);
  EXPECT_TRUE(host.Printed("TG Server S v1.092 (A0, C1.276)"));
  EXPECT_STREQ(ChannelKey(), key.c_str());
  std::vector<PeerFrame> frames = TakeFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].kind, 'E');
  EXPECT_TRUE(frames[0].check_ok);
  EXPECT_EQ(frames[0].Text(), "Dw1276");

  // The same A again: no notice, no GUID notice, the key stays.
  host.ClearPrints();
  EXPECT_TRUE(Hello(1092, 1276, 0, 17, 2, 3, 0x1234567, kGuid));
  EXPECT_TRUE(host.prints.empty());
  EXPECT_STREQ(ChannelKey(), key.c_str());

  // A new A voids the key; matching versions derive it again at once.
  EXPECT_TRUE(Hello(1092, 1276, 0, 99, 2, 3, 4, kGuid));
  EXPECT_STREQ(ChannelKey(), PeerChannelKey(99, 2, 3, 4).c_str());
  EXPECT_EQ(Client().screenshots.sequence, 4u);  // the first slot holds a request: none is queued
}

TEST_F(Receive, HelloGuidWithQuestionMarkStoresOnlyTheMark) {
  EXPECT_TRUE(Hello(1092, 1276, 0, 1, 2, 3, 4, "?abc"));
  EXPECT_STREQ(Client().protocol.connection.assigned_guid, "?");
  EXPECT_STREQ(host.record.guid, "?");
  for (const std::string& line : host.prints) EXPECT_EQ(line.find("assigned guid"), std::string::npos);
  EXPECT_TRUE(Hello(1092, 1276, 0, 1, 2, 3, 4, ""));
  EXPECT_STREQ(Client().protocol.connection.assigned_guid, "?");
}

TEST_F(Receive, OldServerIsReportedAndNoLinkStarts) {
  host.OfferGameCommand();
  Client().services.second_table = host.record.second_table;  // as initialisation takes it
  Client().master.agent.version = 5;
  EXPECT_TRUE(Hello(1092, 1250, 3, 1, 2, 3, 4, kGuid));
  const std::string warning = "  Tallyguard Reports TG Server Running Old Version C1.250 A3";
  bool shown = false;
  for (size_t i = 0; i < host.prints.size(); ++i) {
    if (host.prints[i] != warning) continue;
    shown = true;
    EXPECT_EQ(host.print_prefixes[i], "*WARNING*");
  }
  EXPECT_TRUE(shown);
  EXPECT_STREQ(host.record.message_prefix, "[skipnotify]Tallyguard Client");
  ASSERT_EQ(host.game_commands.size(), 1u);
  EXPECT_EQ(host.game_commands[0].first, "GAME_CMD");
  EXPECT_EQ(host.game_commands[0].second, "msg *WARNING*: " + warning);
  EXPECT_STREQ(ChannelKey(), "");  // no link: no key
  EXPECT_EQ(Client().protocol.connection.last_key_a, 0);
  EXPECT_TRUE(TakeFrames().empty());
}

TEST_F(Receive, AutoexecRunsAtTheFirstHello) {
  host.OfferGameCommand();
  Client().services.second_table = host.record.second_table;
  strcpy(Client().settings.values.autoexec, "server.cfg");
  EXPECT_TRUE(Hello(1092, 1276, 0, 1, 2, 3, 4, kGuid));
  EXPECT_TRUE(Hello(1092, 1276, 0, 1, 2, 3, 4, kGuid));
  ASSERT_EQ(host.game_commands.size(), 1u);
  EXPECT_EQ(host.game_commands[0].second, "exec server.cfg");
}

TEST_F(Receive, RelaysAreUnscrambledCheckedAndAnswered) {
  EXPECT_TRUE(Hello(1092, 1276, 0, 1, 2, 200, 4, kGuid));
  TakeFrames();
  struct Case {
    std::string prefix;
    const char* inner;
    const char* reply;
    bool runs;
  } cases[] = {
      {kGuid, "Arelayed one", "T40003", true},
      {"abcdef0123456789abcdef0123456789", "Arelayed two", "T40003", true},  // letter case ignored
      {"XBCDEF0123456789ABCDEF0123456789", "Arelayed three", "T40002", false},
  };
  for (const Case& c : cases) {
    host.ClearPrints();
    Bytes inner = ToBytes(c.prefix, false);
    Bytes payload = ToBytes(c.inner);
    inner.insert(inner.end(), payload.begin(), payload.end());
    Bytes relay = {0x03};
    Bytes scrambled = PeerRelay(inner, 200, kGuid);
    relay.insert(relay.end(), scrambled.begin(), scrambled.end());
    EXPECT_TRUE(DeliverPlain(relay));
    EXPECT_EQ(host.Printed(c.inner + 1), c.runs) << c.inner;
    Flush();
    std::vector<PeerFrame> frames = TakeFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].Text(), c.reply);
  }
  EXPECT_EQ(Client().protocol.connection.last_relay_result, 40002);
}

TEST_F(Receive, RelayDelaysAndOldServers) {
  EXPECT_TRUE(Hello(1091, 1276, 0, 1, 2, 3, 4, kGuid));
  TakeFrames();
  const int32_t received = Client().protocol.connection.frames_received;
  EXPECT_TRUE(DeliverPlain(Bytes{0x03, 'x', 0}));
  EXPECT_EQ(Client().protocol.connection.frames_received, received + 2);  // the frame and the relay
  Flush();
  EXPECT_TRUE(TakeFrames().empty());  // too old for relays: no reply

  Client().protocol.connection.server_version = 1092;
  Client().protocol.connection.assigned_guid[0] = '\0';
  EXPECT_TRUE(DeliverPlain(Bytes{0x03, 'x', 0}));
  Flush(0);
  EXPECT_TRUE(TakeFrames().empty());  // 40001 waits 1 ms
  Flush(1);
  std::vector<PeerFrame> frames = TakeFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].Text(), "T40001");
}

TEST_F(Receive, DeeplyNestedRelaysAreNotUnwrapped) {
  EXPECT_TRUE(Hello(1092, 1276, 0, 1, 2, 3, 4, "G"));
  TakeFrames();
  Bytes payload = ToBytes("Adeep");
  for (int level = 0; level < 200; ++level) {
    Bytes inner = {'G'};
    inner.insert(inner.end(), payload.begin(), payload.end());
    payload = {0x03};
    Bytes scrambled = PeerRelay(inner, 3, "G");
    payload.insert(payload.end(), scrambled.begin(), scrambled.end());
  }
  EXPECT_TRUE(DeliverPlain(payload));
  EXPECT_FALSE(host.Printed("deep"));
  Flush();
  std::vector<PeerFrame> frames = TakeFrames();
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames.back().Text(), "T40003");
  EXPECT_EQ(frames.front().Text(), "T40002");  // the innermost one reached
}

TEST_F(Receive, DropRequestMustMatchExactly) {
  EXPECT_TRUE(DeliverPlain(Bytes{0x08, 't', 'g', '_', 'd', 'r', 'o', 'p', '_', 'n', 'o', 'w', 0}));
  ASSERT_EQ(host.keywords.size(), 1u);
  EXPECT_EQ(host.keywords[0], std::make_pair(std::string("Cmd_Drop"), std::string("tg_drop_now")));
  EXPECT_TRUE(DeliverPlain(Bytes{0x08, 't', 'g', '_', 'd', 'r', 'o', 'p', 0}));
  EXPECT_EQ(host.keywords.size(), 1u);
}

TEST_F(Receive, TransferAnnouncements) {
  const std::string digest(32, 'A');
  struct Case {
    std::string text;
    const char* name;  // nullptr: refused
  } cases[] = {
      {"G100 " + digest + " update1.htm", "htm\\update1.htm"},
      {"G100 " + digest + " \"my update.HTM\"", "htm\\my update.HTM"},
      {"G100 " + digest + " update1.dll", nullptr},
      {"G100 " + digest + " ..\\..\\evil.htm", nullptr},
      {"G100 " + digest + " sub/evil.htm", nullptr},
      {"G0 " + digest + " update1.htm", nullptr},
      {"G99999999999 " + digest + " update1.htm", nullptr},
      {"G100 ABC update1.htm", nullptr},
      {"G100 " + digest, nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(DeliverPlain(c.text));
    const UpdateTransfer& transfer = Client().master.update;
    if (c.name == nullptr) {
      EXPECT_EQ(transfer.buffer, nullptr) << c.text;
      EXPECT_STREQ(transfer.name, "") << c.text;
    } else {
      EXPECT_NE(transfer.buffer, nullptr) << c.text;
      EXPECT_STREQ(transfer.name, c.name);
      EXPECT_EQ(transfer.size, 100);
      EXPECT_STREQ(transfer.digest, digest.c_str());
      EXPECT_EQ(transfer.last_chunk, -1);
    }
  }
}

TEST_F(Receive, ScreenshotRestart) {
  ScreenshotSlot* slots = Client().screenshots.slots;
  slots[2].sequence = 5;
  slots[2].state = kSlotDone;
  slots[2].tag = 'x';
  slots[2].next_piece = 9;
  slots[4].sequence = 6;
  slots[4].state = kSlotDone;
  slots[4].tag = 'y';
  slots[4].next_piece = 3;
  EXPECT_TRUE(DeliverPlain("OPNGx17"));
  EXPECT_EQ(slots[2].next_piece, 17);
  EXPECT_EQ(slots[4].next_piece, 3);
  for (int i = 0; i < 18; ++i) EXPECT_TRUE(DeliverPlain("OPNGx-"));
  EXPECT_EQ(slots[2].next_piece, 0);
  EXPECT_EQ(slots[2].restart_count, 19);
  slots[2].next_piece = 40;
  EXPECT_TRUE(DeliverPlain("OPNGx-"));  // the 20th restart only counts
  EXPECT_EQ(slots[2].next_piece, 40);
  EXPECT_EQ(slots[2].restart_count, 20);
  EXPECT_TRUE(DeliverPlain("OXYZ"));
  EXPECT_TRUE(host.Printed("Invalid Restart Packet: 58 59 5a"));
  EXPECT_TRUE(DeliverPlain(Bytes{'O', 'P', 0}));
  EXPECT_TRUE(host.Printed("Invalid Restart Packet: 50 0 0"));
}

TEST_F(Receive, NewServerAddressStartsAFreshConnection) {
  EXPECT_TRUE(Hello(1092, 1276, 0, 1, 2, 3, 4, kGuid));
  host.server_address = "127.0.0.1:27961";
  Cycle(1);
  const ConnectionState& connection = Client().protocol.connection;
  EXPECT_EQ(connection.frames_received, 0);
  EXPECT_EQ(connection.scrambled_link, 0);
  EXPECT_EQ(connection.hello_seen, 1);  // only the no-server address clears it
  host.ClearPrints();
  EXPECT_TRUE(Hello(1092, 1276, 0, 1, 2, 3, 4, kGuid));
  EXPECT_EQ(host.CountPrinted(std::string("TG Server assigned guid = ") + kGuid), 1);
  host.server_address = "NIL";
  Cycle(1);
  EXPECT_EQ(connection.hello_seen, 0);
}

TEST_F(Receive, AnyBytesAreSafe) {
  std::mt19937 random(1234);
  const std::string zero_key = PeerChannelKey(0, 0, 0, 0);
  for (int round = 0; round < 3000; ++round) {
    Bytes payload(random() % 64);
    for (uint8_t& b : payload)
      b = static_cast<uint8_t>(random() % 4 == 0 ? "ABCGHIKNOS\x01\x03\x08\x09"[random() % 14] : random());
    Bytes frame;
    switch (round % 4) {
      case 0:
        frame = PeerPlainFrame(Client().channel.client_ident, payload);
        break;
      case 1:
        frame = PeerScrambledFrame(ChannelKey(), payload);
        break;
      case 2:
        frame = payload;
        break;
      default:
        frame = PeerPlainFrame(Client().channel.client_ident, payload);
        frame.resize(random() % (frame.size() + 1));
    }
    Deliver(frame);
  }
  for (int i = 0; i < 20; ++i) Cycle(100);
  // Still alive and answering.
  EXPECT_LE(Client().events.count, 256);
  host.ClearPrints();
  ASSERT_EQ(Line("tg_Ver"), 0);
  Cycle(1);
  EXPECT_TRUE(host.Printed("Tallyguard Client (v1.276 | A0) Enabled"));
}
