#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/client_state.h"
#include "support/module_test.h"

namespace {

class SettingsTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    StartModule();
  }
};

using Lines = std::vector<std::string>;

}  // namespace

TEST_F(SettingsTest, ParsingByKind) {
  const Settings& s = Client().settings.values;
  struct Case {
    const char* line;
    const char* shown;
  } cases[] = {
      {"tg_Sleep 1000", "tg_Sleep = 500 (20 to 500)"},
      {"tg_Sleep 5", "tg_Sleep = 20 (20 to 500)"},
      {"TG_SLEEP \"100\"", "tg_Sleep = 100 (20 to 500)"},
      {"tg_Sleep -30", "tg_Sleep = 20 (20 to 500)"},
      {"tg_Sleep +250xyz", "tg_Sleep = 250 (20 to 500)"},
      {"tg_Sleep", "tg_Sleep = 250 (20 to 500)"},
      {"tg_Sleep 99999999999999", "tg_Sleep = 500 (20 to 500)"},
      {"tg_LogToFile 7", "tg_LogToFile = 1 (0=No, 1=Yes)"},
      {"tg_LogToFile 0", "tg_LogToFile = 0 (0=No, 1=Yes)"},
      {"tg_LogToFile -1", "tg_LogToFile = 1 (0=No, 1=Yes)"},
      {"tg_SsLog x", "tg_SsLog = 0 (0=No, 1=Yes)"},
      {"tg_MsgPrefix \"[TG] Me\"", "tg_MsgPrefix = [TG] Me"},
      {"tg_MsgPrefix \"\"", "tg_MsgPrefix = "},
      {"tg_MsgPrefix \"", "tg_MsgPrefix = \""},
      {"tg_LogAddr  spaced out  ", "tg_LogAddr = spaced out"},
      {"TG_SSBPP 9", "TG_SSBPP = 8 (3 to 8)"},
      {"tg_forceoob 1", "tg_forceoob = 1 (0 to 1)"},
      {"TG_AUTOEXEC server.cfg", "TG_AUTOEXEC = server.cfg"},
      {"tg_LogPort 0", "tg_LogPort = 0 (1 to 65535)"},
      {"tg_LogPort 70000", "tg_LogPort = 65535 (1 to 65535)"},
      {"tg_Sleep\t100", "Unknown Command/Setting: tg_Sleep\t100"},
      {"tg_Sleepy 100", "Unknown Command/Setting: tg_Sleepy 100"},
  };
  for (const Case& c : cases) EXPECT_EQ(Run(c.line), Lines{c.shown}) << c.line;
  EXPECT_EQ(s.sleep_ms, 500);
  EXPECT_EQ(s.force_oob, 1);
  EXPECT_STREQ(s.autoexec, "server.cfg");
  EXPECT_EQ(Run("tg_MsgPrefix " + std::string(40, 'p')), Lines{"tg_MsgPrefix = " + std::string(31, 'p')});
  EXPECT_EQ(std::string(host.record.message_prefix), std::string(31, 'p'));
}

TEST_F(SettingsTest, PrefixGoesToTheHostRecordAndStartUpResetsIt) {
  Run("tg_MsgPrefix \"[Mine]\"");
  EXPECT_STREQ(host.record.message_prefix, "[Mine]");
  EXPECT_EQ(host.print_prefixes.back(), "[Mine]");
}

TEST_F(SettingsTest, SystemCannotChangeWhileConnected) {
  EXPECT_EQ(Run("TG_SYSTEM 0"), Lines{"TG_SYSTEM = 0 (0 to 1)"});
  EXPECT_EQ(ReadHome("tgsys.cfg"), "tg_system 0\r\n");
  host.server_address = "127.0.0.1:27960";
  Cycle(1);
  EXPECT_EQ(Run("tg_system 1"), (Lines{"TG_SYSTEM = 1 (0 to 1)", "tg_system cannot be changed while connected to a server",
                                       "TG_SYSTEM = 0 (0 to 1)"}));
  EXPECT_EQ(Client().settings.values.system, 0);
  EXPECT_EQ(ReadHome("tgsys.cfg"), "tg_system 0\r\n");
  EXPECT_EQ(Run("tg_system 0"), Lines{"TG_SYSTEM = 0 (0 to 1)"});  // unchanged: no refusal
}
