#include "protocol/warning.h"

#include <cstring>

#include "channel/wire_constants.h"
#include "output/console.h"
#include "services/host_services.h"
#include "util/text.h"

namespace protocol {

void ShowWarning(HostInterface* host, const char* text, int on_screen) {
  static const char kWarning[] = "*WARNING*";
  char saved[sizeof host->message_prefix];
  memcpy(saved, host->message_prefix, sizeof saved);
  memcpy(host->message_prefix, kWarning, sizeof kWarning);
  ConsolePrint(1, "%s", text);
  memcpy(host->message_prefix, saved, sizeof saved);

  TgGameCommand command = GameCommand();
  if (on_screen != 1 || command == nullptr) return;
  char word[8], keyword[16], line[512];
  FormatText(line, sizeof line, "%s *WARNING*: %s", wire::Unmask(wire::Text::kWarningCommand, word, sizeof word), text);
  command(wire::Unmask(wire::Text::kGameCommandKey, keyword, sizeof keyword), line);
}

}  // namespace protocol
