// The state of the connection to one game server.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

struct ConnectionState {
  char server_address[256] = "";  // as the host last reported it
  char oob_address[33] = "";      // the address before the first ":"
  uint16_t oob_port = 0;          // the number after it
  int32_t frames_received = 0;    // 0: the server has not spoken, nothing is sent
  int scrambled_link = 0;         // a scrambled frame has checked out
  int hello_seen = 0;
  int32_t server_kind = 0;
  int32_t server_version = 0;         // 1092 = 1.092
  int32_t server_client_version = 0;  // the client version the server runs
  int32_t server_agent_version = 0;
  int32_t last_key_a = 0;             // 0 makes the next hello count as a key change
  uint32_t screenshot_sequence = 0;   // 0: no server screenshot is queued
  char assigned_guid[33] = "";        // from the hello; "?" when it gave none
  int guid_notice_printed = 0;
  uint32_t last_version_notice = 0;   // 0: none on this connection
  int32_t last_relay_result = 0;
  int cvar_request_flag = 0;          // the server asks values with request B
  int relay_depth = 0;                // relays being unwrapped right now
};

// Starts a new connection with the address the host now reports.
void ResetConnection(const char* address, uint32_t now);

// Prints a warning from the server behind the prefix "*WARNING*" and, with
// on_screen 1, shows it through the host's game-command operation too.
void ShowWarning(HostInterface* host, const char* text, int on_screen);

// The host's game-command operation, or none when the host offers none.
TgGameCommand GameCommand();
