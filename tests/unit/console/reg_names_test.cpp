#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/client_state.h"
#include "support/module_test.h"
#include "util/seeded_md5.h"

namespace {

class RegNames : public ConnectedTest {
 protected:
  void SetUp() override {
    ConnectedTest::SetUp();
    Client().protocol.connection.frames_received = 1;
  }
  std::string Digest(const std::string& password) {
    return DigestHexText(password.data(), static_cast<int32_t>(password.size()), 0x5A3C91E7u);
  }
  std::string LastPayload() {
    std::vector<PeerFrame> frames = TakeFrames();
    return frames.empty() ? "" : frames.back().Text();
  }
  // A new game server makes the module load the names again.
  void NewServer(const std::string& address) {
    host.server_address = address;
    host.ClearPrints();
    Cycle(1);
  }
};

using Lines = std::vector<std::string>;

std::string Xor(std::string bytes, const std::string& password) {
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(bytes[i] ^ password[i % password.size()]);
  return bytes;
}

}  // namespace

TEST_F(RegNames, AddWritesThePlainFileAndSendsTheList) {
  EXPECT_EQ(Run("tg_RegNameFull Player secret"), Lines{"1 Registered Name Record written to " + ModulePath("regname.dat")});
  EXPECT_EQ(LastPayload(), "R\"Player\" \"" + Digest("secret") + "\" 1 ");
  Run("tg_RegNamePartial \"The Clan\" \"pass word\"");
  EXPECT_EQ(ReadHome("regname.dat"), std::string("TG_REGNAMES\r\n\x1A", 14) +
                                     "\"Player\" \"secret\" Full\r\n\"The Clan\" \"pass word\" Partial\r\n");
  EXPECT_EQ(LastPayload(), "R\"Player\" \"" + Digest("secret") + "\" 1 \"The Clan\" \"" + Digest("pass word") + "\" 2 ");
}

TEST_F(RegNames, BlankWordsAreRefused) {
  EXPECT_EQ(Run("tg_RegNameFull lonely"), Lines{"Invalid / Blank Match Text (lonely) and/or Password ()"});
  EXPECT_EQ(Run("tg_RegNameFull \"  \" pw"), Lines{"Invalid / Blank Match Text () and/or Password (pw)"});
  EXPECT_FALSE(std::filesystem::exists(HomeFile("regname.dat")));
}

TEST_F(RegNames, LongMatchTextIsCutTo32) {
  const std::string match(40, 'm');
  Run("tg_RegNameFull " + match + " pw");
  EXPECT_NE(ReadHome("regname.dat").find("\"" + match.substr(0, 32) + "\" \"pw\""), std::string::npos);
  EXPECT_EQ(LastPayload(), "R\"" + match.substr(0, 32) + "\" \"" + Digest("pw") + "\" 1 ");
}

TEST_F(RegNames, DeletedSlotsStayUntilTheNextLoad) {
  Run("tg_RegNameFull One a");
  Run("tg_RegNameFull Two b");
  EXPECT_EQ(Run("tg_RegNameDel 0"), Lines{"Invalid Slot # Specified"});
  EXPECT_EQ(Run("tg_RegNameDel 3"), Lines{"Invalid Slot # Specified"});
  EXPECT_EQ(Run("tg_RegNameDel 1"), (Lines{"Deleting Registered Name \"One\"",
                                           "1 Registered Name Record written to " + ModulePath("regname.dat")}));
  EXPECT_EQ(Run("tg_RegNameList"), (Lines{"1  : Deleted", "2  : \"Two\" Full", "End of Registered Name List (2 Records)"}));
  EXPECT_EQ(ReadHome("regname.dat").find("One"), std::string::npos);
  NewServer("127.0.0.1:27999");
  EXPECT_TRUE(host.Printed("Added Registered Name Record: Two"));
  EXPECT_EQ(Run("tg_RegNameList"), (Lines{"1  : \"Two\" Full", "End of Registered Name List (1 Record)"}));
}

