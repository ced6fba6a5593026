#include "fake_game.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void CopyOut(char* buffer, const std::string& text) {
  size_t n = text.size() < TG_QUERY_BUFFER_SIZE - 1 ? text.size() : TG_QUERY_BUFFER_SIZE - 1;
  memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

bool ContainsNoCase(const std::string& text, const std::string& part) {
  if (part.empty()) return true;
  for (size_t i = 0; i + part.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < part.size() && tolower(static_cast<unsigned char>(text[i + k])) ==
                                  tolower(static_cast<unsigned char>(part[k])))
      ++k;
    if (k == part.size()) return true;
  }
  return false;
}

bool SameNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && ContainsNoCase(a, b);
}

void TG_CALL KeywordEntry(const char* service, const char* argument) { Game().Keyword(service, argument); }
intptr_t TG_CALL QueryEntry(int32_t code, char* buffer) { return Game().Query(code, buffer); }
void TG_CALL PrintEntry(const char* text, int32_t) { Game().Print(text); }
void TG_CALL SendEntry(int32_t length, const void* frame) { Game().Send(length, frame); }
void TG_CALL SendOutOfBandEntry(const char* address, int32_t port, int32_t length, const void* data) {
  Game().SendOutOfBand(address, port, length, data);
}
int32_t TG_CALL ScreenInfoEntry(int32_t code, int32_t value) { return Game().ScreenInfo(code, value); }

}  // namespace

FakeGame& Game() {
  static FakeGame game;
  return game;
}

FakeGame::FakeGame() {
  cvars_ = {
      {"cl_tallyguard", "0", "0", 0},
      {"fs_homepath", ".", ".", 0},
      {"version", "TestGame 1.0", "TestGame 1.0", 0},
      {TG_GUID_CVAR, "5E1F00D5C0FFEE0123456789ABCDEF01", "", 0},
      {"name", "Player", "UnnamedPlayer", 0},
      {"sensitivity", "7", "5", 0},
      {"cl_maxpackets", "30", "30", 0},
      {"r_picmip", "1", "1", 0},
      {"rate", "25000", "25000", 0},
      {"rcon_password", "secret", "", 0},
      {"my_fast_switch", "1", "", 0x80},
  };
  bindings_ = {
      {9, "TAB", "+scores"},
      {32, "SPACE", "+moveup"},
      {119, "w", "+forward"},
      {115, "s", "+back"},
      {178, "MOUSE1", "+attack"},
      {179, "MOUSE2", "weapnext; wait; +attack"},
  };
  resources_ = {"fs_game baseq 1", "fs_basepath C:\\Games\\TestGame 2", "sv_pure 1 3"};
}

void FakeGame::FillRecord(HostInterface* target) {
  memset(target, 0, sizeof *target);
  target->magic = TG_HOST_MAGIC;
  target->host_keyword = KeywordEntry;
  target->host_query = QueryEntry;
  target->host_print = PrintEntry;
  target->host_send = SendEntry;
  target->host_send_oob = SendOutOfBandEntry;
  target->host_screen_info = ScreenInfoEntry;
  record = target;
}

void FakeGame::SetCvar(const std::string& name, const std::string& value) {
  for (GameCvar& cvar : cvars_) {
    if (SameNoCase(cvar.name, name)) {
      cvar.value = value;
      return;
    }
  }
  cvars_.push_back({name, value, "", 0x80});
}

const GameCvar* FakeGame::FindCvar(const std::string& name) const {
  for (const GameCvar& cvar : cvars_)
    if (SameNoCase(cvar.name, name)) return &cvar;
  return nullptr;
}

void FakeGame::Keyword(const char* service, const char* argument) {
  if (service == nullptr) return;
  if (argument == nullptr) argument = "";
  if (strcmp(service, "set_cl_tallyguard") == 0) {
    SetCvar("cl_tallyguard", argument);
    printf("[host] cl_tallyguard set to \"%s\"\n", argument);
  } else if (strcmp(service, "Cmd_Exec") == 0) {
    printf("[host] exec: %s\n", argument);
  } else {
    printf("[host] keyword %s: %s\n", service, argument);
  }
}

