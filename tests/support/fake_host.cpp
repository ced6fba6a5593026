#include "support/fake_host.h"

#include <cstring>

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

void TG_CALL Print(const char* text, int32_t) {
  if (FakeHost::current->keep_prints) FakeHost::current->prints.push_back(text);
}

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

