#include "core/host_query.h"

#include <cstdlib>

#include "util/text.h"

intptr_t QueryHost(HostInterface* host, int32_t code, char* buffer) {
  if (host == nullptr || host->host_query == nullptr) {
    buffer[0] = '\0';
    return 1;
  }
  const intptr_t result = host->host_query(code, buffer);
  buffer[TG_QUERY_BUFFER_SIZE - 1] = '\0';
  return result;
}

intptr_t QueryHostCvar(HostInterface* host, const char* name, char* value) {
  CopyBounded(value, name, TG_QUERY_BUFFER_SIZE - 1);
  const intptr_t result = QueryHost(host, TG_QUERY_CVAR, value);
  if (result != 0) value[0] = '\0';
  return result;
}

void FormatBindingSearch(char* buffer, int start, const char* text) {
  FormatText(buffer, TG_QUERY_BUFFER_SIZE, "%d %s", start, text);
}

void FormatBindingIndex(char* buffer, int key) { FormatText(buffer, TG_QUERY_BUFFER_SIZE, "%d", key); }

int ReadBindingIndex(const char* buffer) { return atoi(buffer); }
