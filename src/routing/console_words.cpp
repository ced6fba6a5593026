#include "routing/console_words.h"

#include <cstring>

#include "channel/framing.h"
#include "channel/wire_constants.h"
#include "console/config_files.h"
#include "console/module_switch.h"
#include "console/reg_names.h"
#include "console/setting_table.h"
#include "console/settings.h"
#include "master/modules.h"
#include "master/schedule.h"
#include "output/console.h"
#include "protocol/rules.h"
#include "routing/routing_state.h"
#include "screenshot/delivery.h"
#include "services/host_services.h"
#include "settings/player_settings.h"
#include "util/arg_list.h"
#include "util/elapsed.h"
#include "util/text.h"

namespace {

const int kForwardWindowMs = 2000;
const int kForwardPerWindow = 2;

struct CommandContext {
  HostInterface* host;
  ArgList* words;
  char* argument;  // from the second word to the end of the line; "" when none
  int depth;
  uint32_t now;
};

typedef void (*CommandHandler)(const CommandContext& context);

struct Command {
  const char* name;
  const char* help;  // empty for the further words, which are not listed
  CommandHandler handler;
};

const Command* FindCommand(const char* name);

// Sends prefix followed by the argument (cut to most characters, and always
// so that its NUL still fits the payload) as one text payload.
void SendWithPrefix(const CommandContext& c, const char* prefix, int most) {
  const int room = wire::kMaxPayload - 1 - static_cast<int>(strlen(prefix));
  if (most > room) most = room;
  char payload[wire::kMaxPayload];
  FormatText(payload, sizeof payload, "%s%.*s", prefix, most, c.argument);
  SendPayload(c.host, payload, static_cast<int32_t>(strlen(payload)) + 1, c.now);
}

void CmdEnable(const CommandContext& c) {
  if (console::SwitchModuleOn(c.host)) console::PrintVersionLine(master::AgentVersion());
}

void CmdDisable(const CommandContext& c) { console::SwitchModuleOffAtNextStart(c.host); }
void CmdLoad(const CommandContext& c) {
  console::LoadConfigFile(c.host, c.argument, c.depth + 1, 1, c.now, DispatchLine);
}
void CmdVersion(const CommandContext&) { console::PrintVersionLine(master::AgentVersion()); }
void CmdPlayerList(const CommandContext& c) { SendWithPrefix(c, "BD ", 1096); }

void CmdScreenshotOptions(const CommandContext& c) {
  ScreenshotOptions wanted = LocalScreenshotOptions();
  ArgList words(c.argument, 1, 0);
  int32_t* const fields[] = {&wanted.width, &wanted.height, &wanted.x, &wanted.y, &wanted.srate};
  for (int i = 0; i < 5 && i < words.Count(); ++i) *fields[i] = ReadDigits(words.Word(i));
  if (!SetLocalScreenshotOptions(wanted)) {
    ConsolePrint(0, "Screenshot Options not changed - invalid value(s) specified");
    return;
  }
  ConsolePrint(0, "Screenshots: W=%d, H=%d, X=%d%%, Y=%d%%, Srate=%d", static_cast<int>(wanted.width),
               static_cast<int>(wanted.height), static_cast<int>(wanted.x), static_cast<int>(wanted.y),
               static_cast<int>(wanted.srate));
}

void CmdGetScreenshot(const CommandContext& c) {
  screenshot::QueueLocalScreenshot("0", c.now);
  Routing().cycle_wanted = 1;
}

void CmdCvarList(const CommandContext& c) { protocol::ListRules(c.host, 0); }
void CmdCvarValue(const CommandContext& c) { SendWithPrefix(c, "BB", 255); }

void CmdBindSearch(const CommandContext& c) {
  const int count = WalkBindings(
      c.host, c.argument, [](const char* name, const char* command) { ConsolePrint(0, "%s = %s", name, command); });
  ConsolePrint(0, "\"%s\" found in %d key binding%s", c.argument, count, PluralS(count));
}

void CmdCvarSearch(const CommandContext& c) {
  int count = 0;
  WalkCvarSearch(c.host, c.argument, [&count](const char* name) {
    ConsolePrint(0, "  %s", name);
    ++count;
  });
  ConsolePrint(0, "\"%s\" found in %d cvar%s", c.argument, count, PluralS(count));
}

void CmdCvarUser(const CommandContext& c) {
  int count = 0;
  WalkHostCvars(c.host, TG_QUERY_USER_CVAR, [&](const char* name, const char* flags) {
    if (name[0] == '\0' || (ReadDigits(flags) & 0xD1) != 0x80) return;
    ConsolePrint(0, "  %s", name);
    ++count;
  });
  ConsolePrint(0, "%d User-defined cvar%s found", count, PluralS(count));
}

void CmdCvarChanged(const CommandContext& c) {
  int count = 0;
  WalkHostCvars(c.host, TG_QUERY_CHANGED_CVAR, [&](const char* name, const char* value) {
    if (name[0] == '\0' || value[0] == '\0') return;
    ConsolePrint(0, "%s %s", name, value);
    ++count;
  });
  ConsolePrint(0, "%d Changed cvar%s found", count, PluralS(count));
}

void CmdWriteConfig(const CommandContext& c) {
  console::WriteConfig(c.host, c.argument, FindCommand("tg_SsOptions")->help);
}

void AddName(const CommandContext& c, const char* kind) {
  c.words->TerminateFirst(ArgList::kMaxTokens);
  console::AddRegisteredName(c.host, c.words->Word(1), c.words->Word(2), kind, c.now);
}
void CmdRegNameFull(const CommandContext& c) { AddName(c, "Full"); }
void CmdRegNamePartial(const CommandContext& c) { AddName(c, "Partial"); }
void CmdRegNameDelete(const CommandContext& c) { console::DeleteRegisteredName(c.host, ReadDigits(c.argument), c.now); }
void CmdRegNameList(const CommandContext&) { console::ListRegisteredNames(); }
void CmdPower(const CommandContext& c) { SendWithPrefix(c, "BJ ", 1096); }
void CmdKick(const CommandContext& c) { SendWithPrefix(c, "U", 1098); }

// The further words that the server side and tools use.
void WordCmd(const CommandContext& c) {
  char command[256];
  CopyBounded(command, c.argument, 255);
  CallHostKeyword(c.host, "Cmd_Exec", command);
}

void WordActionList(const CommandContext& c) { SendWithPrefix(c, "BT", 1098); }
void WordNextMaster(const CommandContext& c) { master::QueryMasterSoon(c.now); }
void WordMyGuid(const CommandContext&) { ConsolePrint(0, "GUID=%s", PlayerGuid()); }
void WordHomePath(const CommandContext&) { ConsolePrint(1, "Home Path is %s", HomeDirectory()); }
void WordWebUpdate(const CommandContext&) {}
void WordRcon(const CommandContext& c) { SendWithPrefix(c, "V", 1098); }

// The seconds since the previous report (at least 1) and the traffic since.
// The first report counts from the first traffic, or from now.
void WordNetStat(const CommandContext& c) {
  RoutingState& state = Routing();
  if (!state.netstat_started) {
    state.netstat_started = 1;
    if (!FirstTrafficTime(&state.netstat_time)) state.netstat_time = c.now;
  }
  unsigned long seconds = static_cast<unsigned long>(ElapsedMs(c.now, state.netstat_time)) / 1000;
  if (seconds == 0) seconds = 1;
  uint32_t received = 0, sent = 0;
  TakeTrafficCounters(&received, &sent);
  ConsolePrint(0, "Last %lu Second%s: In=%lu bytes; Out=%lu bytes", seconds, seconds == 1 ? "" : "s",
               static_cast<unsigned long>(received), static_cast<unsigned long>(sent));
  state.netstat_time = c.now;
}

// The command table: matching order and completion order.
const Command kCommands[] = {
    {"tg_cl_Enable", "- Enable Tallyguard", CmdEnable},
    {"tg_cl_Disable", "- Disable Tallyguard", CmdDisable},
    {"tg_Load", "[filename] - Load TG config file", CmdLoad},
    {"tg_Ver", "- Display current TG Client version information", CmdVersion},
    {"tg_Plist", "- Display list of currently connected players", CmdPlayerList},
    {"tg_SsOptions", "- Set local TG screenshot options", CmdScreenshotOptions},
    {"tg_GetSs", "- Capture local TG screenshot to a file", CmdGetScreenshot},
    {"tg_CvarList", "- Display list of server-required Cvar Ranges", CmdCvarList},
    {"tg_CvarVal", "[Cvar name] - Display server-side Cvar value", CmdCvarValue},
    {"tg_BindSrch", "[text] - Display key bindings containing text", CmdBindSearch},
    {"tg_CvarSrch", "[text] - Display Cvars containing text", CmdCvarSearch},
    {"tg_CvarUser", "- Display local user-created Cvars", CmdCvarUser},
    {"tg_CvarChanged", "- Display local Cvars not = default value", CmdCvarChanged},
    {"tg_WriteCfg", "[filename (default=tgcl.cfg) - Save settings", CmdWriteConfig},
    {"tg_RegNameFull", "[match] [password] - Add Registered Name", CmdRegNameFull},
    {"tg_RegNamePartial", "[match] [password] - Add Registered Partial Name", CmdRegNamePartial},
    {"tg_RegNameDel", "[slot #] - Remove a Registered Name", CmdRegNameDelete},
    {"tg_RegNameList", "- List Registered Names", CmdRegNameList},
    {"tg_Power", "- Display Player Power Information", CmdPower},
    {"tg_Kick", "[slot #] - 'Vote' to kick another player", CmdKick},
};

// The further words, tried after the commands and before the settings. They
// are not completed. Of the words whose texts are built at run time only
// TG_RCON is kept.
const Command kFurtherWords[] = {
    {"tg_cmd", "", WordCmd},          {"TG_BIND?", "", CmdBindSearch},
    {"TG_CVAR=", "", CmdCvarValue},   {"TG_CVAR?", "", CmdCvarSearch},
    {"TG_ALIST", "", WordActionList}, {"TG_NEXTMASTER", "", WordNextMaster},
    {"TG_MYGUID", "", WordMyGuid},    {"TG_HOMEPATH", "", WordHomePath},
    {"TG_NETSTAT", "", WordNetStat},  {"TG_WEBUPDATE", "", WordWebUpdate},
    {"TG_RCON", "", WordRcon},
};

// A word names a command when it has the same length and the same letters
// regardless of case.
bool IsWord(const char* word, int length, const char* name) {
  return static_cast<int>(strlen(name)) == length && SameLettersN(word, name, length);
}

template <size_t N>
const Command* Match(const Command (&table)[N], const char* word, int length) {
  for (const Command& command : table)
    if (IsWord(word, length, command.name)) return &command;
  return nullptr;
}

const Command* FindCommand(const char* name) { return Match(kCommands, name, static_cast<int>(strlen(name))); }

// "tg_ypg_" lines go to the game server, at most 2 in any 2000 ms window.
void ForwardLine(HostInterface* host, char* line, uint32_t now) {
  RoutingState& state = Routing();
  if (ElapsedMs(now, state.forward_window_start) > kForwardWindowMs - 1) {
    state.forward_window_start = now;
    state.forward_count = 0;
  } else if (state.forward_count >= kForwardPerWindow) {
    return;
  }
  const CommandContext context = {host, nullptr, line, 0, now};
  SendWithPrefix(context, "A", 1099);
  ++state.forward_count;
}

}  // namespace

