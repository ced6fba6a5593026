// The agent module "tgag.dll" and the hand-over to a newer client: versions
// brought in line with what the game server runs, installed from update
// packages and, with tg_Security, only when the master table knows them.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

namespace master {

// The agent's entry "a": (record, code, 0, text). Code 77 gives its
// version, code 1 is the periodic call (its result is kept as the version),
// other codes are the server's requests and give an error text or nothing.
typedef intptr_t(TG_CALL* TgAgentEntry)(HostInterface* host, int32_t code, int32_t zero, const char* text);

// The platform letter of this build in file names ("dll\\wa001300.dll") and
// version reports; upper case it selects the master table's lists.
#ifdef _WIN32
const char kPlatformLetter = 'w';
#else
const char kPlatformLetter = 'l';
#endif

// With tg_Security (and LAN mode off), a file may be stored under a name the
// module loads modules from ("tgag.dll", "tgclnew.dll", an unpacked version
// in "dll\\") only when the master table lists its bytes for that kind and
// version; every other name, and any file without tg_Security, may be.
bool ModuleFileMayBeStored(const char* name, const uint8_t* bytes, int32_t size);

// Loads the agent when no version is known and makes its start-up call.
void StartAgent(HostInterface* host);
// Asks the loaded agent module (loading it first) for its version.
void QueryAgentVersion(HostInterface* host);
// The agent's version as it last answered; 0 or less before it has.
int32_t AgentVersion();
// Brings the agent and client modules in line with what the server runs.
void ReconcileModules(HostInterface* host, uint32_t now);
// A server request for the agent ('N' payloads): "<code> [text]".
void HandleAgentDelivery(HostInterface* host, const uint8_t* argument, int32_t length, uint32_t now);

// What bringing in a module version came to.
enum class ModuleOutcome {
  kReady,     // loaded, or made ready for the next start
  kNotReady,  // installing or loading failed; its package may still come
  kRefused,   // not to be had: no valid version, or tg_Security wants it listed and no master lists it
};
// Agent version n, installed from its unpacked file or its package.
[[nodiscard]] ModuleOutcome LoadAgentVersion(HostInterface* host, int32_t n, bool retry);
// Client version n made ready as "tgclnew.dll".
[[nodiscard]] ModuleOutcome PrepareClientVersion(HostInterface* host, int32_t n, bool retry);
// Reports trouble to the game server (from the fifth time on) and asks
// every master for news; at most every 30000 ms.
void Distress(HostInterface* host, const char* text, uint32_t now);

}  // namespace master
