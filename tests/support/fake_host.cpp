#include "support/fake_host.h"

#include <cstring>
#include <filesystem>

#include "core/client_state.h"
#include "platform/platform.h"

FakeHost* FakeHost::current = nullptr;
uint32_t TestClock::now = 0;
uint32_t TestClock::step_ms = 0;

uint32_t TestClock::Read() {
  uint32_t value = now;
  now += step_ms;
  return value;
}

namespace {

void Copy(char* buffer, const std::string& text) {
  size_t n = text.size() < TG_QUERY_BUFFER_SIZE - 1 ? text.size() : TG_QUERY_BUFFER_SIZE - 1;
  memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

void TG_CALL Keyword(const char* service, const char* argument) {
  FakeHost* host = FakeHost::current;
  host->keywords.push_back({service, argument});
  if (std::string(service) == "set_cl_tallyguard") host->cvars["cl_tallyguard"] = argument;
}

intptr_t TG_CALL Query(int32_t code, char* buffer) {
  FakeHost* host = FakeHost::current;
  ++host->query_counts[code];
  switch (code) {
    case TG_QUERY_CVAR: {
      auto it = host->cvars.find(buffer);
      if (it == host->cvars.end()) {
        buffer[0] = '\0';
        return 1;
      }
      Copy(buffer, it->second);
      return 0;
    }
    case TG_QUERY_SERVER_ADDRESS:
      Copy(buffer, host->server_address);
      return 0;
    case TG_QUERY_REPORT:
      Copy(buffer, host->report_text);
      return host->report_result;
    default:
      buffer[0] = '\0';
      return 1;
  }
}

void TG_CALL Print(const char* text, int32_t) { FakeHost::current->prints.push_back(text); }

void TG_CALL Send(int32_t length, const void* frame) {
  const uint8_t* bytes = static_cast<const uint8_t*>(frame);
  FakeHost::current->frames.emplace_back(bytes, bytes + length);
}

void TG_CALL SendOutOfBand(const char* address, int32_t port, int32_t length, const void* data) {
  FakeHost* host = FakeHost::current;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  host->oob_frames.emplace_back(bytes, bytes + length);
  host->oob_address = address;
  host->oob_port = port;
}

int32_t TG_CALL ScreenInfo(int32_t code, int32_t) { return code == 101 ? 640 : code == 102 ? 480 : 0; }

}  // namespace

FakeHost::FakeHost() {
  memset(&record, 0, sizeof record);
  record.magic = TG_HOST_MAGIC;
  record.host_keyword = Keyword;
  record.host_query = Query;
  record.host_print = Print;
  record.host_send = Send;
  record.host_send_oob = SendOutOfBand;
  record.host_screen_info = ScreenInfo;
  cvars["cl_tallyguard"] = "0";
  current = this;
}

FakeHost::~FakeHost() {
  if (current == this) current = nullptr;
}

bool FakeHost::Printed(const std::string& text) const { return CountPrinted(text) > 0; }

int FakeHost::CountPrinted(const std::string& text) const {
  int n = 0;
  for (const std::string& line : prints) n += line == text ? 1 : 0;
  return n;
}

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