void DispatchLine(HostInterface* host, int32_t length, char* line, int depth, int report_unknown, uint32_t now) {
  (void)length;  // the line is a C string; its copy carries a NUL
  if (host == nullptr || line == nullptr || line[0] == '\0') return;
  if (ModuleEnabled() && SameLettersN(line, "tg_ypg_", 7)) {
    ForwardLine(host, line, now);
    return;
  }
  char* comment = strstr(line, "//");
  if (comment != nullptr) *comment = '\0';
  TrimChars(line, " \t");

  ArgList words(line, 0, 0);
  if (words.Count() == 0) return;  // nothing but a comment or blanks
  char empty[1] = "";
  char* argument = words.Count() > 1 ? const_cast<char*>(words.Token(1)) : empty;
  const CommandContext context = {host, &words, argument, depth, now};
  const char* word = words.Token(0);
  const int word_length = words.Length(0);

  // Only tg_cl_Enable is obeyed while the module is disabled.
  const Command* command = Match(kCommands, word, word_length);
  if (command != nullptr && command->handler == CmdEnable) {
    CmdEnable(context);
    return;
  }
  if (!ModuleEnabled()) {
    ConsolePrint(0, "Tallyguard Client is currently Disabled");
    return;
  }
  if (command == nullptr) command = Match(kFurtherWords, word, word_length);
  if (command != nullptr) {
    command->handler(context);
    return;
  }
  if (console::ApplySettingLine(host, line, now)) return;
  if (report_unknown) ConsolePrint(0, "Unknown Command/Setting: %s", line);
}

