// The server's end of the wire, written independently of the module's code:
// builds frames for the module and takes its frames apart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& text, bool with_nul = true);

// The check value of a plain payload.
uint32_t PeerCheckValue(const Bytes& payload);
// The channel key for the key parameters A to D.
std::string PeerChannelKey(int a, int b, int c, int d);

Bytes PeerPlainFrame(uint32_t ident, const Bytes& payload);
Bytes PeerScrambledFrame(const std::string& key, const Bytes& payload);

struct PeerFrame {
  char kind = 0;
  uint32_t ident = 0;
  uint32_t check = 0;
  bool check_ok = false;
  Bytes payload;
  std::string Text() const;  // the payload up to its first NUL
};
PeerFrame PeerDecode(const Bytes& frame, const std::string& key);

// The relay scramble: byte i ^= (7 + i) * (C & 0xFF) + guid[i mod len].
Bytes PeerRelay(const Bytes& inner, int c, const std::string& guid);