intptr_t FakeGame::Query(int32_t code, char* buffer) {
  if (buffer == nullptr) return 1;
  std::string in(buffer, strnlen(buffer, TG_QUERY_BUFFER_SIZE - 1));
  switch (code) {
    case TG_QUERY_CVAR: {
      const GameCvar* cvar = FindCvar(in);
      CopyOut(buffer, cvar != nullptr ? cvar->value : "");
      return cvar != nullptr ? 0 : 1;
    }
    case TG_QUERY_SERVER_ADDRESS:
      CopyOut(buffer, server_address);
      return 0;
    case TG_QUERY_BIND_FIND: {
      int start = atoi(in.c_str());
      size_t space = in.find(' ');
      std::string text = space == std::string::npos ? "" : in.substr(space + 1);
      for (const GameBinding& binding : bindings_) {
        if (binding.key >= start && ContainsNoCase(binding.command, text)) {
          CopyOut(buffer, std::to_string(binding.key));
          return 0;
        }
      }
      return 1;
    }
    case TG_QUERY_BIND_TEXT:
    case TG_QUERY_KEY_NAME: {
      int key = atoi(in.c_str());
      for (const GameBinding& binding : bindings_) {
        if (binding.key == key) {
          CopyOut(buffer, code == TG_QUERY_BIND_TEXT ? binding.command : binding.name);
          return 0;
        }
      }
      return 1;
    }
    case TG_QUERY_CVAR_SEARCH:
      for (; search_position_ < cvars_.size(); ++search_position_) {
        if (ContainsNoCase(cvars_[search_position_].name, in)) {
          CopyOut(buffer, cvars_[search_position_++].name);
          return 0;
        }
      }
      search_position_ = 0;
      buffer[0] = '\0';
      return 1;
    case TG_QUERY_USER_CVAR:
      if (user_position_ < cvars_.size()) {
        const GameCvar& cvar = cvars_[user_position_++];
        CopyOut(buffer, std::to_string(cvar.flags));
        return reinterpret_cast<intptr_t>(cvar.name.c_str());
      }
      user_position_ = 0;
      return 0;
    case TG_QUERY_CHANGED_CVAR:
      while (changed_position_ < cvars_.size()) {
        const GameCvar& cvar = cvars_[changed_position_++];
        if (cvar.value != cvar.default_value) {
          CopyOut(buffer, cvar.value);
          return reinterpret_cast<intptr_t>(cvar.name.c_str());
        }
      }
      changed_position_ = 0;
      return 0;
    case TG_QUERY_RESOURCE: {
      const size_t entry = static_cast<size_t>(atoi(in.c_str()));
      if (entry < resources_.size()) CopyOut(buffer, resources_[entry]);
      return 0;  // past the end the number stays in the buffer: the list is over
    }
    default:
      buffer[0] = '\0';
      return 0;
  }
}

void FakeGame::Print(const char* text) {
  std::string prefix;
  if (record != nullptr) prefix.assign(record->message_prefix, strnlen(record->message_prefix, 31));
  // "[skipnotify]" asks the game to keep the line out of its on-screen notices.
  const std::string marker = "[skipnotify]";
  if (prefix.compare(0, marker.size(), marker) == 0) prefix.erase(0, marker.size());
  printf("%s%s%s\n", prefix.c_str(), prefix.empty() ? "" : ": ", text != nullptr ? text : "");
  fflush(stdout);
}

void FakeGame::Send(int32_t length, const void* frame) {
  ++frames_sent;
  if (!link.IsOpen()) {
    printf("[host] frame of %d bytes for the game server (no server link)\n", static_cast<int>(length));
    return;
  }
  link.Send(frame, length);
}

void FakeGame::SendOutOfBand(const char* address, int32_t port, int32_t length, const void*) {
  if (address == nullptr || !IsLoopbackAddress(address)) {
    ++refused_sends;
    printf("[host] REFUSED out-of-band send of %d bytes to %s:%d: not a loopback address\n",
           static_cast<int>(length), address != nullptr ? address : "(none)", static_cast<int>(port));
    return;
  }
  printf("[host] out-of-band %d bytes to %s:%d\n", static_cast<int>(length), address, static_cast<int>(port));
}

int32_t FakeGame::ScreenInfo(int32_t code, int32_t) {
  switch (code) {
    case 101: return 1024;  // width
    case 102: return 768;   // height
    default: return 0;
  }
}