int CompleteCommand(char* text) {
  if (text == nullptr) return 0;
  const int typed = static_cast<int>(strnlen(text, TG_QUERY_BUFFER_SIZE - 1));
  int setting_count = 0;
  const console::SettingEntry* settings = console::SettingTable(&setting_count);
  auto settings_match = [&](int i) {
    return (settings[i].flags & console::kPublicSetting) != 0 && SameLettersN(settings[i].name, text, typed);
  };
  int matches = 0;
  const char* only = nullptr;
  for (const Command& command : kCommands)
    if (SameLettersN(command.name, text, typed)) ++matches, only = command.name;
  for (int i = 0; i < setting_count; ++i)
    if (settings_match(i)) ++matches, only = settings[i].name;
  if (matches == 0) return 0;
  if (matches == 1) {
    char completed[TG_QUERY_BUFFER_SIZE];
    FormatText(completed, sizeof completed, "%.*s%s ", typed, text, only + typed);
    memcpy(text, completed, strlen(completed) + 1);
    return 0;
  }
  ConsolePrint(0, "Matches for \"%.*s\":", typed, text);
  for (const Command& command : kCommands)
    if (SameLettersN(command.name, text, typed)) ConsolePrint(0, "%s %s", command.name, command.help);
  for (int i = 0; i < setting_count; ++i)
    if (settings_match(i)) ConsolePrint(0, "%s %s", settings[i].name, settings[i].help);
  return 0;
}

int TakeCycleRequest() {
  const int wanted = Routing().cycle_wanted;
  Routing().cycle_wanted = 0;
  return wanted;
}
