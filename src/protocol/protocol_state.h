// State of the game-server protocol: the connection to the current game
// server and its cvar rules.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "util/grow_array.h"
#include "util/memory.h"

struct ConnectionState {
  char server_address[256] = "";  // as the host last reported it
  int32_t connected = 0;          // the address names a game server
  char oob_address[33] = "";      // the address before the first ":"
  uint16_t oob_port = 0;          // the number after it
  int32_t frames_received = 0;    // 0: the server has not spoken, nothing is sent
  int scrambled_link = 0;         // a scrambled frame has checked out
  int hello_seen = 0;
  int32_t server_kind = 0;
  int32_t server_version = 0;         // 1092 = 1.092
  int32_t server_client_version = 0;  // the client version the server runs
  int32_t server_agent_version = 0;
  int32_t last_key_a = 0;       // 0 makes the next hello count as a key change
  char assigned_guid[33] = "";  // from the hello; "?" when it gave none
  int guid_notice_printed = 0;
  uint32_t last_version_notice = 0;  // 0: none on this connection
  int32_t last_relay_result = 0;
  int cvar_request_flag = 0;  // the server asks values with request B
  int relay_depth = 0;        // relays being unwrapped right now
};

enum RuleKind : uint8_t { kRuleIn = 1, kRuleOut = 2, kRuleInclude = 21, kRuleExclude = 22 };

struct CvarRule {
  char name[64];
  uint8_t kind;
  char text[64];
  double low;
  double high;           // low <= high
  uint32_t last_report;  // 0: never reported
};

// The most rules a connection keeps: real servers send a few dozen. Further
// rule lines count as received but are not kept.
const int kMaxCvarRules = 512;

struct RuleState {
  GrowArray rules{static_cast<int>(sizeof(CvarRule)), "CvarRules"};
  // Negative: the list is complete. 0 or more: still receiving, counting the
  // lines received so far.
  int32_t list_state = 0;
  uint32_t last_rule_line = 0;  // 0: none yet
  uint32_t last_progress = 0;
  int32_t next_index = 0;
  int overflow_reported = 0;  // the full list has been reported for this list
};

struct ProtocolState {
  ConnectionState connection;
  RuleState rules;
};

// The state inside the one module-wide state object (defined in
// core/client_state.cpp); reached through a constant pointer, so the
// accessor costs no call.
extern ProtocolState* const g_protocol_state;
inline ProtocolState& Protocol() { return *g_protocol_state; }
