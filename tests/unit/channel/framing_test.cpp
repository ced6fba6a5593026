#include "channel/framing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/client_state.h"
#include "protocol/connection.h"
#include "support/module_test.h"

namespace {

class Framing : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    StartModule();
    Client().protocol.connection.frames_received = 1;
    host.frames.clear();
  }
  std::string MakeKey() { return DeriveChannelKey(EnsureKeyBuffer(), 11, 22, 33, 44); }
  void Send(const Bytes& payload) {
    SendPayload(&host.record, payload.data(), static_cast<int32_t>(payload.size()), TestClock::now);
  }
};

}  // namespace

TEST_F(Framing, PlainFrameCarriesTheClientIdent) {
  Send({'B', 'D', ' ', 'x', 0});
  ASSERT_EQ(host.frames.size(), 1u);
  ASSERT_EQ(host.frames[0].size(), 13u);
  PeerFrame d = PeerDecode(host.frames[0], "");
  EXPECT_EQ(d.kind, 'P');
  EXPECT_EQ(d.ident, Client().channel.client_ident);
  EXPECT_EQ(d.payload, (Bytes{'B', 'D', ' ', 'x', 0}));
  EXPECT_EQ(Client().channel.bytes_sent, 13u);
  EXPECT_EQ(Client().channel.frames_this_cycle, 1);
}

TEST_F(Framing, OneByteScrambledExample) {
  MakeKey();
  Send({'X'});
  ASSERT_EQ(host.frames.size(), 1u);
  const Bytes& frame = host.frames[0];
  ASSERT_EQ(frame.size(), 11u);
  EXPECT_EQ(frame[3], 'E');
  EXPECT_EQ((Bytes(frame.begin() + 4, frame.begin() + 10)), (Bytes{0x0F, 0x21, 0x6B, 0xD4, 0x00, 0x01}));
  EXPECT_EQ(frame[10], 'X' ^ static_cast<uint8_t>(ChannelKey()[0]));
}

TEST_F(Framing, ScrambledFramesDecodeWithTheKey) {
  const std::string key = MakeKey();
  ASSERT_EQ(key.size(), 29u);
  Bytes thirty;
  for (int i = 0; i < 30; ++i) thirty.push_back(static_cast<uint8_t>(i * 37 + 1));
  Bytes with_ff = {'M', 0xFF, 0x80, 0x7F, 0};
  for (const Bytes& payload : {thirty, with_ff}) {
    host.frames.clear();
    Send(payload);
    ASSERT_EQ(host.frames.size(), 1u);
    PeerFrame d = PeerDecode(host.frames[0], key);
    EXPECT_EQ(d.kind, 'E');
    EXPECT_EQ(d.payload, payload);  // byte 29 reuses key character 0
    EXPECT_TRUE(d.check_ok);
  }
  // 0xFF counts as -1: its term is 16 * 2343531 + i.
  EXPECT_EQ(PeerCheckValue({0xFF}), 7777777u + 16u * 2343531u);
}

TEST_F(Framing, IdentAnnouncementIsAlwaysPlain) {
  MakeKey();
  Send({'J', 1, 2, 3, 4, 'g', 0});
  ASSERT_EQ(host.frames.size(), 1u);
  EXPECT_EQ(host.frames[0][3], 'P');
}

TEST_F(Framing, LongPayloadIsCutTo1100Bytes) {
  Bytes big(1500, 'a');
  Send(big);
  MakeKey();
  Send(big);
  ASSERT_EQ(host.frames.size(), 2u);
  EXPECT_EQ(host.frames[0].size(), 1108u);
  EXPECT_EQ(host.frames[1].size(), 1110u);
  EXPECT_EQ(PeerDecode(host.frames[1], ChannelKey()).payload, Bytes(1100, 'a'));
}

