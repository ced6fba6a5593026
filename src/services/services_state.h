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

// The state inside the one module-wide state object (defined in
// core/client_state.cpp); reached through a constant pointer, so the
// accessor costs no call.
extern ServicesState* const g_services_state;
inline ServicesState& Services() { return *g_services_state; }
