#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/arg_list.h"

namespace {

std::vector<std::string> Split(const std::string& line, int copy) {
  std::string text = line;
  ArgList words(&text[0], 1, copy);
  std::vector<std::string> tokens;
  for (int i = 0; i < words.Count(); ++i) tokens.push_back(std::string(words.Token(i), words.Length(i)));
  return tokens;
}

}  // namespace

TEST(ArgList, SplitsLikeTheConsole) {
  struct Case {
    const char* line;
    std::vector<std::string> tokens;
  } cases[] = {
      {"one two three", {"one", "two", "three"}},
      {"one \"two three\" four", {"one", "two three", "four"}},
      {"\"open to the end", {"open to the end"}},
      {"a \"\" b", {"a", "", "b"}},
      {"x\"y z", {"x\"y", "z"}},  // a quote inside a word is ordinary
      {"\"ab\"cd", {"ab", "cd"}},
      {"  \t lead\r\ntrail  ", {"lead", "trail"}},
      {"", {}},
      {"   ", {}},
      {"\"\"", {""}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Split(c.line, 0), c.tokens) << c.line;
    EXPECT_EQ(Split(c.line, 1), c.tokens) << c.line;
  }
}

TEST(ArgList, KeepsTheFirstHundredWords) {
  std::string line;
  for (int i = 0; i < 150; ++i) line += "w" + std::to_string(i) + " ";
  std::vector<std::string> tokens = Split(line, 0);
  ASSERT_EQ(tokens.size(), 100u);
  EXPECT_EQ(tokens[99], "w99");
  EXPECT_EQ(Split(line, 1).size(), 100u);
}

TEST(ArgList, TerminateRestoresTheTextAndPlainSplitLeavesIt) {
  char text[] = "alpha \"beta gamma\" delta";
  const std::string before = text;
  {
    ArgList words(text, 1, 0);
    ASSERT_EQ(words.Count(), 3);
    EXPECT_STREQ(words.Token(1), "beta gamma");
    EXPECT_NE(std::string(text), before);  // NULs written while the list lives
  }
  EXPECT_EQ(std::string(text), before);
  {
    ArgList words(text, 0, 0);
    ASSERT_EQ(words.Count(), 3);
    EXPECT_STREQ(words.Token(0), before.c_str());  // reaches to the end of the text
    EXPECT_EQ(words.Length(0), 5);
    EXPECT_EQ(words.Token(3), nullptr);
    EXPECT_STREQ(words.Word(3), "");
    EXPECT_EQ(words.Token(100), nullptr);
    EXPECT_EQ(words.Length(-1), 0);
  }
  EXPECT_EQ(std::string(text), before);
}

TEST(ArgList, AddAndTerminateFirst) {
  char text[] = "one two three";
  ArgList words(text, 0, 0);
  words.TerminateFirst(1);
  EXPECT_STREQ(words.Token(0), "one");
  EXPECT_STREQ(words.Token(1), "two");
  EXPECT_STREQ(words.Token(2), "three");
  EXPECT_EQ(words.Add("extra", 1, -1), 1);
  EXPECT_STREQ(words.Token(3), "extra");
  EXPECT_EQ(words.Length(3), 5);
  EXPECT_EQ(words.Add(nullptr, 1, -1), 1);
  EXPECT_STREQ(words.Token(4), "");
  for (int i = words.Count(); i < ArgList::kMaxTokens; ++i) ASSERT_EQ(words.Add("w", 1, 1), 1);
  EXPECT_EQ(words.Add("over", 1, -1), 0);
  EXPECT_EQ(words.Count(), 100);
}
