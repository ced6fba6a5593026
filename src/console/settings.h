// The player's settings: their values, the table that names them, and the
// matching of setting lines ("tg_Sleep 100", "tg_MsgPrefix \"[TG]\"").
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

struct Settings {
  // Public table (tg_MsgPrefix lives in the host record itself).
  int32_t security = 1;           // tg_Security, 0 or 1
  int32_t sleep_ms = 60;          // tg_Sleep, 20 to 500: shortest time between cycles
  int32_t log_to_file = 0;        // tg_LogToFile, 0 or 1: copy messages to "tgcl.log"
  int32_t ss_log = 1;             // tg_SsLog
  int32_t ss_save = 0;            // tg_SsSave
  char reg_name_file[256] = "regname.dat";  // tg_RegNameFn
  char reg_name_password[32] = "";          // tg_RegNamePw
  char log_user[32] = "";         // tg_LogUser
  char log_password[32] = "";     // tg_LogPw
  char log_address[128] = "";     // tg_LogAddr
  int32_t log_port = 0;           // tg_LogPort, 1 to 65535 once set

  // Further words.
  int32_t force_oob = 0;          // tg_forceoob: send to the game server out of band
  int32_t system = 1;             // TG_SYSTEM
  int32_t net_port = 0;           // TG_NETPORT: local UDP port, 0 = no socket
  int32_t log_md5_tool = 0;       // TG_LOGMD5TOOL
  int32_t lan = 0;                // TG_LAN: no master-server duties
  int32_t ss_bpp = 4;             // TG_SSBPP, 3 to 8
  char autoexec[32] = "";         // TG_AUTOEXEC
  int32_t ignore_faults = 0;      // TG_IGNORE: silence "O/S Exception Notice"
};

enum class SettingKind { kText, kFlag, kNumber };

struct SettingEntry {
  const char* name;
  const char* help;  // public settings only
  SettingKind kind;
  int32_t low;       // numbers: the range; texts: the most characters kept
  int32_t high;
};

// The 12 public settings, in the order of matching, completion and saving.
const SettingEntry* PublicSettings(int* count);

// Tries every setting word, in matching order, on a trimmed console line.
// On a match the setting is updated and shown; gives 1. 0 when no setting
// word matched (the line is then untouched).
int ApplySettingLine(HostInterface* host, char* line);

// Shows a number setting as "%s = %d (%d to %d)" after updating it from a
// line "<name> <value>" (used to show TG_SYSTEM again).
int ApplyNumberLine(const char* name, int32_t* value, int32_t low, int32_t high, char* line);
