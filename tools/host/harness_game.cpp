#include "harness_game.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

HarnessGame::HarnessGame() {
  table_ = {
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
  bindings = {
      {9, "TAB", "+scores"}, {32, "SPACE", "+moveup"},   {119, "w", "+forward"},
      {115, "s", "+back"},   {178, "MOUSE1", "+attack"}, {179, "MOUSE2", "weapnext; wait; +attack"},
  };
  resources = {"fs_game baseq 1", "fs_basepath C:\\Games\\TestGame 2", "sv_pure 1 3"};
  screen_width = 1024;
  screen_height = 768;
  Publish();
}

void HarnessGame::Publish() {
  cvars.clear();
  user_cvars.clear();
  changed_cvars.clear();
  for (const GameCvar& cvar : table_) {
    cvars[cvar.name] = cvar.value;
    user_cvars.push_back({cvar.name, cvar.flags});
    if (cvar.value != cvar.default_value) changed_cvars.push_back({cvar.name, cvar.value});
  }
}

void HarnessGame::SetCvar(const std::string& name, const std::string& value) {
  bool found = false;
  for (GameCvar& cvar : table_) {
    if (SameNoCase(cvar.name, name)) {
      cvar.value = value;
      found = true;
    }
  }
  if (!found) table_.push_back({name, value, "", 0x80});
  Publish();
}

void HarnessGame::Keyword(const char* service, const char* argument) {
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

void HarnessGame::Print(const char* text) {
  std::string prefix(record.message_prefix, strnlen(record.message_prefix, sizeof record.message_prefix));
  // "[skipnotify]" asks the game to keep the line out of its on-screen notices.
  const std::string marker = "[skipnotify]";
  if (prefix.compare(0, marker.size(), marker) == 0) prefix.erase(0, marker.size());
  printf("%s%s%s\n", prefix.c_str(), prefix.empty() ? "" : ": ", text != nullptr ? text : "");
  fflush(stdout);
}

void HarnessGame::Send(int32_t length, const void* frame) {
  ++frames_sent;
  if (!link.IsOpen()) {
    printf("[host] frame of %d bytes for the game server (no server link)\n", static_cast<int>(length));
    return;
  }
  link.Send(frame, length);
}

void HarnessGame::SendOutOfBand(const char* address, int32_t port, int32_t length, const void* data) {
  if (address == nullptr || !IsLoopbackAddress(address)) {
    ++refused_sends;
    printf("[host] REFUSED out-of-band send of %d bytes to %s:%d: not a loopback address\n", static_cast<int>(length),
           address != nullptr ? address : "(none)", static_cast<int>(port));
    return;
  }
  printf("[host] out-of-band %d bytes to %s:%d\n", static_cast<int>(length), address, static_cast<int>(port));
  if (oob_socket_ == kNoSocket) oob_socket_ = PlatformUdpOpen(0, 1);
  if (oob_socket_ != kNoSocket && data != nullptr && length > 0 && port > 0 && port < 65536)
    PlatformUdpSend(oob_socket_, address, static_cast<uint16_t>(port), data, static_cast<int>(length));
}

bool HarnessGame::ReceiveOutOfBand(std::vector<uint8_t>* datagram) {
  if (oob_socket_ == kNoSocket) return false;
  uint8_t buffer[4096];
  const int n = PlatformUdpReceive(oob_socket_, buffer, sizeof buffer, nullptr, nullptr);
  if (n < 0) return false;
  datagram->assign(buffer, buffer + n);
  return true;
}

void HarnessGame::GameCommand(const char* keyword, const char* line) {
  printf("[host] game command %s: %s\n", keyword != nullptr ? keyword : "", line != nullptr ? line : "");
}

void HarnessGame::ReadPixels(int32_t x, int32_t y, int32_t width, int32_t height, uint8_t* out) {
  if (!PlatformReadGameWindow(x, y, width, height, out)) ReferenceHost::ReadPixels(x, y, width, height, out);
}
