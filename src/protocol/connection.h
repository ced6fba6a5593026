// The connection to one game server.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

namespace protocol {

// 1 when address differs from the server address last reported by the host.
int ServerAddressChanged(const char* address);
// Starts a new connection with the address the host now reports: stores it,
// takes the out-of-band address and port from it and clears what belonged
// to the old one (its rules among them; its screenshots and duties are the
// connection watch's to clear). Gives 1 when the address names a game
// server (it is not empty and not TG_NO_SERVER_ADDRESS).
int ResetConnection(const char* address);

}  // namespace protocol
