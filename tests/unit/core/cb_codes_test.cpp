#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "channel/wire_constants.h"
#include "core/client_state.h"
#include "support/module_test.h"
#include "support/wire_peer.h"

using CbCodes = ModuleTest;

TEST_F(CbCodes, FixedAnswersNeedNoInitialisation) {
  struct Case {
    int32_t code;
    intptr_t expected;
  } cases[] = {
      {17, 1276}, {19, 90000}, {20, 90000}, {21, 90000}, {22, 4}, {50, 0}, {120, 0}, {300, 0},
      {113, 0}, {117, 0}, {118, 0}, {119, -2}, {121, 1},
  };
  for (const Case& c : cases) EXPECT_EQ(cb(&host.record, c.code, 0, nullptr, 0), c.expected) << c.code;
  EXPECT_EQ(Client().core.initialised, 0);
  EXPECT_EQ(Client().services.host, nullptr);  // codes above 16 remember nothing
  EXPECT_TRUE(host.prints.empty());
  EXPECT_TRUE(host.keywords.empty());
  EXPECT_FALSE(std::filesystem::exists(home_base + "/tg"));
  const char* empty = reinterpret_cast<const char*>(cb(&host.record, 51, 0, nullptr, 0));
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");
}

TEST_F(CbCodes, PublishedConstants) {
  const uint32_t* first = reinterpret_cast<const uint32_t*>(cb(&host.record, 23, 0, nullptr, 0));
  const uint32_t* second = reinterpret_cast<const uint32_t*>(cb(&host.record, 24, 0, nullptr, 0));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(*first, wire::kPublishedConstant1);
  EXPECT_EQ(*second, wire::kPublishedConstant2);
}

TEST_F(CbCodes, RunningAndEnabledQueriesFollowTheModule) {
  EXPECT_EQ(cb(&host.record, 119, 0, nullptr, 0), -2);
  StartModule();
  EXPECT_EQ(cb(&host.record, 119, 0, nullptr, 0), 0);
  EXPECT_EQ(cb(&host.record, 113, 0, nullptr, 0), 1);
  host.cvars["cl_tallyguard"] = "0";
  EXPECT_EQ(cb(&host.record, 113, 0, nullptr, 0), 0);
}

TEST_F(CbCodes, EnableRunsStartupLoadsOnlyTheFirstTime) {
  host.record.message_prefix[0] = '\0';
  ca(&host.record, -1);  // remembers the interface, runs nothing else
  EXPECT_EQ(cb(&host.record, 117, 0, nullptr, 0), 0);
  EXPECT_STREQ(host.record.message_prefix, "[skipnotify]Tallyguard Client");
  EXPECT_EQ(Client().settings.enabled, 1);
  EXPECT_EQ(host.cvars["cl_tallyguard"], "1");
  strcpy(host.record.message_prefix, "mine");
  EXPECT_EQ(cb(&host.record, 117, 0, nullptr, 0), 0);
  EXPECT_STREQ(host.record.message_prefix, "mine");
  EXPECT_EQ(host.keywords.size(), 2u);
}

TEST_F(CbCodes, DisableAtNextStart) {
  ca(&host.record, -1);
  EXPECT_EQ(cb(&host.record, 118, 0, nullptr, 0), 0);
  ASSERT_EQ(host.keywords.size(), 1u);
  EXPECT_EQ(host.keywords[0].first, "set_cl_tallyguard");
  EXPECT_EQ(host.keywords[0].second, "0");
  EXPECT_TRUE(host.Printed("The Tallyguard Client will be disabled the NEXT TIME upon startup."));
}

namespace {

std::string ExpectedKey(int a, int b, int c, int d) { return PeerChannelKey(a, b, c, d); }

}  // namespace

