// The own socket's turn in every cycle: opened or closed as TG_NETPORT says,
// and drained into the receive path.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// Datagrams taken from the socket in one cycle at most; the rest wait for
// the next cycle, so that a flood cannot hold the game's frame.
const int kMaxDatagramsPerCycle = 256;

// Closes the socket when TG_NETPORT is 0, opens it when it is set, and hands
// each waiting datagram (without a leading 0xFF 0xFF 0xFF 0xFF) to
// ReceiveFrame.
void ServiceSocket(HostInterface* host, uint32_t now);
