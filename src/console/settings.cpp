#include "console/settings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "console/config_files.h"
#include "console/console.h"
#include "console/reg_names.h"
#include "core/client_state.h"
#include "util/text.h"

namespace {

// Every setting word, in the order in which lines are matched.
const SettingEntry kSettings[] = {
    {"tg_MsgPrefix", "[TG Message Prefix]", SettingKind::kText, 31, 0},
    {"tg_Security", "[0=No, 1=Yes (default=1)]", SettingKind::kFlag, 0, 1},
    {"tg_Sleep", "[# of Milliseconds (default=250)]", SettingKind::kNumber, 20, 500},
    {"tg_LogToFile", "[0=No, 1=Yes (default=0)]", SettingKind::kFlag, 0, 1},
    {"tg_SsLog", "[0=No, 1=Yes (default=1)]", SettingKind::kFlag, 0, 1},
    {"tg_SsSave", "[0=No, 1=Yes (default=0)]", SettingKind::kFlag, 0, 1},
    {"tg_RegNameFn", "[Filename for Registered Names]", SettingKind::kText, 255, 0},
    {"tg_RegNamePw", "[Encryption Key for RegName Files]", SettingKind::kText, 31, 0},
    {"tg_forceoob", "", SettingKind::kNumber, 0, 1},
    {"TG_SYSTEM", "", SettingKind::kNumber, 0, 1},
    {"TG_NETPORT", "", SettingKind::kNumber, 0, 65535},
    {"TG_LOGMD5TOOL", "", SettingKind::kNumber, 0, 1},
    {"TG_LAN", "", SettingKind::kNumber, 0, 1},
    {"TG_SSBPP", "", SettingKind::kNumber, 3, 8},
    {"TG_AUTOEXEC", "", SettingKind::kText, 31, 0},
    {"TG_IGNORE", "", SettingKind::kNumber, 0, 1},
    {"tg_LogUser", "[remote_log_username]", SettingKind::kText, 31, 0},
    {"tg_LogPw", "[remote_log_password]", SettingKind::kText, 31, 0},
    {"tg_LogAddr", "[remote_log_address]", SettingKind::kText, 127, 0},
    {"tg_LogPort", "[remote_log_port]", SettingKind::kNumber, 1, 65535},
};
const int kSettingCount = sizeof kSettings / sizeof kSettings[0];
const int kRegNameFile = 6, kRegNamePassword = 7, kSystem = 9;

// The public table: the first eight words and the last four.
const SettingEntry kPublic[] = {kSettings[0], kSettings[1], kSettings[2],  kSettings[3],
                                kSettings[4], kSettings[5], kSettings[6],  kSettings[7],
                                kSettings[16], kSettings[17], kSettings[18], kSettings[19]};

void* Storage(int index, HostInterface* host) {
  Settings& s = Client().settings;
  void* const storage[] = {host->message_prefix, &s.security,   &s.sleep_ms,     &s.log_to_file,
                           &s.ss_log,            &s.ss_save,    s.reg_name_file, s.reg_name_password,
                           &s.force_oob,         &s.system,     &s.net_port,     &s.log_md5_tool,
                           &s.lan,               &s.ss_bpp,     s.autoexec,      &s.ignore_faults,
                           s.log_user,           s.log_password, s.log_address,  &s.log_port};
  static_assert(sizeof storage / sizeof storage[0] == kSettingCount, "one storage place per setting");
  return storage[index];
}

// A line names the setting when it starts with the name (any letter case)
// followed by the end or a blank; the blank is replaced by a terminator.
// Gives the value text, or none when the line does not match.
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

// tg_LogPort starts at 0, below its range, meaning "no port"; a saved 0 read
// back stays 0 instead of becoming the lowest port.
bool KeepsZero(const char* name) { return strcmp(name, "tg_LogPort") == 0; }

void ApplyNumber(const char* name, int32_t* value, int32_t low, int32_t high, char* text) {
  if (low > high) {
    const int32_t swap = low;
    low = high;
    high = swap;
  }
  TrimChars(text, " \t\"");
  if (text[0] != '\0') {
    int32_t number = ReadSigned(text);
    *value = number == 0 && KeepsZero(name) ? 0 : number < low ? low : number > high ? high : number;
  }
  ConsolePrint(0, "%s = %d (%d to %d)", name, *value, low, high);
}

void ApplyFlag(const char* name, int32_t* value, char* text) {
  TrimChars(text, " \t\"");
  if (text[0] != '\0') {
    int32_t number = ReadDigits(text);
    *value = number > 1 ? 1 : number;
  }
  ConsolePrint(0, "%s = %d (0=No, 1=Yes)", name, *value);
}

void ApplyText(const char* name, char* buffer, int size, char* text) {
  TrimChars(text, " \t");
  const size_t n = strlen(text);
  if (n > 0) {
    if (strcmp(text, "\"\"") == 0) {
      buffer[0] = '\0';
    } else {
      if (n > 1 && text[0] == '"' && text[n - 1] == '"') {
        text[n - 1] = '\0';
        ++text;
      }
      CopyBounded(buffer, text, size);
    }
  }
  ConsolePrint(0, "%s = %s", name, buffer);
}

}  // namespace

const SettingEntry* PublicSettings(int* count) {
  *count = sizeof kPublic / sizeof kPublic[0];
  return kPublic;
}

int ApplyNumberLine(const char* name, int32_t* value, int32_t low, int32_t high, char* line) {
  char* text = MatchName(name, line);
  if (text == nullptr) return 0;
  ApplyNumber(name, value, low, high, text);
  return 1;
}

int ApplySettingLine(HostInterface* host, char* line) {
  ClientState& state = Client();
  for (int i = 0; i < kSettingCount; ++i) {
    const SettingEntry& entry = kSettings[i];
    char* text = MatchName(entry.name, line);
    if (text == nullptr) continue;
    const int32_t system_before = state.settings.system;
    void* storage = Storage(i, host);
    switch (entry.kind) {
      case SettingKind::kText:
        ApplyText(entry.name, static_cast<char*>(storage), entry.low, text);
        break;
      case SettingKind::kFlag:
        ApplyFlag(entry.name, static_cast<int32_t*>(storage), text);
        break;
      case SettingKind::kNumber:
        ApplyNumber(entry.name, static_cast<int32_t*>(storage), entry.low, entry.high, text);
        break;
    }
    if (i == kRegNameFile) LoadRegisteredNames(host, 1);
    if (i == kRegNamePassword) SaveRegisteredNames(host);
    if (i == kSystem) {
      if (state.connected && state.settings.system != system_before) {
        state.settings.system = system_before;
        ConsolePrint(0, "tg_system cannot be changed while connected to a server");
        char again[32];
        FormatText(again, sizeof again, "tg_system %d", static_cast<int>(system_before));
        ApplyNumberLine(entry.name, &state.settings.system, entry.low, entry.high, again);
      }
      WriteSystemFile();
    }
    return 1;
  }
  return 0;
}
