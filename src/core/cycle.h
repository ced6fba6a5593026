// Initialisation and the periodic cycle.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// Runs the one-time initialisation until it has succeeded once. 1 on success
// or while the module stays disabled (cl_tallyguard not "1"); 0 on failure,
// with the reason kept for the caller's message.
int Initialise(HostInterface* host);

// Writes the message prefix and, when enabled, loads the server database and
// runs "tgcl.cfg" and "tgsys.cfg".
void StartupLoads(HostInterface* host);

// The body of ca for a budget of 0 or more: the connection watch, then at
// most one cycle every tg_Sleep ms, alternating main work and the event
// walk. Gives 0, or TG_ERROR_INIT.
intptr_t RunCycle(HostInterface* host, int32_t budget_ms);

// The body of ca for a negative budget: handles the latest queued event.
void HandleOneEvent(HostInterface* host);

// The main work of one cycle.
void MainWork(HostInterface* host);
