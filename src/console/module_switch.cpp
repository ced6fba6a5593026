#include "console/module_switch.h"

#include "output/console.h"
#include "console/console_state.h"
#include "master/master_state.h"
#include "services/host_services.h"

void MarkModuleEnabled() { Console().enabled = 1; }

int SwitchModuleOn(HostInterface* host) {
  CallHostKeyword(host, "set_cl_tallyguard", "1");
  const int was_enabled = Console().enabled;
  Console().enabled = 1;
  return was_enabled;
}

void SwitchModuleOffAtNextStart(HostInterface* host) {
  CallHostKeyword(host, "set_cl_tallyguard", "0");
  ConsolePrint(0, "The Tallyguard Client will be disabled the NEXT TIME upon startup.");
}

void PrintVersionLine() {
  ConsolePrint(0, "Tallyguard Client (v%d.%03d | A%d) %s", 1, 276, static_cast<int>(AgentVersion()),
               ModuleEnabled() ? "Enabled" : "**DISABLED**");
}
