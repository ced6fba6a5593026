#include "protocol/connection.h"

#include <cstring>

#include "core/client_state.h"
#include "util/text.h"

void ResetConnection(const char* address, uint32_t now) {
  (void)now;
  ConnectionState& connection = Client().connection;
  CopyBounded(connection.server_address, address, sizeof connection.server_address - 1);
  const char* colon = strchr(connection.server_address, ':');
  if (colon != nullptr) {
    int n = static_cast<int>(colon - connection.server_address);
    if (n > 32) n = 32;
    CopyBounded(connection.oob_address, connection.server_address, n);
    connection.oob_port = static_cast<uint16_t>(ReadDigits(colon + 1));
  } else {
    connection.oob_address[0] = '\0';
    connection.oob_port = 0;
  }
  connection.frames_received = 0;
}

int32_t ReceiveFrame(HostInterface* host, int32_t length, const uint8_t* data) {
  (void)host;
  (void)length;
  (void)data;
  // Frames wait in the event queue while the module is not enabled. The
  // frame kinds themselves are not read yet: an accepted frame is dropped.
  return Client().enabled ? 1 : 0;
}
