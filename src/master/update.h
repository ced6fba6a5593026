// Update packages that the game server announces and streams.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// The largest package the module accepts (a hostile size must not make it
// reserve unbounded memory).
const int32_t kMaxUpdateSize = 16 * 1024 * 1024;

struct UpdateTransfer {
  uint8_t* buffer = nullptr;  // set while a transfer is in progress
  int32_t size = 0;
  char digest[33] = "";       // the package's digest as 32 hex digits
  char name[256] = "";        // "htm\<file>" inside the home directory
  int32_t last_chunk = -1;
  uint32_t last_chunk_time = 0;  // the announcement or the latest data

  UpdateTransfer() = default;
  ~UpdateTransfer();
  UpdateTransfer(const UpdateTransfer&) = delete;
  UpdateTransfer& operator=(const UpdateTransfer&) = delete;
};

// Frees the buffer of a transfer in progress and forgets its name.
void DropUpdateTransfer();
// Update data ('H' payloads).
void HandleUpdateData(HostInterface* host, const uint8_t* argument, int32_t length);