TEST_F(RegNames, PasswordScramblesTheFileAndMustMatchToLoad) {
  Run("tg_RegNameFull Player secret");
  EXPECT_EQ(Run("tg_RegNamePw key"), (Lines{"tg_RegNamePw = key", "1 Registered Name Record written to " + ModulePath("regname.dat")}));
  const std::string plain = std::string(DigestHexText("key", 3, 0)) + "\"Player\" \"secret\" Full\r\n";
  EXPECT_EQ(ReadHome("regname.dat"), Xor(plain, "key"));

  NewServer("127.0.0.1:27999");  // same password: the table comes back
  EXPECT_TRUE(host.Printed("Added Registered Name Record: Player"));

  Run("tg_RegNamePw other");  // saves again with the new key...
  WriteHome("regname.dat", Xor(plain, "key"));  // ...but the file still has the old one
  NewServer("127.0.0.1:27998");
  EXPECT_TRUE(host.Printed("Cannot load " + ModulePath("regname.dat") + " - Invalid RegNamePw"));
  EXPECT_EQ(Run("tg_RegNameList"), Lines{"End of Registered Name List (0 Records)"});

  Run("tg_RegNamePw \"\"");  // saves the (empty) table plainly
  WriteHome("regname.dat", Xor(plain, "key"));  // without a password a scrambled file has no header
  NewServer("127.0.0.1:27997");
  EXPECT_TRUE(host.Printed("Cannot load " + ModulePath("regname.dat") + " - Header Missing"));
}

