#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/client_state.h"
#include "output/console.h"
#include "output/text_file.h"
#include "platform/platform.h"
#include "support/module_test.h"
#include "util/seeded_md5.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

void AprilThird(PlatformLocalTime* out) { *out = {2024, 4, 3, 9, 5, 7}; }

}  // namespace

using ConsoleOutput = ModuleTest;

TEST_F(ConsoleOutput, PrintReachesTheHostAndTheLogWhenAsked) {
  StartModule();
  PlatformSetLocalTimeSource(AprilThird);
  host.ClearPrints();
  ConsolePrint(0, "first %d", 1);
  EXPECT_TRUE(host.Printed("first 1"));
  EXPECT_FALSE(std::filesystem::exists(HomeFile("tgcl.log")));

  Client().settings.values.log_to_file = 1;
  ConsolePrint(1, "second");
  ConsolePrint(kLogOnly, "only in the log");
  EXPECT_TRUE(host.Printed("second"));
  EXPECT_FALSE(host.Printed("only in the log"));
  EXPECT_EQ(ReadAll(HomeFile("tgcl.log")),
            "[04.03.2024 09:05:07] second\r\n[04.03.2024 09:05:07] only in the log\r\n");
}

TEST_F(ConsoleOutput, LongMessagesAreCutTo4149Characters) {
  StartModule();
  Client().settings.values.log_to_file = 1;
  host.ClearPrints();
  const std::string long_text(5000, 'q');
  ConsolePrint(0, "%s", long_text.c_str());
  ASSERT_EQ(host.prints.size(), 1u);
  EXPECT_EQ(host.prints[0], std::string(4149, 'q'));
  const std::string log = ReadAll(HomeFile("tgcl.log"));
  EXPECT_EQ(log.size(), 22u + 4149u + 2u);
  EXPECT_EQ(log.substr(22, 4149), std::string(4149, 'q'));
}

TEST_F(ConsoleOutput, UnwritableLogLosesTheLineQuietly) {
  LogLine((home_base + "\\no such dir\\tgcl.log").c_str(), "%s", "text");
  EXPECT_FALSE(std::filesystem::exists(home_base + "/no such dir"));
}

TEST_F(ConsoleOutput, HomePathJoinsTheHomeDirectory) {
  StartModule();
  EXPECT_EQ(std::string(HomePath("tgcl.cfg")), home_base + "\\tg\\tgcl.cfg");
  const std::string very_long(600, 'n');
  EXPECT_LT(std::string(HomePath(very_long.c_str())).size(), static_cast<size_t>(kHomePathBufferSize));
}

TEST_F(ConsoleOutput, TextFileReadsWritesMeasuresAndHashes) {
  const std::string path = home_base + "/lines.txt";
  {
    TextFile file("wb", "%s/%s", home_base.c_str(), "lines.txt");
    EXPECT_EQ(std::string(file.Path()), home_base + "\\lines.txt");
    EXPECT_EQ(file.Write("abc\r\n\r\n", 7), 7);
    EXPECT_GT(file.Print("%s=%d\n", "x", 5), 0);
    EXPECT_EQ(file.Write("ignored", 0), 0);
  }
  TextFile file("rb", "%s", path.c_str());
  EXPECT_EQ(file.Size(0), 11);
  char line[16];
  ASSERT_EQ(file.ReadLine(line, sizeof line, 1), 1);
  EXPECT_STREQ(line, "abc");
  ASSERT_EQ(file.ReadLine(line, sizeof line, 1), 1);
  EXPECT_STREQ(line, "");
  ASSERT_EQ(file.ReadLine(line, 3, 0), 1);  // at most size - 1 characters
  EXPECT_STREQ(line, "x=");
  ASSERT_EQ(file.ReadLine(line, sizeof line, 0), 1);
  EXPECT_STREQ(line, "5\n");
  EXPECT_EQ(file.ReadLine(line, sizeof line, 1), 0);
  EXPECT_STREQ(line, "");
  EXPECT_EQ(file.LinesRead(), 4);
  EXPECT_EQ(file.ReadLine(line, 0, 1), 0);

  char hex[33];
  ASSERT_EQ(file.Md5Hex(hex), 1);
  EXPECT_STREQ(hex, DigestHexText("abc\r\n\r\nx=5\n", 11, 0));
  EXPECT_EQ(file.Seek(0, SEEK_SET), 1);
  EXPECT_EQ(file.LinesRead(), 0);
}

TEST_F(ConsoleOutput, TextFileThatCannotBeOpened) {
  TextFile file("rb", "%s/missing.txt", home_base.c_str());
  char line[8] = "junk";
  EXPECT_EQ(file.ReadLine(line, sizeof line, 1), 0);
  EXPECT_STREQ(line, "");
  EXPECT_EQ(file.Seek(0, SEEK_SET), -1);
  EXPECT_EQ(file.Size(1), 0);
  EXPECT_EQ(file.Write("x", 1), -1);
  EXPECT_EQ(file.Print("x"), 0);
  char hex[33];
  EXPECT_EQ(file.Md5Hex(hex), 1);  // the digest of no bytes
  EXPECT_STREQ(hex, "D41D8CD98F00B204E9800998ECF8427E");
}
