// The module's own UDP socket, the master name lookup and its cache.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// Start-up of the transport: query token, master slot, name cache and the
// single start-up name lookup (skipped in LAN mode).
void StartMasterTransport(HostInterface* host);
// Opens, binds or closes the socket as TG_NETPORT says and hands waiting
// datagrams to ReceiveFrame.
void ServiceSocket(HostInterface* host);
// The cache-request duty of the main work: every 30000 ms, unless TG_LAN is
// 1, the start-up cache request goes to a master.
void RunCacheRequestDuty(HostInterface* host, uint32_t now);
