#include "protocol/connection.h"

#include <cstring>

#include "console/console.h"
#include "core/client_state.h"
#include "protocol/rules.h"
#include "protocol/wire_constants.h"
#include "screenshot/delivery.h"
#include "util/text.h"

void ResetConnection(const char* address, uint32_t now) {
  ClientState& state = Client();
  ConnectionState& connection = state.connection;
  CopyBounded(connection.server_address, address, sizeof connection.server_address - 1);
  const char* colon = strchr(connection.server_address, ':');
  if (colon != nullptr) {
    int n = static_cast<int>(colon - connection.server_address);
    CopyBounded(connection.oob_address, connection.server_address, n < 32 ? n : 32);
    connection.oob_port = static_cast<uint16_t>(ReadDigits(colon + 1));
  } else {
    connection.oob_address[0] = '\0';
    connection.oob_port = 0;
  }
  connection.frames_received = 0;
  connection.scrambled_link = 0;
  connection.guid_notice_printed = 0;
  connection.last_version_notice = 0;
  connection.cvar_request_flag = 0;
  if (SameLetters(connection.server_address, TG_NO_SERVER_ADDRESS)) connection.hello_seen = 0;
  FreeScreenshotSlots();
  ClearRules();
  state.integrity.last_exchange_duty = now - 68000u;
}

TgGameCommand GameCommand() {
  const uint8_t* table = static_cast<const uint8_t*>(Client().second_table);
  if (table == nullptr) return nullptr;
  TgGameCommand operation;
  memcpy(&operation, table + TG_SECOND_TABLE_GAME_COMMAND, sizeof operation);
  return operation;
}

void ShowWarning(HostInterface* host, const char* text, int on_screen) {
  static const char kWarning[] = "*WARNING*";
  char saved[sizeof host->message_prefix];
  memcpy(saved, host->message_prefix, sizeof saved);
  memcpy(host->message_prefix, kWarning, sizeof kWarning);
  char format[8];
  ConsolePrint(1, wire::Unmask(wire::Text::kWarningFormat, format, sizeof format), text);
  memcpy(host->message_prefix, saved, sizeof saved);

  TgGameCommand command = GameCommand();
  if (on_screen != 1 || command == nullptr) return;
  char word[8], keyword[16], line[512];
  FormatText(line, sizeof line, "%s *WARNING*: %s", wire::Unmask(wire::Text::kWarningCommand, word, sizeof word),
             text);
  command(wire::Unmask(wire::Text::kGameCommandKey, keyword, sizeof keyword), line);
}
