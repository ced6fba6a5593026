// The channel key, the client ident, the player's GUID, the traffic counters
// and the deferred-send queue for everything the module says to the game
// server (frame layouts: wire_format.h).
#pragma once

#include <cstdint>

#include "channel/wire_constants.h"
#include "tallyguard/host_interface.h"

// Draws the client ident: (rand() << 16) | rand(), never 0.
void DrawClientIdent();
// The player's GUID text from the host (at most 32 characters kept).
void SetPlayerGuid(const char* guid);

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

// What a handler wants sent in answer to the payload it handled: at most
// one payload, at once or after a delay. The handler returns it and the
// router hands it to the channel (SendReply), so that whatever a payload
// makes the module say passes one place.
struct Reply {
  enum class When : uint8_t { kNever, kNow, kAfterDelay };
  When when = When::kNever;
  uint32_t delay_ms = 0;
  int32_t length = 0;
  uint8_t payload[wire::kMaxPayload];

  // No answer.
  static Reply None() { return Reply(); }
  // Bytes (cut to kMaxPayload), sent at once or held for delay_ms.
  static Reply Now(const void* bytes, int32_t length);
  static Reply After(uint32_t delay_ms, const void* bytes, int32_t length);
  // A text payload with its NUL.
  static Reply NowText(const char* text);
  static Reply AfterText(uint32_t delay_ms, const char* text);
};
// Sends or queues the reply (nothing for Reply::None()).
void SendReply(HostInterface* host, const Reply& reply, uint32_t now);

// Makes room for 64 queued payloads (initialisation); later growth doubles.
void ReserveOutboundQueue();

// The path for what a part says of its own accord, or in several payloads,
// or later than the handler's call (screenshot pieces, reports to the
// server, update requests): SendPayload and QueuePayload. Answers to a
// payload go as a Reply instead.
//
// Frames the payload and hands it to the host at once. Dropped while the
// server has not spoken on this connection; cut to 1100 bytes.
void SendPayload(HostInterface* host, const void* payload, int32_t length, uint32_t now);
// The most payloads waiting at once; a payload queued beyond them is dropped
// (replies leave within a cycle or two, so only a flood fills the queue).
const int kMaxOutboundSlots = 256;

// Holds the payload until delay_ms after now; FlushQueue then sends it.
void QueuePayload(const void* payload, int32_t length, uint32_t delay_ms, uint32_t now);
// Sends every due slot in slot order and frees it. Called once per cycle.
void FlushQueue(HostInterface* host, uint32_t now);

// Counts a packet from the game server (or a master) of length bytes.
void CountReceived(int32_t length, uint32_t now);
// Counts a datagram of length bytes sent to a master.
void CountSent(int32_t length, uint32_t now);
// The time of the first traffic either way; false before any.
bool FirstTrafficTime(uint32_t* time);
// The bytes received and sent since the last call; both counters restart.
void TakeTrafficCounters(uint32_t* received, uint32_t* sent);
// The frames-sent count of the current cycle, which the event walk starts
// at 0 and stops on once it passes 4.
void StartCycleFrameCount();
int32_t FramesSentThisCycle();

// The player's GUID text (empty until the host gives it).
const char* PlayerGuid();
// The host's address names a game server (set by the connection watch).
int32_t ServerConnected();
// The module versions the game server's hello asked for (0 before one).
int32_t ServerClientVersion();
int32_t ServerAgentVersion();
// The ident of the module's plain frames.
uint32_t ClientIdent();
// The key buffer exists (a hello has been answered since the start).
bool ChannelKeyBufferReady();
