// Console-variable rules sent by the game server.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// Checks the next rule of the list, one per cycle.
void CheckNextRule(HostInterface* host, uint32_t now);
