#include "protocol/connection.h"

#include <cstring>

#include "protocol/protocol_state.h"
#include "protocol/rules.h"
#include "util/text.h"

namespace protocol {

int ServerAddressChanged(const char* address) { return strcmp(address, Protocol().connection.server_address) != 0; }

int ResetConnection(const char* address) {
  ConnectionState& connection = Protocol().connection;
  CopyBounded(connection.server_address, address, sizeof connection.server_address - 1);
  const char* colon = strchr(connection.server_address, ':');
  if (colon != nullptr) {
    int n = static_cast<int>(colon - connection.server_address);
    CopyBounded(connection.oob_address, connection.server_address, n < 32 ? n : 32);
    connection.oob_port = static_cast<uint16_t>(ReadDigits(colon + 1));
  } else {
    connection.oob_address[0] = '\0';
    connection.oob_port = 0;
  }
  connection.frames_received = 0;
  connection.scrambled_link = 0;
  connection.guid_notice_printed = 0;
  connection.last_version_notice = 0;
  connection.cvar_request_flag = 0;
  const bool no_server = SameLetters(connection.server_address, TG_NO_SERVER_ADDRESS);
  if (no_server) connection.hello_seen = 0;
  connection.connected = connection.server_address[0] != '\0' && !no_server;
  ClearRules();
  return connection.connected;
}

}  // namespace protocol
