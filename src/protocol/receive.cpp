#include "protocol/receive.h"

#include <cstring>

#include "channel/framing.h"
#include "channel/wire_bytes.h"
#include "channel/wire_format.h"
#include "integrity/integrity.h"
#include "master/exchange.h"
#include "master/modules.h"
#include "master/schedule.h"
#include "master/update.h"
#include "output/console.h"
#include "protocol/hello.h"
#include "protocol/protocol_state.h"
#include "protocol/requests.h"
#include "protocol/rules.h"
#include "screenshot/delivery.h"
#include "services/host_services.h"
#include "settings/player_settings.h"
#include "util/text.h"

namespace {

// Relays may carry relays; deeper nesting than this is not unwrapped, so a
// hostile frame cannot exhaust the stack.
const int kMaxRelayDepth = 4;

// Sends the client ident with the player's GUID, framed plain.
void AnnounceIdent(HostInterface* host, uint32_t now) {
  uint8_t payload[1 + 4 + 33];
  wire::ByteWriter out(payload, sizeof payload);
  out.U8('J');
  out.U32LE(ClientIdent());
  out.Text(PlayerGuid());
  out.U8(0);
  SendPayload(host, payload, out.Length(), now);
}

int32_t ReceiveScrambled(HostInterface* host, int32_t length, uint8_t* data, uint32_t now) {
  ConnectionState& connection = Protocol().connection;
  ++connection.frames_received;
  if (!ChannelKeyBufferReady()) {
    uint8_t* buffer = EnsureKeyBuffer();
    if (buffer == nullptr) return 0;
    DeriveChannelKey(buffer, host->key_a, host->key_b, host->key_c, host->key_d);
  }
  const int32_t n = wire::OpenScrambledFrame(data, length, ChannelKey());
  if (n < 0) return 0;
  if (!connection.scrambled_link) {
    PullCacheRequestForward(now);
    connection.scrambled_link = 1;
  }
  return DispatchPayload(host, n, data + wire::kScrambledHeader, now);
}

int32_t ReceivePlain(HostInterface* host, int32_t length, uint8_t* data, uint32_t now) {
  ++Protocol().connection.frames_received;
  uint32_t ident = 0;
  if (!wire::ReadPlainIdent(data, length, &ident)) return 1;  // too short to name anyone: ignored
  if (ident == ClientIdent()) return DispatchPayload(host, length - wire::kPlainHeader, data + wire::kPlainHeader, now);
  AnnounceIdent(host, now);
  return 0;
}

void HandleRelay(HostInterface* host, uint8_t* argument, int32_t length, uint32_t now) {
  ConnectionState& connection = Protocol().connection;
  ++connection.frames_received;
  if (connection.server_version < wire::kFirstRelayServerVersion) return;
  int32_t result = wire::kRelayNoGuid;
  const int32_t guid_length = static_cast<int32_t>(strlen(connection.assigned_guid));
  if (guid_length > 0) {
    wire::ScrambleRelay(argument, length, host->key_c, connection.assigned_guid);
    result = wire::kRelayWrongGuid;
    if (length >= guid_length &&
        SameLettersN(reinterpret_cast<char*>(argument), connection.assigned_guid, guid_length) &&
        connection.relay_depth < kMaxRelayDepth) {
      ++connection.relay_depth;
      DispatchPayload(host, length - guid_length, argument + guid_length, now);
      --connection.relay_depth;
      result = wire::kRelayDone;
    }
  }
  connection.last_relay_result = result;
  char reply[32];
  FormatText(reply, sizeof reply, "%c%ld", 'T', static_cast<long>(result));
  const uint32_t delay = result == wire::kRelayNoGuid ? 1 : result == wire::kRelayWrongGuid ? 2 : 3;
  QueuePayload(reply, static_cast<int32_t>(strlen(reply)) + 1, delay, now);
}

void HandleDropRequest(HostInterface* host, const char* text) {
  char expected[16], keyword[16];
  if (strcmp(text, wire::Unmask(wire::Text::kDropText, expected, sizeof expected)) != 0) return;
  CallHostKeyword(host, wire::Unmask(wire::Text::kDropKeyword, keyword, sizeof keyword), text);
}

}  // namespace

namespace {

// The kinds master servers send: database text and file transfers.
bool IsMasterKind(uint8_t kind) { return kind == '1' || kind == 'C'; }

}  // namespace

int32_t ReceiveFrame(HostInterface* host, int32_t length, uint8_t* data, uint32_t now) {
  if (!ModuleEnabled()) return 0;
  Protocol().connection.relay_depth = 0;  // a frame always starts outside any relay
  CountReceived(length, now);
  if (data == nullptr || length < 4) return 1;
  if (IsMasterKind(data[3])) {
    HandleMasterDatagram(host, data, length, now);
    return 1;
  }
  switch (data[3]) {
    case 'E':
      return ReceiveScrambled(host, length, data, now);
    case 'P':
      return ReceivePlain(host, length, data, now);
    default:
      return 1;
  }
}

void ReceiveSocketDatagram(HostInterface* host, int32_t length, const uint8_t* data, uint32_t now) {
  if (!ModuleEnabled()) return;
  CountReceived(length, now);
  if (data != nullptr && length >= 4 && IsMasterKind(data[3])) HandleMasterDatagram(host, data, length, now);
}

int32_t DispatchPayload(HostInterface* host, int32_t length, uint8_t* payload, uint32_t now) {
  if (payload == nullptr || length < 1) return 1;
  uint8_t* argument = payload + 1;
  char* text = reinterpret_cast<char*>(argument);
  const int32_t rest = length - 1;
  switch (payload[0]) {
    case 0x01:
    case 'I':
      HandleScreenshotPacket(host, payload[0], argument, rest, now);
      break;
    case 0x03:
      HandleRelay(host, argument, rest, now);
      break;
    case 0x08:
      HandleDropRequest(host, text);
      break;
    case 0x09:
      HandleIntegrityRequest(host, argument, rest);
      break;
    case 'A':
      ConsolePrint(1, "%s", text);
      break;
    case 'B':
      if (rest >= 1) HandleServerRequest(host, argument[0], argument + 1, rest - 1, now);
      break;
    case 'C':
      HandleServerHello(host, argument, now);
      break;
    case 'G':
      AnnounceUpdate(text, now);
      break;
    case 'H':
      HandleUpdateData(host, argument, rest, now);
      break;
    case 'K':
      HandleRuleText(host, text, now);
      break;
    case 'N':
      HandleAgentDelivery(host, argument, rest, now);
      break;
    case 'O':
      HandleScreenshotRestart(argument, rest);
      break;
    case 'S':
      HandleIntegrityRecords(host, argument, rest);
      break;
    default:
      break;
  }
  return 1;
}
