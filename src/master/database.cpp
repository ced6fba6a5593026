#include "master/database.h"

#include <cstdlib>
#include <cstring>

#include "master/name_cache.h"
#include "output/console.h"
#include "output/text_file.h"
#include "platform/platform.h"
#include "settings/player_settings.h"
#include "util/arg_list.h"
#include "util/memory.h"
#include "util/text.h"

namespace master {

namespace {

const int32_t kDefaultMasterPort = 16567;
// A database file or import larger than this is not a database.
const long kMaxDatabaseFileBytes = 256 * 1024;
// The import file, looked for in the home folder, then in its "dll" folder.
const char kImportFile[] = "tgclimp.db";
const char kImportFolder[] = "dll";

enum ModuleKind { kKindA = 0, kKindC = 1, kKindS = 2 };
enum Platform { kPlatformW = 0, kPlatformL = 1, kPlatformK = 2, kPlatformM = 3 };
int ListIndex(int kind, int platform) { return kind * 4 + platform; }

// The lists in the order the file holds them (no K lists: they live only
// in memory) and in the order a merge offers them.
const int kWrittenLists[] = {0, 1, 3, 4, 5, 7, 8, 9, 11};
const int kMergedLists[] = {1, 2, 3, 0, 5, 6, 7, 4, 9, 10, 11, 8};
const char kKindLetters[] = "ACS";
const char kPlatformLetters[] = "WLKM";

bool ValidHash(const char* hash) {
  int n = 0;
  for (; hash[n] != '\0'; ++n) {
    const char c = hash[n];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
  }
  return n == 32;
}

// The address of a host: "127.0.0.1" for a bare machine name, else a
// literal or the name cache's (possibly empty).
void AddressOfHost(const char* host, char* address) {
  if (strchr(host, '.') == nullptr) {
    CopyBounded(address, "127.0.0.1", 15);
  } else {
    ResolveIntoText(host, address);
  }
}

MasterRecord* FindRecord(MasterTable& table, int32_t id) {
  for (int i = 0; i < table.count; ++i)
    if (table.records[i].id == id) return &table.records[i];
  return nullptr;
}

void ParseMasterRecord(const ArgList& words, MasterTable& table, MasterRecord** current) {
  const int32_t id = ReadInteger(words.Word(1));
  if ((*current = FindRecord(table, id)) != nullptr) return;
  if (table.count >= kMasterRecords) return;
  MasterRecord& record = table.records[table.count++];
  memset(&record, 0, sizeof record);
  record.id = id;
  *current = &record;
  if (id == 0) return;
  CopyBounded(record.host, words.Word(2), kMasterHostChars);
  record.port = ReadInteger(words.Word(3));
  record.query_count = ReadInteger(words.Word(4));
  AddressOfHost(record.host, record.address);
}

void ParseAlternate(const ArgList& words, MasterRecord& record) {
  if (record.alternate_count >= kParsedAlternates) return;
  char host[kMasterHostChars + 1];
  CopyBounded(host, words.Word(1), kMasterHostChars);
  for (int i = 0; i < record.alternate_count; ++i)
    if (SameLetters(record.alternates[i].host, host)) return;
  MasterAlternate& alternate = record.alternates[record.alternate_count];
  memset(&alternate, 0, sizeof alternate);
  CopyBounded(alternate.host, host, kMasterHostChars);
  AddressOfHost(alternate.host, alternate.address);
  alternate.port = static_cast<uint32_t>(ReadInteger(words.Word(2)));
  ++record.alternate_count;
}

void ParseFileEntry(const ArgList& words, MasterRecord& record) {
  if (words.Count() < 3) return;
  const char* kind_letter = strchr(kKindLetters, words.Word(1)[0]);
  if (words.Word(1)[0] == '\0' || kind_letter == nullptr) return;
  const char platform_letter = words.Word(2)[0];
  const int platform = platform_letter == 'W'   ? kPlatformW
                       : platform_letter == 'L' ? kPlatformL
                       : platform_letter == 'K' ? kPlatformK
                                                : kPlatformM;
  FileEntryList& list = record.lists[ListIndex(static_cast<int>(kind_letter - kKindLetters), platform)];
  const int32_t id = ReadInteger(words.Word(3));
  if (list.count >= kFileEntries) return;
  for (int i = 0; i < list.count; ++i)
    if (list.entries[i].id == id) return;
  // The next slot is filled; it counts only when both hashes are valid.
  FileEntry& entry = list.entries[list.count];
  memset(&entry, 0, sizeof entry);
  entry.id = id;
  entry.value = static_cast<uint32_t>(ReadHex(words.Word(4), 0));
  CopyBounded(entry.first_hash, words.Word(5), 32);
  CopyBounded(entry.second_hash, words.Word(6), 32);
  if (ValidHash(entry.first_hash) && ValidHash(entry.second_hash)) ++list.count;
}

// One record's text, after its marker.
void ParseRecord(char* record, MasterTable& table, MasterRecord** current) {
  size_t length = strlen(record);
  while (length > 0 && (record[length - 1] == '\r' || record[length - 1] == '\n')) record[--length] = '\0';
  while (*record == ' ' || *record == '\t') ++record;
  ArgList words(record, 1, 0);
  const char* kind = words.Word(0);
  if (strcmp(kind, "S") == 0) {
    ParseMasterRecord(words, table, current);
  } else if (strcmp(kind, "M") == 0 && *current != nullptr) {
    ParseAlternate(words, **current);
  } else if (strcmp(kind, "F") == 0 && *current != nullptr) {
    ParseFileEntry(words, **current);
  }
}

// ---- merging ---------------------------------------------------------------

RecordMerge MergeEntry(FileEntryList& list, const FileEntry& entry, bool apply) {
  int smallest = -1;
  for (int i = 0; i < list.count; ++i) {
    if (smallest < 0 || list.entries[i].id < list.entries[smallest].id) smallest = i;
    if (list.entries[i].id != entry.id) continue;
    const FileEntry& have = list.entries[i];
    return have.value == entry.value && SameLetters(have.first_hash, entry.first_hash) &&
                   SameLetters(have.second_hash, entry.second_hash)
               ? RecordMerge::kUnchanged
               : RecordMerge::kConflict;
  }
  if (!apply) return RecordMerge::kChanged;
  if (list.count < kFileEntries) {
    list.entries[list.count++] = entry;
  } else {
    list.entries[smallest] = entry;
  }
  return RecordMerge::kChanged;
}

bool MergeAlternate(MasterRecord& record, const MasterAlternate& alternate, bool apply) {
  if (record.alternate_count >= kMergedAlternates) return false;
  for (int i = 0; i < record.alternate_count; ++i)
    if (strcmp(record.alternates[i].address, alternate.address) == 0 ||
        SameLetters(record.alternates[i].host, alternate.host))
      return false;
  if (apply) record.alternates[record.alternate_count++] = alternate;
  return true;
}

void ParseDefaults(MasterTable& table) {
  char text[512] = "";
  AppendText(text, sizeof text, "<p> S 2 %s %d 0\r\n", kMasterHostFixed, kDefaultMasterPort);
  for (int n = 3; n <= 5; ++n) {
    char host[64];
    FormatText(host, sizeof host, kMasterHostPattern, n - 2);
    AppendText(text, sizeof text, "<p> S %d %s %d 0\r\n", n, host, kDefaultMasterPort);
  }
  ParseDatabase(text, static_cast<int32_t>(strlen(text)) + 1, table);
}

const char* DatabasePath() { return HomePath("tgcl.db"); }

}  // namespace

const char* ParseDatabase(char* text, int32_t length, MasterTable& table) {
  if (text == nullptr || length != static_cast<int32_t>(strlen(text)) + 1) return "ERROR: Corrupted Data Buffer";
  for (char* p = text; *p != '\0'; ++p)
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  table.count = 0;
  for (MasterRecord& record : table.records) record.alternate_count = 0;
  MasterRecord* current = nullptr;
  char* marker = strstr(text, "<P>");
  while (marker != nullptr) {
    char* record = marker + 3;
    char* next = strstr(record, "<P>");
    if (next != nullptr) *next = '\0';
    ParseRecord(record, table, &current);
    if (next != nullptr) *next = '<';
    marker = next;
  }
  return nullptr;
}

bool WriteDatabase(const char* path, const MasterTable& table) {
  ReplacingFile file(path);  // Commit tells the player when it cannot be written
  file.Print("\r\nTHIS IS A GENERATED FILE - ** DO NOT EDIT **\r\n\r\n");
  for (int r = 0; r < table.count && r < kMasterRecords; ++r) {
    const MasterRecord& record = table.records[r];
    file.Print("<p> S %d %s %d %d\r\n", static_cast<int>(record.id), record.host, static_cast<int>(record.port),
               static_cast<int>(record.query_count));
    for (int i = 0; i < record.alternate_count && i < kParsedAlternates; ++i)
      file.Print("<p> M %s %u\r\n", record.alternates[i].host, static_cast<unsigned>(record.alternates[i].port));
    for (const int index : kWrittenLists) {
      const FileEntryList& list = record.lists[index];
      for (int i = 0; i < list.count && i < kFileEntries; ++i) {
        const FileEntry& entry = list.entries[i];
        if (!ValidHash(entry.first_hash) || !ValidHash(entry.second_hash)) continue;
        file.Print("<p> F %c %c %d %X %s %s\r\n", kKindLetters[index / 4], kPlatformLetters[index % 4],
                   static_cast<int>(entry.id), static_cast<unsigned>(entry.value), entry.first_hash, entry.second_hash);
      }
    }
  }
  return file.Commit();
}

const char* ReadDatabase(const char* path, MasterTable& table) {
  uint8_t* bytes = nullptr;
  long size = 0;
  const FileRead read = ReadWholeFile(path, kMaxDatabaseFileBytes, &bytes, &size);
  if (read == FileRead::kMissing) return "File Not Found";
  if (read != FileRead::kRead) return "Memory Allocation Error";
  const char* error = ParseDatabase(reinterpret_cast<char*>(bytes), static_cast<int32_t>(size) + 1, table);
  MemoryFree(bytes);
  ResolveMasterAddresses(table);
  return error;
}

void ResolveMasterAddresses(MasterTable& table) {
  for (int r = 0; r < table.count && r < kMasterRecords; ++r) {
    MasterRecord& record = table.records[r];
    if (record.host[0] == '\0') continue;
    ResolveIntoText(record.host, record.address);
    if (record.address[0] == '\0') CopyBounded(record.address, record.host, kMasterHostChars);
  }
}

RecordMerge MergeMasterRecord(const MasterRecord& incoming, MasterTable& table, bool apply) {
  ResolveMasterAddresses(table);
  bool found = false;
  int changed = 0;
  for (int r = 0; r < table.count && r < kMasterRecords; ++r) {
    MasterRecord& record = table.records[r];
    if (apply && record.id != incoming.id) continue;
    if (record.id == incoming.id) found = true;
    int change = 0;
    if (record.query_count > 0) {
      record.query_count = 0;
      change = 1;
    }
    for (const int index : kMergedLists) {
      const FileEntryList& offered = incoming.lists[index];
      for (int i = 0; i < offered.count && i < kFileEntries; ++i) {
        const RecordMerge answer = MergeEntry(record.lists[index], offered.entries[i], apply);
        if (answer == RecordMerge::kConflict) return RecordMerge::kConflict;
        if (answer == RecordMerge::kChanged) {
          change = 1;
          break;
        }
      }
    }
    for (int i = 0; i < incoming.alternate_count && i < kParsedAlternates; ++i) {
      if (MergeAlternate(record, incoming.alternates[i], apply)) {
        change = 1;
        break;
      }
    }
    // A record other than the incoming one's counts only once that one was found.
    if (record.id != incoming.id && !found) change = 0;
    changed |= change;
  }
  const RecordMerge merged = changed != 0 ? RecordMerge::kChanged : RecordMerge::kUnchanged;
  if (found) return merged;
  if (table.count < kMasterRecords) {
    if (apply) table.records[table.count++] = incoming;
    return RecordMerge::kChanged;
  }
  return merged;
}

DatabaseMerge MergeDatabaseText(char* text, int32_t length, const char** error) {
  MasterTable* incoming = static_cast<MasterTable*>(MemoryAllocateZeroed(1, sizeof(MasterTable)));
  if (incoming == nullptr) {
    *error = "Memory Allocation Error";
    return DatabaseMerge::kParseError;
  }
  *error = ParseDatabase(text, length, *incoming);
  DatabaseMerge result = *error != nullptr ? DatabaseMerge::kParseError : DatabaseMerge::kUnchanged;
  MasterTable& table = Master().table;
  for (int r = 0; result != DatabaseMerge::kParseError && r < incoming->count; ++r) {
    const RecordMerge trial = MergeMasterRecord(incoming->records[r], table, false);
    if (trial == RecordMerge::kConflict) {
      result = DatabaseMerge::kConflict;
      break;
    }
    if (trial == RecordMerge::kChanged) {
      (void)MergeMasterRecord(incoming->records[r], table, true);
      result = DatabaseMerge::kChanged;
    }
  }
  MemoryFree(incoming);
  return result;
}

void LoadServerDatabase(HostInterface*) {
  MasterTable& table = Master().table;
  ParseDefaults(table);
  ResolveMasterAddresses(table);
  if (ReadDatabase(DatabasePath(), table) != nullptr) WriteDatabase(DatabasePath(), table);
}

bool SaveServerDatabase() { return WriteDatabase(DatabasePath(), Master().table); }

void ImportServerDatabaseOnce(HostInterface*) {
  MasterState& master = Master();
  if (master.import_done || CurrentSettings().lan == 1) return;
  master.import_done = 1;
  char path[512];
  CopyHomePath(kImportFile, path, sizeof path);
  if (!PlatformFileExists(path)) {
    char inside[64];
    FormatText(inside, sizeof inside, "%s\\%s", kImportFolder, kImportFile);
    CopyHomePath(inside, path, sizeof path);
  }
  uint8_t* bytes = nullptr;
  long size = 0;
  FileRead read = ReadWholeFile(path, kMaxDatabaseFileBytes, &bytes, &size);
  if (read == FileRead::kMissing && path[0] != '\0') {
    path[strlen(path) - 1] = '\0';
    read = ReadWholeFile(path, kMaxDatabaseFileBytes, &bytes, &size);
  }
  if (read == FileRead::kMissing) return;
  PlatformDeleteFile(path);
  if (read != FileRead::kRead) {
    ConsolePrint(0, "Master database import failed: %s", "Memory Allocation Error");
    return;
  }
  const char* error = nullptr;
  const DatabaseMerge merged =
      MergeDatabaseText(reinterpret_cast<char*>(bytes), static_cast<int32_t>(size) + 1, &error);
  MemoryFree(bytes);
  if (merged == DatabaseMerge::kParseError) {
    ConsolePrint(0, "Master database import failed: %s", error);
    return;
  }
  if (merged == DatabaseMerge::kConflict) {
    ConsolePrint(0, "Master database import stopped: a file entry conflicts with the master table");
    return;
  }
  ConsolePrint(0, "Master database imported (%s)", merged == DatabaseMerge::kChanged ? "table updated" : "no change");
  if (merged == DatabaseMerge::kChanged) SaveServerDatabase();
}

}  // namespace master
