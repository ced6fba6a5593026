#include "routing/console_words.h"

#include <gtest/gtest.h>

#include <string>

#include "core/client_state.h"
#include "master/exchange.h"
#include "support/module_test.h"

using Dispatch = ModuleTest;

namespace {
const char kVersionLine[] = "Tallyguard Client (v1.276 | A0) Enabled";
}

TEST_F(Dispatch, LinesFromThePlayer) {
  StartModule();
  struct Case {
    const char* line;
    const char* printed;  // nullptr: nothing at all
  } cases[] = {
      {"tg_ver", kVersionLine},
      {"TG_VER", kVersionLine},
      {"  tg_Ver   // a comment", kVersionLine},
      {"tg_Ver extra words", kVersionLine},
      {"tg_Vers", "Unknown Command/Setting: tg_Vers"},
      {"\ttg_what\t", "Unknown Command/Setting: tg_what"},
      {"// only a comment", nullptr},
      {"   ", nullptr},
  };
  for (const Case& c : cases) {
    host.ClearPrints();
    ASSERT_EQ(Line(c.line), 0);
    Cycle(1);
    if (c.printed == nullptr) {
      EXPECT_TRUE(host.prints.empty()) << c.line;
    } else {
      ASSERT_EQ(host.prints.size(), 1u) << c.line;
      EXPECT_EQ(host.prints[0], c.printed) << c.line;
    }
  }
}

TEST_F(Dispatch, DisabledModuleObeysOnlyEnable) {
  ASSERT_EQ(Line("tg_Ver"), 0);
  Cycle(1);
  EXPECT_TRUE(host.Printed("Tallyguard Client is currently Disabled"));
  host.ClearPrints();
  ASSERT_EQ(Line("tg_cl_enable"), 0);
  Cycle(1);
  EXPECT_EQ(Client().settings.enabled, 1);
  EXPECT_TRUE(host.prints.empty());
  Cycle(1);  // the next call initialises
  ASSERT_FALSE(host.keywords.empty());
  EXPECT_EQ(host.keywords[0], std::make_pair(std::string("set_cl_tallyguard"), std::string("1")));
  // Enabling a disabled module prints nothing of its own; the initialisation
  // that follows prints the version line.
  EXPECT_EQ(host.CountPrinted(kVersionLine), 1);
  EXPECT_EQ(Client().core.initialised, 1);
  host.ClearPrints();
  ASSERT_EQ(Line("tg_cl_Enable"), 0);
  Cycle(1);
  EXPECT_EQ(host.CountPrinted(kVersionLine), 1);  // already enabled: the version line
}

TEST_F(Dispatch, VeryLongLineIsHandledWhole) {
  StartModule();
  host.ClearPrints();
  const std::string line = "tg_unknown " + std::string(5000, 'w');
  ASSERT_EQ(Line(line), 0);
  Cycle(1);
  ASSERT_EQ(host.prints.size(), 1u);
  EXPECT_EQ(host.prints[0].size(), 4149u);  // the message is cut, the line was read
  EXPECT_EQ(host.prints[0].substr(0, 36), "Unknown Command/Setting: tg_unknown ");
}

namespace {

// A module connected to a game server that has spoken, so payloads leave.
class Commands : public ConnectedTest {
 protected:
  void SetUp() override {
    ConnectedTest::SetUp();
    Client().protocol.connection.frames_received = 1;
  }
  // Runs a console line and gives what it printed.
  std::vector<std::string> Payloads() {
    std::vector<std::string> texts;
    for (const PeerFrame& frame : TakeFrames()) texts.push_back(frame.Text());
    return texts;
  }
};

using Lines = std::vector<std::string>;

}  // namespace

TEST_F(Commands, PayloadCommands) {
  struct Case {
    const char* line;
    const char* payload;
  } cases[] = {
      {"tg_Plist a b", "BD a b"},  {"TG_PLIST", "BD "},           {"tg_CvarVal r_picmip", "BBr_picmip"},
      {"TG_CVAR= rate", "BBrate"}, {"tg_Power 3", "BJ 3"},        {"tg_Kick 4", "U4"},
      {"TG_ALIST all", "BTall"},   {"TG_RCON status", "Vstatus"}, {"tg_plist \"two words\" x", "BD two words\" x"},
  };
  for (const Case& c : cases) {
    Run(c.line);
    EXPECT_EQ(Payloads(), Lines{c.payload}) << c.line;
  }
  Run("tg_CvarVal " + std::string(400, 'v'));
  EXPECT_EQ(Payloads().at(0).size(), 2u + 255u);
}

