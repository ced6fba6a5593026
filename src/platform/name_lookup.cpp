// The start-up name lookup: the rules common to both systems (dotted
// addresses, the reserved domain, the stand-in for tests) ahead of the
// system's asynchronous lookup.
#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/system_lookup.h"

namespace {

const PlatformResolver* g_resolver = nullptr;
// A lookup was started and its result not yet taken.
bool g_pending = false;

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

void PlatformSetResolver(const PlatformResolver* resolver) {
  PlatformLookupCancel();
  g_resolver = resolver;
}

int PlatformLookupStart(const char* name, char* address) {
  PlatformLookupCancel();
  address[0] = '\0';
  if (name == nullptr || name[0] == '\0' || !PlatformStartSockets()) return kLookupFailed;
  if (inet_addr(name) != INADDR_NONE || strcmp(name, "255.255.255.255") == 0) {
    snprintf(address, 16, "%.15s", name);
    return kLookupAnswered;
  }
  if (g_resolver != nullptr) {
    g_pending = g_resolver->start(name) != 0;
  } else {
    g_pending = !ReservedInvalidName(name) && SystemLookupStart(name);
  }
  return g_pending ? kLookupPending : kLookupFailed;
}

int PlatformLookupPoll(char* address) {
  address[0] = '\0';
  if (!g_pending) return kLookupFailed;
  const int result = g_resolver != nullptr ? g_resolver->poll(address) : SystemLookupPoll(address);
  if (result == kLookupPending) return kLookupPending;
  g_pending = false;
  if (result != kLookupAnswered) address[0] = '\0';
  return result == kLookupAnswered ? kLookupAnswered : kLookupFailed;
}

void PlatformLookupCancel() {
  if (!g_pending) return;
  g_pending = false;
  if (g_resolver != nullptr) {
    g_resolver->cancel();
  } else {
    SystemLookupCancel();
  }
}
