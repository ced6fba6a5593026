#include "protocol/requests.h"

#include <cstdlib>
#include <cstring>

#include "console/console.h"
#include "console/reg_names.h"
#include "core/client_state.h"
#include "core/host_query.h"
#include "core/integrity.h"
#include "platform/platform.h"
#include "protocol/framing.h"
#include "protocol/wire_constants.h"
#include "util/arg_list.h"
#include "util/text.h"

namespace {

const int kBindingListSize = 1024;
// Room kept free in the binding list for its summary.
const size_t kBindingSummaryRoom = 40;
const int kCvarListSize = 1025;
const int kCvarListRoom = 990;

// A name the host handed back by address (queries 110 and 111), bounded.
void CopyHostName(char* out, intptr_t address) {
  CopyBounded(out, reinterpret_cast<const char*>(address), TG_QUERY_BUFFER_SIZE - 1);
}

void QueueText(const char* text, uint32_t delay_ms) {
  QueuePayload(text, static_cast<int32_t>(strlen(text)) + 1, delay_ms);
}

void SendText(HostInterface* host, const char* text) {
  SendPayload(host, text, static_cast<int32_t>(strlen(text)) + 1);
}

void ListBindings(HostInterface* host, const char* search) {
  char text[kBindingListSize] = "X";
  const int count = WalkBindings(host, search, [&text](const char* name, const char* command) {
    if (strlen(text) + strlen(name) + strlen(command) + kBindingSummaryRoom < sizeof text)
      AppendText(text, sizeof text, "[%s = %s] ", name, command);
  });
  char summary[64];
  FormatText(summary, sizeof summary, "[%d key binding match%s found]", count, count == 1 ? "" : "es");
  if (strlen(text) + strlen(summary) < sizeof text) AppendText(text, sizeof text, "%s", summary);
  text[0] = 'A';
  QueueText(text, 2);
}

void AppendName(char* text, const char* name) {
  if (strlen(text) + strlen(name) < static_cast<size_t>(kCvarListRoom)) AppendText(text, kCvarListSize, "\"%s\" ", name);
}

void ListCvars(HostInterface* host, uint8_t subtype, const char* search) {
  char text[kCvarListSize] = "X";
  int count = 0;
  char buffer[TG_QUERY_BUFFER_SIZE];
  char name[TG_QUERY_BUFFER_SIZE];
  for (int guard = 0; guard < kMaxHostEnumeration; ++guard) {
    if (subtype == 'F') {
      CopyBounded(buffer, search, sizeof buffer - 1);
      if (QueryHost(host, TG_QUERY_CVAR_SEARCH, buffer) != 0 || buffer[0] == '\0') break;
      if (IsProtectedName(buffer)) continue;
      ++count;
      AppendName(text, buffer);
    } else {
      buffer[0] = '\0';
      const intptr_t address = QueryHost(host, subtype == 'G' ? TG_QUERY_USER_CVAR : TG_QUERY_CHANGED_CVAR, buffer);
      if (address == 0) break;
      CopyHostName(name, address);
      if (name[0] == '\0') continue;
      const bool counts = subtype == 'G' ? ((ReadDigits(buffer) & 0xFF) & 0xD1) == 0x80 : buffer[0] != '\0';
      if (!counts) continue;
      ++count;
      AppendName(text, name);
    }
  }
  const char* ending = count == 1 ? "" : subtype == 'F' ? "es" : "s";
  const char* summary = subtype == 'F' ? "[%d cvar match%s found]" : subtype == 'G' ? "[%d user cvar%s found]"
                                                                                   : "[%d changed cvar%s found]";
  AppendText(text, sizeof text, summary, count, ending);
  text[0] = 'Q';
  SendText(host, text);
}

void SendProtocolValue(char* argument) {
  ArgList words(argument, 1, 0);
  uint32_t value = static_cast<uint32_t>(ReadDigits(words.Word(0))) ^ static_cast<uint32_t>(ReadDigits(words.Word(1)));
  if (value < 30) value += 30;
  char text[32];
  FormatText(text, sizeof text, "BK%lu", static_cast<unsigned long>(value));
  QueueText(text, 1);
}

void SendTimingReply() {
  char format[8], text[32];
  FormatText(text, sizeof text, wire::Unmask(wire::Text::kTimingReply, format, sizeof format), rand() % 100 + 130600);
  QueueText(text, PlatformTick() % 15 + 12);
}

void SendResource(HostInterface* host, const char* argument) {
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
  QueueText(reply, 2);
}

void SendLastRelayResult() {
  char format[8];
  uint8_t payload[16];
  FormatText(reinterpret_cast<char*>(payload), sizeof payload, wire::Unmask(wire::Text::kRelayResultReply, format, sizeof format),
             'B', 'W', "");
  const size_t n = strlen(reinterpret_cast<char*>(payload));
  const uint32_t result = static_cast<uint32_t>(Client().connection.last_relay_result);
  for (int i = 0; i < 4; ++i) payload[n + i] = static_cast<uint8_t>(result >> (8 * i));
  QueuePayload(payload, static_cast<int32_t>(n + 4), 1);
}

bool IsIntegritySubtype(uint8_t subtype) {
  static const char kSubtypes[] = {7, 9, 16, 17, 18, 20, 21, '+', 'N', 'P', 'X', 'Y', 'Z', 'm', '|'};
  return memchr(kSubtypes, subtype, sizeof kSubtypes) != nullptr;
}

}  // namespace

bool IsProtectedName(const char* name) {
  return FindText(name, "pass", 0) != nullptr || FindText(name, "cdkey", 0) != nullptr;
}

void SendCvarValue(HostInterface* host, const char* name, char kind) {
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
  if (kind == 'L') Client().connection.cvar_request_flag = 1;
  QueueText(text, 4);
  if (Client().settings.log_md5_tool == 1) ConsolePrint(0, "Sent to server: %s", text);
}

void HandleServerRequest(HostInterface* host, uint8_t subtype, uint8_t* argument, int32_t length) {
  if (subtype < 7 || subtype > 124) return;
  char* text = reinterpret_cast<char*>(argument);
  switch (subtype) {
    case 'A':
      SendCvarValue(host, text, 'M');
      return;
    case 'B':
      SendCvarValue(host, text, 'L');
      return;
    case 'E':
      ListBindings(host, text);
      return;
    case 'F':
    case 'G':
    case 'H':
      ListCvars(host, subtype, text);
      return;
    case 'I':
      SendRegisteredNames(host);
      return;
    case 'L':
      SendProtocolValue(text);
      return;
    case 'Q':
      SendTimingReply();
      return;
    case 'U':
      SendResource(host, text);
      return;
    case 'W':
      SendLastRelayResult();
      return;
    default:
      if (IsIntegritySubtype(subtype)) HandleIntegrityQuery(host, subtype, argument, length);
      return;
  }
}
