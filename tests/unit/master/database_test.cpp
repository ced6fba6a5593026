#include "master/database.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "core/client_state.h"
#include "master/name_cache.h"
#include "support/module_test.h"
#include "util/seeded_md5.h"

using namespace master;

namespace {

const std::string kHashA(32, 'A');
const std::string kHashB(32, 'B');
const std::string kHashC = "0123456789abcdef0123456789ABCDEF";

// A name-cache entry for name at address, as masters deliver them.
std::string CacheEntry(const std::string& name, const uint8_t address[4]) {
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  SeededMd5 md5;
  md5.Digest(lower.data(), static_cast<int32_t>(lower.size()), 0);
  const uint8_t* d = md5.DigestBytes();
  std::string entry(reinterpret_cast<const char*>(d + 9), 4);
  for (int i = 0; i < 4; ++i) entry += static_cast<char>(address[i] ^ d[i]);
  return entry;
}

MasterTable Parse(std::string text) {
  MasterTable table = {};
  EXPECT_EQ(ParseDatabase(&text[0], static_cast<int32_t>(text.size()) + 1, table), nullptr) << text;
  return table;
}

class Database : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    StartModule();
  }
};

}  // namespace

TEST(DottedLiteral, ParsesOnlyFourDecimalParts) {
  struct Case {
    const char* text;
    bool ok;
    uint8_t octets[4];
  };
  const Case cases[] = {
      {"1.2.3.4", true, {1, 2, 3, 4}},
      {"1.2.3.4:16567", true, {1, 2, 3, 4}},
      {"300.1.1.1", true, {44, 1, 1, 1}},
      {"1.2.3", false, {}},
      {"a.b.c.d", false, {}},
      {"1.2.3.4.5", false, {}},
      {"127.0.0.1x", false, {}},
      {"", false, {}},
  };
  for (const Case& c : cases) {
    uint8_t octets[4] = {};
    EXPECT_EQ(ParseDottedLiteral(c.text, octets), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(memcmp(octets, c.octets, 4), 0) << c.text;
    }
  }
}

TEST_F(Database, NameCacheFindsNamesRegardlessOfCaseAndPicksAmongDuplicates) {
  const uint8_t first[4] = {127, 0, 0, 9}, second[4] = {127, 0, 0, 10}, other[4] = {10, 1, 2, 3};
  WriteHome("tgns.dat", CacheEntry("Other.Example", other) + CacheEntry("master.example.test", first) +
                            CacheEntry("MASTER.example.TEST", second) + "odd");  // a partial entry is not counted
  LoadNameCache();
  EXPECT_EQ(NameCacheCount(), 3);
  char address[16] = "unchanged";
  ResolveIntoText("other.example", address);
  EXPECT_STREQ(address, "10.1.2.3");
  ResolveIntoText("", address);
  EXPECT_STREQ(address, "10.1.2.3");  // an empty name leaves it
  ResolveIntoText("unknown.example", address);
  EXPECT_STREQ(address, "");
  std::set<std::string> seen;
  srand(7);
  for (int i = 0; i < 64; ++i) {
    ResolveIntoText("Master.Example.Test", address);
    seen.insert(address);
  }
  EXPECT_EQ(seen, (std::set<std::string>{"127.0.0.9", "127.0.0.10"}));
  // A master's empty cache empties it.
  EXPECT_TRUE(ReplaceNameCache(nullptr, 0));
  EXPECT_EQ(NameCacheCount(), 0);
  EXPECT_FALSE(ReplaceNameCache(nullptr, 0));
}

