#include "console/reg_names.h"

#include <cstdlib>
#include <cstring>

#include "channel/framing.h"
#include "console/console_state.h"
#include "output/console.h"
#include "output/text_file.h"
#include "platform/platform.h"
#include "settings/player_settings.h"
#include "util/arg_list.h"
#include "util/memory.h"
#include "util/seeded_md5.h"
#include "util/text.h"

namespace console {

namespace {

const uint32_t kPasswordSeed = 0x5A3C91E7u;
const char kPlainHeader[] = "TG_REGNAMES\r\n\x1A";
const int kPlainHeaderLength = 14;
const int kListLimit = 1024;
// A names file larger than this is not a names file.
const long kMaxFileSize = 1024 * 1024;

GrowArray& Table() { return Console().registered_names; }
RegisteredName& At(int i) { return *static_cast<RegisteredName*>(Table().Element(i)); }
const char* KindText(uint8_t kind) { return kind == 1 ? "Full" : "Partial"; }
const char* Password() { return CurrentSettings().reg_name_password; }

void NamesPath(char* path, int size) { CopyHomePath(CurrentSettings().reg_name_file, path, size); }

// XORs bytes that start at file position offset with the password.
void Scramble(uint8_t* bytes, size_t length, size_t offset, const char* password) {
  const size_t n = strlen(password);
  if (n == 0) return;
  for (size_t i = 0; i < length; ++i) bytes[i] ^= static_cast<uint8_t>(password[(offset + i) % n]);
}

// Writes the table to path. false when the file could not be written (the
// old file is then as it was, and the player has been told).
bool SaveTo(const char* path) {
  const char* password = Password();
  ReplacingFile file(path);
  size_t position = 0;
  auto put = [&](const char* text, size_t length) {
    uint8_t chunk[256];
    for (size_t done = 0; done < length;) {
      const size_t n = length - done < sizeof chunk ? length - done : sizeof chunk;
      memcpy(chunk, text + done, n);
      Scramble(chunk, n, position, password);
      file.Write(chunk, static_cast<int>(n));
      position += n;
      done += n;
    }
  };
  if (password[0] != '\0') {
    put(DigestHexText(password, static_cast<int32_t>(strlen(password)), 0), 32);
  } else {
    put(kPlainHeader, kPlainHeaderLength);
  }
  int written = 0;
  for (int i = 0; i < Table().Count(); ++i) {
    const RegisteredName& name = At(i);
    if (name.match[0] == '\0') continue;
    char line[128];
    FormatText(line, sizeof line, "\"%s\" \"%s\" %s\r\n", name.match, name.password, KindText(name.kind));
    put(line, strlen(line));
    ++written;
  }
  if (!file.Commit()) return false;
  ConsolePrint(0, "%d Registered Name Record%s written to %s", written, PluralS(written), path);
  return true;
}

// A double quote would end the text early in the file, and a control byte
// (a line end) would split its line: such names would not survive a load.
bool FitsTheFile(const char* text) { return strchr(text, '"') == nullptr && !HasControlBytes(text); }

// Adds one registration to the table. false (with a message) when the match
// text or the password is blank or cannot be kept in the file, or the table
// cannot grow.
bool AddRecord(const char* match, const char* password, const char* kind) {
  char match_text[256], password_text[256];
  CopyBounded(match_text, match, sizeof match_text - 1);
  CopyBounded(password_text, password, sizeof password_text - 1);
  TrimChars(match_text, " \t");
  TrimChars(password_text, " \t");
  if (match_text[0] == '\0' || password_text[0] == '\0') {
    ConsolePrint(0, "Invalid / Blank Match Text (%s) and/or Password (%s)", match_text, password_text);
    return false;
  }
  if (!FitsTheFile(match_text) || !FitsTheFile(password_text)) {
    ConsolePrint(0, "Invalid Match Text and/or Password - double quotes and control characters are not allowed");
    return false;
  }
  RegisteredName record;
  memset(&record, 0, sizeof record);
  CopyBounded(record.match, match_text, 32);
  CopyBounded(record.password, password_text, 32);
  memcpy(record.digest, DigestHexText(record.password, static_cast<int32_t>(strlen(record.password)), kPasswordSeed),
         33);
  record.kind = SameLetters(kind != nullptr ? kind : "", "Full") ? 1 : 2;
  if (!Table().Append(&record)) {
    ConsolePrint(0, "Error: could not add Registered Name Record");
    return false;
  }
  return true;
}

// A registration read from a file: added and reported.
void AddLoadedName(const char* match, const char* password, const char* kind) {
  if (AddRecord(match, password, kind)) {
    const RegisteredName& added = At(Table().Count() - 1);
    ConsolePrint(0, "Added Registered Name Record: %s", added.match);
  }
}

// Adds the words of the records, three at a time, across lines.
void AddRecords(char* text) {
  char words[3][256];
  int have = 0;
  for (char* line = text; line != nullptr;) {
    char* end = strchr(line, '\n');
    if (end != nullptr) *end = '\0';
    ArgList list(line, 1, 0);
    for (int i = 0; i < list.Count(); ++i) {
      CopyBounded(words[have], list.Word(i), sizeof words[have] - 1);
      if (++have == 3) {
        AddLoadedName(words[0], words[1], words[2]);
        have = 0;
      }
    }
    line = end != nullptr ? end + 1 : nullptr;
  }
  if (have > 0) {
    for (int i = have; i < 3; ++i) words[i][0] = '\0';
    AddLoadedName(words[0], words[1], words[2]);  // refused by the blank check
  }
}

// Loads the names of the file at path into the table. true when the table
// now holds what the file holds: the file was read with the current key, or
// there is no file (or an empty one).
bool LoadFrom(const char* path, int clear) {
  if (clear) Table().Clear();
  long size = 0;
  uint8_t* bytes = nullptr;
  const FileRead read = ReadWholeFile(path, kMaxFileSize, &bytes, &size);
  if (read == FileRead::kMissing) return true;
  if (read == FileRead::kRead && size == 0) {  // an empty file holds no names
    MemoryFree(bytes);
    return true;
  }
  if (read == FileRead::kUnreadable) {
    ConsolePrint(0, "Cannot load %s - File Unreadable or Too Large", path);
    return false;
  }
  const char* password = Password();
  char* rest = nullptr;
  if (password[0] != '\0') {
    Scramble(bytes, static_cast<size_t>(size), 0, password);
    const char* expected = DigestHexText(password, static_cast<int32_t>(strlen(password)), 0);
    if (size >= 32 && memcmp(bytes, expected, 32) == 0) rest = reinterpret_cast<char*>(bytes) + 32;
    if (rest == nullptr) ConsolePrint(0, "Cannot load %s - Invalid RegNamePw", path);
  } else {
    if (size >= kPlainHeaderLength && memcmp(bytes, kPlainHeader, kPlainHeaderLength) == 0)
      rest = reinterpret_cast<char*>(bytes) + kPlainHeaderLength;
    if (rest == nullptr) ConsolePrint(0, "Cannot load %s - Header Missing", path);
  }
  if (rest != nullptr) AddRecords(rest);
  MemoryFree(bytes);
  return rest != nullptr;
}

// The table may go to the file only when it holds what the file held;
// otherwise the file is loaded first (with the key of the time).
bool EnsureNamesLoaded(HostInterface* host) {
  if (!Console().names_loaded) LoadRegisteredNames(host, 1);
  return Console().names_loaded != 0;
}

// Writes the names file and sends the list. A table that does not hold what
// the file held is not written: the file keeps the names it has.
bool Save(HostInterface* host, uint32_t now) {
  char path[kHomePathBufferSize];
  NamesPath(path, sizeof path);
  bool saved = false;
  if (Console().names_loaded) {
    saved = SaveTo(path);
  } else {
    ConsolePrint(0, "Cannot save %s - its names were not loaded (check tg_RegNamePw)", path);
  }
  SendReply(host, RegisteredNamesReply(), now);
  return saved;
}

}  // namespace

void AddRegisteredName(HostInterface* host, const char* match, const char* password, const char* kind, uint32_t now) {
  EnsureNamesLoaded(host);
  if (AddRecord(match, password, kind)) Save(host, now);
}

void DeleteRegisteredName(HostInterface* host, int32_t slot, uint32_t now) {
  if (slot < 1 || slot > Table().Count()) {
    ConsolePrint(0, "Invalid Slot # Specified");
    return;
  }
  RegisteredName& name = At(slot - 1);
  ConsolePrint(0, "Deleting Registered Name \"%s\"", name.match);
  memset(&name, 0, sizeof name);
  Save(host, now);
}

void ListRegisteredNames() {
  const int count = Table().Count();
  for (int i = 0; i < count; ++i) {
    const RegisteredName& name = At(i);
    if (name.match[0] == '\0') {
      ConsolePrint(0, "%-3d: Deleted", i + 1);
    } else {
      ConsolePrint(0, "%-3d: \"%s\" %s", i + 1, name.match, KindText(name.kind));
    }
  }
  ConsolePrint(0, "End of Registered Name List (%d Record%s)", count, PluralS(count));
}

void SaveRegisteredNames(HostInterface* host, uint32_t now) { Save(host, now); }

void SaveNamesWithNewKey(HostInterface* host, uint32_t now) {
  EnsureNamesLoaded(host);
  Save(host, now);
}

void LoadRegisteredNames(HostInterface*, int clear) {
  char path[kHomePathBufferSize];
  NamesPath(path, sizeof path);
  Console().names_loaded = LoadFrom(path, clear) ? 1 : 0;
}

void ReloadRegisteredNames(HostInterface* host, uint32_t now) {
  LoadRegisteredNames(host, 1);
  char import[kHomePathBufferSize];
  CopyHomePath("regname1.dat", import, sizeof import);
  if (!PlatformFileExists(import)) return;
  LoadFrom(import, 0);
  // The import file goes only once its names are safe in the names file.
  if (Save(host, now)) PlatformDeleteFile(import);
}

Reply RegisteredNamesReply() {
  char text[kListLimit] = "R";
  size_t length = 1;
  for (int i = 0; i < Table().Count(); ++i) {
    const RegisteredName& name = At(i);
    if (name.match[0] == '\0') continue;
    // A record goes in whole or not at all; the text stays below 1024.
    char record[128];
    FormatText(record, sizeof record, "\"%s\" \"%s\" %d ", name.match, name.digest, name.kind);
    const size_t record_length = strlen(record);
    if (length + record_length >= static_cast<size_t>(kListLimit)) continue;
    memcpy(text + length, record, record_length + 1);
    length += record_length;
  }
  return length > 1 ? Reply::Now(text, static_cast<int32_t>(length) + 1) : Reply::None();
}

}  // namespace console
