// The host's services as the module calls them: the remembered record, the
// query service and its enumerations, the keyword service and the
// game-command operation of the host's second table. Every call checks that
// the service exists, so a host that leaves a slot empty only loses what
// that service would have given.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"
#include "util/text.h"

// The host drives its enumerations (queries 106 to 111, 118) to their end in
// one call; a host that never ends one is cut off after this many steps, so
// that the frame is not stalled.
const int kMaxHostEnumeration = 4096;

// The record that codes above 16 and console output use.
void RememberHost(HostInterface* host);
HostInterface* RememberedHost();

// Calls query code with buffer (TG_QUERY_BUFFER_SIZE bytes), which is always
// terminated afterwards. Without a query service the buffer is emptied and
// the result is 1 (failure).
intptr_t QueryHost(HostInterface* host, int32_t code, char* buffer);

// The value of a host console variable (query 103) into value
// (TG_QUERY_BUFFER_SIZE bytes). Gives the query's result: non-zero means
// failure, and value is then empty.
intptr_t QueryHostCvar(HostInterface* host, const char* name, char* value);

// 1 when the host variable has a non-empty value (written to value).
int ReadHostText(HostInterface* host, const char* name, char* value);

// The keyword service, when the host offers one.
void CallHostKeyword(HostInterface* host, const char* service, const char* argument);

// Keeps the host's second table (already checked) or forgets it (none).
void KeepSecondTable(const void* table);
// The game-command operation of the second table, or none when the host
// offers no valid table.
TgGameCommand GameCommand();

// The texts of the binding queries: "%d %s" (start index, text) and "%d".
void FormatBindingSearch(char* buffer, int start, const char* text);
void FormatBindingIndex(char* buffer, int key);
// The index the host wrote, read as the C library's atoi does (it may be
// negative), clamped to 32 bits.
int ReadBindingIndex(const char* buffer);

// Walks the key bindings whose command contains text: query 106 finds the
// next one from an index, 108 gives its key name and 107 its command. Calls
// visit(key name, command) for each and gives the number found; one whose
// name or command the host does not give still counts, and ends the walk.
template <typename Visit>
int WalkBindings(HostInterface* host, const char* text, Visit visit) {
  char buffer[TG_QUERY_BUFFER_SIZE];
  int count = 0;
  FormatBindingSearch(buffer, 0, text);
  if (QueryHost(host, TG_QUERY_BIND_FIND, buffer) != 0) return 0;
  for (int guard = 0; guard < kMaxHostEnumeration; ++guard) {
    const int key = ReadBindingIndex(buffer);
    if (key < 0) break;
    ++count;
    char name[TG_QUERY_BUFFER_SIZE], command[TG_QUERY_BUFFER_SIZE];
    FormatBindingIndex(name, key);
    if (QueryHost(host, TG_QUERY_KEY_NAME, name) != 0) break;
    FormatBindingIndex(command, key);
    if (QueryHost(host, TG_QUERY_BIND_TEXT, command) != 0) break;
    visit(name, command);
    if (key == INT32_MAX) break;  // no index follows the last one
    FormatBindingSearch(buffer, key + 1, text);
    if (QueryHost(host, TG_QUERY_BIND_FIND, buffer) != 0) break;
  }
  return count;
}

// Copies a name the host handed back by address (queries 110 and 111),
// bounded to TG_QUERY_BUFFER_SIZE - 1 characters.
void CopyHostName(char* out, intptr_t address);

// Walks query 110 (user-created cvars) or 111 (changed cvars) to its end.
// Each step gives a name by address and fills the buffer (the flags, or the
// value); visit(name, buffer) sees both, the name copied and bounded.
template <typename Visit>
void WalkHostCvars(HostInterface* host, int32_t code, Visit visit) {
  for (int guard = 0; guard < kMaxHostEnumeration; ++guard) {
    char buffer[TG_QUERY_BUFFER_SIZE] = "";
    const intptr_t address = QueryHost(host, code, buffer);
    if (address == 0) break;
    char name[TG_QUERY_BUFFER_SIZE];
    CopyHostName(name, address);
    visit(static_cast<const char*>(name), static_cast<const char*>(buffer));
  }
}

// Walks query 109: each call gives the next cvar whose name contains pattern
// (the host keeps the position), until it fails or gives an empty name.
template <typename Visit>
void WalkCvarSearch(HostInterface* host, const char* pattern, Visit visit) {
  char buffer[TG_QUERY_BUFFER_SIZE];
  for (int guard = 0; guard < kMaxHostEnumeration; ++guard) {
    CopyBounded(buffer, pattern, sizeof buffer - 1);
    if (QueryHost(host, TG_QUERY_CVAR_SEARCH, buffer) != 0 || buffer[0] == '\0') break;
    visit(static_cast<const char*>(buffer));
  }
}
