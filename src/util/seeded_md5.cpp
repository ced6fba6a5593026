#include "util/seeded_md5.h"

#include <cstring>

#include "util/text.h"

namespace {

const uint32_t kInitial[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};

// Per-round shift amounts and the sine table of RFC 1321.
const uint8_t kShift[64] = {7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 5,  9,  14, 20, 5,  9,
                            14, 20, 5,  9,  14, 20, 5,  9,  14, 20, 4,  11, 16, 23, 4,  11, 16, 23, 4,  11, 16, 23,
                            4,  11, 16, 23, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21};

const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void SeededMd5::Start(uint32_t seed) {
  state_[0] = kInitial[0] + 11u * seed;
  state_[1] = kInitial[1] + 71u * seed;
  state_[2] = kInitial[2] + 37u * seed;
  state_[3] = kInitial[3] + 97u * seed;
  bit_count_ = 0;
}

void SeededMd5::Transform(const uint8_t block[64]) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i)
    m[i] = static_cast<uint32_t>(block[i * 4]) | static_cast<uint32_t>(block[i * 4 + 1]) << 8 |
           static_cast<uint32_t>(block[i * 4 + 2]) << 16 | static_cast<uint32_t>(block[i * 4 + 3]) << 24;
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    uint32_t next = b + RotateLeft(a + f + kSine[i] + m[g], kShift[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void SeededMd5::Update(const void* bytes, int32_t length) {
  if (bytes == nullptr || length <= 0) return;
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  size_t used = static_cast<size_t>((bit_count_ >> 3) & 63);
  bit_count_ += static_cast<uint64_t>(length) << 3;
  size_t remaining = static_cast<size_t>(length);
  if (used > 0) {
    size_t take = 64 - used;
    if (take > remaining) take = remaining;
    memcpy(buffer_ + used, p, take);
    used += take;
    p += take;
    remaining -= take;
    if (used < 64) return;
    Transform(buffer_);
  }
  for (; remaining >= 64; remaining -= 64, p += 64) Transform(p);
  memcpy(buffer_, p, remaining);
}

void SeededMd5::Finish() {
  uint8_t length_bytes[8];
  uint64_t bits = bit_count_;
  for (int i = 0; i < 8; ++i) length_bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
  static const uint8_t kPadding[64] = {0x80};
  size_t used = static_cast<size_t>((bit_count_ >> 3) & 63);
  size_t pad = used < 56 ? 56 - used : 120 - used;
  Update(kPadding, static_cast<int32_t>(pad));
  Update(length_bytes, 8);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) digest_[i * 4 + j] = static_cast<uint8_t>(state_[i] >> (8 * j));
}

void SeededMd5::Digest(const void* bytes, int32_t length, uint32_t seed) {
  Start(seed);
  Update(bytes, length);
  Finish();
}

const char* SeededMd5::Hex() {
  static const char kDigits[] = "0123456789ABCDEF";
  for (int i = 0; i < 16; ++i) {
    hex_[i * 2] = kDigits[digest_[i] >> 4];
    hex_[i * 2 + 1] = kDigits[digest_[i] & 15];
  }
  hex_[32] = '\0';
  return hex_;
}

int SeededMd5::SetFromHex(const char* text) {
  if (text == nullptr || strlen(text) != 32) return 0;
  for (int i = 0; i < 16; ++i) {
    int value = 0;
    for (int k = 0; k < 2; ++k) {
      int digit = HexDigit(text[i * 2 + k]);
      if (digit < 0) break;
      value = value * 16 + digit;
    }
    digest_[i] = static_cast<uint8_t>(value);
  }
  return 1;
}

const char* DigestHexText(const void* bytes, int32_t length, uint32_t seed) {
  static SeededMd5 digest;
  digest.Digest(bytes, length, seed);
  return digest.Hex();
}
