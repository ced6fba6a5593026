// The server hello and the start of the scrambled link.
#include <cstring>

#include "console/console.h"
#include "console/reg_names.h"
#include "core/client_state.h"
#include "master/modules.h"
#include "master/update.h"
#include "protocol/framing.h"
#include "protocol/receive.h"
#include "protocol/wire_constants.h"
#include "screenshot/delivery.h"
#include "util/arg_list.h"
#include "util/elapsed.h"
#include "util/text.h"

namespace {

const uint32_t kVersionNoticeQuietMs = 120000;
const int32_t kTransferSilenceMs = 20000;

void RunAutoexec(HostInterface* host) {
  const char* name = Client().settings.autoexec;
  TgGameCommand command = GameCommand();
  if (name[0] == '\0' || command == nullptr) return;
  char keyword[16], line[64];
  FormatText(line, sizeof line, "exec %s", name);
  command(wire::Unmask(wire::Text::kGameCommandKey, keyword, sizeof keyword), line);
}

void TakeAssignedGuid(HostInterface* host, const char* word) {
  ConnectionState& connection = Client().connection;
  CopyBounded(connection.assigned_guid, word, 32);
  if (connection.assigned_guid[0] == '\0' || connection.assigned_guid[0] == '?') {
    CopyBounded(connection.assigned_guid, "?", 1);
  } else if (!connection.guid_notice_printed) {
    ConsolePrint(0, "TG Server assigned guid = %s", connection.assigned_guid);
    connection.guid_notice_printed = 1;
  }
  memcpy(host->guid, connection.assigned_guid, sizeof host->guid);
}

void WarnOfOldServer(HostInterface* host) {
  const ConnectionState& connection = Client().connection;
  char versions[64] = "";
  const int32_t client = connection.server_client_version;
  if (client > 0 && client < wire::kClientVersion) AppendText(versions, sizeof versions, "C%d.%03d ", client / 1000, client % 1000);
  const int32_t agent = connection.server_agent_version;
  if (agent > 0 && agent < Client().agent.version) AppendText(versions, sizeof versions, "A%d", agent);
  if (versions[0] == '\0') return;
  char text[128];
  FormatText(text, sizeof text, "  Tallyguard Reports TG Server Running Old Version %s", versions);
  ShowWarning(host, text, 1);
}

void ShowVersionNotice(uint32_t now) {
  ConnectionState& connection = Client().connection;
  if (connection.last_version_notice != 0 && ElapsedMs(now, connection.last_version_notice) <= static_cast<int32_t>(kVersionNoticeQuietMs))
    return;
  char format[64];
  ConsolePrint(0, wire::Unmask(wire::Text::kVersionNotice, format, sizeof format), connection.server_kind,
               connection.server_version / 1000, connection.server_version % 1000, connection.server_agent_version,
               connection.server_client_version / 1000, connection.server_client_version % 1000);
  connection.last_version_notice = now;
}

}  // namespace

void HandleServerHello(HostInterface* host, uint8_t* argument, uint32_t now) {
  ClientState& state = Client();
  ConnectionState& connection = state.connection;
  if (!connection.hello_seen) RunAutoexec(host);
  connection.hello_seen = 1;
  if (ElapsedMs(now, state.timers.cache_request) < 31000) state.timers.cache_request = now - 31000u;
  if (ElapsedMs(now, state.integrity.last_exchange_duty) < 68000) state.integrity.last_exchange_duty = now - 68000u;

  connection.server_kind = argument[0];
  ArgList words(reinterpret_cast<char*>(argument), 1, 0);
  connection.server_version = ReadDigits(words.Word(1));
  connection.server_client_version = ReadDigits(words.Word(2));
  connection.server_agent_version = ReadDigits(words.Word(3));

  const int32_t old_keys[4] = {host->key_a, host->key_b, host->key_c, host->key_d};
  host->key_a = ReadDigits(words.Word(4));
  host->key_b = ReadDigits(words.Word(5));
  host->key_c = ReadDigits(words.Word(6));
  host->key_d = ReadDigits(words.Word(7));
  const bool keys_changed = old_keys[0] != host->key_a || old_keys[1] != host->key_b || old_keys[2] != host->key_c ||
                            old_keys[3] != host->key_d;
  if (connection.screenshot_sequence == 0 || keys_changed) {
    connection.screenshot_sequence = static_cast<uint32_t>(host->key_d) & 0xFFFFFFu;
    if (connection.screenshot_sequence == 0) connection.screenshot_sequence = 1;
  }

  TakeAssignedGuid(host, words.Word(8));
  WarnOfOldServer(host);

  bool screenshot_wanted = false;
  if (host->key_a != connection.last_key_a) {
    ShowVersionNotice(now);
    connection.last_key_a = host->key_a;
    ClearChannelKey();
    screenshot_wanted = state.screenshots.slots[0].sequence == 0;
  }
  if (state.agent.version < 1) QueryAgentVersion(host);

  if (connection.server_client_version == wire::kClientVersion && connection.server_agent_version == state.agent.version) {
    StartLink(host);
  } else {
    UpdateTransfer& transfer = state.update;
    if (transfer.buffer != nullptr) {
      if (ElapsedMs(now, transfer.last_chunk_time) < kTransferSilenceMs) return;
      DropUpdateTransfer();
    }
    connection.last_key_a = 0;
    ReconcileModules(host, now);
  }
  if (screenshot_wanted) QueueServerScreenshot(host, 0, nullptr);
}

void StartLink(HostInterface* host) {
  DeriveChannelKey(EnsureKeyBuffer(), host->key_a, host->key_b, host->key_c, host->key_d);
  char format[8], ack[16];
  FormatText(ack, sizeof ack, wire::Unmask(wire::Text::kLinkAck, format, sizeof format), 'D', 'w', wire::kClientVersion);
  SendPayload(host, ack, static_cast<int32_t>(strlen(ack)) + 1);
  SendRegisteredNames(host);
}
