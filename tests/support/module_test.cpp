#include "support/module_test.h"

#include <filesystem>

#include "core/client_state.h"
#include "platform/platform.h"

void ModuleTest::SetUp() {
  ResetClientState();
  TestClock::now = 1000000;
  TestClock::step_ms = 0;
  PlatformSetTickSource(TestClock::Read);
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  home_base = std::string("home_") + info->test_suite_name() + "_" + info->name();
  for (char& c : home_base)
    if (c == '/') c = '_';
  std::filesystem::remove_all(home_base);
  std::filesystem::create_directories(home_base);
  host.cvars["fs_homepath"] = home_base;
}

void ModuleTest::TearDown() {
  ResetClientState();
  PlatformSetTickSource(nullptr);
  PlatformSetLocalTimeSource(nullptr);
  std::filesystem::remove_all(home_base);
}

void ModuleTest::StartModule() {
  host.cvars["cl_tallyguard"] = "1";
  ASSERT_EQ(ca(&host.record, 0), 0);
  ASSERT_EQ(Client().initialised, 1);
}

intptr_t ModuleTest::Line(const std::string& text) {
  return cb(&host.record, TG_EVENT_CONSOLE_LINE, static_cast<int32_t>(text.size()), text.c_str(), 0);
}

intptr_t ModuleTest::Cycle(uint32_t advance_ms) {
  TestClock::now += advance_ms;
  return ca(&host.record, 0);
}

std::string ModuleTest::HomeFile(const std::string& name) const { return home_base + "/tg/" + name; }
