#include "reference_host.h"

#include <cstdlib>
#include <cstring>
#include <iterator>

ReferenceHost* ReferenceHost::current = nullptr;

namespace {

// ASCII letters only, as console variable names are; a table keeps the
// comparison of names cheap (the benchmarks run through it).
struct LowerTable {
  unsigned char lower[256];
  LowerTable() {
    for (int c = 0; c < 256; ++c) lower[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  }
};
const LowerTable kLower;

inline int Lower(char c) { return kLower.lower[static_cast<unsigned char>(c)]; }

bool SameNoCaseAt(const std::string& text, size_t at, const std::string& part) {
  for (size_t k = 0; k < part.size(); ++k)
    if (Lower(text[at + k]) != Lower(part[k])) return false;
  return true;
}

}  // namespace

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const int x = Lower(a[i]), y = Lower(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

bool SameNoCase(const std::string& a, const std::string& b) { return a.size() == b.size() && SameNoCaseAt(a, 0, b); }

bool ContainsNoCase(const std::string& text, const std::string& part) {
  for (size_t i = 0; i + part.size() <= text.size(); ++i)
    if (SameNoCaseAt(text, i, part)) return true;
  return false;
}

namespace {

void CopyOut(char* buffer, const std::string& text) {
  const size_t n = text.size() < TG_QUERY_BUFFER_SIZE - 1 ? text.size() : TG_QUERY_BUFFER_SIZE - 1;
  memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

void TG_CALL KeywordEntry(const char* service, const char* argument) {
  ReferenceHost::current->Keyword(service, argument);
}
intptr_t TG_CALL QueryEntry(int32_t code, char* buffer) { return ReferenceHost::current->Query(code, buffer); }
void TG_CALL PrintEntry(const char* text, int32_t) { ReferenceHost::current->Print(text); }
void TG_CALL SendEntry(int32_t length, const void* frame) { ReferenceHost::current->Send(length, frame); }
void TG_CALL SendOutOfBandEntry(const char* address, int32_t port, int32_t length, const void* data) {
  ReferenceHost::current->SendOutOfBand(address, port, length, data);
}
int32_t TG_CALL ScreenInfoEntry(int32_t code, int32_t value) { return ReferenceHost::current->ScreenInfo(code, value); }
void TG_CALL ReadPixelsEntry(int32_t x, int32_t y, int32_t width, int32_t height, int32_t value) {
  if (width <= 0 || height <= 0) return;
  ReferenceHost::current->ReadPixels(x, y, width, height, reinterpret_cast<uint8_t*>(static_cast<intptr_t>(value)));
}
// Addresses go through host_screen_info as 32-bit values: only a 32-bit
// host can hand over its pixel routine and take back the module's buffer.
const bool kAddressesFit = sizeof(void*) == sizeof(int32_t);
void TG_CALL GameCommandEntry(const char* keyword, const char* line) {
  ReferenceHost::current->GameCommand(keyword, line);
}

}  // namespace

ReferenceHost::ReferenceHost() {
  memset(&record, 0, sizeof record);
  record.magic = TG_HOST_MAGIC;
  record.host_keyword = KeywordEntry;
  record.host_query = QueryEntry;
  record.host_print = PrintEntry;
  record.host_send = SendEntry;
  record.host_send_oob = SendOutOfBandEntry;
  record.host_screen_info = ScreenInfoEntry;
  cvars["cl_tallyguard"] = "0";
  current = this;
}

ReferenceHost::~ReferenceHost() {
  if (current == this) current = nullptr;
}

void ReferenceHost::OfferGameCommand() {
  second_table_[0] = TG_SECOND_TABLE_MAGIC;
  TgGameCommand operation = GameCommandEntry;
  memcpy(reinterpret_cast<uint8_t*>(second_table_) + TG_SECOND_TABLE_GAME_COMMAND, &operation, sizeof operation);
  record.second_table = second_table_;
}

void ReferenceHost::ClearPrints() {
  prints.clear();
  print_prefixes.clear();
}

bool ReferenceHost::Printed(const std::string& text) const { return CountPrinted(text) > 0; }

int ReferenceHost::CountPrinted(const std::string& text) const {
  int n = 0;
  for (const std::string& line : prints) n += line == text ? 1 : 0;
  return n;
}

void ReferenceHost::Keyword(const char* service, const char* argument) {
  if (service == nullptr) return;
  if (argument == nullptr) argument = "";
  keywords.push_back({service, argument});
  if (strcmp(service, "set_cl_tallyguard") == 0) cvars["cl_tallyguard"] = argument;
}

void ReferenceHost::Print(const char* text) {
  if (!keep_prints) return;
  prints.push_back(text != nullptr ? text : "");
  print_prefixes.push_back(
      std::string(record.message_prefix, strnlen(record.message_prefix, sizeof record.message_prefix)));
}

void ReferenceHost::Send(int32_t length, const void* frame) {
  const uint8_t* bytes = static_cast<const uint8_t*>(frame);
  frames.emplace_back(bytes, bytes + length);
}

void ReferenceHost::SendOutOfBand(const char* address, int32_t port, int32_t length, const void* data) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  oob_frames.emplace_back(bytes, bytes + length);
  oob_address = address != nullptr ? address : "";
  oob_port = port;
}

void ReferenceHost::GameCommand(const char* keyword, const char* line) {
  game_commands.push_back({keyword != nullptr ? keyword : "", line != nullptr ? line : ""});
}

int32_t ReferenceHost::ScreenInfo(int32_t code, int32_t value) {
  switch (code) {
    case TG_SCREEN_WIDTH:
      return screen_width;
    case TG_SCREEN_HEIGHT:
      return screen_height;
    case TG_SCREEN_HAS_PIXELS:
      return offer_pixels && kAddressesFit ? 1 : 0;
    case TG_SCREEN_BUFFER:
      return value;  // the buffer's address comes back to ReadPixelsEntry
    case TG_SCREEN_READ_PIXELS: {
      if (!offer_pixels || !kAddressesFit) return 0;
      TgHostReadPixels routine = ReadPixelsEntry;
      return static_cast<int32_t>(reinterpret_cast<intptr_t>(routine));
    }
    default:
      return 0;
  }
}

void ReferenceHost::ReadPixels(int32_t x, int32_t y, int32_t width, int32_t height, uint8_t* out) {
  // Red tells the column, green the row, blue their sum; bottom row first.
  for (int32_t row = 0; row < height; ++row) {
    const int32_t screen_y = y + height - 1 - row;
    for (int32_t column = 0; column < width; ++column, out += 3) {
      out[0] = static_cast<uint8_t>(x + column);
      out[1] = static_cast<uint8_t>(screen_y);
      out[2] = static_cast<uint8_t>(x + column + screen_y);
    }
  }
}

intptr_t ReferenceHost::Query(int32_t code, char* buffer) {
  if (buffer == nullptr) return 1;
  ++query_counts[code];
  const std::string in(buffer, strnlen(buffer, TG_QUERY_BUFFER_SIZE - 1));
  switch (code) {
    case TG_QUERY_CVAR: {
      auto it = cvars.find(in);
      if (it == cvars.end()) {
        buffer[0] = '\0';
        return 1;
      }
      CopyOut(buffer, it->second);
      return 0;
    }
    case TG_QUERY_NAMED_TEXT: {
      // The game's texts by name ("name", "mapname"): its console variables.
      auto it = cvars.find(in);
      CopyOut(buffer, it != cvars.end() ? it->second : std::string());
      return 0;
    }
    case TG_QUERY_SERVER_ADDRESS:
      CopyOut(buffer, server_address);
      return 0;
    case TG_QUERY_REPORT:
      CopyOut(buffer, report_text);
      return report_result;
    case TG_QUERY_BIND_FIND: {
      const int start = atoi(in.c_str());
      const size_t space = in.find(' ');
      const std::string text = space == std::string::npos ? "" : in.substr(space + 1);
      for (const Binding& binding : bindings) {
        if (binding.key >= start && ContainsNoCase(binding.command, text)) {
          CopyOut(buffer, std::to_string(binding.key));
          return 0;
        }
      }
      return 1;
    }
    case TG_QUERY_BIND_TEXT:
    case TG_QUERY_KEY_NAME:
      for (const Binding& binding : bindings) {
        if (binding.key == atoi(in.c_str())) {
          CopyOut(buffer, code == TG_QUERY_BIND_TEXT ? binding.command : binding.name);
          return 0;
        }
      }
      return 1;
    case TG_QUERY_CVAR_SEARCH: {
      auto it = cvars.begin();
      std::advance(it, static_cast<long>(search_position_ < cvars.size() ? search_position_ : cvars.size()));
      for (; it != cvars.end(); ++it) {
        ++search_position_;
        if (ContainsNoCase(it->first, in)) {
          CopyOut(buffer, it->first);
          return 0;
        }
      }
      search_position_ = 0;
      buffer[0] = '\0';
      return 1;
    }
    case TG_QUERY_USER_CVAR:
      if (user_position_ < user_cvars.size()) {
        const auto& entry = user_cvars[user_position_++];
        CopyOut(buffer, std::to_string(entry.second));
        return reinterpret_cast<intptr_t>(entry.first.c_str());
      }
      user_position_ = 0;
      return 0;
    case TG_QUERY_CHANGED_CVAR:
      if (changed_position_ < changed_cvars.size()) {
        const auto& entry = changed_cvars[changed_position_++];
        CopyOut(buffer, entry.second);
        return reinterpret_cast<intptr_t>(entry.first.c_str());
      }
      changed_position_ = 0;
      return 0;
    case TG_QUERY_RESOURCE: {
      const size_t entry = static_cast<size_t>(atoi(in.c_str()));
      if (entry < resources.size()) CopyOut(buffer, resources[entry]);
      return 0;  // past the end the buffer keeps the number: the list is over
    }
    default:
      buffer[0] = '\0';
      return 0;
  }
}
