#include "console/settings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "channel/framing.h"
#include "console/config_files.h"
#include "console/console_state.h"
#include "console/reg_names.h"
#include "console/setting_table.h"
#include "output/console.h"
#include "settings/player_settings.h"
#include "util/text.h"

namespace console {

namespace {

// The blank after a matched name is replaced by a terminator. Gives the
// value text, or none when the line does not name the setting.
char* MatchName(const char* name, char* line) {
  const size_t n = strlen(name);
  if (!SameLettersN(line, name, static_cast<int>(n))) return nullptr;
  if (line[n] == '\0') return line + n;
  if (line[n] != ' ') return nullptr;
  line[n] = '\0';
  return line + n + 1;
}

// atoi's reading (optional sign, decimal digits), kept within 32 bits.
int32_t ReadSigned(const char* text) {
  errno = 0;
  long value = strtol(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

void ApplyNumber(const SettingEntry& entry, int32_t* value, char* text) {
  int32_t low = entry.low, high = entry.high;
  if (low > high) {
    const int32_t swap = low;
    low = high;
    high = swap;
  }
  TrimChars(text, " \t\"");
  if (text[0] != '\0') {
    int32_t number = ReadSigned(text);
    const bool unset = number == 0 && (entry.flags & kZeroIsUnset) != 0;
    *value = unset ? 0 : number < low ? low : number > high ? high : number;
  }
  ConsolePrint(0, "%s = %d (%d to %d)", entry.name, *value, low, high);
}

void ApplyFlag(const SettingEntry& entry, int32_t* value, char* text) {
  TrimChars(text, " \t\"");
  if (text[0] != '\0') {
    int32_t number = ReadDigits(text);
    *value = number > 1 ? 1 : number;
  }
  ConsolePrint(0, "%s = %d (0=No, 1=Yes)", entry.name, *value);
}

// A value is refused (the setting keeps its text) when it holds control
// bytes, which would end its line in a configuration file, or, for a file
// name, when it would leave the home folder.
bool RefuseText(const SettingEntry& entry, const char* text) {
  if (HasControlBytes(text)) {
    ConsolePrint(0, "%s not changed - control characters are not allowed", entry.name);
    return true;
  }
  if ((entry.flags & kFileName) != 0 && !AcceptHomeName(text)) return true;
  return false;
}

void ApplyText(const SettingEntry& entry, char* buffer, char* text) {
  TrimChars(text, " \t");
  const size_t n = strlen(text);
  if (n > 0) {
    if (strcmp(text, "\"\"") == 0) {
      if (!RefuseText(entry, "")) buffer[0] = '\0';
    } else {
      if (n > 1 && text[0] == '"' && text[n - 1] == '"') {
        text[n - 1] = '\0';
        ++text;
      }
      if (!RefuseText(entry, text)) CopyBounded(buffer, text, entry.high);
    }
  }
  ConsolePrint(0, "%s = %s", entry.name, buffer);
}

void ApplyValue(const SettingEntry& entry, void* storage, char* text) {
  switch (entry.kind) {
    case SettingKind::kText:
      ApplyText(entry, static_cast<char*>(storage), text);
      break;
    case SettingKind::kFlag:
      ApplyFlag(entry, static_cast<int32_t*>(storage), text);
      break;
    case SettingKind::kNumber:
      ApplyNumber(entry, static_cast<int32_t*>(storage), text);
      break;
  }
}

// TG_SYSTEM cannot change while a game server is connected: the old value is
// put back and shown once more. Either way "tgsys.cfg" records the value.
void KeepSystemSwitch(const SettingEntry& entry, int32_t* value, int32_t before) {
  if (ServerConnected() && *value != before) {
    *value = before;
    ConsolePrint(0, "tg_system cannot be changed while connected to a server");
    char again[32];
    FormatText(again, sizeof again, "tg_system %d", static_cast<int>(before));
    char* text = MatchName(entry.name, again);
    if (text != nullptr) ApplyNumber(entry, value, text);
  }
  WriteSystemFile(*value);
}

void RunAction(const SettingEntry& entry, HostInterface* host, void* storage, int32_t before, uint32_t now) {
  switch (entry.on_change) {
    case SettingAction::kNone:
      break;
    case SettingAction::kReloadNames:
      LoadRegisteredNames(host, 1);
      break;
    case SettingAction::kSaveNames:
      SaveNamesWithNewKey(host, now);
      break;
    case SettingAction::kSystemSwitch:
      KeepSystemSwitch(entry, static_cast<int32_t*>(storage), before);
      break;
  }
}

}  // namespace

int ApplySettingLine(HostInterface* host, char* line, uint32_t now) {
  int count = 0;
  const SettingEntry* table = SettingTable(&count);
  for (int i = 0; i < count; ++i) {
    const SettingEntry& entry = table[i];
    char* text = MatchName(entry.name, line);
    if (text == nullptr) continue;
    void* storage = SettingStorage(entry, SettingsToChange(), host);
    const int32_t before = entry.kind == SettingKind::kText ? 0 : *static_cast<int32_t*>(storage);
    ApplyValue(entry, storage, text);
    RunAction(entry, host, storage, before, now);
    return 1;
  }
  return 0;
}

}  // namespace console
