#include "protocol/requests.h"

#include <cstdlib>
#include <cstring>

#include "channel/framing.h"
#include "channel/wire_bytes.h"
#include "output/console.h"
#include "protocol/protocol_state.h"
#include "services/host_services.h"
#include "settings/player_settings.h"
#include "util/arg_list.h"
#include "util/text.h"

namespace {

const int kBindingListSize = 1024;
// Room kept free in the binding list for its summary.
const size_t kBindingSummaryRoom = 40;
const int kCvarListSize = 1025;
const int kCvarListRoom = 990;

void QueueText(const char* text, uint32_t delay_ms, uint32_t now) {
  QueuePayload(text, static_cast<int32_t>(strlen(text)) + 1, delay_ms, now);
}

void SendText(HostInterface* host, const char* text, uint32_t now) {
  SendPayload(host, text, static_cast<int32_t>(strlen(text)) + 1, now);
}

void ListBindings(HostInterface* host, const char* search, uint32_t now) {
  char text[kBindingListSize] = "X";
  const int count = WalkBindings(host, search, [&text](const char* name, const char* command) {
    if (strlen(text) + strlen(name) + strlen(command) + kBindingSummaryRoom < sizeof text)
      AppendText(text, sizeof text, "[%s = %s] ", name, command);
  });
  char summary[64];
  FormatText(summary, sizeof summary, "[%d key binding match%s found]", count, count == 1 ? "" : "es");
  if (strlen(text) + strlen(summary) < sizeof text) AppendText(text, sizeof text, "%s", summary);
  text[0] = 'A';
  QueueText(text, 2, now);
}

void AppendName(char* text, const char* name) {
  if (strlen(text) + strlen(name) < static_cast<size_t>(kCvarListRoom))
    AppendText(text, kCvarListSize, "\"%s\" ", name);
}

void ListCvars(HostInterface* host, uint8_t subtype, const char* search, uint32_t now) {
  char text[kCvarListSize] = "X";
  int count = 0;
  if (subtype == 'F') {
    WalkCvarSearch(host, search, [&](const char* name) {
      if (IsProtectedName(name)) return;
      ++count;
      AppendName(text, name);
    });
  } else {
    WalkHostCvars(
        host, subtype == 'G' ? TG_QUERY_USER_CVAR : TG_QUERY_CHANGED_CVAR, [&](const char* name, const char* buffer) {
          if (name[0] == '\0') return;
          const bool counts = subtype == 'G' ? ((ReadDigits(buffer) & 0xFF) & 0xD1) == 0x80 : buffer[0] != '\0';
          if (!counts) return;
          ++count;
          AppendName(text, name);
        });
  }
  const char* ending = count == 1 ? "" : subtype == 'F' ? "es" : "s";
  if (subtype == 'F') {
    AppendText(text, sizeof text, "[%d cvar match%s found]", count, ending);
  } else if (subtype == 'G') {
    AppendText(text, sizeof text, "[%d user cvar%s found]", count, ending);
  } else {
    AppendText(text, sizeof text, "[%d changed cvar%s found]", count, ending);
  }
  text[0] = 'Q';
  SendText(host, text, now);
}

void SendProtocolValue(char* argument, uint32_t now) {
  ArgList words(argument, 1, 0);
  uint32_t value = static_cast<uint32_t>(ReadDigits(words.Word(0))) ^ static_cast<uint32_t>(ReadDigits(words.Word(1)));
  if (value < 30) value += 30;
  char text[32];
  FormatText(text, sizeof text, "BK%lu", static_cast<unsigned long>(value));
  QueueText(text, 1, now);
}

void SendTimingReply(uint32_t now) {
  char text[32];
  FormatText(text, sizeof text, "%c%c%d", 'T', 'q', rand() % 100 + 130600);
  QueueText(text, now % 15 + 12, now);
}

void SendResource(HostInterface* host, const char* argument, uint32_t now) {
  char wanted[256];
  CopyBounded(wanted, argument, 255);
  char reply[600];
  FormatText(reply, sizeof reply, "BU%s NOT_FOUND", wanted);
  for (int entry = 0; entry < kMaxHostEnumeration; ++entry) {
    char number[16], buffer[TG_QUERY_BUFFER_SIZE];
    FormatText(number, sizeof number, "%d", entry);
    CopyBounded(buffer, number, sizeof buffer - 1);
    QueryHost(host, TG_QUERY_RESOURCE, buffer);
    ArgList words(buffer, 1, 0);
    const char* first = words.Word(0);
    if (buffer[0] == '\0' || strcmp(first, number) == 0 || first[0] == '\\') break;
    if (SameLetters(first, wanted)) {
      char name[256], value[33];
      CopyBounded(name, first, 255);
      CopyBounded(value, words.Word(1), 32);
      FormatText(reply, sizeof reply, "BU%s %s %ld", name, value, static_cast<long>(atoi(words.Word(2))));
      break;
    }
  }
  QueueText(reply, 2, now);
}

// "BW" and the last relay result, least significant byte first, no NUL.
void SendLastRelayResult(uint32_t now) {
  uint8_t payload[8];
  wire::ByteWriter out(payload, sizeof payload);
  out.U8('B');
  out.U8('W');
  out.U32LE(static_cast<uint32_t>(Protocol().connection.last_relay_result));
  QueuePayload(payload, out.Length(), 1, now);
}

}  // namespace

bool IsProtectedName(const char* name) {
  return FindText(name, "pass", 0) != nullptr || FindText(name, "cdkey", 0) != nullptr;
}

void SendCvarValue(HostInterface* host, const char* name, char kind, uint32_t now) {
  if (name == nullptr || IsProtectedName(name)) return;
  char shown[260];
  CopyBounded(shown, name, 255);
  char value[TG_QUERY_BUFFER_SIZE];
  QueryHostCvar(host, shown, value);
  char text[600];
  if (strchr(shown, ' ') != nullptr) {
    FormatText(text, sizeof text, "%c\"%s\" = \"%s\"", kind, shown, value);
  } else {
    FormatText(text, sizeof text, "%c%s = \"%s\"", kind, shown, value);
  }
  if (kind == 'L') Protocol().connection.cvar_request_flag = 1;
  QueueText(text, 4, now);
  if (CurrentSettings().log_md5_tool == 1) ConsolePrint(0, "Sent to server: %s", text);
}

void HandleServerRequest(HostInterface* host, uint8_t subtype, uint8_t* argument, int32_t length, uint32_t now) {
  if (subtype < 7 || subtype > 124) return;
  char* text = reinterpret_cast<char*>(argument);
  switch (subtype) {
    case 'A':
      SendCvarValue(host, text, 'M', now);
      return;
    case 'B':
      SendCvarValue(host, text, 'L', now);
      return;
    case 'E':
      ListBindings(host, text, now);
      return;
    case 'F':
    case 'G':
    case 'H':
      ListCvars(host, subtype, text, now);
      return;
    case 'L':
      SendProtocolValue(text, now);
      return;
    case 'Q':
      SendTimingReply(now);
      return;
    case 'U':
      SendResource(host, text, now);
      return;
    case 'W':
      SendLastRelayResult(now);
      return;
    default:
      return;
  }
}
