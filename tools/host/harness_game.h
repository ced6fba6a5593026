// The harness's game: the reference host with a small set of console
// variables, key bindings and resources, its console on stdout, and its
// connection to a game server over loopback UDP.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "reference_host.h"
#include "server_link.h"

class HarnessGame : public ReferenceHost {
 public:
  HarnessGame();

  // Sets a console variable; an unknown name is created by the player.
  void SetCvar(const std::string& name, const std::string& value);

  ServerLink link;
  int refused_sends = 0;
  int frames_sent = 0;

  void Keyword(const char* service, const char* argument) override;
  void Print(const char* text) override;
  void Send(int32_t length, const void* frame) override;
  // Out-of-band datagrams to loopback addresses leave through a socket of
  // the game's own; what comes back on it is handed to the module as a
  // packet event, as a game does with connectionless packets for it.
  void SendOutOfBand(const char* address, int32_t port, int32_t length, const void* data) override;
  bool ReceiveOutOfBand(std::vector<uint8_t>* datagram);
  void GameCommand(const char* keyword, const char* line) override;
  // Reads the game window's pixels (the base pattern where there is none).
  void ReadPixels(int32_t x, int32_t y, int32_t width, int32_t height, uint8_t* out) override;

 private:
  struct GameCvar {
    std::string name;
    std::string value;
    std::string default_value;
    int flags;  // 0x80: created by the player
  };
  // Hands the table to the reference host's query answers.
  void Publish();
  std::vector<GameCvar> table_;
  PlatformSocket oob_socket_ = kNoSocket;
};