TEST_F(CbCodes, KeyEventDerivesTheChannelKeyFromWordsOneToFour) {
  const char* words = "ignored 5 -7 300 42";  // minus skipped; only low 8 bits count
  const char* key = reinterpret_cast<const char*>(cb(&host.record, 18, 0, words, 0));
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(std::string(key), ExpectedKey(5, 7, 300, 42));
  EXPECT_EQ(strlen(key), 29u);
  const uint8_t* buffer = Client().channel.key_buffer;
  const int32_t offset = Client().channel.key_offset;
  EXPECT_GE(offset, 33);
  EXPECT_LE(offset, 932);
  EXPECT_EQ(key, reinterpret_cast<const char*>(buffer) + offset);
  // A second key event reuses the buffer and the offset.
  const char* again = reinterpret_cast<const char*>(cb(&host.record, 18, 0, "x 1 2 3 4", 0));
  EXPECT_EQ(Client().channel.key_buffer, buffer);
  EXPECT_EQ(again, key);
  EXPECT_EQ(std::string(again), ExpectedKey(1, 2, 3, 4));
  // Missing words read as 0.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(cb(&host.record, 18, 0, "x", 0))), ExpectedKey(0, 0, 0, 0));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(cb(&host.record, 18, 0, nullptr, 0))), ExpectedKey(0, 0, 0, 0));
}

TEST_F(CbCodes, KeyCharacterThatBecomesZeroIsStoredAsQuestionMark) {
  // Find key parameters that turn some character into 0.
  for (int a = 0; a < 256; ++a) {
    std::string expected = ExpectedKey(a, 0, 0, 0);
    if (expected.find('?') == std::string::npos) continue;
    std::string words = "k " + std::to_string(a) + " 0 0 0";
    std::string key = reinterpret_cast<const char*>(cb(&host.record, 18, 0, words.c_str(), 0));
    EXPECT_EQ(key, expected);
    EXPECT_EQ(key.size(), 29u);  // the 0 did not end the key early
    return;
  }
  FAIL() << "no parameter turns a key character into 0";
}

TEST_F(CbCodes, FailedInitialisationIsReportedAndRetried) {
  host.cvars["cl_tallyguard"] = "1";
  host.record.magic = 0x12345678;
  const char* result = reinterpret_cast<const char*>(cb(&host.record, 14, 6, "tg_Ver", 0));
  ASSERT_NE(result, nullptr);
  EXPECT_STREQ(result, TG_ERROR_INIT);
  EXPECT_TRUE(host.Printed("Host Interface Mismatch (5678)"));
  EXPECT_TRUE(host.Printed("(A) Host Interface Mismatch"));
  EXPECT_EQ(Client().events.count, 0);  // not queued
  EXPECT_STREQ(reinterpret_cast<const char*>(ca(&host.record, 0)), TG_ERROR_INIT);
  host.record.magic = TG_HOST_MAGIC;
  EXPECT_EQ(cb(&host.record, 14, 6, "tg_Ver", 0), 0);
  EXPECT_EQ(Client().core.initialised, 1);
}

TEST_F(CbCodes, OverflowLeavesTheCycleTimeAlone) {
  StartModule();
  for (int i = 0; i < 256; ++i) ASSERT_EQ(cb(&host.record, 5, 1, "x", 0), 0);
  Client().core.last_cycle_time = 777;
  const char* result = reinterpret_cast<const char*>(cb(&host.record, 14, 6, "tg_Ver", 0));
  ASSERT_NE(result, nullptr);
  EXPECT_STREQ(result, TG_ERROR_OVERFLOW);
  EXPECT_EQ(Client().core.last_cycle_time, 777u);
  EXPECT_EQ(Client().events.count, 256);
}

TEST_F(CbCodes, HaltedModuleAnswersZeroToEverything) {
  StartModule();
  Client().core.halted = 1;
  for (int32_t code : {14, 17, 18, 23, 119, 121})
    EXPECT_EQ(cb(&host.record, code, 6, "tg_Ver", 0), 0) << code;
  EXPECT_EQ(Client().events.count, 0);
}

TEST_F(CbCodes, AnyCodeLengthAndNullDataIsSafe) {
  StartModule();
  for (int32_t code = -3; code <= 130; ++code) {
    cb(&host.record, code, 100000, nullptr, 0);
    cb(&host.record, code, -5, "", 1);
  }
  EXPECT_LE(Client().events.count, 256);
  for (int i = 0; i < 10; ++i) Cycle(200);
}

TEST_F(CbCodes, KeyEventReadsOnlyTheGivenLength) {
  // Nine bytes of words, and no terminator before more digits follow.
  const char words[] = "x 1 2 3 45";
  const char* key = reinterpret_cast<const char*>(cb(&host.record, TG_CODE_KEY, 9, words, 0));
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(std::string(key), ExpectedKey(1, 2, 3, 4));
}
