#include "support/wire_peer.h"

#include "util/seeded_md5.h"

Bytes ToBytes(const std::string& text, bool with_nul) {
  Bytes bytes(text.begin(), text.end());
  if (with_nul) bytes.push_back(0);
  return bytes;
}

uint32_t PeerCheckValue(const Bytes& payload) {
  uint32_t h = 7777777u;
  for (size_t i = 0; i < payload.size(); ++i)
    h += static_cast<uint32_t>(static_cast<int8_t>(payload[i]) + 17) * 2343531u + static_cast<uint32_t>(i);
  return h;
}

std::string PeerChannelKey(int a, int b, int c, int d) {
  // The digest source is "rW7q" with seed 0x2F6D41C3, as agreed with the server side.
  std::string key = std::string(DigestHexText("rW7q", 4, 0x2F6D41C3u)).substr(0, 29);
  for (int i = 0; i < 29; ++i) {
    const unsigned ch = static_cast<unsigned char>(key[i]);
    // Only the low 8 bits of each parameter matter; unsigned arithmetic wraps.
    const unsigned ua = static_cast<unsigned>(a) & 0xFFu, ub = static_cast<unsigned>(b) & 0xFFu;
    const unsigned uc = static_cast<unsigned>(c) & 0xFFu, ud = static_cast<unsigned>(d) & 0xFFu;
    const unsigned value = (((i + 73u) * (ud + 93u) + ua) * ch + static_cast<unsigned>(i - 54) * uc - 13u * ub * ub) & 0xFFu;
    key[i] = value == 0 ? '?' : static_cast<char>(value);
  }
  return key;
}

Bytes PeerPlainFrame(uint32_t ident, const Bytes& payload) {
  Bytes frame(8 + payload.size());
  const uint8_t header[8] = {'T', 'G', '_', 'P', static_cast<uint8_t>(ident), static_cast<uint8_t>(ident >> 8),
                             static_cast<uint8_t>(ident >> 16), static_cast<uint8_t>(ident >> 24)};
  for (size_t i = 0; i < 8; ++i) frame[i] = header[i];
  for (size_t i = 0; i < payload.size(); ++i) frame[8 + i] = payload[i];
  return frame;
}

Bytes PeerScrambledFrame(const std::string& key, const Bytes& payload) {
  const uint32_t h = PeerCheckValue(payload);
  Bytes frame = {'T', 'G', '_', 'E', static_cast<uint8_t>(h >> 24), static_cast<uint8_t>(h >> 16),
                 static_cast<uint8_t>(h >> 8), static_cast<uint8_t>(h), static_cast<uint8_t>(payload.size() >> 8),
                 static_cast<uint8_t>(payload.size())};
  for (size_t i = 0; i < payload.size(); ++i)
    frame.push_back(key.empty() ? payload[i] : static_cast<uint8_t>(payload[i] ^ static_cast<uint8_t>(key[i % key.size()])));
  return frame;
}

std::string PeerFrame::Text() const {
  std::string text;
  for (uint8_t b : payload) {
    if (b == 0) break;
    text.push_back(static_cast<char>(b));
  }
  return text;
}

PeerFrame PeerDecode(const Bytes& frame, const std::string& key) {
  PeerFrame d;
  if (frame.size() < 8 || frame[0] != 'T' || frame[1] != 'G' || frame[2] != '_') return d;
  d.kind = static_cast<char>(frame[3]);
  if (d.kind == 'P') {
    d.ident = frame[4] | frame[5] << 8 | frame[6] << 16 | static_cast<uint32_t>(frame[7]) << 24;
    d.payload.assign(frame.begin() + 8, frame.end());
    d.check_ok = true;
  } else if (frame.size() >= 10) {
    d.check = static_cast<uint32_t>(frame[4]) << 24 | frame[5] << 16 | frame[6] << 8 | frame[7];
    const size_t n = static_cast<size_t>(frame[8] << 8 | frame[9]);
    if (frame.size() != n + 10) return d;
    for (size_t i = 0; i < n; ++i)
      d.payload.push_back(key.empty() ? frame[10 + i] : static_cast<uint8_t>(frame[10 + i] ^ static_cast<uint8_t>(key[i % key.size()])));
    d.check_ok = PeerCheckValue(d.payload) == d.check;
  }
  return d;
}

Bytes PeerRelay(const Bytes& inner, int c, const std::string& guid) {
  Bytes out = inner;
  for (size_t i = 0; i < out.size(); ++i)
    out[i] ^= static_cast<uint8_t>(((7 + i) * (static_cast<unsigned>(c) & 0xFFu) + static_cast<uint8_t>(guid[i % guid.size()])) & 0xFFu);
  return out;
}
