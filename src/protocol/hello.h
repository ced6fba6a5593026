// The server hello ('C' payload) and the start of the scrambled link. What
// else a hello sets going (modules, screenshots, the masters' schedule) the
// frame router asks of those parts.
#pragma once

#include <cstdint>

#include "channel/framing.h"
#include "tallyguard/host_interface.h"

namespace protocol {

struct HelloReading {
  bool keys_changed = false;         // any of the key parameters A to D differs from before
  bool new_key = false;              // key A differs from the last one taken (TakeNewHelloKey)
  uint32_t screenshot_sequence = 1;  // the low 24 bits of key D, never 0
};

// Reads the hello's words (kind and server version, the server's client and
// agent versions, the key parameters A to D and the GUID the server assigns)
// into the connection and the host record, runs TG_AUTOEXEC at the first
// hello, and warns of a server older than this client or agent_version.
[[nodiscard]] HelloReading ReadServerHello(HostInterface* host, uint8_t* argument, int32_t agent_version);
// The last hello asked for this client version and the given agent
// version: the link can start (StartLink); otherwise the modules are
// reconciled.
[[nodiscard]] bool HelloVersionsMatch(int32_t agent_version);
// Takes the new key A: shows the server's versions (at most every two
// minutes) and voids the channel key.
void TakeNewHelloKey(HostInterface* host, uint32_t now);
// The next hello counts as a new key (its versions did not match).
void ForgetHelloKey();
// Derives the channel key; gives the link's acknowledgement, sent at once.
[[nodiscard]] Reply StartLink(HostInterface* host);

}  // namespace protocol
