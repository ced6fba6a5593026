// The player's settings and the module switch: values every part of the
// module reads. The console's setting words (console/setting_table.h) and
// the module switch (console/module_switch.h) change them.
#pragma once

#include <cstdint>

// Size and placement of the player's own screenshots (tg_SsOptions): the
// captured area is width x height pixels around x %, y % of the screen,
// sampled every srate pixels.
struct ScreenshotOptions {
  int32_t width = 640;
  int32_t height = 480;
  int32_t x = 50;
  int32_t y = 50;
  int32_t srate = 1;
};

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
  int32_t force_oob = 0;         // tg_forceoob: send to the game server out of band
  int32_t system = 1;            // TG_SYSTEM
  int32_t net_port = 0;          // TG_NETPORT: local UDP port, 0 = no socket
  int32_t log_md5_tool = 0;      // TG_LOGMD5TOOL: show replies to value requests
  int32_t lan = 0;               // TG_LAN: no master-server duties
  int32_t ss_bpp = 4;            // TG_SSBPP, 3 to 8
  char autoexec[32] = "";        // TG_AUTOEXEC
  int32_t ignore_faults = 0;     // TG_IGNORE: silence "O/S Exception Notice"
  ScreenshotOptions local_shot;  // tg_SsOptions
};

struct SettingsState {
  // The module works for the player: set by initialisation, cb code 117 and
  // tg_cl_Enable; only a new load clears it.
  int enabled = 0;
  Settings values;
};

// The settings' part of the one state object (core/client_state.cpp).
extern SettingsState* const g_settings_state;

inline int ModuleEnabled() { return g_settings_state->enabled; }
inline const Settings& CurrentSettings() { return g_settings_state->values; }
// For the console's setting words and the module switch only.
inline Settings& SettingsToChange() { return g_settings_state->values; }
inline void SetModuleEnabled(int enabled) { g_settings_state->enabled = enabled; }
// TG_NETPORT goes back to 0 after its port could not be bound: the module
// then talks to masters through the game until the player sets it again.
inline void DropOwnPort() { g_settings_state->values.net_port = 0; }

inline const ScreenshotOptions& LocalScreenshotOptions() { return g_settings_state->values.local_shot; }
// Takes the options when each is in range (width and height at least 10,
// x and y 0 to 100, srate 1 to 4); false leaves them as they were.
inline bool SetLocalScreenshotOptions(const ScreenshotOptions& wanted) {
  const bool valid = wanted.width >= 10 && wanted.height >= 10 && wanted.x >= 0 && wanted.x <= 100 && wanted.y >= 0 &&
                     wanted.y <= 100 && wanted.srate >= 1 && wanted.srate <= 4;
  if (valid) g_settings_state->values.local_shot = wanted;
  return valid;
}
