// The channel key, the client ident and the deferred-send queue for
// everything the module says to the game server (frame layouts: wire_format.h).
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"
#include "util/grow_array.h"

struct OutboundSlot {
  uint32_t enqueue_time;
  uint32_t delay_ms;
  int32_t length;  // 0 marks a free slot
  uint8_t payload[1100];
};
static_assert(sizeof(OutboundSlot) == 1112, "outbound slot layout");

struct FramingState {
  uint32_t client_ident = 0;
  uint8_t* key_buffer = nullptr;  // 1000 random bytes once created
  int32_t key_offset = 0;         // 33 to 932: where the channel key starts
  GrowArray outbound{static_cast<int>(sizeof(OutboundSlot)), "OutboundQueue"};
  uint32_t bytes_sent = 0;
  uint32_t bytes_received = 0;
  int32_t frames_this_cycle = 0;  // the event walk stops once this passes 4
  int first_frame_sent = 0;
  uint32_t first_frame_time = 0;

  FramingState() = default;
  ~FramingState();
  FramingState(const FramingState&) = delete;
  FramingState& operator=(const FramingState&) = delete;
};

// Draws the client ident: (rand() << 16) | rand(), never 0.
void DrawClientIdent();

// Creates the key buffer on first need: 1000 bytes of rand() and a key
// offset of rand() % 900 + 33. Gives the buffer, or none when it cannot be
// allocated.
uint8_t* EnsureKeyBuffer();

// Writes the channel key derived from A to D at the key offset of buffer and
// gives its address. Without a buffer gives a fixed 10-character text.
const char* DeriveChannelKey(uint8_t* buffer, int32_t a, int32_t b, int32_t c, int32_t d);

// The current channel key, or an empty text when there is none.
const char* ChannelKey();
// Voids the channel key (a new key parameter arrived).
void ClearChannelKey();

// Frames the payload and hands it to the host at once. Dropped while the
// server has not spoken on this connection; cut to 1100 bytes.
void SendPayload(HostInterface* host, const void* payload, int32_t length);
// Holds the payload until delay_ms have passed; FlushQueue then sends it.
void QueuePayload(const void* payload, int32_t length, uint32_t delay_ms);
// Sends every due slot in slot order and frees it. Called once per cycle.
void FlushQueue(HostInterface* host, uint32_t now);

// Installed in the host record: appends " *<GUID>" to the host's connection
// request for kind 2.
const char* TG_CALL AnnotateConnect(int32_t ignored, int32_t kind, char* buffer, int32_t* length);