TEST_F(Database, RecordsParseAsTheFileLaysThemOut) {
  MasterTable table = Parse(
      "<p> S 7 master.example 16567 3\r\n"  // no header text before the first marker
      "<P> M alt1.example 27000\r\n<p> m ALT1.EXAMPLE 1\r\n<p> M alt2.example 2\r\n<p> M alt3.example 3\r\n"
      "<p> M alt4.example 4\r\n"
      "<p> F A W 1 1F00 " +
      kHashA + " " + kHashB +
      "\r\n"
      "<p> F C K 2 10 " +
      kHashC + " " + kHashA +
      "\r\n"
      "<p> F C W 3 10 bad " +
      kHashA +
      "\r\n"
      "<p> F X W 4 10 " +
      kHashA + " " + kHashB +
      "\r\n"
      "<p>\tS 8 gamebox 1 0\r\n"
      "<p> S 7 other.example 1 1\r\n<p> F S Q 5 ABC " +
      kHashA + " " + kHashB + "\r\n");
  ASSERT_EQ(table.count, 2);
  const MasterRecord& first = table.records[0];
  EXPECT_EQ(first.id, 7);
  EXPECT_STREQ(first.host, "MASTER.EXAMPLE");  // the first reading stands
  EXPECT_EQ(first.port, 16567);
  EXPECT_EQ(first.query_count, 3);
  EXPECT_EQ(first.alternate_count, 3);  // the duplicate and the fourth are ignored
  EXPECT_STREQ(first.alternates[1].host, "ALT2.EXAMPLE");
  EXPECT_EQ(first.lists[0].count, 1);  // A W
  EXPECT_EQ(first.lists[0].entries[0].value, 0x1F00u);
  EXPECT_EQ(first.lists[6].count, 1);  // C K
  EXPECT_STREQ(first.lists[6].entries[0].first_hash, "0123456789ABCDEF0123456789ABCDEF");
  EXPECT_EQ(first.lists[4].count, 0);                   // C W: a bad hash
  EXPECT_EQ(first.lists[11].count, 1);                  // S with an unknown platform: the M list
  EXPECT_STREQ(table.records[1].address, "127.0.0.1");  // a bare machine name
  // A NUL before the end is refused and changes nothing.
  std::string broken = "<p> S 9 x.example 1 0";
  broken[5] = '\0';
  EXPECT_STREQ(ParseDatabase(&broken[0], static_cast<int32_t>(broken.size()) + 1, table),
               "ERROR: Corrupted Data Buffer");
  EXPECT_EQ(table.count, 2);
}

TEST_F(Database, ListsHoldEightEntriesAndATableFourMasters) {
  std::string text = "<p> S 2 a.example 1 0\r\n";
  for (int id = 1; id <= 9; ++id) text += "<p> F A L " + std::to_string(id) + " 1 " + kHashA + " " + kHashB + "\r\n";
  for (int id = 3; id <= 6; ++id) text += "<p> S " + std::to_string(id) + " m.example 1 0\r\n<p> M alt.example 5\r\n";
  const MasterTable table = Parse(text);
  EXPECT_EQ(table.records[0].lists[1].count, 8);
  EXPECT_EQ(table.count, 4);
  EXPECT_EQ(table.records[3].id, 5);
  EXPECT_EQ(table.records[3].alternate_count, 1);  // the fifth master's alternate went nowhere
}

TEST_F(Database, WrittenFileReadsBackWithoutTheKLists) {
  MasterTable table = Parse(
      "<p> S 4 Master.Example 16567 2\r\n<p> M alt.example 27000\r\n"
      "<p> F C L 12 ABCD " +
      kHashA + " " + kHashB +
      "\r\n"
      "<p> F C K 13 1 " +
      kHashA + " " + kHashB +
      "\r\n"
      "<p> F A W 11 FF " +
      kHashC + " " + kHashB + "\r\n");
  ASSERT_TRUE(WriteDatabase(HomeFile("out.db").c_str(), table));
  EXPECT_EQ(ReadHome("out.db"),
            "\r\nTHIS IS A GENERATED FILE - ** DO NOT EDIT **\r\n\r\n"
            "<p> S 4 MASTER.EXAMPLE 16567 2\r\n<p> M ALT.EXAMPLE 27000\r\n"
            "<p> F A W 11 FF 0123456789ABCDEF0123456789ABCDEF " +
                kHashB +
                "\r\n"
                "<p> F C L 12 ABCD " +
                kHashA + " " + kHashB + "\r\n");
  MasterTable again = {};
  EXPECT_EQ(ReadDatabase(HomeFile("out.db").c_str(), again), nullptr);
  EXPECT_EQ(again.records[0].lists[6].count, 0);
  EXPECT_EQ(again.records[0].lists[5].count, 1);
  EXPECT_STREQ(ReadDatabase(HomeFile("none.db").c_str(), again), "File Not Found");
}

TEST_F(Database, LoadKeepsTheDefaultsUnlessTheFileSaysOtherwise) {
  // Start-up found no file: the four built-in masters are written.
  const std::string defaults = ReadHome("tgcl.db");
  EXPECT_NE(defaults.find("<p> S 2 MASTER.TALLYGUARD.INVALID 16567 0\r\n"), std::string::npos) << defaults;
  EXPECT_NE(defaults.find("<p> S 5 MASTER3.TALLYGUARD.INVALID 16567 0\r\n"), std::string::npos) << defaults;
  EXPECT_EQ(Master().table.count, 4);
  EXPECT_STREQ(Master().table.records[0].address, "MASTER.TALLYGUARD.INVALID");  // unresolved: the host stands in
  // An empty file is read as it is: no masters, and it stays empty.
  WriteHome("tgcl.db", "");
  LoadServerDatabase(&host.record);
  EXPECT_EQ(Master().table.count, 0);
  EXPECT_EQ(ReadHome("tgcl.db"), "");
  // A corrupted one gives way to the defaults.
  WriteHome("tgcl.db", std::string("<p> S 9 a.example 1 0\0junk", 26));
  LoadServerDatabase(&host.record);
  EXPECT_EQ(Master().table.count, 4);
  EXPECT_EQ(ReadHome("tgcl.db"), defaults);
}

