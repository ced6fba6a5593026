// The one-time initialisation and the start-up loads.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// Runs the initialisation until it has succeeded once: installs the
// module's operations in the record and, once cl_tallyguard is "1", checks
// the record, sets up the home directory, runs the start-up loads and the
// first main work. 1 on success or while the module stays disabled; 0 on
// failure, with the reason kept for InitFailure.
int Initialise(HostInterface* host, uint32_t now);

// Why the last Initialise failed.
const char* InitFailure();

// Writes the message prefix and, when enabled, loads the server database and
// runs "tgcl.cfg" and "tgsys.cfg".
void StartupLoads(HostInterface* host, uint32_t now);

// Installed in the host record: appends " *<GUID>" to the host's connection
// request for kind 2.
const char* TG_CALL AnnotateConnect(int32_t ignored, int32_t kind, char* buffer, int32_t* length);
