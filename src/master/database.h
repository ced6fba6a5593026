// The master table and its text form: "tgcl.db" in the home folder, the
// database text masters send, and the once-per-run import.
#pragma once

#include <cstdint>

#include "master/master_state.h"
#include "tallyguard/host_interface.h"

namespace master {

// Parses database text (length counts the NUL, so a text with a NUL before
// its end is refused) into table. Gives nullptr or the error text. text is
// upper-cased in place.
const char* ParseDatabase(char* text, int32_t length, MasterTable& table);
// Writes table to path in the file's own form. false when it cannot be
// written (the old file then stays as it was).
bool WriteDatabase(const char* path, const MasterTable& table);
// Reads and parses the file at path, then resolves the addresses. Gives
// nullptr, "File Not Found", "Memory Allocation Error" or the parser's text.
const char* ReadDatabase(const char* path, MasterTable& table);
// The addresses of every record from its host (literal or name cache); a
// host that does not resolve stands in for its address.
void ResolveMasterAddresses(MasterTable& table);
// What merging one incoming record into the table came to (or would come
// to, in the trial with apply false).
enum class RecordMerge { kUnchanged, kChanged, kConflict };
// Merges one incoming record into table.
[[nodiscard]] RecordMerge MergeMasterRecord(const MasterRecord& incoming, MasterTable& table, bool apply);

// What merging a whole database text into the master table came to.
enum class DatabaseMerge { kUnchanged, kChanged, kConflict, kParseError };
// Parses text into a table of its own and merges its records, each in a
// trial and then for real, stopping at a conflict. *error gets the parser's
// text on a parse error.
DatabaseMerge MergeDatabaseText(char* text, int32_t length, const char** error);

// At initialisation: the defaults, then "tgcl.db"; the table is written
// back when the file was missing, unreadable or corrupted.
void LoadServerDatabase(HostInterface* host);
// Saves the master table to "tgcl.db".
bool SaveServerDatabase();
// The once-per-run import of database records, while connected.
void ImportServerDatabaseOnce(HostInterface* host);

// The host names of the built-in masters (reserved, never resolving names:
// real masters come from a master's database or "tgcl.db").
const char kMasterHostFixed[] = "master.tallyguard.invalid";
const char kMasterHostPattern[] = "master%d.tallyguard.invalid";

}  // namespace master