TEST_F(Database, MergesAddWhatIsNewAndRefuseConflicts) {
  MasterTable& table = Master().table;
  const std::string entry_1 = "<p> F A W 1 10 " + kHashA + " " + kHashB + "\r\n";
  table = Parse("<p> S 2 a.example 1 5\r\n" + entry_1 + "<p> S 3 b.example 1 4\r\n" + entry_1);
  struct Case {
    const char* what;
    std::string incoming;
    RecordMerge trial, apply;
  };
  const Case cases[] = {
      {"the same entry: only the query counts go back to 0", "<p> S 2 a.example 1 0\r\n" + entry_1,
       RecordMerge::kChanged, RecordMerge::kUnchanged},
      {"nothing new", "<p> S 2 a.example 1 0\r\n" + entry_1, RecordMerge::kUnchanged, RecordMerge::kUnchanged},
      {"an entry that conflicts", "<p> S 3 b.example 1 0\r\n<p> F A W 1 11 " + kHashA + " " + kHashB,
       RecordMerge::kConflict, RecordMerge::kUnchanged},
      {"a new entry", "<p> S 2 a.example 1 0\r\n<p> F A W 2 10 " + kHashA + " " + kHashB, RecordMerge::kChanged,
       RecordMerge::kChanged},
      {"a new master", "<p> S 9 c.example 1 0", RecordMerge::kChanged, RecordMerge::kChanged},
  };
  for (const Case& c : cases) {
    const MasterTable incoming = Parse(c.incoming);
    EXPECT_EQ(MergeMasterRecord(incoming.records[0], table, false), c.trial) << c.what;
    if (c.trial == RecordMerge::kChanged) {
      EXPECT_EQ(MergeMasterRecord(incoming.records[0], table, true), c.apply) << c.what;
    }
  }
  EXPECT_EQ(table.records[0].query_count, 0);
  EXPECT_EQ(table.records[1].query_count, 0);
  EXPECT_EQ(table.records[1].lists[0].count, 1);  // the applying pass touches only the incoming id
  EXPECT_EQ(table.count, 3);
  EXPECT_EQ(table.records[0].lists[0].count, 2);
  EXPECT_EQ(table.records[0].query_count, 0);
  // A full list gives up its smallest id; alternates stop at two.
  for (int id = 3; id <= 9; ++id) {
    std::string text = "<p> S 2 a.example 1 0\r\n<p> F A W " + std::to_string(id) + " 1 " + kHashA + " " + kHashB +
                       "\r\n<p> M 127.0.0." + std::to_string(id) + " 1";
    const MasterTable incoming = Parse(text);
    if (MergeMasterRecord(incoming.records[0], table, false) == RecordMerge::kChanged)
      (void)MergeMasterRecord(incoming.records[0], table, true);
  }
  const FileEntryList& list = table.records[0].lists[0];
  EXPECT_EQ(list.count, 8);
  std::set<int> ids;
  for (int i = 0; i < list.count; ++i) ids.insert(list.entries[i].id);
  EXPECT_EQ(ids, (std::set<int>{2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(table.records[0].alternate_count, 2);
}

TEST_F(Database, ImportRunsOncePerRunAndDeletesItsFile) {
  Master().import_done = 0;
  WriteHome("tgclimp.db", "<p> S 2 master.tallyguard.invalid 16567 0\r\n<p> F C W 5 100 " + kHashA + " " + kHashB);
  host.ClearPrints();
  ImportServerDatabaseOnce(&host.record);
  EXPECT_TRUE(host.Printed("Master database imported (table updated)"));
  EXPECT_FALSE(std::filesystem::exists(HomeFile("tgclimp.db")));
  EXPECT_NE(ReadHome("tgcl.db").find("<p> F C W 5 100 " + kHashA), std::string::npos);
  // Once per run: a second file waits for the next run.
  WriteHome("tgclimp.db", "<p> S 9 x.example 1 0");
  ImportServerDatabaseOnce(&host.record);
  EXPECT_TRUE(std::filesystem::exists(HomeFile("tgclimp.db")));
  // The second place is the "dll" folder; a parse error is reported.
  Master().import_done = 0;
  std::filesystem::remove(HomeFile("tgclimp.db"));
  std::filesystem::create_directories(HomeFile("dll"));
  WriteHome("dll/tgclimp.db", std::string("<p> S 9\0", 8));
  host.ClearPrints();
  ImportServerDatabaseOnce(&host.record);
  EXPECT_TRUE(host.Printed("Master database import failed: ERROR: Corrupted Data Buffer"));
  EXPECT_FALSE(std::filesystem::exists(HomeFile("dll/tgclimp.db")));
}
