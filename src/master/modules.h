// The agent module "tgag.dll" and the hand-over to a newer client.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"
#include "util/grow_array.h"

struct AgentState {
  int32_t version = 0;  // 0 while no agent is loaded
  // Data the agent hands over: entries of 124 bytes.
  GrowArray data{124, "AgentData"};
};

// Loads the agent when no version is known and makes its start-up call.
void StartAgent(HostInterface* host);
// Takes the agent's data over once an agent of version 1285 or later runs.
void TakeOverAgentData(HostInterface* host);

// Asks the loaded agent module for its version.
void QueryAgentVersion(HostInterface* host);
// Brings the agent and client modules in line with what the server runs.
void ReconcileModules(HostInterface* host, uint32_t now);
// An agent module delivered by the game server ('N' payloads).
void HandleAgentDelivery(HostInterface* host, const uint8_t* argument, int32_t length);
