#include "master/update.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "core/client_state.h"
#include "support/module_test.h"
#include "unit/master/package_text.h"
#include "util/seeded_md5.h"

using namespace master;

namespace {

class Updates : public ConnectedTest {
 protected:
  void SetUp() override {
    ConnectedTest::SetUp();
    Client().protocol.connection.frames_received = 1;
    module.resize(6000);
    for (size_t i = 0; i < module.size(); ++i) module[i] = static_cast<char>((i * 31) % 97);
  }
  std::string Install(const std::string& text, uint32_t size = 0, const uint8_t (*digests)[16] = nullptr) {
    WriteHome("htm/package.htm", text);
    std::filesystem::remove(HomeFile("dll/out.dll"));
    const char* error =
        InstallPackage(HomeFile("htm/package.htm").c_str(), HomeFile("dll/out.dll").c_str(), size, digests);
    return error != nullptr ? error : "";
  }
  // 'H' with a big-endian index and the bytes.
  void Chunk(int index, const std::string& bytes) {
    Bytes payload = {'H', static_cast<uint8_t>(index >> 8), static_cast<uint8_t>(index)};
    payload.insert(payload.end(), bytes.begin(), bytes.end());
    DeliverPlain(payload);
  }
  std::vector<std::string> Requests() {
    Flush();
    std::vector<std::string> out;
    for (const PeerFrame& frame : TakeFrames())
      if (frame.Text().rfind("OUPD", 0) == 0) out.push_back(frame.Text());
    return out;
  }
  std::string module;
};

}  // namespace

TEST_F(Updates, PackagesInstallOnlyWhenEveryCheckHolds) {
  const std::string packed = Packed(module);
  const PackageText good = MakePackage(module, packed);
  EXPECT_EQ(Install(good.Text()), "");
  EXPECT_EQ(ReadHome("dll/out.dll"), module);

  struct Case {
    const char* what;
    PackageText package;
    const char* error;
  };
  PackageText lower = good, unclosed = good, lower_digest = good, wrong_b = good, short_header = good, stored = good;

  for (char& c : lower.data)
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  unclosed.closing = "";
  lower_digest.header_words = good.header_words.substr(0, good.header_words.size() - 66) +
                              std::string(good.header_words.end() - 66, good.header_words.end() - 33) + " " +
                              Md5Hex(packed.substr(1));
  for (size_t i = good.header_words.size() - 66; i < good.header_words.size() - 34; ++i)
    if (lower_digest.header_words[i] >= 'A' && lower_digest.header_words[i] <= 'F') lower_digest.header_words[i] += 32;
  PackageText not_hex = good;
  not_hex.header_words.replace(good.header_words.size() - 65, 32, std::string(32, 'Z'));
  wrong_b.header_words = good.header_words.substr(0, good.header_words.size() - 32) + Md5Hex("other");
  short_header.header_words = good.header_words.substr(0, good.header_words.size() - 33);
  // Equal sizes are still inflated: stored bytes are no zlib stream.
  char sizes[40];
  snprintf(sizes, sizeof sizes, "%zX %zX ", module.size(), module.size());
  stored.header_words = sizes + Md5Hex(module) + " " + Md5Hex(module.substr(1));
  stored.data = "<p>" + Hex(module) + "\r\n";
  const Case cases[] = {
      {"lower-case data", lower, "ERROR: Memory Allocation"},
      {"no closing tag", unclosed, "ERROR: Memory Allocation"},
      {"lower-case digest A", lower_digest, "ERROR: Security Mismatch (A)"},
      {"wrong digest B", wrong_b, "ERROR: Security Mismatch (B)"},
      {"digest A of 32 letters that are no digits", not_hex, "ERROR: Security Mismatch (A)"},
      {"a header word missing", short_header, "ERROR: Memory Allocation"},
      {"equal sizes, not packed", stored, "ERROR: Memory Allocation"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Install(c.package.Text()), c.error) << c.what;
    EXPECT_FALSE(std::filesystem::exists(HomeFile("dll/out.dll"))) << c.what;
  }
  // What the caller expects of the module: its size and its two digests.
  EXPECT_EQ(Install(good.Text(), static_cast<uint32_t>(module.size()) + 1), "ERROR: Size Mismatch");
  uint8_t digests[2][16] = {};
  SeededMd5 md5;
  md5.Digest(module.data(), static_cast<int32_t>(module.size()), 0);
  memcpy(digests[0], md5.DigestBytes(), 16);
  EXPECT_EQ(Install(good.Text(), 0, digests), "ERROR: Security Mismatch (C)");
  md5.Digest(module.data() + 1, static_cast<int32_t>(module.size()) - 1, 0);
  memcpy(digests[1], md5.DigestBytes(), 16);
  EXPECT_EQ(Install(good.Text(), static_cast<uint32_t>(module.size()), digests), "");
  // A module of no bytes matches no digests.
  EXPECT_EQ(Install(MakePackage("", Packed("")).Text(), 0, digests), "ERROR: Security Mismatch (C)");
  EXPECT_STREQ(InstallPackage(HomeFile("htm/none.htm").c_str(), HomeFile("dll/out.dll").c_str(), 0, nullptr),
               "ERROR: Cannot open source file");
  EXPECT_STREQ(InstallPackage(HomeFile("htm/package.htm").c_str(), HomeFile("nofolder/out.dll").c_str(), 0, nullptr),
               "ERROR: Cannot open target file for writing");
  // The module is written beside the target and put in its place whole; a
  // folder standing there makes that last step fail.
  EXPECT_STREQ(InstallPackage(HomeFile("htm/package.htm").c_str(), HomeFile("dll").c_str(), 0, nullptr),
               "ERROR: File Write Error");
  EXPECT_FALSE(std::filesystem::exists(HomeFile("dll.tmp")));
}

