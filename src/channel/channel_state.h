// State of the channel to the game server: the client ident, the player's
// GUID, the channel key, the outbound queue and the traffic counters, and
// where frames go (the route, whose facts belong to the connection and the
// settings: core points the channel at them when it lays out the state).
#pragma once

#include <cstdint>
#include <cstdlib>

#include "util/grow_array.h"
#include "util/memory.h"

// Where and whether frames go. The channel reads these facts and never
// writes them; until core points it at the real ones, they read as nothing
// heard and no out-of-band address.
struct ChannelRoute {
  const int32_t* frames_received = &kNone;  // 0: the server has not spoken, nothing is sent
  const char* oob_address = "";             // the game server's address before the ":"
  const uint16_t* oob_port = &kNoPort;
  const int32_t* force_oob = &kOff;  // 1: frames go out of band when an address is known
  // The link's facts that every part may read: the host's address names a
  // game server, and the module versions that server's hello asked for.
  const int32_t* connected = &kOff;
  const int32_t* server_client_version = &kNone;
  const int32_t* server_agent_version = &kNone;

  static constexpr int32_t kNone = 0;
  static constexpr uint16_t kNoPort = 0;
  static constexpr int32_t kOff = 0;
};

struct OutboundSlot {
  uint32_t enqueue_time;
  uint32_t delay_ms;
  int32_t length;  // 0 marks a free slot
  uint8_t payload[1100];
};
static_assert(sizeof(OutboundSlot) == 1112, "outbound slot layout");

struct ChannelState {
  uint32_t client_ident = 0;
  char player_guid[33] = "";      // the player's GUID text, from the host
  uint8_t* key_buffer = nullptr;  // 1000 random bytes once created
  int32_t key_offset = 0;         // 33 to 932: where the channel key starts
  GrowArray outbound{static_cast<int>(sizeof(OutboundSlot)), "OutboundQueue"};
  uint32_t bytes_sent = 0;
  uint32_t bytes_received = 0;
  uint32_t datagrams_sent = 0;    // master datagrams sent, either way
  int32_t frames_this_cycle = 0;  // the event walk stops once this passes 4
  int first_frame_sent = 0;       // some traffic has passed (either way)
  uint32_t first_frame_time = 0;

  ChannelRoute route;

  ChannelState() = default;
  ~ChannelState() { MemoryFree(key_buffer); }
  ChannelState(const ChannelState&) = delete;
  ChannelState& operator=(const ChannelState&) = delete;
};

// The channel's part of the one state object (core/client_state.cpp).
extern ChannelState* const g_channel_state;
inline ChannelState& Channel() { return *g_channel_state; }
