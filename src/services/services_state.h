// State of the host-services layer: the host record the module talks to and
// the host's second table, once initialisation has found it valid.
#pragma once

#include "tallyguard/host_interface.h"

struct ServicesState {
  // The record of the latest ca call or cb call with a queued code; none
  // before the first such call.
  HostInterface* host = nullptr;
  const void* second_table = nullptr;
};

// The layer's state inside the one module-wide state object.
ServicesState& Services();
