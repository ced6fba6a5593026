#include "channel/framing.h"

#include <cstdlib>
#include <cstring>

#include "channel/channel_state.h"
#include "channel/wire_format.h"
#include "util/elapsed.h"
#include "util/memory.h"
#include "util/text.h"

namespace {

const int kOutboundReserve = 64;

void NoteFirstTraffic(ChannelState& framing, uint32_t now) {
  if (framing.first_frame_sent) return;
  framing.first_frame_sent = 1;
  framing.first_frame_time = now;
}

}  // namespace

void DrawClientIdent() {
  uint32_t ident = 0;
  while (ident == 0) ident = (static_cast<uint32_t>(rand()) << 16) | static_cast<uint32_t>(rand());
  Channel().client_ident = ident;
}

void SetPlayerGuid(const char* guid) {
  char* stored = Channel().player_guid;
  CopyBounded(stored, guid, sizeof Channel().player_guid - 1);
}

uint8_t* EnsureKeyBuffer() {
  ChannelState& framing = Channel();
  if (framing.key_buffer != nullptr) return framing.key_buffer;
  uint8_t* buffer = static_cast<uint8_t*>(MemoryAllocate(wire::kKeyBufferSize));
  if (buffer == nullptr) return nullptr;
  for (int i = 0; i < wire::kKeyBufferSize; ++i) buffer[i] = static_cast<uint8_t>(rand());
  framing.key_offset = rand() % 900 + 33;
  framing.key_buffer = buffer;
  return buffer;
}

const char* DeriveChannelKey(uint8_t* buffer, int32_t a, int32_t b, int32_t c, int32_t d) {
  if (buffer == nullptr) {
    static char no_key[16];
    return wire::Unmask(wire::Text::kNoKey, no_key, sizeof no_key);
  }
  char* key = reinterpret_cast<char*>(buffer) + Channel().key_offset;
  wire::DeriveKeyText(a, b, c, d, key);
  return key;
}

const char* ChannelKey() {
  const ChannelState& framing = Channel();
  if (framing.key_buffer == nullptr) return "";
  return reinterpret_cast<const char*>(framing.key_buffer) + framing.key_offset;
}

void ClearChannelKey() {
  ChannelState& framing = Channel();
  if (framing.key_buffer != nullptr) framing.key_buffer[framing.key_offset] = 0;
}

void ReserveOutboundQueue() {
  GrowArray& queue = Channel().outbound;
  queue.SetInitialCapacity(kOutboundReserve);
  queue.EnsureRoom();
}

void SendPayload(HostInterface* host, const void* payload, int32_t length, uint32_t now) {
  ChannelState& framing = Channel();
  const ChannelRoute& route = framing.route;
  if (*route.frames_received == 0 || host == nullptr || payload == nullptr || length <= 0) return;
  if (length > wire::kMaxPayload) length = wire::kMaxPayload;
  const uint8_t* bytes = static_cast<const uint8_t*>(payload);

  uint8_t frame[wire::kFrameBufferSize];
  const char* key = ChannelKey();
  const int32_t frame_length = key[0] != '\0' && bytes[0] != 'J'
                                   ? wire::BuildScrambledFrame(key, bytes, length, frame)
                                   : wire::BuildPlainFrame(framing.client_ident, bytes, length, frame);

  NoteFirstTraffic(framing, now);
  framing.bytes_sent += static_cast<uint32_t>(frame_length);
  if (*route.force_oob == 1 && route.oob_address[0] != '\0' && *route.oob_port != 0 && host->host_send_oob != nullptr) {
    host->host_send_oob(route.oob_address, *route.oob_port, frame_length, frame);
  } else if (host->host_send != nullptr) {
    host->host_send(frame_length, frame);
  }
  ++framing.frames_this_cycle;
}

Reply Reply::After(uint32_t delay_ms, const void* bytes, int32_t length) {
  Reply reply;
  if (bytes == nullptr || length <= 0) return reply;
  reply.length = length < wire::kMaxPayload ? length : wire::kMaxPayload;
  memcpy(reply.payload, bytes, static_cast<size_t>(reply.length));
  reply.when = When::kAfterDelay;
  reply.delay_ms = delay_ms;
  return reply;
}

