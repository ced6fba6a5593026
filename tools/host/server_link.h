// The game's own connection to a game server, over UDP on loopback: the
// module's frames go out as datagrams and the server's datagrams come back
// as packet events.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

class ServerLink {
 public:
  ~ServerLink();
  // Parses "address:port" (a loopback address only) and opens the socket.
  // Gives false with a reason when it cannot.
  bool Open(const std::string& address_and_port, std::string* error);
  bool IsOpen() const { return socket_ != kNoSocket; }
  // Says hello to the server in the game's own words, so it learns our
  // address; repeated every half second (now is the tick) until the server
  // has answered once, as a game client retries its connection request.
  void Connect(uint32_t now);
  void Send(const void* data, int length);
  // The next datagram from the server, if any.
  bool Receive(std::vector<uint8_t>* datagram);
  const std::string& Address() const { return address_and_port_; }

 private:
  PlatformSocket socket_ = kNoSocket;
  std::string address_and_port_;
  std::string ip_;
  uint16_t port_ = 0;
  bool answered_ = false;
  bool asked_ = false;
  uint32_t last_request_ = 0;
};

// 127.0.0.0/8 or "localhost".
bool IsLoopbackAddress(const std::string& address);