TEST_F(Updates, ChunksAreStoredInOrderAndGapsAskAgainPaced) {
  // A chunk with no download in progress, before any request: said once.
  Requests();
  Chunk(5, "x");
  Chunk(6, "x");
  EXPECT_EQ(Requests(), (std::vector<std::string>{"OUPDA-1"}));
  TestClock::now += 3001;  // requests of any kind are 3000 ms apart
  const std::string file = std::string(2500, 'u');
  ASSERT_TRUE(DeliverPlain("G2500 " + Md5Hex(file) + " xA_update.htm"));
  Chunk(0, file.substr(0, 1024));
  Chunk(2, file.substr(2048));  // a gap: chunk 1 is asked for
  Chunk(2, file.substr(2048));  // within 3000 ms: not again
  EXPECT_EQ(Requests(), (std::vector<std::string>{"OUPDA1"}));
  TestClock::now += 3001;
  Chunk(2, file.substr(2048));
  EXPECT_EQ(Requests(), (std::vector<std::string>{"OUPDA1"}));
  Chunk(1, file.substr(1024, 1024));
  Chunk(2, file.substr(2048));
  EXPECT_EQ(ReadHome("htm/xA_update.htm"), file);
  EXPECT_EQ(Client().master.update.buffer, nullptr);
  // Once a request was made, a stray chunk after the download says nothing.
  TestClock::now += 3001;
  Chunk(5, "x");
  EXPECT_EQ(Requests(), std::vector<std::string>{});
}

TEST_F(Updates, CorruptedDownloadIsKeptApart) {
  const std::string file = std::string(100, 'v');
  ASSERT_TRUE(DeliverPlain("G100 " + Md5Hex("something else") + " xC_update.htm"));
  host.ClearPrints();
  Chunk(0, file);
  EXPECT_TRUE(host.Printed("Corrupted File Received: htm\\xC_update.htm"));
  EXPECT_EQ(ReadHome("crptfile.dat"), file);
  EXPECT_FALSE(std::filesystem::exists(HomeFile("htm/xC_update.htm")));
}
