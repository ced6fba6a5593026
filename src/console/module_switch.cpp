#include "console/module_switch.h"

#include "channel/wire_constants.h"
#include "output/console.h"
#include "services/host_services.h"
#include "settings/player_settings.h"

namespace console {

void MarkModuleEnabled() { SetModuleEnabled(1); }

int SwitchModuleOn(HostInterface* host) {
  CallHostKeyword(host, "set_cl_tallyguard", "1");
  const int was_enabled = ModuleEnabled();
  SetModuleEnabled(1);
  return was_enabled;
}

void SwitchModuleOffAtNextStart(HostInterface* host) {
  CallHostKeyword(host, "set_cl_tallyguard", "0");
  ConsolePrint(0, "The Tallyguard Client will be disabled the NEXT TIME upon startup.");
}

void PrintVersionLine(int32_t agent_version) {
  ConsolePrint(0, "Tallyguard Client (v%d.%03d | A%d) %s", static_cast<int>(wire::kClientVersion / 1000),
               static_cast<int>(wire::kClientVersion % 1000), static_cast<int>(agent_version),
               ModuleEnabled() ? "Enabled" : "**DISABLED**");
}

}  // namespace console
