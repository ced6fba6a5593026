// The system's side of the start-up lookup on Linux: glibc's getaddrinfo_a,
// which looks the name up on threads of the C library's own and is polled
// with gai_error.
#include <netdb.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/system_lookup.h"

namespace {

// Everything the C library reads and writes while it looks a name up; it
// must outlive the lookup, so it lives on the heap.
struct Request {
  gaicb block;
  addrinfo hints;
  char name[256];
};

Request* g_running = nullptr;
// A request given up while the C library was still at it: freed once the
// library is done with it.
Request* g_abandoned = nullptr;

void Free(Request* request) {
  if (request->block.ar_result != nullptr) freeaddrinfo(request->block.ar_result);
  free(request);
}

void FreeAbandonedWhenDone() {
  if (g_abandoned != nullptr && gai_error(&g_abandoned->block) != EAI_INPROGRESS) {
    Free(g_abandoned);
    g_abandoned = nullptr;
  }
}

}  // namespace

bool SystemLookupStart(const char* name) {
  SystemLookupCancel();
  FreeAbandonedWhenDone();
  if (strlen(name) >= sizeof Request::name) return false;
  Request* request = static_cast<Request*>(calloc(1, sizeof(Request)));
  if (request == nullptr) return false;
  memcpy(request->name, name, strlen(name) + 1);
  request->hints.ai_family = AF_INET;
  request->hints.ai_socktype = SOCK_DGRAM;
  request->block.ar_name = request->name;
  request->block.ar_request = &request->hints;
  gaicb* list[1] = {&request->block};
  if (getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr) != 0) {
    free(request);
    return false;
  }
  g_running = request;
  return true;
}

int SystemLookupPoll(char* address) {
  if (g_running == nullptr) return kLookupFailed;
  const int status = gai_error(&g_running->block);
  if (status == EAI_INPROGRESS) return kLookupPending;
  int result = kLookupFailed;
  for (const addrinfo* entry = g_running->block.ar_result; status == 0 && entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr);
    snprintf(address, 16, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    result = kLookupAnswered;
    break;
  }
  Free(g_running);
  g_running = nullptr;
  return result;
}

void SystemLookupCancel() {
  if (g_running == nullptr) return;
  Request* request = g_running;
  g_running = nullptr;
  if (gai_cancel(&request->block) != EAI_NOTCANCELED) {
    Free(request);
    return;
  }
  // The library still works on it: it is freed once the library is done
  // (one such request is followed; a further one is left to the library).
  FreeAbandonedWhenDone();
  if (g_abandoned == nullptr) g_abandoned = request;
}
