#include "util/seeded_md5.h"

#include <cstddef>
#include <cstring>

#include "util/text.h"

namespace {

const uint32_t kInitial[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};

// The four rounds of RFC 1321, one step each: a = b + ((a + f(b, c, d) + m +
// k) <<< s). The round functions take the forms with the fewest operations
// and the longest independent chains: F and G as selects, G's two disjoint
// halves added separately, H sharing b ^ c between neighbouring steps.
inline uint32_t Rotate(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

#define TG_MD5_F(a, b, c, d, m, k, s) \
  a += (m) + (k) + ((d) ^ ((b) & ((c) ^ (d)))); \
  a = (b) + Rotate(a, s)
#define TG_MD5_G(a, b, c, d, m, k, s) \
  a += (m) + (k) + (~(d) & (c)); \
  a += (d) & (b); \
  a = (b) + Rotate(a, s)
#define TG_MD5_H(a, b, c, d, m, k, s) \
  a += (m) + (k) + ((b) ^ (c) ^ (d)); \
  a = (b) + Rotate(a, s)
#define TG_MD5_I(a, b, c, d, m, k, s) \
  a += (m) + (k) + ((c) ^ ((b) | ~(d))); \
  a = (b) + Rotate(a, s)

// The 16 message words of a block, little-endian, read once.
inline void LoadWords(const uint8_t* block, uint32_t m[16]) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  memcpy(m, block, 64);
#else
  for (int i = 0; i < 16; ++i)
    m[i] = static_cast<uint32_t>(block[i * 4]) | static_cast<uint32_t>(block[i * 4 + 1]) << 8 |
           static_cast<uint32_t>(block[i * 4 + 2]) << 16 | static_cast<uint32_t>(block[i * 4 + 3]) << 24;
#endif
}

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

void SeededMd5::Transform(const uint8_t* blocks, size_t count) {
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  uint32_t m[16];
  for (; count > 0; --count, blocks += 64) {
    LoadWords(blocks, m);
    const uint32_t a0 = a, b0 = b, c0 = c, d0 = d;
    TG_MD5_F(a, b, c, d, m[0], 0xd76aa478, 7);
    TG_MD5_F(d, a, b, c, m[1], 0xe8c7b756, 12);
    TG_MD5_F(c, d, a, b, m[2], 0x242070db, 17);
    TG_MD5_F(b, c, d, a, m[3], 0xc1bdceee, 22);
    TG_MD5_F(a, b, c, d, m[4], 0xf57c0faf, 7);
    TG_MD5_F(d, a, b, c, m[5], 0x4787c62a, 12);
    TG_MD5_F(c, d, a, b, m[6], 0xa8304613, 17);
    TG_MD5_F(b, c, d, a, m[7], 0xfd469501, 22);
    TG_MD5_F(a, b, c, d, m[8], 0x698098d8, 7);
    TG_MD5_F(d, a, b, c, m[9], 0x8b44f7af, 12);
    TG_MD5_F(c, d, a, b, m[10], 0xffff5bb1, 17);
    TG_MD5_F(b, c, d, a, m[11], 0x895cd7be, 22);
    TG_MD5_F(a, b, c, d, m[12], 0x6b901122, 7);
    TG_MD5_F(d, a, b, c, m[13], 0xfd987193, 12);
    TG_MD5_F(c, d, a, b, m[14], 0xa679438e, 17);
    TG_MD5_F(b, c, d, a, m[15], 0x49b40821, 22);

    TG_MD5_G(a, b, c, d, m[1], 0xf61e2562, 5);
    TG_MD5_G(d, a, b, c, m[6], 0xc040b340, 9);
    TG_MD5_G(c, d, a, b, m[11], 0x265e5a51, 14);
    TG_MD5_G(b, c, d, a, m[0], 0xe9b6c7aa, 20);
    TG_MD5_G(a, b, c, d, m[5], 0xd62f105d, 5);
    TG_MD5_G(d, a, b, c, m[10], 0x02441453, 9);
    TG_MD5_G(c, d, a, b, m[15], 0xd8a1e681, 14);
    TG_MD5_G(b, c, d, a, m[4], 0xe7d3fbc8, 20);
    TG_MD5_G(a, b, c, d, m[9], 0x21e1cde6, 5);
    TG_MD5_G(d, a, b, c, m[14], 0xc33707d6, 9);
    TG_MD5_G(c, d, a, b, m[3], 0xf4d50d87, 14);
    TG_MD5_G(b, c, d, a, m[8], 0x455a14ed, 20);
    TG_MD5_G(a, b, c, d, m[13], 0xa9e3e905, 5);
    TG_MD5_G(d, a, b, c, m[2], 0xfcefa3f8, 9);
    TG_MD5_G(c, d, a, b, m[7], 0x676f02d9, 14);
    TG_MD5_G(b, c, d, a, m[12], 0x8d2a4c8a, 20);

    TG_MD5_H(a, b, c, d, m[5], 0xfffa3942, 4);
    TG_MD5_H(d, a, b, c, m[8], 0x8771f681, 11);
    TG_MD5_H(c, d, a, b, m[11], 0x6d9d6122, 16);
    TG_MD5_H(b, c, d, a, m[14], 0xfde5380c, 23);
    TG_MD5_H(a, b, c, d, m[1], 0xa4beea44, 4);
    TG_MD5_H(d, a, b, c, m[4], 0x4bdecfa9, 11);
    TG_MD5_H(c, d, a, b, m[7], 0xf6bb4b60, 16);
    TG_MD5_H(b, c, d, a, m[10], 0xbebfbc70, 23);
    TG_MD5_H(a, b, c, d, m[13], 0x289b7ec6, 4);
    TG_MD5_H(d, a, b, c, m[0], 0xeaa127fa, 11);
    TG_MD5_H(c, d, a, b, m[3], 0xd4ef3085, 16);
    TG_MD5_H(b, c, d, a, m[6], 0x04881d05, 23);
    TG_MD5_H(a, b, c, d, m[9], 0xd9d4d039, 4);
    TG_MD5_H(d, a, b, c, m[12], 0xe6db99e5, 11);
    TG_MD5_H(c, d, a, b, m[15], 0x1fa27cf8, 16);
    TG_MD5_H(b, c, d, a, m[2], 0xc4ac5665, 23);

    TG_MD5_I(a, b, c, d, m[0], 0xf4292244, 6);
    TG_MD5_I(d, a, b, c, m[7], 0x432aff97, 10);
    TG_MD5_I(c, d, a, b, m[14], 0xab9423a7, 15);
    TG_MD5_I(b, c, d, a, m[5], 0xfc93a039, 21);
    TG_MD5_I(a, b, c, d, m[12], 0x655b59c3, 6);
    TG_MD5_I(d, a, b, c, m[3], 0x8f0ccc92, 10);
    TG_MD5_I(c, d, a, b, m[10], 0xffeff47d, 15);
    TG_MD5_I(b, c, d, a, m[1], 0x85845dd1, 21);
    TG_MD5_I(a, b, c, d, m[8], 0x6fa87e4f, 6);
    TG_MD5_I(d, a, b, c, m[15], 0xfe2ce6e0, 10);
    TG_MD5_I(c, d, a, b, m[6], 0xa3014314, 15);
    TG_MD5_I(b, c, d, a, m[13], 0x4e0811a1, 21);
    TG_MD5_I(a, b, c, d, m[4], 0xf7537e82, 6);
    TG_MD5_I(d, a, b, c, m[11], 0xbd3af235, 10);
    TG_MD5_I(c, d, a, b, m[2], 0x2ad7d2bb, 15);
    TG_MD5_I(b, c, d, a, m[9], 0xeb86d391, 21);

    a += a0;
    b += b0;
    c += c0;
    d += d0;
  }
  state_[0] = a;
  state_[1] = b;
  state_[2] = c;
  state_[3] = d;
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
    Transform(buffer_, 1);
  }
  // Whole blocks straight from the caller's bytes.
  Transform(p, remaining / 64);
  p += remaining & ~static_cast<size_t>(63);
  remaining &= 63;
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
