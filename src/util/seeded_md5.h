// RFC 1321 MD5 with an optional 32-bit seed added to the initial chaining
// values. Seed 0 gives plain MD5.
#pragma once

#include <cstddef>
#include <cstdint>

class SeededMd5 {
 public:
  explicit SeededMd5(uint32_t seed = 0) { Start(seed); }

  // A = A0 + 11 * seed, B = B0 + 71 * seed, C = C0 + 37 * seed, D = D0 + 97 * seed.
  void Start(uint32_t seed);
  void Update(const void* bytes, int32_t length);
  void Finish();
  // Start, Update and Finish in one call.
  void Digest(const void* bytes, int32_t length, uint32_t seed);

  const uint8_t* DigestBytes() const { return digest_; }
  // The 16 digest bytes as 32 upper-case hexadecimal digits, in a buffer of
  // this object that the next call overwrites.
  const char* Hex();
  // Sets the digest from exactly 32 hexadecimal characters (either case;
  // within a pair reading stops at a non-digit). 0 unless 32 long.
  int SetFromHex(const char* text);

 private:
  // Runs count whole 64-byte blocks through the compression function.
  void Transform(const uint8_t* blocks, size_t count);

  uint32_t state_[4];
  uint64_t bit_count_ = 0;
  uint8_t buffer_[64];
  uint8_t digest_[16] = {};
  char hex_[33] = {};
};

// The hex digest of (bytes, length, seed) in one module-wide buffer that the
// next call overwrites. Installed in the host record for the host's use.
const char* DigestHexText(const void* bytes, int32_t length, uint32_t seed);
