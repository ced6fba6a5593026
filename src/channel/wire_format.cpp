#include "channel/wire_format.h"

#include <cstring>

#include "channel/wire_bytes.h"
#include "util/seeded_md5.h"

namespace wire {

namespace {

uint32_t AddToCheck(uint32_t check, uint8_t byte, int32_t index) {
  return check + static_cast<uint32_t>(static_cast<int8_t>(byte) + 17) * kCheckFactor + static_cast<uint32_t>(index);
}

// The frame's first four bytes: "TG_" and the kind.
void WriteFramePrefix(ByteWriter& out, char kind) {
  out.Bytes(kFramePrefix, 3);
  out.U8(static_cast<uint8_t>(kind));
}

}  // namespace

uint32_t CheckValue(const uint8_t* payload, int32_t length) {
  uint32_t check = kCheckStart;
  for (int32_t i = 0; i < length; ++i) check = AddToCheck(check, payload[i], i);
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
  ByteWriter frame(out, kFrameBufferSize);
  WriteFramePrefix(frame, kPlainKind);
  frame.U32LE(ident);
  frame.Bytes(payload, length);
  return frame.Length();
}

int32_t BuildScrambledFrame(const char* key, const uint8_t* payload, int32_t length, uint8_t* out) {
  memset(out, 0, kFrameBufferSize);
  ByteWriter frame(out, kFrameBufferSize);
  WriteFramePrefix(frame, kScrambledKind);
  frame.U32BE(CheckValue(payload, length));
  frame.U16BE(static_cast<uint16_t>(length));
  frame.Bytes(payload, length);
  XorWithKey(out + kScrambledHeader, length, key);
  return frame.Length();
}

bool ReadPlainIdent(const uint8_t* frame, int32_t length, uint32_t* ident) {
  ByteReader header(frame, length);
  header.Skip(4);
  *ident = header.U32LE();
  return !header.Overflowed();
}

int32_t OpenScrambledFrame(uint8_t* frame, int32_t length, const char* key) {
  ByteReader header(frame, length);
  header.Skip(4);
  const uint32_t expected = header.U32BE();
  const int32_t n = header.U16BE();
  if (header.Overflowed() || header.Remaining() != n) return -1;
  // Decode while summing: one pass over the payload.
  const int32_t key_length = key != nullptr ? static_cast<int32_t>(strlen(key)) : 0;
  uint8_t* payload = frame + kScrambledHeader;
  uint32_t check = kCheckStart;
  for (int32_t i = 0, k = 0; i < n; ++i) {
    if (key_length > 0) {
      payload[i] ^= static_cast<uint8_t>(key[k]);
      if (++k == key_length) k = 0;
    }
    check = AddToCheck(check, payload[i], i);
  }
  if (check == expected) return n;
  XorWithKey(payload, n, key);
  return -1;
}

void ScrambleRelay(uint8_t* bytes, int32_t length, int32_t c, const char* guid) {
  const size_t guid_length = guid != nullptr ? strlen(guid) : 0;
  if (guid_length == 0) return;
  const uint32_t uc = static_cast<uint32_t>(c) & 0xFFu;
  for (int32_t i = 0; i < length; ++i) {
    const uint32_t mix =
        static_cast<uint32_t>(7 + i) * uc + static_cast<uint8_t>(guid[static_cast<size_t>(i) % guid_length]);
    bytes[i] ^= static_cast<uint8_t>(mix & 0xFFu);
  }
}

}  // namespace wire
