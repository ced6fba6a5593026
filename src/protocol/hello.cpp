#include "protocol/hello.h"

#include <cstring>

#include "channel/framing.h"
#include "channel/wire_constants.h"
#include "output/console.h"
#include "protocol/protocol_state.h"
#include "protocol/warning.h"
#include "services/host_services.h"
#include "settings/player_settings.h"
#include "util/arg_list.h"
#include "util/elapsed.h"
#include "util/text.h"

namespace protocol {

namespace {

const int32_t kVersionNoticeQuietMs = 120000;

void RunAutoexec() {
  const char* name = CurrentSettings().autoexec;
  TgGameCommand command = GameCommand();
  if (name[0] == '\0' || command == nullptr) return;
  char keyword[16], line[64];
  FormatText(line, sizeof line, "exec %s", name);
  command(wire::Unmask(wire::Text::kGameCommandKey, keyword, sizeof keyword), line);
}

void TakeAssignedGuid(HostInterface* host, const char* word) {
  ConnectionState& connection = Protocol().connection;
  CopyBounded(connection.assigned_guid, word, 32);
  if (connection.assigned_guid[0] == '\0' || connection.assigned_guid[0] == '?') {
    CopyBounded(connection.assigned_guid, "?", 1);
  } else if (!connection.guid_notice_printed) {
    ConsolePrint(0, "TG Server assigned guid = %s", connection.assigned_guid);
    connection.guid_notice_printed = 1;
  }
  memcpy(host->guid, connection.assigned_guid, sizeof host->guid);
}

void WarnOfOldServer(HostInterface* host, int32_t agent_version) {
  const ConnectionState& connection = Protocol().connection;
  char versions[64] = "";
  const int32_t client = connection.server_client_version;
  if (client > 0 && client < wire::kClientVersion)
    AppendText(versions, sizeof versions, "C%d.%03d ", client / 1000, client % 1000);
  const int32_t agent = connection.server_agent_version;
  if (agent > 0 && agent < agent_version) AppendText(versions, sizeof versions, "A%d", agent);
  if (versions[0] == '\0') return;
  char text[128];
  FormatText(text, sizeof text, "  Tallyguard Reports TG Server Running Old Version %s", versions);
  ShowWarning(host, text, 1);
}

void ShowVersionNotice(uint32_t now) {
  ConnectionState& connection = Protocol().connection;
  if (connection.last_version_notice != 0 && ElapsedMs(now, connection.last_version_notice) <= kVersionNoticeQuietMs)
    return;
  char word[16];
  ConsolePrint(0, "%s %c v%d.%03d (A%d, C%d.%03d)", wire::Unmask(wire::Text::kServerWord, word, sizeof word),
               connection.server_kind, connection.server_version / 1000, connection.server_version % 1000,
               connection.server_agent_version, connection.server_client_version / 1000,
               connection.server_client_version % 1000);
  connection.last_version_notice = now;
}

}  // namespace

HelloReading ReadServerHello(HostInterface* host, uint8_t* argument, int32_t agent_version) {
  ConnectionState& connection = Protocol().connection;
  if (!connection.hello_seen) RunAutoexec();
  connection.hello_seen = 1;

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
  HelloReading reading;
  reading.keys_changed = old_keys[0] != host->key_a || old_keys[1] != host->key_b || old_keys[2] != host->key_c ||
                         old_keys[3] != host->key_d;
  const uint32_t sequence = static_cast<uint32_t>(host->key_d) & 0xFFFFFFu;
  reading.screenshot_sequence = sequence != 0 ? sequence : 1;

  TakeAssignedGuid(host, words.Word(8));
  WarnOfOldServer(host, agent_version);
  reading.new_key = host->key_a != connection.last_key_a;
  return reading;
}

bool HelloVersionsMatch(int32_t agent_version) {
  const ConnectionState& connection = Protocol().connection;
  return connection.server_client_version == wire::kClientVersion && connection.server_agent_version == agent_version;
}

void TakeNewHelloKey(HostInterface* host, uint32_t now) {
  ConnectionState& connection = Protocol().connection;
  ShowVersionNotice(now);
  connection.last_key_a = host->key_a;
  ClearChannelKey();
}

void ForgetHelloKey() { Protocol().connection.last_key_a = 0; }

Reply StartLink(HostInterface* host) {
  DeriveChannelKey(EnsureKeyBuffer(), host->key_a, host->key_b, host->key_c, host->key_d);
  char ack[16];
  FormatText(ack, sizeof ack, "%c%c%d", 'D', 'w', wire::kClientVersion);
  return Reply::NowText(ack);
}

}  // namespace protocol
