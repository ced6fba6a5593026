// The one name lookup of a start, the same on both systems: Winsock and
// BSD sockets share gethostbyname and inet_addr.
#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#endif

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

int (*g_name_lookup)(const char* name, char* address) = nullptr;

// True for names in the reserved ".invalid" domain, which never resolve.
bool ReservedInvalidName(const char* name) {
  const char suffix[] = ".invalid";
  const size_t n = sizeof suffix - 1;
  const size_t length = strlen(name);
  if (length < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = name[length - n + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

}  // namespace

void PlatformSetNameLookup(int (*lookup)(const char* name, char* address)) { g_name_lookup = lookup; }

int PlatformLookupName(const char* name, char* address) {
  address[0] = '\0';
  if (name == nullptr || name[0] == '\0' || !PlatformStartSockets()) return 0;
  if (inet_addr(name) != INADDR_NONE || strcmp(name, "255.255.255.255") == 0) {
    snprintf(address, 16, "%.15s", name);
    return 1;
  }
  if (g_name_lookup != nullptr) return g_name_lookup(name, address);
  if (ReservedInvalidName(name)) return 0;
  const hostent* answer = gethostbyname(name);
  if (answer == nullptr || answer->h_addrtype != AF_INET || answer->h_addr_list == nullptr ||
      answer->h_addr_list[0] == nullptr)
    return 0;
  const unsigned char* b = reinterpret_cast<const unsigned char*>(answer->h_addr_list[0]);
  snprintf(address, 16, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return 1;
}
