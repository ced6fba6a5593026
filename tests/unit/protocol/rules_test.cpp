#include "protocol/rules.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "core/client_state.h"
#include "support/module_test.h"

using namespace protocol;

namespace {

class Rules : public ConnectedTest {
 protected:
  void SetUp() override {
    ConnectedTest::SetUp();
    Client().protocol.connection.frames_received = 1;
  }
  void K(const std::string& text) { EXPECT_TRUE(DeliverPlain("K" + text)); }
  const CvarRule& Rule(int i) { return *static_cast<CvarRule*>(Client().protocol.rules.rules.Element(i)); }
  int32_t State() { return Client().protocol.rules.list_state; }
  // Runs CheckNextRule as the cycle would, at now + advance.
  void Check(uint32_t advance_ms) {
    TestClock::now += advance_ms;
    CheckNextRule(&host.record, TestClock::now);
  }
};

}  // namespace

TEST_F(Rules, RuleLines) {
  struct Case {
    std::string line;
    RuleLine::Kind result;
    int32_t count;
    uint8_t kind;
    double low, high;
    std::string text;
  } cases[] = {
      {"3 r_picmip in 0 3", RuleLine::Kind::kAdded, 0, kRuleIn, 0, 3, ""},
      {"3 r_picmip IN 3 0", RuleLine::Kind::kAdded, 0, kRuleIn, 0, 3, ""},
      {"1 rate OUT 100 1000", RuleLine::Kind::kAdded, 0, kRuleOut, 100, 1000, ""},
      {"1 name Include \"A B\"", RuleLine::Kind::kAdded, 0, kRuleInclude, 0, 0, "A B"},
      {"1 name exclude " + std::string(80, 'Z'), RuleLine::Kind::kAdded, 0, kRuleExclude, 0, 0, std::string(63, 'Z')},
      {"3 r_picmip inside 0 3", RuleLine::Kind::kRefused, 0, 0, 0, 0, ""},
      {"3 r_picmip", RuleLine::Kind::kRefused, 0, 0, 0, 0, ""},
      {"7", RuleLine::Kind::kCount, 7, 0, 0, 0, ""},
      {"-12", RuleLine::Kind::kCount, 12, 0, 0, 0, ""},
  };
  for (const Case& c : cases) {
    ClearRules();
    std::string line = c.line;
    const RuleLine result = AddRuleLine(&line[0]);
    EXPECT_EQ(result.kind, c.result) << c.line;
    EXPECT_EQ(result.count, c.count) << c.line;
    EXPECT_EQ(line, c.line);  // the line is given back as it came
    if (c.result != RuleLine::Kind::kAdded) {
      EXPECT_EQ(Client().protocol.rules.rules.Count(), 0);
      continue;
    }
    ASSERT_EQ(Client().protocol.rules.rules.Count(), 1);
    EXPECT_EQ(Rule(0).kind, c.kind) << c.line;
    EXPECT_DOUBLE_EQ(Rule(0).low, c.low);
    EXPECT_DOUBLE_EQ(Rule(0).high, c.high);
    EXPECT_EQ(std::string(Rule(0).text), c.text);
  }
  EXPECT_TRUE(host.Printed("Unable to Add Cvar Check - Invalid Specification: 3 r_picmip inside 0 3"));
}

TEST_F(Rules, ThreeLinePayloadCompletesAndListsTheRules) {
  host.cvars["r_picmip"] = "1";
  host.cvars["rate"] = "25000";
  K("3 r_picmip in 0 3\n3 rate out 0 5000\n2");
  EXPECT_EQ(State(), -1);
  EXPECT_EQ(Client().protocol.rules.rules.Count(), 2);
  EXPECT_TRUE(host.Printed("r_picmip = \"1\" : must be INSIDE 0 to 3 (OK)"));
  EXPECT_TRUE(host.Printed("rate = \"25000\" : must be OUTSIDE 0 to 5000 (OK)"));
  EXPECT_TRUE(host.Printed("0 Current Cvar Violations"));
}

