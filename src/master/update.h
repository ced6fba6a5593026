// Update packages that the game server announces ('G') and streams ('H').
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// A transfer announcement: "<size> <digest> <file>". Drops any transfer in
// progress, then starts one when the digest has 32 characters, the size is
// 1 to kMaxUpdateSize and the file is a plain name ending in "htm" (it is
// kept inside "htm\").
void AnnounceUpdate(char* argument, uint32_t now);
// Update data ('H' payloads).
void HandleUpdateData(HostInterface* host, const uint8_t* argument, int32_t length);
// 1 while a transfer is in progress and the server spoke of it less than
// 20000 ms ago; a transfer silent for longer is dropped (and gives 0).
int UpdateTransferActive(uint32_t now);
// Frees the buffer of a transfer in progress and forgets its name.
void DropUpdateTransfer();
