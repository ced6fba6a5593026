#include "master/update.h"

#include <cstdlib>

#include "core/client_state.h"

UpdateTransfer::~UpdateTransfer() { free(buffer); }

void DropUpdateTransfer() {
  UpdateTransfer& transfer = Client().update;
  free(transfer.buffer);
  transfer.buffer = nullptr;
  transfer.size = 0;
  transfer.name[0] = '\0';
}

// Packages are not installed yet: their data is not collected.
void HandleUpdateData(HostInterface*, const uint8_t*, int32_t) {}
