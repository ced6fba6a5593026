// Exchanges with the master servers: the periodic query and file transfers.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

void ProcessMasterTransfers(HostInterface* host, uint32_t now);
void QueryMasterWhenDue(HostInterface* host, uint32_t now);

// A master-server datagram (kinds '1' and 'C').
void HandleMasterDatagram(HostInterface* host, const uint8_t* data, int32_t length);
