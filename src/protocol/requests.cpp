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

namespace protocol {

namespace {

const int kBindingListSize = 1024;
// Room kept free in the binding list for its summary.
const size_t kBindingSummaryRoom = 40;
const int kCvarListSize = 1025;
const int kCvarListRoom = 990;

Reply ListBindings(HostInterface* host, const char* search) {
  char text[kBindingListSize] = "X";
  const int count = WalkBindings(host, search, [&text](const char* name, const char* command) {
    if (strlen(text) + strlen(name) + strlen(command) + kBindingSummaryRoom < sizeof text)
      AppendText(text, sizeof text, "[%s = %s] ", name, command);
  });
  char summary[64];
  FormatText(summary, sizeof summary, "[%d key binding match%s found]", count, count == 1 ? "" : "es");
  if (strlen(text) + strlen(summary) < sizeof text) AppendText(text, sizeof text, "%s", summary);
  text[0] = 'A';
  return Reply::AfterText(2, text);
}

void AppendName(char* text, const char* name) {
  if (strlen(text) + strlen(name) < static_cast<size_t>(kCvarListRoom))
    AppendText(text, kCvarListSize, "\"%s\" ", name);
}

Reply ListCvars(HostInterface* host, uint8_t subtype, const char* search) {
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
  return Reply::NowText(text);
}

Reply ProtocolValue(char* argument) {
  ArgList words(argument, 1, 0);
  uint32_t value = static_cast<uint32_t>(ReadDigits(words.Word(0))) ^ static_cast<uint32_t>(ReadDigits(words.Word(1)));
  if (value < 30) value += 30;
  char text[32];
  FormatText(text, sizeof text, "BK%lu", static_cast<unsigned long>(value));
  return Reply::AfterText(1, text);
}

Reply TimingReply(uint32_t now) {
  char text[32];
  FormatText(text, sizeof text, "%c%c%d", 'T', 'q', rand() % 100 + 130600);
  return Reply::AfterText(now % 15 + 12, text);
}

Reply Resource(HostInterface* host, const char* argument) {
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
  return Reply::AfterText(2, reply);
}

// "BW" and the last relay result, least significant byte first, no NUL.
Reply LastRelayResult() {
  uint8_t payload[8];
  wire::ByteWriter out(payload, sizeof payload);
  out.U8('B');
  out.U8('W');
  out.U32LE(static_cast<uint32_t>(Protocol().connection.last_relay_result));
  return Reply::After(1, payload, out.Length());
}

}  // namespace

bool IsProtectedName(const char* name) {
  return FindText(name, "pass", 0) != nullptr || FindText(name, "cdkey", 0) != nullptr;
}

Reply CvarValueReply(HostInterface* host, const char* name, char kind) {
  if (name == nullptr || IsProtectedName(name)) return Reply::None();
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
  if (CurrentSettings().log_md5_tool == 1) ConsolePrint(0, "Sent to server: %s", text);
  return Reply::AfterText(4, text);
}

Reply HandleServerRequest(HostInterface* host, uint8_t subtype, uint8_t* argument, int32_t length, uint32_t now) {
  if (subtype < 7 || subtype > 124) return Reply::None();
  char* text = reinterpret_cast<char*>(argument);
  switch (subtype) {
    case 'A':
      return CvarValueReply(host, text, 'M');
    case 'B':
      return CvarValueReply(host, text, 'L');
    case 'E':
      return ListBindings(host, text);
    case 'F':
    case 'G':
    case 'H':
      return ListCvars(host, subtype, text);
    case 'L':
      return ProtocolValue(text);
    case 'Q':
      return TimingReply(now);
    case 'U':
      return Resource(host, text);
    case 'W':
      return LastRelayResult();
    default:
      return Reply::None();
  }
}

}  // namespace protocol
