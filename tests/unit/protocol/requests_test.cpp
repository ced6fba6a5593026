#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/client_state.h"
#include "support/module_test.h"

namespace {

// A connected module whose server has spoken (plain frames, no key).
class Requests : public ConnectedTest {
 protected:
  void SetUp() override {
    ConnectedTest::SetUp();
    Client().protocol.connection.frames_received = 1;
  }
  // Sends request subtype with its argument and gives the replies.
  std::vector<std::string> Ask(char subtype, const std::string& argument, uint32_t wait_ms = 50) {
    EXPECT_TRUE(DeliverPlain(std::string("B") + subtype + argument));
    Flush(wait_ms);
    std::vector<std::string> replies;
    for (const PeerFrame& frame : TakeFrames()) replies.push_back(frame.Text());
    return replies;
  }
};

using Replies = std::vector<std::string>;

}  // namespace

TEST_F(Requests, CvarValues) {
  host.cvars["sensitivity"] = "5.5";
  host.cvars["my var"] = "x\"y";
  host.cvars["cl_Password"] = "secret";
  host.cvars["CDKEY_hash"] = "k";
  EXPECT_EQ(Ask('A', "sensitivity"), (Replies{"Msensitivity = \"5.5\""}));
  EXPECT_EQ(Ask('A', "my var"), (Replies{"M\"my var\" = \"x\"y\""}));
  EXPECT_EQ(Ask('A', "missing"), (Replies{"Mmissing = \"\""}));
  EXPECT_EQ(Ask('A', "cl_Password"), Replies{});
  EXPECT_EQ(Ask('B', "CDKEY_hash"), Replies{});
  EXPECT_EQ(Client().protocol.connection.cvar_request_flag, 0);
  EXPECT_EQ(Ask('B', "sensitivity"), (Replies{"Lsensitivity = \"5.5\""}));
  EXPECT_EQ(Client().protocol.connection.cvar_request_flag, 1);
  EXPECT_EQ(Ask('A', std::string(300, 'n')).at(0).size(), 1u + 255u + 5u);  // the name is cut to 255
}

TEST_F(Requests, RepliesLeaveAfterTheirDelays) {
  host.cvars["rate"] = "25000";
  EXPECT_TRUE(DeliverPlain("BArate"));
  EXPECT_TRUE(DeliverPlain("BEnothing"));
  EXPECT_TRUE(DeliverPlain("BL5 7"));
  Flush(1);
  Replies first;
  for (const PeerFrame& frame : TakeFrames()) first.push_back(frame.Text());
  EXPECT_EQ(first, (Replies{"BK32"}));
  Flush(1);
  EXPECT_EQ(TakeFrames().at(0).Text(), "A[0 key binding matches found]");
  Flush(1);
  EXPECT_TRUE(TakeFrames().empty());
  Flush(1);
  EXPECT_EQ(TakeFrames().at(0).Text(), "Mrate = \"25000\"");
}

TEST_F(Requests, KeyBindings) {
  EXPECT_EQ(Ask('E', "+attack"), (Replies{"A[0 key binding matches found]"}));
  host.bindings = {{178, "MOUSE1", "+attack"}, {32, "SPACE", "+moveup"}, {179, "MOUSE2", "weapnext; +attack"}};
  EXPECT_EQ(Ask('E', "moveup"), (Replies{"A[SPACE = +moveup] [1 key binding match found]"}));
  EXPECT_EQ(Ask('E', "+ATTACK"),
            (Replies{"A[MOUSE1 = +attack] [MOUSE2 = weapnext; +attack] [2 key binding matches found]"}));
}

TEST_F(Requests, LongBindingListStaysWithinItsSizeAndCountsEverything) {
  for (int key = 0; key < 200; ++key) host.bindings.push_back({key, "K" + std::to_string(key), "bind " + std::string(40, 'x')});
  Replies replies = Ask('E', "bind");
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_LT(replies[0].size(), 1024u);  // the summary always finds room
  EXPECT_EQ(replies[0].substr(0, 6), "A[K0 =");
  EXPECT_NE(replies[0].find("[K10 = "), std::string::npos);
  EXPECT_EQ(replies[0].find("[K199 = "), std::string::npos);
  EXPECT_NE(replies[0].find("[200 key binding matches found]"), std::string::npos);
}

