// Reading the host's console variables.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// Asks the host for the value of a console variable through query 103.
// value must hold TG_QUERY_BUFFER_SIZE bytes and is always terminated. Gives
// the query's result: non-zero means failure, and value is then empty.
intptr_t QueryHostCvar(HostInterface* host, const char* name, char* value);