TEST_F(Commands, NothingLeavesBeforeTheServerSpeaks) {
  Client().protocol.connection.frames_received = 0;
  const uint32_t sent = Client().channel.bytes_sent;
  Run("tg_Plist");
  EXPECT_TRUE(host.frames.empty());
  EXPECT_EQ(Client().channel.bytes_sent, sent);
}

TEST_F(Commands, ForwardedLinesAtMostTwoPerWindow) {
  Run("tg_ypg_one");
  Run("TG_YPG_two // not a comment here");
  TestClock::now += 1500;
  Run("tg_ypg_three");
  EXPECT_EQ(Payloads(), (Lines{"Atg_ypg_one", "ATG_YPG_two // not a comment here"}));
  TestClock::now += 500;  // 2000 ms after the window opened
  Run("tg_ypg_four");
  EXPECT_EQ(Payloads(), (Lines{"Atg_ypg_four"}));
  Client().settings.enabled = 0;
  EXPECT_EQ(Run("tg_ypg_five"), Lines{"Tallyguard Client is currently Disabled"});
}

TEST_F(Commands, FurtherWords) {
  Run("tg_cmd say hello there");
  ASSERT_FALSE(host.keywords.empty());
  EXPECT_EQ(host.keywords.back(), std::make_pair(std::string("Cmd_Exec"), std::string("say hello there")));
  Run("TG_NEXTMASTER");
  EXPECT_EQ(TestClock::now - Client().master.exchange.last_query_time, 1860000u);
  // The next main work asks the next master (the built-in ones never resolve).
  host.ClearPrints();
  for (int i = 0; i < 3; ++i) Cycle(100);
  ASSERT_EQ(host.prints.size(), 1u);
  EXPECT_NE(host.prints[0].find("No Master Query Sent - DNS has not yet resolved for MASTER"), std::string::npos);
  EXPECT_EQ(Run("TG_MYGUID"), Lines{"GUID=PLAYERGUID0123456789ABCDEF012345"});
  EXPECT_EQ(Run("tg_homepath"), Lines{"Home Path is " + home_base + "\\tg\\"});
  EXPECT_EQ(Run("TG_WEBUPDATE"), Lines{});
  EXPECT_EQ(Run("TG_WEBUPDATEX"), Lines{"Unknown Command/Setting: TG_WEBUPDATEX"});
}

TEST_F(Commands, NetstatReportsSinceTheFirstFrame) {
  EXPECT_EQ(Run("TG_NETSTAT"), Lines{"Last 1 Second: In=0 bytes; Out=0 bytes"});
  Run("tg_Plist");
  DeliverPlain("Ahi");
  TestClock::now += 3000;
  EXPECT_EQ(Run("TG_NETSTAT"), Lines{"Last 3 Seconds: In=12 bytes; Out=12 bytes"});
  EXPECT_EQ(Run("TG_NETSTAT"), Lines{"Last 1 Second: In=0 bytes; Out=0 bytes"});
}

TEST_F(Commands, DisableOnlyChangesTheNextStart) {
  EXPECT_EQ(Run("tg_cl_Disable"), Lines{"The Tallyguard Client will be disabled the NEXT TIME upon startup."});
  EXPECT_EQ(host.cvars["cl_tallyguard"], "0");
  EXPECT_EQ(Client().settings.enabled, 1);
}

TEST_F(Commands, LinesFromTheServerReportNothingUnknown) {
  host.ClearPrints();
  char line[] = "tg_nonsense";
  DispatchLine(&host.record, 11, line, 0, 0, TestClock::now);
  EXPECT_TRUE(host.prints.empty());
}

