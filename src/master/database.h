// The server database file "tgcl.db".
#pragma once

#include "tallyguard/host_interface.h"

void LoadServerDatabase(HostInterface* host);
// The once-per-run import of database records, while connected.
void ImportServerDatabaseOnce(HostInterface* host);
