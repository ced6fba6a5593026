#include "peer.h"

#include <cstdio>
#include <cstring>

#include "channel/wire_bytes.h"
#include "channel/wire_format.h"

bool ClientPeer::Listen(uint16_t port) {
  socket_ = PlatformUdpOpen(port, 1);
  return socket_ != kNoSocket;
}

bool ClientPeer::Take(const uint8_t* data, int length, const char* from, uint16_t port, Bytes* payload) {
  static const char kConnect[] =
      "\xff\xff\xff\xff"
      "connect";
  if (length == static_cast<int>(sizeof kConnect - 1) && memcmp(data, kConnect, sizeof kConnect - 1) == 0) {
    if (client_ip_ == from && client_port_ == port) return false;  // a repeated request
    client_ip_ = from;
    client_port_ = port;
    ident_known_ = false;
    key_.clear();
    printf("[server] game client connected from %s:%u\n", from, port);
    last_probe_ = 0;
    return false;
  }
  if (client_ip_ != from || client_port_ != port) return false;
  if (!Decode(data, length, payload)) {
    ++frames_bad;
    printf("[server] BAD frame of %d bytes from the client\n", length);
    return false;
  }
  ++frames_ok;
  if (!payload->empty() && (*payload)[0] == 'J' && payload->size() >= 5) {
    wire::ByteReader announcement(payload->data(), static_cast<int32_t>(payload->size()));
    announcement.Skip(1);
    ident_ = announcement.U32LE();
    ident_known_ = true;
  }
  return true;
}

bool ClientPeer::Decode(const uint8_t* data, int length, Bytes* payload) {
  if (length < wire::kPlainHeader || memcmp(data, wire::kFramePrefix, 3) != 0) return false;
  if (data[3] == wire::kPlainKind) {
    payload->assign(data + wire::kPlainHeader, data + length);
    return true;
  }
  if (data[3] != wire::kScrambledKind) return false;
  Bytes frame(data, data + length);
  const int32_t n = wire::OpenScrambledFrame(frame.data(), length, key_.c_str());
  if (n < 0) return false;
  payload->assign(frame.begin() + wire::kScrambledHeader, frame.begin() + wire::kScrambledHeader + n);
  return true;
}

void ClientPeer::ProbeWhileUnknown(uint32_t now) {
  if (client_ip_.empty() || ident_known_) return;
  if (last_probe_ != 0 && static_cast<int32_t>(now - last_probe_) < 1000) return;
  last_probe_ = now;
  Send({'A', 0});
}

void ClientPeer::Send(const Bytes& payload) {
  if (client_ip_.empty() || payload.empty()) return;
  uint8_t frame[wire::kFrameBufferSize];
  const int32_t length = static_cast<int32_t>(payload.size() > wire::kMaxPayload ? wire::kMaxPayload : payload.size());
  const int32_t n = wire::BuildPlainFrame(ident_known_ ? ident_ : 0, payload.data(), length, frame);
  PlatformUdpSend(socket_, client_ip_.c_str(), client_port_, frame, n);
}

Bytes ClientPeer::Hello(const HelloValues& values) {
  hello_ = values;
  guid_ = values.guid.empty() || values.guid[0] == '?' ? "?" : values.guid.substr(0, 32);
  if (values.client_version == wire::kClientVersion) {
    char key[wire::kChannelKeyLength + 1];
    wire::DeriveKeyText(values.a, values.b, values.c, values.d, key);
    key_ = key;
  } else {
    key_.clear();  // the module voids its key and keeps it void
  }
  char text[256];
  snprintf(text, sizeof text, "CS %d %d %d %d %d %d %d %s", values.server_version, values.client_version,
           values.agent_version, static_cast<int>(values.a), static_cast<int>(values.b), static_cast<int>(values.c),
           static_cast<int>(values.d), values.guid.c_str());
  Bytes payload(text, text + strlen(text) + 1);
  return payload;
}

Bytes ClientPeer::Relay(const Bytes& inner) const {
  Bytes body(guid_.begin(), guid_.end());
  body.insert(body.end(), inner.begin(), inner.end());
  wire::ScrambleRelay(body.data(), static_cast<int32_t>(body.size()), hello_.c, guid_.c_str());
  body.insert(body.begin(), 0x03);
  return body;
}