TEST_F(Framing, NothingLeavesBeforeTheServerHasSpoken) {
  Client().protocol.connection.frames_received = 0;
  const uint32_t sent = Client().channel.bytes_sent;
  Send({'B', 'D', ' ', 0});
  QueuePayload("M x", 4, 0, TestClock::now);
  FlushQueue(&host.record, TestClock::now);
  EXPECT_TRUE(host.frames.empty());
  EXPECT_EQ(Client().channel.bytes_sent, sent);
  EXPECT_EQ(Client().channel.first_frame_sent, 0);
  // The queued reply fell due and was discarded: its slot is free again.
  EXPECT_EQ(static_cast<OutboundSlot*>(Client().channel.outbound.Element(0))->length, 0);
  Client().protocol.connection.frames_received = 1;
  FlushQueue(&host.record, TestClock::now + 100);
  EXPECT_TRUE(host.frames.empty());
}

TEST_F(Framing, QueueSendsDueSlotsInSlotOrder) {
  const uint32_t start = TestClock::now;
  QueuePayload("a", 2, 4, TestClock::now);
  QueuePayload("b", 2, 2, TestClock::now);
  QueuePayload("c", 2, 1, TestClock::now);
  FlushQueue(&host.record, start + 3);
  ASSERT_EQ(host.frames.size(), 2u);
  EXPECT_EQ(host.frames[0][8], 'b');
  EXPECT_EQ(host.frames[1][8], 'c');
  FlushQueue(&host.record, start + 4);
  ASSERT_EQ(host.frames.size(), 3u);
  EXPECT_EQ(host.frames[2][8], 'a');

  // Free slots are reused in array order; the array never shrinks.
  host.frames.clear();
  QueuePayload("x", 2, 4, TestClock::now);
  QueuePayload("y", 2, 2, TestClock::now);
  QueuePayload("z", 2, 1, TestClock::now);
  FlushQueue(&host.record, start + 10);
  ASSERT_EQ(host.frames.size(), 3u);
  EXPECT_EQ(host.frames[0][8], 'x');
  EXPECT_EQ(host.frames[1][8], 'y');
  EXPECT_EQ(host.frames[2][8], 'z');
  EXPECT_EQ(Client().channel.outbound.Count(), 3);
}

TEST_F(Framing, QueueGrowsBeyondItsFirstRoom) {
  for (int i = 0; i < 70; ++i) QueuePayload("p", 2, 0, TestClock::now);
  EXPECT_EQ(Client().channel.outbound.Count(), 70);
  EXPECT_EQ(Client().channel.outbound.Capacity(), 128);
  FlushQueue(&host.record, TestClock::now);
  EXPECT_EQ(host.frames.size(), 70u);
}

TEST_F(Framing, DelayMeasuredFromAFutureStampCountsAsZero) {
  QueuePayload("q", 2, 1, TestClock::now);
  FlushQueue(&host.record, TestClock::now - 3000);  // the stamp lies 3 s ahead
  EXPECT_TRUE(host.frames.empty());
  FlushQueue(&host.record, TestClock::now - 6000);  // more than 5 s ahead: very old
  EXPECT_EQ(host.frames.size(), 1u);
}

TEST_F(Framing, ForceOutOfBandUsesTheServerAddress) {
  protocol::ResetConnection("127.0.0.1:27961");
  Client().protocol.connection.frames_received = 1;
  Client().settings.values.force_oob = 1;
  Send({'U', '3', 0});
  EXPECT_TRUE(host.frames.empty());
  ASSERT_EQ(host.oob_frames.size(), 1u);
  EXPECT_EQ(host.oob_address, "127.0.0.1");
  EXPECT_EQ(host.oob_port, 27961);
  EXPECT_EQ(host.oob_frames[0].size(), 11u);
  // Without a port the frame takes the normal route.
  protocol::ResetConnection("somewhere");
  Client().protocol.connection.frames_received = 1;
  Send({'U', '3', 0});
  EXPECT_EQ(host.frames.size(), 1u);
}

