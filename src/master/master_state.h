// State of the master-server subsystem: the transport's timers, the master
// exchanges, the update transfer the game server streams, and the agent.
#pragma once

#include <cstdint>
#include <cstdlib>

// The master query falls due every 30 minutes.
const uint32_t kMasterQueryPeriodMs = 1800000;

// The largest package the module accepts (a hostile size must not make it
// reserve unbounded memory).
const int32_t kMaxUpdateSize = 16 * 1024 * 1024;

struct TransportState {
  uint32_t cache_request = 0;  // the 30000 ms cache-request duty last ran
};

struct ExchangeState {
  uint32_t last_query_time = 0;  // tick of the last master exchange
};

struct UpdateTransfer {
  uint8_t* buffer = nullptr;  // set while a transfer is in progress
  int32_t size = 0;
  char digest[33] = "";  // the package's digest as 32 hex digits
  char name[256] = "";   // "htm\<file>" inside the home directory
  int32_t last_chunk = -1;
  uint32_t last_chunk_time = 0;  // the announcement or the latest data

  UpdateTransfer() = default;
  ~UpdateTransfer() { free(buffer); }
  UpdateTransfer(const UpdateTransfer&) = delete;
  UpdateTransfer& operator=(const UpdateTransfer&) = delete;
};

struct AgentState {
  int32_t version = 0;  // 0 while no agent is loaded
};

struct MasterState {
  TransportState transport;
  ExchangeState exchange;
  UpdateTransfer update;
  AgentState agent;
};

// The state inside the one module-wide state object (defined in
// core/client_state.cpp); reached through a constant pointer, so the
// accessor costs no call.
extern MasterState* const g_master_state;
inline MasterState& Master() { return *g_master_state; }

inline int32_t AgentVersion() { return Master().agent.version; }
