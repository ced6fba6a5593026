// Asking the host through its query service.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// The host drives its enumerations (queries 106 to 111, 118) to their end in
// one call; a host that never ends one is cut off after this many steps, so
// that the frame is not stalled.
const int kMaxHostEnumeration = 4096;

// Calls query code with buffer (TG_QUERY_BUFFER_SIZE bytes), which is always
// terminated afterwards. Without a query service the buffer is emptied and
// the result is 1 (failure).
intptr_t QueryHost(HostInterface* host, int32_t code, char* buffer);

// The value of a host console variable (query 103) into value. Gives the
// query's result: non-zero means failure, and value is then empty.
intptr_t QueryHostCvar(HostInterface* host, const char* name, char* value);

// The texts of the binding queries: "%d %s" (start index, text) and "%d".
void FormatBindingSearch(char* buffer, int start, const char* text);
void FormatBindingIndex(char* buffer, int key);
// The index the host wrote (C-library atoi: it may be negative).
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
    FormatBindingSearch(buffer, key + 1, text);
    if (QueryHost(host, TG_QUERY_BIND_FIND, buffer) != 0) break;
  }
  return count;
}
