// The turns that the cycle gives to the service's integrity and cheat checks.
// The checks themselves are not part of this module yet: each turn is an
// empty place kept at its position in the cycle.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

struct IntegrityState {
  // The two flags behind cb code 121: it answers 1 when the first is clear or
  // the second is set.
  int check_flag = 0;
  int pass_flag = 0;
  uint32_t last_exchange_duty = 0;  // the 67000 ms duty
  uint32_t last_long_duty = 0;      // the 120000 ms duty
};

// Start-up: system interfaces whose names are built at run time.
void ResolveSystemInterfaces();
// The connection watch's duty while connected and within 10 ms of the tick.
void RunConnectionDuty(HostInterface* host, uint32_t now);
// After the once-per-run database import.
void CheckAfterImport(HostInterface* host);
// The timed duties and scans of the main work.
void RunTimedDuties(HostInterface* host, uint32_t now);
// Requests (0x09 payloads), configuration records ('S') and 'B' request
// subtypes that belong to the checks.
void HandleIntegrityRequest(HostInterface* host, const uint8_t* argument, int32_t length);
void HandleIntegrityRecords(HostInterface* host, const uint8_t* argument, int32_t length);
void HandleIntegrityQuery(HostInterface* host, uint8_t subtype, const uint8_t* argument, int32_t length);
