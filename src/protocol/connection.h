// The state of the connection to one game server, and the entry for frames
// that arrive from it.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

struct ConnectionState {
  char server_address[256] = "";  // as the host reported it
  int32_t frames_received = 0;    // 0: the server has not spoken, nothing is sent
  char oob_address[33] = "";      // the address before the first ":"
  uint16_t oob_port = 0;          // the number after it
};

// Starts a new connection with the address the host now reports: stores it,
// takes the out-of-band address and port from it and clears the
// per-connection state.
void ResetConnection(const char* address, uint32_t now);

// Checks and acts on one frame from the game server (or a master datagram).
// Gives 0 when the frame is refused for now and should be offered again.
int32_t ReceiveFrame(HostInterface* host, int32_t length, const uint8_t* data);
