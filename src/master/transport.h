// The module's own UDP socket and the way master datagrams leave: through
// that socket when TG_NETPORT is set, else through the game. Also the
// start-up of the transport and the cache request.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

namespace master {

// Start-up of the transport: query token, master slot, name cache and the
// single start-up name lookup (skipped in LAN mode).
void StartMasterTransport(HostInterface* host, uint32_t now);
// The token masters mask their answers with.
// Takes the start-up lookup's answer once it has come (or gives the lookup
// up after 30 s) and tells the player; once a cycle.
void PollStartupLookup(uint32_t now);

const char* QueryToken();

// Opens the own socket on TG_NETPORT when none is open: created, then bound;
// a bind that fails is reported and TG_NETPORT goes back to 0 (the socket
// stays until the next cycle closes it). false when no socket could be
// created or the bind failed.
bool OpenOwnSocket();
// Closes the own socket when TG_NETPORT is 0 (or always, with force).
void CloseOwnSocket(bool force);
// The own socket, or -1 when none is open.
intptr_t OwnSocket();

// Sends text with its NUL to address:port: through the own socket when
// TG_NETPORT is set, else through the game's out-of-band send. Counted in
// the traffic figures either way.
void SendMasterText(HostInterface* host, const char* address, uint16_t port, const char* text, uint32_t now);
// The same, always through the game.
void SendMasterTextThroughHost(HostInterface* host, const char* address, uint16_t port, const char* text, uint32_t now);

// Where the latest master datagram came from, as the receive path knows it.
void NoteMasterSender(const char* address, uint16_t port);
const char* MasterSenderAddress();
uint16_t MasterSenderPort();

// The buffer master datagrams are built and received in (2049 bytes).
uint8_t* DatagramBuffer();
const int kDatagramBufferBytes = 2049;

// The cache-request duty of the main work: every 30000 ms, unless TG_LAN is
// 1, while the name cache is empty, the start-up lookup gave an address and
// fewer than 4 were sent, a query goes to that address for the cache.
void RunCacheRequestDuty(HostInterface* host, uint32_t now);

}  // namespace master
