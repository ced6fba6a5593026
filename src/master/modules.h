// The agent module "tgag.dll" and the hand-over to a newer client.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// Loads the agent when no version is known and makes its start-up call.
void StartAgent(HostInterface* host);
// Asks the loaded agent module for its version.
void QueryAgentVersion(HostInterface* host);
// Brings the agent and client modules in line with what the server runs.
void ReconcileModules(HostInterface* host, uint32_t now);
// An agent module delivered by the game server ('N' payloads).
void HandleAgentDelivery(HostInterface* host, const uint8_t* argument, int32_t length);
