// Screenshot requests, their upload to the game server and local saving.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

void ServeScreenshots(HostInterface* host, uint32_t now);
