// Exchanges with the master servers: the periodic query, database text and
// the files masters send in blocks.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

namespace master {

// Once per socket service: tells how many "Unknown data" messages were left
// out in the last second.
void ReportUnknownMasterData(uint32_t now);

// Once per cycle while connected: transfers that are complete are checked,
// unpacked and installed; stalled ones are dropped.
void ProcessMasterTransfers(HostInterface* host, uint32_t now);
// Once per socket service: tells how many "Unknown data" messages were left
// out in the last second.
void ReportUnknownMasterData(uint32_t now);

// Once per cycle while connected: every 30 minutes the next master in turn
// is asked.
void QueryMasterWhenDue(HostInterface* host, uint32_t now);

// A master datagram of length bytes from its "TG_" header on (kinds '1'
// and 'C').
void HandleMasterDatagram(HostInterface* host, const uint8_t* data, int32_t length, uint32_t now);

}  // namespace master