Reply Reply::Now(const void* bytes, int32_t length) {
  Reply reply = After(0, bytes, length);
  if (reply.when != When::kNever) reply.when = When::kNow;
  return reply;
}

Reply Reply::NowText(const char* text) { return Now(text, static_cast<int32_t>(strlen(text)) + 1); }

Reply Reply::AfterText(uint32_t delay_ms, const char* text) {
  return After(delay_ms, text, static_cast<int32_t>(strlen(text)) + 1);
}

void SendReply(HostInterface* host, const Reply& reply, uint32_t now) {
  switch (reply.when) {
    case Reply::When::kNever:
      break;
    case Reply::When::kNow:
      SendPayload(host, reply.payload, reply.length, now);
      break;
    case Reply::When::kAfterDelay:
      QueuePayload(reply.payload, reply.length, reply.delay_ms, now);
      break;
  }
}

void QueuePayload(const void* payload, int32_t length, uint32_t delay_ms, uint32_t now) {
  if (payload == nullptr || length <= 0) return;
  if (length > wire::kMaxPayload) length = wire::kMaxPayload;
  GrowArray& queue = Channel().outbound;
  OutboundSlot* slot = nullptr;
  for (int i = 0; i < queue.Count() && slot == nullptr; ++i) {
    OutboundSlot* candidate = static_cast<OutboundSlot*>(queue.Element(i));
    if (candidate->length == 0) slot = candidate;
  }
  if (slot == nullptr) {
    // A full queue (or no memory for a slot) loses the payload.
    if (queue.Count() >= kMaxOutboundSlots || !queue.EnsureRoom()) return;
    OutboundSlot fresh;
    fresh.length = 0;
    slot = static_cast<OutboundSlot*>(queue.Element(queue.Append(&fresh) - 1));
  }
  slot->enqueue_time = now;
  slot->delay_ms = delay_ms;
  slot->length = length;
  memcpy(slot->payload, payload, static_cast<size_t>(length));
}

void FlushQueue(HostInterface* host, uint32_t now) {
  GrowArray& queue = Channel().outbound;
  for (int i = 0; i < queue.Count(); ++i) {
    OutboundSlot* slot = static_cast<OutboundSlot*>(queue.Element(i));
    if (slot->length == 0) continue;
    if (ElapsedMs(now, slot->enqueue_time) < static_cast<int32_t>(slot->delay_ms)) continue;
    SendPayload(host, slot->payload, slot->length, now);
    slot->length = 0;
  }
}

void CountReceived(int32_t length, uint32_t now) {
  ChannelState& framing = Channel();
  NoteFirstTraffic(framing, now);
  if (length > 0) framing.bytes_received += static_cast<uint32_t>(length);
}

void CountSent(int32_t length, uint32_t now) {
  ChannelState& framing = Channel();
  NoteFirstTraffic(framing, now);
  if (length > 0) framing.bytes_sent += static_cast<uint32_t>(length);
  ++framing.datagrams_sent;
}

bool FirstTrafficTime(uint32_t* time) {
  const ChannelState& framing = Channel();
  if (!framing.first_frame_sent) return false;
  *time = framing.first_frame_time;
  return true;
}

void TakeTrafficCounters(uint32_t* received, uint32_t* sent) {
  ChannelState& framing = Channel();
  *received = framing.bytes_received;
  *sent = framing.bytes_sent;
  framing.bytes_received = 0;
  framing.bytes_sent = 0;
}

void StartCycleFrameCount() { Channel().frames_this_cycle = 0; }

int32_t FramesSentThisCycle() { return Channel().frames_this_cycle; }

int32_t ServerConnected() { return *Channel().route.connected; }
int32_t ServerClientVersion() { return *Channel().route.server_client_version; }
int32_t ServerAgentVersion() { return *Channel().route.server_agent_version; }

const char* PlayerGuid() { return Channel().player_guid; }

uint32_t ClientIdent() { return Channel().client_ident; }

bool ChannelKeyBufferReady() { return Channel().key_buffer != nullptr; }