TEST_F(Commands, ScreenshotOptions) {
  struct Case {
    const char* line;
    const char* printed;
  } cases[] = {
      {"tg_SsOptions 320 240", "Screenshots: W=320, H=240, X=50%, Y=50%, Srate=1"},
      {"tg_SsOptions 5 5", "Screenshot Options not changed - invalid value(s) specified"},
      {"tg_SsOptions -400 300", "Screenshots: W=400, H=300, X=50%, Y=50%, Srate=1"},
      {"tg_SsOptions", "Screenshots: W=400, H=300, X=50%, Y=50%, Srate=1"},
      {"tg_SsOptions 10 10 100 0 4", "Screenshots: W=10, H=10, X=100%, Y=0%, Srate=4"},
      {"tg_SsOptions 10 10 101", "Screenshot Options not changed - invalid value(s) specified"},
      {"tg_SsOptions 640 480 50 50 5", "Screenshot Options not changed - invalid value(s) specified"},
  };
  for (const Case& c : cases) EXPECT_EQ(Run(c.line), Lines{c.printed}) << c.line;
}

TEST_F(Commands, SearchesThroughTheHost) {
  host.bindings = {{178, "MOUSE1", "+attack"}, {179, "MOUSE2", "weapnext; +attack"}};
  EXPECT_EQ(Run("tg_BindSrch attack"),
            (Lines{"MOUSE1 = +attack", "MOUSE2 = weapnext; +attack", "\"attack\" found in 2 key bindings"}));
  EXPECT_EQ(Run("TG_BIND? weapnext"), (Lines{"MOUSE2 = weapnext; +attack", "\"weapnext\" found in 1 key binding"}));
  EXPECT_EQ(Run("tg_BindSrch nothing"), Lines{"\"nothing\" found in 0 key bindings"});
  host.cvars = {{"r_picmip", "1"}, {"r_gamma", "1"}, {"rate", "1"}};
  EXPECT_EQ(Run("tg_CvarSrch r_"), (Lines{"  r_gamma", "  r_picmip", "\"r_\" found in 2 cvars"}));
  host.user_cvars = {{"mine", 0x80}, {"engine", 0x81}, {"", 0x80}};
  EXPECT_EQ(Run("tg_CvarUser"), (Lines{"  mine", "1 User-defined cvar found"}));
  host.changed_cvars = {{"rate", "9000"}, {"empty", ""}, {"name", "Me"}};
  EXPECT_EQ(Run("tg_CvarChanged"), (Lines{"rate 9000", "name Me", "2 Changed cvars found"}));
}

TEST(Completion, ExtendsOrListsCandidates) {
  struct Case {
    const char* typed;
    const char* completed;
    int candidates;
  } cases[] = {
      {"tg_cv", "tg_cv", 5},   {"tg_writ", "tg_writeCfg ", 0}, {"TG_MSG", "TG_MSGPrefix ", 0},
      {"tg_x", "tg_x", 0},     {"tg_Reg", "tg_Reg", 6},        {"tg_Sleep", "tg_Sleep ", 0},
      {"tg_cl_", "tg_cl_", 2}, {"tg_LogP", "tg_LogP", 2},
  };
  for (const Case& c : cases) {
    ResetClientState();
    FakeHost host;
    host.record.magic = TG_HOST_MAGIC;
    ca(&host.record, -1);  // remembers the interface
    char buffer[TG_QUERY_BUFFER_SIZE];
    snprintf(buffer, sizeof buffer, "%s", c.typed);
    EXPECT_EQ(cb(&host.record, TG_CODE_COMPLETE, 0, buffer, 0), 0);
    EXPECT_STREQ(buffer, c.completed) << c.typed;
    EXPECT_EQ(static_cast<int>(host.prints.size()), c.candidates == 0 ? 0 : c.candidates + 1) << c.typed;
  }
  ResetClientState();
}

TEST_F(Commands, LongTextPayloadsKeepTheirNul) {
  const std::string text(1200, 'y');
  for (const std::string& line : {"tg_ypg_" + text, "TG_ALIST " + text, "TG_RCON " + text, "tg_Kick " + text}) {
    host.frames.clear();
    Run(line);
    ASSERT_EQ(host.frames.size(), 1u) << line.substr(0, 8);
    const Bytes& frame = host.frames[0];
    EXPECT_EQ(frame.size(), 8u + 1100u) << line.substr(0, 8);
    EXPECT_EQ(frame.back(), 0) << line.substr(0, 8);
  }
}
