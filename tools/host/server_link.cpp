#include "server_link.h"

#include <cstdlib>

bool IsLoopbackAddress(const std::string& address) {
  return address.compare(0, 4, "127.") == 0 || address == "localhost";
}

ServerLink::~ServerLink() { PlatformUdpClose(socket_); }

bool ServerLink::Open(const std::string& address_and_port, std::string* error) {
  const size_t colon = address_and_port.find(':');
  if (colon == std::string::npos) {
    *error = "expected address:port";
    return false;
  }
  ip_ = address_and_port.substr(0, colon);
  if (ip_ == "localhost") ip_ = "127.0.0.1";
  const long port = strtol(address_and_port.c_str() + colon + 1, nullptr, 10);
  if (!IsLoopbackAddress(ip_)) {
    *error = "refused: " + ip_ + " is not a loopback address";
    return false;
  }
  if (port <= 0 || port > 65535) {
    *error = "bad port";
    return false;
  }
  port_ = static_cast<uint16_t>(port);
  socket_ = PlatformUdpOpen(0, 1);
  if (socket_ == kNoSocket) {
    *error = "cannot open a UDP socket";
    return false;
  }
  address_and_port_ = ip_ + ":" + std::to_string(port_);
  return true;
}

void ServerLink::Connect(uint32_t now) {
  static const char kConnect[] =
      "\xff\xff\xff\xff"
      "connect";
  if (answered_ || (asked_ && static_cast<int32_t>(now - last_request_) < 500)) return;
  asked_ = true;
  last_request_ = now;
  Send(kConnect, sizeof kConnect - 1);
}

void ServerLink::Send(const void* data, int length) {
  if (IsOpen()) PlatformUdpSend(socket_, ip_.c_str(), port_, data, length);
}

bool ServerLink::Receive(std::vector<uint8_t>* datagram) {
  if (!IsOpen()) return false;
  for (;;) {
    uint8_t buffer[4096];
    char from[16];
    uint16_t from_port = 0;
    const int n = PlatformUdpReceive(socket_, buffer, sizeof buffer, from, &from_port);
    if (n < 0) return false;
    if (from_port != port_ || ip_ != from) continue;  // not our server
    datagram->assign(buffer, buffer + n);
    answered_ = true;
    return true;
  }
}
