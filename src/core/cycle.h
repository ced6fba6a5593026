// The periodic cycle that ca runs.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// The body of ca for a budget of 0 or more: reads the tick once, initialises
// when needed, runs the connection watch, then at most one cycle every
// tg_Sleep ms, alternating main work and the event walk (budget: ms for the
// walk, 0 = no limit). Gives 0, or TG_ERROR_INIT.
intptr_t RunCycle(HostInterface* host, int32_t budget_ms);

// The body of ca for a negative budget: handles the latest queued event.
void HandleOneEvent(HostInterface* host);

// The next ca call runs a full cycle at once (a console line arrived).
void RunNextCycleAtOnce();

// 1 once the module has halted: cb then answers 0 to everything.
int ModuleHalted();
