// Configuration files: "tgcl.cfg" (the player's settings), "tgcllog.cfg"
// (remote-logging settings) and "tgsys.cfg" (TG_SYSTEM).
#pragma once

#include "tallyguard/host_interface.h"

// Runs each line of the file (in the home directory) through the dispatcher
// at depth + 1. Refuses at depth 5 or more; a missing file is reported only
// with report_missing.
void LoadConfigFile(HostInterface* host, const char* name, int depth, int report_missing);

// tg_WriteCfg: writes "tgcllog.cfg" and "tgcl.cfg", or only the named file.
void WriteConfig(HostInterface* host, char* argument);

// Writes "tgsys.cfg" with the current TG_SYSTEM.
void WriteSystemFile();
