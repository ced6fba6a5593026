#include "console/dispatch.h"

#include <cstring>

#include "console/console.h"
#include "core/client_state.h"
#include "protocol/rules.h"
#include "util/arg_list.h"
#include "util/text.h"

namespace {

struct CommandContext {
  HostInterface* host;
  const char* argument;  // from the second word to the end of the line
  int depth;
};

typedef void (*CommandHandler)(const CommandContext& context);

struct Command {
  const char* name;
  const char* help;
  CommandHandler handler;
};

void CmdEnable(const CommandContext& context) {
  ClientState& state = Client();
  if (context.host->host_keyword != nullptr) context.host->host_keyword("set_cl_tallyguard", "1");
  int was_enabled = state.enabled;
  state.enabled = 1;
  if (was_enabled) PrintVersionLine();
}

void CmdVersion(const CommandContext&) { PrintVersionLine(); }

void CmdCvarList(const CommandContext& context) { ListRules(context.host, 0); }

// The command table: matching order and completion order.
const Command kCommands[] = {
    {"tg_cl_Enable", "- Enable Tallyguard", CmdEnable},
    {"tg_Ver", "- Display current TG Client version information", CmdVersion},
    {"tg_CvarList", "- Display list of server-required Cvar Ranges", CmdCvarList},
};

const Command* FindCommand(const char* word, int length) {
  for (const Command& command : kCommands)
    if (static_cast<int>(strlen(command.name)) == length && SameLettersN(word, command.name, length)) return &command;
  return nullptr;
}

}  // namespace

void PrintVersionLine() {
  ClientState& state = Client();
  ConsolePrint(0, "Tallyguard Client (v%d.%03d | A%d) %s", 1, 276, static_cast<int>(state.agent.version),
               state.enabled ? "Enabled" : "**DISABLED**");
}

void DispatchLine(HostInterface* host, int32_t length, char* line, int depth, int report_unknown) {
  (void)length;  // the line is a C string; its copy carries a NUL
  if (host == nullptr || line == nullptr || line[0] == '\0') return;

  char* comment = strstr(line, "//");
  if (comment != nullptr) *comment = '\0';
  TrimChars(line, " \t");

  ArgList words(line, 0, 0);
  if (words.Count() == 0) return;  // nothing but a comment or blanks
  const char* argument = "";
  if (words.Count() > 1) argument = words.Token(1);
  CommandContext context = {host, argument, depth};

  const Command* command = FindCommand(words.Token(0), words.Length(0));
  if (command != nullptr && command->handler == CmdEnable) {
    CmdEnable(context);
    return;
  }
  if (!Client().enabled) {
    ConsolePrint(0, "Tallyguard Client is currently Disabled");
    return;
  }
  if (command != nullptr) {
    command->handler(context);
    return;
  }
  if (report_unknown) ConsolePrint(0, "Unknown Command/Setting: %s", line);
}

int CompleteCommand(char* text) {
  (void)text;  // completion comes with the full command set
  return 0;
}
