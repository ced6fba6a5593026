#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "util/elapsed.h"
#include "util/text.h"

TEST(ElapsedMs, FollowsTheTickRule) {
  struct Case {
    uint32_t later, earlier;
    int32_t expected;
  } cases[] = {
      {5000, 1000, 4000},
      {1000, 1000, 0},
      {1000, 3000, 0},                   // up to 5 s ahead counts as now
      {1000, 5999, 0},                   // -4999
      {1000, 6000, 2147478648},          // -5000: very old
      {1000, 7000, 2147477648},
      {256, 4294967040u, 512},           // across the wrap of the counter
      {0, 0xFFFFFFFFu, 1},
  };
  for (const Case& c : cases) EXPECT_EQ(ElapsedMs(c.later, c.earlier), c.expected) << c.later << " " << c.earlier;
}

TEST(ReadDigits, SkipsMinusSignsAndStopsAtOtherCharacters) {
  struct Case {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"--12a3", 12}, {"-5", 5}, {"1-2", 12}, {" 5", 0}, {"x9", 0}, {"", 0},
      {"2147483647", 2147483647}, {"4294967297", 1},  // 32-bit wrap-around
      {"007", 7},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadDigits(c.text), c.expected) << c.text;
  EXPECT_EQ(ReadDigits(nullptr), 0);
}

TEST(ReadHex, ReadsEitherCaseUpToTheLimit) {
  struct Case {
    const char* text;
    int limit;
    int32_t expected;
  } cases[] = {
      {"1aG", 0, 26}, {"FFFF", 2, 255}, {"ffff", 0, 65535}, {"", 0, 0}, {"g1", 0, 0},
      {"DEADBEEF", 0, static_cast<int32_t>(0xDEADBEEFu)}, {"123", -1, 0x123},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadHex(c.text, c.limit), c.expected) << c.text;
}

TEST(TrimChars, RemovesSetCharactersAtBothEndsOnly) {
  char word[] = "  two words  ";
  EXPECT_STREQ(TrimChars(word, " "), "two words");
  char blanks[] = "    ";
  EXPECT_STREQ(TrimChars(blanks, " "), "");
  char mixed[] = "\t\"quoted\" \t";
  EXPECT_STREQ(TrimChars(mixed, " \t\""), "quoted");
  EXPECT_STREQ(TrimChars(nullptr, " "), "");
}

TEST(FindText, SearchesWithAndWithoutCase) {
  const char* text = "Hello World";
  EXPECT_EQ(FindText(text, "world", 0), text + 6);
  EXPECT_EQ(FindText(text, "world", 1), nullptr);
  EXPECT_EQ(FindText(text, "World", 1), text + 6);
  EXPECT_EQ(FindText(text, "", 0), text);
  EXPECT_EQ(FindText(text, nullptr, 1), text);
  EXPECT_EQ(FindText("", "a", 0), nullptr);
  EXPECT_EQ(FindText(nullptr, "a", 0), nullptr);
  const char* both = "xAb ab";  // the earlier of the two letter cases wins
  EXPECT_EQ(FindText(both, "ab", 0), both + 1);
  EXPECT_EQ(FindText("abc", "abcd", 0), nullptr);
}

TEST(FormatText, CutsAtTheBufferSize) {
  char buffer[4];
  EXPECT_EQ(FormatText(buffer, sizeof buffer, "%s", "abcdef"), 6);
  EXPECT_STREQ(buffer, "abc");
  char one[1];
  FormatText(one, sizeof one, "%d", 12345);
  EXPECT_STREQ(one, "");
}

TEST(AppendText, AppendsWithinTheSizeAndNeverBeyond) {
  char full[6] = "abcde";
  EXPECT_EQ(AppendText(full, sizeof full, "%s", "xyz"), 5);
  EXPECT_STREQ(full, "abcde");
  char part[6] = "ab";
  AppendText(part, sizeof part, "%s", "cdefgh");
  EXPECT_STREQ(part, "abcde");
  char empty[8] = "";
  AppendText(empty, sizeof empty, "%d-%d", 1, 2);
  EXPECT_STREQ(empty, "1-2");
}

TEST(FormatDecimal, DropsTrailingZerosAndPoint) {
  struct Case {
    double value;
    int decimals;
    const char* expected;
  } cases[] = {
      {2.5, 3, "2.5"}, {3.0, 3, "3"}, {10.5, 2, "10.5"}, {0.0, 2, "0"}, {-1.25, 3, "-1.25"},
      {100.0, 0, "100"},  // no decimal point: the zeros of the number stay
      {1200.0, 2, "1200"},
  };
  for (const Case& c : cases) {
    char buffer[32];
    EXPECT_STREQ(FormatDecimal(c.value, buffer, sizeof buffer, c.decimals), c.expected) << c.value;
  }
}

TEST(CopyBounded, CopiesAtMostNAndTerminates) {
  char buffer[8];
  memset(buffer, 'x', sizeof buffer);
  CopyBounded(buffer, "hello", 3);
  EXPECT_STREQ(buffer, "hel");
  CopyBounded(buffer, "hi", 7);
  EXPECT_STREQ(buffer, "hi");
  EXPECT_EQ(buffer[7], '\0');
  CopyBounded(buffer, nullptr, 3);
  EXPECT_STREQ(buffer, "");
}

TEST(SameLetters, ComparesRegardlessOfCase) {
  EXPECT_TRUE(SameLetters("tg_Ver", "TG_VER"));
  EXPECT_FALSE(SameLetters("tg_Ver", "tg_Vers"));
  EXPECT_TRUE(SameLettersN("tg_Vers", "TG_VER", 6));
  EXPECT_FALSE(SameLettersN("tg", "tg_", 3));
  EXPECT_STREQ(PluralS(1), "");
  EXPECT_STREQ(PluralS(0), "s");
  EXPECT_STREQ(PluralS(2), "s");
}

TEST(EscapeHtml, WritesMarkupAsTextAndNeverCutsAnEntity) {
  struct Case {
    const char* text;
    int size;
    const char* escaped;
  };
  const Case cases[] = {
      {"<script>alert('x')</script>", 64, "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"},
      {"<img src=x onerror=\"a&b\">", 64, "&lt;img src=x onerror=&quot;a&amp;b&quot;&gt;"},
      {"two\r\nlines\x7F", 64, "two??lines?"},
      {"plain name", 64, "plain name"},
      {"a<b", 5, "a"},  // "&lt;" needs four more bytes than the one left
      {"ab<", 7, "ab&lt;"},
      {nullptr, 8, ""},
  };
  for (const Case& c : cases) {
    char out[64];
    memset(out, 'X', sizeof out);
    EscapeHtml(c.text, out, c.size);
    EXPECT_STREQ(out, c.escaped) << (c.text != nullptr ? c.text : "(none)");
  }
}
