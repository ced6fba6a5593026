// The turns that the cycle and the protocol give to the service's integrity
// and cheat checks. The checks themselves are not part of this module yet:
// each turn is an empty place kept at its position.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

namespace integrity {

// Start-up: system interfaces whose names are built at run time.
void ResolveSystemInterfaces();
// Makes room for the agent's data (1024 entries) at initialisation.
void ReserveAgentData();
// 1 while no agent data has been taken over.
int AgentDataEmpty();
// Takes an agent's data over (agents of version 1285 or later).
void TakeOverAgentData(HostInterface* host);

// The connection watch's duty while connected and within 10 ms of the tick.
void RunConnectionDuty(HostInterface* host, uint32_t now);
// A new game-server address: the 120000 ms duty counts from now while
// connected and is idle otherwise.
void StartLongDuty(int connected, uint32_t now);
// Makes the 67000 ms exchange duty due at the next cycle.
void MakeExchangeDutyDue(uint32_t now);
// After the once-per-run database import.
void CheckAfterImport(HostInterface* host);
// The timed duties and scans of the main work.
void RunTimedDuties(HostInterface* host, uint32_t now);

// Requests (0x09 payloads), configuration records ('S') and 'B' request
// subtypes that belong to the checks.
void HandleIntegrityRequest(HostInterface* host, const uint8_t* argument, int32_t length);
void HandleIntegrityRecords(HostInterface* host, const uint8_t* argument, int32_t length);
void HandleIntegrityQuery(HostInterface* host, uint8_t subtype, const uint8_t* argument, int32_t length);
// The 'B' request subtypes that HandleIntegrityQuery answers.
[[nodiscard]] bool IsIntegrityQuery(uint8_t subtype);

// cb code 121: 1 when the checks are off or have passed, else 0.
int IntegrityStatus();

}  // namespace integrity