TEST_F(RegNames, FileContentsAreCheckedAndReadThreeWordsAtATime) {
  const std::string header("TG_REGNAMES\r\n\x1A", 14);
  struct Case {
    std::string file;
    Lines printed;
  } cases[] = {
      {header + "\"A\" \"1\" FULL\r\n\"B\" \"2\" whatever\r\n",
       {"Added Registered Name Record: A", "Added Registered Name Record: B"}},
      {header + "C 3 Full D\r\n4 Partial E\r\n",  // words run on across lines
       {"Added Registered Name Record: C", "Added Registered Name Record: D",
        "Invalid / Blank Match Text (E) and/or Password ()"}},
      {"no header at all", {"Cannot load " + ModulePath("regname.dat") + " - Header Missing"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    WriteHome("regname.dat", c.file);
    NewServer(host.server_address == "127.0.0.1:1" ? "127.0.0.1:2" : "127.0.0.1:1");
    Lines printed;
    for (const std::string& line : host.prints)
      if (line.compare(0, 12, "Game server ") != 0) printed.push_back(line);
    EXPECT_EQ(printed, c.printed) << c.file;
  }
  WriteHome("regname.dat", header + "\"A\" \"1\" FULL\r\n\"B\" \"2\" whatever\r\n");
  NewServer("127.0.0.1:3");
  EXPECT_EQ(Run("tg_RegNameList"), (Lines{"1  : \"A\" Full", "2  : \"B\" Partial", "End of Registered Name List (2 Records)"}));
  std::filesystem::remove(HomeFile("regname.dat"));
  NewServer("127.0.0.1:4");
  EXPECT_EQ(Run("tg_RegNameList"), Lines{"End of Registered Name List (0 Records)"});
}

TEST_F(RegNames, ManyNamesSurviveTheRoundTrip) {
  for (int i = 0; i < 50; ++i) Run("tg_RegNameFull name" + std::to_string(i) + " pw" + std::to_string(i));
  NewServer("127.0.0.1:5");
  EXPECT_TRUE(host.Printed("Added Registered Name Record: name49"));
  EXPECT_EQ(Run("tg_RegNameList").back(), "End of Registered Name List (50 Records)");
}

TEST_F(RegNames, ListTextStaysBelow1024AndSkipsOnlyWhatDoesNotFit) {
  // Entries of 25-letter names take 65 characters: 15 of them bring the
  // text to 976, where a 16th does not fit but a one-letter name does.
  for (int i = 0; i < 16; ++i) Run("tg_RegNameFull " + std::string(25, static_cast<char>('a' + i)) + " pw");
  Run("tg_RegNameFull s pw");
  std::string list = LastPayload();
  EXPECT_EQ(list.size(), 1017u);
  EXPECT_NE(list.find(std::string(25, 'o')), std::string::npos);
  EXPECT_EQ(list.find(std::string(25, 'p')), std::string::npos);                  // the 16th was left out
  EXPECT_NE(list.find("\"s\" \"" + Digest("pw") + "\" 1 "), std::string::npos);  // the short one still fits
}

TEST_F(RegNames, ImportFileIsAddedSavedAndRemoved) {
  Run("tg_RegNameFull Old a");
  WriteHome("regname1.dat", std::string("TG_REGNAMES\r\n\x1A", 14) + "\"New\" \"b\" Partial\r\n");
  NewServer("127.0.0.1:6");
  EXPECT_FALSE(std::filesystem::exists(HomeFile("regname1.dat")));
  EXPECT_NE(ReadHome("regname.dat").find("\"Old\" \"a\" Full\r\n\"New\" \"b\" Partial\r\n"), std::string::npos);
}

TEST_F(RegNames, NewFileNameLoadsThatFile) {
  WriteHome("other.dat", std::string("TG_REGNAMES\r\n\x1A", 14) + "\"Other\" \"o\" Full\r\n");
  EXPECT_EQ(Run("tg_RegNameFn other.dat"), (Lines{"tg_RegNameFn = other.dat", "Added Registered Name Record: Other"}));
  EXPECT_EQ(Run("tg_RegNameFn"), (Lines{"tg_RegNameFn = other.dat", "Added Registered Name Record: Other"}));
}

namespace {

// A names file scrambled with key, holding the given records.
std::string ScrambledFile(const std::string& key, const std::string& records) {
  return Xor(std::string(DigestHexText(key.data(), static_cast<int32_t>(key.size()), 0)) + records, key);
}

}  // namespace

TEST_F(RegNames, NewKeyLoadsAnUnreadFileBeforeSaving) {
  const std::string records = "\"Me\" \"pw\" Full\r\n\"Us\" \"pw2\" Partial\r\n";
  const std::string file = ScrambledFile("k1", records);
  WriteHome("regname.dat", file);
  NewServer("127.0.0.1:27001");  // no key: the file cannot be read
  EXPECT_TRUE(host.Printed("Cannot load " + ModulePath("regname.dat") + " - Header Missing"));
  Run("tg_RegNamePw k2");  // the wrong key cannot read it either: the file stays
  EXPECT_EQ(ReadHome("regname.dat"), file);
  Run("tg_RegNameFull New pw3");  // nor may an addition overwrite it
  EXPECT_EQ(ReadHome("regname.dat"), file);
  EXPECT_TRUE(host.Printed("Cannot save " + ModulePath("regname.dat") + " - its names were not loaded (check tg_RegNamePw)"));
  Run("tg_RegNamePw k1");  // the right key reads it first, then saves
  EXPECT_TRUE(host.Printed("Added Registered Name Record: Me"));
  EXPECT_EQ(ReadHome("regname.dat"), file);
  Run("tg_RegNamePw k3");  // and a new key keeps every name
  EXPECT_EQ(ReadHome("regname.dat"), ScrambledFile("k3", records));
}

using RegNamesAtStart = ModuleTest;

TEST_F(RegNamesAtStart, KeyInTheConfigDoesNotEmptyTheFile) {
  std::filesystem::create_directories(HomeFile(""));
  const std::string file = ScrambledFile("k1", "\"Me\" \"pw\" Full\r\n");
  WriteHome("regname.dat", file);
  WriteHome("tgcl.cfg", "tg_RegNamePw k1\r\n");
  StartModule();
  EXPECT_EQ(ReadHome("regname.dat"), file);
  EXPECT_TRUE(host.Printed("Added Registered Name Record: Me"));
}

TEST_F(RegNames, NamesWithQuotesOrControlBytesAreRefused) {
  const std::string refused =
      "Invalid Match Text and/or Password - double quotes and control characters are not allowed";
  EXPECT_EQ(Run("tg_RegNameFull ab\"c pw"), Lines{refused});
  EXPECT_EQ(Run("tg_RegNameFull abc p\"w"), Lines{refused});
  EXPECT_EQ(Run(std::string("tg_RegNameFull a\x01") + "b pw"), Lines{refused});
  Run("tg_RegNameFull First pw");
  Run("tg_RegNameFull Second pw");
  NewServer("127.0.0.1:27002");  // a reload keeps every record
  EXPECT_EQ(Run("tg_RegNameList"),
            (Lines{"1  : \"First\" Full", "2  : \"Second\" Full", "End of Registered Name List (2 Records)"}));
}

TEST_F(RegNames, ListKeepsWholeRecords) {
  // 14 names of 28 characters and one of 32: the last record would bring the
  // list to 1025 characters, so it is left out rather than cut.
  for (int i = 0; i < 14; ++i) Run("tg_RegNameFull " + std::string(26, 'a' + i) + std::to_string(10 + i) + " pw");
  Run("tg_RegNameFull " + std::string(32, 'z') + " pw");
  const std::string list = LastPayload();
  EXPECT_LT(list.size(), 1024u);
  ASSERT_GE(list.size(), 4u);
  EXPECT_EQ(list.substr(list.size() - 4), "\" 1 ");
  EXPECT_EQ(list.find(std::string(32, 'z')), std::string::npos);
  int records = 0;
  for (size_t at = list.find("\" 1 "); at != std::string::npos; at = list.find("\" 1 ", at + 1)) ++records;
  EXPECT_EQ(records, 14);
}
