#include "console/dispatch.h"

#include <cstdlib>
#include <cstring>

#include "console/config_files.h"
#include "console/console.h"
#include "console/reg_names.h"
#include "console/settings.h"
#include "core/client_state.h"
#include "core/host_query.h"
#include "master/exchange.h"
#include "platform/platform.h"
#include "protocol/framing.h"
#include "protocol/rules.h"
#include "screenshot/delivery.h"
#include "util/arg_list.h"
#include "util/elapsed.h"
#include "util/text.h"

namespace {

const int kForwardWindowMs = 2000;
const int kForwardPerWindow = 2;
const uint32_t kNextMasterAgoMs = 1860000;

struct CommandContext {
  HostInterface* host;
  ArgList* words;
  char* argument;  // from the second word to the end of the line; "" when none
  int depth;
};

typedef void (*CommandHandler)(const CommandContext& context);

struct Command {
  const char* name;
  const char* help;
  CommandHandler handler;
};

// Sends prefix followed by text (cut to fit) as one text payload.
void SendWithPrefix(HostInterface* host, const char* prefix, const char* text, int most) {
  char payload[1101];
  FormatText(payload, sizeof payload, "%s%.*s", prefix, most, text);
  SendPayload(host, payload, static_cast<int32_t>(strlen(payload)) + 1);
}

void CmdEnable(const CommandContext& context) {
  ClientState& state = Client();
  if (context.host->host_keyword != nullptr) context.host->host_keyword("set_cl_tallyguard", "1");
  const int was_enabled = state.enabled;
  state.enabled = 1;
  if (was_enabled) PrintVersionLine();
}

void CmdDisable(const CommandContext& context) {
  if (context.host->host_keyword != nullptr) context.host->host_keyword("set_cl_tallyguard", "0");
  ConsolePrint(0, "The Tallyguard Client will be disabled the NEXT TIME upon startup.");
}

void CmdLoad(const CommandContext& c) { LoadConfigFile(c.host, c.argument, c.depth + 1, 1); }
void CmdVersion(const CommandContext&) { PrintVersionLine(); }
void CmdPlayerList(const CommandContext& c) { SendWithPrefix(c.host, "BD ", c.argument, 1096); }

void CmdScreenshotOptions(const CommandContext& c) {
  ScreenshotOptions& options = Client().screenshots.options;
  ScreenshotOptions wanted = options;
  ArgList words(c.argument, 1, 0);
  int32_t* const fields[] = {&wanted.width, &wanted.height, &wanted.x, &wanted.y, &wanted.srate};
  for (int i = 0; i < 5 && i < words.Count(); ++i) *fields[i] = ReadDigits(words.Word(i));
  const bool valid = wanted.width >= 10 && wanted.height >= 10 && wanted.x >= 0 && wanted.x <= 100 && wanted.y >= 0 &&
                     wanted.y <= 100 && wanted.srate >= 1 && wanted.srate <= 4;
  if (!valid) {
    ConsolePrint(0, "Screenshot Options not changed - invalid value(s) specified");
    return;
  }
  options = wanted;
  ConsolePrint(0, "Screenshots: W=%d, H=%d, X=%d%%, Y=%d%%, Srate=%d", static_cast<int>(options.width),
               static_cast<int>(options.height), static_cast<int>(options.x), static_cast<int>(options.y),
               static_cast<int>(options.srate));
}

void CmdGetScreenshot(const CommandContext&) {
  QueueLocalScreenshot(0, "");
  Client().last_cycle_time = 0;
}

void CmdCvarList(const CommandContext& c) { ListRules(c.host, 0); }
void CmdCvarValue(const CommandContext& c) { SendWithPrefix(c.host, "BB", c.argument, 255); }

void CmdBindSearch(const CommandContext& c) {
  const int count = WalkBindings(c.host, c.argument, [](const char* name, const char* command) {
    ConsolePrint(0, "%s = %s", name, command);
  });
  ConsolePrint(0, "\"%s\" found in %d key binding%s", c.argument, count, PluralS(count));
}

void CmdCvarSearch(const CommandContext& c) {
  char buffer[TG_QUERY_BUFFER_SIZE];
  int count = 0;
  for (int guard = 0; guard < kMaxHostEnumeration; ++guard) {
    CopyBounded(buffer, c.argument, sizeof buffer - 1);
    if (QueryHost(c.host, TG_QUERY_CVAR_SEARCH, buffer) != 0 || buffer[0] == '\0') break;
    ConsolePrint(0, "  %s", buffer);
    ++count;
  }
  ConsolePrint(0, "\"%s\" found in %d cvar%s", c.argument, count, PluralS(count));
}

// Walks query 110 or 111 to its end; each entry gives a name (by address)
// and the buffer (the flags, or the value).
template <typename Visit>
void WalkCvars(HostInterface* host, int32_t code, Visit visit) {
  for (int guard = 0; guard < kMaxHostEnumeration; ++guard) {
    char buffer[TG_QUERY_BUFFER_SIZE] = "";
    const intptr_t address = QueryHost(host, code, buffer);
    if (address == 0) break;
    char name[TG_QUERY_BUFFER_SIZE];
    CopyBounded(name, reinterpret_cast<const char*>(address), sizeof name - 1);
    visit(name, buffer);
  }
}

void CmdCvarUser(const CommandContext& c) {
  int count = 0;
  WalkCvars(c.host, TG_QUERY_USER_CVAR, [&](const char* name, const char* flags) {
    if (name[0] == '\0' || (ReadDigits(flags) & 0xD1) != 0x80) return;
    ConsolePrint(0, "  %s", name);
    ++count;
  });
  ConsolePrint(0, "%d User-defined cvar%s found", count, PluralS(count));
}

void CmdCvarChanged(const CommandContext& c) {
  int count = 0;
  WalkCvars(c.host, TG_QUERY_CHANGED_CVAR, [&](const char* name, const char* value) {
    if (name[0] == '\0' || value[0] == '\0') return;
    ConsolePrint(0, "%s %s", name, value);
    ++count;
  });
  ConsolePrint(0, "%d Changed cvar%s found", count, PluralS(count));
}

void CmdWriteConfig(const CommandContext& c) { WriteConfig(c.host, c.argument); }

void AddName(const CommandContext& c, const char* kind) {
  c.words->TerminateFirst(ArgList::kMaxTokens);
  AddRegisteredName(c.host, c.words->Word(1), c.words->Word(2), kind, 1);
}
void CmdRegNameFull(const CommandContext& c) { AddName(c, "Full"); }
void CmdRegNamePartial(const CommandContext& c) { AddName(c, "Partial"); }
void CmdRegNameDelete(const CommandContext& c) { DeleteRegisteredName(c.host, ReadDigits(c.argument)); }
void CmdRegNameList(const CommandContext&) { ListRegisteredNames(); }
void CmdPower(const CommandContext& c) { SendWithPrefix(c.host, "BJ ", c.argument, 1096); }
void CmdKick(const CommandContext& c) { SendWithPrefix(c.host, "U", c.argument, 1098); }

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

bool IsWord(const char* word, int length, const char* name) {
  return static_cast<int>(strlen(name)) == length && SameLettersN(word, name, length);
}

void ForwardLine(HostInterface* host, const char* line) {
  DispatchState& state = Client().dispatch;
  const uint32_t now = PlatformTick();
  if (ElapsedMs(now, state.forward_window_start) > kForwardWindowMs - 1) {
    state.forward_window_start = now;
    state.forward_count = 0;
  } else if (state.forward_count >= kForwardPerWindow) {
    return;
  }
  SendWithPrefix(host, "A", line, 1099);
  ++state.forward_count;
}

void ReportTraffic() {
  ClientState& client = Client();
  DispatchState& state = client.dispatch;
  const uint32_t now = PlatformTick();
  if (!state.netstat_started) {
    state.netstat_started = 1;
    state.netstat_time = client.framing.first_frame_sent ? client.framing.first_frame_time : now;
  }
  unsigned long seconds = static_cast<unsigned long>(ElapsedMs(now, state.netstat_time)) / 1000;
  if (seconds == 0) seconds = 1;
  ConsolePrint(0, "Last %lu Second%s: In=%lu bytes; Out=%lu bytes", seconds, seconds == 1 ? "" : "s",
               static_cast<unsigned long>(client.framing.bytes_received),
               static_cast<unsigned long>(client.framing.bytes_sent));
  client.framing.bytes_received = 0;
  client.framing.bytes_sent = 0;
  state.netstat_time = now;
}

// The words the server side and tools use. Gives true when one matched.
bool RunFurtherWord(const CommandContext& c, const char* word, int length) {
  if (length == 6 && IsWord(word, length, "tg_cmd")) {
    char command[256];
    CopyBounded(command, c.argument, 255);
    if (c.host->host_keyword != nullptr) c.host->host_keyword("Cmd_Exec", command);
  } else if (length == 8 && IsWord(word, length, "TG_BIND?")) {
    CmdBindSearch(c);
  } else if (length == 8 && IsWord(word, length, "TG_CVAR=")) {
    CmdCvarValue(c);
  } else if (length == 8 && IsWord(word, length, "TG_CVAR?")) {
    CmdCvarSearch(c);
  } else if (length == 8 && IsWord(word, length, "TG_ALIST")) {
    SendWithPrefix(c.host, "BT", c.argument, 1098);
  } else if (length == 13 && IsWord(word, length, "TG_NEXTMASTER")) {
    Client().master.last_query_time = PlatformTick() - kNextMasterAgoMs;
  } else if (length == 9 && IsWord(word, length, "TG_MYGUID")) {
    ConsolePrint(0, "GUID=%s", Client().guid);
  } else if (length == 11 && IsWord(word, length, "TG_HOMEPATH")) {
    ConsolePrint(1, "Home Path is %s", Client().home_dir);
  } else if (length == 10 && IsWord(word, length, "TG_NETSTAT")) {
    ReportTraffic();
  } else if (length == 12 && IsWord(word, length, "TG_WEBUPDATE")) {
  } else if (length == 7 && IsWord(word, length, "TG_RCON")) {
    SendWithPrefix(c.host, "V", c.argument, 1098);
  } else {
    return false;
  }
  return true;
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
  if (Client().enabled && SameLettersN(line, "tg_ypg_", 7)) {
    ForwardLine(host, line);
    return;
  }
  char* comment = strstr(line, "//");
  if (comment != nullptr) *comment = '\0';
  TrimChars(line, " \t");

  ArgList words(line, 0, 0);
  if (words.Count() == 0) return;  // nothing but a comment or blanks
  char empty[1] = "";
  char* argument = words.Count() > 1 ? const_cast<char*>(words.Token(1)) : empty;
  const CommandContext context = {host, &words, argument, depth};
  const char* word = words.Token(0);
  const int word_length = words.Length(0);

  if (IsWord(word, word_length, kCommands[0].name)) {
    CmdEnable(context);
    return;
  }
  if (!Client().enabled) {
    ConsolePrint(0, "Tallyguard Client is currently Disabled");
    return;
  }
  for (const Command& command : kCommands) {
    if (IsWord(word, word_length, command.name)) {
      command.handler(context);
      return;
    }
  }
  if (RunFurtherWord(context, word, word_length)) return;
  if (ApplySettingLine(host, line)) return;
  if (report_unknown) ConsolePrint(0, "Unknown Command/Setting: %s", line);
}

int CompleteCommand(char* text) {
  if (text == nullptr) return 0;
  const int typed = static_cast<int>(strnlen(text, TG_QUERY_BUFFER_SIZE - 1));
  int setting_count = 0;
  const SettingEntry* settings = PublicSettings(&setting_count);
  int matches = 0;
  const char* only = nullptr;
  for (const Command& command : kCommands)
    if (SameLettersN(command.name, text, typed)) ++matches, only = command.name;
  for (int i = 0; i < setting_count; ++i)
    if (SameLettersN(settings[i].name, text, typed)) ++matches, only = settings[i].name;
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
    if (SameLettersN(settings[i].name, text, typed)) ConsolePrint(0, "%s %s", settings[i].name, settings[i].help);
  return 0;
}