TEST_F(Rules, ListCompletionRules) {
  K("1 a in 0 1\n   \r\n ");  // only blanks after the last line end
  EXPECT_EQ(State(), -1);
  ClearRules();
  K("1 a in 0 1\n1 b in 0 1");  // no line end after the last rule: more to come
  EXPECT_EQ(State(), 2);
  K("5");  // fewer rules held than counted: still receiving
  EXPECT_EQ(State(), 0);
  K("2");
  EXPECT_EQ(State(), -1);
  K("3");  // a count that disagrees reopens the list
  EXPECT_EQ(State(), 0);
  ClearRules();
  K("3 a middle 0 1\n");
  EXPECT_EQ(State(), -1);  // an invalid line counts as received
}

TEST_F(Rules, ProgressReportsWhileReceivingAfterTheHello) {
  K("1 a in 0 1\n1 b in 0 1");
  Check(600);
  EXPECT_TRUE(TakeFrames().empty());  // no hello yet
  Client().protocol.connection.hello_seen = 1;
  Check(0);  // 600 ms after the last rule line, 8100 ms after the report timer
  std::vector<PeerFrame> frames = TakeFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].Text(), "BC2");
  Check(7999);
  EXPECT_TRUE(TakeFrames().empty());
  Check(1);
  EXPECT_EQ(TakeFrames().size(), 1u);
}

TEST_F(Rules, ChecksOneRulePerCycleAndWarnsOnce) {
  host.cvars["cl_maxfps"] = "1.0000005";
  host.cvars["r_gamma"] = "1.000002";
  K("1 cl_maxfps in 1 1\n1 r_gamma in 1 1\n1 unknown out 0 5\n3");
  host.ClearPrints();
  Check(100);
  EXPECT_TRUE(host.prints.empty());  // cl_maxfps is within the tolerance
  Check(100);
  EXPECT_TRUE(host.Printed("Cvar r_gamma = 1.000002 must be 1"));
  EXPECT_EQ(host.print_prefixes.back(), "*WARNING*");
  Check(100);
  EXPECT_TRUE(host.Printed("Cvar unknown = 0 must NOT be 0 to 5") ||
              host.Printed("Cvar unknown = 0 must be outside 0 to 5"));
  host.ClearPrints();
  Check(100);
  Check(100);  // r_gamma again, within 10 s: no second warning
  Check(100);
  EXPECT_TRUE(host.prints.empty());
  Check(10001);
  Check(100);
  EXPECT_FALSE(host.prints.empty());
  EXPECT_TRUE(TakeFrames().empty());  // the server never asked with request B
}

TEST_F(Rules, ViolationIsSentWhenTheServerAsksValuesThatWay) {
  host.cvars["r_picmip"] = "5";
  Client().protocol.connection.cvar_request_flag = 1;
  K("1 r_picmip in 0 3\n1");
  Check(100);
  Flush();
  std::vector<PeerFrame> frames = TakeFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].Text(), "Lr_picmip = \"5\"");
}

TEST_F(Rules, TextRulesAndTheList) {
  host.cvars["name"] = "\"xabcx\"";
  host.cvars["rcon_PASSword"] = "abc";
  K("1 name include ABC\n1 name include abc\n1 name exclude XAB\n1 rcon_PASSword include Q\n1 r_gamma in 2 2\n5");
  EXPECT_TRUE(host.Printed("name = \"xabcx\" : must INCLUDE \"ABC\" (OK)"));
  EXPECT_TRUE(host.Printed("name = \"xabcx\" : must INCLUDE \"abc\" (VIOLATION)"));
  EXPECT_TRUE(host.Printed("name = \"xabcx\" : must NOT INCLUDE \"XAB\" (VIOLATION)"));
  EXPECT_TRUE(host.Printed("rcon_PASSword = \"**Protected**\" : must INCLUDE \"Q\" (VIOLATION)"));
  EXPECT_TRUE(host.Printed("r_gamma = \"\" : must be EQUAL to 2 (VIOLATION)"));
  EXPECT_TRUE(host.Printed("4 Current Cvar Violations"));
  host.ClearPrints();
  Check(100);
  EXPECT_TRUE(host.prints.empty());
  Check(100);
  EXPECT_TRUE(host.Printed("Cvar name = \"XABCX\" must include \"abc\""));
}

