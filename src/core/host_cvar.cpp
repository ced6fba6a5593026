#include "core/host_cvar.h"

#include "util/text.h"

intptr_t QueryHostCvar(HostInterface* host, const char* name, char* value) {
  CopyBounded(value, name, TG_QUERY_BUFFER_SIZE - 1);
  intptr_t result = host->host_query(TG_QUERY_CVAR, value);
  value[TG_QUERY_BUFFER_SIZE - 1] = '\0';
  if (result != 0) value[0] = '\0';
  return result;
}