TEST_F(Requests, CvarLists) {
  host.user_cvars = {{"alpha", 0x80}, {"beta", 0x81}, {"gamma", 0x180}, {"", 0x80}, {"delta", 0x82}};
  EXPECT_EQ(Ask('G', ""), (Replies{"Q\"alpha\" \"gamma\" \"delta\" [3 user cvars found]"}));
  host.changed_cvars = {{"rate", "9000"}, {"name", ""}};
  EXPECT_EQ(Ask('H', ""), (Replies{"Q\"rate\" [1 changed cvar found]"}));
  host.cvars = {{"rcon_password", "x"}, {"cl_tallyguard", "1"}};
  EXPECT_EQ(Ask('F', "pass"), (Replies{"Q[0 cvar matches found]"}));
  EXPECT_EQ(Ask('F', "TALLY"), (Replies{"Q\"cl_tallyguard\" [1 cvar match found]"}));
  // Replies go out at once, not through the queue.
  EXPECT_TRUE(DeliverPlain("BGx"));
  EXPECT_EQ(TakeFrames().size(), 1u);
}

TEST_F(Requests, LongCvarListStopsGrowingButCountsEverything) {
  for (int i = 0; i < 100; ++i) host.user_cvars.push_back({"user_variable_" + std::to_string(i), 0x80});
  Replies replies = Ask('G', "");
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_LE(replies[0].size(), 1024u);
  EXPECT_NE(replies[0].find("[100 user cvars found]"), std::string::npos);
  EXPECT_EQ(replies[0].find("user_variable_99"), std::string::npos);
}

TEST_F(Requests, ProtocolValuesTimingAndResources) {
  EXPECT_EQ(Ask('L', "5 7"), (Replies{"BK32"}));
  EXPECT_EQ(Ask('L', "100 7"), (Replies{"BK99"}));
  EXPECT_EQ(Ask('L', ""), (Replies{"BK30"}));
  Replies timing = Ask('Q', "");
  ASSERT_EQ(timing.size(), 1u);
  ASSERT_EQ(timing[0].size(), 8u);
  EXPECT_EQ(timing[0].substr(0, 4), "Tq13");
  const int number = std::stoi(timing[0].substr(2));
  EXPECT_GE(number, 130600);
  EXPECT_LE(number, 130699);

  host.resources = {"fs_game base 7", "sv_pure 1 0", "\\end"};
  EXPECT_EQ(Ask('U', "FS_GAME"), (Replies{"BUfs_game base 7"}));
  EXPECT_EQ(Ask('U', "nothing"), (Replies{"BUnothing NOT_FOUND"}));
  host.resources = {"fs_game base 7"};  // ends where the host leaves the number in the buffer
  EXPECT_EQ(Ask('U', "other"), (Replies{"BUother NOT_FOUND"}));
}

TEST_F(Requests, LastRelayResultIsFourRawBytes) {
  Client().protocol.connection.last_relay_result = 40003;
  EXPECT_TRUE(DeliverPlain("BW"));
  Flush();
  std::vector<PeerFrame> frames = TakeFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].payload, (Bytes{'B', 'W', 0x43, 0x9C, 0x00, 0x00}));
}

TEST_F(Requests, SubtypesOutsideTheTableAreIgnored) {
  for (const char* request : {"B\x06x", "B\x7Fx", "Bzx", "B"}) {
    EXPECT_TRUE(DeliverPlain(request));
  }
  Flush();
  EXPECT_TRUE(TakeFrames().empty());
}

TEST_F(Requests, BindingAtTheLastIndexEndsTheWalk) {
  host.bindings = {{5, "F5", "+attack"}, {INT32_MAX, "LAST", "+attack; say end"}};
  EXPECT_EQ(Ask('E', "+attack"), (Replies{"A[F5 = +attack] [LAST = +attack; say end] [2 key binding matches found]"}));
}