TEST_F(Rules, ListIsTruncatedToTenMetRulesButConsoleShowsAll) {
  std::string text;
  for (int i = 0; i < 12; ++i) text += "1 v" + std::to_string(i) + " out 5 6\n";
  host.cvars["bad"] = "1";
  text += "1 bad in 2 3\n13";
  K(text);
  int ok = 0;
  for (const std::string& line : host.prints) ok += line.find("(OK)") != std::string::npos ? 1 : 0;
  EXPECT_EQ(ok, 10);
  EXPECT_TRUE(host.Printed("bad = \"1\" : must be INSIDE 2 to 3 (VIOLATION)"));
  EXPECT_TRUE(host.Printed("1 Current Cvar Violation"));
  EXPECT_TRUE(host.Printed("CvarList truncated; Use tg_cvarlist to see entire list"));
  host.ClearPrints();
  ASSERT_EQ(Line("tg_cvarlist"), 0);
  Cycle(1);
  ok = 0;
  for (const std::string& line : host.prints) ok += line.find("(OK)") != std::string::npos ? 1 : 0;
  EXPECT_EQ(ok, 12);
  EXPECT_FALSE(host.Printed("CvarList truncated; Use tg_cvarlist to see entire list"));
}

TEST_F(Rules, EmptyListAndNewConnection) {
  ASSERT_EQ(Line("tg_CvarList"), 0);
  Cycle(1);
  EXPECT_TRUE(host.Printed("0 Current Cvar Violations"));
  K("1 a in 0 1\n1");
  host.server_address = "127.0.0.1:1";
  Cycle(1);
  EXPECT_EQ(Client().protocol.rules.rules.Count(), 0);
  EXPECT_EQ(State(), 0);
}

TEST_F(Rules, ListIsCappedAndOneCallStaysBounded) {
  // 40 payloads of 15 rule lines: more lines than any server sends. No
  // payload ends in a line end, so the list keeps receiving.
  std::string lines = "1 r_picmip in 0 3";
  for (int i = 1; i < 15; ++i) lines += "\n1 r_picmip in 0 3";
  for (int i = 0; i < 40; ++i) K(lines);
  EXPECT_EQ(Client().protocol.rules.rules.Count(), kMaxCvarRules);
  EXPECT_EQ(host.CountPrinted("Cvar Check List Full (512) - Further Checks Ignored"), 1);
  EXPECT_EQ(State(), 600);  // every line counts as received
  // The count line completes nothing (600 > 512) and the list stays bounded.
  host.ClearPrints();
  K("600");
  EXPECT_EQ(State(), 0);
  EXPECT_LE(host.prints.size(), static_cast<size_t>(kMaxCvarRules) + 2);
  // A new connection starts a new list, which may report again.
  host.server_address = "127.0.0.1:27002";
  Cycle(1);
  EXPECT_EQ(Client().protocol.rules.rules.Count(), 0);
}

TEST_F(Rules, NumbersReadTheSameWhateverTheHostsLocale) {
  const char* const names[] = {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252", "German", "de-DE"};
  const char* set = nullptr;
  for (const char* name : names)
    if ((set = setlocale(LC_NUMERIC, name)) != nullptr) break;
  if (set == nullptr) GTEST_SKIP() << "no locale with a decimal comma on this machine";
  ASSERT_EQ(localeconv()->decimal_point[0], ',');
  K("1 sensitivity in 0.5 1.5\n1");
  host.cvars["sensitivity"] = "1.25";
  const CvarRule rule = Rule(0);
  host.ClearPrints();
  Run("tg_CvarList");
  setlocale(LC_NUMERIC, "C");
  EXPECT_DOUBLE_EQ(rule.low, 0.5);
  EXPECT_DOUBLE_EQ(rule.high, 1.5);
  EXPECT_TRUE(host.Printed("sensitivity = \"1.25\" : must be INSIDE 0.5 to 1.5 (OK)"));
}
