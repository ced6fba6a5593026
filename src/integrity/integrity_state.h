// State of the service's integrity and cheat checks. The checks are not part
// of this module yet; what is here keeps their turns in the cycle.
#pragma once

#include <cstdint>

#include "util/grow_array.h"

struct IntegrityState {
  // The two flags behind cb code 121: it answers 1 when the first is clear or
  // the second is set.
  int check_flag = 0;
  int pass_flag = 0;
  uint32_t last_exchange_duty = 0;  // the 67000 ms duty
  uint32_t last_long_duty = 0;      // the 120000 ms duty
  // Data an agent of version 1285 or later hands over: entries of 124 bytes.
  GrowArray agent_data{124, "AgentData"};
};

// The state inside the one module-wide state object (defined in
// core/client_state.cpp); reached through a constant pointer, so the
// accessor costs no call.
extern IntegrityState* const g_integrity_state;
inline IntegrityState& Integrity() { return *g_integrity_state; }
