#include <gtest/gtest.h>

#include <string>

#include "core/client_state.h"
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
  EXPECT_EQ(Client().enabled, 1);
  EXPECT_TRUE(host.prints.empty());
  Cycle(1);  // the next call initialises
  ASSERT_FALSE(host.keywords.empty());
  EXPECT_EQ(host.keywords[0], std::make_pair(std::string("set_cl_tallyguard"), std::string("1")));
  // Enabling a disabled module prints nothing of its own; the initialisation
  // that follows prints the version line.
  EXPECT_EQ(host.CountPrinted(kVersionLine), 1);
  EXPECT_EQ(Client().initialised, 1);
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
