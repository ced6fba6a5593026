#include "protocol/wire_format.h"

#include <cstring>

#include "util/seeded_md5.h"

namespace wire {

uint32_t CheckValue(const uint8_t* payload, int32_t length) {
  uint32_t check = kCheckStart;
  for (int32_t i = 0; i < length; ++i)
    check += static_cast<uint32_t>(static_cast<int8_t>(payload[i]) + 17) * kCheckFactor + static_cast<uint32_t>(i);
  return check;
}

void XorWithKey(uint8_t* bytes, int32_t length, const char* key) {
  const size_t key_length = key != nullptr ? strlen(key) : 0;
  if (key_length == 0) return;
  for (int32_t i = 0; i < length; ++i) bytes[i] ^= static_cast<uint8_t>(key[static_cast<size_t>(i) % key_length]);
}

void DeriveKeyText(int32_t a, int32_t b, int32_t c, int32_t d, char* out) {
  char source[8];
  Unmask(Text::kKeySource, source, sizeof source);
  memcpy(out, DigestHexText(source, 4, kKeySeed), kChannelKeyLength);
  out[kChannelKeyLength] = '\0';
  const uint8_t ua = static_cast<uint8_t>(a), ub = static_cast<uint8_t>(b);
  const uint8_t uc = static_cast<uint8_t>(c), ud = static_cast<uint8_t>(d);
  for (int i = 0; i < kChannelKeyLength; ++i) {
    const uint8_t ch = static_cast<uint8_t>(out[i]);
    const uint8_t value = static_cast<uint8_t>((static_cast<uint8_t>((i + 73) * (ud + 93)) + ua) * ch +
                                               static_cast<uint8_t>(i - 54) * uc - 13 * ub * ub);
    out[i] = value == 0 ? '?' : static_cast<char>(value);
  }
}

int32_t BuildPlainFrame(uint32_t ident, const uint8_t* payload, int32_t length, uint8_t* out) {
  memset(out, 0, kFrameBufferSize);
  memcpy(out, kFramePrefix, 4);
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(ident >> (8 * i));
  memcpy(out + kPlainHeader, payload, static_cast<size_t>(length));
  return length + kPlainHeader;
}

int32_t BuildScrambledFrame(const char* key, const uint8_t* payload, int32_t length, uint8_t* out) {
  memset(out, 0, kFrameBufferSize);
  memcpy(out, kFramePrefix, 4);
  out[3] = static_cast<uint8_t>(kScrambledKind);
  const uint32_t check = CheckValue(payload, length);
  out[4] = static_cast<uint8_t>(check >> 24);
  out[5] = static_cast<uint8_t>(check >> 16);
  out[6] = static_cast<uint8_t>(check >> 8);
  out[7] = static_cast<uint8_t>(check);
  out[8] = static_cast<uint8_t>(length >> 8);
  out[9] = static_cast<uint8_t>(length);
  memcpy(out + kScrambledHeader, payload, static_cast<size_t>(length));
  XorWithKey(out + kScrambledHeader, length, key);
  return length + kScrambledHeader;
}

void ScrambleRelay(uint8_t* bytes, int32_t length, int32_t c, const char* guid) {
  const size_t guid_length = guid != nullptr ? strlen(guid) : 0;
  if (guid_length == 0) return;
  const uint32_t uc = static_cast<uint32_t>(c) & 0xFFu;
  for (int32_t i = 0; i < length; ++i) {
    const uint32_t mix = static_cast<uint32_t>(7 + i) * uc + static_cast<uint8_t>(guid[static_cast<size_t>(i) % guid_length]);
    bytes[i] ^= static_cast<uint8_t>(mix & 0xFFu);
  }
}

}  // namespace wire
