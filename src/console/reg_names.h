// The player's registered names.
#pragma once

#include "tallyguard/host_interface.h"

// Loads the names again from the names file (on each new game server).
void ReloadRegisteredNames(HostInterface* host);
// Sends the registered-name list ('R' payload) to the game server.
void SendRegisteredNames(HostInterface* host);
