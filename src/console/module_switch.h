// The player's switch: whether the module works for the player
// (cl_tallyguard), and the version line that says so. cb codes 117 and 118
// and the commands tg_cl_Enable and tg_cl_Disable all go through here.
#pragma once

#include "tallyguard/host_interface.h"

namespace console {

// Initialisation found cl_tallyguard "1".
void MarkModuleEnabled();
// Sets cl_tallyguard to "1" through the host's keyword service and enables
// the module now. Gives 1 when it was enabled already.
int SwitchModuleOn(HostInterface* host);
// Sets cl_tallyguard to "0" and tells the player; the module keeps working
// until it is loaded again.
void SwitchModuleOffAtNextStart(HostInterface* host);

// "Tallyguard Client (v1.276 | A<agent_version>) Enabled" (or "**DISABLED**").
void PrintVersionLine(int32_t agent_version);

}  // namespace console
