#include "protocol/receive.h"

#include <cstdlib>
#include <cstring>

#include "console/console.h"
#include "core/client_state.h"
#include "core/integrity.h"
#include "master/exchange.h"
#include "master/modules.h"
#include "master/update.h"
#include "platform/platform.h"
#include "protocol/framing.h"
#include "protocol/requests.h"
#include "protocol/rules.h"
#include "protocol/wire_format.h"
#include "screenshot/delivery.h"
#include "util/arg_list.h"
#include "util/elapsed.h"
#include "util/text.h"

namespace {

// Relays may carry relays; deeper nesting than this is not unwrapped, so a
// hostile frame cannot exhaust the stack.
const int kMaxRelayDepth = 4;

// Sends the client ident with the player's GUID, framed plain.
void AnnounceIdent(HostInterface* host) {
  ClientState& state = Client();
  uint8_t payload[1 + 4 + sizeof state.guid];
  payload[0] = 'J';
  for (int i = 0; i < 4; ++i) payload[1 + i] = static_cast<uint8_t>(state.framing.client_ident >> (8 * i));
  const size_t guid_length = strnlen(state.guid, sizeof state.guid - 1);
  memcpy(payload + 5, state.guid, guid_length);
  payload[5 + guid_length] = '\0';
  SendPayload(host, payload, static_cast<int32_t>(6 + guid_length));
}

int32_t ReceiveScrambled(HostInterface* host, int32_t length, uint8_t* data, uint32_t now) {
  ClientState& state = Client();
  ++state.connection.frames_received;
  if (state.framing.key_buffer == nullptr) {
    uint8_t* buffer = EnsureKeyBuffer();
    if (buffer == nullptr) return 0;
    DeriveChannelKey(buffer, host->key_a, host->key_b, host->key_c, host->key_d);
  }
  if (length < wire::kScrambledHeader) return 0;
  const int32_t n = data[8] << 8 | data[9];
  if (length != n + wire::kScrambledHeader) return 0;
  const uint32_t expected = static_cast<uint32_t>(data[4]) << 24 | static_cast<uint32_t>(data[5]) << 16 |
                            static_cast<uint32_t>(data[6]) << 8 | data[7];
  // Decode in place while summing; a frame that fails its check is scrambled
  // back, so that it is retried as it came.
  const char* key = ChannelKey();
  const int32_t key_length = static_cast<int32_t>(strlen(key));
  uint8_t* payload = data + wire::kScrambledHeader;
  uint32_t check = wire::kCheckStart;
  for (int32_t i = 0, k = 0; i < n; ++i) {
    if (key_length > 0) {
      payload[i] ^= static_cast<uint8_t>(key[k]);
      if (++k == key_length) k = 0;
    }
    check += static_cast<uint32_t>(static_cast<int8_t>(payload[i]) + 17) * wire::kCheckFactor + static_cast<uint32_t>(i);
  }
  if (check != expected) {
    wire::XorWithKey(payload, n, key);
    return 0;
  }

  if (!state.connection.scrambled_link) {
    if (ElapsedMs(now, state.timers.cache_request) < 31000) state.timers.cache_request = now - 31000u;
    state.connection.scrambled_link = 1;
  }
  return DispatchPayload(host, n, payload);
}

int32_t ReceivePlain(HostInterface* host, int32_t length, uint8_t* data) {
  ClientState& state = Client();
  ++state.connection.frames_received;
  if (length < wire::kPlainHeader) return 1;  // too short to name anyone: ignored
  const uint32_t ident = data[4] | static_cast<uint32_t>(data[5]) << 8 | static_cast<uint32_t>(data[6]) << 16 |
                         static_cast<uint32_t>(data[7]) << 24;
  if (ident == state.framing.client_ident) return DispatchPayload(host, length - wire::kPlainHeader, data + 8);
  AnnounceIdent(host);
  return 0;
}

void HandleRelay(HostInterface* host, uint8_t* argument, int32_t length) {
  ConnectionState& connection = Client().connection;
  ++connection.frames_received;
  if (connection.server_version < wire::kFirstRelayServerVersion) return;
  int32_t result = wire::kRelayNoGuid;
  const int32_t guid_length = static_cast<int32_t>(strlen(connection.assigned_guid));
  if (guid_length > 0) {
    wire::ScrambleRelay(argument, length, host->key_c, connection.assigned_guid);
    result = wire::kRelayWrongGuid;
    if (length >= guid_length && SameLettersN(reinterpret_cast<char*>(argument), connection.assigned_guid, guid_length) &&
        connection.relay_depth < kMaxRelayDepth) {
      ++connection.relay_depth;
      DispatchPayload(host, length - guid_length, argument + guid_length);
      --connection.relay_depth;
      result = wire::kRelayDone;
    }
  }
  connection.last_relay_result = result;
  char format[8], reply[32];
  FormatText(reply, sizeof reply, wire::Unmask(wire::Text::kRelayReply, format, sizeof format),
             static_cast<long>(result));
  const uint32_t delay = result == wire::kRelayNoGuid ? 1 : result == wire::kRelayWrongGuid ? 2 : 3;
  QueuePayload(reply, static_cast<int32_t>(strlen(reply)) + 1, delay);
}

void HandleDropRequest(HostInterface* host, const char* text) {
  char expected[16], keyword[16];
  if (strcmp(text, wire::Unmask(wire::Text::kDropText, expected, sizeof expected)) != 0) return;
  if (host->host_keyword != nullptr) host->host_keyword(wire::Unmask(wire::Text::kDropKeyword, keyword, sizeof keyword), text);
}

// A file name from the server must name a file inside "htm\", nothing else.
bool IsPlainFileName(const char* name) {
  if (name[0] == '\0' || strstr(name, "..") != nullptr) return false;
  for (const char* p = name; *p != '\0'; ++p)
    if (*p == '\\' || *p == '/' || *p == ':') return false;
  return true;
}

void HandleTransferAnnouncement(char* argument, uint32_t now) {
  UpdateTransfer& transfer = Client().update;
  DropUpdateTransfer();
  ArgList words(argument, 1, 0);
  if (words.Length(1) != 32 || words.Length(2) == 0) return;
  const int32_t size = ReadDigits(words.Word(0));
  if (size <= 0 || size > kMaxUpdateSize) return;
  char file[256];
  CopyBounded(file, words.Word(2), 255);
  if (!IsPlainFileName(file)) return;
  CopyBounded(transfer.digest, words.Word(1), 32);
  FormatText(transfer.name, sizeof transfer.name, "htm\\%s", file);
  const size_t name_length = strlen(transfer.name);
  if (name_length < 3 || !SameLetters(transfer.name + name_length - 3, "htm")) {
    transfer.name[0] = '\0';
    return;
  }
  transfer.buffer = static_cast<uint8_t*>(malloc(static_cast<size_t>(size)));
  if (transfer.buffer == nullptr) {
    transfer.name[0] = '\0';
    return;
  }
  transfer.size = size;
  transfer.last_chunk = -1;
  transfer.last_chunk_time = now;
}

void HandleRestart(const uint8_t* argument, int32_t length) {
  if (length < 3 || memcmp(argument, "PNG", 3) != 0) {
    const unsigned b0 = length > 0 ? argument[0] : 0, b1 = length > 1 ? argument[1] : 0;
    const unsigned b2 = length > 2 ? argument[2] : 0;
    ConsolePrint(0, "Invalid Restart Packet: %x %x %x", b0, b1, b2);
    return;
  }
  if (length < 4) return;  // no tag letter
  const char tag = static_cast<char>(argument[3]);
  for (ScreenshotSlot& slot : Client().screenshots.slots) {
    if (slot.tag != tag || slot.sequence == 0) continue;
    ++slot.restart_count;
    if (slot.restart_count < 20)
      slot.next_piece = (length > 4 && argument[4] == '-') ? 0 : ReadDigits(reinterpret_cast<const char*>(argument) + 4);
  }
}

}  // namespace

