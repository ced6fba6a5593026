// The reference agent module: entry "a" answers the version probe (77) and
// the periodic call (1) with TG_AGENT_VERSION, refuses request 5 with a
// text, and takes every other request quietly. It also answers "cb" code 17
// with the same number, so tests can use it as a newer client module too.
#include <cstdint>
#include <cstdio>

// The agent defines a "cb" of its own: the module's prototypes stay out.
#define TG_NO_EXPORT_PROTOTYPES
#include "tallyguard/host_interface.h"

#ifdef _WIN32
#define TG_AGENT_EXPORT extern "C" __declspec(dllexport)
#else
#define TG_AGENT_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

char g_refusal[128];

}  // namespace

TG_AGENT_EXPORT intptr_t TG_CALL a(HostInterface*, int32_t code, int32_t, const char* text) {
  if (code == 77 || code == 1) return TG_AGENT_VERSION;
  if (code == 5) {
    snprintf(g_refusal, sizeof g_refusal, "agent %d refuses: %s", TG_AGENT_VERSION, text != nullptr ? text : "");
    return reinterpret_cast<intptr_t>(g_refusal);
  }
  return 0;
}

TG_AGENT_EXPORT intptr_t TG_CALL cb(HostInterface*, int32_t code, int32_t, const void*, int32_t) {
  return code == 17 ? TG_AGENT_VERSION : 0;
}
