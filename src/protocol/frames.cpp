#include "protocol/frames.h"

#include <cstring>

#include "channel/framing.h"
#include "channel/wire_bytes.h"
#include "channel/wire_format.h"
#include "protocol/protocol_state.h"
#include "services/host_services.h"
#include "util/text.h"

namespace protocol {

namespace {

// Relays may carry relays; deeper nesting than this is not unwrapped, so a
// hostile frame cannot exhaust the stack.
const int kMaxRelayDepth = 4;

const OpenedFrame kRefused = {FrameVerdict::kRefused, nullptr, 0, false};
const OpenedFrame kIgnored = {FrameVerdict::kIgnored, nullptr, 0, false};

}  // namespace

Reply IdentAnnouncement() {
  uint8_t payload[1 + 4 + 33];
  wire::ByteWriter out(payload, sizeof payload);
  out.U8('J');
  out.U32LE(ClientIdent());
  out.Text(PlayerGuid());
  out.U8(0);
  return Reply::Now(payload, out.Length());
}

void StartFrame() { Protocol().connection.relay_depth = 0; }

OpenedFrame OpenScrambledFrame(HostInterface* host, int32_t length, uint8_t* data) {
  ConnectionState& connection = Protocol().connection;
  ++connection.frames_received;
  if (!ChannelKeyBufferReady()) {
    uint8_t* buffer = EnsureKeyBuffer();
    if (buffer == nullptr) return kRefused;
    DeriveChannelKey(buffer, host->key_a, host->key_b, host->key_c, host->key_d);
  }
  const int32_t n = wire::OpenScrambledFrame(data, length, ChannelKey());
  if (n < 0) return kRefused;
  const bool link_started = !connection.scrambled_link;
  connection.scrambled_link = 1;
  return {FrameVerdict::kPayload, data + wire::kScrambledHeader, n, link_started};
}

OpenedFrame OpenPlainFrame(int32_t length, uint8_t* data) {
  ++Protocol().connection.frames_received;
  uint32_t ident = 0;
  if (!wire::ReadPlainIdent(data, length, &ident)) return kIgnored;  // too short to name anyone
  if (ident == ClientIdent())
    return {FrameVerdict::kPayload, data + wire::kPlainHeader, length - wire::kPlainHeader, false};
  return {FrameVerdict::kForeignIdent, nullptr, 0, false};
}

OpenedRelay OpenRelay(HostInterface* host, uint8_t* argument, int32_t length) {
  ConnectionState& connection = Protocol().connection;
  ++connection.frames_received;
  OpenedRelay relay = {false, wire::kRelayNoGuid, nullptr, 0};
  if (connection.server_version < wire::kFirstRelayServerVersion) return relay;
  relay.answered = true;
  const int32_t guid_length = static_cast<int32_t>(strlen(connection.assigned_guid));
  if (guid_length == 0) return relay;
  wire::ScrambleRelay(argument, length, host->key_c, connection.assigned_guid);
  relay.result = wire::kRelayWrongGuid;
  if (length >= guid_length && SameLettersN(reinterpret_cast<char*>(argument), connection.assigned_guid, guid_length) &&
      connection.relay_depth < kMaxRelayDepth) {
    ++connection.relay_depth;
    relay = {true, wire::kRelayDone, argument + guid_length, length - guid_length};
  }
  return relay;
}

Reply EndRelay(const OpenedRelay& relay) {
  if (!relay.answered) return Reply::None();
  ConnectionState& connection = Protocol().connection;
  if (relay.payload != nullptr) --connection.relay_depth;
  connection.last_relay_result = relay.result;
  char reply[32];
  FormatText(reply, sizeof reply, "%c%ld", 'T', static_cast<long>(relay.result));
  const uint32_t delay = relay.result == wire::kRelayNoGuid ? 1 : relay.result == wire::kRelayWrongGuid ? 2 : 3;
  return Reply::AfterText(delay, reply);
}

void HandleDropRequest(HostInterface* host, const char* text) {
  char expected[16], keyword[16];
  if (strcmp(text, wire::Unmask(wire::Text::kDropText, expected, sizeof expected)) != 0) return;
  CallHostKeyword(host, wire::Unmask(wire::Text::kDropKeyword, keyword, sizeof keyword), text);
}

}  // namespace protocol
