#include "support/module_test.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "channel/framing.h"
#include "core/client_state.h"
#include "platform/platform.h"
#include "util/memory.h"

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
  MemorySetFailureHook(nullptr);
  PlatformSetFileFaultHook(nullptr);
  PlatformSetSocketFaultHook(nullptr);
  ResetClientState();
  PlatformSetTickSource(nullptr);
  PlatformSetLocalTimeSource(nullptr);
  std::filesystem::remove_all(home_base);
}

void ModuleTest::StartModule() {
  host.cvars["cl_tallyguard"] = "1";
  ASSERT_EQ(ca(&host.record, 0), 0);
  ASSERT_EQ(Client().core.initialised, 1);
}

intptr_t ModuleTest::Line(const std::string& text) {
  return cb(&host.record, TG_EVENT_CONSOLE_LINE, static_cast<int32_t>(text.size()), text.c_str(), 0);
}

intptr_t ModuleTest::Cycle(uint32_t advance_ms) {
  TestClock::now += advance_ms;
  return ca(&host.record, 0);
}

std::string ModuleTest::HomeFile(const std::string& name) const { return home_base + "/tg/" + name; }

std::string ModuleTest::ModulePath(const std::string& name) const { return home_base + "\\tg\\" + name; }

std::string ModuleTest::ReadHome(const std::string& name) const {
  std::ifstream in(HomeFile(name), std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

void ModuleTest::WriteHome(const std::string& name, const std::string& bytes) const {
  std::ofstream(HomeFile(name), std::ios::binary) << bytes;
}

std::vector<std::string> ModuleTest::Run(const std::string& line) {
  host.ClearPrints();
  EXPECT_EQ(Line(line), 0);
  Cycle(1);
  return host.prints;
}

void ConnectedTest::SetUp() {
  ModuleTest::SetUp();
  host.server_address = "127.0.0.1:27960";
  host.cvars[TG_GUID_CVAR] = "PLAYERGUID0123456789ABCDEF012345";
  StartModule();
  Cycle(1);
  Cycle(1);
  Cycle(1);  // the fourth call takes the GUID
  ASSERT_EQ(Client().protocol.connection.connected, 1);
  host.ClearPrints();
}

bool ConnectedTest::Deliver(const Bytes& frame, int32_t retries) {
  const int32_t before = Client().events.count;
  EXPECT_EQ(cb(&host.record, TG_EVENT_SERVER_PACKET, static_cast<int32_t>(frame.size()), frame.data(), retries), 0);
  EXPECT_EQ(ca(&host.record, -1), 0);
  return Client().events.count == before;
}

bool ConnectedTest::DeliverPlain(const Bytes& payload) {
  return Deliver(PeerPlainFrame(Client().channel.client_ident, payload));
}

bool ConnectedTest::Hello(int server_version, int client_version, int agent_version, int a, int b, int c, int d,
                          const std::string& guid) {
  const std::string text = "CS " + std::to_string(server_version) + " " + std::to_string(client_version) + " " +
                           std::to_string(agent_version) + " " + std::to_string(a) + " " + std::to_string(b) + " " +
                           std::to_string(c) + " " + std::to_string(d) + " " + guid;
  const bool consumed = DeliverPlain(text);
  if (client_version == 1276 && agent_version == 0) key = PeerChannelKey(a, b, c, d);
  return consumed;
}

void ConnectedTest::Flush(uint32_t advance_ms) {
  TestClock::now += advance_ms;
  FlushQueue(&host.record, TestClock::now);
}

std::vector<PeerFrame> ConnectedTest::TakeFrames() {
  std::vector<PeerFrame> frames;
  for (const Bytes& frame : host.frames) frames.push_back(PeerDecode(frame, frame[3] == 'E' ? key : ""));
  host.frames.clear();
  return frames;
}
