// The server-side module's end of one client connection: frames out to the
// client, frames in from it, with the same wire rules as the module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tallyguard/host_interface.h"

using Bytes = std::vector<uint8_t>;

struct HelloValues {
  int server_version = 1092;
  int client_version = TG_MODULE_VERSION;
  int agent_version = 0;
  int32_t a = 1001, b = 77, c = 154, d = 0x2A3B4C;
  std::string guid = "A1B2C3D4E5F60718293A4B5C6D7E8F90";
};

class ClientPeer {
 public:
  // Binds 127.0.0.1:port. false when the port cannot be had.
  bool Listen(uint16_t port);
  // Takes every waiting datagram; decoded payloads are handed to on_payload.
  template <typename Handler>
  void Poll(Handler on_payload);

  bool HasClient() const { return !client_ip_.empty(); }
  bool IdentKnown() const { return ident_known_; }
  // Until the module has told its ident, asks for it once a second: a frame
  // with no ident makes the module answer with its ident.
  void ProbeWhileUnknown(uint32_t now);
  // Sends one payload to the client in a plain frame with its ident.
  void Send(const Bytes& payload);
  // The hello payload for these values; remembers them for the link.
  Bytes Hello(const HelloValues& values);
  // A relay: the payload behind the assigned GUID, scrambled with C.
  Bytes Relay(const Bytes& inner) const;

  int frames_ok = 0;
  int frames_bad = 0;

 private:
  // Decodes one datagram from the client; false for a bad frame.
  bool Decode(const uint8_t* data, int length, Bytes* payload);

  PlatformSocket socket_ = kNoSocket;
  std::string client_ip_;
  uint16_t client_port_ = 0;
  bool ident_known_ = false;
  uint32_t ident_ = 0;
  std::string key_;  // the channel key once the link is started
  HelloValues hello_;
  uint32_t last_probe_ = 0;
  std::string guid_;  // as the client will hold it

 public:
  // Reacts to the datagram (connect notice or frame); gives true with the
  // payload when a frame decoded.
  bool Take(const uint8_t* data, int length, const char* from, uint16_t port, Bytes* payload);
  PlatformSocket Socket() const { return socket_; }
};

template <typename Handler>
void ClientPeer::Poll(Handler on_payload) {
  for (;;) {
    uint8_t buffer[4096];
    char from[16];
    uint16_t port = 0;
    const int n = PlatformUdpReceive(socket_, buffer, sizeof buffer, from, &port);
    if (n < 0) return;
    Bytes payload;
    if (Take(buffer, n, from, port, &payload)) on_payload(payload);
  }
}
