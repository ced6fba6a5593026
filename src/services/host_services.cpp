#include "services/host_services.h"

#include <cstdlib>
#include <cstring>

#include "services/services_state.h"
#include "util/text.h"

void RememberHost(HostInterface* host) { Services().host = host; }

HostInterface* RememberedHost() { return Services().host; }

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

int ReadHostText(HostInterface* host, const char* name, char* value) {
  return QueryHostCvar(host, name, value) == 0 && value[0] != '\0';
}

void CallHostKeyword(HostInterface* host, const char* service, const char* argument) {
  if (host != nullptr && host->host_keyword != nullptr) host->host_keyword(service, argument);
}

void KeepSecondTable(const void* table) { Services().second_table = table; }

TgGameCommand GameCommand() {
  const uint8_t* table = static_cast<const uint8_t*>(Services().second_table);
  if (table == nullptr) return nullptr;
  TgGameCommand operation;
  memcpy(&operation, table + TG_SECOND_TABLE_GAME_COMMAND, sizeof operation);
  return operation;
}

void FormatBindingSearch(char* buffer, int start, const char* text) {
  FormatText(buffer, TG_QUERY_BUFFER_SIZE, "%d %s", start, text);
}

void FormatBindingIndex(char* buffer, int key) { FormatText(buffer, TG_QUERY_BUFFER_SIZE, "%d", key); }

int ReadBindingIndex(const char* buffer) {
  const long value = strtol(buffer, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int>(value);
}

void CopyHostName(char* out, intptr_t address) {
  CopyBounded(out, reinterpret_cast<const char*>(address), TG_QUERY_BUFFER_SIZE - 1);
}