int32_t ReceiveFrame(HostInterface* host, int32_t length, uint8_t* data) {
  ClientState& state = Client();
  if (!state.enabled) return 0;
  state.connection.relay_depth = 0;  // a frame always starts outside any relay
  const uint32_t now = PlatformTick();
  if (!state.framing.first_frame_sent) {
    state.framing.first_frame_sent = 1;
    state.framing.first_frame_time = now;
  }
  if (length > 0) state.framing.bytes_received += static_cast<uint32_t>(length);
  if (data == nullptr || length < 4) return 1;
  switch (data[3]) {
    case '1':
    case 'C':
      HandleMasterDatagram(host, data, length);
      return 1;
    case 'E':
      return ReceiveScrambled(host, length, data, now);
    case 'P':
      return ReceivePlain(host, length, data);
    default:
      return 1;
  }
}

int32_t DispatchPayload(HostInterface* host, int32_t length, uint8_t* payload) {
  if (payload == nullptr || length < 1) return 1;
  uint8_t* argument = payload + 1;
  char* text = reinterpret_cast<char*>(argument);
  const int32_t rest = length - 1;
  const uint32_t now = PlatformTick();
  switch (payload[0]) {
    case 0x01:
    case 'I':
      HandleScreenshotPacket(host, payload[0], argument, rest);
      break;
    case 0x03:
      HandleRelay(host, argument, rest);
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
      if (rest >= 1) HandleServerRequest(host, argument[0], argument + 1, rest - 1);
      break;
    case 'C':
      HandleServerHello(host, argument, now);
      break;
    case 'G':
      HandleTransferAnnouncement(text, now);
      break;
    case 'H':
      HandleUpdateData(host, argument, rest);
      break;
    case 'K':
      HandleRuleText(host, text);
      break;
    case 'N':
      HandleAgentDelivery(host, argument, rest);
      break;
    case 'O':
      HandleRestart(argument, rest);
      break;
    case 'S':
      HandleIntegrityRecords(host, argument, rest);
      break;
    default:
      break;
  }
  return 1;
}
