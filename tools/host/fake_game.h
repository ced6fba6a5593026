// The game's side of the host record: console variables, key bindings, the
// console and the server link, as a small simulated game.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "server_link.h"
#include "tallyguard/host_interface.h"

struct GameCvar {
  std::string name;
  std::string value;
  std::string default_value;
  int flags;  // 0x80: created by the user
};

struct GameBinding {
  int key;
  std::string name;
  std::string command;
};

class FakeGame {
 public:
  FakeGame();

  // Fills the record: magic, services, an empty home path.
  void FillRecord(HostInterface* record);

  void SetCvar(const std::string& name, const std::string& value);
  const GameCvar* FindCvar(const std::string& name) const;

  std::string server_address = TG_NO_SERVER_ADDRESS;
  ServerLink link;
  bool quiet_frames = false;
  int refused_sends = 0;
  int frames_sent = 0;
  HostInterface* record = nullptr;

  // Service bodies (the record's entries are static trampolines to these).
  void Keyword(const char* service, const char* argument);
  intptr_t Query(int32_t code, char* buffer);
  void Print(const char* text);
  void Send(int32_t length, const void* frame);
  void SendOutOfBand(const char* address, int32_t port, int32_t length, const void* data);
  int32_t ScreenInfo(int32_t code, int32_t value);

 private:
  std::vector<GameCvar> cvars_;
  std::vector<GameBinding> bindings_;
  std::vector<std::string> resources_;  // lines of query 118
  size_t search_position_ = 0;
  size_t user_position_ = 0;
  size_t changed_position_ = 0;
};

// The one game of this process (the services are plain C functions).
FakeGame& Game();
