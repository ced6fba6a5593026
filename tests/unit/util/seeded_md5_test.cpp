#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "util/seeded_md5.h"

namespace {

std::string Md5Hex(const std::string& text, uint32_t seed) {
  SeededMd5 digest;
  digest.Digest(text.data(), static_cast<int32_t>(text.size()), seed);
  return digest.Hex();
}

}  // namespace

TEST(SeededMd5, MatchesTheRfc1321Suite) {
  struct Case {
    const char* text;
    const char* hex;
  } cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (const Case& c : cases) EXPECT_EQ(Md5Hex(c.text, 0), c.hex) << c.text;
}

TEST(SeededMd5, SeedChangesTheChainingValues) {
  // Reference values from an independent implementation of the seeded start.
  EXPECT_EQ(Md5Hex("abc", 1), "F40369B74D214588DF6DE5783CE6AFF1");
  EXPECT_EQ(Md5Hex("The quick brown fox", 0x2F6D41C3u), "BCDFF54E13A4F3F3FC93F90752C7EB40");
  EXPECT_EQ(Md5Hex("", 0xFFFFFFFFu), "2ABEDED7D2A9A9A83B5A93790C64EC4C");
  EXPECT_NE(Md5Hex("abc", 2), Md5Hex("abc", 0));
}

TEST(SeededMd5, PiecewiseUpdatesEqualOneUpdate) {
  std::string text(1000, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 7);
  SeededMd5 pieces(5);
  for (size_t at = 0; at < text.size();) {
    size_t n = (at % 13) + 1;
    if (at + n > text.size()) n = text.size() - at;
    pieces.Update(text.data() + at, static_cast<int32_t>(n));
    at += n;
  }
  pieces.Finish();
  EXPECT_EQ(std::string(pieces.Hex()), Md5Hex(text, 5));
  // 55, 56 and 64 bytes straddle the padding boundary.
  EXPECT_EQ(Md5Hex(std::string(56, 'a'), 0), "3B0C8AC703F828B04C6C197006D17218");
  EXPECT_EQ(Md5Hex(std::string(64, 'a'), 0), "014842D480B571495A4A0363793F7367");
}

TEST(SeededMd5, HexRoundTripAndDigestHexBuffer) {
  SeededMd5 digest;
  EXPECT_EQ(digest.SetFromHex("900150983cd24fb0d6963f7d28e17f72"), 1);
  EXPECT_STREQ(digest.Hex(), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(digest.SetFromHex("9001"), 0);
  EXPECT_EQ(digest.SetFromHex(nullptr), 0);
  EXPECT_EQ(digest.SetFromHex("0G0000000000000000000000000000FF"), 1);  // a pair stops at G
  EXPECT_EQ(digest.DigestBytes()[0], 0x00);
  EXPECT_EQ(digest.DigestBytes()[15], 0xFF);
  const char* first = DigestHexText("abc", 3, 0);
  EXPECT_STREQ(first, "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(DigestHexText("a", 1, 0), first);  // one buffer, overwritten
  EXPECT_STREQ(first, "0CC175B9C0F1B6A831C399E269772661");
}

// Whole blocks are hashed straight from the caller's bytes: any alignment,
// any split of the input into updates, and inputs of many blocks give the
// digest of one update of the same bytes.
TEST(SeededMd5, EveryAlignmentAndSplitGivesTheSameDigest) {
  EXPECT_EQ(Md5Hex(std::string(1000000, 'a'), 0), "7707D6AE4E027C70EEA2A935C2296F21");
  std::string text(700, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 31 + 7);
  for (size_t length : {0u, 1u, 63u, 64u, 65u, 127u, 128u, 129u, 700u}) {
    const std::string expected = Md5Hex(text.substr(0, length), 9);
    for (size_t offset = 1; offset < 8; ++offset) {
      std::string shifted(offset, 'x');
      shifted += text.substr(0, length);
      SeededMd5 unaligned;
      unaligned.Digest(shifted.data() + offset, static_cast<int32_t>(length), 9);
      EXPECT_EQ(std::string(unaligned.Hex()), expected) << length << " bytes at offset " << offset;
    }
    for (size_t split : {1u, 3u, 64u, 65u}) {
      SeededMd5 pieces(9);
      for (size_t at = 0; at < length; at += split)
        pieces.Update(text.data() + at, static_cast<int32_t>(std::min(split, length - at)));
      pieces.Finish();
      EXPECT_EQ(std::string(pieces.Hex()), expected) << length << " bytes in pieces of " << split;
    }
  }
}
