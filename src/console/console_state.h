// State of the console subsystem: the module switch, the home directory,
// the player's settings, the registered names and the dispatcher's counters.
#pragma once

#include <cstdint>

#include "util/grow_array.h"

// Paths inside the home directory: the 255 characters of the home directory
// and a file name of up to 255 characters.

struct Settings {
  // Public settings (tg_MsgPrefix lives in the host record itself).
  int32_t security = 1;                     // tg_Security, 0 or 1
  int32_t sleep_ms = 60;                    // tg_Sleep, 20 to 500: shortest time between cycles
  int32_t log_to_file = 0;                  // tg_LogToFile, 0 or 1: copy messages to "tgcl.log"
  int32_t ss_log = 1;                       // tg_SsLog
  int32_t ss_save = 0;                      // tg_SsSave
  char reg_name_file[256] = "regname.dat";  // tg_RegNameFn
  char reg_name_password[32] = "";          // tg_RegNamePw
  char log_user[32] = "";                   // tg_LogUser
  char log_password[32] = "";               // tg_LogPw
  char log_address[128] = "";               // tg_LogAddr
  int32_t log_port = 0;                     // tg_LogPort, 1 to 65535 once set

  // Further words.
  int32_t force_oob = 0;      // tg_forceoob: send to the game server out of band
  int32_t system = 1;         // TG_SYSTEM
  int32_t net_port = 0;       // TG_NETPORT: local UDP port, 0 = no socket
  int32_t log_md5_tool = 0;   // TG_LOGMD5TOOL: show replies to value requests
  int32_t lan = 0;            // TG_LAN: no master-server duties
  int32_t ss_bpp = 4;         // TG_SSBPP, 3 to 8
  char autoexec[32] = "";     // TG_AUTOEXEC
  int32_t ignore_faults = 0;  // TG_IGNORE: silence "O/S Exception Notice"
};

// One registered name. File and list formats: console/reg_names.h.
struct RegisteredName {
  char match[33];  // empty: a deleted slot, kept until the next load
  char password[33];
  char digest[33];  // seeded MD5 of the password, upper-case hex
  uint8_t kind;     // 1 Full, 2 Partial
};

struct ConsoleState {
  // The module works for the player: set by initialisation, cb code 117 and
  // tg_cl_Enable; only a new load clears it.
  int enabled = 0;
  Settings settings;
  GrowArray registered_names{static_cast<int>(sizeof(RegisteredName)), "RegNames"};
  // The table holds what the names file held: it was read with the key of
  // the time, or there was no file. Only then may the table be saved.
  int names_loaded = 0;

  uint32_t forward_window_start = 0;  // "tg_ypg_" lines: at most 2 per 2000 ms
  int forward_count = 0;
  uint32_t netstat_time = 0;  // time of the last TG_NETSTAT report
  int netstat_started = 0;
  int cycle_wanted = 0;  // a command asked for the next cycle at once
};

// The state inside the one module-wide state object (defined in
// core/client_state.cpp); reached through a constant pointer, so the
// accessor costs no call.
extern ConsoleState* const g_console_state;
inline ConsoleState& Console() { return *g_console_state; }

inline int ModuleEnabled() { return Console().enabled; }
inline const Settings& CurrentSettings() { return Console().settings; }
