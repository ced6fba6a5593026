#include "support/fake_host.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
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

void TG_CALL Print(const char* text, int32_t) {
  FakeHost* host = FakeHost::current;
  if (!host->keep_prints) return;
  host->prints.push_back(text);
  host->print_prefixes.push_back(host->record.message_prefix);
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
  record.host_query = FakeHostQuery;
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


namespace {

bool ContainsNoCase(const std::string& text, const std::string& part) {
  for (size_t i = 0; i + part.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < part.size() && tolower(static_cast<unsigned char>(text[i + k])) == tolower(static_cast<unsigned char>(part[k])))
      ++k;
    if (k == part.size()) return true;
  }
  return false;
}

void TG_CALL GameCommand(const char* keyword, const char* line) {
  FakeHost::current->game_commands.push_back({keyword, line});
}

}  // namespace

void FakeHost::OfferGameCommand() {
  second_table_[0] = TG_SECOND_TABLE_MAGIC;
  TgGameCommand operation = GameCommand;
  memcpy(reinterpret_cast<uint8_t*>(second_table_) + TG_SECOND_TABLE_GAME_COMMAND, &operation, sizeof operation);
  record.second_table = second_table_;
}

intptr_t TG_CALL FakeHostQuery(int32_t code, char* buffer) {
  FakeHost* host = FakeHost::current;
  ++host->query_counts[code];
  const std::string in = buffer;
  switch (code) {
    case TG_QUERY_CVAR: {
      auto it = host->cvars.find(in);
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
    case TG_QUERY_BIND_FIND: {
      const int start = atoi(buffer);
      const size_t space = in.find(' ');
      const std::string text = space == std::string::npos ? "" : in.substr(space + 1);
      for (const FakeHost::Binding& binding : host->bindings) {
        if (binding.key >= start && ContainsNoCase(binding.command, text)) {
          Copy(buffer, std::to_string(binding.key));
          return 0;
        }
      }
      return 1;
    }
    case TG_QUERY_BIND_TEXT:
    case TG_QUERY_KEY_NAME:
      for (const FakeHost::Binding& binding : host->bindings) {
        if (binding.key == atoi(buffer)) {
          Copy(buffer, code == TG_QUERY_BIND_TEXT ? binding.command : binding.name);
          return 0;
        }
      }
      return 1;
    case TG_QUERY_CVAR_SEARCH: {
      auto it = host->cvars.begin();
      std::advance(it, static_cast<long>(std::min(host->search_position_, host->cvars.size())));
      for (; it != host->cvars.end(); ++it) {
        ++host->search_position_;
        if (ContainsNoCase(it->first, in)) {
          Copy(buffer, it->first);
          return 0;
        }
      }
      host->search_position_ = 0;
      buffer[0] = '\0';
      return 1;
    }
    case TG_QUERY_USER_CVAR:
      if (host->user_position_ < host->user_cvars.size()) {
        const auto& entry = host->user_cvars[host->user_position_++];
        Copy(buffer, std::to_string(entry.second));
        return reinterpret_cast<intptr_t>(entry.first.c_str());
      }
      host->user_position_ = 0;
      return 0;
    case TG_QUERY_CHANGED_CVAR:
      if (host->changed_position_ < host->changed_cvars.size()) {
        const auto& entry = host->changed_cvars[host->changed_position_++];
        Copy(buffer, entry.second);
        return reinterpret_cast<intptr_t>(entry.first.c_str());
      }
      host->changed_position_ = 0;
      return 0;
    case TG_QUERY_RESOURCE: {
      const size_t entry = static_cast<size_t>(atoi(buffer));
      if (entry < host->resources.size()) Copy(buffer, host->resources[entry]);
      return 0;  // past the end the buffer keeps the number: the list is over
    }
    default:
      buffer[0] = '\0';
      return 1;
  }
}