TEST_F(Framing, FirstFrameTimeIsRecordedOnce) {
  const uint32_t first = TestClock::now;
  Send({'A', 0});
  TestClock::now += 500;
  Send({'A', 0});
  EXPECT_EQ(Client().channel.first_frame_time, first);
  EXPECT_EQ(Client().channel.frames_this_cycle, 2);
}

TEST_F(Framing, AnnotateConnectAppendsTheGuidWithinTheLimit) {
  strcpy(Client().channel.player_guid, "0123456789ABCDEF0123456789ABCDEF");
  std::vector<char> buffer(1200, 'r');
  int32_t length = 1070;
  const char* result = host.record.annotate_connect(0, 2, buffer.data(), &length);
  ASSERT_NE(result, nullptr);
  EXPECT_STREQ(result, "Max Packet Length Reached");
  EXPECT_EQ(length, 1070);
  EXPECT_EQ(buffer[1070], 'r');

  length = 1065;
  EXPECT_EQ(host.record.annotate_connect(0, 2, buffer.data(), &length), nullptr);
  EXPECT_EQ(length, 1099);
  EXPECT_EQ(std::string(buffer.data() + 1065), " *0123456789ABCDEF0123456789ABCDEF");

  length = 10;
  EXPECT_EQ(host.record.annotate_connect(0, 1, buffer.data(), &length), nullptr);  // other kinds: nothing
  EXPECT_EQ(length, 10);
  Client().settings.enabled = 0;
  EXPECT_EQ(host.record.annotate_connect(0, 2, buffer.data(), &length), nullptr);
  EXPECT_EQ(length, 10);
}

TEST_F(Framing, ClearedKeySendsPlainAgain) {
  MakeKey();
  ClearChannelKey();
  EXPECT_STREQ(ChannelKey(), "");
  Send({'A', 0});
  ASSERT_EQ(host.frames.size(), 1u);
  EXPECT_EQ(host.frames[0][3], 'P');
}

TEST_F(Framing, AnnotationLengthNearItsLimitIsRefused) {
  strcpy(Client().channel.player_guid, "0123456789ABCDEF0123456789ABCDEF");
  char buffer[8] = "";
  for (int32_t length : {INT32_MAX, INT32_MAX - 20, 1066}) {
    int32_t in_out = length;
    EXPECT_STREQ(host.record.annotate_connect(0, 2, buffer, &in_out), "Max Packet Length Reached") << length;
    EXPECT_EQ(in_out, length);
  }
}

TEST_F(Framing, OutboundQueueIsBounded) {
  for (int i = 0; i < 400; ++i) QueuePayload("p", 2, 1000, TestClock::now);
  EXPECT_EQ(Client().channel.outbound.Count(), kMaxOutboundSlots);
  FlushQueue(&host.record, TestClock::now + 1000);
  EXPECT_EQ(host.frames.size(), static_cast<size_t>(kMaxOutboundSlots));
  // Sent slots are free again.
  QueuePayload("q", 2, 0, TestClock::now);
  EXPECT_EQ(Client().channel.outbound.Count(), kMaxOutboundSlots);
}

// A handler's answer leaves at once, after its delay, or not at all, and is
// cut to the longest payload a frame carries.
TEST_F(Framing, RepliesGoNowAfterTheirDelayOrNever) {
  SendReply(&host.record, Reply::None(), TestClock::now);
  SendReply(&host.record, Reply::AfterText(5, "BK31"), TestClock::now);
  const std::string long_text(1500, 'x');
  SendReply(&host.record, Reply::NowText(long_text.c_str()), TestClock::now);
  ASSERT_EQ(host.frames.size(), 1u);
  EXPECT_EQ(PeerDecode(host.frames[0], "").payload.size(), 1100u);

  FlushQueue(&host.record, TestClock::now + 4);
  EXPECT_EQ(host.frames.size(), 1u);
  FlushQueue(&host.record, TestClock::now + 5);
  ASSERT_EQ(host.frames.size(), 2u);
  EXPECT_EQ(PeerDecode(host.frames[1], "").payload, (Bytes{'B', 'K', '3', '1', 0}));
}
