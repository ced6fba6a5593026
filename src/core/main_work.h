// The main work of one cycle: each subsystem's turn, in order.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// Runs every duty of the main work with the cycle's tick. While no game
// server is connected only the first steps run; after 40 ms the later
// duties wait for the next main work.
void MainWork(HostInterface* host, uint32_t now);
