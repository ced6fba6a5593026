// Configuration files: "tgcl.cfg", "tgcllog.cfg" and "tgsys.cfg".
#pragma once

#include "tallyguard/host_interface.h"

// Runs each line of the file through the dispatcher at depth + 1.
void LoadConfigFile(HostInterface* host, const char* name, int depth, int report_missing);
